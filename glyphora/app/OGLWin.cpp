#include "OGLWin.h"

#include <QMouseEvent>
#include <QSurfaceFormat>

#include <GL/gl.h>

namespace {
// Empty views show the window's dark background rather than undefined pixels.
void clearToBackground()
{
    glClearColor(0.16f, 0.16f, 0.18f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

QSize devicePixels(const QWidget* w)
{
    const qreal r = w->devicePixelRatioF();
    return QSize(qRound(w->width() * r), qRound(w->height() * r));
}
} // namespace

OGLWin::OGLWin(QWidget* parent) : QOpenGLWidget(parent)
{
    setMinimumSize(160, 120);
}

QSize OGLWin::pixelSize() const
{
    return devicePixels(this);
}

void OGLWin::display()
{
    // Paints into the widget's framebuffer now; the screen follows.
    repaint();
}

void OGLWin::initializeGL()
{
    clearToBackground();
}

void OGLWin::paintGL()
{
    const QSize s = pixelSize();
    if (!view_.image() || view_.image()->empty()) {
        clearToBackground();
        return;
    }
    view_.draw(s.width(), s.height());
}

OGLWinClick::OGLWinClick(QWidget* parent) : OGLWin(parent)
{
    setCursor(Qt::CrossCursor);
    setToolTip(tr("Cliquez et glissez pour peindre le masque de l'image clé"));
}

void OGLWinClick::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        paintAt(e->position());
}

void OGLWinClick::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() & Qt::LeftButton)
        paintAt(e->position());
}

void OGLWinClick::paintAt(const QPointF& pos)
{
    // The brush takes the position from the view's lower-left corner, y up.
    emit strokeAt(QPointF(pos.x(), height() - pos.y()), QSizeF(width(), height()));
}

OGLWinArrow::OGLWinArrow(QWidget* parent) : QOpenGLWidget(parent)
{
    setMinimumSize(160, 120);
}

QSize OGLWinArrow::pixelSize() const
{
    return devicePixels(this);
}

void OGLWinArrow::display()
{
    repaint();
}

void OGLWinArrow::initializeGL()
{
    clearToBackground();
}

void OGLWinArrow::resizeGL(int, int)
{
    // A resized framebuffer starts empty: give it the background before the
    // next drawing, which may draw arrows only.
    clearToBackground();
}

void OGLWinArrow::paintGL()
{
    const QSize s = pixelSize();
    emit paintArrows(s.width(), s.height());
}

void useCompatibilityProfile()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

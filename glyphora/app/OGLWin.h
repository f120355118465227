#pragma once
// The OpenGL views of the sign-picture window. Each is a thin QOpenGLWidget
// over the drawing code of glyphora_render, which it calls in its paintGL with
// the widget's surface current:
//   OGLWin       one picture, optionally dimmed outside a mask (buffer, mix);
//   OGLWinClick  the key-frame view: click and drag emit brush strokes;
//   OGLWinArrow  the blended picture with the movement arrows over it, drawn
//                by whoever listens to its paintArrows signal.
// Pictures are held by reference (the controller owns them) and follow the
// views' convention: rows bottom row first, channels green, red, blue. The
// views know nothing of the window that uses them.
#include "render/PictureView.h"

#include <QOpenGLWidget>

#include <opencv2/core.hpp>

// The views draw with OpenGL 1.x immediate mode: a compatibility profile with
// a depth buffer for the arrows. Call before the QApplication exists.
void useCompatibilityProfile();

class OGLWin : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit OGLWin(QWidget* parent = nullptr);

    // The picture shown (null: an empty view) and its mask (null: undimmed).
    void initTexture(const cv::Mat* image) { view_.initTexture(image); }
    void initAlphaTexture(const cv::Mat* alpha) { view_.initAlphaTexture(alpha); }
    const cv::Mat* image() const { return view_.image(); }
    const cv::Mat* alphaImage() const { return view_.alphaImage(); }

    // Redraws now (the "display" of the view) rather than at the next paint.
    void display();

    // The size of the drawing surface in device pixels.
    QSize pixelSize() const;

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    glyphora::PictureView view_;
};

class OGLWinClick : public OGLWin {
    Q_OBJECT
public:
    explicit OGLWinClick(QWidget* parent = nullptr);

signals:
    // A click or drag at `point`, from the view's lower-left corner with y
    // up, in a view of `viewSize` (the brush's frame).
    void strokeAt(const QPointF& point, const QSizeF& viewSize);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    void paintAt(const QPointF& pos);
};

class OGLWinArrow : public QOpenGLWidget {
    Q_OBJECT
public:
    explicit OGLWinArrow(QWidget* parent = nullptr);

    void display();
    QSize pixelSize() const;

signals:
    // Emitted by paintGL with the surface current: draw the arrow view into
    // it now (connect directly), width x height device pixels.
    void paintArrows(int pixelWidth, int pixelHeight);

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
};

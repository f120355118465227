#include "MorphWin.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vestiga {

namespace {

const char* const kClickNames[6] = {
    "le premier coin de l'image à traiter", "le second coin de l'image à traiter",
    "le premier coin de la tête",           "le second coin de la tête",
    "l'épaule droite",                      "l'épaule gauche",
};

} // namespace

MorphWin::MorphWin(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QString MorphWin::instruction(int state)
{
    switch (state) {
    case 0: return QStringLiteral("Cliquer sur le coin supérieur gauche de l'image à traiter");
    case 1: return QStringLiteral("Cliquer sur le coin inférieur droit de l'image à traiter");
    case 2: return QStringLiteral("Cliquer sur le coin supérieur droit de la tête");
    case 3: return QStringLiteral("Cliquer sur le coin inférieur gauche de la tête");
    case 4: return QStringLiteral("Cliquer sur l'épaule droite");
    case 5: return QStringLiteral("Cliquer sur l'épaule gauche");
    case 6: return QStringLiteral("Valider ou reprendre le paramétrage");
    default: return QString();
    }
}

QSize MorphWin::displaySize(QSize picture, QSize maxSize)
{
    if (picture.isEmpty())
        return QSize(480, 360);
    const double w = picture.width();
    const double h = picture.height();
    double s = std::min({maxSize.width() / w, maxSize.height() / h, 1.0});
    // Small pictures are enlarged so that the clicks stay precise enough.
    if (w * s < 480)
        s = std::min(480 / w, maxSize.height() / h);
    return QSize(std::max(1, int(std::lround(w * s))), std::max(1, int(std::lround(h * s))));
}

void MorphWin::setRefImage(const cv::Mat& bgr)
{
    if (bgr.empty() || bgr.type() != CV_8UC3) {
        refPic = QImage();
        imw = imh = 0;
    } else {
        refPic = QImage(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888)
                     .convertToFormat(QImage::Format_RGB32);
        imw = bgr.cols;
        imh = bgr.rows;
    }
    fromFile_ = false;
    redraw();
}

void MorphWin::getBound()
{
    const QPoint topLeft = mapTo(window(), QPoint(0, 0));
    const int windowHeight = window()->height();
    ox = topLeft.x();
    oy = windowHeight - (topLeft.y() + QWidget::height());
    width = QWidget::width();
    height = QWidget::height();
}

void MorphWin::reset()
{
    curState = 0;
    sendMessage();
    redraw();
    emit stateChanged(curState);
}

void MorphWin::sendMessage()
{
    if (curState > 6 || !instructionField)
        return;
    instructionField->setText(instruction(curState));
}

PicRect MorphWin::getCropRec() const
{
    if (fromFile_)
        return {file_.cx, file_.cy, file_.cw, file_.ch};
    if (width <= 0 || height <= 0)
        return {};
    return rectFromClicks(coord[0], coord[1], frame(), imw, imh);
}

PicRect MorphWin::getHeadRec() const
{
    if (fromFile_)
        return {file_.hx, file_.hy, file_.hw, file_.hh};
    if (width <= 0 || height <= 0)
        return {};
    return rectFromClicks(coord[2], coord[3], frame(), imw, imh);
}

float MorphWin::getDShould() const
{
    if (fromFile_)
        return file_.dShould;
    if (width <= 0 || height <= 0)
        return 0;
    return shoulderDistance(coord[4], coord[5], frame(), imw, imh);
}

void MorphWin::getShoulders(float right[2], float left[2]) const
{
    if (fromFile_) {
        right[0] = fileShoulders_[0];
        right[1] = fileShoulders_[1];
        left[0] = fileShoulders_[2];
        left[1] = fileShoulders_[3];
        return;
    }
    if (width <= 0 || height <= 0) {
        right[0] = right[1] = left[0] = left[1] = 0;
        return;
    }
    pointToPicture(coord[4], frame(), imw, imh, right);
    pointToPicture(coord[5], frame(), imw, imh, left);
}

QString MorphWin::check() const
{
    if (imw <= 0 || imh <= 0)
        return QStringLiteral("Aucune image de référence.");
    if (!fromFile_) {
        if (curState < 6)
            return QStringLiteral("Le paramétrage n'est pas terminé : cliquez sur les six points "
                                  "demandés.");
        if (width <= 0 || height <= 0)
            return QStringLiteral("La vue de paramétrage n'est pas placée.");
        for (int i = 0; i < 6; ++i)
            if (!clickOnView(coord[i], frame()))
                return QStringLiteral("Le clic sur %1 est en dehors de l'image.")
                    .arg(QString::fromUtf8(kClickNames[i]));
    }
    return problemText(validateCalibration(calibrationFile(), imw, imh));
}

QString MorphWin::problemText(const CalibrationCheck& check)
{
    switch (check.fault) {
    case CalibrationFault::None:
        return QString();
    case CalibrationFault::AreaEmpty:
        return QStringLiteral("La zone à traiter est vide : cliquez sur deux coins opposés de la zone.");
    case CalibrationFault::AreaOutsideFrame:
        return QStringLiteral("La zone à traiter sort de l'image.");
    case CalibrationFault::AreaTallerThanWide:
        return QStringLiteral("La zone à traiter est plus haute que large : choisissez une zone au moins "
                              "aussi large que haute.");
    case CalibrationFault::HeadEmpty:
        return QStringLiteral("La boîte de la tête est vide : cliquez sur deux coins opposés de la tête.");
    case CalibrationFault::HeadOutsideArea:
        return QStringLiteral("La boîte de la tête doit se trouver dans la zone à traiter.");
    case CalibrationFault::ShoulderOutsideFrame:
        return check.shoulder == 0 ? QStringLiteral("L'épaule droite est en dehors de l'image.")
                                   : QStringLiteral("L'épaule gauche est en dehors de l'image.");
    case CalibrationFault::ShouldersTogether:
    case CalibrationFault::ShoulderDistance:
        return QStringLiteral("Les deux épaules sont confondues : cliquez sur l'épaule droite puis sur "
                              "l'épaule gauche.");
    }
    return QString();
}

CalibrationFile MorphWin::calibrationFile() const
{
    const RunCalibration r = runCalibration(true);
    float right[2], left[2];
    getShoulders(right, left);
    // Shoulders: bottom-left origin in the view, top-left in the file.
    const double shoulders[4] = {double(right[0]), double(imh) - double(right[1]), double(left[0]),
                                 double(imh) - double(left[1])};
    return toCalibrationFile(r, imh, shoulders, 0);
}

void MorphWin::setCalibration(const RunCalibration& r, const float shoulderR[2],
                              const float shoulderL[2])
{
    file_ = r;
    fileShoulders_[0] = shoulderR[0];
    fileShoulders_[1] = shoulderR[1];
    fileShoulders_[2] = shoulderL[0];
    fileShoulders_[3] = shoulderL[1];
    fromFile_ = true;
    curState = 6;
    sendMessage();
    redraw();
    emit stateChanged(curState);
}

void MorphWin::setCalibrationFile(const CalibrationFile& c)
{
    // Shoulders: top-left origin in the file, bottom-left in the view.
    const float right[2] = {float(c.shoulders[0]), float(imh - c.shoulders[1])};
    const float left[2] = {float(c.shoulders[2]), float(imh - c.shoulders[3])};
    setCalibration(toRunCalibration(c, imh), right, left);
}

RunCalibration MorphWin::runCalibration(bool sleevesToWrist) const
{
    RunCalibration r;
    const PicRect c = getCropRec();
    const PicRect h = getHeadRec();
    r.cx = c.x;
    r.cy = c.y;
    r.cw = c.width;
    r.ch = c.height;
    r.hx = h.x;
    r.hy = h.y;
    r.hw = h.width;
    r.hh = h.height;
    r.dShould = getDShould();
    r.sleevesToWrist = sleevesToWrist;
    return r;
}

void MorphWin::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Window coordinates with the origin at the window's bottom-left corner:
    // the pixel row just above the bottom edge is y = 0.
    const QPointF inWindow = mapTo(window(), event->position());
    const float x = float(inWindow.x());
    const float y = float(double(window()->height() - 1) - inWindow.y());
    if (curState <= 5) {
        std::printf("%f %f ", double(x), double(y));
        std::fflush(stdout);
    }
    placePoint(int(x), int(y));
}

void MorphWin::placePoint(int x, int y)
{
    if (curState <= 5) {
        if (curState == 0)
            fromFile_ = false; // new clicks replace a calibration read from a file
        coord[curState][0] = x;
        coord[curState][1] = y;
    }
    ++curState;
    sendMessage();
    redraw();
    emit stateChanged(curState);
}

void MorphWin::placePicturePoints(const double points[6][2])
{
    if (imw <= 0 || imh <= 0)
        return;
    curState = 0;
    const int windowHeight = window()->height();
    for (int i = 0; i < 6; ++i) {
        // Picture pixel -> point of the stretched picture -> window point.
        const QPointF local(points[i][0] * QWidget::width() / imw, points[i][1] * QWidget::height() / imh);
        const QPointF inWindow = mapTo(window(), local);
        placePoint(int(inWindow.x()), int(double(windowHeight - 1) - inWindow.y()));
    }
}

void MorphWin::redraw()
{
    dispPic = refPic.copy();
    if (!dispPic.isNull()) {
        QPainter p(&dispPic);
        QPen pen(QColor(255, 0, 0), 5.0);
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        // Picture rectangles have a bottom-left origin; the painter's is top-left.
        auto stroke = [&](const PicRect& r) {
            p.drawRect(QRectF(r.x, imh - (r.y + r.height), r.width, r.height));
        };
        if (curState > 1)
            stroke(getCropRec());
        if (curState > 3)
            stroke(getHeadRec());
        if (curState > 5) {
            float r[2], l[2];
            getShoulders(r, l);
            p.drawLine(QPointF(r[0], imh - r[1]), QPointF(l[0], imh - l[1]));
        }
    }
    repaint();
}

void MorphWin::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (dispPic.isNull()) {
        p.fillRect(rect(), palette().window());
        return;
    }
    // Stretched to the whole view in both directions: the click conversions
    // assume it.
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), dispPic);
}

} // namespace vestiga

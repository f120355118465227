#pragma once
// The calibration view: the reference picture stretched to fill the view, six
// clicks (two corners of the image area, two corners of the head box, the
// right and the left shoulder), one instruction at a time in a text field, and
// the clicks drawn in red on a copy of the picture.
//
// Clicks are kept in window coordinates as the conversions expect them: x from
// the window's left edge, y from the window's BOTTOM edge, upward. The
// conversions themselves are in MorphMath.h.
#include "MorphMath.h"
#include "run/Calibration.h"

#include <QImage>
#include <QWidget>

#include <opencv2/core.hpp>

class QLabel;

namespace vestiga {

class MorphWin : public QWidget {
    Q_OBJECT
public:
    explicit MorphWin(QWidget* parent = nullptr);

    // Instruction shown for each click state (0 to 6).
    static QString instruction(int state);

    // Stores a copy of the picture (8-bit blue-green-red) and displays it.
    void setRefImage(const cv::Mat& bgr);
    void setInstructionField(QLabel* field) { instructionField = field; }
    // Reads the view's frame in window coordinates into ox, oy, width, height.
    void getBound();
    // Back to the first click; the stored clicks stay until overwritten.
    void reset();
    void sendMessage();

    PicRect getCropRec() const;
    PicRect getHeadRec() const;
    float getDShould() const;
    // The shoulders in picture pixels, bottom-left origin (right one first).
    void getShoulders(float right[2], float left[2]) const;

    // Why the stored calibration cannot be tracked, in the user's words
    // (empty when it can): the six clicks must be made and lie on the
    // picture, then the calibration must pass validateCalibration.
    QString check() const;
    // The words for a reason of validateCalibration.
    static QString problemText(const CalibrationCheck& check);

    // What the view holds, as a calibration file holds it (top-left origin,
    // the shoulder distance given); sleeves, frame and method are left at
    // their defaults for the caller to set.
    CalibrationFile calibrationFile() const;

    // A click at window point (x, y), origin at the window's bottom-left
    // corner: what a left click of the mouse does.
    void placePoint(int x, int y);
    // The six points given in picture pixels (top-left origin, in the order
    // of the clicks) placed from the first click on as the user would click
    // them on the stretched picture.
    void placePicturePoints(const double points[6][2]);

    // Takes a calibration read from a file in place of the clicks: the
    // getters answer it, the view shows it as complete. The next first click
    // goes back to clicks.
    void setCalibration(const RunCalibration& r, const float shoulderR[2], const float shoulderL[2]);
    bool fromFile() const { return fromFile_; }
    // The same from a calibration file's numbers (pixels of the reference
    // picture, top-left origin), exactly as they are: the image area, the
    // head box and the shoulders drawn as after the six clicks.
    void setCalibrationFile(const CalibrationFile& c);

    // The calibration as the tracking run takes it.
    RunCalibration runCalibration(bool sleevesToWrist) const;

    // The size the view wants for the picture: the picture's own size, scaled
    // down to fit maxSize (and up when it is small), keeping its aspect ratio.
    static QSize displaySize(QSize picture, QSize maxSize = QSize(760, 570));

    int state() const { return curState; }
    const QImage& displayed() const { return dispPic; }
    int imageWidth() const { return imw; }
    int imageHeight() const { return imh; }
    ViewFrame frame() const { return {ox, oy, width, height}; }
    const int (&clicks() const)[6][2] { return coord; }

signals:
    void stateChanged(int state);

protected:
    void mousePressEvent(class QMouseEvent* event) override;
    void paintEvent(class QPaintEvent* event) override;

private:
    void redraw();

    int curState = 0;
    QLabel* instructionField = nullptr;
    QImage refPic;  // never drawn on
    QImage dispPic; // refPic with the calibration drawn on it
    int coord[6][2] = {};
    int ox = 0;
    int oy = 0;
    int width = 0;
    int height = 0;
    int imw = 0;
    int imh = 0;

    bool fromFile_ = false;
    RunCalibration file_;
    float fileShoulders_[4] = {};
};

} // namespace vestiga

#pragma once
// Step 3 of the sign-picture window: the arrow view (the mix with the
// movement arrows), the movement pattern, the symmetry, the pen orientation,
// and for each arrow its visibility box and shift sliders. It only shows what
// it is told and emits the user's choices.
#include "core/SignPattern.h"

#include <QWidget>

class OGLWinArrow;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

class ArrowsPane : public QWidget {
    Q_OBJECT
public:
    // The arrow shift sliders hold thousandths: value / 1000 is their double
    // value, -0.5 to 0.5.
    static constexpr int kShiftSteps = 1000;

    explicit ArrowsPane(QWidget* parent = nullptr);

    OGLWinArrow* arrowView() const { return view_; }
    QComboBox* patternList() const { return pattern_; }
    QComboBox* symmetryList() const { return symmetry_; }
    QSlider* orientationSlider() const { return orientation_; }
    // The R arrow (hand 2) and the L arrow (hand 1).
    QCheckBox* rightBox() const { return rightBox_; }
    QCheckBox* leftBox() const { return leftBox_; }
    QSlider* rightShiftX() const { return rightX_; }
    QSlider* rightShiftY() const { return rightY_; }
    QSlider* leftShiftX() const { return leftX_; }
    QSlider* leftShiftY() const { return leftY_; }
    QLabel* infoLabel() const { return info_; }
    QPushButton* saveButton() const { return save_; }

    // The lists at these items, without emitting their changes.
    void showPatternAndSymmetry(int pattern, int symmetry);
    // Says under the view what the last drawing of the sign from tracking
    // line `beg` to `end` gave (trackingLines: 0 without tracking).
    void showDrawStatus(glyphora::SignPattern::DrawStatus status, int beg, int end, int trackingLines);

signals:
    void patternChanged(int pattern);
    void symmetryChanged(int symmetry);
    void orientationChanged(int degrees);
    void arrowsShownChanged(bool right, bool left);
    // New shift of the R (right true) or L arrow, fractions of the view.
    void arrowShiftChanged(bool right, double dx, double dy);
    void newSignRequested();
    void refreshRequested();
    void saveRequested();

private:
    OGLWinArrow* view_ = nullptr;
    QComboBox* pattern_ = nullptr;
    QComboBox* symmetry_ = nullptr;
    QSlider* orientation_ = nullptr;
    QLabel* orientationValue_ = nullptr;
    QCheckBox* rightBox_ = nullptr;
    QCheckBox* leftBox_ = nullptr;
    QSlider* rightX_ = nullptr;
    QSlider* rightY_ = nullptr;
    QSlider* leftX_ = nullptr;
    QSlider* leftY_ = nullptr;
    QLabel* info_ = nullptr;
    QPushButton* save_ = nullptr;
};

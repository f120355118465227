#pragma once
// The calibration window: the instruction line, the calibration view
// (MorphWin) with its six clicks, a status line and the buttons. The view's
// place in the window fixes the click conversions, so it is measured again
// whenever the window is shown or resized.
#include <QWidget>

#include <opencv2/core.hpp>

class QLabel;
class QPushButton;

namespace vestiga {

class MorphWin;

class CalibrationWindow : public QWidget {
    Q_OBJECT
public:
    explicit CalibrationWindow(QWidget* parent = nullptr);

    MorphWin* view() const { return view_; }
    // Shows the reference picture at its display size, lays the window out
    // and measures the view's place in it. The clicks start again.
    void showReference(const cv::Mat& bgr);
    void setStatus(const QString& text);
    // While a proposal is worked out: the proposal button is disabled and
    // the status line says so.
    void setProposing(bool busy);

signals:
    void againClicked();
    void loadClicked();
    void proposeClicked();
    void validateClicked();

protected:
    bool event(QEvent* event) override;

private:
    MorphWin* view_ = nullptr;
    QLabel* instruction_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* propose_ = nullptr;
};

} // namespace vestiga

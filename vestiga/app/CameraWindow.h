#pragma once
// The camera window: the live preview (with the countdown or the recording
// mark drawn on it), the recorded clip in a movie view, and the buttons.
// Closing the window is reported so that the camera can be let go.
#include "CaptureMachine.h"

#include <QImage>
#include <QWidget>

class QLabel;
class QPushButton;

namespace qtmedia {
class MovieView;
}

namespace vestiga {

class CameraWindow : public QWidget {
    Q_OBJECT
public:
    explicit CameraWindow(QWidget* parent = nullptr);

    qtmedia::MovieView* clipView() const { return clipView_; }

    // A camera frame scaled into the preview, with the countdown's seconds
    // (step Countdown) or a recording mark (step Recording) drawn on it.
    void showPreview(const QImage& frame, CaptureMachine::Step step, int secondsLeft);
    // The status line and the buttons for the capture step: capturing is
    // possible when idle with the camera open, choosing a frame when idle
    // with a clip.
    void showStep(CaptureMachine::Step step, int secondsLeft, bool cameraOpen);

signals:
    void backClicked();
    void captureClicked();
    void selectClicked();
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* preview_ = nullptr;
    qtmedia::MovieView* clipView_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* captureButton_ = nullptr;
    QPushButton* selectButton_ = nullptr;
};

} // namespace vestiga

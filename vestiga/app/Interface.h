#pragma once
// The controller of the tracking application: it owns the six workflow
// windows (source choice, camera, frame choice, calibration, skin and
// background pictures, tracking), answers their signals, and keeps what the
// user chose in a WorkflowModel. The camera's steps are CaptureMachine's, the
// tracking ticks RunLoop's, the calibration arithmetic MorphWin's; the
// windows never call back into the controller.
#include "CameraSource.h"
#include "CaptureMachine.h"
#include "Prompter.h"
#include "RunLoop.h"
#include "WorkflowModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>

class QTimer;
class QWidget;

namespace qtmedia {
class MovieView;
}

namespace vestiga {

class CalibrationWindow;
class ProposalTask;
class CameraWindow;
class FrameWindow;
class MorphWin;
class SkinBgWindow;
class StartWindow;
class TrackingWindow;

class Interface : public QObject {
    Q_OBJECT
public:
    // The prompter asks the user for files and shows the messages; null
    // means the real dialogs. The controller takes ownership.
    explicit Interface(Prompter* prompter = nullptr, QObject* parent = nullptr);
    ~Interface() override;

    // A video file that takes the camera's place in the camera window (for
    // demonstrations and tests on machines without a camera).
    void setCameraStandIn(const QString& path) { cameraStandIn_ = path; }

    // The windows, for the application and its tests.
    QWidget* startWindow() const;
    QWidget* cameraWindow() const;
    QWidget* frameWindow() const;
    QWidget* calibrationWindow() const;
    QWidget* skinBgWindow() const;
    QWidget* trackingWindow() const;
    MorphWin* calibrationView() const;
    qtmedia::MovieView* movieView() const;
    qtmedia::MovieView* clipView() const;

    int sourceMode() const { return int(model_.source); }
    const QString& chosenVideo() const { return model_.videoFile; }
    const QString& chosenSkin() const { return model_.skinFile; }
    const QString& chosenBackground() const { return model_.bgFile; }
    const QString& chosenTrackingFile() const { return model_.trackingFile; }
    const cv::Mat& referencePicture() const { return model_.reference; }
    int64_t referenceFrame() const { return model_.referenceFrame; }
    bool tracking() const { return run_.running(); }
    bool capturing() const { return capture_.busy(); }
    bool proposing() const;
    // The private temporary directory that holds the camera clips (created
    // with the first clip or this call, removed with the controller).
    QString clipDirectory();

public slots:
    void useWebcam();
    void capture();
    void selectPic1();
    void useVideoFile();
    void selectPic();
    void selectAgain();
    void validateMorph();
    void loadSkin();
    void loadBg();
    void begTrack();
    void onTimer();
    void stopTrack();

    // Back from the camera or frame-choice window to the start window.
    void backToStart();
    // The calibration file of the command line: load in the calibration
    // window, save in the skin and background window.
    void loadCalibration();
    // The calibration proposed from the video for the reference frame,
    // worked out in the background and placed in the calibration view.
    void proposeCalibration();
    void saveCalibration();
    void clearSkin();
    void clearBg();

signals:
    // stopTrack: the outputs are closed; the application should end.
    void quitRequested();
    // The run ended by itself (end of the video or an error); the outputs are
    // closed and the last picture stays shown.
    void trackingEnded();

private slots:
    void onPreviewTimer();
    void proposalReady();

private:
    void connectWindows();
    void closeCamera();
    void startClip();
    void finishCapture();
    void showCaptureStep();
    void endRun(const QString& message, const QString& details, bool failed);
    qtmedia::MovieView* sourceView() const;
    // Milliseconds on the controller's monotonic clock.
    int64_t now() const { return clock_.elapsed(); }

    std::unique_ptr<Prompter> prompter_;
    WorkflowModel model_;
    QElapsedTimer clock_;

    // The windows have no parent: they go with the controller.
    std::unique_ptr<StartWindow> start_;
    std::unique_ptr<CameraWindow> camera_;
    std::unique_ptr<FrameWindow> frame_;
    std::unique_ptr<CalibrationWindow> calibration_;
    std::unique_ptr<SkinBgWindow> skinBg_;
    std::unique_ptr<TrackingWindow> tracking_; // "oVideo"

    // Camera.
    CameraSource camSource_;
    CaptureMachine capture_;
    QTimer* previewTimer_ = nullptr;
    QString cameraStandIn_;
    std::unique_ptr<QTemporaryDir> tempDir_;
    QString clipPath_;
    int clipCount_ = 0;

    ProposalTask* proposer_ = nullptr;

    // Tracking.
    RunLoop run_;
    QTimer* processTimer_ = nullptr;
};

} // namespace vestiga

#pragma once
// The controller of the tracking application: the workflow windows (source
// choice, camera, frame choice, calibration, skin and background pictures,
// tracking) and the actions that lead from one to the next. The tracking
// itself is vestiga::TrackingRun; the calibration arithmetic is MorphWin's.
#include "CameraSource.h"
#include "Prompter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>

class QButtonGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace qtmedia {
class MovieView;
}

namespace vestiga {

class MorphWin;
class TrackingRun;

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
    QWidget* startWindow() const { return firstWnd; }
    QWidget* cameraWindow() const { return captureWnd; }
    QWidget* frameWindow() const { return selectFrameWin; }
    QWidget* calibrationWindow() const { return getMorphologyWin; }
    QWidget* skinBgWindow() const { return loadSkBgWin; }
    QWidget* trackingWindow() const { return videoWnd; }
    MorphWin* calibrationView() const { return morphImageView; }
    qtmedia::MovieView* movieView() const { return mMovieView; }
    qtmedia::MovieView* clipView() const { return captureImageView; }

    int sourceMode() const { return mode; }
    const QString& chosenVideo() const { return videoFile; }
    const QString& chosenSkin() const { return skinFile; }
    const QString& chosenBackground() const { return bgFile; }
    const QString& chosenTrackingFile() const { return trackingFile; }
    const cv::Mat& referencePicture() const { return refPic; }
    int64_t referenceFrame() const { return refFrameIndex_; }
    bool tracking() const;
    bool capturing() const { return captureStep_ != CaptureStep::Idle; }
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
    bool onTimer();
    void stopTrack();

    // Back from the camera or frame-choice window to the start window.
    void backToStart();
    // The calibration file of the command line: load in the calibration
    // window, save in the skin and background window.
    void loadCalibration();
    void saveCalibration();
    void clearSkin();
    void clearBg();

signals:
    // stopTrack: the outputs are closed; the application should end.
    void quitRequested();
    // The run ended by itself (end of the video or an error); the outputs are
    // closed and the last picture stays shown.
    void trackingEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void onPreviewTimer();

private:
    enum class CaptureStep { Idle, Countdown, Recording, Settling };

    void awakeFromNib();
    void buildStartWindow();
    void buildCameraWindow();
    void buildFrameWindow();
    void buildCalibrationWindow();
    void buildSkinBgWindow();
    void buildTrackingWindow();
    static void present(QWidget* window);
    void closeCamera();
    void showPreview(const cv::Mat& frame);
    void updateCaptureControls();
    void finishCapture();
    void updatePictureLabels();
    void showTrackingPicture();
    void updateProgress();
    void endRun(const QString& message, const QString& details, bool failed);
    bool sleevesToWrist() const;
    qtmedia::MovieView* sourceView() const;

    std::unique_ptr<Prompter> prompter_;

    // Workflow windows.
    QWidget* firstWnd = nullptr;
    QWidget* captureWnd = nullptr;
    QWidget* selectFrameWin = nullptr;
    QWidget* getMorphologyWin = nullptr;
    QWidget* loadSkBgWin = nullptr;
    QWidget* videoWnd = nullptr; // "oVideo"

    // Source and reference picture.
    int mode = 0; // 1: camera, 0: video file
    QString videoFile;
    QString skinFile;
    QString bgFile;
    QString trackingFile;
    qtmedia::MovieView* mMovieView = nullptr;
    cv::Mat refPic; // blue-green-red
    int64_t refFrameIndex_ = 0;

    // Calibration.
    MorphWin* morphImageView = nullptr;
    QLabel* instructionField = nullptr;
    QLabel* calibrationStatus_ = nullptr;

    // Camera.
    qtmedia::MovieView* captureImageView = nullptr;
    QLabel* mCaptureView = nullptr;
    QLabel* captureStatus_ = nullptr;
    QPushButton* captureButton_ = nullptr;
    QPushButton* selectClipButton_ = nullptr;
    CameraSource mCaptureSession;
    QTimer* previewTimer_ = nullptr;
    QString cameraStandIn_;
    std::unique_ptr<QTemporaryDir> tempDir_;
    QString clipPath_;
    int clipCount_ = 0;
    CaptureStep captureStep_ = CaptureStep::Idle;
    QElapsedTimer captureClock_;

    // Skin, background and sleeves.
    QLabel* skinLabel_ = nullptr;
    QLabel* bgLabel_ = nullptr;
    QLabel* skBgStatus_ = nullptr;
    QButtonGroup* sleeveCombo = nullptr;

    // Tracking.
    std::unique_ptr<TrackingRun> run_;
    QTimer* processTimer = nullptr;
    QLabel* videoLabel_ = nullptr;
    QLabel* progressLine_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* stopButton_ = nullptr;
};

} // namespace vestiga

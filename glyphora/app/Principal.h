#pragma once
// The main window of the sign-picture program and its controller. It owns the
// widgets (three movie views, the buffer, key-frame, mix and arrow views, the
// three step panes and the configuration window) and forwards every user
// action to the session model, glyphora::SignSession, which holds the video,
// the tracking, the key frames and the sign pattern. The window only moves
// values between its controls and the session and redraws the views.
#include "NSConfWin.h"
#include "OGLWin.h"

#include "media/MovieTime.h"
#include "render/SignSession.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTimer;

namespace qtmedia {
class MovieView;
}

class Principal : public QMainWindow {
    Q_OBJECT
public:
    // The arrow shift sliders hold thousandths: value / 1000 is their double
    // value, -0.5 to 0.5.
    static constexpr int kShiftSteps = 1000;

    explicit Principal(const QString& resourcesDir, QWidget* parent = nullptr);
    ~Principal() override;

    glyphora::SignSession& session() { return session_; }

    // ---- Dialogs ------------------------------------------------------------
    // The file choices go through these functions (the defaults show the
    // standard dialogs); an empty answer means the dialog was cancelled.
    using FileChooser = std::function<QString(const QString& title)>;
    void setOpenFileChooser(FileChooser f) { openChooser_ = std::move(f); }
    void setSaveFileChooser(FileChooser f) { saveChooser_ = std::move(f); }
    // Asked before files that already exist are replaced; true replaces.
    using Confirmer = std::function<bool(const QString& question)>;
    void setConfirmer(Confirmer f) { confirmer_ = std::move(f); }

    // Loads without dialogs; false (with a message shown) on failure, and the
    // previous video or tracking stays as it was.
    bool openVideo(const QString& path);
    bool openTracking(const QString& path);

    // The last message shown to the user (refusals, failures, saves).
    const QString& lastMessage() const { return lastMessage_; }
    // The message box currently shown, if any.
    QMessageBox* messageBox() const { return messageBox_; }

    // ---- For the views --------------------------------------------------------
    QSlider* getOffsetRArrowXSlid() const { return offsetRArrowXSlid; }
    QSlider* getOffsetRArrowYSlid() const { return offsetRArrowYSlid; }
    QSlider* getOffsetLArrowXSlid() const { return offsetLArrowXSlid; }
    QSlider* getOffsetLArrowYSlid() const { return offsetLArrowYSlid; }
    QCheckBox* getRArrowVisibleBox() const { return rArrowVisibleBox; }
    QCheckBox* getLArrowVisibleBox() const { return lArrowVisibleBox; }
    glyphora::SignPattern* getSpat() { return &session_.spat(); }
    // The tracking line of a movie time (0 without tracking).
    int getFrameNb(const media::MovieTime& t) const { return session_.getFrameNb(t); }

    // Blends the key frames again and shows the result in the mix view.
    void drawMix();
    // Gives the arrow view the begin and end lines of the sign.
    void drawSimplePreview();
    // Pushes every control to the sign pattern and redraws the arrow view.
    void refresh();
    // A brush dab of the key-frame view at (x, y) from its lower-left corner.
    void paintStroke(double x, double y, double viewWidth, double viewHeight);
    // The arrow view's drawing, with its surface current (called by paintGL).
    void drawArrowView(int pixelWidth, int pixelHeight);

    // ---- Widgets (named as the controller's fields) ---------------------------
    OGLWin* oglBuf = nullptr;
    OGLWin* oglMix = nullptr;
    OGLWinClick* oglCurKF = nullptr;
    OGLWinArrow* previewWin = nullptr;
    qtmedia::MovieView* firstMovieWin = nullptr;
    qtmedia::MovieView* begMovieWin = nullptr;
    qtmedia::MovieView* endMovieWin = nullptr;
    QTimer* displayTimer = nullptr;
    QCheckBox* rArrowVisibleBox = nullptr;
    QCheckBox* lArrowVisibleBox = nullptr;
    QSlider* offsetRArrowXSlid = nullptr;
    QSlider* offsetRArrowYSlid = nullptr;
    QSlider* offsetLArrowXSlid = nullptr;
    QSlider* offsetLArrowYSlid = nullptr;
    QSlider* slOrientation = nullptr;
    QComboBox* comboSym = nullptr;
    QComboBox* comboMoPat = nullptr;
    QStackedWidget* stepStack = nullptr;
    QWidget* selectWin = nullptr;
    QWidget* transWin = nullptr;
    QWidget* arrowWin = nullptr;
    NSConfWin* confWin = nullptr;
    ConfMatrix* matConf = nullptr; // the grid last reported by the configuration window
    QSlider* offsetSlider = nullptr;
    QLabel* timeDisplay = nullptr;
    QLabel* kfCountLabel = nullptr;
    QLabel* kfIndexLabel = nullptr;
    QLabel* offsetValueLabel = nullptr;
    QLabel* orientationValueLabel = nullptr;
    QLabel* signInfoLabel = nullptr;
    QPushButton* captureButton = nullptr;
    QPushButton* saveButton = nullptr;

    // The mix as last blended (shown by the mix and arrow views).
    const cv::Mat& mixPicture() const { return mixPicture_; }
    // The buffer view's picture: the current frame over the key-frame average.
    const cv::Mat& bufferPicture() const { return bufPicture_; }

public slots:
    void loadVideo();
    void loadTracking();
    bool onTimer();
    void onRefresh();
    void captureKeyFrame();
    void resetKeyFrame();
    void validateKeyFrame();
    void displayKFSelecWin();
    void validateKeyFrameMix();
    void displayFirstWinNewPS();
    void prevKF();
    void nextKF();
    void moveOffset();
    void setVisible();
    void setInvisible();
    void onPressBegSign();
    void onPressEndSign();
    void changeHandVisibility();
    void exportTracking();
    void saveGL();
    void saveDescr();
    void confDidChange(ConfMatrix* matrix);

signals:
    void messageShown(const QString& text);

private:
    QWidget* buildMoviePane();
    QWidget* buildSelectPane();
    QWidget* buildMixPane();
    QWidget* buildArrowPane();
    void buildMenus();

    void showMessage(const QString& text, bool problem = true);
    void pullControls();            // controls -> session
    void pushTimesToViews();        // session boundaries -> begin/end views
    void updateKeyFrameViews();     // edited key frame and mask -> key-frame view
    void updateStepPane();          // session step -> shown pane
    void updateLabels();
    void copyMix();
    bool chooseOverwrite(const QString& name);

    glyphora::SignSession session_;
    cv::Mat bufPicture_;
    cv::Mat mixPicture_;
    QString lastMessage_;
    QPointer<QMessageBox> messageBox_;
    FileChooser openChooser_;
    FileChooser saveChooser_;
    Confirmer confirmer_;
    bool syncing_ = false; // true while the window sets controls itself
};

#pragma once
// The main window of the sign-picture program and its controller. The window
// shows the movie pane and one step pane at a time (selection, mixing,
// arrows), plus the configuration window; each pane is a view that emits the
// user's requests. The controller wires them to the session model,
// glyphora::SignSession (the video, the tracking, the key frames, the sign
// pattern), and shows the session's state back in the views.
#include "GlossList.h"
#include "NSConfWin.h"
#include "OGLWin.h"

#include "media/MovieTime.h"
#include "render/SignSession.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>

class ArrowsPane;
class GlossPane;
class MixingPane;
class MoviePane;
class QDockWidget;
class QMenu;
class QStackedWidget;
class QToolBar;
class QTimer;
class SelectionPane;

namespace qtmedia {
class MovieView;
}

class Principal : public QMainWindow {
    Q_OBJECT
public:
    explicit Principal(const QString& resourcesDir, QWidget* parent = nullptr);
    ~Principal() override;

    glyphora::SignSession& session() { return session_; }
    const glyphora::SignSession& session() const { return session_; }

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
    // Opens an annotation document and shows its tiers, choosing the gloss
    // tier by default (none, with a message, when that tier is empty); false
    // (with a message) when it cannot be read, and the previous document
    // stays. Choosing a tier without annotations is refused the same way.
    // Choosing annotation `row` of the list makes its begin and end the sign's
    // first and last frame and its gloss the suggested name of the saved
    // picture; refused with a message without a video, for unknown times and
    // for times outside the video.
    bool openDocument(const QString& path);
    bool chooseTier(const QString& tier);
    bool chooseAnnotation(int row);
    const glyphora::GlossList& glosses() const { return glosses_; }
    // The name the save dialog proposes (without extension; empty before an
    // annotation was chosen): the gloss, made safe, in the video's folder.
    const QString& suggestedSaveName() const { return suggestedSave_; }

    // The last message shown to the user (refusals, failures, saves).
    const QString& lastMessage() const { return lastMessage_; }
    // The message box currently shown, if any.
    QMessageBox* messageBox() const { return messageBox_; }

    // ---- The window's parts ---------------------------------------------------
    MoviePane* moviePane() const { return movies_; }
    SelectionPane* selectionPane() const { return selection_; }
    MixingPane* mixingPane() const { return mixing_; }
    ArrowsPane* arrowsPane() const { return arrows_; }
    GlossPane* glossPane() const { return glossPane_; }
    // The step pane shown now.
    QWidget* shownPane() const;
    NSConfWin* confWin() const { return confWin_; }
    // The display timer (500 ms), running once a video is loaded.
    QTimer* displayTimer() const { return displayTimer_; }
    // The grid last reported by the configuration window (null before any).
    ConfMatrix* matConf() const { return matConf_; }

    // The mix as last blended (shown by the mix and arrow views).
    const cv::Mat& mixPicture() const { return mixPicture_; }
    // The buffer view's picture: the current frame over the key-frame average.
    const cv::Mat& bufferPicture() const { return bufPicture_; }

public slots:
    // The user's actions, as the menus, buttons and views request them.
    void loadVideo();
    void loadTracking();
    void loadDocument();
    bool onTimer();
    void refresh();
    void captureKeyFrame();
    void resetKeyFrame();
    void validateKeyFrame();
    void displayKFSelecWin();
    void validateKeyFrameMix();
    void displayFirstWinNewPS();
    void prevKF();
    void nextKF();
    void setKeyFrameShift(int hundredths);
    void setKeyFrameShown(bool shown);
    void paintStroke(const QPointF& point, const QSizeF& viewSize);
    void onPressBegSign();
    void onPressEndSign();
    void setArrowsShown(bool right, bool left);
    void exportTracking();
    void saveGL();
    void saveDescr();
    void confDidChange(ConfMatrix* matrix);

signals:
    void messageShown(const QString& text);

private:
    void wireMovies();
    void wireSteps();
    void buildMenus();
    // The document action in the menu and tool bar, and the dock that lists
    // the gloss tier's annotations.
    void buildGlossPane(QMenu* file, QToolBar* tools);
    void showGlossEntries();

    void showMessage(const QString& text, bool problem = true);
    void drawArrowView(int pixelWidth, int pixelHeight);
    void tellPreviewSize();
    void pushTimesToViews();    // session boundaries -> begin/end views
    void updateKeyFrameViews(); // edited key frame and mask -> key-frame view
    void updateStepPane();      // session step -> shown pane
    void updateLabels();
    void copyMix();
    bool chooseOverwrite(const QString& name);

    glyphora::SignSession session_;
    MoviePane* movies_ = nullptr;
    QStackedWidget* steps_ = nullptr;
    SelectionPane* selection_ = nullptr;
    MixingPane* mixing_ = nullptr;
    ArrowsPane* arrows_ = nullptr;
    GlossPane* glossPane_ = nullptr;
    QDockWidget* glossDock_ = nullptr;
    glyphora::GlossList glosses_;
    QString suggestedSave_;
    NSConfWin* confWin_ = nullptr;
    ConfMatrix* matConf_ = nullptr;
    QTimer* displayTimer_ = nullptr;

    cv::Mat bufPicture_;
    cv::Mat mixPicture_;
    QString lastMessage_;
    QPointer<QMessageBox> messageBox_;
    FileChooser openChooser_;
    FileChooser saveChooser_;
    Confirmer confirmer_;
};

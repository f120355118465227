#include "Interface.h"

#include "CalibrationWindow.h"
#include "CameraWindow.h"
#include "FrameWindow.h"
#include "MorphWin.h"
#include "ProposalTask.h"
#include "SkinBgWindow.h"
#include "StartWindow.h"
#include "TrackingWindow.h"
#include "WindowKit.h"

#include "media/MovieTime.h"
#include "qtmedia/MovieView.h"
#include "run/Calibration.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>

namespace vestiga {

namespace {

const int kPreviewMs = 40; // camera preview period

const QString kCalibFilter = QStringLiteral("Paramétrage (*.calib)");

} // namespace

Interface::Interface(Prompter* prompter, QObject* parent)
    : QObject(parent),
      prompter_(prompter ? prompter : new Prompter),
      start_(std::make_unique<StartWindow>()),
      camera_(std::make_unique<CameraWindow>()),
      frame_(std::make_unique<FrameWindow>()),
      calibration_(std::make_unique<CalibrationWindow>()),
      skinBg_(std::make_unique<SkinBgWindow>()),
      tracking_(std::make_unique<TrackingWindow>())
{
    clock_.start();
    previewTimer_ = new QTimer(this);
    previewTimer_->setSingleShot(true);
    connect(previewTimer_, &QTimer::timeout, this, &Interface::onPreviewTimer);
    processTimer_ = new QTimer(this);
    processTimer_->setSingleShot(true);
    connect(processTimer_, &QTimer::timeout, this, &Interface::onTimer);
    proposer_ = new ProposalTask(this);
    connect(proposer_, &ProposalTask::finished, this, &Interface::proposalReady);
    connectWindows();
    kit::present(start_.get());
}

Interface::~Interface()
{
    processTimer_->stop();
    previewTimer_->stop();
    run_.stop();
    closeCamera();
    // The windows go before the clip directory (tempDir_) is removed.
    start_.reset();
    camera_.reset();
    frame_.reset();
    calibration_.reset();
    skinBg_.reset();
    tracking_.reset();
}

bool Interface::proposing() const { return proposer_->running(); }
QWidget* Interface::startWindow() const { return start_.get(); }
QWidget* Interface::cameraWindow() const { return camera_.get(); }
QWidget* Interface::frameWindow() const { return frame_.get(); }
QWidget* Interface::calibrationWindow() const { return calibration_.get(); }
QWidget* Interface::skinBgWindow() const { return skinBg_.get(); }
QWidget* Interface::trackingWindow() const { return tracking_.get(); }
MorphWin* Interface::calibrationView() const { return calibration_->view(); }
qtmedia::MovieView* Interface::movieView() const { return frame_->movieView(); }
qtmedia::MovieView* Interface::clipView() const { return camera_->clipView(); }

void Interface::connectWindows()
{
    connect(start_.get(), &StartWindow::webcamChosen, this, &Interface::useWebcam);
    connect(start_.get(), &StartWindow::videoFileChosen, this, &Interface::useVideoFile);

    connect(camera_.get(), &CameraWindow::backClicked, this, &Interface::backToStart);
    connect(camera_.get(), &CameraWindow::captureClicked, this, &Interface::capture);
    connect(camera_.get(), &CameraWindow::selectClicked, this, &Interface::selectPic1);
    connect(camera_.get(), &CameraWindow::closed, this, &Interface::closeCamera);

    connect(frame_.get(), &FrameWindow::backClicked, this, &Interface::backToStart);
    connect(frame_.get(), &FrameWindow::frameChosen, this, &Interface::selectPic);

    connect(calibration_.get(), &CalibrationWindow::againClicked, this, &Interface::selectAgain);
    connect(calibration_.get(), &CalibrationWindow::loadClicked, this, &Interface::loadCalibration);
    connect(calibration_.get(), &CalibrationWindow::proposeClicked, this, &Interface::proposeCalibration);
    connect(calibration_.get(), &CalibrationWindow::validateClicked, this, &Interface::validateMorph);

    connect(skinBg_.get(), &SkinBgWindow::loadSkinClicked, this, &Interface::loadSkin);
    connect(skinBg_.get(), &SkinBgWindow::clearSkinClicked, this, &Interface::clearSkin);
    connect(skinBg_.get(), &SkinBgWindow::loadBgClicked, this, &Interface::loadBg);
    connect(skinBg_.get(), &SkinBgWindow::clearBgClicked, this, &Interface::clearBg);
    connect(skinBg_.get(), &SkinBgWindow::saveCalibrationClicked, this, &Interface::saveCalibration);
    connect(skinBg_.get(), &SkinBgWindow::startClicked, this, &Interface::begTrack);

    connect(tracking_.get(), &TrackingWindow::stopClicked, this, &Interface::stopTrack);
}

void Interface::backToStart()
{
    if (capturing())
        return;
    closeCamera();
    frame_->movieView()->pause();
    camera_->hide();
    frame_->hide();
    kit::present(start_.get());
}

// ------------------------------------------------------------- camera path

void Interface::useWebcam()
{
    model_.source = WorkflowModel::Source::Camera;
    std::string error;
    const bool opened = cameraStandIn_.isEmpty()
                            ? camSource_.open(0, &error)
                            : camSource_.openStandIn(cameraStandIn_.toStdString(), &error);
    if (!opened) {
        // The start window stays: the user can choose a video file instead,
        // or plug a camera in and try again.
        prompter_->alert(start_.get(), QStringLiteral("Caméra non trouvée"),
                         QStringLiteral("L'ordinateur ne détecte aucune caméra connectée à cet ordinateur."));
        return;
    }
    start_->hide();
    camera_->clipView()->clear();
    capture_.cancel();
    showCaptureStep();
    kit::present(camera_.get());
    previewTimer_->start(0);
}

QString Interface::clipDirectory()
{
    // QTemporaryDir creates the directory readable and writable by its owner
    // only, under a random name.
    if (!tempDir_)
        tempDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vestiga-XXXXXX"));
    return tempDir_->isValid() ? tempDir_->path() : QString();
}

void Interface::closeCamera()
{
    previewTimer_->stop();
    camSource_.close(); // finishes a clip being recorded
    capture_.cancel();
}

void Interface::capture()
{
    if (!camSource_.isOpen() || capturing())
        return;
    // The clip view lets go of the previous clip before a new one is written.
    camera_->clipView()->clear();
    capture_.start(now());
    showCaptureStep();
}

void Interface::onPreviewTimer()
{
    if (!camSource_.isOpen())
        return;
    QElapsedTimer tick;
    tick.start();
    cv::Mat frame;
    const bool got = camSource_.read(frame);
    switch (capture_.advance(now(), camSource_.recordedFrames())) {
    case CaptureMachine::Action::None:
        break;
    case CaptureMachine::Action::StartRecording:
        startClip();
        break;
    case CaptureMachine::Action::StopRecording:
        camSource_.stopRecording();
        break;
    case CaptureMachine::Action::ShowClip:
        finishCapture();
        break;
    }
    if (got)
        camera_->showPreview(kit::toQImage(frame), capture_.step(), capture_.secondsLeft(now()));
    showCaptureStep();
    if (camSource_.isOpen())
        previewTimer_->start(int(std::max<qint64>(1, kPreviewMs - tick.elapsed())));
}

void Interface::startClip()
{
    if (!clipPath_.isEmpty())
        QFile::remove(clipPath_);
    const QString dir = clipDirectory();
    std::string error = dir.isEmpty() ? tempDir_->errorString().toStdString() : std::string();
    clipPath_ = dir.isEmpty() ? QString() : QDir(dir).filePath(QStringLiteral("clip-%1.avi").arg(++clipCount_));
    if (dir.isEmpty() || !camSource_.startRecording(clipPath_.toStdString(), capture_.timing().clipFps, &error)) {
        capture_.cancel();
        showCaptureStep();
        prompter_->alert(camera_.get(), QStringLiteral("Le clip ne peut pas être enregistré."),
                         QString::fromStdString(error));
    }
}

void Interface::finishCapture()
{
    QString error;
    if (!camera_->clipView()->setVideo(clipPath_, &error)) {
        prompter_->alert(camera_.get(), QStringLiteral("Le clip enregistré ne peut pas être relu."), error);
        return;
    }
    // The clip is shown at its last frame.
    camera_->clipView()->gotoEnd();
}

void Interface::showCaptureStep()
{
    camera_->showStep(capture_.step(), capture_.secondsLeft(now()), camSource_.isOpen());
}

void Interface::selectPic1()
{
    if (capturing())
        return;
    if (!camera_->clipView()->hasVideo()) {
        prompter_->alert(camera_.get(), QStringLiteral("Aucun clip enregistré."),
                         QStringLiteral("Cliquez sur « Capturer » pour enregistrer un clip, puis choisissez "
                                        "l'image de référence."));
        return;
    }
    closeCamera();
    camera_->hide();
    selectPic();
}

// --------------------------------------------------------- video-file path

void Interface::useVideoFile()
{
    model_.source = WorkflowModel::Source::VideoFile;
    const QString path = prompter_->openFile(
        start_.get(), QStringLiteral("Ouvrir une vidéo"),
        QStringLiteral("Vidéos (*.avi *.mov *.mp4 *.m4v *.mkv *.mpg *.mpeg)"));
    if (path.isEmpty())
        return; // cancelled: nothing changes
    qtmedia::MovieView* view = frame_->movieView();
    QString error;
    if (!view->setVideo(path, &error)) {
        prompter_->alert(start_.get(), QStringLiteral("La vidéo ne peut pas être ouverte."), error);
        return;
    }
    if (view->frameCount() < 2) {
        view->clear();
        prompter_->alert(start_.get(), QStringLiteral("La vidéo est trop courte."),
                         QStringLiteral("« %1 » contient moins de deux images : le suivi commence à la "
                                        "deuxième image de la vidéo.")
                             .arg(QFileInfo(path).fileName()));
        return;
    }
    model_.videoFile = path;
    std::printf("after vopen\n");
    std::fflush(stdout);
    view->gotoBeginning();
    start_->hide();
    kit::present(frame_.get());
}

qtmedia::MovieView* Interface::sourceView() const
{
    return model_.source == WorkflowModel::Source::Camera ? camera_->clipView() : frame_->movieView();
}

// --------------------------------------------------------------- calibration

void Interface::selectPic()
{
    qtmedia::MovieView* view = sourceView();
    view->pause();
    cv::Mat frame = view->currentFrame();
    if (frame.empty()) {
        prompter_->alert(view->window(), QStringLiteral("Aucune image à choisir."),
                         QStringLiteral("L'image affichée ne peut pas être lue."));
        return;
    }
    model_.reference = frame;
    model_.referenceFrame = view->currentFrameIndex();
    frame_->hide();
    calibration_->showReference(model_.reference);
}

void Interface::selectAgain()
{
    calibrationView()->reset();
}

void Interface::validateMorph()
{
    MorphWin* view = calibrationView();
    const QString why = view->check();
    if (!why.isEmpty()) {
        prompter_->alert(calibration_.get(), QStringLiteral("Le paramétrage ne peut pas être validé."),
                         why + QStringLiteral("\nRecommencez les clics."));
        view->reset();
        return;
    }
    // The stored clicks remain for the tracking run.
    view->reset();
    calibration_->hide();
    kit::present(skinBg_.get());
}

void Interface::loadCalibration()
{
    QWidget* window = calibration_.get();
    const QString path = prompter_->openFile(window, QStringLiteral("Charger un paramétrage"), kCalibFilter);
    if (path.isEmpty())
        return;
    CalibrationFile file;
    std::string error;
    if (!readCalibrationFile(path.toStdString(), &file, &error)) {
        prompter_->alert(window, QStringLiteral("Le paramétrage ne peut pas être lu."),
                         QString::fromStdString(error));
        return;
    }
    cv::Mat& ref = model_.reference;
    // The calibration was made on one frame of the source: show that frame.
    if (file.referenceFrame != model_.referenceFrame) {
        qtmedia::MovieView* view = sourceView();
        if (file.referenceFrame < 0 || file.referenceFrame >= view->frameCount()) {
            prompter_->alert(window, QStringLiteral("Le paramétrage ne convient pas à cette vidéo."),
                             QStringLiteral("Il a été fait sur l'image n° %1, que la vidéo (%2 images) ne "
                                            "contient pas.")
                                 .arg(file.referenceFrame)
                                 .arg(view->frameCount()));
            return;
        }
        view->setCurrentTime(media::MovieTime::ofFrame(file.referenceFrame, view->fps()));
        cv::Mat frame = view->currentFrame();
        if (frame.empty() || view->currentFrameIndex() != file.referenceFrame) {
            prompter_->alert(window, QStringLiteral("L'image de référence ne peut pas être lue."),
                             QStringLiteral("Image n° %1.").arg(file.referenceFrame));
            return;
        }
        if (frame.size() != ref.size()) {
            prompter_->alert(window, QStringLiteral("L'image de référence a changé de taille."), QString());
            return;
        }
        ref = frame;
        model_.referenceFrame = file.referenceFrame;
        calibrationView()->setRefImage(ref);
    }
    calibrationView()->setCalibrationFile(file);
    skinBg_->setSleevesToWrist(file.sleevesToWrist);
    skinBg_->setTracker(file.tracker);
    calibration_->setStatus(QStringLiteral("Paramétrage chargé de « %1 » (image n° %2).")
                                .arg(QFileInfo(path).fileName())
                                .arg(model_.referenceFrame));
}

void Interface::proposeCalibration()
{
    const QString video = model_.source == WorkflowModel::Source::Camera ? clipPath_ : model_.videoFile;
    if (video.isEmpty() || model_.reference.empty())
        return;
    if (proposer_->start({video.toStdString(), int(model_.referenceFrame), model_.reference.size()}))
        calibration_->setProposing(true);
}

void Interface::proposalReady()
{
    calibration_->setProposing(false);
    const ProposalOutcome& o = proposer_->outcome();
    // A proposal for a frame no longer shown (validated meanwhile, or another
    // frame loaded) is dropped.
    if (!calibration_->isVisible() || o.request.referenceFrame != model_.referenceFrame)
        return;
    const ProposalTexts t = proposalTexts(o);
    if (o.status == ProposalStatus::Found) {
        calibrationView()->setCalibrationFile(o.proposal.calibration);
        skinBg_->setSleevesToWrist(o.proposal.calibration.sleevesToWrist);
    }
    calibration_->setStatus(t.status); // after the view's own "six points" line
    if (o.status != ProposalStatus::Found)
        prompter_->alert(calibration_.get(), t.title, t.details);
}

void Interface::saveCalibration()
{
    // The skin and background window is reached only through validation:
    // the stored calibration is complete and checked.
    QWidget* window = skinBg_.get();
    const QString path = prompter_->saveFile(window, QStringLiteral("Enregistrer le paramétrage"), kCalibFilter,
                                             QStringLiteral("calib"));
    if (path.isEmpty())
        return;
    if (model_.isInput(path)) {
        prompter_->alert(window, QStringLiteral("Ce fichier ne peut pas être remplacé."),
                         QStringLiteral("« %1 » est une des entrées du suivi.").arg(path));
        return;
    }
    CalibrationFile c = calibrationView()->calibrationFile();
    c.referenceFrame = int(model_.referenceFrame);
    c.sleevesToWrist = skinBg_->sleevesToWrist();
    c.tracker = skinBg_->tracker();
    std::string error;
    if (!writeCalibrationFile(path.toStdString(), c, &error)) {
        prompter_->alert(window, QStringLiteral("Le paramétrage n'a pas été enregistré."),
                         QString::fromStdString(error));
        return;
    }
    skinBg_->setStatus(QStringLiteral("Paramétrage enregistré dans « %1 ».").arg(path));
}

// ------------------------------------------------------ skin and background

void Interface::loadSkin()
{
    QWidget* window = skinBg_.get();
    const QString path = prompter_->openFile(window, QStringLiteral("ouvrir le fichier de peau"), QString());
    if (path.isEmpty())
        return;
    if (cv::imread(path.toStdString(), cv::IMREAD_COLOR).empty()) {
        prompter_->alert(window, QStringLiteral("L'image de peau ne peut pas être lue."),
                         QStringLiteral("« %1 » n'est pas une image lisible.").arg(path));
        return;
    }
    model_.skinFile = path;
    skinBg_->showPictures(model_.skinFile, model_.bgFile);
}

void Interface::loadBg()
{
    QWidget* window = skinBg_.get();
    const QString path = prompter_->openFile(window, QStringLiteral("ouvrir le fichier de fond"), QString());
    if (path.isEmpty())
        return;
    const cv::Mat bg = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    if (bg.empty()) {
        prompter_->alert(window, QStringLiteral("L'image de fond ne peut pas être lue."),
                         QStringLiteral("« %1 » n'est pas une image lisible.").arg(path));
        return;
    }
    const cv::Mat& ref = model_.reference;
    if (bg.size() != ref.size()) {
        prompter_->alert(window, QStringLiteral("L'image de fond n'a pas la taille de la vidéo."),
                         QStringLiteral("« %1 » mesure %2 × %3 pixels, l'image de référence %4 × %5.")
                             .arg(path)
                             .arg(bg.cols)
                             .arg(bg.rows)
                             .arg(ref.cols)
                             .arg(ref.rows));
        return;
    }
    model_.bgFile = path;
    skinBg_->showPictures(model_.skinFile, model_.bgFile);
}

void Interface::clearSkin()
{
    model_.skinFile.clear();
    skinBg_->showPictures(model_.skinFile, model_.bgFile);
}

void Interface::clearBg()
{
    model_.bgFile.clear();
    skinBg_->showPictures(model_.skinFile, model_.bgFile);
}

// ------------------------------------------------------------------ tracking

void Interface::begTrack()
{
    if (run_.started())
        return; // one run per program
    QWidget* window = skinBg_.get();
    const bool camera = model_.source == WorkflowModel::Source::Camera;
    const QString track = prompter_->saveFile(window, QStringLiteral("fichier de suivi"),
                                              QStringLiteral("Fichier de suivi (*.txt)"), QStringLiteral("txt"));
    if (track.isEmpty())
        return;
    if (model_.isInput(track)) {
        prompter_->alert(window, QStringLiteral("Ce fichier ne peut pas recevoir le suivi."),
                         QStringLiteral("« %1 » est une des entrées du suivi.").arg(track));
        return;
    }
    QString video;
    if (camera) {
        video = prompter_->saveFile(window, QStringLiteral("fichier de video"),
                                    QStringLiteral("Vidéo Motion-JPEG (*.avi)"), QStringLiteral("avi"));
        if (video.isEmpty())
            return;
        if (kit::samePath(video, track) || model_.isInput(video)) {
            prompter_->alert(window, QStringLiteral("Ce fichier ne peut pas recevoir la vidéo."),
                             QStringLiteral("« %1 » est déjà utilisé par le suivi.").arg(video));
            return;
        }
    }

    TrackingOptions options;
    options.source = camera ? TrackingOptions::Source::Camera : TrackingOptions::Source::File;
    options.videoFile = model_.videoFile.toStdString();
    options.camera = 0;
    options.cameraStandIn = camera ? cameraStandIn_.toStdString() : std::string();
    options.reference = model_.reference;
    options.calibration = calibrationView()->runCalibration(skinBg_->sleevesToWrist());
    options.calibration.tracker = skinBg_->tracker();
    options.skinFile = model_.skinFile.toStdString();
    options.bgFile = model_.bgFile.toStdString();
    options.trackingFile = track.toStdString();
    options.annotatedVideo = video.toStdString();

    std::string error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool started = run_.start(options, &error);
    QApplication::restoreOverrideCursor();
    if (!started) {
        prompter_->alert(window, QStringLiteral("Le suivi ne peut pas démarrer."), QString::fromStdString(error));
        return;
    }
    model_.trackingFile = track;
    tracking_->startRun(track, run_.totalFrames());
    skinBg_->hide();
    kit::present(tracking_.get());
    processTimer_->start(RunLoop::kTickMs);
}

void Interface::onTimer()
{
    const RunLoop::Tick t = run_.tick();
    switch (t.outcome) {
    case RunLoop::Outcome::Idle:
        break;
    case RunLoop::Outcome::Frame:
        tracking_->showPicture(kit::toQImage(run_.picture()));
        tracking_->showProgress(run_.framesDone(), run_.totalFrames());
        // Re-armed after the work, so the events in between are handled.
        processTimer_->start(t.nextDelayMs);
        break;
    case RunLoop::Outcome::EndOfVideo:
        endRun(QStringLiteral("Fin de la vidéo : le suivi est terminé."),
               QStringLiteral("%1 images suivies.\nFichier de suivi : %2")
                   .arg(run_.framesDone())
                   .arg(model_.trackingFile),
               false);
        break;
    case RunLoop::Outcome::Failed:
        endRun(QStringLiteral("Le suivi s'est arrêté."),
               QString::fromStdString(t.error) +
                   QStringLiteral("\nLes lignes déjà écrites sont conservées dans %1.").arg(model_.trackingFile),
               true);
        break;
    }
}

void Interface::endRun(const QString& message, const QString& details, bool failed)
{
    processTimer_->stop();
    run_.stop();
    tracking_->showEnd(message);
    emit trackingEnded();
    if (failed)
        prompter_->alert(tracking_.get(), message, details);
    else
        prompter_->inform(tracking_.get(), message, details);
}

void Interface::stopTrack()
{
    processTimer_->stop();
    run_.stop();
    emit quitRequested();
}

} // namespace vestiga

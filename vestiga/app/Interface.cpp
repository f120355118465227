#include "Interface.h"

#include "MorphWin.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include "media/MovieTime.h"
#include "qtmedia/MovieView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vestiga {

namespace {

const int kTickMs = 40;         // one tracking tick: 25 frames per second
const int kPreviewMs = 40;      // camera preview period
const int kCountdownMs = 3000;  // the user takes the pose
const int kRecordMs = 500;      // length of the clip
const int kSettleMs = 500;      // the clip file is finished before it is shown
const double kClipFps = 25.0;

const QString kImageFilter = QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.tif *.tiff *.ppm)");
const QString kCalibFilter = QStringLiteral("Paramétrage (*.calib)");

QLabel* heading(const QString& text)
{
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.35);
    f.setBold(true);
    label->setFont(f);
    return label;
}

QLabel* note(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(const QString& text, const char* name)
{
    auto* b = new QPushButton(text);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QImage toQImage(const cv::Mat& bgr)
{
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return QImage();
    return QImage(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888).copy();
}

bool samePath(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

Interface::Interface(Prompter* prompter, QObject* parent)
    : QObject(parent),
      prompter_(prompter ? prompter : new Prompter)
{
    previewTimer_ = new QTimer(this);
    previewTimer_->setSingleShot(true);
    connect(previewTimer_, &QTimer::timeout, this, &Interface::onPreviewTimer);
    processTimer = new QTimer(this);
    processTimer->setSingleShot(true);
    connect(processTimer, &QTimer::timeout, this, &Interface::onTimer);
    awakeFromNib();
}

Interface::~Interface()
{
    processTimer->stop();
    previewTimer_->stop();
    if (run_)
        run_->stopTrack();
    closeCamera();
    // The windows have no parent: they go with the controller. The clip
    // directory is removed with tempDir_.
    delete firstWnd;
    delete captureWnd;
    delete selectFrameWin;
    delete getMorphologyWin;
    delete loadSkBgWin;
    delete videoWnd;
}

void Interface::awakeFromNib()
{
    buildStartWindow();
    buildCameraWindow();
    buildFrameWindow();
    buildCalibrationWindow();
    buildSkinBgWindow();
    buildTrackingWindow();
    skinFile.clear();
    bgFile.clear();
    updatePictureLabels();
    present(firstWnd);
}

// ---------------------------------------------------------------- windows

void Interface::buildStartWindow()
{
    firstWnd = new QWidget;
    firstWnd->setWindowTitle(QStringLiteral("vestiga"));
    auto* v = new QVBoxLayout(firstWnd);
    v->setContentsMargins(28, 24, 28, 24);
    v->setSpacing(14);
    v->addWidget(heading(QStringLiteral("Suivi du haut du corps")));
    v->addWidget(note(QStringLiteral(
        "Le programme suit la tête, le torse, les coudes et les mains d'un signeur filmé de face, "
        "et écrit un fichier de suivi. Choisissez d'abord la source de la vidéo.")));
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    QPushButton* cam = button(QStringLiteral("Webcam\nEnregistrer un clip avec la caméra"), "webcamButton");
    QPushButton* file = button(QStringLiteral("Fichier vidéo\nOuvrir une vidéo enregistrée…"), "videoFileButton");
    for (QPushButton* b : {cam, file}) {
        b->setMinimumSize(250, 84);
        b->setIconSize(QSize(32, 32));
        row->addWidget(b);
    }
    cam->setIcon(firstWnd->style()->standardIcon(QStyle::SP_ComputerIcon));
    file->setIcon(firstWnd->style()->standardIcon(QStyle::SP_DialogOpenButton));
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(cam, &QPushButton::clicked, this, &Interface::useWebcam);
    connect(file, &QPushButton::clicked, this, &Interface::useVideoFile);
}

void Interface::buildCameraWindow()
{
    captureWnd = new QWidget;
    captureWnd->setWindowTitle(QStringLiteral("vestiga — Caméra"));
    auto* v = new QVBoxLayout(captureWnd);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(heading(QStringLiteral("Enregistrement d'un clip")));
    v->addWidget(note(QStringLiteral(
        "Placez-vous face à la caméra puis cliquez sur « Capturer » : l'enregistrement d'une "
        "demi-seconde commence après un compte à rebours de 3 secondes. Choisissez ensuite "
        "l'image de référence dans le clip.")));
    auto* views = new QHBoxLayout;
    auto* live = new QGroupBox(QStringLiteral("Caméra"));
    auto* lv = new QVBoxLayout(live);
    mCaptureView = new QLabel;
    mCaptureView->setObjectName(QStringLiteral("cameraPreview"));
    mCaptureView->setFixedSize(480, 360);
    mCaptureView->setAlignment(Qt::AlignCenter);
    mCaptureView->setStyleSheet(QStringLiteral("background: #202020; color: #d0d0d0;"));
    lv->addWidget(mCaptureView);
    views->addWidget(live);
    auto* clip = new QGroupBox(QStringLiteral("Clip enregistré"));
    auto* cv = new QVBoxLayout(clip);
    captureImageView = new qtmedia::MovieView;
    captureImageView->setObjectName(QStringLiteral("clipView"));
    captureImageView->setFixedWidth(480);
    captureImageView->setMinimumHeight(360);
    cv->addWidget(captureImageView);
    views->addWidget(clip);
    v->addLayout(views);
    auto* row = new QHBoxLayout;
    QPushButton* back = button(QStringLiteral("Retour"), "cameraBackButton");
    captureStatus_ = new QLabel;
    captureStatus_->setObjectName(QStringLiteral("captureStatus"));
    captureButton_ = button(QStringLiteral("Capturer"), "captureButton");
    selectClipButton_ = button(QStringLiteral("Choisir cette image"), "selectClipButton");
    selectClipButton_->setDefault(true);
    row->addWidget(back);
    row->addSpacing(12);
    row->addWidget(captureStatus_, 1);
    row->addWidget(captureButton_);
    row->addWidget(selectClipButton_);
    v->addLayout(row);
    connect(back, &QPushButton::clicked, this, &Interface::backToStart);
    connect(captureButton_, &QPushButton::clicked, this, &Interface::capture);
    connect(selectClipButton_, &QPushButton::clicked, this, &Interface::selectPic1);
    captureWnd->installEventFilter(this);
}

void Interface::buildFrameWindow()
{
    selectFrameWin = new QWidget;
    selectFrameWin->setWindowTitle(QStringLiteral("vestiga — Image de référence"));
    auto* v = new QVBoxLayout(selectFrameWin);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(heading(QStringLiteral("Choix de l'image de référence")));
    v->addWidget(note(QStringLiteral(
        "Lisez, faites défiler ou avancez image par image jusqu'à une image où le signeur est "
        "bien visible, bras le long du corps, puis cliquez sur « Choisir cette image ».")));
    mMovieView = new qtmedia::MovieView;
    mMovieView->setObjectName(QStringLiteral("movieView"));
    mMovieView->setMinimumSize(640, 420);
    v->addWidget(mMovieView, 1);
    auto* row = new QHBoxLayout;
    QPushButton* back = button(QStringLiteral("Retour"), "frameBackButton");
    QPushButton* select = button(QStringLiteral("Choisir cette image"), "selectPicButton");
    select->setDefault(true);
    row->addWidget(back);
    row->addStretch(1);
    row->addWidget(select);
    v->addLayout(row);
    connect(back, &QPushButton::clicked, this, &Interface::backToStart);
    connect(select, &QPushButton::clicked, this, &Interface::selectPic);
    selectFrameWin->resize(760, 600);
}

void Interface::buildCalibrationWindow()
{
    getMorphologyWin = new QWidget;
    getMorphologyWin->setWindowTitle(QStringLiteral("vestiga — Paramétrage"));
    auto* v = new QVBoxLayout(getMorphologyWin);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(heading(QStringLiteral("Paramétrage morphologique")));
    instructionField = new QLabel;
    instructionField->setObjectName(QStringLiteral("instructionField"));
    QFont f = instructionField->font();
    f.setPointSizeF(f.pointSizeF() * 1.2);
    instructionField->setFont(f);
    instructionField->setStyleSheet(QStringLiteral(
        "QLabel { background: #fff8d6; border: 1px solid #d8c46a; border-radius: 3px; padding: 6px; }"));
    v->addWidget(instructionField);
    morphImageView = new MorphWin;
    morphImageView->setObjectName(QStringLiteral("morphImageView"));
    v->addWidget(morphImageView, 0, Qt::AlignHCenter);
    calibrationStatus_ = new QLabel;
    calibrationStatus_->setObjectName(QStringLiteral("calibrationStatus"));
    calibrationStatus_->setWordWrap(true);
    v->addWidget(calibrationStatus_);
    auto* row = new QHBoxLayout;
    QPushButton* again = button(QStringLiteral("Recommencer"), "selectAgainButton");
    QPushButton* load = button(QStringLiteral("Charger un paramétrage…"), "loadCalibrationButton");
    QPushButton* ok = button(QStringLiteral("Valider"), "validateButton");
    ok->setDefault(true);
    row->addWidget(again);
    row->addWidget(load);
    row->addStretch(1);
    row->addWidget(ok);
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(again, &QPushButton::clicked, this, &Interface::selectAgain);
    connect(load, &QPushButton::clicked, this, &Interface::loadCalibration);
    connect(ok, &QPushButton::clicked, this, &Interface::validateMorph);
    connect(morphImageView, &MorphWin::stateChanged, this, [this](int state) {
        calibrationStatus_->setText(state >= 6 ? QStringLiteral("Les six points sont placés.")
                                               : QStringLiteral("Clic %1 sur 6.").arg(state + 1));
    });
    getMorphologyWin->installEventFilter(this);
}

void Interface::buildSkinBgWindow()
{
    loadSkBgWin = new QWidget;
    loadSkBgWin->setWindowTitle(QStringLiteral("vestiga — Peau et fond"));
    auto* v = new QVBoxLayout(loadSkBgWin);
    v->setContentsMargins(20, 16, 20, 16);
    v->setSpacing(12);
    v->addWidget(heading(QStringLiteral("Avant le suivi")));

    auto* pictures = new QGroupBox(QStringLiteral("Images facultatives"));
    auto* grid = new QVBoxLayout(pictures);
    auto pictureRow = [&](const QString& label, QLabel*& value, const char* loadName,
                          const char* clearName, void (Interface::*load)(), void (Interface::*clear)()) {
        auto* row = new QHBoxLayout;
        auto* name = new QLabel(label);
        name->setMinimumWidth(130);
        value = new QLabel;
        value->setMinimumWidth(300);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QPushButton* choose = button(QStringLiteral("Choisir…"), loadName);
        QPushButton* none = button(QStringLiteral("Aucune"), clearName);
        row->addWidget(name);
        row->addWidget(value, 1);
        row->addWidget(choose);
        row->addWidget(none);
        grid->addLayout(row);
        connect(choose, &QPushButton::clicked, this, load);
        connect(none, &QPushButton::clicked, this, clear);
    };
    pictureRow(QStringLiteral("Image de peau :"), skinLabel_, "loadSkinButton", "clearSkinButton",
               &Interface::loadSkin, &Interface::clearSkin);
    pictureRow(QStringLiteral("Image de fond :"), bgLabel_, "loadBgButton", "clearBgButton",
               &Interface::loadBg, &Interface::clearBg);
    v->addWidget(pictures);

    auto* sleeves = new QGroupBox(QStringLiteral("Manches du signeur"));
    auto* sv = new QVBoxLayout(sleeves);
    sleeveCombo = new QButtonGroup(loadSkBgWin);
    auto* wrist = new QRadioButton(QStringLiteral("Manches longues, jusqu'aux poignets"));
    wrist->setObjectName(QStringLiteral("sleeveWrist"));
    auto* shortSleeves = new QRadioButton(QStringLiteral("Manches courtes ou bras nus"));
    shortSleeves->setObjectName(QStringLiteral("sleeveShort"));
    sleeveCombo->addButton(wrist, 0);
    sleeveCombo->addButton(shortSleeves, 1);
    wrist->setChecked(true);
    sv->addWidget(wrist);
    sv->addWidget(shortSleeves);
    v->addWidget(sleeves);

    skBgStatus_ = new QLabel;
    skBgStatus_->setObjectName(QStringLiteral("skBgStatus"));
    skBgStatus_->setWordWrap(true);
    v->addWidget(skBgStatus_);

    auto* row = new QHBoxLayout;
    QPushButton* save = button(QStringLiteral("Enregistrer le paramétrage…"), "saveCalibrationButton");
    QPushButton* start = button(QStringLiteral("Lancer le suivi…"), "begTrackButton");
    start->setDefault(true);
    row->addWidget(save);
    row->addStretch(1);
    row->addWidget(start);
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(save, &QPushButton::clicked, this, &Interface::saveCalibration);
    connect(start, &QPushButton::clicked, this, &Interface::begTrack);
}

void Interface::buildTrackingWindow()
{
    videoWnd = new QWidget;
    videoWnd->setWindowTitle(QStringLiteral("oVideo"));
    auto* v = new QVBoxLayout(videoWnd);
    v->setContentsMargins(12, 12, 12, 12);
    videoLabel_ = new QLabel;
    videoLabel_->setObjectName(QStringLiteral("trackingPicture"));
    videoLabel_->setAlignment(Qt::AlignCenter);
    videoLabel_->setMinimumSize(400, 200);
    videoLabel_->setStyleSheet(QStringLiteral("background: #202020;"));
    v->addWidget(videoLabel_, 1);
    progressLine_ = new QLabel;
    progressLine_->setObjectName(QStringLiteral("progressLine"));
    v->addWidget(progressLine_);
    progressBar_ = new QProgressBar;
    progressBar_->setTextVisible(false);
    progressBar_->setMaximumHeight(12);
    v->addWidget(progressBar_);
    auto* row = new QHBoxLayout;
    stopButton_ = button(QStringLiteral("Arrêter le suivi"), "stopButton");
    row->addStretch(1);
    row->addWidget(stopButton_);
    v->addLayout(row);
    connect(stopButton_, &QPushButton::clicked, this, &Interface::stopTrack);
    videoWnd->installEventFilter(this);
}

void Interface::present(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

bool Interface::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == videoWnd && event->type() == QEvent::Close) {
        // Closing the tracking window ends the run as the stop button does.
        stopTrack();
        return false;
    }
    if (watched == captureWnd && event->type() == QEvent::Close) {
        closeCamera();
        return false;
    }
    if (watched == getMorphologyWin &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        // The view's place in the window fixes the click conversions.
        morphImageView->getBound();
    }
    return QObject::eventFilter(watched, event);
}

void Interface::backToStart()
{
    if (capturing())
        return;
    closeCamera();
    mMovieView->pause();
    captureWnd->hide();
    selectFrameWin->hide();
    present(firstWnd);
}

// ------------------------------------------------------------- camera path

void Interface::useWebcam()
{
    mode = 1;
    std::string error;
    const bool opened = cameraStandIn_.isEmpty()
                            ? mCaptureSession.open(0, &error)
                            : mCaptureSession.openStandIn(cameraStandIn_.toStdString(), &error);
    if (!opened) {
        // The start window stays: the user can choose a video file instead,
        // or plug a camera in and try again.
        prompter_->alert(firstWnd, QStringLiteral("Caméra non trouvée"),
                         QStringLiteral("L'ordinateur ne détecte aucune caméra connectée à cet ordinateur."));
        return;
    }
    firstWnd->hide();
    captureImageView->clear();
    captureStep_ = CaptureStep::Idle;
    updateCaptureControls();
    present(captureWnd);
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
    mCaptureSession.close();
    captureStep_ = CaptureStep::Idle;
}

void Interface::capture()
{
    if (!mCaptureSession.isOpen() || capturing())
        return;
    // The clip view lets go of the previous clip before a new one is written.
    captureImageView->clear();
    captureStep_ = CaptureStep::Countdown;
    captureClock_.start();
    updateCaptureControls();
}

void Interface::onPreviewTimer()
{
    if (!mCaptureSession.isOpen())
        return;
    QElapsedTimer tick;
    tick.start();
    cv::Mat frame;
    const bool got = mCaptureSession.read(frame);

    const qint64 t = captureClock_.isValid() ? captureClock_.elapsed() : 0;
    switch (captureStep_) {
    case CaptureStep::Idle:
        break;
    case CaptureStep::Countdown:
        if (t >= kCountdownMs) {
            if (!clipPath_.isEmpty())
                QFile::remove(clipPath_);
            const QString dir = clipDirectory();
            std::string error = dir.isEmpty() ? tempDir_->errorString().toStdString() : std::string();
            clipPath_ = dir.isEmpty() ? QString()
                                      : QDir(dir).filePath(QStringLiteral("clip-%1.avi").arg(++clipCount_));
            if (dir.isEmpty() || !mCaptureSession.startRecording(clipPath_.toStdString(), kClipFps, &error)) {
                captureStep_ = CaptureStep::Idle;
                updateCaptureControls();
                prompter_->alert(captureWnd, QStringLiteral("Le clip ne peut pas être enregistré."),
                                 QString::fromStdString(error));
                break;
            }
            captureStep_ = CaptureStep::Recording;
            captureClock_.start();
        }
        break;
    case CaptureStep::Recording:
        if (t >= kRecordMs) {
            mCaptureSession.stopRecording();
            captureStep_ = CaptureStep::Settling;
            captureClock_.start();
        }
        break;
    case CaptureStep::Settling:
        if (t >= kSettleMs)
            finishCapture();
        break;
    }
    if (got)
        showPreview(frame);
    updateCaptureControls();
    if (mCaptureSession.isOpen())
        previewTimer_->start(int(std::max<qint64>(1, kPreviewMs - tick.elapsed())));
}

void Interface::finishCapture()
{
    captureStep_ = CaptureStep::Idle;
    QString error;
    if (!captureImageView->setVideo(clipPath_, &error)) {
        prompter_->alert(captureWnd, QStringLiteral("Le clip enregistré ne peut pas être relu."), error);
        return;
    }
    // The clip is shown at its last frame.
    captureImageView->gotoEnd();
}

void Interface::showPreview(const cv::Mat& frame)
{
    QImage img = toQImage(frame);
    if (img.isNull())
        return;
    img = img.scaled(mCaptureView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (captureStep_ == CaptureStep::Countdown) {
        const int left = int(std::ceil((kCountdownMs - captureClock_.elapsed()) / 1000.0));
        QFont f = p.font();
        f.setPixelSize(img.height() / 3);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0, 0, 0, 160));
        p.drawText(img.rect().translated(3, 3), Qt::AlignCenter, QString::number(std::max(1, left)));
        p.setPen(Qt::white);
        p.drawText(img.rect(), Qt::AlignCenter, QString::number(std::max(1, left)));
    } else if (captureStep_ == CaptureStep::Recording) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 0, 0));
        p.drawEllipse(QPoint(24, 24), 10, 10);
        p.setPen(Qt::white);
        p.drawText(QRect(40, 12, 200, 24), Qt::AlignVCenter, QStringLiteral("REC"));
    }
    p.end();
    mCaptureView->setPixmap(QPixmap::fromImage(img));
}

void Interface::updateCaptureControls()
{
    switch (captureStep_) {
    case CaptureStep::Idle:
        captureStatus_->setText(captureImageView->hasVideo()
                                    ? QStringLiteral("Clip enregistré : choisissez l'image de référence.")
                                    : QStringLiteral("Prêt à enregistrer."));
        break;
    case CaptureStep::Countdown: {
        const int left = int(std::ceil((kCountdownMs - captureClock_.elapsed()) / 1000.0));
        captureStatus_->setText(QStringLiteral("Enregistrement dans %1 s…").arg(std::max(1, left)));
        break;
    }
    case CaptureStep::Recording:
        captureStatus_->setText(QStringLiteral("Enregistrement…"));
        break;
    case CaptureStep::Settling:
        captureStatus_->setText(QStringLiteral("Préparation du clip…"));
        break;
    }
    captureButton_->setEnabled(!capturing() && mCaptureSession.isOpen());
    selectClipButton_->setEnabled(!capturing() && captureImageView->hasVideo());
}

void Interface::selectPic1()
{
    if (capturing())
        return;
    if (!captureImageView->hasVideo()) {
        prompter_->alert(captureWnd, QStringLiteral("Aucun clip enregistré."),
                         QStringLiteral("Cliquez sur « Capturer » pour enregistrer un clip, puis choisissez "
                                        "l'image de référence."));
        return;
    }
    closeCamera();
    captureWnd->hide();
    selectPic();
}

// --------------------------------------------------------- video-file path

void Interface::useVideoFile()
{
    mode = 0;
    const QString path = prompter_->openFile(
        firstWnd, QStringLiteral("Ouvrir une vidéo"),
        QStringLiteral("Vidéos (*.avi *.mov *.mp4 *.m4v *.mkv *.mpg *.mpeg)"));
    if (path.isEmpty())
        return; // cancelled: nothing changes
    QString error;
    if (!mMovieView->setVideo(path, &error)) {
        prompter_->alert(firstWnd, QStringLiteral("La vidéo ne peut pas être ouverte."), error);
        return;
    }
    if (mMovieView->frameCount() < 2) {
        mMovieView->clear();
        prompter_->alert(firstWnd, QStringLiteral("La vidéo est trop courte."),
                         QStringLiteral("« %1 » contient moins de deux images : le suivi commence à la "
                                        "deuxième image de la vidéo.")
                             .arg(QFileInfo(path).fileName()));
        return;
    }
    videoFile = path;
    std::printf("after vopen\n");
    std::fflush(stdout);
    mMovieView->gotoBeginning();
    firstWnd->hide();
    present(selectFrameWin);
}

qtmedia::MovieView* Interface::sourceView() const
{
    return mode == 1 ? captureImageView : mMovieView;
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
    refPic = frame;
    refFrameIndex_ = view->currentFrameIndex();
    selectFrameWin->hide();

    morphImageView->setRefImage(refPic);
    morphImageView->setFixedSize(MorphWin::displaySize(QSize(refPic.cols, refPic.rows)));
    morphImageView->setInstructionField(instructionField);
    getMorphologyWin->layout()->activate();
    present(getMorphologyWin);
    morphImageView->getBound();
    morphImageView->reset();
}

void Interface::selectAgain()
{
    morphImageView->reset();
}

void Interface::validateMorph()
{
    const QString why = morphImageView->check();
    if (!why.isEmpty()) {
        prompter_->alert(getMorphologyWin, QStringLiteral("Le paramétrage ne peut pas être validé."),
                         why + QStringLiteral("\nRecommencez les clics."));
        morphImageView->reset();
        return;
    }
    // The stored clicks remain for the tracking run.
    morphImageView->reset();
    getMorphologyWin->hide();
    present(loadSkBgWin);
}

void Interface::loadCalibration()
{
    const QString path =
        prompter_->openFile(getMorphologyWin, QStringLiteral("Charger un paramétrage"), kCalibFilter);
    if (path.isEmpty())
        return;
    CalibrationFile file;
    std::string error;
    if (!readCalibrationFile(path.toStdString(), &file, &error)) {
        prompter_->alert(getMorphologyWin, QStringLiteral("Le paramétrage ne peut pas être lu."),
                         QString::fromStdString(error));
        return;
    }
    // The calibration was made on one frame of the source: show that frame.
    if (file.referenceFrame != refFrameIndex_) {
        qtmedia::MovieView* view = sourceView();
        if (file.referenceFrame < 0 || file.referenceFrame >= view->frameCount()) {
            prompter_->alert(getMorphologyWin, QStringLiteral("Le paramétrage ne convient pas à cette vidéo."),
                             QStringLiteral("Il a été fait sur l'image n° %1, que la vidéo (%2 images) ne "
                                            "contient pas.")
                                 .arg(file.referenceFrame)
                                 .arg(view->frameCount()));
            return;
        }
        view->setCurrentTime(media::MovieTime::ofFrame(file.referenceFrame, view->fps()));
        cv::Mat frame = view->currentFrame();
        if (frame.empty() || view->currentFrameIndex() != file.referenceFrame) {
            prompter_->alert(getMorphologyWin, QStringLiteral("L'image de référence ne peut pas être lue."),
                             QStringLiteral("Image n° %1.").arg(file.referenceFrame));
            return;
        }
        if (frame.size() != refPic.size()) {
            prompter_->alert(getMorphologyWin, QStringLiteral("L'image de référence a changé de taille."),
                             QString());
            return;
        }
        refPic = frame;
        refFrameIndex_ = file.referenceFrame;
        morphImageView->setRefImage(refPic);
    }
    const RunCalibration r = toRunCalibration(file, refPic.rows);
    // Shoulders: top-left origin in the file, bottom-left in the view.
    const float right[2] = {float(file.shoulders[0]), float(refPic.rows - file.shoulders[1])};
    const float left[2] = {float(file.shoulders[2]), float(refPic.rows - file.shoulders[3])};
    morphImageView->setCalibration(r, right, left);
    sleeveCombo->button(file.sleevesToWrist ? 0 : 1)->setChecked(true);
    calibrationStatus_->setText(QStringLiteral("Paramétrage chargé de « %1 » (image n° %2).")
                                    .arg(QFileInfo(path).fileName())
                                    .arg(refFrameIndex_));
}

void Interface::saveCalibration()
{
    // The skin and background window is reached only through validation:
    // the stored calibration is complete and checked.
    const QString path = prompter_->saveFile(loadSkBgWin, QStringLiteral("Enregistrer le paramétrage"),
                                             kCalibFilter, QStringLiteral("calib"));
    if (path.isEmpty())
        return;
    if (samePath(path, videoFile) || samePath(path, skinFile) || samePath(path, bgFile)) {
        prompter_->alert(loadSkBgWin, QStringLiteral("Ce fichier ne peut pas être remplacé."),
                         QStringLiteral("« %1 » est une des entrées du suivi.").arg(path));
        return;
    }
    const RunCalibration r = morphImageView->runCalibration(sleevesToWrist());
    float right[2], left[2];
    morphImageView->getShoulders(right, left);
    const int h = morphImageView->imageHeight();
    const double shoulders[4] = {double(right[0]), double(h) - double(right[1]), double(left[0]),
                                 double(h) - double(left[1])};
    CalibrationFile c = toCalibrationFile(r, h, shoulders, int(refFrameIndex_));
    c.sleevesToWrist = r.sleevesToWrist;
    std::string error;
    if (!writeCalibrationFile(path.toStdString(), c, &error)) {
        prompter_->alert(loadSkBgWin, QStringLiteral("Le paramétrage n'a pas été enregistré."),
                         QString::fromStdString(error));
        return;
    }
    skBgStatus_->setText(QStringLiteral("Paramétrage enregistré dans « %1 ».").arg(path));
}

// ------------------------------------------------------ skin and background

void Interface::loadSkin()
{
    const QString path =
        prompter_->openFile(loadSkBgWin, QStringLiteral("ouvrir le fichier de peau"), QString());
    if (path.isEmpty())
        return;
    if (cv::imread(path.toStdString(), cv::IMREAD_COLOR).empty()) {
        prompter_->alert(loadSkBgWin, QStringLiteral("L'image de peau ne peut pas être lue."),
                         QStringLiteral("« %1 » n'est pas une image lisible.").arg(path));
        return;
    }
    skinFile = path;
    updatePictureLabels();
}

void Interface::loadBg()
{
    const QString path =
        prompter_->openFile(loadSkBgWin, QStringLiteral("ouvrir le fichier de fond"), QString());
    if (path.isEmpty())
        return;
    const cv::Mat bg = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    if (bg.empty()) {
        prompter_->alert(loadSkBgWin, QStringLiteral("L'image de fond ne peut pas être lue."),
                         QStringLiteral("« %1 » n'est pas une image lisible.").arg(path));
        return;
    }
    if (bg.size() != refPic.size()) {
        prompter_->alert(loadSkBgWin, QStringLiteral("L'image de fond n'a pas la taille de la vidéo."),
                         QStringLiteral("« %1 » mesure %2 × %3 pixels, l'image de référence %4 × %5.")
                             .arg(path)
                             .arg(bg.cols)
                             .arg(bg.rows)
                             .arg(refPic.cols)
                             .arg(refPic.rows));
        return;
    }
    bgFile = path;
    updatePictureLabels();
}

void Interface::clearSkin()
{
    skinFile.clear();
    updatePictureLabels();
}

void Interface::clearBg()
{
    bgFile.clear();
    updatePictureLabels();
}

void Interface::updatePictureLabels()
{
    skinLabel_->setText(skinFile.isEmpty()
                            ? QStringLiteral("<i>aucune : centre de la boîte de la tête</i>")
                            : QFileInfo(skinFile).fileName());
    skinLabel_->setToolTip(skinFile);
    bgLabel_->setText(bgFile.isEmpty() ? QStringLiteral("<i>aucune : fond calculé sur l'image</i>")
                                       : QFileInfo(bgFile).fileName());
    bgLabel_->setToolTip(bgFile);
}

bool Interface::sleevesToWrist() const
{
    return sleeveCombo->checkedId() == 0;
}

// ------------------------------------------------------------------ tracking

bool Interface::tracking() const
{
    return run_ && run_->running();
}

void Interface::begTrack()
{
    if (run_)
        return; // one run per program
    const QString track = prompter_->saveFile(loadSkBgWin, QStringLiteral("fichier de suivi"),
                                              QStringLiteral("Fichier de suivi (*.txt)"), QStringLiteral("txt"));
    if (track.isEmpty())
        return;
    if (samePath(track, videoFile) || samePath(track, skinFile) || samePath(track, bgFile)) {
        prompter_->alert(loadSkBgWin, QStringLiteral("Ce fichier ne peut pas recevoir le suivi."),
                         QStringLiteral("« %1 » est une des entrées du suivi.").arg(track));
        return;
    }
    QString video;
    if (mode == 1) {
        video = prompter_->saveFile(loadSkBgWin, QStringLiteral("fichier de video"),
                                    QStringLiteral("Vidéo Motion-JPEG (*.avi)"), QStringLiteral("avi"));
        if (video.isEmpty())
            return;
        if (samePath(video, track) || samePath(video, skinFile) || samePath(video, bgFile)) {
            prompter_->alert(loadSkBgWin, QStringLiteral("Ce fichier ne peut pas recevoir la vidéo."),
                             QStringLiteral("« %1 » est déjà utilisé par le suivi.").arg(video));
            return;
        }
    }

    TrackingOptions options;
    options.source = mode == 1 ? TrackingOptions::Source::Camera : TrackingOptions::Source::File;
    options.videoFile = videoFile.toStdString();
    options.camera = 0;
    options.cameraStandIn = mode == 1 ? cameraStandIn_.toStdString() : std::string();
    options.reference = refPic;
    options.calibration = morphImageView->runCalibration(sleevesToWrist());
    options.skinFile = skinFile.toStdString();
    options.bgFile = bgFile.toStdString();
    options.trackingFile = track.toStdString();
    options.annotatedVideo = video.toStdString();

    auto run = std::make_unique<TrackingRun>();
    std::string error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool started = run->begTrack(options, &error);
    QApplication::restoreOverrideCursor();
    if (!started) {
        prompter_->alert(loadSkBgWin, QStringLiteral("Le suivi ne peut pas démarrer."),
                         QString::fromStdString(error));
        return;
    }
    run_ = std::move(run);
    trackingFile = track;

    const int total = int(run_->totalFrames());
    progressBar_->setVisible(total > 0);
    progressBar_->setRange(0, std::max(1, total));
    progressBar_->setValue(0);
    stopButton_->setText(QStringLiteral("Arrêter le suivi"));
    progressLine_->setText(QStringLiteral("Suivi en cours vers « %1 »…").arg(QFileInfo(track).fileName()));
    loadSkBgWin->hide();
    present(videoWnd);
    processTimer->start(kTickMs);
}

bool Interface::onTimer()
{
    if (!tracking())
        return true;
    QElapsedTimer clock;
    clock.start();
    std::string error;
    switch (run_->onTimer(&error)) {
    case TrackingRun::Tick::Frame:
        showTrackingPicture();
        updateProgress();
        // Re-armed after the work: a slow tick delays the next one instead of
        // letting ticks pile up, and the events in between are handled.
        processTimer->start(int(std::max<qint64>(1, kTickMs - clock.elapsed())));
        break;
    case TrackingRun::Tick::EndOfVideo:
        endRun(QStringLiteral("Fin de la vidéo : le suivi est terminé."),
               QStringLiteral("%1 images suivies.\nFichier de suivi : %2")
                   .arg(run_->posFrame())
                   .arg(trackingFile),
               false);
        break;
    case TrackingRun::Tick::Failed:
        endRun(QStringLiteral("Le suivi s'est arrêté."),
               QString::fromStdString(error) +
                   QStringLiteral("\nLes lignes déjà écrites sont conservées dans %1.").arg(trackingFile),
               true);
        break;
    }
    return true;
}

void Interface::showTrackingPicture()
{
    const QImage img = toQImage(run_->picture());
    if (img.isNull())
        return;
    if (videoLabel_->minimumSize() != img.size())
        videoLabel_->setMinimumSize(img.size());
    videoLabel_->setPixmap(QPixmap::fromImage(img));
}

void Interface::updateProgress()
{
    const int64_t done = run_->posFrame();
    const int64_t total = run_->totalFrames();
    if (total > 0) {
        progressBar_->setValue(int(std::min(done, total)));
        progressLine_->setText(QStringLiteral("Image %1 sur %2 — fichier « %3 »")
                                   .arg(done)
                                   .arg(total)
                                   .arg(QFileInfo(trackingFile).fileName()));
    } else {
        char buf[32];
        media::formatTime(media::MovieTime::fromSeconds(double(done) * 0.04), buf);
        progressLine_->setText(QStringLiteral("Image %1 — %2 — fichier « %3 »")
                                   .arg(done)
                                   .arg(QString::fromLatin1(buf))
                                   .arg(QFileInfo(trackingFile).fileName()));
    }
}

void Interface::endRun(const QString& message, const QString& details, bool failed)
{
    processTimer->stop();
    run_->stopTrack();
    progressLine_->setText(message);
    stopButton_->setText(QStringLiteral("Quitter"));
    emit trackingEnded();
    if (failed)
        prompter_->alert(videoWnd, message, details);
    else
        prompter_->inform(videoWnd, message, details);
}

void Interface::stopTrack()
{
    processTimer->stop();
    if (run_)
        run_->stopTrack();
    emit quitRequested();
}

} // namespace vestiga

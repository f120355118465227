#include "Principal.h"

#include "ArrowsPane.h"
#include "AspectBox.h"
#include "MixingPane.h"
#include "MoviePane.h"
#include "SelectionPane.h"

#include "core/Blend.h"
#include "qtmedia/MovieView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <GL/gl.h>

#include <cstdio>

using glyphora::Step;

namespace {

// Writes what the session gives to print on the standard output, at once.
void print(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

Principal::Principal(const QString& resourcesDir, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(tr("Glyphora — image de signe"));

    openChooser_ = [this](const QString& title) { return QFileDialog::getOpenFileName(this, title); };
    saveChooser_ = [this](const QString& title) {
        return QFileDialog::getSaveFileName(this, title, suggestedSave_, QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    confirmer_ = [this](const QString& question) {
        return QMessageBox::question(this, tr("Remplacer ?"), question) == QMessageBox::Yes;
    };

    auto* central = new QWidget(this);
    auto* h = new QHBoxLayout(central);
    h->setContentsMargins(8, 8, 8, 8);
    h->setSpacing(10);
    movies_ = new MoviePane(central);
    steps_ = new QStackedWidget(central);
    selection_ = new SelectionPane(steps_);
    mixing_ = new MixingPane(steps_);
    arrows_ = new ArrowsPane(steps_);
    steps_->addWidget(selection_);
    steps_->addWidget(mixing_);
    steps_->addWidget(arrows_);
    h->addWidget(movies_, 5);
    h->addWidget(steps_, 6);
    setCentralWidget(central);
    buildMenus();
    statusBar()->showMessage(tr("Ouvrez une vidéo et son fichier de suivi pour commencer."));

    confWin_ = new NSConfWin(resourcesDir, this);
    confWin_->hide();
    connect(confWin_, &NSConfWin::confDidChange, this, &Principal::confDidChange);
    connect(confWin_, &NSConfWin::saveDescriptionRequested, this, &Principal::saveDescr);

    wireMovies();
    wireSteps();

    // Start-up state: the selection step shown, the others present but
    // hidden; both lists at item 0, shift sliders at 0, orientation 0.
    arrows_->showPatternAndSymmetry(session_.pattern(), session_.symmetry());
    updateStepPane();
    updateLabels();

    displayTimer_ = new QTimer(this);
    displayTimer_->setInterval(500);
    connect(displayTimer_, &QTimer::timeout, this, &Principal::onTimer);

    resize(1360, 820);
}

Principal::~Principal() = default;

QWidget* Principal::shownPane() const
{
    return steps_->currentWidget();
}

// ---- Wiring ------------------------------------------------------------------

void Principal::wireMovies()
{
    // The movie views hold the times; the session follows them.
    connect(movies_->mainMovie(), &qtmedia::MovieView::timeChanged, this, [this](const media::MovieTime& t) {
        session_.setMainTime(t);
        movies_->timeLabel()->setText(QString::fromStdString(session_.timeText()));
    });
    connect(movies_->beginMovie(), &qtmedia::MovieView::timeChanged, this, [this](const media::MovieTime& t) {
        session_.setBegin(t);
        updateLabels();
    });
    connect(movies_->endMovie(), &qtmedia::MovieView::timeChanged, this, [this](const media::MovieTime& t) {
        session_.setEnd(t);
        updateLabels();
    });
    connect(movies_, &MoviePane::beginHereRequested, this, &Principal::onPressBegSign);
    connect(movies_, &MoviePane::endHereRequested, this, &Principal::onPressEndSign);
}

void Principal::wireSteps()
{
    connect(selection_, &SelectionPane::captureRequested, this, &Principal::captureKeyFrame);
    connect(selection_, &SelectionPane::resetRequested, this, &Principal::resetKeyFrame);
    connect(selection_, &SelectionPane::validateRequested, this, &Principal::validateKeyFrame);

    connect(mixing_, &MixingPane::previousRequested, this, &Principal::prevKF);
    connect(mixing_, &MixingPane::nextRequested, this, &Principal::nextKF);
    connect(mixing_, &MixingPane::shiftChanged, this, &Principal::setKeyFrameShift);
    connect(mixing_, &MixingPane::shownRequested, this, &Principal::setKeyFrameShown);
    connect(mixing_, &MixingPane::strokeAt, this, &Principal::paintStroke);
    connect(mixing_, &MixingPane::backRequested, this, &Principal::displayKFSelecWin);
    connect(mixing_, &MixingPane::validateRequested, this, &Principal::validateKeyFrameMix);

    // Every arrow control redraws the preview.
    connect(arrows_, &ArrowsPane::patternChanged, this, [this](int p) {
        session_.setPattern(p);
        refresh();
    });
    connect(arrows_, &ArrowsPane::symmetryChanged, this, [this](int s) {
        session_.setSymmetry(s);
        refresh();
    });
    connect(arrows_, &ArrowsPane::orientationChanged, this, [this](int degrees) {
        session_.setOrientation(double(degrees));
        refresh();
    });
    connect(arrows_, &ArrowsPane::arrowShiftChanged, this, [this](bool right, double dx, double dy) {
        using Arrow = glyphora::SignSession::Arrow;
        session_.setArrowShift(right ? Arrow::Right : Arrow::Left, dx, dy);
        refresh();
    });
    connect(arrows_, &ArrowsPane::arrowsShownChanged, this, &Principal::setArrowsShown);
    connect(arrows_, &ArrowsPane::newSignRequested, this, &Principal::displayFirstWinNewPS);
    connect(arrows_, &ArrowsPane::refreshRequested, this, &Principal::refresh);
    connect(arrows_, &ArrowsPane::saveRequested, this, &Principal::saveGL);
    // The arrow view draws in its paintGL, with its surface current.
    connect(arrows_->arrowView(), &OGLWinArrow::paintArrows, this, &Principal::drawArrowView, Qt::DirectConnection);
}

void Principal::buildMenus()
{
    auto* file = menuBar()->addMenu(tr("&Fichier"));
    auto* openVideo = file->addAction(style()->standardIcon(QStyle::SP_DialogOpenButton),
                                      tr("Ouvrir une &vidéo…"), this, &Principal::loadVideo);
    openVideo->setShortcut(QKeySequence::Open);
    auto* openTrack = file->addAction(style()->standardIcon(QStyle::SP_FileIcon),
                                      tr("Ouvrir un fichier de &suivi…"), this, &Principal::loadTracking);
    openTrack->setShortcut(QKeySequence(tr("Ctrl+T")));
    file->addSeparator();
    auto* save = file->addAction(tr("&Enregistrer l'image…"), this, &Principal::saveGL);
    save->setShortcut(QKeySequence::Save);
    file->addAction(tr("Enregistrer la &description"), this, &Principal::saveDescr);
    file->addSeparator();
    auto* quit = file->addAction(tr("&Quitter"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);

    auto* tools = addToolBar(tr("Fichiers"));
    tools->setObjectName("files");
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->addAction(openVideo);
    tools->addAction(openTrack);
    buildGlossPane(file, tools);
}

// ---- Messages ----------------------------------------------------------------

void Principal::showMessage(const QString& text, bool problem)
{
    lastMessage_ = text;
    statusBar()->showMessage(text, 15000);
    emit messageShown(text);
    if (!problem)
        return;
    // A window-modal box that does not block the event loop: the display
    // timer and the views keep running behind it.
    if (!messageBox_) {
        messageBox_ = new QMessageBox(QMessageBox::Warning, tr("Glyphora"), text, QMessageBox::Ok, this);
        messageBox_->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        messageBox_->setText(text);
    }
    messageBox_->open();
}

// ---- Loading -------------------------------------------------------------------

void Principal::loadVideo()
{
    const QString path = openChooser_(tr("ouvrir le fichier video"));
    if (path.isEmpty())
        return; // cancelled: nothing changes
    openVideo(path);
}

bool Principal::openVideo(const QString& path)
{
    std::string error;
    if (!session_.loadVideo(path.toStdString(), &error)) {
        showMessage(tr("La vidéo n'a pas été ouverte : %1").arg(QString::fromStdString(error)));
        return false;
    }
    // Three movies on the file, one per view, each with its own time.
    for (qtmedia::MovieView* view : {movies_->mainMovie(), movies_->beginMovie(), movies_->endMovie()}) {
        QString why;
        if (!view->setVideo(path, &why))
            view->clear();
    }
    bufPicture_.release();
    mixPicture_.release();
    const cv::Size frame = session_.frameSize();
    for (AspectBox* box : findChildren<AspectBox*>())
        box->setAspect(double(frame.width) / double(frame.height));
    selection_->bufferView()->initTexture(nullptr);
    mixing_->mixView()->initTexture(nullptr);
    pushTimesToViews();
    updateStepPane();
    // One display timer for the program, started by the first video.
    if (!displayTimer_->isActive())
        displayTimer_->start();
    onTimer();
    const cv::Size s = session_.frameSize();
    showMessage(tr("Vidéo ouverte : %1 (%2 × %3, %4 images/s, %5 images)")
                    .arg(QFileInfo(path).fileName())
                    .arg(s.width)
                    .arg(s.height)
                    .arg(session_.fps(), 0, 'f', 2)
                    .arg(session_.frameCount()),
                false);
    setWindowTitle(tr("Glyphora — %1").arg(QFileInfo(path).fileName()));
    return true;
}

void Principal::loadTracking()
{
    const QString path = openChooser_(tr("fichier de suivi"));
    if (path.isEmpty())
        return;
    openTracking(path);
}

bool Principal::openTracking(const QString& path)
{
    std::string error;
    if (!session_.loadTracking(path.toStdString(), &error)) {
        showMessage(tr("Le fichier de suivi n'a pas été lu : %1").arg(QString::fromStdString(error)));
        return false;
    }
    showMessage(tr("Suivi chargé : %1 (%2 lignes, %3 lignes/s)")
                    .arg(QFileInfo(path).fileName())
                    .arg(session_.tracking().lineCount())
                    .arg(double(session_.rate()), 0, 'f', 2),
                false);
    updateLabels();
    if (session_.step() != Step::Selection)
        refresh();
    return true;
}

// ---- Display tick -----------------------------------------------------------------

bool Principal::onTimer()
{
    if (!session_.hasVideo())
        return true;
    const bool arrowsDue = session_.tick();
    movies_->timeLabel()->setText(QString::fromStdString(session_.timeText()));

    // The buffer view: the current frame over the key-frame average. It keeps
    // its own copy, since the session's working picture becomes the mix.
    OGLWin* buffer = selection_->bufferView();
    if (!session_.curFrame().empty()) {
        glyphora::blendHalf(session_.kfBuffer(), session_.curFrame(), bufPicture_);
        buffer->initTexture(&bufPicture_);
        if (buffer->isVisible())
            buffer->display();
    }
    updateKeyFrameViews();
    if (arrowsDue) {
        copyMix();
        if (arrows_->arrowView()->isVisible())
            arrows_->arrowView()->display();
    }
    return true;
}

void Principal::tellPreviewSize()
{
    const QSize s = arrows_->arrowView()->pixelSize();
    session_.setPreviewSize(s.width(), s.height());
}

void Principal::refresh()
{
    tellPreviewSize();
    session_.refresh();
    if (arrows_->arrowView()->isVisible())
        arrows_->arrowView()->display();
}

void Principal::drawArrowView(int pixelWidth, int pixelHeight)
{
    const auto status = session_.drawArrowView(pixelWidth, pixelHeight);
    arrows_->showDrawStatus(status, session_.arrowView().beg, session_.arrowView().end,
                            session_.hasTracking() ? session_.tracking().lineCount() : 0);
}

// ---- Key frames ---------------------------------------------------------------------

void Principal::captureKeyFrame()
{
    std::string error;
    if (!session_.captureKeyFrame(&error)) {
        showMessage(tr("Image clé refusée : %1").arg(QString::fromStdString(error)));
        return;
    }
    pushTimesToViews();
    updateLabels();
    onTimer(); // the buffer view shows the new average at once
}

void Principal::resetKeyFrame()
{
    session_.resetKeyFrames();
    updateKeyFrameViews();
    updateLabels();
    onTimer();
}

void Principal::validateKeyFrame()
{
    session_.goToStep(Step::Mixing);
    copyMix();
    updateStepPane();
}

void Principal::displayKFSelecWin()
{
    session_.goToStep(Step::Selection);
    updateStepPane();
    onTimer();
}

void Principal::validateKeyFrameMix()
{
    session_.goToStep(Step::Arrows);
    updateStepPane();
    onTimer(); // the preview gets the mix and the sign's lines now
    refresh();
}

void Principal::displayFirstWinNewPS()
{
    session_.newSign();
    updateStepPane();
    onTimer();
}

void Principal::prevKF()
{
    session_.editPreviousKeyFrame();
    copyMix();
    updateStepPane();
}

void Principal::nextKF()
{
    session_.editNextKeyFrame();
    copyMix();
    updateStepPane();
}

void Principal::setKeyFrameShift(int hundredths)
{
    // The mix follows at the next tick.
    session_.setKeyFrameShift(session_.kfnb(), double(hundredths));
    updateLabels();
}

void Principal::setKeyFrameShown(bool shown)
{
    session_.setKeyFrameShown(session_.kfnb(), shown);
    copyMix();
}

void Principal::paintStroke(const QPointF& point, const QSizeF& viewSize)
{
    if (!session_.curKeyFrameMask())
        return;
    session_.paintKeyFrameMask(point.x(), point.y(), viewSize.width(), viewSize.height());
    copyMix();
}

void Principal::copyMix()
{
    // The mix views keep their own copy: the session's working picture is
    // the buffer picture again at the next tick of the selection step.
    if (session_.kfNewBuffer().empty())
        return;
    session_.kfNewBuffer().copyTo(mixPicture_);
    OGLWin* mix = mixing_->mixView();
    mix->initTexture(&mixPicture_);
    updateKeyFrameViews();
    if (mix->isVisible())
        mix->display();
}

// ---- Boundaries and hand visibility -------------------------------------------

void Principal::onPressBegSign()
{
    session_.setBeginHere();
    pushTimesToViews();
}

void Principal::onPressEndSign()
{
    session_.setEndHere();
    pushTimesToViews();
}

void Principal::setArrowsShown(bool right, bool left)
{
    // The symmetry (and for no arrow the pattern) follows the boxes.
    session_.setArrowsShown(right, left);
    arrows_->showPatternAndSymmetry(session_.pattern(), session_.symmetry());
    refresh();
}

void Principal::pushTimesToViews()
{
    qtmedia::MovieView* begin = movies_->beginMovie();
    qtmedia::MovieView* end = movies_->endMovie();
    begin->setCurrentTime(session_.beginTime());
    end->setCurrentTime(session_.endTime());
    // The views keep times within the video; the session follows them.
    session_.setBoundaries(begin->hasVideo() ? begin->currentTime() : session_.beginTime(),
                           end->hasVideo() ? end->currentTime() : session_.endTime());
    updateLabels();
}

// ---- Views and labels ---------------------------------------------------------------

void Principal::updateKeyFrameViews()
{
    OGLWinClick* view = mixing_->keyFrameView();
    view->initTexture(session_.curKeyFrame());
    view->initAlphaTexture(session_.curKeyFrameMask());
    if (view->isVisible())
        view->update();
}

void Principal::updateStepPane()
{
    switch (session_.step()) {
    case Step::Selection: steps_->setCurrentWidget(selection_); break;
    case Step::Mixing: steps_->setCurrentWidget(mixing_); break;
    case Step::Arrows: steps_->setCurrentWidget(arrows_); break;
    }
    // The slider shows the edited key frame's shift.
    const int k = session_.kfnb();
    mixing_->showShift(k < session_.kfCount() ? qRound(100.0 * session_.keyFrameOffset(k)) : 0);
    updateKeyFrameViews();
    updateLabels();
}

void Principal::updateLabels()
{
    const int n = session_.kfCount();
    const int max = glyphora::SignSession::kMaxKeyFrames;
    selection_->showKeyFrameCount(n, max, session_.hasVideo() && n < max);
    mixing_->showKeyFrameIndex(session_.curKeyFrame() ? session_.kfnb() : -1, n);
}

// ---- Save and description ---------------------------------------------------------------

void Principal::exportTracking()
{
    print(session_.exportTracking());
}

bool Principal::chooseOverwrite(const QString& name)
{
    QStringList existing;
    for (const char* ext : {".jpg", ".sgn"})
        if (QFileInfo::exists(name + ext))
            existing << QFileInfo(name + ext).fileName();
    if (existing.isEmpty())
        return true;
    return confirmer_(tr("%1 existe déjà. Le remplacer ?").arg(existing.join(tr(" et "))));
}

void Principal::saveGL()
{
    // The movement profile is printed first, at every save.
    exportTracking();
    const QString name = saveChooser_(tr("nom du fichier de sauvegarde"));
    if (name.isEmpty())
        return; // cancelled: nothing is written
    const QFileInfo info(name);
    if (!info.absoluteDir().exists()) {
        showMessage(tr("Image non enregistrée : le dossier %1 n'existe pas.")
                        .arg(QDir::toNativeSeparators(info.absolutePath())));
        return;
    }
    if (!chooseOverwrite(name))
        return;

    // The picture is read back from the arrow view's own surface, drawn now.
    OGLWinArrow* view = arrows_->arrowView();
    view->makeCurrent();
    const QSize s = view->pixelSize();
    tellPreviewSize();
    session_.drawSimplePreview();
    glViewport(0, 0, s.width(), s.height());
    drawArrowView(s.width(), s.height());
    glFinish();
    std::string error;
    const bool ok = session_.savePicture(name.toStdString(), s.width(), s.height(), &error);
    view->doneCurrent();
    view->update();
    if (!ok) {
        showMessage(tr("Image non enregistrée : %1").arg(QString::fromStdString(error)));
        return;
    }
    showMessage(tr("Image enregistrée : %1.jpg").arg(QDir::toNativeSeparators(name)), false);

    // The configuration of the sign is chosen next, from a cleared grid.
    confWin_->resetConf(matConf_);
    if (matConf_)
        confDidChange(matConf_);
    confWin_->present();
}

void Principal::confDidChange(ConfMatrix* matrix)
{
    matConf_ = matrix;
    if (!matrix)
        return;
    const auto states = matrix->states();
    for (int i = 0; i < glyphora::SignSession::kConfigurationCells; ++i)
        session_.setConfigurationCell(i, states[i] != 0);
}

void Principal::saveDescr()
{
    if (session_.exportName().empty()) {
        showMessage(tr("Description non enregistrée : enregistrez d'abord l'image du signe, "
                       "la description prend son nom."));
        return;
    }
    if (matConf_)
        confDidChange(matConf_);
    std::string error, printed;
    if (!session_.saveDescription(&printed, &error)) {
        showMessage(tr("Description non enregistrée : %1").arg(QString::fromStdString(error)));
        return;
    }
    print(printed);
    showMessage(tr("Description enregistrée : %1.sgn")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(session_.exportName()))),
                false);
    confWin_->resetConf(matConf_);
    if (matConf_)
        confDidChange(matConf_);
    confWin_->hide();
}

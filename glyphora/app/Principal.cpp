#include "Principal.h"

#include "AspectBox.h"

#include "core/Blend.h"
#include "qtmedia/MovieView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <cstdio>

using glyphora::Step;

namespace {

// The items of the two lists; their indices are what the sign pattern uses.
const char* const kSymmetryItems[8] = {
    QT_TRANSLATE_NOOP("Principal", "aucune (mains libres)"),
    QT_TRANSLATE_NOOP("Principal", "main gauche seule"),
    QT_TRANSLATE_NOOP("Principal", "main droite seule"),
    QT_TRANSLATE_NOOP("Principal", "translation (mains parallèles)"),
    QT_TRANSLATE_NOOP("Principal", "miroir vertical"),
    QT_TRANSLATE_NOOP("Principal", "symétrie centrale"),
    QT_TRANSLATE_NOOP("Principal", "miroir horizontal"),
    QT_TRANSLATE_NOOP("Principal", "aucune flèche"),
};
const char* const kMovementItems[8] = {
    QT_TRANSLATE_NOOP("Principal", "trajet libre"),
    QT_TRANSLATE_NOOP("Principal", "arc"),
    QT_TRANSLATE_NOOP("Principal", "répétition"),
    QT_TRANSLATE_NOOP("Principal", "aller-retour"),
    QT_TRANSLATE_NOOP("Principal", "va-et-vient"),
    QT_TRANSLATE_NOOP("Principal", "cercle"),
    QT_TRANSLATE_NOOP("Principal", "cercle double"),
    QT_TRANSLATE_NOOP("Principal", "aucun mouvement"),
};

QLabel* stepTitle(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 1.25);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* hint(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::Disabled, QPalette::WindowText));
    l->setPalette(p);
    return l;
}

QWidget* captioned(const QString& caption, QWidget* view, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(3);
    auto* l = new QLabel(caption, box);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    v->addWidget(l);
    v->addWidget(view, 1);
    return box;
}

QSlider* shiftSlider(QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    // -0.5 .. 0.5 in thousandths, reported continuously while dragged.
    s->setRange(-Principal::kShiftSteps / 2, Principal::kShiftSteps / 2);
    s->setValue(0);
    s->setTracking(true);
    s->setPageStep(50);
    return s;
}

double sliderValue(const QSlider* s)
{
    return double(s->value()) / double(Principal::kShiftSteps);
}

} // namespace

Principal::Principal(const QString& resourcesDir, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(tr("Glyphora — image de signe"));

    openChooser_ = [this](const QString& title) { return QFileDialog::getOpenFileName(this, title); };
    saveChooser_ = [this](const QString& title) {
        return QFileDialog::getSaveFileName(this, title, QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    confirmer_ = [this](const QString& question) {
        return QMessageBox::question(this, tr("Remplacer ?"), question) == QMessageBox::Yes;
    };

    auto* central = new QWidget(this);
    auto* h = new QHBoxLayout(central);
    h->setContentsMargins(8, 8, 8, 8);
    h->setSpacing(10);
    auto* movies = buildMoviePane();

    stepStack = new QStackedWidget(central);
    selectWin = buildSelectPane();
    transWin = buildMixPane();
    arrowWin = buildArrowPane();
    stepStack->addWidget(selectWin);
    stepStack->addWidget(transWin);
    stepStack->addWidget(arrowWin);

    h->addWidget(movies, 5);
    h->addWidget(stepStack, 6);
    setCentralWidget(central);
    buildMenus();
    statusBar()->showMessage(tr("Ouvrez une vidéo et son fichier de suivi pour commencer."));

    confWin = new NSConfWin(resourcesDir, this);
    confWin->hide();
    connect(confWin, &NSConfWin::confDidChange, this, &Principal::confDidChange);
    connect(confWin, &NSConfWin::saveDescriptionRequested, this, &Principal::saveDescr);

    // Start-up state: the selection step shown, the others present but hidden;
    // the key-frame view paints for this controller; both lists at item 0;
    // shift sliders at 0; orientation 0; the arrow view reads this controller.
    oglCurKF->initParent(this);
    previewWin->setPrincipalRef(this);
    previewWin->setArrowView(&session_.preview);
    comboSym->setCurrentIndex(0);
    comboMoPat->setCurrentIndex(0);
    slOrientation->setValue(0);
    updateStepPane();
    updateLabels();

    displayTimer = new QTimer(this);
    displayTimer->setInterval(500);
    connect(displayTimer, &QTimer::timeout, this, &Principal::onTimer);

    resize(1360, 820);
}

Principal::~Principal() = default;

// ---- Construction ------------------------------------------------------------

QWidget* Principal::buildMoviePane()
{
    auto* pane = new QWidget(this);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(8);

    auto* mainBox = new QGroupBox(tr("Vidéo"), pane);
    auto* mv = new QVBoxLayout(mainBox);
    firstMovieWin = new qtmedia::MovieView(mainBox);
    mv->addWidget(firstMovieWin, 1);

    auto* row = new QHBoxLayout;
    timeDisplay = new QLabel("00:00:00.00", mainBox);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(mono.pointSizeF() * 1.4);
    timeDisplay->setFont(mono);
    timeDisplay->setToolTip(tr("Temps courant de la vidéo"));
    auto* begButton = new QPushButton(tr("Début du signe ici"), mainBox);
    auto* endButton = new QPushButton(tr("Fin du signe ici"), mainBox);
    begButton->setToolTip(tr("Place le début du signe au temps courant"));
    endButton->setToolTip(tr("Place la fin du signe au temps courant"));
    connect(begButton, &QPushButton::clicked, this, &Principal::onPressBegSign);
    connect(endButton, &QPushButton::clicked, this, &Principal::onPressEndSign);
    row->addWidget(timeDisplay);
    row->addStretch(1);
    row->addWidget(begButton);
    row->addWidget(endButton);
    mv->addLayout(row);

    auto* bounds = new QHBoxLayout;
    auto* begBox = new QGroupBox(tr("Début du signe"), pane);
    auto* endBox = new QGroupBox(tr("Fin du signe"), pane);
    begMovieWin = new qtmedia::MovieView(begBox);
    endMovieWin = new qtmedia::MovieView(endBox);
    (new QVBoxLayout(begBox))->addWidget(begMovieWin);
    (new QVBoxLayout(endBox))->addWidget(endMovieWin);
    bounds->addWidget(begBox);
    bounds->addWidget(endBox);

    v->addWidget(mainBox, 3);
    v->addLayout(bounds, 2);

    // The movie views hold the times; the session follows them.
    connect(firstMovieWin, &qtmedia::MovieView::timeChanged, this, [this](const media::MovieTime& t) {
        session_.setMainTime(t);
        timeDisplay->setText(QString::fromStdString(session_.timeText()));
    });
    connect(begMovieWin, &qtmedia::MovieView::timeChanged, this,
            [this](const media::MovieTime& t) { session_.begMovieTime = t; updateLabels(); });
    connect(endMovieWin, &qtmedia::MovieView::timeChanged, this,
            [this](const media::MovieTime& t) { session_.endMovieTime = t; updateLabels(); });
    return pane;
}

QWidget* Principal::buildSelectPane()
{
    auto* pane = new QWidget(this);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(stepTitle(tr("1. Choix des images clés"), pane));
    v->addWidget(hint(tr("Parcourez la vidéo et capturez les images qui composeront l'image du signe. "
                         "La vue montre l'image courante sur la moyenne des images clés."), pane));
    oglBuf = new OGLWin(pane);
    v->addWidget(captioned(tr("Image courante et images clés"), new AspectBox(oglBuf, pane), pane), 1);

    auto* row = new QHBoxLayout;
    captureButton = new QPushButton(tr("Capturer l'image clé"), pane);
    captureButton->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    auto* reset = new QPushButton(tr("Effacer les images clés"), pane);
    kfCountLabel = new QLabel(pane);
    connect(captureButton, &QPushButton::clicked, this, &Principal::captureKeyFrame);
    connect(reset, &QPushButton::clicked, this, &Principal::resetKeyFrame);
    row->addWidget(captureButton);
    row->addWidget(reset);
    row->addWidget(kfCountLabel, 1);
    v->addLayout(row);

    auto* nav = new QHBoxLayout;
    nav->addStretch(1);
    auto* next = new QPushButton(tr("Valider les images clés"), pane);
    next->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    connect(next, &QPushButton::clicked, this, &Principal::validateKeyFrame);
    nav->addWidget(next);
    v->addLayout(nav);
    return pane;
}

QWidget* Principal::buildMixPane()
{
    auto* pane = new QWidget(this);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(stepTitle(tr("2. Mélange des images clés"), pane));
    v->addWidget(hint(tr("Peignez dans l'image clé les parties à garder (clic et glisser), "
                         "décalez-la si besoin ; le mélange se met à jour."), pane));

    auto* views = new QHBoxLayout;
    oglCurKF = new OGLWinClick(pane);
    oglMix = new OGLWin(pane);
    views->addWidget(captioned(tr("Image clé et son masque"), new AspectBox(oglCurKF, pane), pane), 1);
    views->addWidget(captioned(tr("Mélange"), new AspectBox(oglMix, pane), pane), 1);
    v->addLayout(views, 1);

    auto* form = new QGridLayout;
    auto* prev = new QPushButton(pane);
    prev->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    prev->setToolTip(tr("Image clé précédente"));
    auto* next = new QPushButton(pane);
    next->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    next->setToolTip(tr("Image clé suivante"));
    kfIndexLabel = new QLabel(pane);
    kfIndexLabel->setAlignment(Qt::AlignCenter);
    connect(prev, &QPushButton::clicked, this, &Principal::prevKF);
    connect(next, &QPushButton::clicked, this, &Principal::nextKF);
    auto* stepRow = new QHBoxLayout;
    stepRow->addWidget(prev);
    stepRow->addWidget(kfIndexLabel, 1);
    stepRow->addWidget(next);
    form->addLayout(stepRow, 0, 0, 1, 3);

    offsetSlider = new QSlider(Qt::Horizontal, pane);
    offsetSlider->setRange(-100, 100); // hundredths of the picture width
    offsetSlider->setPageStep(5);
    offsetValueLabel = new QLabel(pane);
    offsetValueLabel->setMinimumWidth(50);
    connect(offsetSlider, &QSlider::valueChanged, this, &Principal::moveOffset);
    form->addWidget(new QLabel(tr("Décalage horizontal"), pane), 1, 0);
    form->addWidget(offsetSlider, 1, 1);
    form->addWidget(offsetValueLabel, 1, 2);

    auto* visRow = new QHBoxLayout;
    auto* visible = new QPushButton(tr("Rendre visible"), pane);
    auto* invisible = new QPushButton(tr("Rendre invisible"), pane);
    visible->setToolTip(tr("Toute l'image clé entre dans le mélange"));
    invisible->setToolTip(tr("L'image clé n'entre plus dans le mélange, sauf les parties peintes ensuite"));
    connect(visible, &QPushButton::clicked, this, &Principal::setVisible);
    connect(invisible, &QPushButton::clicked, this, &Principal::setInvisible);
    visRow->addWidget(visible);
    visRow->addWidget(invisible);
    visRow->addStretch(1);
    form->addLayout(visRow, 2, 0, 1, 3);
    v->addLayout(form);

    auto* nav = new QHBoxLayout;
    auto* back = new QPushButton(tr("Retour au choix"), pane);
    back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    auto* fwd = new QPushButton(tr("Valider le mélange"), pane);
    fwd->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    connect(back, &QPushButton::clicked, this, &Principal::displayKFSelecWin);
    connect(fwd, &QPushButton::clicked, this, &Principal::validateKeyFrameMix);
    nav->addWidget(back);
    nav->addStretch(1);
    nav->addWidget(fwd);
    v->addLayout(nav);
    return pane;
}

QWidget* Principal::buildArrowPane()
{
    auto* pane = new QWidget(this);
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(stepTitle(tr("3. Flèches du mouvement"), pane));
    previewWin = new OGLWinArrow(pane);
    v->addWidget(captioned(tr("Image du signe"), new AspectBox(previewWin, pane), pane), 1);
    signInfoLabel = new QLabel(pane);
    signInfoLabel->setWordWrap(true);
    v->addWidget(signInfoLabel);

    auto* form = new QFormLayout;
    comboMoPat = new QComboBox(pane);
    for (const char* item : kMovementItems)
        comboMoPat->addItem(tr(item));
    comboSym = new QComboBox(pane);
    for (const char* item : kSymmetryItems)
        comboSym->addItem(tr(item));
    slOrientation = new QSlider(Qt::Horizontal, pane);
    slOrientation->setRange(0, 360);
    slOrientation->setPageStep(15);
    orientationValueLabel = new QLabel(pane);
    orientationValueLabel->setMinimumWidth(40);
    auto* orientRow = new QHBoxLayout;
    orientRow->addWidget(slOrientation, 1);
    orientRow->addWidget(orientationValueLabel);
    form->addRow(tr("Mouvement"), comboMoPat);
    form->addRow(tr("Symétrie"), comboSym);
    form->addRow(tr("Orientation"), orientRow);
    v->addLayout(form);

    auto makeArrowBox = [&](const QString& title, QCheckBox*& box, QSlider*& x, QSlider*& y) {
        auto* g = new QGroupBox(title, pane);
        auto* f = new QFormLayout(g);
        box = new QCheckBox(tr("afficher"), g);
        box->setChecked(true);
        x = shiftSlider(g);
        y = shiftSlider(g);
        f->addRow(box);
        f->addRow(tr("Décalage x"), x);
        f->addRow(tr("Décalage y"), y);
        return g;
    };
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(makeArrowBox(tr("Flèche droite (main 2)"), rArrowVisibleBox, offsetRArrowXSlid,
                                   offsetRArrowYSlid));
    arrows->addWidget(makeArrowBox(tr("Flèche gauche (main 1)"), lArrowVisibleBox, offsetLArrowXSlid,
                                   offsetLArrowYSlid));
    v->addLayout(arrows);

    auto* nav = new QHBoxLayout;
    auto* newSign = new QPushButton(tr("Nouveau signe"), pane);
    newSign->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    auto* refreshButton = new QPushButton(tr("Actualiser"), pane);
    refreshButton->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    saveButton = new QPushButton(tr("Enregistrer l'image…"), pane);
    saveButton->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(newSign, &QPushButton::clicked, this, &Principal::displayFirstWinNewPS);
    connect(refreshButton, &QPushButton::clicked, this, &Principal::onRefresh);
    connect(saveButton, &QPushButton::clicked, this, &Principal::saveGL);
    nav->addWidget(newSign);
    nav->addStretch(1);
    nav->addWidget(refreshButton);
    nav->addWidget(saveButton);
    v->addLayout(nav);

    // Every arrow control redraws the preview; the boxes first adjust the
    // symmetry type.
    auto refreshOnChange = [this] {
        if (!syncing_)
            onRefresh();
    };
    connect(comboSym, &QComboBox::currentIndexChanged, this, refreshOnChange);
    connect(comboMoPat, &QComboBox::currentIndexChanged, this, refreshOnChange);
    connect(slOrientation, &QSlider::valueChanged, this, [this, refreshOnChange](int value) {
        orientationValueLabel->setText(tr("%1°").arg(value));
        refreshOnChange();
    });
    for (QSlider* s : {offsetRArrowXSlid, offsetRArrowYSlid, offsetLArrowXSlid, offsetLArrowYSlid})
        connect(s, &QSlider::valueChanged, this, refreshOnChange);
    for (QCheckBox* b : {rArrowVisibleBox, lArrowVisibleBox})
        connect(b, &QCheckBox::clicked, this, [this] {
            changeHandVisibility();
            onRefresh();
        });
    orientationValueLabel->setText(tr("%1°").arg(0));
    return pane;
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
    for (qtmedia::MovieView* view : {firstMovieWin, begMovieWin, endMovieWin}) {
        QString why;
        if (!view->setVideo(path, &why))
            view->clear();
    }
    bufPicture_.release();
    mixPicture_.release();
    const cv::Size frame = session_.frameSize();
    for (AspectBox* box : findChildren<AspectBox*>())
        box->setAspect(double(frame.width) / double(frame.height));
    oglBuf->initTexture(nullptr);
    oglMix->initTexture(nullptr);
    pushTimesToViews();
    updateStepPane();
    // One display timer for the program, started by the first video.
    if (!displayTimer->isActive())
        displayTimer->start();
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
                    .arg(double(session_.rate), 0, 'f', 2),
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
    pullControls();
    const bool arrowsDue = session_.tick();
    timeDisplay->setText(QString::fromStdString(session_.timeText()));

    // The buffer view: the current frame over the key-frame average. It keeps
    // its own copy, since the session's working picture becomes the mix.
    if (!session_.curFrame().empty()) {
        glyphora::blendHalf(session_.kfBuffer(), session_.curFrame(), bufPicture_);
        oglBuf->initTexture(&bufPicture_);
        if (oglBuf->isVisible())
            oglBuf->display();
    }
    updateKeyFrameViews();
    if (arrowsDue) {
        copyMix();
        if (previewWin->isVisible())
            previewWin->display();
    }
    return true;
}

void Principal::pullControls()
{
    session_.comboSym = comboSym->currentIndex();
    session_.comboMoPat = comboMoPat->currentIndex();
    session_.slOrientation = double(slOrientation->value());
    session_.arrows.rArrowVisible = rArrowVisibleBox->isChecked();
    session_.arrows.lArrowVisible = lArrowVisibleBox->isChecked();
    session_.arrows.offsetRArrowX = sliderValue(offsetRArrowXSlid);
    session_.arrows.offsetRArrowY = sliderValue(offsetRArrowYSlid);
    session_.arrows.offsetLArrowX = sliderValue(offsetLArrowXSlid);
    session_.arrows.offsetLArrowY = sliderValue(offsetLArrowYSlid);
}

void Principal::onRefresh()
{
    refresh();
}

void Principal::refresh()
{
    pullControls();
    const QSize s = previewWin->pixelSize();
    session_.setPreviewSize(s.width(), s.height());
    session_.refresh();
    if (previewWin->isVisible())
        previewWin->display();
}

void Principal::drawSimplePreview()
{
    const QSize s = previewWin->pixelSize();
    session_.setPreviewSize(s.width(), s.height());
    session_.drawSimplePreview();
}

void Principal::drawArrowView(int pixelWidth, int pixelHeight)
{
    // The arrow view reads the boxes and shift sliders when it draws.
    pullControls();
    const auto status = session_.preview.draw(pixelWidth, pixelHeight, session_.spat(), session_.arrows);
    QString info;
    const int beg = session_.preview.beg, end = session_.preview.end;
    if (!session_.hasTracking())
        info = tr("Pas de fichier de suivi : ouvrez-en un pour voir les flèches.");
    else if (status == glyphora::SignPattern::kBadLength && end - beg > glyphora::SignPattern::kMaxDuration)
        info = tr("Signe des lignes %1 à %2 : plus de %3 lignes, les flèches ne sont pas dessinées.")
                   .arg(beg).arg(end).arg(glyphora::SignPattern::kMaxDuration);
    else if (status == glyphora::SignPattern::kBadLength)
        info = tr("Signe des lignes %1 à %2 : le début doit précéder la fin.").arg(beg).arg(end);
    else if (status == glyphora::SignPattern::kOutsideTracking)
        info = tr("Signe des lignes %1 à %2 : hors du suivi chargé (%3 lignes).")
                   .arg(beg).arg(end).arg(session_.tracking().lineCount());
    else
        info = tr("Signe des lignes %1 à %2 (%3 lignes de suivi).").arg(beg).arg(end).arg(end - beg);
    signInfoLabel->setText(info);
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
    session_.resetKeyFrame();
    updateKeyFrameViews();
    updateLabels();
    onTimer();
}

void Principal::validateKeyFrame()
{
    session_.validateKeyFrame();
    copyMix();
    updateStepPane();
}

void Principal::displayKFSelecWin()
{
    session_.displayKFSelecWin();
    updateStepPane();
    onTimer();
}

void Principal::validateKeyFrameMix()
{
    session_.validateKeyFrameMix();
    updateStepPane();
    onTimer(); // the preview gets the mix and the sign's lines now
    refresh();
}

void Principal::displayFirstWinNewPS()
{
    session_.displayFirstWinNewPS();
    updateStepPane();
    onTimer();
}

void Principal::prevKF()
{
    session_.prevKF();
    copyMix();
    updateStepPane();
}

void Principal::nextKF()
{
    session_.nextKF();
    copyMix();
    updateStepPane();
}

void Principal::moveOffset()
{
    if (syncing_)
        return;
    session_.offsetSlider = double(offsetSlider->value());
    session_.moveOffset();
    updateLabels();
}

void Principal::setVisible()
{
    session_.setVisible();
    copyMix();
}

void Principal::setInvisible()
{
    session_.setInvisible();
    copyMix();
}

void Principal::paintStroke(double x, double y, double viewWidth, double viewHeight)
{
    if (!session_.curKeyFrameMask())
        return;
    session_.paintKeyFrameMask(x, y, viewWidth, viewHeight);
    copyMix();
}

void Principal::drawMix()
{
    session_.drawMix();
    copyMix();
}

void Principal::copyMix()
{
    // The mix views keep their own copy: the session's working picture is
    // the buffer picture again at the next tick of the selection step.
    if (session_.kfNewBuffer().empty())
        return;
    session_.kfNewBuffer().copyTo(mixPicture_);
    oglMix->initTexture(&mixPicture_);
    updateKeyFrameViews();
    if (oglMix->isVisible())
        oglMix->display();
}

// ---- Boundaries and hand visibility -------------------------------------------

void Principal::onPressBegSign()
{
    session_.onPressBegSign();
    pushTimesToViews();
}

void Principal::onPressEndSign()
{
    session_.onPressEndSign();
    pushTimesToViews();
}

void Principal::changeHandVisibility()
{
    pullControls();
    session_.changeHandVisibility();
    syncing_ = true;
    comboSym->setCurrentIndex(session_.comboSym);
    comboMoPat->setCurrentIndex(session_.comboMoPat);
    syncing_ = false;
}

void Principal::pushTimesToViews()
{
    syncing_ = true;
    begMovieWin->setCurrentTime(session_.begMovieTime);
    endMovieWin->setCurrentTime(session_.endMovieTime);
    // The views keep times within the video; the session follows them.
    session_.begMovieTime = begMovieWin->hasVideo() ? begMovieWin->currentTime() : session_.begMovieTime;
    session_.endMovieTime = endMovieWin->hasVideo() ? endMovieWin->currentTime() : session_.endMovieTime;
    syncing_ = false;
    updateLabels();
}

// ---- Views and labels ---------------------------------------------------------------

void Principal::updateKeyFrameViews()
{
    oglCurKF->initTexture(session_.curKeyFrame());
    oglCurKF->initAlphaTexture(session_.curKeyFrameMask());
    if (oglCurKF->isVisible())
        oglCurKF->update();
}

void Principal::updateStepPane()
{
    switch (session_.step()) {
    case Step::Selection: stepStack->setCurrentWidget(selectWin); break;
    case Step::Mixing: stepStack->setCurrentWidget(transWin); break;
    case Step::Arrows: stepStack->setCurrentWidget(arrowWin); break;
    }
    syncing_ = true;
    offsetSlider->setValue(qRound(session_.offsetSlider));
    syncing_ = false;
    updateKeyFrameViews();
    updateLabels();
}

void Principal::updateLabels()
{
    const int n = session_.kfCount();
    kfCountLabel->setText(tr("%1 image(s) clé(s) sur %2").arg(n).arg(glyphora::SignSession::kMaxKeyFrames));
    captureButton->setEnabled(session_.hasVideo() && n < glyphora::SignSession::kMaxKeyFrames);
    if (session_.curKeyFrame())
        kfIndexLabel->setText(tr("Image clé %1 sur %2").arg(session_.kfnb() + 1).arg(n));
    else
        kfIndexLabel->setText(tr("Aucune image clé"));
    offsetValueLabel->setText(tr("%1 %").arg(offsetSlider->value()));
}

// ---- Save and description ---------------------------------------------------------------

void Principal::exportTracking()
{
    session_.printTrackingExport();
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
    previewWin->makeCurrent();
    const QSize s = previewWin->pixelSize();
    drawSimplePreview();
    glViewport(0, 0, s.width(), s.height());
    drawArrowView(s.width(), s.height());
    glFinish();
    std::string error;
    const bool ok = session_.saveGL(name.toStdString(), s.width(), s.height(), &error);
    previewWin->doneCurrent();
    previewWin->update();
    if (!ok) {
        showMessage(tr("Image non enregistrée : %1").arg(QString::fromStdString(error)));
        return;
    }
    showMessage(tr("Image enregistrée : %1.jpg").arg(QDir::toNativeSeparators(name)), false);

    // The configuration of the sign is chosen next, from a cleared grid.
    confWin->resetConf(matConf);
    if (matConf)
        confDidChange(matConf);
    confWin->present();
}

void Principal::confDidChange(ConfMatrix* matrix)
{
    matConf = matrix;
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
    if (matConf)
        confDidChange(matConf);
    std::string error;
    if (!session_.saveDescr(&error)) {
        showMessage(tr("Description non enregistrée : %1").arg(QString::fromStdString(error)));
        return;
    }
    showMessage(tr("Description enregistrée : %1.sgn")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(session_.exportName()))),
                false);
    confWin->resetConf(matConf);
    if (matConf)
        confDidChange(matConf);
    confWin->hide();
}

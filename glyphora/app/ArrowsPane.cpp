#include "ArrowsPane.h"

#include "AspectBox.h"
#include "OGLWin.h"
#include "PaneParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The items of the two lists; their indices are what the sign pattern uses.
const char* const kSymmetryItems[8] = {
    QT_TRANSLATE_NOOP("ArrowsPane", "aucune (mains libres)"),
    QT_TRANSLATE_NOOP("ArrowsPane", "main gauche seule"),
    QT_TRANSLATE_NOOP("ArrowsPane", "main droite seule"),
    QT_TRANSLATE_NOOP("ArrowsPane", "translation (mains parallèles)"),
    QT_TRANSLATE_NOOP("ArrowsPane", "miroir vertical"),
    QT_TRANSLATE_NOOP("ArrowsPane", "symétrie centrale"),
    QT_TRANSLATE_NOOP("ArrowsPane", "miroir horizontal"),
    QT_TRANSLATE_NOOP("ArrowsPane", "aucune flèche"),
};
const char* const kMovementItems[8] = {
    QT_TRANSLATE_NOOP("ArrowsPane", "trajet libre"),
    QT_TRANSLATE_NOOP("ArrowsPane", "arc"),
    QT_TRANSLATE_NOOP("ArrowsPane", "répétition"),
    QT_TRANSLATE_NOOP("ArrowsPane", "aller-retour"),
    QT_TRANSLATE_NOOP("ArrowsPane", "va-et-vient"),
    QT_TRANSLATE_NOOP("ArrowsPane", "cercle"),
    QT_TRANSLATE_NOOP("ArrowsPane", "cercle double"),
    QT_TRANSLATE_NOOP("ArrowsPane", "aucun mouvement"),
};

QSlider* shiftSlider(QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    // -0.5 .. 0.5 in thousandths, reported continuously while dragged.
    s->setRange(-ArrowsPane::kShiftSteps / 2, ArrowsPane::kShiftSteps / 2);
    s->setValue(0);
    s->setTracking(true);
    s->setPageStep(50);
    return s;
}

double sliderValue(const QSlider* s)
{
    return double(s->value()) / double(ArrowsPane::kShiftSteps);
}

} // namespace

ArrowsPane::ArrowsPane(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(pane::title(tr("3. Flèches du mouvement"), this));
    view_ = new OGLWinArrow(this);
    v->addWidget(pane::captioned(tr("Image du signe"), new AspectBox(view_, this), this), 1);
    info_ = new QLabel(this);
    info_->setWordWrap(true);
    v->addWidget(info_);

    auto* form = new QFormLayout;
    pattern_ = new QComboBox(this);
    for (const char* item : kMovementItems)
        pattern_->addItem(tr(item));
    symmetry_ = new QComboBox(this);
    for (const char* item : kSymmetryItems)
        symmetry_->addItem(tr(item));
    orientation_ = new QSlider(Qt::Horizontal, this);
    orientation_->setRange(0, 360);
    orientation_->setPageStep(15);
    orientationValue_ = new QLabel(tr("%1°").arg(0), this);
    orientationValue_->setMinimumWidth(40);
    auto* orientRow = new QHBoxLayout;
    orientRow->addWidget(orientation_, 1);
    orientRow->addWidget(orientationValue_);
    form->addRow(tr("Mouvement"), pattern_);
    form->addRow(tr("Symétrie"), symmetry_);
    form->addRow(tr("Orientation"), orientRow);
    v->addLayout(form);

    auto makeArrowBox = [&](const QString& title, QCheckBox*& box, QSlider*& x, QSlider*& y) {
        auto* g = new QGroupBox(title, this);
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
    arrows->addWidget(makeArrowBox(tr("Flèche droite (main 2)"), rightBox_, rightX_, rightY_));
    arrows->addWidget(makeArrowBox(tr("Flèche gauche (main 1)"), leftBox_, leftX_, leftY_));
    v->addLayout(arrows);

    auto* nav = new QHBoxLayout;
    auto* newSign = new QPushButton(tr("Nouveau signe"), this);
    newSign->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    auto* refresh = new QPushButton(tr("Actualiser"), this);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    save_ = new QPushButton(tr("Enregistrer l'image…"), this);
    save_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    connect(newSign, &QPushButton::clicked, this, &ArrowsPane::newSignRequested);
    connect(refresh, &QPushButton::clicked, this, &ArrowsPane::refreshRequested);
    connect(save_, &QPushButton::clicked, this, &ArrowsPane::saveRequested);
    nav->addWidget(newSign);
    nav->addStretch(1);
    nav->addWidget(refresh);
    nav->addWidget(save_);
    v->addLayout(nav);

    connect(pattern_, &QComboBox::currentIndexChanged, this, &ArrowsPane::patternChanged);
    connect(symmetry_, &QComboBox::currentIndexChanged, this, &ArrowsPane::symmetryChanged);
    connect(orientation_, &QSlider::valueChanged, this, [this](int value) {
        orientationValue_->setText(tr("%1°").arg(value));
        emit orientationChanged(value);
    });
    for (QSlider* s : {rightX_, rightY_})
        connect(s, &QSlider::valueChanged, this,
                [this] { emit arrowShiftChanged(true, sliderValue(rightX_), sliderValue(rightY_)); });
    for (QSlider* s : {leftX_, leftY_})
        connect(s, &QSlider::valueChanged, this,
                [this] { emit arrowShiftChanged(false, sliderValue(leftX_), sliderValue(leftY_)); });
    for (QCheckBox* b : {rightBox_, leftBox_})
        connect(b, &QCheckBox::clicked, this,
                [this] { emit arrowsShownChanged(rightBox_->isChecked(), leftBox_->isChecked()); });
}

void ArrowsPane::showPatternAndSymmetry(int pattern, int symmetry)
{
    const QSignalBlocker quietPattern(pattern_);
    const QSignalBlocker quietSymmetry(symmetry_);
    pattern_->setCurrentIndex(pattern);
    symmetry_->setCurrentIndex(symmetry);
}

void ArrowsPane::showDrawStatus(glyphora::SignPattern::DrawStatus status, int beg, int end, int trackingLines)
{
    using glyphora::SignPattern;
    QString info;
    if (trackingLines == 0)
        info = tr("Pas de fichier de suivi : ouvrez-en un pour voir les flèches.");
    else if (status == SignPattern::kBadLength && end - beg > SignPattern::kMaxDuration)
        info = tr("Signe des lignes %1 à %2 : plus de %3 lignes, les flèches ne sont pas dessinées.")
                   .arg(beg).arg(end).arg(SignPattern::kMaxDuration);
    else if (status == SignPattern::kBadLength)
        info = tr("Signe des lignes %1 à %2 : le début doit précéder la fin.").arg(beg).arg(end);
    else if (status == SignPattern::kOutsideTracking)
        info = tr("Signe des lignes %1 à %2 : hors du suivi chargé (%3 lignes).").arg(beg).arg(end).arg(trackingLines);
    else
        info = tr("Signe des lignes %1 à %2 (%3 lignes de suivi).").arg(beg).arg(end).arg(end - beg);
    info_->setText(info);
}

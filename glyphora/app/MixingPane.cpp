#include "MixingPane.h"

#include "AspectBox.h"
#include "OGLWin.h"
#include "PaneParts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

MixingPane::MixingPane(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(pane::title(tr("2. Mélange des images clés"), this));
    v->addWidget(pane::hint(tr("Peignez dans l'image clé les parties à garder (clic et glisser), "
                               "décalez-la si besoin ; le mélange se met à jour."),
                            this));

    auto* views = new QHBoxLayout;
    keyFrame_ = new OGLWinClick(this);
    mix_ = new OGLWin(this);
    views->addWidget(pane::captioned(tr("Image clé et son masque"), new AspectBox(keyFrame_, this), this), 1);
    views->addWidget(pane::captioned(tr("Mélange"), new AspectBox(mix_, this), this), 1);
    v->addLayout(views, 1);
    connect(keyFrame_, &OGLWinClick::strokeAt, this, &MixingPane::strokeAt);

    auto* form = new QGridLayout;
    auto* prev = new QPushButton(this);
    prev->setIcon(style()->standardIcon(QStyle::SP_MediaSkipBackward));
    prev->setToolTip(tr("Image clé précédente"));
    auto* next = new QPushButton(this);
    next->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    next->setToolTip(tr("Image clé suivante"));
    index_ = new QLabel(this);
    index_->setAlignment(Qt::AlignCenter);
    connect(prev, &QPushButton::clicked, this, &MixingPane::previousRequested);
    connect(next, &QPushButton::clicked, this, &MixingPane::nextRequested);
    auto* stepRow = new QHBoxLayout;
    stepRow->addWidget(prev);
    stepRow->addWidget(index_, 1);
    stepRow->addWidget(next);
    form->addLayout(stepRow, 0, 0, 1, 3);

    shift_ = new QSlider(Qt::Horizontal, this);
    shift_->setRange(-100, 100); // hundredths of the picture width
    shift_->setPageStep(5);
    shiftValue_ = new QLabel(this);
    shiftValue_->setMinimumWidth(50);
    connect(shift_, &QSlider::valueChanged, this, [this](int value) {
        showShiftValue(value);
        emit shiftChanged(value);
    });
    form->addWidget(new QLabel(tr("Décalage horizontal"), this), 1, 0);
    form->addWidget(shift_, 1, 1);
    form->addWidget(shiftValue_, 1, 2);

    auto* visRow = new QHBoxLayout;
    auto* visible = new QPushButton(tr("Rendre visible"), this);
    auto* invisible = new QPushButton(tr("Rendre invisible"), this);
    visible->setToolTip(tr("Toute l'image clé entre dans le mélange"));
    invisible->setToolTip(tr("L'image clé n'entre plus dans le mélange, sauf les parties peintes ensuite"));
    connect(visible, &QPushButton::clicked, this, [this] { emit shownRequested(true); });
    connect(invisible, &QPushButton::clicked, this, [this] { emit shownRequested(false); });
    visRow->addWidget(visible);
    visRow->addWidget(invisible);
    visRow->addStretch(1);
    form->addLayout(visRow, 2, 0, 1, 3);
    v->addLayout(form);

    auto* nav = new QHBoxLayout;
    auto* back = new QPushButton(tr("Retour au choix"), this);
    back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    auto* fwd = new QPushButton(tr("Valider le mélange"), this);
    fwd->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    connect(back, &QPushButton::clicked, this, &MixingPane::backRequested);
    connect(fwd, &QPushButton::clicked, this, &MixingPane::validateRequested);
    nav->addWidget(back);
    nav->addStretch(1);
    nav->addWidget(fwd);
    v->addLayout(nav);
    showShiftValue(0);
}

void MixingPane::showKeyFrameIndex(int index, int count)
{
    if (index >= 0 && index < count)
        index_->setText(tr("Image clé %1 sur %2").arg(index + 1).arg(count));
    else
        index_->setText(tr("Aucune image clé"));
}

void MixingPane::showShift(int hundredths)
{
    const QSignalBlocker quiet(shift_);
    shift_->setValue(hundredths);
    showShiftValue(shift_->value());
}

void MixingPane::showShiftValue(int hundredths)
{
    shiftValue_->setText(tr("%1 %").arg(hundredths));
}

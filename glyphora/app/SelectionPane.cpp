#include "SelectionPane.h"

#include "AspectBox.h"
#include "OGLWin.h"
#include "PaneParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

SelectionPane::SelectionPane(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(pane::title(tr("1. Choix des images clés"), this));
    v->addWidget(pane::hint(tr("Parcourez la vidéo et capturez les images qui composeront l'image du signe. "
                               "La vue montre l'image courante sur la moyenne des images clés."),
                            this));
    buffer_ = new OGLWin(this);
    v->addWidget(pane::captioned(tr("Image courante et images clés"), new AspectBox(buffer_, this), this), 1);

    auto* row = new QHBoxLayout;
    capture_ = new QPushButton(tr("Capturer l'image clé"), this);
    capture_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    auto* reset = new QPushButton(tr("Effacer les images clés"), this);
    count_ = new QLabel(this);
    connect(capture_, &QPushButton::clicked, this, &SelectionPane::captureRequested);
    connect(reset, &QPushButton::clicked, this, &SelectionPane::resetRequested);
    row->addWidget(capture_);
    row->addWidget(reset);
    row->addWidget(count_, 1);
    v->addLayout(row);

    auto* nav = new QHBoxLayout;
    nav->addStretch(1);
    auto* next = new QPushButton(tr("Valider les images clés"), this);
    next->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    connect(next, &QPushButton::clicked, this, &SelectionPane::validateRequested);
    nav->addWidget(next);
    v->addLayout(nav);
}

void SelectionPane::showKeyFrameCount(int n, int max, bool canCapture)
{
    count_->setText(tr("%1 image(s) clé(s) sur %2").arg(n).arg(max));
    capture_->setEnabled(canCapture);
}

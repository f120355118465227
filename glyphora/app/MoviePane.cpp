#include "MoviePane.h"

#include "qtmedia/MovieView.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MoviePane::MoviePane(QWidget* parent) : QWidget(parent)
{
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(8);

    auto* mainBox = new QGroupBox(tr("Vidéo"), this);
    auto* mv = new QVBoxLayout(mainBox);
    main_ = new qtmedia::MovieView(mainBox);
    mv->addWidget(main_, 1);

    auto* row = new QHBoxLayout;
    time_ = new QLabel("00:00:00.00", mainBox);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(mono.pointSizeF() * 1.4);
    time_->setFont(mono);
    time_->setToolTip(tr("Temps courant de la vidéo"));
    auto* begButton = new QPushButton(tr("Début du signe ici"), mainBox);
    auto* endButton = new QPushButton(tr("Fin du signe ici"), mainBox);
    begButton->setToolTip(tr("Place le début du signe au temps courant"));
    endButton->setToolTip(tr("Place la fin du signe au temps courant"));
    connect(begButton, &QPushButton::clicked, this, &MoviePane::beginHereRequested);
    connect(endButton, &QPushButton::clicked, this, &MoviePane::endHereRequested);
    row->addWidget(time_);
    row->addStretch(1);
    row->addWidget(begButton);
    row->addWidget(endButton);
    mv->addLayout(row);

    auto* bounds = new QHBoxLayout;
    auto* begBox = new QGroupBox(tr("Début du signe"), this);
    auto* endBox = new QGroupBox(tr("Fin du signe"), this);
    begin_ = new qtmedia::MovieView(begBox);
    end_ = new qtmedia::MovieView(endBox);
    (new QVBoxLayout(begBox))->addWidget(begin_);
    (new QVBoxLayout(endBox))->addWidget(end_);
    bounds->addWidget(begBox);
    bounds->addWidget(endBox);

    v->addWidget(mainBox, 3);
    v->addLayout(bounds, 2);
}

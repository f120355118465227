#include "FrameWindow.h"

#include "WindowKit.h"

#include "qtmedia/MovieView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestiga {

FrameWindow::FrameWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("vestiga — Image de référence"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(kit::heading(QStringLiteral("Choix de l'image de référence")));
    v->addWidget(kit::note(QStringLiteral(
        "Lisez, faites défiler ou avancez image par image jusqu'à une image où le signeur est "
        "bien visible, bras le long du corps, puis cliquez sur « Choisir cette image ».")));
    movieView_ = new qtmedia::MovieView;
    movieView_->setObjectName(QStringLiteral("movieView"));
    movieView_->setMinimumSize(640, 420);
    v->addWidget(movieView_, 1);
    auto* row = new QHBoxLayout;
    QPushButton* back = kit::button(QStringLiteral("Retour"), "frameBackButton");
    QPushButton* select = kit::button(QStringLiteral("Choisir cette image"), "selectPicButton");
    select->setDefault(true);
    row->addWidget(back);
    row->addStretch(1);
    row->addWidget(select);
    v->addLayout(row);
    connect(back, &QPushButton::clicked, this, &FrameWindow::backClicked);
    connect(select, &QPushButton::clicked, this, &FrameWindow::frameChosen);
    resize(760, 600);
}

} // namespace vestiga

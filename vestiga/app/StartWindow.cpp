#include "StartWindow.h"

#include "WindowKit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace vestiga {

StartWindow::StartWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("vestiga"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(28, 24, 28, 24);
    v->setSpacing(14);
    v->addWidget(kit::heading(QStringLiteral("Suivi du haut du corps")));
    v->addWidget(kit::note(QStringLiteral(
        "Le programme suit la tête, le torse, les coudes et les mains d'un signeur filmé de face, "
        "et écrit un fichier de suivi. Choisissez d'abord la source de la vidéo.")));
    auto* row = new QHBoxLayout;
    row->setSpacing(16);
    QPushButton* cam = kit::button(QStringLiteral("Webcam\nEnregistrer un clip avec la caméra"), "webcamButton");
    QPushButton* file = kit::button(QStringLiteral("Fichier vidéo\nOuvrir une vidéo enregistrée…"), "videoFileButton");
    for (QPushButton* b : {cam, file}) {
        b->setMinimumSize(250, 84);
        b->setIconSize(QSize(32, 32));
        row->addWidget(b);
    }
    cam->setIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    file->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(cam, &QPushButton::clicked, this, &StartWindow::webcamChosen);
    connect(file, &QPushButton::clicked, this, &StartWindow::videoFileChosen);
}

} // namespace vestiga

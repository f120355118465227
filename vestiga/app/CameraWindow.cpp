#include "CameraWindow.h"

#include "WindowKit.h"

#include "qtmedia/MovieView.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vestiga {

CameraWindow::CameraWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("vestiga — Caméra"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(kit::heading(QStringLiteral("Enregistrement d'un clip")));
    v->addWidget(kit::note(QStringLiteral(
        "Placez-vous face à la caméra puis cliquez sur « Capturer » : l'enregistrement d'une "
        "demi-seconde commence après un compte à rebours de 3 secondes. Choisissez ensuite "
        "l'image de référence dans le clip.")));
    auto* views = new QHBoxLayout;
    auto* live = new QGroupBox(QStringLiteral("Caméra"));
    auto* lv = new QVBoxLayout(live);
    preview_ = new QLabel;
    preview_->setObjectName(QStringLiteral("cameraPreview"));
    preview_->setFixedSize(480, 360);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setStyleSheet(QStringLiteral("background: #202020; color: #d0d0d0;"));
    lv->addWidget(preview_);
    views->addWidget(live);
    auto* clip = new QGroupBox(QStringLiteral("Clip enregistré"));
    auto* cv = new QVBoxLayout(clip);
    clipView_ = new qtmedia::MovieView;
    clipView_->setObjectName(QStringLiteral("clipView"));
    clipView_->setFixedWidth(480);
    clipView_->setMinimumHeight(360);
    cv->addWidget(clipView_);
    views->addWidget(clip);
    v->addLayout(views);
    auto* row = new QHBoxLayout;
    QPushButton* back = kit::button(QStringLiteral("Retour"), "cameraBackButton");
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("captureStatus"));
    captureButton_ = kit::button(QStringLiteral("Capturer"), "captureButton");
    selectButton_ = kit::button(QStringLiteral("Choisir cette image"), "selectClipButton");
    selectButton_->setDefault(true);
    row->addWidget(back);
    row->addSpacing(12);
    row->addWidget(status_, 1);
    row->addWidget(captureButton_);
    row->addWidget(selectButton_);
    v->addLayout(row);
    connect(back, &QPushButton::clicked, this, &CameraWindow::backClicked);
    connect(captureButton_, &QPushButton::clicked, this, &CameraWindow::captureClicked);
    connect(selectButton_, &QPushButton::clicked, this, &CameraWindow::selectClicked);
}

void CameraWindow::showPreview(const QImage& frame, CaptureMachine::Step step, int secondsLeft)
{
    if (frame.isNull())
        return;
    QImage img = frame.scaled(preview_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (step == CaptureMachine::Step::Countdown) {
        const QString left = QString::number(std::max(1, secondsLeft));
        QFont f = p.font();
        f.setPixelSize(img.height() / 3);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0, 0, 0, 160)); // a shadow keeps the digit readable on a light picture
        p.drawText(img.rect().translated(3, 3), Qt::AlignCenter, left);
        p.setPen(Qt::white);
        p.drawText(img.rect(), Qt::AlignCenter, left);
    } else if (step == CaptureMachine::Step::Recording) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 0, 0));
        p.drawEllipse(QPoint(24, 24), 10, 10);
        p.setPen(Qt::white);
        p.drawText(QRect(40, 12, 200, 24), Qt::AlignVCenter, QStringLiteral("REC"));
    }
    p.end();
    preview_->setPixmap(QPixmap::fromImage(img));
}

void CameraWindow::showStep(CaptureMachine::Step step, int secondsLeft, bool cameraOpen)
{
    const bool haveClip = clipView_->hasVideo();
    switch (step) {
    case CaptureMachine::Step::Idle:
        status_->setText(haveClip ? QStringLiteral("Clip enregistré : choisissez l'image de référence.")
                                  : QStringLiteral("Prêt à enregistrer."));
        break;
    case CaptureMachine::Step::Countdown:
        status_->setText(QStringLiteral("Enregistrement dans %1 s…").arg(std::max(1, secondsLeft)));
        break;
    case CaptureMachine::Step::Recording:
        status_->setText(QStringLiteral("Enregistrement…"));
        break;
    case CaptureMachine::Step::Settling:
        status_->setText(QStringLiteral("Préparation du clip…"));
        break;
    }
    const bool idle = step == CaptureMachine::Step::Idle;
    captureButton_->setEnabled(idle && cameraOpen);
    selectButton_->setEnabled(idle && haveClip);
}

void CameraWindow::closeEvent(QCloseEvent* event)
{
    emit closed();
    QWidget::closeEvent(event);
}

} // namespace vestiga

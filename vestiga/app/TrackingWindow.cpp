#include "TrackingWindow.h"

#include "WindowKit.h"

#include "media/MovieTime.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vestiga {

TrackingWindow::TrackingWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("oVideo"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(12, 12, 12, 12);
    picture_ = new QLabel;
    picture_->setObjectName(QStringLiteral("trackingPicture"));
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setMinimumSize(400, 200);
    picture_->setStyleSheet(QStringLiteral("background: #202020;"));
    v->addWidget(picture_, 1);
    progressLine_ = new QLabel;
    progressLine_->setObjectName(QStringLiteral("progressLine"));
    v->addWidget(progressLine_);
    progressBar_ = new QProgressBar;
    progressBar_->setTextVisible(false);
    progressBar_->setMaximumHeight(12);
    v->addWidget(progressBar_);
    auto* row = new QHBoxLayout;
    stopButton_ = kit::button(QStringLiteral("Arrêter le suivi"), "stopButton");
    row->addStretch(1);
    row->addWidget(stopButton_);
    v->addLayout(row);
    connect(stopButton_, &QPushButton::clicked, this, &TrackingWindow::stopClicked);
}

void TrackingWindow::startRun(const QString& trackingFile, int64_t total)
{
    fileName_ = QFileInfo(trackingFile).fileName();
    progressBar_->setVisible(total > 0);
    progressBar_->setRange(0, int(std::max<int64_t>(1, total)));
    progressBar_->setValue(0);
    stopButton_->setText(QStringLiteral("Arrêter le suivi"));
    progressLine_->setText(QStringLiteral("Suivi en cours vers « %1 »…").arg(fileName_));
}

void TrackingWindow::showPicture(const QImage& picture)
{
    if (picture.isNull())
        return;
    if (picture_->minimumSize() != picture.size())
        picture_->setMinimumSize(picture.size());
    picture_->setPixmap(QPixmap::fromImage(picture));
}

void TrackingWindow::showProgress(int64_t done, int64_t total)
{
    if (total > 0) {
        progressBar_->setValue(int(std::min(done, total)));
        progressLine_->setText(
            QStringLiteral("Image %1 sur %2 — fichier « %3 »").arg(done).arg(total).arg(fileName_));
    } else {
        char buf[32];
        media::formatTime(media::MovieTime::fromSeconds(double(done) * 0.04), buf);
        progressLine_->setText(QStringLiteral("Image %1 — %2 — fichier « %3 »")
                                   .arg(done)
                                   .arg(QString::fromLatin1(buf))
                                   .arg(fileName_));
    }
}

void TrackingWindow::showEnd(const QString& message)
{
    progressLine_->setText(message);
    stopButton_->setText(QStringLiteral("Quitter"));
}

void TrackingWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window ends the run as the stop button does.
    emit stopClicked();
    QWidget::closeEvent(event);
}

} // namespace vestiga

#include "CalibrationWindow.h"

#include "MorphWin.h"
#include "WindowKit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestiga {

CalibrationWindow::CalibrationWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("vestiga — Paramétrage"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(16, 14, 16, 14);
    v->addWidget(kit::heading(QStringLiteral("Paramétrage morphologique")));
    instruction_ = new QLabel;
    instruction_->setObjectName(QStringLiteral("instructionField"));
    QFont f = instruction_->font();
    f.setPointSizeF(f.pointSizeF() * 1.2);
    instruction_->setFont(f);
    instruction_->setStyleSheet(QStringLiteral(
        "QLabel { background: #fff8d6; border: 1px solid #d8c46a; border-radius: 3px; padding: 6px; }"));
    v->addWidget(instruction_);
    view_ = new MorphWin;
    view_->setObjectName(QStringLiteral("morphImageView"));
    view_->setInstructionField(instruction_);
    v->addWidget(view_, 0, Qt::AlignHCenter);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("calibrationStatus"));
    status_->setWordWrap(true);
    v->addWidget(status_);
    auto* row = new QHBoxLayout;
    QPushButton* again = kit::button(QStringLiteral("Recommencer"), "selectAgainButton");
    QPushButton* load = kit::button(QStringLiteral("Charger un paramétrage…"), "loadCalibrationButton");
    propose_ = kit::button(QStringLiteral("Proposer un paramétrage"), "proposeButton");
    QPushButton* ok = kit::button(QStringLiteral("Valider"), "validateButton");
    ok->setDefault(true);
    row->addWidget(again);
    row->addWidget(load);
    row->addWidget(propose_);
    row->addStretch(1);
    row->addWidget(ok);
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(again, &QPushButton::clicked, this, &CalibrationWindow::againClicked);
    connect(load, &QPushButton::clicked, this, &CalibrationWindow::loadClicked);
    connect(propose_, &QPushButton::clicked, this, &CalibrationWindow::proposeClicked);
    connect(ok, &QPushButton::clicked, this, &CalibrationWindow::validateClicked);
    connect(view_, &MorphWin::stateChanged, this, [this](int state) {
        status_->setText(state >= 6 ? QStringLiteral("Les six points sont placés.")
                                    : QStringLiteral("Clic %1 sur 6.").arg(state + 1));
    });
}

void CalibrationWindow::showReference(const cv::Mat& bgr)
{
    view_->setRefImage(bgr);
    view_->setFixedSize(MorphWin::displaySize(QSize(bgr.cols, bgr.rows)));
    layout()->activate();
    kit::present(this);
    view_->getBound();
    view_->reset();
}

void CalibrationWindow::setStatus(const QString& text)
{
    status_->setText(text);
}

void CalibrationWindow::setProposing(bool busy)
{
    propose_->setEnabled(!busy);
    if (busy)
        status_->setText(QStringLiteral("Recherche du signeur sur l'image de référence…"));
}

bool CalibrationWindow::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
        view_->getBound();
    return handled;
}

} // namespace vestiga

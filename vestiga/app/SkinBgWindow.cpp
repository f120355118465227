#include "SkinBgWindow.h"

#include "WindowKit.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vestiga {

namespace {

// Button ids of the two choices.
const int kWrist = 0, kShort = 1;
const int kClassic = 0, kRobust = 1;

QRadioButton* radio(const QString& text, const char* objectName)
{
    auto* r = new QRadioButton(text);
    r->setObjectName(QString::fromLatin1(objectName));
    return r;
}

} // namespace

SkinBgWindow::SkinBgWindow(QWidget* parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("vestiga — Peau et fond"));
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(20, 16, 20, 16);
    v->setSpacing(12);
    v->addWidget(kit::heading(QStringLiteral("Avant le suivi")));

    auto* pictures = new QGroupBox(QStringLiteral("Images facultatives"));
    auto* grid = new QVBoxLayout(pictures);
    auto pictureRow = [&](const QString& label, QLabel*& value, const char* loadName, const char* clearName,
                          void (SkinBgWindow::*load)(), void (SkinBgWindow::*clear)()) {
        auto* row = new QHBoxLayout;
        auto* name = new QLabel(label);
        name->setMinimumWidth(130);
        value = new QLabel;
        value->setMinimumWidth(300);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QPushButton* choose = kit::button(QStringLiteral("Choisir…"), loadName);
        QPushButton* none = kit::button(QStringLiteral("Aucune"), clearName);
        row->addWidget(name);
        row->addWidget(value, 1);
        row->addWidget(choose);
        row->addWidget(none);
        grid->addLayout(row);
        connect(choose, &QPushButton::clicked, this, load);
        connect(none, &QPushButton::clicked, this, clear);
    };
    pictureRow(QStringLiteral("Image de peau :"), skinLabel_, "loadSkinButton", "clearSkinButton",
               &SkinBgWindow::loadSkinClicked, &SkinBgWindow::clearSkinClicked);
    pictureRow(QStringLiteral("Image de fond :"), bgLabel_, "loadBgButton", "clearBgButton",
               &SkinBgWindow::loadBgClicked, &SkinBgWindow::clearBgClicked);
    v->addWidget(pictures);

    auto* sleeves = new QGroupBox(QStringLiteral("Manches du signeur"));
    auto* sv = new QVBoxLayout(sleeves);
    sleeves_ = new QButtonGroup(this);
    QRadioButton* wrist = radio(QStringLiteral("Manches longues, jusqu'aux poignets"), "sleeveWrist");
    QRadioButton* shortSleeves = radio(QStringLiteral("Manches courtes ou bras nus"), "sleeveShort");
    sleeves_->addButton(wrist, kWrist);
    sleeves_->addButton(shortSleeves, kShort);
    wrist->setChecked(true);
    sv->addWidget(wrist);
    sv->addWidget(shortSleeves);
    v->addWidget(sleeves);

    auto* methodRow = new QHBoxLayout;
    tracker_ = new QButtonGroup(this);
    QRadioButton* classic = radio(QStringLiteral("classique"), "trackerClassic");
    QRadioButton* robust = radio(QStringLiteral("robuste"), "trackerRobust");
    tracker_->addButton(classic, kClassic);
    tracker_->addButton(robust, kRobust);
    classic->setChecked(true);
    methodRow->addWidget(new QLabel(QStringLiteral("Méthode de suivi :")));
    methodRow->addWidget(classic);
    methodRow->addWidget(new QLabel(QStringLiteral("/")));
    methodRow->addWidget(robust);
    methodRow->addStretch(1);
    v->addLayout(methodRow);

    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("skBgStatus"));
    status_->setWordWrap(true);
    v->addWidget(status_);

    auto* row = new QHBoxLayout;
    QPushButton* save = kit::button(QStringLiteral("Enregistrer le paramétrage…"), "saveCalibrationButton");
    QPushButton* start = kit::button(QStringLiteral("Lancer le suivi…"), "begTrackButton");
    start->setDefault(true);
    row->addWidget(save);
    row->addStretch(1);
    row->addWidget(start);
    v->addLayout(row);
    v->setSizeConstraint(QLayout::SetFixedSize);
    connect(save, &QPushButton::clicked, this, &SkinBgWindow::saveCalibrationClicked);
    connect(start, &QPushButton::clicked, this, &SkinBgWindow::startClicked);
    showPictures(QString(), QString());
}

void SkinBgWindow::showPictures(const QString& skinPath, const QString& bgPath)
{
    skinLabel_->setText(skinPath.isEmpty() ? QStringLiteral("<i>aucune : centre de la boîte de la tête</i>")
                                           : QFileInfo(skinPath).fileName());
    skinLabel_->setToolTip(skinPath);
    bgLabel_->setText(bgPath.isEmpty() ? QStringLiteral("<i>aucune : fond calculé sur l'image</i>")
                                       : QFileInfo(bgPath).fileName());
    bgLabel_->setToolTip(bgPath);
}

void SkinBgWindow::setStatus(const QString& text)
{
    status_->setText(text);
}

bool SkinBgWindow::sleevesToWrist() const
{
    return sleeves_->checkedId() == kWrist;
}

void SkinBgWindow::setSleevesToWrist(bool wrist)
{
    sleeves_->button(wrist ? kWrist : kShort)->setChecked(true);
}

TrackerMethod SkinBgWindow::tracker() const
{
    return tracker_->checkedId() == kRobust ? TrackerMethod::Robust : TrackerMethod::Classic;
}

void SkinBgWindow::setTracker(TrackerMethod method)
{
    tracker_->button(method == TrackerMethod::Robust ? kRobust : kClassic)->setChecked(true);
}

} // namespace vestiga

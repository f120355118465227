#include "NSConfWin.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int kCellSize = 70;  // points
constexpr int kSpacing = 10;   // points between cells
} // namespace

ConfMatrix::ConfMatrix(QWidget* parent) : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(kSpacing);
    for (int i = 0; i < kCells; ++i) {
        auto* b = new QToolButton(this);
        b->setCheckable(true);
        b->setFixedSize(kCellSize, kCellSize);
        b->setIconSize(QSize(kCellSize - 6, kCellSize - 6));
        b->setEnabled(false); // until a picture is placed in it
        b->setFocusPolicy(Qt::TabFocus);
        grid->addWidget(b, i % kRows, i / kRows);
        cells_[i] = b;
        connect(b, &QToolButton::clicked, this, [this, i] { emit cellToggled(i); });
    }
    // 10 columns and 5 rows of 70-point cells 10 points apart: 790 x 390.
    setFixedSize(kColumns * kCellSize + (kColumns - 1) * kSpacing, kRows * kCellSize + (kRows - 1) * kSpacing);
}

int ConfMatrix::cellState(int row, int column) const
{
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns)
        return 0;
    return cellAt(row, column)->isChecked() ? 1 : 0;
}

void ConfMatrix::setCellState(int row, int column, int state)
{
    if (row < 0 || row >= kRows || column < 0 || column >= kColumns)
        return;
    cellAt(row, column)->setChecked(state != 0);
}

std::array<int, ConfMatrix::kCells> ConfMatrix::states() const
{
    std::array<int, kCells> s{};
    for (int i = 0; i < kCells; ++i)
        s[i] = cellState(i % kRows, i / kRows);
    return s;
}

NSConfWin::NSConfWin(const QString& resourcesDir, QWidget* parent)
    : QWidget(parent, Qt::Window), dir_(resourcesDir)
{
    setWindowTitle(tr("Configuration de la main"));

    auto* title = new QLabel(tr("Choisissez les configurations de la main utilisées par le signe, "
                                "puis enregistrez la description."), this);
    title->setWordWrap(true);

    newMatrix_ = new ConfMatrix(this);
    info_ = new QLabel(this);
    info_->setStyleSheet("color: palette(mid);");

    saveButton_ = new QPushButton(tr("Enregistrer la description"), this);
    saveButton_->setDefault(true);
    connect(saveButton_, &QPushButton::clicked, this, &NSConfWin::saveDescriptionRequested);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(info_, 1);
    bottom->addWidget(saveButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    layout->addWidget(title);
    layout->addWidget(newMatrix_, 0, Qt::AlignLeft | Qt::AlignTop);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(newMatrix_, &ConfMatrix::cellToggled, this, [this](int) { emit confDidChange(newMatrix_); });

    buildGrid();
}

void NSConfWin::buildGrid()
{
    imArray_ = QVector<QPixmap>(kMaxImages);
    imArraySelect_ = QVector<QPixmap>(kMaxImages);
    files_.clear();
    imageCount_ = 0;

    QDir dir(dir_);
    QStringList names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot);
    // Only names ending exactly in ".png" (lower case) are pictures.
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const QString& n) { return !n.endsWith(".png", Qt::CaseSensitive); }),
                names.end());
    // By name ignoring case; names differing only in case keep a fixed order.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });

    int skipped = 0, unreadable = 0;
    for (const QString& name : names) {
        if (imageCount_ >= ConfMatrix::kCells) {
            ++skipped;
            continue;
        }
        QPixmap pic(dir.filePath(name));
        if (pic.isNull()) {
            ++unreadable;
            continue;
        }
        // The selected form: the picture under black at half opacity.
        QPixmap dark = pic;
        {
            QPainter p(&dark);
            p.fillRect(dark.rect(), QColor(0, 0, 0, 128));
        }
        const int i = imageCount_;
        imArray_[i] = pic;
        imArraySelect_[i] = dark;
        QIcon icon;
        icon.addPixmap(pic, QIcon::Normal, QIcon::Off);
        icon.addPixmap(dark, QIcon::Normal, QIcon::On);
        icon.addPixmap(dark, QIcon::Active, QIcon::On);
        QToolButton* cell = newMatrix_->cell(i);
        cell->setIcon(icon);
        cell->setToolTip(QFileInfo(name).completeBaseName());
        cell->setEnabled(true);
        cell->setChecked(false);
        files_ << name;
        ++imageCount_;
    }

    QString text;
    if (imageCount_ == 0)
        text = tr("Aucune image de configuration dans %1").arg(QDir::toNativeSeparators(dir_));
    else
        text = tr("%n configuration(s)", "", imageCount_);
    if (skipped > 0)
        text += tr(" ; %n image(s) au-delà de 50 non affichée(s)", "", skipped);
    if (unreadable > 0)
        text += tr(" ; %n image(s) illisible(s)", "", unreadable);
    info_->setText(text);
    newMatrix_->update();
}

void NSConfWin::resetConf(ConfMatrix* matrix)
{
    if (!matrix)
        return;
    for (int i = 0; i < imageCount_; ++i)
        matrix->setCellState(i % ConfMatrix::kRows, i / ConfMatrix::kRows, 0);
}

void NSConfWin::present()
{
    show();
    raise();
    activateWindow();
}

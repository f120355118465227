#pragma once
// The configuration window: a grid of 5 rows by 10 columns of toggles, one per
// handshape picture of the resources folder, in which the user marks the
// configurations the sign uses. Grid positions are numbered column by column:
// position i is row i mod 5, column i div 5. The pictures (files whose name
// ends exactly in ".png", sorted by name case-insensitively) take consecutive
// positions from 0, so the reset and the 50 digits of the description file
// reach every picture; at most 50 are shown.
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <array>

class QLabel;
class QPushButton;
class QToolButton;

// The grid of toggle cells.
class ConfMatrix : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 5;
    static constexpr int kColumns = 10;
    static constexpr int kCells = kRows * kColumns;

    explicit ConfMatrix(QWidget* parent = nullptr);

    QToolButton* cellAt(int row, int column) const { return cells_[column * kRows + row]; }
    // The cell of grid position i (row i mod 5, column i div 5).
    QToolButton* cell(int position) const { return cells_[position]; }
    int cellState(int row, int column) const;
    void setCellState(int row, int column, int state);
    // The 50 states in grid-position order.
    std::array<int, kCells> states() const;

signals:
    // A cell was toggled by the user.
    void cellToggled(int position);

private:
    std::array<QToolButton*, kCells> cells_{};
};

class NSConfWin : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxImages = 100;

    // Builds the grid from the pictures of `resourcesDir`.
    explicit NSConfWin(const QString& resourcesDir, QWidget* parent = nullptr);

    // The grid, as the controller records it from confDidChange.
    ConfMatrix* newMatrix() const { return newMatrix_; }
    int imageCount() const { return imageCount_; }
    // The files shown, in grid-position order.
    const QStringList& imageFiles() const { return files_; }
    const QString& resourcesDir() const { return dir_; }
    // Pictures of each position, and their darkened form shown when on.
    const QVector<QPixmap>& imArray() const { return imArray_; }
    const QVector<QPixmap>& imArraySelect() const { return imArraySelect_; }

    // Sets the picture cells (positions 0 to imageCount - 1) of `matrix` off;
    // a null matrix is left alone.
    void resetConf(ConfMatrix* matrix);

    // Shows the window in front, ready for the user's choice.
    void present();

signals:
    // Every toggle of a cell, with the grid as sender.
    void confDidChange(ConfMatrix* matrix);
    // The "save the description" button.
    void saveDescriptionRequested();

private:
    void buildGrid();

    QString dir_;
    ConfMatrix* newMatrix_ = nullptr;
    QLabel* info_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QVector<QPixmap> imArray_;
    QVector<QPixmap> imArraySelect_;
    QStringList files_;
    int imageCount_ = 0;
};

#pragma once
// Step 2 of the sign-picture window: the edited key frame with its mask (the
// brush paints it), the mix, and the controls that step through the key
// frames, shift the edited one and show or hide it whole. It only shows what
// it is told and emits the user's requests.
#include <QPointF>
#include <QSizeF>
#include <QWidget>

class OGLWin;
class OGLWinClick;
class QLabel;
class QSlider;

class MixingPane : public QWidget {
    Q_OBJECT
public:
    explicit MixingPane(QWidget* parent = nullptr);

    OGLWinClick* keyFrameView() const { return keyFrame_; }
    OGLWin* mixView() const { return mix_; }
    QSlider* shiftSlider() const { return shift_; }
    QLabel* indexLabel() const { return index_; }

    // Key frame `index` (from 0; -1: none) of `count` is edited.
    void showKeyFrameIndex(int index, int count);
    // The edited key frame's shift, without emitting shiftChanged.
    void showShift(int hundredths);

signals:
    void previousRequested();
    void nextRequested();
    // Horizontal shift of the edited key frame, hundredths of the width.
    void shiftChanged(int hundredths);
    // Whole key frame into the mix (true) or out of it (false).
    void shownRequested(bool shown);
    void backRequested();
    void validateRequested();
    // A brush dab at `point` from the key-frame view's lower-left corner, y
    // up, in a view of `viewSize`.
    void strokeAt(const QPointF& point, const QSizeF& viewSize);

private:
    void showShiftValue(int hundredths);

    OGLWinClick* keyFrame_ = nullptr;
    OGLWin* mix_ = nullptr;
    QSlider* shift_ = nullptr;
    QLabel* shiftValue_ = nullptr;
    QLabel* index_ = nullptr;
};

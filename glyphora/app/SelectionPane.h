#pragma once
// Step 1 of the sign-picture window: the buffer view (the current frame over
// the key-frame average) and the buttons that capture, clear and validate the
// key frames. It only shows what it is told and emits the user's requests.
#include <QWidget>

class OGLWin;
class QLabel;
class QPushButton;

class SelectionPane : public QWidget {
    Q_OBJECT
public:
    explicit SelectionPane(QWidget* parent = nullptr);

    OGLWin* bufferView() const { return buffer_; }
    QPushButton* captureButton() const { return capture_; }
    QLabel* countLabel() const { return count_; }

    // n key frames held of at most `max`; whether a capture is possible.
    void showKeyFrameCount(int n, int max, bool canCapture);

signals:
    void captureRequested();
    void resetRequested();
    void validateRequested();

private:
    OGLWin* buffer_ = nullptr;
    QPushButton* capture_ = nullptr;
    QLabel* count_ = nullptr;
};

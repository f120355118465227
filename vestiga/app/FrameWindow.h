#pragma once
// The choice of the reference frame in a video file: a movie view and the
// way back to the start.
#include <QWidget>

namespace qtmedia {
class MovieView;
}

namespace vestiga {

class FrameWindow : public QWidget {
    Q_OBJECT
public:
    explicit FrameWindow(QWidget* parent = nullptr);
    qtmedia::MovieView* movieView() const { return movieView_; }

signals:
    void backClicked();
    void frameChosen();

private:
    qtmedia::MovieView* movieView_ = nullptr;
};

} // namespace vestiga

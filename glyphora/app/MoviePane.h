#pragma once
// The movie side of the sign-picture window: the main movie with its time and
// the two buttons that set the sign's begin and end there, and the begin and
// end movies. Each movie view holds its own time; the controller listens to
// their timeChanged signals.
#include <QWidget>

class QLabel;

namespace qtmedia {
class MovieView;
}

class MoviePane : public QWidget {
    Q_OBJECT
public:
    explicit MoviePane(QWidget* parent = nullptr);

    qtmedia::MovieView* mainMovie() const { return main_; }
    qtmedia::MovieView* beginMovie() const { return begin_; }
    qtmedia::MovieView* endMovie() const { return end_; }
    QLabel* timeLabel() const { return time_; }

signals:
    void beginHereRequested();
    void endHereRequested();

private:
    qtmedia::MovieView* main_ = nullptr;
    qtmedia::MovieView* begin_ = nullptr;
    qtmedia::MovieView* end_ = nullptr;
    QLabel* time_ = nullptr;
};

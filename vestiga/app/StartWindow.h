#pragma once
// The first window: the choice of the video source.
#include <QWidget>

namespace vestiga {

class StartWindow : public QWidget {
    Q_OBJECT
public:
    explicit StartWindow(QWidget* parent = nullptr);

signals:
    void webcamChosen();
    void videoFileChosen();
};

} // namespace vestiga

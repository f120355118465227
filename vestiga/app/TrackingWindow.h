#pragma once
// The tracking window ("oVideo"): the processed picture with the estimates,
// the progress and the stop button (which reads "Quitter" once the run is
// over). Closing the window is reported like the stop button.
#include <QImage>
#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vestiga {

class TrackingWindow : public QWidget {
    Q_OBJECT
public:
    explicit TrackingWindow(QWidget* parent = nullptr);

    // A run towards `trackingFile` of `total` frames (0 or less: unknown).
    void startRun(const QString& trackingFile, int64_t total);
    void showPicture(const QImage& picture);
    // `done` frames of `total` (0 or less: unknown, the time at 25 frames
    // per second is shown instead).
    void showProgress(int64_t done, int64_t total);
    // The run is over: the message in place of the progress, "Quitter" on
    // the button.
    void showEnd(const QString& message);

signals:
    void stopClicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* picture_ = nullptr;
    QLabel* progressLine_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QString fileName_;
};

} // namespace vestiga

#pragma once
// A movie view: one video shown in a widget with its own current time, a
// play/pause button, frame steps, a scrub slider and the current time as text.
//
// The view keeps a media::MovieTime (time scale 600 by default). Frame k of a
// video at fps frames per second stands at round(k * 600 / fps); the frame
// shown for any time t is the last frame whose start is not after t. A time
// given with setCurrentTime() is kept exactly as given (value, scale, flags),
// so a time copied from another view compares equal; stepping, scrubbing and
// playing move the time to frame starts.
//
// Several views may show one file with independent times: give each view its
// own file (setVideo(path)), or share one media::VideoFile between views (its
// reads seek as needed; everything runs on the GUI thread).
#include "media/MovieTime.h"
#include "media/VideoFile.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <opencv2/core.hpp>

#include <memory>

class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace qtmedia {

class MovieScreen;

class MovieView : public QWidget {
    Q_OBJECT
public:
    explicit MovieView(QWidget* parent = nullptr);
    ~MovieView() override;

    // Opens `path` in a file of this view's own. On failure returns false with
    // a message naming the file in *error, and the view keeps what it showed.
    bool setVideo(const QString& path, QString* error = nullptr);
    // Shows an already opened file (shared with other views or the caller).
    // A null or closed file empties the view.
    void setVideo(std::shared_ptr<media::VideoFile> video);
    // Empties the view: no video, time 0.
    void clear();

    bool hasVideo() const { return video_ && video_->isOpen(); }
    std::shared_ptr<media::VideoFile> video() const { return video_; }
    int64_t frameCount() const { return hasVideo() ? video_->frameCount() : 0; }
    double fps() const { return hasVideo() ? video_->fps() : 0.0; }

    // The current time. Before any video it is 0 at scale 600.
    media::MovieTime currentTime() const { return time_; }
    // Moves to `t` (clamped to the video: 0 to the start of the last frame)
    // and shows its frame. Emits timeChanged when the time changes.
    void setCurrentTime(const media::MovieTime& t);
    void gotoBeginning();
    // The start of the last frame.
    void gotoEnd();
    void stepForward();
    void stepBackward();

    // Index of the frame shown (0 without a video).
    int64_t currentFrameIndex() const { return frameIndex_; }
    // The frame shown, 8-bit BGR (empty without a video). The returned matrix
    // is a copy: it stays valid whatever the view does later.
    cv::Mat currentFrame() const { return frame_.clone(); }
    // The current time as "00:01:02.50".
    QString timeText() const;

    // Playback at the video's frame rate, in real time: frames whose time has
    // passed while decoding are skipped. Stops at the last frame.
    void play();
    void pause();
    bool isPlaying() const;

    // Hides or shows the row of controls under the picture.
    void setControlsVisible(bool visible);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void timeChanged(const media::MovieTime& time);
    void videoChanged();
    void playingChanged(bool playing);

private slots:
    void onPlayTick();
    void onSliderMoved(int value);
    void togglePlay();

private:
    void showFrame(int64_t k);
    void updateControls();
    int64_t lastFrame() const { return frameCount() > 0 ? frameCount() - 1 : 0; }

    std::shared_ptr<media::VideoFile> video_;
    media::MovieTime time_;
    int64_t frameIndex_ = 0;
    cv::Mat frame_; // BGR, as decoded
    QImage image_;  // RGB view of frame_ for painting

    MovieScreen* screen_ = nullptr;
    QWidget* controls_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* backButton_ = nullptr;
    QToolButton* forwardButton_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QTimer* playTimer_ = nullptr;
    QElapsedTimer playClock_;
    int64_t playStartFrame_ = 0;

    friend class MovieScreen;
};

} // namespace qtmedia

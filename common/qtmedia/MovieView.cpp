#include "qtmedia/MovieView.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qtmedia {

// The picture area: the frame scaled to fit without distortion, centred on a
// black background (letterboxed).
class MovieScreen : public QWidget {
public:
    explicit MovieScreen(MovieView* view) : QWidget(view), view_(view)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setMinimumSize(80, 60);
    }

    QSize sizeHint() const override
    {
        if (view_->image_.isNull())
            return QSize(320, 240);
        return view_->image_.size().scaled(QSize(320, 320), Qt::KeepAspectRatio);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        const QImage& img = view_->image_;
        if (img.isNull())
            return;
        const QSize fit = img.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fit.width()) / 2, (height() - fit.height()) / 2), fit);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, img);
    }

private:
    MovieView* view_;
};

MovieView::MovieView(QWidget* parent) : QWidget(parent)
{
    screen_ = new MovieScreen(this);

    controls_ = new QWidget(this);
    auto* row = new QHBoxLayout(controls_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);

    auto makeButton = [this](QStyle::StandardPixmap icon, const QString& tip) {
        auto* b = new QToolButton(controls_);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    backButton_ = makeButton(QStyle::SP_MediaSeekBackward, tr("Image précédente"));
    playButton_ = makeButton(QStyle::SP_MediaPlay, tr("Lecture / pause"));
    forwardButton_ = makeButton(QStyle::SP_MediaSeekForward, tr("Image suivante"));

    slider_ = new QSlider(Qt::Horizontal, controls_);
    slider_->setRange(0, 0);
    slider_->setToolTip(tr("Position dans la vidéo"));

    timeLabel_ = new QLabel(controls_);
    timeLabel_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    timeLabel_->setText(timeText());

    row->addWidget(backButton_);
    row->addWidget(playButton_);
    row->addWidget(forwardButton_);
    row->addWidget(slider_, 1);
    row->addWidget(timeLabel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(screen_, 1);
    layout->addWidget(controls_);

    playTimer_ = new QTimer(this);
    playTimer_->setTimerType(Qt::PreciseTimer);
    connect(playTimer_, &QTimer::timeout, this, &MovieView::onPlayTick);
    connect(playButton_, &QToolButton::clicked, this, &MovieView::togglePlay);
    connect(backButton_, &QToolButton::clicked, this, &MovieView::stepBackward);
    connect(forwardButton_, &QToolButton::clicked, this, &MovieView::stepForward);
    connect(slider_, &QSlider::sliderMoved, this, &MovieView::onSliderMoved);
    // Clicks on the groove and keyboard steps change the value without a move.
    connect(slider_, &QSlider::actionTriggered, this, [this](int) {
        if (!slider_->isSliderDown())
            onSliderMoved(slider_->sliderPosition());
    });

    updateControls();
}

MovieView::~MovieView() = default;

bool MovieView::setVideo(const QString& path, QString* error)
{
    auto v = std::make_shared<media::VideoFile>();
    std::string why;
    if (!v->open(path.toStdString(), &why)) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    setVideo(std::move(v));
    return true;
}

void MovieView::setVideo(std::shared_ptr<media::VideoFile> video)
{
    pause();
    video_ = (video && video->isOpen()) ? std::move(video) : nullptr;
    frame_.release();
    image_ = QImage();
    frameIndex_ = 0;
    const media::MovieTime old = time_;
    time_ = media::MovieTime{};
    if (video_)
        showFrame(0);
    updateControls();
    screen_->updateGeometry();
    screen_->update();
    emit videoChanged();
    if (old != time_)
        emit timeChanged(time_);
}

void MovieView::clear()
{
    setVideo(std::shared_ptr<media::VideoFile>());
}

void MovieView::setCurrentTime(const media::MovieTime& t)
{
    if (!hasVideo())
        return;
    media::MovieTime c = t;
    if (c.scale <= 0)
        c = media::MovieTime{};
    const media::MovieTime last = video_->timeOfFrame(lastFrame(), c.scale);
    if (c.value < 0)
        c.value = 0;
    if (c.value > last.value)
        c.value = last.value;
    const bool changed = !(c == time_) || c.flags != time_.flags;
    time_ = c;
    showFrame(video_->frameAt(time_));
    updateControls();
    if (changed)
        emit timeChanged(time_);
}

void MovieView::gotoBeginning()
{
    if (hasVideo())
        setCurrentTime(video_->timeOfFrame(0, time_.scale));
}

void MovieView::gotoEnd()
{
    if (hasVideo())
        setCurrentTime(video_->timeOfFrame(lastFrame(), time_.scale));
}

void MovieView::stepForward()
{
    if (!hasVideo())
        return;
    pause();
    setCurrentTime(video_->timeOfFrame(std::min(frameIndex_ + 1, lastFrame()), time_.scale));
}

void MovieView::stepBackward()
{
    if (!hasVideo())
        return;
    pause();
    // From a time inside a frame, the step goes back to that frame's start first
    // only if it is not already there; otherwise to the previous frame.
    const media::MovieTime start = video_->timeOfFrame(frameIndex_, time_.scale);
    const int64_t k = (time_.value > start.value) ? frameIndex_ : std::max<int64_t>(frameIndex_ - 1, 0);
    setCurrentTime(video_->timeOfFrame(k, time_.scale));
}

QString MovieView::timeText() const
{
    char buf[32];
    return QString::fromLatin1(media::formatTime(time_, buf));
}

void MovieView::play()
{
    if (!hasVideo() || isPlaying())
        return;
    if (frameIndex_ >= lastFrame())
        gotoBeginning();
    playStartFrame_ = frameIndex_;
    playClock_.start();
    // A tick a little more often than the frame period keeps the frame shown
    // within a few milliseconds of its time.
    playTimer_->start(std::max(5, int(1000.0 / video_->fps() / 2.0)));
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    emit playingChanged(true);
}

void MovieView::pause()
{
    if (!isPlaying())
        return;
    playTimer_->stop();
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    emit playingChanged(false);
}

bool MovieView::isPlaying() const
{
    return playTimer_->isActive();
}

void MovieView::togglePlay()
{
    if (isPlaying())
        pause();
    else
        play();
}

void MovieView::onPlayTick()
{
    if (!hasVideo()) {
        pause();
        return;
    }
    const double elapsed = playClock_.nsecsElapsed() * 1e-9;
    int64_t k = playStartFrame_ + static_cast<int64_t>(elapsed * video_->fps());
    if (k >= lastFrame())
        k = lastFrame();
    if (k != frameIndex_)
        setCurrentTime(video_->timeOfFrame(k, time_.scale));
    if (k >= lastFrame())
        pause();
}

void MovieView::onSliderMoved(int value)
{
    if (!hasVideo())
        return;
    const int64_t k = std::clamp<int64_t>(value, 0, lastFrame());
    if (isPlaying()) {
        playStartFrame_ = k;
        playClock_.restart();
    }
    setCurrentTime(video_->timeOfFrame(k, time_.scale));
}

void MovieView::setControlsVisible(bool visible)
{
    controls_->setVisible(visible);
}

QSize MovieView::sizeHint() const
{
    const QSize s = screen_->sizeHint();
    return QSize(s.width(), s.height() + controls_->sizeHint().height() + 2);
}

QSize MovieView::minimumSizeHint() const
{
    return QSize(160, 120 + controls_->minimumSizeHint().height());
}

void MovieView::showFrame(int64_t k)
{
    if (!hasVideo())
        return;
    if (k == frameIndex_ && !frame_.empty())
        return;
    cv::Mat f;
    if (!video_->frame(k, f))
        return; // keep the last good picture
    frame_ = f;
    frameIndex_ = k;
    // The QImage shares the decoded pixels; frame_ is replaced, never written.
    image_ = QImage(frame_.data, frame_.cols, frame_.rows, int(frame_.step), QImage::Format_BGR888);
    screen_->update();
}

void MovieView::updateControls()
{
    const bool on = hasVideo();
    playButton_->setEnabled(on);
    backButton_->setEnabled(on);
    forwardButton_->setEnabled(on);
    slider_->setEnabled(on);
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(0, int(std::min<int64_t>(lastFrame(), INT32_MAX)));
        if (!slider_->isSliderDown())
            slider_->setValue(int(std::min<int64_t>(frameIndex_, INT32_MAX)));
    }
    timeLabel_->setText(timeText());
}

} // namespace qtmedia

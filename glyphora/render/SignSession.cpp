#include "render/SignSession.h"

#include "render/PictureSave.h"
#include "render/PictureView.h"

#include "base/Path.h"

namespace glyphora {

namespace {

void setError(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
}

// Seconds of a movie time in single precision, as the boundary comparisons of
// a capture take them.
float secondsF(const media::MovieTime& t)
{
    return static_cast<float>(t.value) / static_cast<float>(t.scale);
}

} // namespace

SignSession::SignSession() = default;
SignSession::~SignSession() = default;

// ---- Loading -----------------------------------------------------------------

bool SignSession::loadVideo(const std::string& path, std::string* error)
{
    auto video = std::make_unique<media::VideoFile>();
    if (!video->open(path, error))
        return false;
    cv::Mat first;
    if (!video->frame(0, first)) {
        setError(error, path + ": the first frame cannot be read");
        return false;
    }

    // The new video replaces the old one whole: key frames of another size
    // cannot be blended with its frames.
    resetKeyFrames();
    kfnb_ = 0;
    video_ = std::move(video);
    videoFile_ = path;
    const cv::Size size = video_->frameSize();
    kfBuffer_ = cv::Mat::zeros(size, CV_8UC3);
    kfNewBuffer_ = cv::Mat::zeros(size, CV_8UC3);
    curFrame_.release();
    firstMovieTime_ = begMovieTime_ = endMovieTime_ = media::MovieTime();
    preview_.initTexture(nullptr);
    prepareFrame(first, curFrame_);
    curFrameTime_ = firstMovieTime_;
    updateRate();
    return true;
}

bool SignSession::loadTracking(const std::string& path, std::string* error)
{
    TrackingTable table;
    if (!table.load(path, error))
        return false;
    tracking_ = std::move(table);
    spat_.initVideo(tracking_);
    const float* columns[6];
    for (int c = 0; c < 6; ++c)
        columns[c] = tracking_.coords(c);
    preview_.setCoords(columns);
    updateRate();
    return true;
}

void SignSession::updateRate()
{
    // Lines per second of movie time from the time codes; a tracking whose
    // time codes give none (a single line) follows the video, one line per
    // frame.
    rate_ = tracking_.empty() ? 0.0f : tracking_.rate();
    if (!(rate_ > 0.0f) && hasVideo())
        rate_ = static_cast<float>(video_->fps());
}

// ---- Movie times -----------------------------------------------------------

void SignSession::setMainTime(const media::MovieTime& t)
{
    media::MovieTime clamped = media::MovieTime::fromSeconds(t.seconds());
    if (clamped.value < 0)
        clamped.value = 0;
    const media::MovieTime end = duration();
    if (clamped.value > end.value)
        clamped.value = end.value;
    firstMovieTime_ = clamped;
}

void SignSession::setBoundaries(const media::MovieTime& begin, const media::MovieTime& end)
{
    begMovieTime_ = begin;
    endMovieTime_ = end;
}

std::string SignSession::timeText() const
{
    char buf[32];
    return media::formatTime(firstMovieTime_, buf);
}

// ---- Display tick --------------------------------------------------------

bool SignSession::prepareCurrentFrame()
{
    if (!hasVideo())
        return false;
    // The frame shown at the main movie's time; a frame that cannot be
    // decoded leaves the previous one in place.
    if (!video_->frameAtTime(firstMovieTime_, tmpFrame_))
        return false;
    if (!prepareFrame(tmpFrame_, curFrame_))
        return false;
    curFrameTime_ = firstMovieTime_;
    return true;
}

void SignSession::pushBoundariesByRate()
{
    const LineSpan span = spanByRate(begMovieTime_, endMovieTime_, rate_);
    spat_.setNewTimeBoundaries(span.first, span.duration);
}

bool SignSession::tick()
{
    if (!hasVideo())
        return false;
    // A movie standing still shows the same frame: the seek and decode (the
    // bulk of a tick) are only done when the main movie's time moved since
    // the frame was prepared, or when the last decode failed.
    if (curFrame_.empty() || curFrameTime_ != firstMovieTime_)
        prepareCurrentFrame();
    if (!curFrame_.empty())
        blendHalf(kfBuffer_, curFrame_, kfNewBuffer_);
    pushBoundariesByRate();
    spat_.setSymType(symmetry_);
    spat_.setMoPat(pattern_);
    if (step_ == Step::Selection)
        return false;
    drawMix();
    preview_.initTexture(&kfNewBuffer_);
    drawSimplePreview();
    return true;
}

void SignSession::refresh()
{
    drawSimplePreview();
    pushBoundariesByRate();
    spat_.setSymType(symmetry_);
    spat_.setMoPat(pattern_);
    spat_.setOrientation(static_cast<float>(orientation_));
}

// ---- Arrow controls ----------------------------------------------------------

void SignSession::setArrowsShown(bool right, bool left)
{
    arrows_.rArrowVisible = right;
    arrows_.lArrowVisible = left;
    if (right && left && (symmetry_ == 2 || symmetry_ == 1 || symmetry_ == 7))
        symmetry_ = 0;
    if (!right && left)
        symmetry_ = 1;
    if (right && !left)
        symmetry_ = 2;
    if (!right && !left) {
        symmetry_ = 7;
        pattern_ = 7;
    }
}

void SignSession::setArrowShift(Arrow arrow, double dx, double dy)
{
    if (arrow == Arrow::Right) {
        arrows_.offsetRArrowX = dx;
        arrows_.offsetRArrowY = dy;
    } else {
        arrows_.offsetLArrowX = dx;
        arrows_.offsetLArrowY = dy;
    }
}

// ---- Key frames ------------------------------------------------------------

bool SignSession::captureKeyFrame(std::string* error)
{
    if (!hasVideo()) {
        setError(error, "no video is loaded: open a video before capturing key frames");
        return false;
    }
    if (kfCount_ >= kMaxKeyFrames) {
        setError(error, "the sign already holds " + std::to_string(kMaxKeyFrames) +
                            " key frames: no more can be captured");
        return false;
    }
    // The key frame is the picture at the main movie's time, also when the
    // movie was moved since the last tick.
    if (curFrame_.empty() || curFrameTime_ != firstMovieTime_)
        prepareCurrentFrame();
    if (curFrame_.empty()) {
        setError(error, videoFile_ + ": the frame at " + timeText() + " cannot be read");
        return false;
    }

    // Widen the sign's boundaries to include the current time.
    if (kfCount_ == 0) {
        setBeginHere();
        setEndHere();
    } else {
        if (secondsF(begMovieTime_) > secondsF(firstMovieTime_))
            setBeginHere();
        if (secondsF(firstMovieTime_) > secondsF(endMovieTime_))
            setEndHere();
    }

    const int k = kfCount_;
    kfArray_[k] = curFrame_.clone();
    offsetArray_[k] = 0.0f;
    kfAlphaArray_[k] = cv::Mat(curFrame_.size(), CV_8UC1, cv::Scalar(kVisibleMask));
    kfCount_ = k + 1;
    accumulateKeyFrame(kfBuffer_, kfArray_[k], k);
    return true;
}

bool SignSession::captureKeyFrameAt(const media::MovieTime& t, std::string* error)
{
    setMainTime(t);
    tick();
    return captureKeyFrame(error);
}

void SignSession::resetKeyFrames()
{
    for (int i = 0; i < kfCount_; ++i) {
        kfArray_[i].release();
        kfAlphaArray_[i].release();
    }
    kfCount_ = 0;
    // New key frames may reuse the released buffers: the mix is recomposed
    // whole next time.
    mixScratch_.made = MixScratch::Inputs();
    if (!kfBuffer_.empty())
        kfBuffer_.setTo(cv::Scalar::all(0));
}

void SignSession::newSign()
{
    resetKeyFrames();
    step_ = Step::Selection;
}

void SignSession::goToStep(Step step)
{
    step_ = step;
    if (step == Step::Mixing) {
        kfnb_ = 0;
        drawMix();
    }
}

void SignSession::editPreviousKeyFrame()
{
    if (kfnb_ > 0)
        --kfnb_;
    drawMix();
}

void SignSession::editNextKeyFrame()
{
    if (kfnb_ < kfCount_ - 1)
        ++kfnb_;
    drawMix();
}

bool SignSession::setKeyFrameShift(int k, double hundredths)
{
    if (k < 0 || k >= kfCount_)
        return false;
    offsetArray_[k] = static_cast<float>(hundredths / 100.0);
    return true;
}

bool SignSession::setKeyFrameShown(int k, bool shown)
{
    if (k < 0 || k >= kfCount_)
        return false;
    kfAlphaArray_[k].setTo(cv::Scalar(shown ? kVisibleMask : kInvisibleMask));
    drawMix();
    return true;
}

void SignSession::paintKeyFrameMask(double x, double y, double viewWidth, double viewHeight)
{
    if (paintKeyFrameMaskOnly(x, y, viewWidth, viewHeight))
        drawMixChanges();
}

bool SignSession::paintKeyFrameMaskOnly(double x, double y, double viewWidth, double viewHeight)
{
    if (kfnb_ >= kfCount_)
        return false;
    cv::Rect touched;
    if (!paintMask(kfAlphaArray_[kfnb_], x, y, viewWidth, viewHeight, &touched))
        return false;
    noteMaskChange(mixScratch_, frameSize(), offsetArray_[kfnb_], touched);
    return true;
}

const cv::Mat* SignSession::curKeyFrame() const
{
    return kfnb_ < kfCount_ ? &kfArray_[kfnb_] : nullptr;
}

const cv::Mat* SignSession::curKeyFrameMask() const
{
    return kfnb_ < kfCount_ ? &kfAlphaArray_[kfnb_] : nullptr;
}

// ---- Pictures ----------------------------------------------------------------

void SignSession::drawMix()
{
    const cv::Size size = frameSize();
    if (size.empty())
        return;
    std::string error;
    // The key frames all come from the loaded video, so their sizes match;
    // a failure leaves the previous picture.
    glyphora::drawMix(size, kfArray_.data(), kfAlphaArray_.data(), offsetArray_.data(), kfCount_, kfNewBuffer_, &error,
            &mixScratch_);
}

void SignSession::drawMixChanges()
{
    const cv::Size size = frameSize();
    if (size.empty())
        return;
    // In the selection step the picture is the buffer view's blend, not the
    // mix: recompose it whole.
    if (step_ == Step::Selection) {
        drawMix();
        return;
    }
    std::string error;
    glyphora::drawMixChanges(size, kfArray_.data(), kfAlphaArray_.data(), offsetArray_.data(), kfCount_,
                             kfNewBuffer_, &error, mixScratch_);
}

void SignSession::drawSimplePreview()
{
    const cv::Size size = previewSize();
    preview_.initBegEnd(getFrameNb(begMovieTime_), getFrameNb(endMovieTime_), size.width, size.height);
}

SignPattern::DrawStatus SignSession::drawArrowView(int width, int height)
{
    return preview_.draw(width, height, spat_, arrows_);
}

void SignSession::setPreviewSize(int width, int height) { previewSize_ = cv::Size(width, height); }

cv::Size SignSession::previewSize() const
{
    return previewSize_.width > 0 && previewSize_.height > 0 ? previewSize_ : frameSize();
}

// ---- Save and description ----------------------------------------------------

std::string SignSession::exportTracking() const
{
    std::string text;
    if (!trackingExportText(tracking_, begMovieTime_, endMovieTime_, rate_, text))
        return std::string();
    return text;
}

bool SignSession::savePicture(const std::string& name, double viewWidth, double viewHeight, std::string* error)
{
    if (name.empty()) {
        setError(error, "no file name given for the picture");
        return false;
    }
    const std::string folder = base::folderOf(name);
    if (!base::isFolder(folder)) {
        setError(error, name + ".jpg: the folder " + folder + " does not exist");
        return false;
    }
    if (!glyphora::saveGL(viewWidth, viewHeight, name, error))
        return false;
    exportName_ = name;
    // The configuration window opens cleared for this picture's description.
    matConf_ = ConfigurationMatrix{};
    return true;
}

bool SignSession::setConfigurationCell(int position, bool on)
{
    if (position < 0 || position >= kConfigurationCells)
        return false;
    matConf_[position % 5][position / 5] = on ? 1 : 0;
    return true;
}

DescriptionInputs SignSession::descriptionInputs() const
{
    DescriptionInputs in;
    in.videoFile = videoFile_;
    in.begin = begMovieTime_;
    in.end = endMovieTime_;
    in.configuration = matConf_;
    in.values = spat_.descr;
    return in;
}

std::string SignSession::descriptionText() const
{
    std::string text;
    if (!glyphora::descriptionText(descriptionInputs(), text))
        return std::string();
    return text;
}

bool SignSession::saveDescription(std::string* printed, std::string* error)
{
    if (exportName_.empty()) {
        setError(error, "save the picture first: the description takes its name");
        return false;
    }
    const DescriptionInputs in = descriptionInputs();
    if (!glyphora::saveDescription(exportName_, in, error, nullptr))
        return false;
    if (printed)
        *printed = descriptionConsoleLine(in.values);
    // The selection belongs to this sign: cleared once written.
    matConf_ = ConfigurationMatrix{};
    return true;
}

bool SignSession::saveSign(const std::string& name, double viewWidth, double viewHeight, std::string* printed,
                           std::string* error)
{
    std::string text = exportTracking();
    // The picture save clears the configuration for the window's next
    // choice; here the configuration was chosen before.
    const ConfigurationMatrix configuration = matConf_;
    bool ok = savePicture(name, viewWidth, viewHeight, error);
    if (ok) {
        matConf_ = configuration;
        std::string line;
        ok = saveDescription(&line, error);
        text += line;
    }
    if (printed)
        *printed = std::move(text);
    return ok;
}

} // namespace glyphora

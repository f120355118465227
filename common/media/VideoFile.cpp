#include "VideoFile.h"

#include <algorithm>
#include <fstream>

namespace media {

bool VideoFile::open(const std::string& path, std::string* error)
{
    close();
    auto fail = [&](const std::string& why) {
        if (error)
            *error = path + ": " + why;
        close();
        return false;
    };
    if (!std::ifstream(path).good())
        return fail("cannot read the file (missing or not readable)");
    if (!cap_.open(path, cv::CAP_FFMPEG))
        return fail("not a video that can be decoded");
    fps_ = cap_.get(cv::CAP_PROP_FPS);
    frameCount_ = static_cast<int64_t>(cap_.get(cv::CAP_PROP_FRAME_COUNT));
    cv::Mat first;
    if (!cap_.read(first) || first.empty())
        return fail("the video holds no frame");
    if (first.type() != CV_8UC3)
        return fail("frames are not 8-bit colour pictures");
    if (!(fps_ > 0 && fps_ < 1000))
        return fail("the video has no usable frame rate");
    size_ = first.size();
    next_ = 1;
    // A stream without a container index (a raw MPEG-2 stream, for one)
    // states no length; taking it for a single frame would cut it silently.
    if (frameCount_ < 1)
        return fail("the number of frames cannot be read (a stream without a container?)");
    path_ = path;
    return true;
}

void VideoFile::close()
{
    cap_.release();
    path_.clear();
    frameCount_ = 0;
    fps_ = 0;
    size_ = cv::Size();
    next_ = 0;
}

int64_t VideoFile::frameAt(const MovieTime& t) const
{
    return std::min<int64_t>(media::frameAtTime(t, fps_), std::max<int64_t>(frameCount_ - 1, 0));
}

bool VideoFile::frame(int64_t k, cv::Mat& out)
{
    if (!isOpen() || k < 0 || k >= frameCount_)
        return false;
    if (k != next_) {
        cap_.set(cv::CAP_PROP_POS_FRAMES, double(k));
        next_ = k;
    }
    cv::Mat f;
    if (!cap_.read(f) || f.empty() || f.size() != size_ || f.type() != CV_8UC3) {
        next_ = -1; // position unknown: seek next time
        return false;
    }
    ++next_;
    f.copyTo(out);
    return true;
}

bool VideoFile::frameAtTime(const MovieTime& t, cv::Mat& out)
{
    return frame(frameAt(t), out);
}

} // namespace media

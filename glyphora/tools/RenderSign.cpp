#include "RenderSign.h"

#include "media/MovieTime.h"
#include "media/VideoFile.h"

#include <cstdio>

namespace glyphora {

std::string checkSignTime(const SignSession& s, const std::string& what, double seconds)
{
    const media::MovieTime t = media::MovieTime::fromSeconds(seconds);
    const media::MovieTime length = s.duration();
    char buf[200];
    if (t.value > length.value) {
        std::snprintf(buf, sizeof buf, "%s %.3f s lies after the end of the video (%.3f s)", what.c_str(), seconds,
                      length.seconds());
        return buf;
    }
    const TrackingTable& table = s.tracking();
    const double ms = double((t.value * 1000) / t.scale);
    const double halfFrame = s.fps() > 0 ? 500.0 / s.fps() : 0.0;
    const double first = table.timeCode(1), last = table.timeCode(table.lineCount());
    if (ms < first - halfFrame || ms > last + halfFrame) {
        std::snprintf(buf, sizeof buf, "%s %.3f s lies outside the tracking (%.3f s to %.3f s)", what.c_str(),
                      seconds, first / 1000.0, last / 1000.0);
        return buf;
    }
    return std::string();
}

std::string checkSignTimes(const SignSession& s, const RenderOptions& o)
{
    std::string why = checkSignTime(s, "--begin", o.begin);
    if (why.empty())
        why = checkSignTime(s, "--end", o.end);
    for (size_t k = 0; why.empty() && k < o.keyFrames.size(); ++k)
        why = checkSignTime(s, "--keyframe " + std::to_string(k), o.keyFrames[k].seconds);
    return why;
}

std::string checkSignFramesDecode(const RenderOptions& o)
{
    media::VideoFile video;
    std::string why;
    if (!video.open(o.video, &why))
        return "video " + why;
    cv::Mat frame;
    auto check = [&](const std::string& what, double seconds) {
        const int64_t k = video.frameAt(media::MovieTime::fromSeconds(seconds));
        if (video.frame(k, frame))
            return std::string();
        char buf[96];
        std::snprintf(buf, sizeof buf, " at %.3f s: frame %lld of the video cannot be decoded", seconds,
                      static_cast<long long>(k));
        return what + buf + " (a damaged or truncated video?)";
    };
    why = check("--begin", o.begin);
    if (why.empty())
        why = check("--end", o.end);
    for (size_t k = 0; why.empty() && k < o.keyFrames.size(); ++k)
        why = check("--keyframe " + std::to_string(k), o.keyFrames[k].seconds);
    return why;
}

std::string pictureSize(const SignSession& s, const RenderOptions& o, int* width, int* height)
{
    const cv::Size frame = s.frameSize();
    *width = o.width > 0 ? o.width : frame.width;
    *height = o.height > 0 ? o.height : frame.height;
    if (*width < 4 || *height < 1)
        return "the picture size " + std::to_string(*width) + "x" + std::to_string(*height) +
               " is too small (at least 4x1)";
    return std::string();
}

bool composeSign(SignSession& session, const RenderOptions& o, std::string* error)
{
    // Key frames: each captured at its time, as the user moves the main movie
    // and presses the capture button.
    session.newSign();
    for (const KeyFrameOption& k : o.keyFrames)
        if (!session.captureKeyFrameAt(media::MovieTime::fromSeconds(k.seconds), error))
            return false;
    // Mixing step: shifts and hidden key frames.
    session.goToStep(Step::Mixing);
    for (size_t k = 0; k < o.keyFrames.size(); ++k)
        session.setKeyFrameShift(int(k), o.keyFrames[k].shift * 100.0);
    for (int hidden : o.hiddenKeyFrames)
        session.setKeyFrameShown(hidden, false);
    // The sign's boundaries, set after the captures (which move them).
    session.setBoundaries(media::MovieTime::fromSeconds(o.begin), media::MovieTime::fromSeconds(o.end));

    // Arrows step: the tick blends the key frames and gives the mix to the
    // arrow view.
    session.goToStep(Step::Arrows);
    session.tick();
    session.setArrowsShown(o.right, o.left);
    if (o.symmetryGiven)
        session.setSymmetry(o.symmetry);
    if (o.patternGiven)
        session.setPattern(o.pattern);
    session.setOrientation(o.orientation);
    session.setArrowShift(SignSession::Arrow::Right, o.rightOffsetX, o.rightOffsetY);
    session.setArrowShift(SignSession::Arrow::Left, o.leftOffsetX, o.leftOffsetY);
    session.refresh();
    return true;
}

} // namespace glyphora

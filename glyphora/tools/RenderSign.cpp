#include "RenderSign.h"

#include "media/MovieTime.h"

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

bool composeSign(SignSession& session, const RenderOptions& o, int width, int height,
                 SignPattern::DrawStatus& status, std::string* error)
{
    // Key frames: each captured at its time, as the user moves the main movie
    // and presses the capture button.
    for (const KeyFrameOption& k : o.keyFrames) {
        session.setMainTime(media::MovieTime::fromSeconds(k.seconds));
        session.tick();
        if (!session.captureKeyFrame(error))
            return false;
    }
    // Mixing step: shifts and hidden key frames, one key frame after another.
    session.validateKeyFrame();
    for (size_t k = 0; k < o.keyFrames.size(); ++k) {
        session.offsetSlider = o.keyFrames[k].shift * 100.0;
        session.moveOffset();
        for (int hidden : o.hiddenKeyFrames)
            if (hidden == int(k))
                session.setInvisible();
        session.nextKF();
    }
    // The sign's boundaries, set after the captures (which move them).
    session.setMainTime(media::MovieTime::fromSeconds(o.begin));
    session.onPressBegSign();
    session.setMainTime(media::MovieTime::fromSeconds(o.end));
    session.onPressEndSign();

    // Arrows step: the tick blends the key frames and gives the mix to the
    // arrow view.
    session.validateKeyFrameMix();
    session.tick();

    session.arrows.rArrowVisible = o.right;
    session.arrows.lArrowVisible = o.left;
    session.changeHandVisibility();
    if (o.symmetryGiven)
        session.comboSym = o.symmetry;
    if (o.patternGiven)
        session.comboMoPat = o.pattern;
    session.slOrientation = o.orientation;
    session.arrows.offsetRArrowX = o.rightOffsetX;
    session.arrows.offsetRArrowY = o.rightOffsetY;
    session.arrows.offsetLArrowX = o.leftOffsetX;
    session.arrows.offsetLArrowY = o.leftOffsetY;
    session.refresh();

    status = session.preview.draw(width, height, session.spat(), session.arrows);
    return true;
}

} // namespace glyphora

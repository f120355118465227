#include "RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace glyphora {

namespace {

constexpr int kMaxKeyFrames = 20;

bool parseDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* endp = nullptr;
    const double v = std::strtod(text.c_str(), &endp);
    if (errno != 0 || endp != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* endp = nullptr;
    const long v = std::strtol(text.c_str(), &endp, 10);
    if (errno != 0 || endp != text.c_str() + text.size() || v < -1000000000L || v > 1000000000L)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool parsePair(const std::string& text, char sep, double& a, double& b)
{
    const size_t at = text.find(sep);
    if (at == std::string::npos)
        return false;
    return parseDouble(text.substr(0, at), a) && parseDouble(text.substr(at + 1), b);
}

// The batch over an annotation tier: its own required options, and the
// single-sign ones it replaces refused.
bool checkEafOptions(RenderOptions& o, bool haveTimes, std::string* error)
{
    std::string why;
    if (!o.output.empty() || haveTimes || !o.keyFrames.empty())
        why = "-o, --begin, --end and --keyframe do not go with --eaf (each sign has its own; use --keyframe-at)";
    else if (o.tier.empty() || o.outDir.empty())
        why = "--eaf needs --tier TIER and --out-dir DIR";
    if (o.keyFramesAt.empty())
        o.keyFramesAt = {0.0, 1.0};
    if (why.empty() && o.keyFramesAt.size() > size_t(kMaxKeyFrames))
        why = "--keyframe-at: " + std::to_string(o.keyFramesAt.size()) + " key frames given, at most " +
              std::to_string(kMaxKeyFrames) + " are allowed";
    for (int k : o.hiddenKeyFrames)
        if (why.empty() && k >= int(o.keyFramesAt.size()))
            why = "--hide-keyframe " + std::to_string(k) + ": there are only " +
                  std::to_string(o.keyFramesAt.size()) + " key frames (counted from 0)";
    if (!why.empty() && error)
        *error = why;
    return why.empty();
}

} // namespace

const char* renderUsage()
{
    return "usage: glyphora-render VIDEO TRACKING -o NAME --begin SECONDS --end SECONDS\n"
           "           [--keyframe SECONDS[:SHIFT]]... [--hide-keyframe K]...\n"
           "           [--pattern 0..7] [--symmetry 0..7] [--orientation DEGREES]\n"
           "           [--right on|off] [--left on|off] [--right-offset DX,DY] [--left-offset DX,DY]\n"
           "           [--configuration CELL,...] [--size WxH]\n"
           "       glyphora-render VIDEO TRACKING --eaf DOCUMENT.eaf --tier TIER --out-dir DIR\n"
           "           [--keyframe-at FRACTION]... [the options above but -o, --begin, --end, --keyframe]\n";
}

bool parseRenderOptions(int argc, const char* const* argv, RenderOptions& o, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    std::vector<std::string> positional;
    bool haveBegin = false, haveEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-o" || arg == "--output") {
            if (!value(v) || v.empty())
                return fail(arg + ": an output NAME is required");
            o.output = v;
        } else if (arg == "--begin" || arg == "--end") {
            double s = 0;
            if (!value(v) || !parseDouble(v, s))
                return fail(arg + ": expects a time in seconds, got '" + v + "'");
            if (s < 0)
                return fail(arg + ": the time " + v + " is negative");
            (arg == "--begin" ? o.begin : o.end) = s;
            (arg == "--begin" ? haveBegin : haveEnd) = true;
        } else if (arg == "--keyframe") {
            if (!value(v))
                return fail(arg + ": expects SECONDS[:SHIFT]");
            KeyFrameOption k;
            const size_t colon = v.find(':');
            const std::string t = v.substr(0, colon);
            if (!parseDouble(t, k.seconds) || k.seconds < 0)
                return fail(arg + ": '" + v + "' does not start with a time in seconds at or after 0");
            if (colon != std::string::npos) {
                if (!parseDouble(v.substr(colon + 1), k.shift))
                    return fail(arg + ": '" + v + "': the shift after ':' is not a number");
                if (!(k.shift > -1.0 && k.shift < 1.0))
                    return fail(arg + ": '" + v + "': the shift must lie between -1 and 1 (a fraction of the width)");
            }
            o.keyFrames.push_back(k);
        } else if (arg == "--hide-keyframe") {
            int k = 0;
            if (!value(v) || !parseInt(v, k) || k < 0)
                return fail(arg + ": expects a key-frame number counted from 0, got '" + v + "'");
            o.hiddenKeyFrames.push_back(k);
        } else if (arg == "--pattern" || arg == "--symmetry") {
            int k = 0;
            if (!value(v) || !parseInt(v, k) || k < 0 || k > 7)
                return fail(arg + ": expects an integer from 0 to 7, got '" + v + "'");
            if (arg == "--pattern") {
                o.pattern = k;
                o.patternGiven = true;
            } else {
                o.symmetry = k;
                o.symmetryGiven = true;
            }
        } else if (arg == "--orientation") {
            if (!value(v) || !parseDouble(v, o.orientation))
                return fail(arg + ": expects an angle in degrees, got '" + v + "'");
        } else if (arg == "--right" || arg == "--left") {
            if (!value(v) || (v != "on" && v != "off"))
                return fail(arg + ": expects on or off, got '" + v + "'");
            (arg == "--right" ? o.right : o.left) = (v == "on");
        } else if (arg == "--right-offset" || arg == "--left-offset") {
            double dx = 0, dy = 0;
            if (!value(v) || !parsePair(v, ',', dx, dy))
                return fail(arg + ": expects DX,DY, got '" + v + "'");
            if (std::fabs(dx) > 0.5 || std::fabs(dy) > 0.5)
                return fail(arg + ": '" + v + "': each shift lies between -0.5 and 0.5 picture heights");
            if (arg == "--right-offset") {
                o.rightOffsetX = dx;
                o.rightOffsetY = dy;
            } else {
                o.leftOffsetX = dx;
                o.leftOffsetY = dy;
            }
        } else if (arg == "--configuration") {
            if (!value(v) || v.empty())
                return fail(arg + ": expects grid positions CELL,... from 0 to 49");
            size_t start = 0;
            while (start <= v.size()) {
                const size_t comma = v.find(',', start);
                const std::string cell = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                int c = 0;
                if (!parseInt(cell, c) || c < 0 || c > 49)
                    return fail(arg + ": '" + cell + "' is not a grid position from 0 to 49");
                o.configuration.push_back(c);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (arg == "--size") {
            const size_t x = value(v) ? v.find('x') : std::string::npos;
            int w = 0, h = 0;
            if (x == std::string::npos || !parseInt(v.substr(0, x), w) || !parseInt(v.substr(x + 1), h))
                return fail("--size: expects WxH in pixels, got '" + v + "'");
            if (w < 4 || h < 1 || w > 8192 || h > 8192)
                return fail("--size: " + v + " is outside 4x1 .. 8192x8192");
            o.width = w;
            o.height = h;
        } else if (arg == "--eaf" || arg == "--tier" || arg == "--out-dir") {
            if (!value(v) || v.empty())
                return fail(arg + ": expects a " + (arg == "--eaf" ? "document" : arg == "--tier" ? "tier name" : "folder"));
            std::string& target = arg == "--eaf" ? o.eaf : arg == "--tier" ? o.tier : o.outDir;
            if (!target.empty())
                return fail(arg + ": given twice");
            target = v;
        } else if (arg == "--keyframe-at") {
            double f = 0;
            if (!value(v) || !parseDouble(v, f) || f < 0 || f > 1)
                return fail(arg + ": expects a fraction of the sign from 0 (begin) to 1 (end), got '" + v + "'");
            o.keyFramesAt.push_back(f);
        } else if (arg == "-h" || arg == "--help") {
            return fail("");
        } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
            return fail(arg + ": unknown option");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2)
        return fail(positional.size() < 2 ? "VIDEO and TRACKING files are required"
                                           : "unexpected argument '" + positional[2] + "'");
    o.video = positional[0];
    o.tracking = positional[1];
    if (!o.eaf.empty())
        return checkEafOptions(o, haveBegin || haveEnd, error);
    if (!o.tier.empty() || !o.outDir.empty() || !o.keyFramesAt.empty())
        return fail("--tier, --out-dir and --keyframe-at go with --eaf");
    if (o.output.empty())
        return fail("-o NAME is required");
    if (!haveBegin || !haveEnd)
        return fail("--begin and --end are required");
    if (o.begin > o.end)
        return fail("--begin " + std::to_string(o.begin) + " lies after --end " + std::to_string(o.end));
    if (o.keyFrames.empty())
        o.keyFrames = {KeyFrameOption{o.begin, 0.0}, KeyFrameOption{o.end, 0.0}};
    if (o.keyFrames.size() > size_t(kMaxKeyFrames))
        return fail("--keyframe: " + std::to_string(o.keyFrames.size()) + " key frames given, at most " +
                    std::to_string(kMaxKeyFrames) + " are allowed");
    for (int k : o.hiddenKeyFrames)
        if (k >= int(o.keyFrames.size()))
            return fail("--hide-keyframe " + std::to_string(k) + ": there are only " +
                        std::to_string(o.keyFrames.size()) + " key frames (counted from 0)");
    return true;
}

} // namespace glyphora

#include "RenderOptions.h"

#include "cli/Options.h"
#include "cli/Quote.h"
#include "base/KeyFrames.h"

#include <cmath>

namespace glyphora {

namespace {

// "A<sep>B" as two numbers of `range`; the message of the first refusal.
std::string readPair(const std::string& text, char sep, cli::Range range, double& a, double& b)
{
    const size_t at = text.find(sep);
    if (at == std::string::npos)
        return "no '" + std::string(1, sep) + "'";
    std::string why = cli::readNumber(text.substr(0, at), range, &a);
    if (why.empty())
        why = cli::readNumber(text.substr(at + 1), range, &b);
    return why;
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
    if (why.empty() && o.keyFramesAt.size() > size_t(base::kMaxKeyFrames))
        why = "--keyframe-at: " + std::to_string(o.keyFramesAt.size()) + " key frames given, at most " +
              std::to_string(base::kMaxKeyFrames) + " are allowed";
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
    return parseRenderOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)), o,
                              error);
}

bool parseRenderOptions(const std::vector<std::string>& args, RenderOptions& o, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    const cli::Range seconds{0, kMaxSeconds};
    std::vector<std::string> positional;
    std::string right = "on", left = "on";
    bool haveBegin = false, haveEnd = false;
    cli::Options opts("glyphora-render", renderUsage());
    opts.text("-o,--output", &o.output);
    opts.number("--begin", &o.begin, seconds, &haveBegin);
    opts.number("--end", &o.end, seconds, &haveEnd);
    opts.repeated("--keyframe", [&o, seconds](const std::string& v) {
        KeyFrameOption k;
        const size_t colon = v.find(':');
        if (!cli::readNumber(v.substr(0, colon), seconds, &k.seconds).empty())
            return cli::quote(v) + " does not start with a time in seconds from 0 to " + cli::limitText(seconds.hi);
        if (colon != std::string::npos) {
            if (!cli::readNumber(v.substr(colon + 1), cli::Range{-1, 1}, &k.shift).empty() || std::fabs(k.shift) == 1)
                return cli::quote(v) + ": the shift after ':' must be a number between -1 and 1 (a fraction of "
                                       "the width)";
        }
        o.keyFrames.push_back(k);
        return std::string();
    });
    opts.repeated("--hide-keyframe", [&o](const std::string& v) {
        long long k = 0;
        if (!cli::readInteger(v, 0, base::kMaxKeyFrames - 1, &k).empty())
            return "expects a key-frame number counted from 0, got " + cli::quote(v);
        o.hiddenKeyFrames.push_back(static_cast<int>(k));
        return std::string();
    });
    opts.integer("--pattern", &o.pattern, 0, 7, &o.patternGiven);
    opts.integer("--symmetry", &o.symmetry, 0, 7, &o.symmetryGiven);
    opts.number("--orientation", &o.orientation, {-360, 360});
    opts.choice("--right", {"on", "off"}, &right);
    opts.choice("--left", {"on", "off"}, &left);
    auto offset = [](double& x, double& y) {
        return [&x, &y](const std::string& v) {
            const std::string why = readPair(v, ',', cli::Range{-0.5, 0.5}, x, y);
            return why.empty() ? why
                               : "expects DX,DY, each between -0.5 and 0.5 picture heights, got " + cli::quote(v);
        };
    };
    opts.single("--right-offset", offset(o.rightOffsetX, o.rightOffsetY));
    opts.single("--left-offset", offset(o.leftOffsetX, o.leftOffsetY));
    opts.single("--configuration", [&o](const std::string& v) {
        size_t start = 0;
        for (;;) {
            const size_t comma = v.find(',', start);
            const std::string cell = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            long long c = 0;
            if (!cli::readInteger(cell, 0, 49, &c).empty())
                return cli::quote(cell) + " is not a grid position from 0 to 49";
            o.configuration.push_back(static_cast<int>(c));
            if (comma == std::string::npos)
                return std::string();
            start = comma + 1;
        }
    });
    opts.single("--size", [&o](const std::string& v) {
        const size_t x = v.find('x');
        long long w = 0, h = 0;
        if (x == std::string::npos || !cli::readInteger(v.substr(0, x), 0, 1000000, &w).empty()
            || !cli::readInteger(v.substr(x + 1), 0, 1000000, &h).empty())
            return "expects WxH in pixels, got " + cli::quote(v);
        if (w < 4 || h < 1 || w > 8192 || h > 8192)
            return cli::quote(v) + " is outside 4x1 .. 8192x8192";
        o.width = static_cast<int>(w);
        o.height = static_cast<int>(h);
        return std::string();
    });
    opts.text("--eaf", &o.eaf);
    opts.text("--tier", &o.tier);
    opts.text("--out-dir", &o.outDir);
    opts.repeated("--keyframe-at", [&o](const std::string& v) {
        double f = 0;
        if (!cli::readNumber(v, cli::Range{0, 1}, &f).empty())
            return "expects a fraction of the sign from 0 (begin) to 1 (end), got " + cli::quote(v);
        o.keyFramesAt.push_back(f);
        return std::string();
    });
    opts.positionals(&positional);

    std::string why;
    switch (opts.parse(args, &why)) {
    case cli::Options::Outcome::Help:
        o.help = true;
        return true;
    case cli::Options::Outcome::Refused:
        return fail(why);
    case cli::Options::Outcome::Run:
        break;
    }
    o.right = right == "on";
    o.left = left == "on";
    if (positional.size() != 2)
        return fail(positional.size() < 2 ? "VIDEO and TRACKING files are required"
                                          : "unexpected argument " + cli::quote(positional[2]));
    o.video = positional[0];
    o.tracking = positional[1];
    if (o.video.empty() || o.tracking.empty())
        return fail("VIDEO and TRACKING files are required (an empty name was given)");
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
    if (o.keyFrames.size() > size_t(base::kMaxKeyFrames))
        return fail("--keyframe: " + std::to_string(o.keyFrames.size()) + " key frames given, at most " +
                    std::to_string(base::kMaxKeyFrames) + " are allowed");
    for (int k : o.hiddenKeyFrames)
        if (k >= int(o.keyFrames.size()))
            return fail("--hide-keyframe " + std::to_string(k) + ": there are only " +
                        std::to_string(o.keyFrames.size()) + " key frames (counted from 0)");
    return true;
}

} // namespace glyphora

#include "TrackOptions.h"

#include "cli/Options.h"
#include "cli/Quote.h"
#include "run/Calibration.h"

namespace vestiga {

const char* trackUsage()
{
    return "usage: vestiga-track VIDEO -o TRACKING\n"
           "    [--calibration FILE|auto | --area X,Y,W,H --head X,Y,W,H --shoulders XR,YR,XL,YL\n"
           "     [--shoulder-distance D]]\n"
           "    [--reference-frame N] [--sleeves wrist|short] [--skin IMAGE] [--background IMAGE]\n"
           "    [--annotated-video FILE] [--quiet]\n"
           "    [--tracker classic|robust] [--confidence FILE.csv]\n"
           "Calibration numbers are pixels of the reference frame, origin at its top-left corner, y down;\n"
           "--shoulders gives the person's right shoulder (left in the picture) first.\n"
           "--calibration auto proposes the calibration from the video itself (as vestiga-calibrate does).\n";
}

bool parseTrackArgs(const std::vector<std::string>& args, TrackArgs* out, std::string* error)
{
    TrackArgs a;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    // Four pixel numbers, read like a calibration file's.
    auto four = [](double* dst, const char* shape) {
        return [dst, shape](const std::string& v) {
            return parseReals(v, 4, dst) ? std::string()
                                          : std::string("expected four numbers ") + shape + ", got " + cli::quote(v);
        };
    };
    std::string sleeves, tracker;
    std::vector<std::string> positional;
    cli::Options opts("vestiga-track", trackUsage());
    opts.text("-o", &a.tracking);
    opts.text("--calibration", &a.calibrationFile);
    opts.single("--area", four(a.area, "X,Y,W,H"), &a.hasArea);
    opts.single("--head", four(a.head, "X,Y,W,H"), &a.hasHead);
    opts.single("--shoulders", four(a.shoulders, "XR,YR,XL,YL"), &a.hasShoulders);
    opts.single("--shoulder-distance", [&a](const std::string& v) {
        return parseReal(v, &a.shoulderDistance) ? std::string() : "expected a number of pixels, got " + cli::quote(v);
    }, &a.hasShoulderDistance);
    opts.integer("--reference-frame", &a.referenceFrame, 0, 2147483647, &a.hasReferenceFrame);
    opts.choice("--sleeves", {"wrist", "short"}, &sleeves, &a.hasSleeves);
    opts.text("--skin", &a.skin);
    opts.text("--background", &a.background);
    opts.text("--annotated-video", &a.annotatedVideo);
    opts.flag("--quiet", &a.quiet);
    opts.choice("--tracker", {"classic", "robust"}, &tracker, &a.hasTracker);
    opts.text("--confidence", &a.confidence);
    opts.positionals(&positional);

    std::string why;
    switch (opts.parse(args, &why)) {
    case cli::Options::Outcome::Help:
        a.help = true;
        *out = a;
        return true;
    case cli::Options::Outcome::Refused:
        return fail(why);
    case cli::Options::Outcome::Run:
        break;
    }
    a.sleevesToWrist = sleeves != "short";
    a.tracker = tracker == "robust" ? TrackerMethod::Robust : TrackerMethod::Classic;
    if (positional.size() > 1)
        return fail("unexpected argument " + cli::quote(positional[1]) + ": only one video can be tracked");
    if (positional.empty() || positional[0].empty())
        return fail("the video to track is missing");
    a.video = positional[0];
    if (a.tracking.empty())
        return fail("-o TRACKING is missing: the tracking file to write");
    const bool anyFlag = a.hasArea || a.hasHead || a.hasShoulders || a.hasShoulderDistance;
    if (!a.calibrationFile.empty() && anyFlag)
        return fail("--calibration cannot be combined with --area, --head, --shoulders or --shoulder-distance");
    if (a.calibrationFile.empty()) {
        if (!anyFlag)
            return fail("the calibration is missing: give --calibration FILE or --area, --head and --shoulders");
        if (!a.hasArea)
            return fail("--area X,Y,W,H is missing");
        if (!a.hasHead)
            return fail("--head X,Y,W,H is missing");
        if (!a.hasShoulders)
            return fail("--shoulders XR,YR,XL,YL is missing");
    }
    *out = a;
    return true;
}

} // namespace vestiga

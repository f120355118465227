#include "TrackCommand.h"

#include "media/VideoFile.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace vestiga {

const char* trackUsage()
{
    return "usage: vestiga-track VIDEO -o TRACKING\n"
           "    [--calibration FILE | --area X,Y,W,H --head X,Y,W,H --shoulders XR,YR,XL,YL\n"
           "     [--shoulder-distance D]]\n"
           "    [--reference-frame N] [--sleeves wrist|short] [--skin IMAGE] [--background IMAGE]\n"
           "    [--annotated-video FILE] [--quiet]\n"
           "    [--tracker classic|robust] [--confidence FILE.csv]\n"
           "Calibration numbers are pixels of the reference frame, origin at its top-left corner, y down;\n"
           "--shoulders gives the person's right shoulder (left in the picture) first.\n";
}

bool parseTrackArgs(const std::vector<std::string>& args, TrackArgs* out, std::string* error)
{
    TrackArgs a;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    bool seenOut = false, seenSkin = false, seenBg = false, seenVideoOut = false, seenCal = false;
    bool seenConfidence = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            a.help = true;
            continue;
        }
        if (arg == "--quiet") {
            a.quiet = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            if (!a.video.empty())
                return fail("unexpected argument '" + arg + "': only one video can be tracked");
            a.video = arg;
            continue;
        }
        // An option with a value: "--opt value" or "--opt=value".
        std::string value;
        const auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else {
            static const char* const known[] = {"-o", "--calibration", "--area", "--head", "--shoulders",
                                                "--shoulder-distance", "--reference-frame", "--sleeves",
                                                "--skin", "--background", "--annotated-video",
                                                "--tracker", "--confidence"};
            bool isKnown = false;
            for (const char* k : known)
                isKnown = isKnown || arg == k;
            if (!isKnown)
                return fail("unknown option '" + arg + "'");
            if (i + 1 >= args.size())
                return fail(arg + ": a value is missing");
            value = args[++i];
        }
        auto path = [&](std::string& dst, bool& seen) {
            if (seen)
                return fail(arg + " is given twice");
            if (value.empty())
                return fail(arg + ": the file name is empty");
            seen = true;
            dst = value;
            return true;
        };
        auto reals = [&](double* dst, bool& seen, const char* shape) {
            if (seen)
                return fail(arg + " is given twice");
            if (!parseReals(value, 4, dst))
                return fail(arg + ": expected four numbers " + shape + ", got '" + value + "'");
            seen = true;
            return true;
        };
        bool ok = true;
        if (arg == "-o")
            ok = path(a.tracking, seenOut);
        else if (arg == "--calibration")
            ok = path(a.calibrationFile, seenCal);
        else if (arg == "--skin")
            ok = path(a.skin, seenSkin);
        else if (arg == "--background")
            ok = path(a.background, seenBg);
        else if (arg == "--annotated-video")
            ok = path(a.annotatedVideo, seenVideoOut);
        else if (arg == "--confidence")
            ok = path(a.confidence, seenConfidence);
        else if (arg == "--area")
            ok = reals(a.area, a.hasArea, "X,Y,W,H");
        else if (arg == "--head")
            ok = reals(a.head, a.hasHead, "X,Y,W,H");
        else if (arg == "--shoulders")
            ok = reals(a.shoulders, a.hasShoulders, "XR,YR,XL,YL");
        else if (arg == "--shoulder-distance") {
            if (a.hasShoulderDistance)
                return fail(arg + " is given twice");
            if (!parseReal(value, &a.shoulderDistance))
                return fail(arg + ": expected a number, got '" + value + "'");
            a.hasShoulderDistance = true;
        } else if (arg == "--reference-frame") {
            if (a.hasReferenceFrame)
                return fail(arg + " is given twice");
            double n = 0;
            if (!parseReal(value, &n) || n < 0 || n != std::floor(n) || n > 2147483647.0)
                return fail(arg + ": expected a frame number (0 or more), got '" + value + "'");
            a.referenceFrame = static_cast<int>(n);
            a.hasReferenceFrame = true;
        } else if (arg == "--sleeves") {
            if (a.hasSleeves)
                return fail(arg + " is given twice");
            if (value == "wrist")
                a.sleevesToWrist = true;
            else if (value == "short")
                a.sleevesToWrist = false;
            else
                return fail(arg + ": expected 'wrist' or 'short', got '" + value + "'");
            a.hasSleeves = true;
        } else if (arg == "--tracker") {
            if (a.hasTracker)
                return fail(arg + " is given twice");
            if (value == "classic")
                a.tracker = TrackerMethod::Classic;
            else if (value == "robust")
                a.tracker = TrackerMethod::Robust;
            else
                return fail(arg + ": expected 'classic' or 'robust', got '" + value + "'");
            a.hasTracker = true;
        } else {
            return fail("unknown option '" + arg + "'");
        }
        if (!ok)
            return false;
    }
    if (a.help) {
        *out = a;
        return true;
    }
    if (a.video.empty())
        return fail("the video to track is missing");
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

namespace {

std::string clockText(double s)
{
    if (!(s >= 0) || s > 359999)
        return "--:--";
    const long t = std::lround(s);
    char buf[32];
    if (t >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", t / 3600, (t / 60) % 60, t % 60);
    else
        std::snprintf(buf, sizeof buf, "%02ld:%02ld", t / 60, t % 60);
    return buf;
}

} // namespace

int runTrackCommand(const std::vector<std::string>& args, std::ostream& err, bool progress)
{
    auto refuse = [&](const std::string& why) {
        err << "vestiga-track: " << why << "\n";
        return kTrackBadInput;
    };
    TrackArgs a;
    std::string why;
    if (!parseTrackArgs(args, &a, &why)) {
        err << "vestiga-track: " << why << "\n" << trackUsage();
        return kTrackBadInput;
    }
    if (a.help) {
        err << trackUsage();
        return kTrackOk;
    }

    // The calibration, from its file or from the options; options given beside
    // a file override its reference frame and sleeves.
    CalibrationFile cal;
    std::string where; // what a calibration message is about
    if (!a.calibrationFile.empty()) {
        if (!readCalibrationFile(a.calibrationFile, &cal, &why))
            return refuse("--calibration " + why);
        where = a.calibrationFile + ": ";
    } else {
        for (int i = 0; i < 4; ++i) {
            cal.area[i] = a.area[i];
            cal.head[i] = a.head[i];
            cal.shoulders[i] = a.shoulders[i];
        }
        cal.hasShoulderDistance = a.hasShoulderDistance;
        cal.shoulderDistance = a.shoulderDistance;
        where = "--";
    }
    if (a.hasReferenceFrame)
        cal.referenceFrame = a.referenceFrame;
    if (a.hasSleeves)
        cal.sleevesToWrist = a.sleevesToWrist;
    if (a.hasTracker)
        cal.tracker = a.tracker;

    media::VideoFile video;
    if (!video.open(a.video, &why))
        return refuse("video " + why);
    if (video.frameCount() < 2)
        return refuse("video " + a.video + ": it holds a single frame; tracking starts at the second frame");
    if (cal.referenceFrame >= video.frameCount())
        return refuse((a.hasReferenceFrame ? std::string("--") : where) + "reference-frame "
                      + std::to_string(cal.referenceFrame) + ": out of range, the video has "
                      + std::to_string(video.frameCount()) + " frames (0 to "
                      + std::to_string(video.frameCount() - 1) + ")");
    TrackingOptions options;
    if (!video.frame(cal.referenceFrame, options.reference))
        return refuse("video " + a.video + ": frame " + std::to_string(cal.referenceFrame) + " cannot be decoded");
    video.close();

    why = checkCalibration(cal, options.reference.cols, options.reference.rows);
    if (!why.empty())
        return refuse(where + why);

    options.source = TrackingOptions::Source::File;
    options.videoFile = a.video;
    options.calibration = toRunCalibration(cal, options.reference.rows);
    options.skinFile = a.skin;
    options.bgFile = a.background;
    options.trackingFile = a.tracking;
    options.annotatedVideo = a.annotatedVideo;
    options.confidenceFile = a.confidence;

    TrackingRun run;
    if (!run.begTrack(options, &why))
        return refuse(why);

    const bool showProgress = progress && !a.quiet;
    const int64_t total = run.totalFrames();
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto lastShown = start;
    auto show = [&](bool last) {
        const auto now = Clock::now();
        if (!last && now - lastShown < std::chrono::milliseconds(250))
            return;
        lastShown = now;
        const double elapsed = std::chrono::duration<double>(now - start).count();
        const int64_t done = run.posFrame();
        const double fps = elapsed > 0 ? done / elapsed : 0;
        char buf[160];
        std::snprintf(buf, sizeof buf, "\rtracking: %lld/%lld frames, %.1f frames/s, %s left   ",
                      static_cast<long long>(done), static_cast<long long>(total), fps,
                      clockText(fps > 0 && total >= done ? (total - done) / fps : -1).c_str());
        err << buf;
        if (last)
            err << "\n";
        err.flush();
    };

    for (;;) {
        const TrackingRun::Tick tick = run.onTimer(&why);
        if (tick == TrackingRun::Tick::Frame) {
            if (showProgress)
                show(false);
            continue;
        }
        if (showProgress)
            show(true);
        if (tick == TrackingRun::Tick::EndOfVideo)
            return kTrackOk;
        err << "vestiga-track: " << why << "; the tracking file keeps the " << run.posFrame()
            << " lines written before\n";
        return kTrackRunFailed;
    }
}

} // namespace vestiga

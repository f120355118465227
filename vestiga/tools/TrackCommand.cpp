#include "TrackCommand.h"

#include "cli/Files.h"
#include "cli/Options.h"
#include "media/VideoFile.h"
#include "propose/Proposal.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace vestiga {

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

// "no line", "the 1 line", "the 949 lines".
std::string linesText(int64_t n)
{
    if (n <= 0)
        return "no line";
    return "the " + std::to_string(n) + (n == 1 ? " line" : " lines");
}

} // namespace

int runTrackCommand(const std::vector<std::string>& args, std::ostream& err, bool progress, std::ostream* out)
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
        (out ? *out : err) << trackUsage();
        return kTrackOk;
    }

    // Nothing is written over an input, under any name, nor to a folder.
    const std::pair<const std::string*, const char*> outputs[] = {
        {&a.tracking, "-o "}, {&a.annotatedVideo, "--annotated-video "}, {&a.confidence, "--confidence "}};
    for (const auto& [output, option] : outputs) {
        if (output->empty())
            continue;
        why = cli::outputNameProblem(*output);
        if (!why.empty())
            return refuse(option + *output + ": " + why);
    }
    why = cli::outputOverInput({a.tracking, a.annotatedVideo, a.confidence}, {a.video, a.calibrationFile == "auto" ? std::string() : a.calibrationFile, a.skin, a.background});
    if (!why.empty())
        return refuse(why);

    // The calibration, from its file or from the options; options given beside
    // a file override its reference frame and sleeves.
    CalibrationFile cal;
    std::string where; // what a calibration message is about
    if (a.calibrationFile == "auto") {
        // The calibration proposed from the video itself; a file named
        // "auto" is given as ./auto.
        ProposalOptions proposal;
        proposal.referenceFrame = a.hasReferenceFrame ? a.referenceFrame : 0;
        Proposal found;
        const ProposalStatus status = proposeFromVideo(a.video, proposal, &found, &why);
        if (!found.note.empty())
            err << "vestiga-track: --calibration auto: " << found.note << "\n";
        if (status == ProposalStatus::BadInput)
            return refuse("video " + a.video + ": " + why);
        if (status == ProposalStatus::NoSigner) {
            err << "vestiga-track: --calibration auto: no signer found in " << a.video << ": " << why
                << "; nothing tracked\n";
            return kTrackRunFailed;
        }
        cal = found.calibration;
        err << "vestiga-track: --calibration auto: proposed from the video: " << describeProposal(found) << "\n";
        where = "--calibration auto: ";
    } else if (!a.calibrationFile.empty()) {
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
    options.markPicture = false; // no window shows the processed picture
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
        if (tick == TrackingRun::Tick::EndOfVideo) {
            // A video cut short (a copy that stopped, a damaged end) decodes
            // fewer frames than its header states: not a complete tracking.
            if (run.posFrame() >= total)
                return kTrackOk;
            why = "video " + a.video + " ends before its stated length: " + std::to_string(run.posFrame() + 1)
                  + " of its " + std::to_string(total + 1) + " frames can be decoded";
        }
        err << "vestiga-track: " << why << "; the tracking file keeps " << linesText(run.posFrame())
            << " written before\n";
        return kTrackRunFailed;
    }
}

} // namespace vestiga

// vestiga-propose-eval: how good the proposed calibration is on signer videos
// with a known calibration and ground truth.
//
//   vestiga-propose-eval [--no-track] [--jitter] [--skin-only] [--tracker classic|robust] VIDEO...
//
// For each VIDEO (NAME.avi), NAME.calib beside it is the true calibration and
// NAME.truth, when present, the ground truth of the hands and head. Prints one
// table row per video: how the face was found, the head box's overlap with the
// true one (intersection over union), the larger shoulder error in true head
// heights, whether the sleeves are right, the time of the proposal (wall clock and processor), and, with a ground truth, the share of
// frames within 0.1 of the image-area height for the head and both hands when
// tracked (classic method unless --tracker says otherwise) with the proposed
// and with the true calibration;
// with --jitter also the range of the hands' figures when the true head box's
// corner or one shoulder is moved by one pixel sideways or (the head) up and
// down (the tracker's own sensitivity), and a last row
// with the means over the videos.
#include "TrackCommand.h"
#include "propose/Proposal.h"
#include "sample/Accuracy.h"

#include "cli/Options.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace vestiga;

namespace {

const char* kUsage =
    "usage: vestiga-propose-eval [--no-track] [--jitter] [--skin-only] [--tracker classic|robust] VIDEO...\n"
    "  proposes a calibration for each VIDEO (NAME.avi) and compares it with NAME.calib beside it;\n"
    "  with NAME.truth, also tracks with both calibrations and compares with the ground truth\n"
    "  --no-track   the proposal alone\n"
    "  --jitter     also the tracking figures with the true head box or a shoulder one pixel off\n"
    "  --skin-only  the face from skin alone, without the face detector\n"
    "  --tracker    the tracking method (default classic)\n";

struct Tracked {
    bool ok = false;
    double head = 0, hand1 = 0, hand2 = 0;
};

// Tracks `video` with the calibration `cal` and compares with the truth.
Tracked trackAndCompare(const std::string& video, const CalibrationFile& cal, const std::string& truthPath,
                        const std::string& tracker)
{
    Tracked t;
    char dir[] = "/tmp/propose-eval-XXXXXX";
    if (!::mkdtemp(dir))
        return t;
    const std::string calib = std::string(dir) + "/run.calib", track = std::string(dir) + "/run.track";
    std::ostringstream err;
    std::string error;
    std::vector<vsample::TruthFrame> truth;
    std::vector<vsample::TrackingLine> lines;
    cv::Rect2d area;
    vsample::Evaluation ev;
    if (writeCalibrationFile(calib, cal, &error)
        && runTrackCommand({video, "-o", track, "--calibration", calib, "--tracker", tracker, "--quiet"}, err, false) == 0
        && vsample::readTruth(truthPath, &truth, &error) && vsample::readTracking(track, &lines, &error)
        && vsample::readCalibrationArea(calib, &area, &error) && vsample::evaluate(truth, lines, area, &ev, &error)) {
        t.ok = true;
        t.head = ev.head.within;
        t.hand1 = ev.hand1.within;
        t.hand2 = ev.hand2.within;
    } else {
        std::fprintf(stderr, "%s: tracking failed: %s%s\n", video.c_str(), err.str().c_str(), error.c_str());
    }
    ::unlink(track.c_str());
    ::unlink(calib.c_str());
    ::rmdir(dir);
    return t;
}

double iou(const double* a, const double* b)
{
    const cv::Rect2d ra(a[0], a[1], a[2], a[3]), rb(b[0], b[1], b[2], b[3]);
    const double i = (ra & rb).area();
    return i / (ra.area() + rb.area() - i);
}

std::string percent(bool ok, double v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5.1f", 100 * v);
    return ok ? buf : "    -";
}

// The hands' figures of the true calibration and of the same with its head box
// or a shoulder moved by one pixel: the particle filters' sensitivity to the
// smallest change.
struct Spread {
    bool ok = false;
    double lo1 = 1, hi1 = 0, lo2 = 1, hi2 = 0;
    void add(const Tracked& t)
    {
        if (!t.ok)
            return;
        ok = true;
        lo1 = std::min(lo1, t.hand1);
        hi1 = std::max(hi1, t.hand1);
        lo2 = std::min(lo2, t.hand2);
        hi2 = std::max(hi2, t.hand2);
    }
    std::string text(double lo, double hi) const
    {
        return ok ? "[" + percent(true, lo) + "-" + percent(true, hi) + "]" : std::string(13, ' ');
    }
};

bool exists(const std::string& path) { return ::access(path.c_str(), R_OK) == 0; }

} // namespace

int main(int argc, char** argv)
{
    bool noTrack = false, jitter = false, skinOnly = false;
    std::string tracker = "classic";
    std::vector<std::string> videos;
    cli::Options opts("vestiga-propose-eval", kUsage);
    opts.flag("--no-track", &noTrack);
    opts.flag("--jitter", &jitter);
    opts.flag("--skin-only", &skinOnly);
    opts.choice("--tracker", {"classic", "robust"}, &tracker);
    opts.positionals(&videos);
    std::string error;
    const int done = cli::finishParse(opts, opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error), error,
                                      std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (videos.empty()) {
        std::cerr << "vestiga-propose-eval: no video given\n" << kUsage;
        return cli::kExitBadInput;
    }
    const bool doTrack = !noTrack;
    ProposalOptions options;
    options.useDetector = !skinOnly;
    std::printf("%-18s %-13s %5s %6s %-7s %6s %6s | %-11s | %-25s | %-25s\n", "signer", "face", "IoU", "should",
                "sleeves", "ms", "cpu-ms", "head prop/true", "hand1 prop/true [spread]", "hand2 prop/true [spread]");
    int failures = 0, tracked = 0;
    Tracked sumProp, sumTruth;
    for (const std::string& video : videos) {
        const std::string stem = video.substr(0, video.rfind('.'));
        const std::string name = stem.substr(stem.rfind('/') + 1);
        CalibrationFile truthCal;
        error.clear();
        if (!readCalibrationFile(stem + ".calib", &truthCal, &error)) {
            std::fprintf(stderr, "vestiga-propose-eval: %s\n", error.c_str());
            ++failures;
            continue;
        }
        Proposal p;
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        const ProposalStatus status = proposeFromVideo(video, options, &p, &error);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const double cpuMs = 1000.0 * double(std::clock() - c0) / CLOCKS_PER_SEC;
        if (status != ProposalStatus::Found) {
            std::printf("%-22s no proposal: %s\n", name.c_str(), error.c_str());
            ++failures;
            continue;
        }
        const CalibrationFile& c = p.calibration;
        const double headH = truthCal.head[3];
        double shoulder = 0;
        for (int s = 0; s < 2; ++s)
            shoulder = std::max(shoulder, std::hypot(c.shoulders[2 * s] - truthCal.shoulders[2 * s],
                                                     c.shoulders[2 * s + 1] - truthCal.shoulders[2 * s + 1])
                                              / headH);
        Tracked prop, truth;
        Spread spread;
        if (doTrack && exists(stem + ".truth")) {
            prop = trackAndCompare(video, c, stem + ".truth", tracker);
            truth = trackAndCompare(video, truthCal, stem + ".truth", tracker);
            spread.add(truth);
            // One pixel each way: the head box's corner in x and y, then
            // each shoulder in x.
            static const int kMoved[4] = {0, 1, -10, -12};
            for (int d = 0; jitter && d < 8; ++d) {
                CalibrationFile moved = truthCal;
                const int which = kMoved[d / 2];
                (which >= 0 ? moved.head[which] : moved.shoulders[-which - 10]) += d % 2 ? 1 : -1;
                spread.add(trackAndCompare(video, moved, stem + ".truth", tracker));
            }
            if (prop.ok && truth.ok) {
                ++tracked;
                for (auto* sum : {&sumProp, &sumTruth}) {
                    const Tracked& t = sum == &sumProp ? prop : truth;
                    sum->head += t.head;
                    sum->hand1 += t.hand1;
                    sum->hand2 += t.hand2;
                }
            }
        }
        std::printf("%-18s %-13s %5.2f %6.3f %-7s %6.0f %6.0f | %5s %5s | %5s %5s %13s | %5s %5s %13s\n",
                    name.c_str(), p.faceMethod.c_str(), iou(c.head, truthCal.head), shoulder,
                    c.sleevesToWrist == truthCal.sleevesToWrist ? "right" : "WRONG", ms, cpuMs,
                    percent(prop.ok, prop.head).c_str(), percent(truth.ok, truth.head).c_str(),
                    percent(prop.ok, prop.hand1).c_str(), percent(truth.ok, truth.hand1).c_str(),
                    spread.text(spread.lo1, spread.hi1).c_str(), percent(prop.ok, prop.hand2).c_str(),
                    percent(truth.ok, truth.hand2).c_str(), spread.text(spread.lo2, spread.hi2).c_str());
        std::fprintf(stderr, "%s: %s\n", name.c_str(), describeProposal(p).c_str());
        std::fflush(stdout);
    }
    if (tracked > 0)
        std::printf("%-18s %-13s %5s %6s %-7s %6s %6s | %5s %5s | %5s %5s %13s | %5s %5s\n", "mean", "", "", "", "", "",
                    "", percent(true, sumProp.head / tracked).c_str(), percent(true, sumTruth.head / tracked).c_str(),
                    percent(true, sumProp.hand1 / tracked).c_str(), percent(true, sumTruth.hand1 / tracked).c_str(), "",
                    percent(true, sumProp.hand2 / tracked).c_str(), percent(true, sumTruth.hand2 / tracked).c_str());
    return failures ? 1 : 0;
}

// robust_regret VIDEO CALIB TRUTH [--radius R] [--threshold T] [--frames] [--live]:
// where the robust method's joint cost disagrees with the ground truth.
//
// The method is run on the video. Beside it, a second pair of hands follows
// the truth: on each frame each of its hands takes the candidate nearest to
// the true hand (none farther than R hand widths: "not seen"), and moves and
// predicts as the method's own hands do. The cost of that true pair is set
// against the cheapest pair under the same predictions (the pair the method
// would take in the truth's place). On a frame where the true pair costs more
// than T above the cheapest, the cost function prefers a wrong answer; the
// excess is split by term (distance to the prediction, fill, arm points, a
// candidate on the other hand's arm, hands not seen, unexplained pieces of
// skin, crossed hands, a shared blob), which tells what to change: a search over more frames cannot help where the truth
// itself is the more expensive path.
//
// With --live, the predictions are those of the method's own hands instead:
// where a lost hand fails to come back, and which term keeps it away.
//
// Also counted: true hands with no candidate within R hand widths (the
// candidates missed the hand), those of them over the hidden face and neck,
// true hands whose candidate is an arm point, and how often a true hand's
// candidate is told by its forearm for an arm, and for the wrong one.
#include "media/VideoFile.h"
#include "robust/RobustHands.h"
#include "robust/RobustRun.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"
#include "sample/Accuracy.h"

#include "cli/Options.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: robust_regret VIDEO CALIBRATION TRUTH [--radius R] [--threshold T] [--frames] [--live]\n"
    "  runs the robust method and sets the cost of the pair of candidates nearest to the\n"
    "  true hands against the cheapest pair, frame by frame\n"
    "  --radius     farthest candidate for a true hand, in hand widths (default 0.5)\n"
    "  --threshold  excess over the cheapest pair that counts (default 0.3)\n"
    "  --frames     one line per frame that counts\n"
    "  --live       predict from the method's own hands instead of the truth's\n";

// Term by term: a - b, and a + b.
vestiga::PairCost combine(const vestiga::PairCost& a, const vestiga::PairCost& b, double sign)
{
    vestiga::PairCost r;
    r.distance = a.distance + sign * b.distance;
    r.fill = a.fill + sign * b.fill;
    r.limb = a.limb + sign * b.limb;
    r.arm = a.arm + sign * b.arm;
    r.axis = a.axis + sign * b.axis;
    r.miss = a.miss + sign * b.miss;
    r.unexplained = a.unexplained + sign * b.unexplained;
    r.cross = a.cross + sign * b.cross;
    r.share = a.share + sign * b.share;
    return r;
}
vestiga::PairCost difference(const vestiga::PairCost& a, const vestiga::PairCost& b) { return combine(a, b, -1); }
vestiga::PairCost sum(const vestiga::PairCost& a, const vestiga::PairCost& b) { return combine(a, b, 1); }

} // namespace

int main(int argc, char** argv)
{
    using namespace vestiga;
    double radius = 0.5, threshold = 0.3;
    bool frames = false, live = false;
    std::vector<std::string> files;
    cli::Options opts("robust_regret", kUsage);
    opts.number("--radius", &radius, {0.0, 10.0});
    opts.number("--threshold", &threshold, {0.0, 1000.0});
    opts.flag("--frames", &frames);
    opts.flag("--live", &live);
    opts.positionals(&files);
    std::string error;
    const int done = cli::finishParse(opts, opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error), error,
                                      std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (files.size() != 3) {
        std::cerr << "robust_regret: give the video, its calibration and its ground truth\n" << kUsage;
        return cli::kExitBadInput;
    }

    CalibrationFile cal;
    std::vector<vsample::TruthFrame> truth;
    if (!readCalibrationFile(files[1], &cal, &error) || !vsample::readTruth(files[2], &truth, &error)) {
        std::fprintf(stderr, "robust_regret: %s\n", error.c_str());
        return cli::kExitBadInput;
    }
    cal.tracker = TrackerMethod::Robust;
    media::VideoFile video;
    TrackingOptions o;
    if (!video.open(files[0], &error) || !video.frame(cal.referenceFrame, o.reference)) {
        std::fprintf(stderr, "robust_regret: %s\n", error.c_str());
        return cli::kExitBadInput;
    }
    video.close();
    o.videoFile = files[0];
    o.calibration = toRunCalibration(cal, o.reference.rows);
    o.trackingFile = "/dev/null";
    o.markPicture = false;
    TrackingRun run;
    if (!run.begTrack(o, &error)) {
        std::fprintf(stderr, "robust_regret: %s\n", error.c_str());
        return cli::kExitBadInput;
    }

    const RobustHands& hands = run.robust()->hands();
    const RobustHands::Setup& s = hands.setup();
    const RobustOptions& ro = hands.options();
    const std::array<cv::Point2d, 2> shoulder{{s.shoulderR, s.shoulderL}};
    const double reachPx = ro.reach * s.shoulderDistance;
    const vsample::TrackingUnits units(cv::Rect2d(cal.area[0], cal.area[1], cal.area[2], cal.area[3]));

    std::array<HandTrack, 2> oracle = hands.tracks();
    int counted = 0, unseen = 0, unseenAtFace = 0, onArm = 0, compared = 0, armTold = 0, otherArm = 0;
    PairCost excess;
    // The k-th tracked frame is video frame k (frame 0 is the reference).
    for (size_t frame = 1; frame < truth.size(); ++frame) {
        if (live)
            oracle = hands.tracks();
        if (run.onTimer(&error) != TrackingRun::Tick::Frame)
            break;
        ++compared;
        const std::vector<HandCandidate>& c = hands.candidates();
        std::array<cv::Point2d, 2> pred;
        std::array<double, 2> sigma;
        predictHands(oracle, ro, run.tracker().getSkinMap().size(), pred, sigma);
        const std::array<cv::Point2d, 2> truePos{{units.toProcessed(truth[frame].hand1),
                                                 units.toProcessed(truth[frame].hand2)}};
        std::array<int, 2> pick{{-1, -1}};
        for (int h = 0; h < 2; ++h) {
            double nearest = radius * s.handWidth;
            for (size_t j = 0; j < c.size(); ++j) {
                const double d = cv::norm(c[j].p - truePos[h]);
                if (d <= nearest) {
                    nearest = d;
                    pick[h] = static_cast<int>(j);
                }
            }
            if (pick[h] < 0) {
                ++unseen;
                const cv::Mat& hidden = hands.hidden();
                const cv::Point at(cvRound(truePos[h].x), cvRound(truePos[h].y));
                unseenAtFace += at.inside(cv::Rect(0, 0, hidden.cols, hidden.rows)) && hidden.at<uchar>(at) != 0;
            }
            onArm += pick[h] >= 0 && c[static_cast<size_t>(pick[h])].limb;
            const int arm = pick[h] >= 0 ? c[static_cast<size_t>(pick[h])].arm : 0;
            armTold += arm != 0;
            otherArm += arm != 0 && arm != h + 1;
        }
        const std::array<double, 2> miss = missCosts(pred, hands.hidden(), hands.windowSide(), ro);
        const std::array<int, 2> best = assignHands(c, pred, sigma, shoulder, reachPx, s.handWidth, s.R, ro, &miss);
        const PairCost t = pairCost(c, pred, sigma, shoulder, reachPx, s.handWidth, s.R, ro, pick[0], pick[1], &miss);
        const PairCost b = pairCost(c, pred, sigma, shoulder, reachPx, s.handWidth, s.R, ro, best[0], best[1], &miss);
        const double over = t.total() - b.total();
        if (over > threshold || !t.allowed) {
            ++counted;
            const PairCost d = difference(t, b);
            excess = sum(excess, d);
            if (frames)
                std::printf("frame %4zu  true %2d %2d  cheapest %2d %2d  excess %6.2f%s  distance %+.2f fill %+.2f "
                            "arm points %+.1f other arm %+.1f axis %+.2f unseen %+.1f unexplained %+.1f crossed %+.1f shared %+.1f\n",
                            frame, pick[0], pick[1], best[0], best[1], over, t.allowed ? "" : " (never taken)", d.distance,
                            -d.fill, d.limb, d.arm, d.axis, d.miss, d.unexplained, d.cross, d.share);
        }
        advanceHands(oracle, c, pred, pick);
    }
    std::printf("frames %d; true hands with no candidate within %.2f hand widths: %d (%d over the face or the neck); "
                "on an arm point: %d\n",
                compared, radius, unseen, unseenAtFace, onArm);
    std::printf("true hands whose candidate's forearm tells an arm: %d, the other hand's arm: %d\n", armTold, otherArm);
    std::printf("frames where the true pair costs more than the cheapest by over %.2f: %d; excess %.1f = "
                "distance %.1f, fill %.1f, arm points %.1f, other arm %.1f, axis %.1f, not seen %.1f, unexplained %.1f, "
                "crossed %.1f, shared %.1f\n",
                threshold, counted, excess.total(), excess.distance, -excess.fill, excess.limb, excess.arm, excess.axis, excess.miss,
                excess.unexplained, excess.cross, excess.share);
    return 0;
}

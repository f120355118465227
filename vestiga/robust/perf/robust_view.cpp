// robust_view VIDEO CALIB FRAME OUT.png [--zoom N]: runs the robust method up
// to FRAME and writes the processed picture beside its skin map, with the
// face-and-neck mask in blue, the hand candidates as white circles and the
// hands (hand 1 cyan, hand 2 red), both enlarged N times (default 1). For
// looking at what the method sees.
#include "media/VideoFile.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include "cli/Options.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* kUsage = "usage: robust_view VIDEO CALIBRATION FRAME OUT.png [--zoom N]\n"
                     "  --zoom  enlarges the picture N times, 1 to 8 (default 1)\n";

} // namespace

int main(int argc, char** argv)
{
    using namespace vestiga;
    int zoom = 1;
    std::vector<std::string> args;
    cli::Options opts("robust_view", kUsage);
    opts.integer("--zoom", &zoom, 1, 8);
    opts.positionals(&args);
    std::string error;
    const int done = cli::finishParse(opts, opts.parse(std::vector<std::string>(argv + 1, argv + argc), &error), error,
                                      std::cout, std::cerr);
    if (done >= 0)
        return done;
    if (args.size() != 4) {
        std::cerr << "robust_view: give the video, its calibration, the frame and the picture to write\n" << kUsage;
        return cli::kExitBadInput;
    }
    long long target = 0;
    if (const std::string why = cli::readInteger(args[2], 0, 1 << 30, &target); !why.empty()) {
        std::cerr << "robust_view: FRAME: '" << args[2] << "' " << why << "\n" << kUsage;
        return cli::kExitBadInput;
    }
    CalibrationFile cal;
    if (!readCalibrationFile(args[1], &cal, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return cli::kExitBadInput;
    }
    cal.tracker = TrackerMethod::Robust;
    media::VideoFile video;
    TrackingOptions o;
    if (!video.open(args[0], &error) || !video.frame(cal.referenceFrame, o.reference)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return cli::kExitBadInput;
    }
    video.close();
    o.videoFile = args[0];
    o.calibration = toRunCalibration(cal, o.reference.rows);
    o.trackingFile = "/dev/null";
    TrackingRun run;
    if (!run.begTrack(o, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return cli::kExitBadInput;
    }
    for (int k = 1; k <= target; ++k)
        if (run.onTimer(&error) != TrackingRun::Tick::Frame)
            break;
    const RobustHands& h = run.robust()->hands();
    cv::Mat pic, map;
    cv::cvtColor(run.tracker().getSkinMap(), map, cv::COLOR_GRAY2BGR);
    map.setTo(cv::Scalar(255, 0, 0), h.hidden() & (run.tracker().getSkinMap() >= h.options().skinThreshold));
    cv::resize(run.picture(), pic, cv::Size(), zoom, zoom, cv::INTER_NEAREST);
    cv::resize(map, map, cv::Size(), zoom, zoom, cv::INTER_NEAREST);
    const auto at = [zoom](const cv::Point2d& p) { return cv::Point(cvRound(p.x * zoom), cvRound(p.y * zoom)); };
    for (const HandCandidate& c : h.candidates()) {
        cv::circle(map, at(c.p), 6 * zoom, cv::Scalar(255, 255, 255), 1);
        cv::putText(map, cv::format("%.2f%s%s", c.fill, c.limb ? " L" : "", c.arm == 1 ? " a1" : c.arm == 2 ? " a2" : ""),
                    at(c.p) + cv::Point(7 * zoom, 0), cv::FONT_HERSHEY_PLAIN, 0.8 * zoom, cv::Scalar(255, 255, 255));
    }
    cv::circle(map, at(h.hand(0)), 3 * zoom, cv::Scalar(255, 255, 0), cv::FILLED);
    cv::circle(map, at(h.hand(1)), 3 * zoom, cv::Scalar(0, 0, 255), cv::FILLED);
    cv::Mat both;
    cv::hconcat(pic, map, both);
    if (!cv::imwrite(args[3], both)) {
        std::cerr << "robust_view: " << args[3] << " cannot be written\n";
        return cli::kExitFailed;
    }
    return cli::kExitOk;
}

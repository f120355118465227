// robust_view VIDEO CALIB FRAME OUT.png [ZOOM]: runs the robust method up to FRAME and
// writes the processed picture beside its skin map, with the face-and-neck
// mask in blue, the hand candidates as white circles and the hands (hand 1
// cyan, hand 2 red), both enlarged ZOOM times (default 1). For looking at
// what the method sees.
#include "media/VideoFile.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using namespace vestiga;
    const int zoom = argc == 6 ? std::atoi(argv[5]) : 1;
    if ((argc != 5 && argc != 6) || zoom < 1 || zoom > 8) {
        std::fprintf(stderr, "usage: robust_view VIDEO CALIB FRAME OUT.png [ZOOM 1..8]\n");
        return 2;
    }
    std::string error;
    CalibrationFile cal;
    if (!readCalibrationFile(argv[2], &cal, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    cal.tracker = TrackerMethod::Robust;
    media::VideoFile video;
    TrackingOptions o;
    if (!video.open(argv[1], &error) || !video.frame(cal.referenceFrame, o.reference)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    video.close();
    o.videoFile = argv[1];
    o.calibration = toRunCalibration(cal, o.reference.rows);
    o.trackingFile = "/dev/null";
    TrackingRun run;
    if (!run.begTrack(o, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const int target = std::atoi(argv[3]);
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
    cv::imwrite(argv[4], both);
    return 0;
}

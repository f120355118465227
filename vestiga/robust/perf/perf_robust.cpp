// Speed of the robust method beside the classic one and decoding alone, on
// the same file in the same process.
//
//   perf_robust VIDEO CALIBRATION
//
// Each method tracks the whole file twice (the faster pass counts), with the
// frames decoded ahead as vestiga-track does.
#include "media/VideoFile.h"
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using Clock = std::chrono::steady_clock;

namespace {

double decodeOnlyRate(const std::string& path)
{
    cv::VideoCapture cap(path, cv::CAP_FFMPEG);
    cv::Mat f;
    const auto t0 = Clock::now();
    int64_t n = 0;
    while (cap.read(f))
        ++n;
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return s > 0 ? n / s : 0;
}

// Frames per second of a whole run, set-up excluded; 0 on failure.
double runRate(vestiga::TrackingOptions o, vestiga::TrackerMethod m)
{
    o.calibration.tracker = m;
    vestiga::TrackingRun run;
    std::string error;
    if (!run.begTrack(o, &error)) {
        std::fprintf(stderr, "perf_robust: %s\n", error.c_str());
        return 0;
    }
    const auto t0 = Clock::now();
    while (run.onTimer(&error) == vestiga::TrackingRun::Tick::Frame) {
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return s > 0 ? run.posFrame() / s : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: perf_robust VIDEO CALIBRATION\n");
        return 2;
    }
    vestiga::CalibrationFile cal;
    std::string error;
    if (!vestiga::readCalibrationFile(argv[2], &cal, &error)) {
        std::fprintf(stderr, "perf_robust: %s\n", error.c_str());
        return 2;
    }
    media::VideoFile vf;
    vestiga::TrackingOptions o;
    if (!vf.open(argv[1], &error) || !vf.frame(cal.referenceFrame, o.reference)) {
        std::fprintf(stderr, "perf_robust: %s\n", error.empty() ? "cannot read the reference frame" : error.c_str());
        return 2;
    }
    vf.close();
    o.videoFile = argv[1];
    o.trackingFile = "/dev/null";
    o.markPicture = false; // as vestiga-track runs
    o.calibration = vestiga::toRunCalibration(cal, o.reference.rows);

    const double decode = std::max(decodeOnlyRate(argv[1]), decodeOnlyRate(argv[1]));
    double classic = 0, robust = 0;
    for (int pass = 0; pass < 2; ++pass) {
        classic = std::max(classic, runRate(o, vestiga::TrackerMethod::Classic));
        robust = std::max(robust, runRate(o, vestiga::TrackerMethod::Robust));
    }
    std::printf("decode only   %7.1f frames/s\n", decode);
    std::printf("classic       %7.1f frames/s\n", classic);
    std::printf("robust        %7.1f frames/s  (%.2f x classic, goal >= 0.8)\n", robust,
                classic > 0 ? robust / classic : 0.0);
    return classic > 0 && robust > 0 ? 0 : 1;
}

// Stage timings of a whole tracking run, beside the decode-only rate of the
// same file measured in the same process.
//
//   perf_run VIDEO CALIBRATION [TRACKING_OUT]
//
// Prints, per processed frame, the mean time of each stage (decode, maps, each
// filter, corrections, drawing, writing) and the whole run's frames per second
// against the rate at which the file alone decodes.
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include "media/VideoFile.h"

#include <opencv2/videoio.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace vestiga {
static std::string readTrackingBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}
} // namespace vestiga

using Clock = std::chrono::steady_clock;

static double decodeOnlyRate(const std::string& path, int64_t* frames)
{
    cv::VideoCapture cap(path, cv::CAP_FFMPEG);
    cv::Mat f;
    const auto t0 = Clock::now();
    int64_t n = 0;
    while (cap.read(f))
        ++n;
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    *frames = n;
    return s > 0 ? n / s : 0;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: perf_run VIDEO CALIBRATION [TRACKING_OUT]\n");
        return 2;
    }
    const std::string video = argv[1], calib = argv[2];
    const std::string out = argc > 3 ? argv[3] : "/tmp/perf_run.track";

    vestiga::CalibrationFile cal;
    std::string error;
    if (!vestiga::readCalibrationFile(calib, &cal, &error)) {
        std::fprintf(stderr, "perf_run: %s\n", error.c_str());
        return 2;
    }
    media::VideoFile vf;
    vestiga::TrackingOptions o;
    if (!vf.open(video, &error) || !vf.frame(cal.referenceFrame, o.reference)) {
        std::fprintf(stderr, "perf_run: %s\n", error.empty() ? "cannot read the reference frame" : error.c_str());
        return 2;
    }
    vf.close();
    o.videoFile = video;
    o.trackingFile = out;
    o.calibration = vestiga::toRunCalibration(cal, o.reference.rows);

    int64_t decodedFrames = 0;
    const double decodeRate = decodeOnlyRate(video, &decodedFrames);

    // Three runs of the same file: stage by stage (single thread), whole run on
    // one thread, whole run with the frames decoded ahead on a second thread.
    struct Pass {
        const char* name;
        bool timing, readAhead;
        double seconds = 0, setup = 0;
        std::string track;
        vestiga::StageTimes times;
    } passes[3] = {{"stage timing", true, false, 0, 0, {}, {}},
                   {"one thread", false, false, 0, 0, {}, {}},
                   {"read-ahead", false, true, 0, 0, {}, {}}};
    for (Pass& p : passes) {
        vestiga::TrackingRun run;
        run.setStageTiming(p.timing);
        run.setReadAhead(p.readAhead);
        const auto t0 = Clock::now();
        if (!run.begTrack(o, &error)) {
            std::fprintf(stderr, "perf_run: %s\n", error.c_str());
            return 2;
        }
        const auto t1 = Clock::now();
        p.setup = std::chrono::duration<double>(t1 - t0).count();
        vestiga::TrackingRun::Tick tick;
        while ((tick = run.onTimer(&error)) == vestiga::TrackingRun::Tick::Frame) {
        }
        p.seconds = std::chrono::duration<double>(Clock::now() - t1).count();
        if (tick == vestiga::TrackingRun::Tick::Failed) {
            std::fprintf(stderr, "perf_run: %s\n", error.c_str());
            return 1;
        }
        p.times = run.stageTimes();
        p.times.frames = run.posFrame();
        p.track = vestiga::readTrackingBytes(out);
    }
    const bool same = passes[0].track == passes[1].track && passes[1].track == passes[2].track;
    const double total = passes[0].seconds;
    const vestiga::StageTimes& s = passes[0].times;
    const double setup = passes[0].setup;
    const double n = s.frames > 0 ? static_cast<double>(s.frames) : 1.0;
    auto row = [&](const char* name, double sec) {
        std::printf("  %-12s %8.3f ms/frame  %5.1f %%\n", name, 1000.0 * sec / n, total > 0 ? 100.0 * sec / total : 0);
    };
    std::printf("video %s: %lld frames, processed %lld, set-up %.1f ms\n", video.c_str(),
                static_cast<long long>(decodedFrames), static_cast<long long>(s.frames), 1000.0 * setup);
    row("decode", s.decode);
    row("maps", s.maps);
    row("head", s.head);
    row("torso", s.torso);
    row("elbow R", s.elbowR);
    row("elbow L", s.elbowL);
    row("hands", s.hands);
    row("corrections", s.corrections);
    row("drawing", s.drawing);
    row("writing", s.writing);
    std::printf("decode only    %8.1f frames/s\n", decodeRate);
    for (const Pass& p : passes) {
        const double rate = p.seconds > 0 ? p.times.frames / p.seconds : 0;
        std::printf("%-14s %8.1f frames/s (%.3f ms/frame), %.3f of decode-only (goal >= 0.5)\n", p.name, rate,
                    rate > 0 ? 1000.0 / rate : 0, decodeRate > 0 ? rate / decodeRate : 0);
    }
    std::printf("tracking files %s\n", same ? "identical in the three runs" : "DIFFER between the runs");
    return same ? 0 : 1;
}

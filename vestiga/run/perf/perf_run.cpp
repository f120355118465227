// Stage timings of a whole tracking run, beside the decode-only rate of the
// same file measured in the same process.
//
//   perf_run VIDEO CALIBRATION [TRACKING_OUT] [ROUNDS] [THREADS]
//
// THREADS: the filters' threads in the whole runs of the rounds (default:
// the tracker's default).
// Rounds alternate the decode-only pass and the whole run with the frames
// decoded ahead (the way vestiga-track runs), so both see the same load; the
// ratio of each round is taken within the round, and the medians and the
// best round are printed. Then one run timed stage by stage in wall-clock
// time and one in processor time (the whole process, every thread: on a
// machine shared with other work processor time is the steadier measure),
// and one run on a single thread without read-ahead. Every run's tracking
// file must be the same.
//
// The whole runs also report the processor time of each thread: the
// tracker's (filters, drawing, writing), the read-ahead thread's (decoding,
// maps, random draws) and the filters' other threads. On a machine shared
// with other work these say more than the frames per second do; from them
// follows the rate two otherwise idle cores would allow, bounded by the
// busiest thread and by the whole process's time over two cores.
#include "run/Calibration.h"
#include "run/TrackingRun.h"

#include "media/VideoFile.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string readBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

double cpuNow()
{
    timespec ts;
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double threadCpuNow()
{
    timespec ts;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double wallNow() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

struct Timed {
    double wall = 0, cpu = 0; // seconds
    double mainCpu = 0;       // the tracker's thread, seconds
    int64_t frames = 0;
    double rate() const { return wall > 0 ? frames / wall : 0; }
};

Timed decodeOnly(const std::string& path)
{
    cv::VideoCapture cap(path, cv::CAP_FFMPEG);
    cv::Mat f;
    Timed t;
    const double w0 = wallNow(), c0 = cpuNow();
    while (cap.read(f))
        ++t.frames;
    t.wall = wallNow() - w0;
    t.cpu = cpuNow() - c0;
    return t;
}

struct Run {
    Timed timed;
    std::string track;
    vestiga::StageTimes stages;
    bool ok = false;
};

Run track(const vestiga::TrackingOptions& o, bool timing, bool cpuClock, bool readAhead, int threads)
{
    Run r;
    vestiga::TrackingRun run;
    run.setStageTiming(timing, cpuClock);
    run.setReadAhead(readAhead);
    std::string error;
    if (!run.begTrack(o, &error)) {
        std::fprintf(stderr, "perf_run: %s\n", error.c_str());
        return r;
    }
    if (threads > 0)
        vestiga::setTrackerThreads(run.tracker(), threads);
    const double w0 = wallNow(), c0 = cpuNow(), m0 = threadCpuNow();
    vestiga::TrackingRun::Tick tick;
    while ((tick = run.onTimer(&error)) == vestiga::TrackingRun::Tick::Frame) {
    }
    r.timed.wall = wallNow() - w0;
    r.timed.cpu = cpuNow() - c0;
    r.timed.mainCpu = threadCpuNow() - m0;
    r.timed.frames = run.posFrame();
    if (tick == vestiga::TrackingRun::Tick::Failed) {
        std::fprintf(stderr, "perf_run: %s\n", error.c_str());
        return r;
    }
    r.stages = run.stageTimes();
    r.track = readBytes(o.trackingFile);
    r.ok = true;
    return r;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: perf_run VIDEO CALIBRATION [TRACKING_OUT] [ROUNDS] [THREADS]\n");
        return 2;
    }
    const std::string video = argv[1], calib = argv[2];
    const std::string out = argc > 3 ? argv[3] : "/tmp/perf_run.track";
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const int threads = argc > 5 ? std::max(1, std::atoi(argv[5])) : 0;

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
    o.markPicture = false; // as vestiga-track runs
    o.calibration = vestiga::toRunCalibration(cal, o.reference.rows);

    // Alternating rounds: decode only, then the whole run.
    std::vector<double> decodeRates, runRates, ratios, decodeCpu, runCpu, mainCpu, aheadCpu, restCpu, idleRates;
    std::string reference;
    bool same = true;
    for (int k = 0; k < rounds; ++k) {
        const Timed d = decodeOnly(video);
        const Run r = track(o, false, false, true, threads);
        if (!r.ok)
            return 1;
        if (k == 0)
            reference = r.track;
        same = same && r.track == reference;
        decodeRates.push_back(d.rate());
        runRates.push_back(r.timed.rate());
        ratios.push_back(d.rate() > 0 ? r.timed.rate() / d.rate() : 0);
        decodeCpu.push_back(d.frames > 0 ? 1000.0 * d.cpu / d.frames : 0);
        runCpu.push_back(r.timed.frames > 0 ? 1000.0 * r.timed.cpu / r.timed.frames : 0);
        const double f = r.timed.frames > 0 ? static_cast<double>(r.timed.frames) : 1.0;
        const double ahead = r.stages.readAheadCpu, main = r.timed.mainCpu;
        mainCpu.push_back(1000.0 * main / f);
        aheadCpu.push_back(1000.0 * ahead / f);
        restCpu.push_back(1000.0 * std::max(0.0, r.timed.cpu - main - ahead) / f);
        const double busiest = std::max(std::max(main, ahead), r.timed.cpu / 2);
        idleRates.push_back(busiest > 0 ? f / busiest : 0);
    }
    const Run wall = track(o, true, false, false, 0);
    const Run cpu = track(o, true, true, false, 0);
    const Run single = track(o, false, false, false, 1);
    if (!wall.ok || !cpu.ok || !single.ok)
        return 1;
    same = same && wall.track == reference && cpu.track == reference && single.track == reference;

    const double n = wall.timed.frames > 0 ? static_cast<double>(wall.timed.frames) : 1.0;
    std::printf("video %s: %lld frames processed\n", video.c_str(), static_cast<long long>(wall.timed.frames));
    std::printf("  stage        wall ms/frame  cpu ms/frame\n");
    auto row = [&](const char* name, double w, double c) {
        std::printf("  %-12s %13.3f %13.3f\n", name, 1000.0 * w / n, 1000.0 * c / n);
    };
    const vestiga::StageTimes& a = wall.stages;
    const vestiga::StageTimes& b = cpu.stages;
    row("decode", a.decode, b.decode);
    row("maps", a.maps, b.maps);
    row("head", a.head, b.head);
    row("torso", a.torso, b.torso);
    row("elbow R", a.elbowR, b.elbowR);
    row("elbow L", a.elbowL, b.elbowL);
    row("hands", a.hands, b.hands);
    row("corrections", a.corrections, b.corrections);
    row("drawing", a.drawing, b.drawing);
    row("writing", a.writing, b.writing);
    row("whole", wall.timed.wall, cpu.timed.cpu);
    std::printf("%d alternating rounds (median, best):\n", rounds);
    std::printf("  decode only   %8.1f frames/s  cpu %.3f ms/frame\n", median(decodeRates), median(decodeCpu));
    std::printf("  whole run     %8.1f frames/s  cpu %.3f ms/frame\n", median(runRates), median(runCpu));
    std::printf("  ratio         %8.3f median, %.3f best round (goal >= 0.5)\n", median(ratios),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("  whole run's threads, cpu ms/frame: tracker %.3f, read-ahead %.3f, other filter threads %.3f\n",
                median(mainCpu), median(aheadCpu), median(restCpu));
    std::printf("  two idle cores would allow %.1f frames/s: %.3f of decode only (median)\n", median(idleRates),
                median(decodeCpu) > 0 ? median(idleRates) * median(decodeCpu) / 1000.0 : 0.0);
    std::printf("one thread, no read-ahead: %.1f frames/s\n", single.timed.rate());
    std::printf("tracking files %s\n", same ? "identical in every run" : "DIFFER between the runs");
    return same ? 0 : 1;
}

// Times the work that must keep the sign-picture window responsive: the blend
// of 20 key frames at 640x480 (drawMix), one brush dab with its re-blend (what
// a mouse event of the key-frame view costs), and a whole display tick of the
// mixing step. Prints the median and the slowest of each, and the median
// processor time of all threads, in milliseconds.
//
//   glyphora-perf-mix [WORK_DIR]
#include "render/SignSession.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

double processCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Median and slowest wall time, and the median processor time of all threads
// (the work itself, which a busy machine does not stretch).
void report(const char* what, int runs, const std::function<void()>& work)
{
    std::vector<double> ms, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = processCpuMs();
        work();
        cpu.push_back(processCpuMs() - c0);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-44s median %7.2f ms   max %7.2f ms   cpu %7.2f ms   (%d runs)\n", what, ms[ms.size() / 2],
                ms.back(), cpu[cpu.size() / 2], runs);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string video = dir + "/perf-640x480.avi";
    {
        cv::VideoWriter w(video, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                          cv::Size(640, 480));
        if (!w.isOpened()) {
            std::fprintf(stderr, "cannot write %s\n", video.c_str());
            return 1;
        }
        cv::RNG rng(7);
        for (int k = 0; k < 30; ++k) {
            cv::Mat img(480, 640, CV_8UC3);
            rng.fill(img, cv::RNG::UNIFORM, 0, 255);
            cv::GaussianBlur(img, img, cv::Size(0, 0), 3.0); // camera-like detail, not pure noise
            cv::circle(img, cv::Point(100 + 15 * k, 240), 40, cv::Scalar(80, 160, 230), cv::FILLED);
            w.write(img);
        }
    }
    glyphora::SignSession s;
    std::string error;
    if (!s.loadVideo(video, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (int k = 0; k < 20; ++k) {
        s.setMainTime(s.timeOfFrame(k));
        if (!s.captureKeyFrame(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    s.goToStep(glyphora::Step::Mixing);
    for (int k = 0; k < 20; ++k)
        s.setKeyFrameShift(k, (k % 5) * 3.0 - 6.0);
    std::printf("20 key frames of 640x480, shifted\n");
    report("drawMix", 50, [&] { s.drawMix(); });
    int step = 0;
    report("brush dab + re-blend (one mouse event)", 50, [&] {
        s.paintKeyFrameMask(100 + 4 * step, 200 + 2 * step, 640, 480);
        ++step;
    });
    s.setMainTime(s.timeOfFrame(25));
    report("display tick, mixing step", 20, [&] { s.tick(); });
    s.goToStep(glyphora::Step::Selection);
    report("display tick, selection step", 20, [&] { s.tick(); });
    media::VideoFile v;
    v.open(video);
    cv::Mat f;
    report("frame decode after a seek (VideoFile)", 20, [&] { v.frame(25, f); });
    return 0;
}

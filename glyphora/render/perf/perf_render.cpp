// Cost of the session's display tick (seek, decode, prepare, blend, mix; and
// with the movie standing still, no decode) and
// of one arrow-view drawing with its read-back, headless.
//   perf_render VIDEO TRACKING [REPEATS]
#include "render/HeadlessGL.h"
#include "render/PictureSave.h"
#include "render/SignSession.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace glyphora;
using Clock = std::chrono::steady_clock;

static double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: perf_render VIDEO TRACKING [REPEATS]\n");
        return 2;
    }
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
    SignSession s;
    std::string error;
    if (!s.loadVideo(argv[1], &error) || !s.loadTracking(argv[2], &error)) {
        std::fprintf(stderr, "perf_render: %s\n", error.c_str());
        return 2;
    }
    const int frames = int(std::min<int64_t>(s.frameCount(), s.tracking().lineCount()));
    const int a = frames / 3, b = std::min(frames - 1, a + 30);
    for (int k : {a, (a + b) / 2, b}) {
        s.setMainTime(s.timeOfFrame(k));
        s.tick();
        s.captureKeyFrame(&error);
    }
    s.goToStep(Step::Mixing);
    s.goToStep(Step::Arrows);

    // Ticks in the arrows step, walking through the sign.
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < repeats; ++i) {
        s.setMainTime(s.timeOfFrame(a + i % (b - a + 1)));
        s.tick();
    }
    const double tick = msSince(t0) / repeats;

    // Ticks with the movie standing still (the usual case while the user
    // works on the mix or the arrows).
    s.setMainTime(s.timeOfFrame((a + b) / 2));
    s.tick();
    t0 = Clock::now();
    for (int i = 0; i < repeats; ++i)
        s.tick();
    const double stillTick = msSince(t0) / repeats;

    const cv::Size size = s.frameSize();
    HeadlessGL gl;
    if (!gl.create(size.width, size.height, &error)) {
        std::fprintf(stderr, "perf_render: %s\n", error.c_str());
        return 1;
    }
    s.refresh();
    std::printf("%dx%d, sign of %d lines, %d repeats\n", size.width, size.height, s.arrowView().end - s.arrowView().beg,
                repeats);
    std::printf("tick (arrows step): %.2f ms\n", tick);
    std::printf("tick (arrows step, movie still): %.2f ms\n", stillTick);
    for (int p = 0; p < 8; ++p) {
        s.setPattern(p);
        s.refresh();
        t0 = Clock::now();
        for (int i = 0; i < repeats; ++i)
            s.drawArrowView(size.width, size.height);
        cv::Mat picture = readBackPicture(size.width, size.height);
        const double draw = msSince(t0) / repeats;
        std::printf("pattern %d: draw %.2f ms\n", p, draw);
    }
    t0 = Clock::now();
    for (int i = 0; i < repeats; ++i)
        readBackPicture(size.width, size.height);
    std::printf("read-back: %.2f ms\n", msSince(t0) / repeats);
    return 0;
}

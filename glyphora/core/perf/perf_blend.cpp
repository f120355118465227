// Timing of the picture work of one display tick: the blend of 20 key frames
// at 640x480 (drawMix) and after one brush dab, the dimming of a key frame,
// the frame preparation, and the arrow drawing of a 75-line sign for every
// movement pattern.
// Prints the median of repeated runs.
#include "core/Blend.h"
#include "core/DrawSurface.h"
#include "core/SignPattern.h"
#include "core/TrackingTable.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace glyphora;

namespace {

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main()
{
    const cv::Size size(640, 480);
    cv::RNG rng(7);
    std::vector<cv::Mat> frames(kMaxKeyFrames), masks(kMaxKeyFrames);
    std::vector<float> offsets(kMaxKeyFrames);
    for (int i = 0; i < kMaxKeyFrames; ++i) {
        frames[i].create(size, CV_8UC3);
        rng.fill(frames[i], cv::RNG::UNIFORM, 0, 256);
        masks[i].create(size, CV_8UC1);
        rng.fill(masks[i], cv::RNG::UNIFORM, 0, 256);
        offsets[i] = (i % 5 - 2) * 0.05f;
    }
    cv::Mat mixed;
    MixScratch scratch;
    const double mix = medianMs(21, [&] {
        drawMix(size, frames.data(), masks.data(), offsets.data(), kMaxKeyFrames, mixed, nullptr,
                &scratch);
    });
    std::printf("drawMix 20 key frames 640x480: median %.2f ms\n", mix);
    int step = 0;
    const double dab = medianMs(51, [&] {
        const int k = step % kMaxKeyFrames;
        noteMaskChange(scratch, size, offsets[k], paintBrush(masks[k], 100 + 9 * step, 120 + 5 * step));
        drawMixChanges(size, frames.data(), masks.data(), offsets.data(), kMaxKeyFrames, mixed, nullptr, scratch);
        ++step;
    });
    std::printf("brush dab + re-blend of what it reached: median %.2f ms\n", dab);

    cv::Mat dimmed;
    std::printf("dimByMask 640x480: median %.2f ms\n",
                medianMs(51, [&] { dimByMask(frames[0], masks[0], dimmed); }));
    cv::Mat prepared;
    std::printf("prepareFrame 640x480: median %.2f ms\n",
                medianMs(51, [&] { prepareFrame(frames[1], prepared); }));

    // A 100-line tracking with both hands circling.
    std::string text;
    char buf[256];
    for (int i = 1; i <= 100; ++i) {
        const double a = 2 * M_PI * i / 40;
        std::snprintf(buf, sizeof buf, "%f %f %f %f 0.5 0.2 %f \n", 0.4 + 0.1 * std::cos(a),
                      0.5 + 0.1 * std::sin(a), 0.6 - 0.1 * std::cos(a), 0.5 + 0.1 * std::sin(a),
                      40.0 * i);
        text += buf;
    }
    TrackingTable table;
    table.parse(text, "generated", nullptr);
    SignPattern sp;
    sp.initVideo(table);
    sp.setNewTimeBoundaries(10, 75);
    const char* names[] = {"complex", "arc", "repetition", "back", "back", "circle", "circle x2",
                           "static"};
    for (int p = 0; p < 8; ++p) {
        if (p == 4)
            continue;
        sp.setMoPat(p);
        RecordingSurface surface;
        const double ms = medianMs(11, [&] {
            surface.clear();
            sp.drawSignGL(surface, true, true, 0, 0, 0, 0);
        });
        std::printf("drawSignGL %-10s both hands, 75 lines: median %.2f ms (%zu polygons)\n",
                    names[p], ms, surface.polygons.size());
    }
    return 0;
}

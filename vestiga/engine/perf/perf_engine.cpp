// Timing of the tracker's per-frame work: the maps of one 640 x 480 frame,
// one generic filter cycle of 1500 particles, and the per-particle
// measurements. Prints the median of repeated runs.
#include "engine/IntFil.h"
#include "engine/PartFil.h"
#include "engine/Suivi2D.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vestiga;

namespace {

using Clock = std::chrono::steady_clock;

// Median over `runs` runs of `body`, in microseconds; `prepare` runs before
// each and is not timed.
double medianMicros(int runs, const std::function<void()>& prepare, const std::function<void()>& body) {
    std::vector<double> t;
    t.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        prepare();
        const Clock::time_point a = Clock::now();
        body();
        const Clock::time_point b = Clock::now();
        t.push_back(std::chrono::duration<double, std::micro>(b - a).count());
    }
    std::nth_element(t.begin(), t.begin() + runs / 2, t.end());
    return t[runs / 2];
}

class BenchFil : public PartFil {
public:
    void computeWeights() override {}
    void run() override {}
};

// A signer-like frame: background texture, a shirt and skin patches.
cv::Mat frameAt(int k) {
    cv::Mat f(480, 640, CV_8UC3);
    cv::RNG rng(100 + k);
    rng.fill(f, cv::RNG::UNIFORM, cv::Scalar(150, 150, 20), cv::Scalar(220, 210, 90));
    cv::rectangle(f, cv::Rect(213, 240, 213, 240), cv::Scalar(40, 40, 60), cv::FILLED);
    cv::rectangle(f, cv::Rect(290, 80, 60, 80), cv::Scalar(80, 120, 200), cv::FILLED);
    cv::rectangle(f, cv::Rect(150 + 10 * (k % 20), 260, 30, 30), cv::Scalar(80, 120, 200), cv::FILLED);
    return f;
}

} // namespace

int main() {
    // ---- computeSkBgMaps on a 640 x 480 frame, processed picture 400 x 300.
    Suivi2D t; // the whole frame, the default settings
    cv::Mat frame = frameAt(0);
    if (!t.setCurPicture(frame)) {
        std::fprintf(stderr, "perf_engine: set-up refused\n");
        return 1;
    }
    cv::Mat skin(20, 20, CV_8UC3, cv::Scalar(80, 120, 200));
    t.setSkinPic(skin);
    (void)t.createAutoBgPic(); // after setCurPicture: cannot fail
    t.opt.handWidth = 0.05f;
    t.opt.headWidth = 0.15f;
    t.opt.headHeight = 0.2f;
    t.opt.sleeves = 0.33f;
    t.opt.bodyScale = 1.2f;
    const double tHisto = medianMicros(1, [] {}, [&] { (void)t.computeLikelihoodHisto(); });
    std::vector<cv::Mat> frames;
    for (int k = 0; k < 20; ++k)
        frames.push_back(frameAt(k));
    int k = 0;
    const double tMaps = medianMicros(
        300, [&] { frames[k++ % 20].copyTo(frame); }, [&] { (void)t.computeSkBgMaps(); });

    // ---- One generic cycle: resample, drift, expectation (1500 particles).
    RandGen g;
    cv::RNG rng(1);
    double out[4];
    auto cycle = [&](int D) {
        BenchFil f;
        f.buildPartFilter(1500, D, 10.0f, &g);
        for (double& x : f.part)
            x = rng.uniform(0.0, 400.0);
        return medianMicros(
            500,
            [&] {
                for (double& w : f.weight)
                    w = rng.uniform(0.0, 1.0);
            },
            [&] {
                f.resample();
                f.drift(1.0f);
                f.expectation(out);
            });
    };
    const double tCycle2 = cycle(2);
    const double tCycle4 = cycle(4);

    // ---- Per-particle measurements, 1500 particles each.
    const cv::Mat& I = t.getIntBgMap();
    const int dx[] = {-24, 24, 24, 55, 55, -55, -55, -24, -120, 120, 120, -120};
    const int dy[] = {-90, -90, -21, -21, 90, 90, -21, -21, -90, -90, 90, 90};
    const float c[] = {2, -2, 2, -2, 2, -2, 2, -2, -1, 1, -1, 1};
    IntFil torso;
    torso.InitFil(dx, dy, c, 12);
    std::vector<cv::Point> pos(1500);
    for (cv::Point& p : pos)
        p = cv::Point(rng.uniform(-50, 450), rng.uniform(-50, 350));
    volatile float sink = 0;
    const double tTemplate = medianMicros(200, [] {}, [&] {
        float s = 0;
        for (const cv::Point& p : pos)
            s += torso.computeInt(I, p.x, p.y, I.cols, I.rows);
        sink = s;
    });
    // The same placements, four at a time (the filters' way).
    std::vector<int> xs, ys;
    for (const cv::Point& p : pos) {
        xs.push_back(p.x);
        ys.push_back(p.y);
    }
    const double tTemplate4 = medianMicros(200, [] {}, [&] {
        float s = 0, four[4];
        for (std::size_t i = 0; i < pos.size(); i += 4) {
            const int n = static_cast<int>(std::min<std::size_t>(4, pos.size() - i));
            torso.computeInts(I, &xs[i], &ys[i], n, I.cols, I.rows, false, four);
            for (int j = 0; j < n; ++j)
                s += four[j];
        }
        sink = s;
    });
    const MultiRec image(Rectangle(200, 150, 401, 301));
    MultiRec arm, armIn, both;
    const double tBands = medianMicros(200, [] {}, [&] {
        double s = 0;
        for (const cv::Point& p : pos) {
            arm.buildMRFromSegment(100, 150, static_cast<float>(p.x), static_cast<float>(p.y), 20);
            armIn = image * arm;
            both = armIn * armIn;
            s += armIn.intRec(t.getIntSkinMap()) + both.area;
        }
        sink = static_cast<float>(s);
    });
    (void)sink;

    std::printf("computeLikelihoodHisto (400x300 background, once):     %9.1f us\n", tHisto);
    std::printf("computeSkBgMaps 640x480 -> 400x300 (median of 300):    %9.1f us\n", tMaps);
    std::printf("resample+drift+expectation, 1500 x 2 (median of 500):  %9.1f us\n", tCycle2);
    std::printf("resample+drift+expectation, 1500 x 4 (median of 500):  %9.1f us\n", tCycle4);
    std::printf("computeInt 12 points x 1500 (median of 200):           %9.1f us\n", tTemplate);
    std::printf("computeInts 12 points x 1500 (median of 200):          %9.1f us\n", tTemplate4);
    std::printf("band + 2 intersections + sum x 1500 (median of 200):   %9.1f us\n", tBands);
    return 0;
}

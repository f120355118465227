// The worker pool and the filters' multi-threaded particle loops: every index
// is run exactly once, and a tracker gives bit-for-bit the same particles,
// weights, estimates and draws on one thread as on several, and with its
// random draws taken ahead on another thread.
#include "engine/Suivi2D.h"
#include "engine/WorkerPool.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace vestiga;

namespace {

// ---------------------------------------------------------------- pool

// Runs parallelFor over n indices and counts how often each index ran; also
// checks that every chunk saw a valid slot and at most `grain` indices.
std::vector<int> coverage(WorkerPool& pool, int n, int grain)
{
    std::vector<std::atomic<int>> hits(static_cast<std::size_t>(n > 0 ? n : 0));
    std::atomic<bool> badChunk{false};
    const int g = grain < 1 ? 1 : grain;
    pool.parallelFor(n, grain, [&](int begin, int end, int slot) {
        if (slot < 0 || slot >= pool.threads() || begin < 0 || end > n || begin >= end
            || (pool.threads() > 1 && n > g && end - begin > g))
            badChunk = true;
        for (int i = begin; i < end; ++i)
            hits[static_cast<std::size_t>(i)].fetch_add(1);
    });
    EXPECT_FALSE(badChunk) << "n " << n << " grain " << grain;
    std::vector<int> out;
    for (auto& h : hits)
        out.push_back(h.load());
    return out;
}

TEST(WorkerPool, EveryIndexRunsExactlyOnce)
{
    for (int threads : {1, 2, 3}) {
        WorkerPool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        // Empty range, one index, a range within one chunk, ranges that end
        // on and off a chunk boundary, a grain of 0 (taken as 1).
        const int cases[][2] = {{0, 10}, {1, 10}, {7, 10}, {100, 10}, {1500, 125}, {1501, 125}, {37, 0}};
        for (const auto& c : cases) {
            const std::vector<int> hits = coverage(pool, c[0], c[1]);
            for (std::size_t i = 0; i < hits.size(); ++i)
                ASSERT_EQ(hits[i], 1) << threads << " threads, n " << c[0] << ", index " << i;
        }
    }
    WorkerPool none(0); // taken as one thread, no worker
    EXPECT_EQ(none.threads(), 1);
    EXPECT_EQ(coverage(none, 5, 2), std::vector<int>(5, 1));
}

TEST(WorkerPool, ManyShortJobsInARowAreAllCompleteOnReturn)
{
    // Jobs posted back to back, some too short to wake a worker: a job's
    // results must be complete when parallelFor returns, and a worker that
    // wakes late must not run a chunk of the next job with an old body.
    WorkerPool pool(2);
    std::vector<int> v(64, 0);
    for (int round = 1; round <= 3000; ++round) {
        const int n = 1 + round % 64;
        pool.parallelFor(n, 4, [&](int begin, int end, int) {
            for (int i = begin; i < end; ++i)
                v[static_cast<std::size_t>(i)] = round;
        });
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(v[static_cast<std::size_t>(i)], round) << "round " << round << " index " << i;
    }
}

TEST(WorkerPool, WorkersShareTheWorkAndStopOnDestruction)
{
    // With slow enough chunks the worker takes part (slot 1 is seen); the
    // destructor then joins it (the test would hang otherwise).
    auto pool = std::make_unique<WorkerPool>(2);
    std::atomic<int> slotOne{0};
    for (int attempt = 0; attempt < 50 && slotOne == 0; ++attempt) {
        pool->parallelFor(64, 1, [&](int, int, int slot) {
            if (slot == 1)
                ++slotOne;
            volatile double x = 0;
            for (int k = 0; k < 20000; ++k)
                x = x + std::sqrt(static_cast<double>(k));
        });
    }
    EXPECT_GT(slotOne.load(), 0);
    pool.reset();
}

TEST(WorkerPool, ExceptionOfAChunkReachesTheCallerAfterTheOthers)
{
    for (int threads : {1, 2}) {
        WorkerPool pool(threads);
        std::atomic<int> ran{0};
        EXPECT_THROW(pool.parallelFor(40, 4,
                                      [&](int begin, int end, int) {
                                          ran += end - begin;
                                          if (begin <= 20 && 20 < end)
                                              throw std::runtime_error("index 20");
                                      }),
                     std::runtime_error);
        EXPECT_EQ(ran.load(), 40); // no chunk is skipped
        // The pool is still usable afterwards.
        EXPECT_EQ(coverage(pool, 30, 4), std::vector<int>(30, 1));
    }
}

// ---------------------------------------------------------------- drift

TEST(ParallelDrift, SameDrawsInTheSameOrderAsOneVariatePerCoordinate)
{
    // Each coordinate, particle by particle, moves by one Box–Muller variate
    // of its own two draws (radius first), whatever the number of threads.
    const int N = 700, D = 4;
    const float sigma = 2.5f;
    for (int threads : {1, 2, 3}) {
        RandGen rng, ref;
        struct Plain : PartFil {
            void computeWeights() override {}
            void run() override {}
        } pf;
        pf.buildPartFilter(N, D, sigma, &rng);
        pf.pool = std::make_shared<WorkerPool>(threads);
        for (std::size_t k = 0; k < pf.part.size(); ++k)
            pf.part[k] = 0.37 * static_cast<double>(k);
        pf.drift(1.3f);
        const float s = 1.3f * sigma;
        for (std::size_t k = 0; k < pf.part.size(); ++k) {
            const double expected = 0.37 * static_cast<double>(k) + boxMuller(ref) * s;
            ASSERT_EQ(std::memcmp(&pf.part[k], &expected, sizeof(double)), 0) << threads << " threads, " << k;
        }
        EXPECT_EQ(rng.drawn(), ref.drawn());
        EXPECT_EQ(rng.drawn(), static_cast<uint64_t>(2 * N * D));
    }
}

// ---------------------------------------------------------------- tracker

// A signer on a textured background whose hands and elbows move, drawn as a
// 320 x 240 camera frame; a little pixel noise keeps the maps changing.
void drawFrame(int k, cv::Mat& out)
{
    out.create(240, 320, CV_8UC3);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            out.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(140 + (x * 7 + y * 3 + k) % 23),
                                                static_cast<uchar>(160 + (x * 5 + y * 11) % 19),
                                                static_cast<uchar>(120 + (x + y * 13 + 2 * k) % 17));
    const cv::Scalar skin(110, 140, 205), sweater(60, 40, 45);
    const double a = 0.21 * k;
    const cv::Point h1(125 + static_cast<int>(30 * std::cos(a)), 165 + static_cast<int>(28 * std::sin(a)));
    const cv::Point h2(195 - static_cast<int>(34 * std::cos(1.3 * a)), 160 + static_cast<int>(22 * std::sin(a)));
    const cv::Point e1(107, 170 + static_cast<int>(8 * std::sin(a))), e2(213, 170);
    cv::rectangle(out, cv::Rect(117, 115, 86, 125), sweater, cv::FILLED);
    cv::rectangle(out, cv::Rect(150, 105, 20, 15), skin, cv::FILLED);
    cv::line(out, cv::Point(122, 122), e1, sweater, 15);
    cv::line(out, cv::Point(198, 122), e2, sweater, 15);
    cv::line(out, e1, h1, sweater, 12);
    cv::line(out, e2, h2, sweater, 12);
    cv::ellipse(out, cv::Point(160, 80), cv::Size(22, 29), 0, 0, 360, skin, cv::FILLED);
    cv::circle(out, h1, 11, skin, cv::FILLED);
    cv::circle(out, h2, 11, skin, cv::FILLED);
}

// A tracker set up as the tracking run sets it up, from the first frame.
struct Tracker {
    cv::Mat frame; // the buffer the tracker reads
    cv::Mat skinPic;
    Suivi2D t;

    Tracker(int threads, float sleeve, int N)
    {
        drawFrame(0, frame);
        t.opt.noiseH = 0;
        t.opt.noiseS = 0;
        t.opt.noiseV = 10;
        t.opt.minX = 0.05f;
        t.opt.minY = 0.0f;
        t.opt.maxX = 0.95f;
        t.opt.maxY = 1.0f;
        t.opt.resizeWidth = 200;
        EXPECT_TRUE(t.setCurPicture(frame));
        skinPic = frame(cv::Rect(150, 65, 20, 30)).clone();
        t.setSkinPic(skinPic);
        EXPECT_TRUE(t.createAutoBgPic());
        t.opt.handWidth = 0.12f;
        t.opt.headWidth = 0.2f;
        t.opt.headHeight = 0.25f;
        t.opt.sleeves = sleeve;
        t.opt.bodyScale = 1.0;
        t.opt.thickness = 0.8f;
        t.opt.foregroundThreshold = 180;
        EXPECT_TRUE(t.computeLikelihoodHisto());
        t.opt.particles = N;
        t.opt.driftScale = 1.2f;
        t.buildPartFilter();
        EXPECT_TRUE(t.initFilter());
        EXPECT_EQ(setTrackerThreads(t, threads), 1);
    }

    void step(int k, BodyEstimate& e)
    {
        drawFrame(k, frame);
        EXPECT_TRUE(t.computeSkBgMaps());
        EXPECT_TRUE(t.processFrame());
        e = t.estimate();
    }
};

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// Runs a one-thread tracker and a tracker on `threads` threads side by side
// and requires the same bits everywhere, frame after frame.
void expectSameRun(int threads, float sleeve, int N, int frames)
{
    Tracker one(1, sleeve, N), many(threads, sleeve, N);
    ASSERT_EQ(trackerThreads(one.t), 1);
    ASSERT_EQ(trackerThreads(many.t), threads);
    for (int k = 1; k <= frames; ++k) {
        BodyEstimate e1, e2;
        one.step(k, e1);
        many.step(k, e2);
        ASSERT_EQ(std::memcmp(&e1, &e2, sizeof e1), 0) << "expectation differs at frame " << k;
        const PartFil* a[5] = {one.t.headPF.get(), one.t.torsoPF.get(), one.t.elbowPFR.get(),
                               one.t.elbowPFL.get(), one.t.handPF.get()};
        const PartFil* b[5] = {many.t.headPF.get(), many.t.torsoPF.get(), many.t.elbowPFR.get(),
                               many.t.elbowPFL.get(), many.t.handPF.get()};
        for (int f = 0; f < 5; ++f) {
            ASSERT_TRUE(sameBits(a[f]->part, b[f]->part)) << "filter " << f << " particles, frame " << k;
            ASSERT_TRUE(sameBits(a[f]->weight, b[f]->weight)) << "filter " << f << " weights, frame " << k;
        }
        ASSERT_EQ(one.t.rng.drawn(), many.t.rng.drawn()) << "frame " << k;
    }
    // The run did track: the hand estimates stay in the picture.
    const BodyEstimate e = one.t.estimate();
    for (const BodyPoint& h : {e.hand1, e.hand2})
        for (double v : {h.x, h.y})
            EXPECT_TRUE(std::isfinite(v) && v >= 0 && v <= 200) << v;
}

TEST(ParallelTracker, TwoThreadsGiveTheSameBitsAsOneWithWristSleeves)
{
    // Sleeves to the wrists also run the hand filter's sort after weighing.
    expectSameRun(2, 1.0f, 1500, 40);
}

TEST(ParallelTracker, ThreeThreadsGiveTheSameBitsAsOneWithShortSleeves)
{
    // Short sleeves: long forearm bands, the most rectangles per particle;
    // a particle count that does not split into whole chunks.
    expectSameRun(3, 0.33f, 1001, 40);
}

TEST(ParallelTracker, ThreadSettingNeedsFiltersAndSurvivesARebuild)
{
    Suivi2D t;
    EXPECT_EQ(trackerThreads(t), defaultTrackerThreads());
    EXPECT_EQ(setTrackerThreads(t, 3), 0); // no filter yet: nothing to set
    Tracker tr(3, 1.0f, 100);
    EXPECT_EQ(trackerThreads(tr.t), 3);
    EXPECT_EQ(tr.t.handPF->pool, tr.t.headPF->pool); // one pool for the five filters
    tr.t.opt.particles = 100;
    tr.t.opt.driftScale = 1.2f;
    tr.t.buildPartFilter();
    EXPECT_TRUE(tr.t.initFilter());
    EXPECT_EQ(trackerThreads(tr.t), 3);
    EXPECT_EQ(setTrackerThreads(tr.t, 0), 1); // at least one thread
    EXPECT_EQ(trackerThreads(tr.t), 1);
    BodyEstimate e;
    tr.step(1, e);
    EXPECT_TRUE(std::isfinite(e.torso.x));
}

// ---------------------------------------------------------------- made ahead

// The random draws of each frame, and the variates of some of them, made on
// a second thread ahead of the filters (as the tracking run's decoding thread
// makes them), against a tracker that draws for itself, filter by filter.
TEST(ParallelAhead, DrawsAndVariatesMadeAheadGiveTheSameBits)
{
    constexpr int kFrames = 30;
    const Suivi2D::Part order[Suivi2D::kParts] = {Suivi2D::Part::Head, Suivi2D::Part::Torso,
                                                  Suivi2D::Part::ElbowR, Suivi2D::Part::ElbowL,
                                                  Suivi2D::Part::Hands};
    for (float sleeve : {1.0f, 0.33f}) {
        Tracker plain(1, sleeve, 700), ahead(2, sleeve, 700);
        struct Slot {
            std::vector<int32_t> draws;
            std::vector<double> variates;
        };
        std::vector<Slot> slots(kFrames + 1);
        // Made in frame order on the other thread while the filters run; a
        // frame's filters wait only until its draws are made.
        std::atomic<int> made{0};
        std::thread maker([&] {
            for (int k = 1; k <= kFrames; ++k) {
                Slot& s = slots[static_cast<std::size_t>(k)];
                ahead.t.takeDraws(order, Suivi2D::kParts, s.draws);
                // The variates of the first k % 6 filters made here as well
                // (none, some, all five; the hands' four coordinates last).
                std::size_t end = 0;
                for (int f = 0; f < k % (Suivi2D::kParts + 1); ++f)
                    end += ahead.t.filter(order[f])->drawCount();
                for (std::size_t i = 0; i < end / 2; ++i)
                    s.variates.push_back(boxMullerFromDraws(s.draws[2 * i], s.draws[2 * i + 1]));
                made.store(k, std::memory_order_release);
            }
        });
        struct Join { // also when an assertion below returns early
            std::thread& t;
            ~Join() { t.join(); }
        } join{maker};
        for (int k = 1; k <= kFrames; ++k) {
            BodyEstimate e1, e2;
            drawFrame(k, plain.frame);
            ASSERT_TRUE(plain.t.computeSkBgMaps());
            for (Suivi2D::Part p : order)
                ASSERT_TRUE(plain.t.track(p));
            e1 = plain.t.estimate();

            while (made.load(std::memory_order_acquire) < k)
                std::this_thread::yield();
            const Slot& s = slots[static_cast<std::size_t>(k)];
            drawFrame(k, ahead.frame);
            ASSERT_TRUE(ahead.t.computeSkBgMaps());
            ahead.t.useDraws(order, Suivi2D::kParts, s.draws, &s.variates);
            ASSERT_TRUE(ahead.t.processFrame(&e2));
            ASSERT_EQ(std::memcmp(&e1, &e2, sizeof e1), 0) << "estimate differs at frame " << k;
            // processFrame's estimate is the one estimate() gives afterwards.
            const BodyEstimate e3 = ahead.t.estimate();
            ASSERT_EQ(std::memcmp(&e2, &e3, sizeof e2), 0) << "frame " << k;
            for (int f = 0; f < Suivi2D::kParts; ++f) {
                const PartFil* a = plain.t.filter(order[f]);
                const PartFil* b = ahead.t.filter(order[f]);
                ASSERT_TRUE(sameBits(a->part, b->part)) << "filter " << f << " particles, frame " << k;
                ASSERT_TRUE(sameBits(a->weight, b->weight)) << "filter " << f << " weights, frame " << k;
                EXPECT_EQ(b->presetDraws, nullptr); // each set of draws serves one drift
                EXPECT_EQ(b->presetVariates, nullptr);
            }
        }
        // Two draws per coordinate, the same count either way (the maker has
        // made every frame's once the last frame has run).
        EXPECT_EQ(ahead.t.rng.drawn(), plain.t.rng.drawn());
    }
}

TEST(ParallelAhead, EstimatesAreKeptOnlyWhileAFrameRuns)
{
    Tracker tr(2, 1.0f, 200);
    BodyEstimate e;
    tr.step(1, e);
    // After the frame, moving the particles moves the estimate: nothing kept
    // from the frame stands in for the particles' current state.
    for (int i = 0; i < tr.t.headPF->nbPart; ++i)
        tr.t.headPF->particle(i)[0] += 10.0;
    double head[2], mean[2];
    tr.t.headPF->estimate(head);
    tr.t.headPF->expectation(mean);
    EXPECT_EQ(head[0], mean[0]);
    EXPECT_EQ(tr.t.estimate().head.x, mean[0]);
    // Kept on request until let go.
    tr.t.headPF->keepEstimate(true);
    tr.t.headPF->particle(0)[1] += 1000.0;
    tr.t.headPF->estimate(head);
    EXPECT_EQ(head[1], mean[1]);
    tr.t.headPF->keepEstimate(false);
    tr.t.headPF->estimate(head);
    tr.t.headPF->expectation(mean);
    EXPECT_EQ(head[1], mean[1]);
}

} // namespace

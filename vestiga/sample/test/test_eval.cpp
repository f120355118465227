// Accuracy evaluation: unit conversion, statistics with known answers, swap
// counting, and refusal of malformed files.
#include "sample/Accuracy.h"
#include "sample/SampleFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;
using namespace vsample;

namespace {

const cv::Rect2d kArea(0, 0, 640, 480);

// Truth of n frames with the hands and head spread over the picture.
std::vector<TruthFrame> makeTruth(int n) {
    std::vector<TruthFrame> t;
    for (int k = 0; k < n; ++k) {
        TruthFrame f;
        f.frame = k;
        f.hand1 = {200.0 + k, 300.0};
        f.hand2 = {440.0 - k, 310.0};
        f.head = {320.0, 120.0 + 0.5 * k};
        f.elbowR = {180, 330};
        f.elbowL = {460, 330};
        t.push_back(f);
    }
    return t;
}

// Tracking lines that match the truth exactly (line i = frame i).
std::vector<TrackingLine> perfectTracking(const std::vector<TruthFrame>& truth) {
    TrackingUnits u(kArea);
    std::vector<TrackingLine> out;
    for (size_t k = 1; k < truth.size(); ++k) {
        TrackingLine l;
        l.hand1 = u.fromFrame(truth[k].hand1);
        l.hand2 = u.fromFrame(truth[k].hand2);
        l.head = u.fromFrame(truth[k].head);
        l.timeMs = 40.0 * double(k);
        out.push_back(l);
    }
    return out;
}

std::string run(const std::string& args, int* status) {
    std::string cmd = std::string("\"") + VESTIGA_EVAL_EXE + "\" " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    int st = p ? pclose(p) : -1;
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string writeTmp(const std::string& name, const std::string& text) {
    fs::path dir = fs::path(TEST_BINARY_DIR) / "eval_tmp";
    fs::create_directories(dir);
    std::string path = (dir / name).string();
    std::string error;
    EXPECT_TRUE(writeTextFile(path, text, &error)) << error;
    return path;
}

} // namespace

TEST(Accuracy, FramePixelsBecomeTrackingUnits) {
    TrackingUnits u(kArea);
    EXPECT_FLOAT_EQ(u.R, 300.0f);
    // Frame pixel centre 479.5 lands on processed pixel 299.5.
    cv::Point2d p = u.fromFrame({479.5, 239.5});
    EXPECT_NEAR(p.x, 99.5 / 300.0, 1e-12);
    EXPECT_NEAR(p.y, 149.5 / 300.0, 1e-12);
    // An image area offset in the frame and a different aspect.
    TrackingUnits v(cv::Rect2d(100, 40, 400, 200));
    EXPECT_FLOAT_EQ(v.R, 200.0f);
    cv::Point2d q = v.fromFrame({299.5, 139.5}); // processed (199.5, 99.5)
    EXPECT_NEAR(q.x, -0.5 / 200.0, 1e-12);
    EXPECT_NEAR(q.y, 99.5 / 200.0, 1e-12);
}

TEST(Accuracy, PercentilesAndStatisticsOfKnownErrors) {
    std::vector<double> sorted = {1, 2, 3, 4, 5};
    EXPECT_DOUBLE_EQ(percentile(sorted, 0.5), 3);
    EXPECT_DOUBLE_EQ(percentile(sorted, 0.9), 4.6);
    EXPECT_DOUBLE_EQ(percentile({7}, 0.9), 7);

    ErrorStats s = errorStats({0.5, 0.02, 0.3, 0.08, 0.15}, 0.1);
    EXPECT_EQ(s.count, 5);
    EXPECT_NEAR(s.mean, 0.21, 1e-12);
    EXPECT_DOUBLE_EQ(s.median, 0.15);
    EXPECT_NEAR(s.p90, 0.42, 1e-12);
    EXPECT_DOUBLE_EQ(s.within, 0.4);
    EXPECT_EQ(s.lost, 0);

    // A lost estimate counts as an infinite error.
    ErrorStats l = errorStats({0.01, NAN, 0.02}, 0.1);
    EXPECT_EQ(l.lost, 1);
    EXPECT_TRUE(std::isinf(l.mean));
    EXPECT_DOUBLE_EQ(l.median, 0.02);
    EXPECT_TRUE(std::isinf(l.p90));
    EXPECT_NEAR(l.within, 2.0 / 3.0, 1e-12);
}

TEST(Accuracy, EvaluationMeasuresOffsetsPerFrame) {
    std::vector<TruthFrame> truth = makeTruth(6);
    std::vector<TrackingLine> tr = perfectTracking(truth);
    const double hand2Err[5] = {0.02, 0.08, 0.15, 0.3, 0.5};
    for (int i = 0; i < 5; ++i) {
        tr[i].hand1 += cv::Point2d(0.03, 0.04); // 0.05 everywhere
        tr[i].hand2 += cv::Point2d(0, hand2Err[i]);
    }
    Evaluation e;
    std::string error;
    ASSERT_TRUE(evaluate(truth, tr, kArea, &e, &error)) << error;
    EXPECT_EQ(e.frames, 5);
    EXPECT_NEAR(e.hand1.mean, 0.05, 1e-12);
    EXPECT_NEAR(e.hand1.p90, 0.05, 1e-12);
    EXPECT_DOUBLE_EQ(e.hand1.within, 1.0);
    EXPECT_NEAR(e.hand2.mean, 0.21, 1e-12);
    EXPECT_NEAR(e.hand2.median, 0.15, 1e-12);
    EXPECT_NEAR(e.hand2.p90, 0.42, 1e-12);
    EXPECT_DOUBLE_EQ(e.hand2.within, 0.4);
    EXPECT_NEAR(e.head.mean, 0, 1e-12);
    EXPECT_EQ(e.swaps, 0);

    // Line i is frame i: shifting the tracking by one frame shows in the head error.
    std::vector<TrackingLine> shifted(tr.begin() + 1, tr.end());
    ASSERT_TRUE(evaluate(truth, shifted, kArea, &e, &error)) << error;
    EXPECT_EQ(e.frames, 4);
    EXPECT_NEAR(e.head.median, 0.5 / 300.0 * 0.625, 1e-9);
}

TEST(Accuracy, SwappedStretchesAreCountedOncePerRun) {
    std::vector<TruthFrame> truth = makeTruth(13); // 12 tracked frames
    std::vector<TrackingLine> tr = perfectTracking(truth);
    for (int i : {2, 3, 4, 8, 11}) std::swap(tr[i].hand1, tr[i].hand2);
    Evaluation e;
    std::string error;
    ASSERT_TRUE(evaluate(truth, tr, kArea, &e, &error)) << error;
    EXPECT_EQ(e.swaps, 3);
    EXPECT_EQ(e.swappedFrames, 5);
    EXPECT_NEAR(e.swappedShare, 5.0 / 12.0, 1e-12);
    EXPECT_EQ(e.swapped[8], 1);
    EXPECT_EQ(e.swapped[7], 0);

    // Hands near each other but off by noise are not a swap; a lost hand is not either.
    tr = perfectTracking(truth);
    tr[0].hand1 += cv::Point2d(0.01, 0);
    tr[1].hand1 = {NAN, NAN};
    ASSERT_TRUE(evaluate(truth, tr, kArea, &e, &error)) << error;
    EXPECT_EQ(e.swaps, 0);
    EXPECT_EQ(e.hand1.lost, 1);
}

TEST(Accuracy, TrackingLongerThanTheTruthIsRefused) {
    std::vector<TruthFrame> truth = makeTruth(5);
    std::vector<TrackingLine> tr = perfectTracking(truth);
    Evaluation e;
    std::string error;
    ASSERT_TRUE(evaluate(truth, tr, kArea, &e, &error)) << error; // 4 lines for 5 frames
    tr.push_back(tr.back());
    EXPECT_FALSE(evaluate(truth, tr, kArea, &e, &error));
    EXPECT_NE(error.find("5 lines"), std::string::npos) << error;
}

TEST(SampleFiles, MalformedInputNamesTheLine) {
    std::vector<TrackingLine> tr;
    std::string error;
    EXPECT_TRUE(parseTracking("1 2 3 4 5 6 40 \n1 2 3 4 5 6 80 \n", "t", &tr, &error)) << error;
    EXPECT_EQ(tr.size(), 2u);
    EXPECT_TRUE(parseTracking("-nan 2 3 4 5 6 40 \n", "t", &tr, &error)) << error;
    EXPECT_TRUE(std::isnan(tr[0].hand1.x));

    EXPECT_FALSE(parseTracking("1 2 3 4 5 6 40\n1 2 3 4 5 6\n", "t", &tr, &error));
    EXPECT_NE(error.find("t:2:"), std::string::npos) << error;
    EXPECT_NE(error.find("found 6"), std::string::npos) << error;
    EXPECT_FALSE(parseTracking("1 2 3 4 5 6 40\n1 2 x3 4 5 6 7\n", "t", &tr, &error));
    EXPECT_NE(error.find("t:2: 'x3'"), std::string::npos) << error;
    EXPECT_FALSE(parseTracking("1 2 3 4 5 6 40\n\n1 2 3 4 5 6 7\n", "t", &tr, &error));
    EXPECT_NE(error.find("t:2:"), std::string::npos) << error;
    EXPECT_TRUE(parseTracking("1 2 3 4 5 6 40\n\n", "t", &tr, &error)) << "a trailing empty line is harmless";
    EXPECT_FALSE(parseTracking("", "t", &tr, &error));
    EXPECT_NE(error.find("no tracking lines"), std::string::npos) << error;

    std::vector<TruthFrame> truth;
    EXPECT_TRUE(parseTruth(formatTruth(makeTruth(3)), "g", &truth, &error)) << error;
    EXPECT_EQ(truth.size(), 3u);
    EXPECT_DOUBLE_EQ(truth[2].hand1.x, 202.0);
    EXPECT_FALSE(parseTruth("# h\n0 1 2 3 4 5 6 7 8 9 10\n2 1 2 3 4 5 6 7 8 9 10\n", "g", &truth, &error));
    EXPECT_NE(error.find("g:3: frame number 2, expected 1"), std::string::npos) << error;
    EXPECT_FALSE(parseTruth("0 1 2 3\n", "g", &truth, &error));
    EXPECT_NE(error.find("g:1:"), std::string::npos) << error;

    cv::Rect2d area;
    EXPECT_TRUE(parseCalibrationArea("# c\nhead 1,2,3,4\narea 10,20,320,240 # crop\n", "c", &area, &error)) << error;
    EXPECT_EQ(area, cv::Rect2d(10, 20, 320, 240));
    EXPECT_FALSE(parseCalibrationArea("head 1,2,3,4\n", "c", &area, &error));
    EXPECT_NE(error.find("no 'area"), std::string::npos) << error;
    EXPECT_FALSE(parseCalibrationArea("area 1,2,3\n", "c", &area, &error));
    EXPECT_NE(error.find("c:1:"), std::string::npos) << error;
    EXPECT_FALSE(parseCalibrationArea("\narea 0,0,0,480\n", "c", &area, &error));
    EXPECT_NE(error.find("c:2:"), std::string::npos) << error;
}

TEST(EvalTool, ReportsTextOrJsonAndExitsTwoOnBadInput) {
    std::vector<TruthFrame> truth = makeTruth(6);
    std::vector<TrackingLine> tr = perfectTracking(truth);
    std::swap(tr[1].hand1, tr[1].hand2);
    std::string track;
    char buf[256];
    for (const TrackingLine& l : tr) {
        std::snprintf(buf, sizeof buf, "%f %f %f %f %f %f %f \n", l.hand1.x, l.hand1.y, l.hand2.x, l.hand2.y,
                      l.head.x, l.head.y, l.timeMs);
        track += buf;
    }
    std::string truthPath = writeTmp("g.truth", formatTruth(truth));
    std::string trackPath = writeTmp("t.track", track);
    std::string calibPath = writeTmp("c.calib", "area 0,0,640,480\n");
    std::string args = "--truth " + truthPath + " --tracking " + trackPath + " --calibration " + calibPath;

    int status = -1;
    std::string out = run(args, &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("hand swaps: 1, swapped frames: 1 (20.0%)"), std::string::npos) << out;
    out = run(args + " --json", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("\"frames\": 5"), std::string::npos) << out;
    EXPECT_NE(out.find("\"swaps\": 1"), std::string::npos) << out;
    EXPECT_NE(out.find("\"head\": {\"mean\": 0.000000"), std::string::npos) << out;

    out = run("--truth /nonexistent/g.truth --tracking " + trackPath + " --calibration " + calibPath, &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("/nonexistent/g.truth"), std::string::npos) << out;
    std::string badTrack = writeTmp("bad.track", "1 2 3 4 5 6 7 \n1 2 3\n");
    out = run("--truth " + truthPath + " --tracking " + badTrack + " --calibration " + calibPath, &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("bad.track:2:"), std::string::npos) << out;
    out = run("--truth " + truthPath, &status);
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("required"), std::string::npos) << out;
    out = run(args + " --bogus", &status);
    EXPECT_EQ(status, 2);
}

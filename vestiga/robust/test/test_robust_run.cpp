// Both methods through the tracking run: the classic file pinned to the byte,
// the robust one repeatable with any number of threads, the confidence file,
// and the robust method's accuracy on short generated signers.
#include "engine/WorkerPool.h"
#include "run/TrackingRun.h"
#include "sample/Accuracy.h"
#include "sample/SampleWriter.h"

#include "media/VideoFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace vestiga;

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

uint64_t fnv1a(const std::string& s)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string scratch(const std::string& name)
{
    fs::path p = fs::path(TEST_BINARY_DIR) / "robust_tmp";
    fs::create_directories(p);
    return (p / name).string();
}

// Tracks VIDEO with the calibration file CALIB; returns false with a message.
bool track(const std::string& video, const std::string& calib, TrackerMethod m, const std::string& out,
           const std::string& confidence = "", int threads = 0, bool readAhead = true)
{
    CalibrationFile cal;
    std::string error;
    if (!readCalibrationFile(calib, &cal, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    cal.tracker = m;
    media::VideoFile vf;
    TrackingOptions o;
    if (!vf.open(video, &error) || !vf.frame(cal.referenceFrame, o.reference)) {
        ADD_FAILURE() << error;
        return false;
    }
    vf.close();
    o.videoFile = video;
    o.calibration = toRunCalibration(cal, o.reference.rows);
    o.trackingFile = out;
    o.confidenceFile = confidence;
    TrackingRun run;
    run.setReadAhead(readAhead);
    if (!run.begTrack(o, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (threads > 0)
        setTrackerThreads(run.tracker(), threads);
    while (run.onTimer(&error) == TrackingRun::Tick::Frame) {
    }
    return true;
}

const std::string kSample = std::string(VESTIGA_SAMPLE_DIR) + "/signer";

} // namespace

TEST(ClassicMethod, SampleTrackingFileIsPinnedToTheByte)
{
    const std::string out = scratch("classic.track");
    ASSERT_TRUE(track(kSample + ".avi", kSample + ".calib", TrackerMethod::Classic, out));
    const std::string bytes = slurp(out);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 249);
    // The file vestiga-track has always written for the sample.
    EXPECT_EQ(fnv1a(bytes), 0x1042b6ca7f5df4c0ull) << std::hex << fnv1a(bytes);
}

TEST(RobustMethod, SameBytesTwiceAndWithAnyNumberOfThreads)
{
    std::string first;
    for (int threads : {1, 2, 3}) {
        const std::string out = scratch("robust-" + std::to_string(threads) + ".track");
        ASSERT_TRUE(track(kSample + ".avi", kSample + ".calib", TrackerMethod::Robust, out, "", threads));
        const std::string bytes = slurp(out);
        ASSERT_FALSE(bytes.empty());
        if (first.empty())
            first = bytes;
        EXPECT_TRUE(bytes == first) << threads << " threads give other bytes";
    }
    // The torso filter's draws made ahead on the decoding thread are the
    // draws it would take itself.
    const std::string inline_ = scratch("robust-no-read-ahead.track");
    ASSERT_TRUE(track(kSample + ".avi", kSample + ".calib", TrackerMethod::Robust, inline_, "", 0, false));
    EXPECT_TRUE(slurp(inline_) == first) << "reading ahead changes the bytes";
    // Not the classic file: the method really changed.
    const std::string classic = scratch("classic-cmp.track");
    ASSERT_TRUE(track(kSample + ".avi", kSample + ".calib", TrackerMethod::Classic, classic));
    EXPECT_NE(slurp(classic), first);
}

TEST(ConfidenceFile, OneLinePerTrackingLineInSecondsAndWithinZeroToOne)
{
    for (TrackerMethod m : {TrackerMethod::Classic, TrackerMethod::Robust}) {
        const std::string out = scratch("conf.track"), conf = scratch("conf.csv");
        ASSERT_TRUE(track(kSample + ".avi", kSample + ".calib", m, out, conf));
        std::vector<vsample::TrackingLine> lines;
        std::string error;
        ASSERT_TRUE(vsample::readTracking(out, &lines, &error)) << error;
        std::istringstream in(slurp(conf));
        std::string row;
        ASSERT_TRUE(std::getline(in, row));
        EXPECT_EQ(row, "time,hand1,hand2,head");
        size_t n = 0;
        double sum = 0;
        while (std::getline(in, row)) {
            ASSERT_LT(n, lines.size());
            double t = 0, c[3] = {0, 0, 0};
            char tail = 0;
            ASSERT_EQ(std::sscanf(row.c_str(), "%lf,%lf,%lf,%lf%c", &t, &c[0], &c[1], &c[2], &tail), 4) << row;
            EXPECT_NEAR(t, lines[n].timeMs / 1000.0, 0.0006) << row;
            for (double v : c) {
                EXPECT_GE(v, 0.0) << row;
                EXPECT_LE(v, 1.0) << row;
                sum += v;
            }
            ++n;
        }
        EXPECT_EQ(n, lines.size());
        EXPECT_GT(sum / (3.0 * n), 0.3) << "confidences are mostly high on the sample";
    }
}

TEST(ConfidenceFile, RefusedNamesLeaveTheTrackingFileUntouched)
{
    const std::string out = scratch("keep.track");
    {
        std::ofstream(out) << "earlier lines\n";
    }
    CalibrationFile cal;
    std::string error;
    ASSERT_TRUE(readCalibrationFile(kSample + ".calib", &cal, &error)) << error;
    media::VideoFile vf;
    TrackingOptions o;
    ASSERT_TRUE(vf.open(kSample + ".avi", &error) && vf.frame(0, o.reference)) << error;
    o.videoFile = kSample + ".avi";
    o.calibration = toRunCalibration(cal, o.reference.rows);
    o.trackingFile = out;
    for (const std::string& bad : {out, kSample + ".avi", scratch("no-such-dir/conf.csv")}) {
        o.confidenceFile = bad;
        TrackingRun run;
        EXPECT_FALSE(run.begTrack(o, &error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    EXPECT_EQ(slurp(out), "earlier lines\n");
}

// Loose bounds on short signers the method was not tuned on: other looks,
// sizes and frame rates, quick movements and a hand at the face.
TEST(RobustMethod, FollowsShortGeneratedSigners)
{
    struct Case {
        const char* script;
        int look;
        cv::Size size;
        double fps;
        bool shortSleeves;
    };
    for (const Case& k : {Case{"quick", 3, {800, 450}, 30, false}, Case{"face", 1, {640, 480}, 25, false}}) {
        vsample::SampleRequest r;
        r.outDir = scratch("signers");
        r.name = std::string("s-") + k.script;
        r.scene.script = k.script;
        r.scene.look = k.look;
        r.scene.size = k.size;
        r.scene.fps = k.fps;
        r.scene.shortSleeves = k.shortSleeves;
        r.scene.seed = r.scene.variant = 77;
        r.frames = 150;
        std::string error;
        ASSERT_TRUE(vsample::writeSample(r, &error)) << error;
        const vsample::SamplePaths p = vsample::samplePaths(r);
        const std::string out = scratch(r.name + ".track");
        ASSERT_TRUE(track(p.video, p.calibration, TrackerMethod::Robust, out));
        std::vector<vsample::TruthFrame> truth;
        std::vector<vsample::TrackingLine> lines;
        cv::Rect2d area;
        vsample::Evaluation ev;
        ASSERT_TRUE(vsample::readTruth(p.truth, &truth, &error) && vsample::readTracking(out, &lines, &error)
                    && vsample::readCalibrationArea(p.calibration, &area, &error)
                    && vsample::evaluate(truth, lines, area, &ev, &error))
            << error;
        SCOPED_TRACE(k.script);
        EXPECT_GT(ev.hand1.within, 0.75);
        EXPECT_GT(ev.hand2.within, 0.75);
        EXPECT_GT(ev.head.within, 0.95);
        EXPECT_EQ(vsample::longSwaps(ev, 5), 0);
    }
}

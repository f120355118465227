// Whole tracking files of the sample signer pinned byte for byte: the sample
// as calibrated (sleeves to the wrist), the same with short sleeves, an H.264
// copy with B-frames and a 1280 x 720 copy, each run on 1, 2 and 3 threads and
// with and without the read-ahead decoder. The expected files live in
// test/golden/. Each input's decoded pictures are pinned too (a hash), so
// that a changed input is told apart from a changed tracker.
//
// To regenerate the expected files after an intended change of the tracking
// numbers, run with VESTIGA_GOLDEN_WRITE=1 in the environment.
#include "run/TrackingRun.h"

#include "RunTestUtil.h"
#include "media/VideoFile.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace vestiga;
using namespace vestiga::test;

namespace {

const std::string kSampleVideo = std::string(VESTIGA_SAMPLE_DIR) + "/signer.avi";
const std::string kSampleCalib = std::string(VESTIGA_SAMPLE_DIR) + "/signer.calib";
const std::string kGoldenDir = std::string(TEST_SOURCE_DIR) + "/test/golden/";

// 64-bit FNV-1a over the pixels of every decoded frame, in order.
std::string decodedHash(const std::string& video)
{
    cv::VideoCapture cap(video, cv::CAP_FFMPEG);
    uint64_t h = 1469598103934665603ull;
    cv::Mat f;
    int n = 0;
    while (cap.read(f) && !f.empty()) {
        ++n;
        for (int y = 0; y < f.rows; ++y) {
            const uchar* p = f.ptr<uchar>(y);
            for (size_t i = 0; i < f.cols * f.elemSize(); ++i) {
                h ^= p[i];
                h *= 1099511628211ull;
            }
        }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d frames %016llx", n, static_cast<unsigned long long>(h));
    return buf;
}

bool writingGolden()
{
    const char* v = std::getenv("VESTIGA_GOLDEN_WRITE");
    return v && *v && std::string(v) != "0";
}

// Compares `actual` with the stored file `name`, or stores it when asked to.
void expectGolden(const std::string& name, const std::string& actual, const std::string& label)
{
    const std::string path = kGoldenDir + name;
    if (writingGolden()) {
        writeFile(path, actual);
        return;
    }
    ASSERT_TRUE(fileExists(path)) << path;
    const std::string expected = readFile(path);
    if (expected == actual)
        return;
    const auto e = lines(expected), a = lines(actual);
    size_t k = 0;
    while (k < e.size() && k < a.size() && e[k] == a[k])
        ++k;
    ADD_FAILURE() << label << " differs from " << path << " first at line " << k + 1 << ":\n  expected "
                  << (k < e.size() ? e[k] : "(end)") << "\n  actual   " << (k < a.size() ? a[k] : "(end)");
}

// Tracks `video` with the sample's calibration (its area and head box scaled
// by sx, sy) on `threads` threads; returns the tracking file's bytes.
std::string track(const std::string& video, const TempDir& dir, bool wrist, double sx, double sy, int threads,
                  bool readAhead)
{
    CalibrationFile cal;
    std::string error;
    EXPECT_TRUE(readCalibrationFile(kSampleCalib, &cal, &error)) << error;
    for (int k = 0; k < 4; k += 2) {
        cal.area[k] *= sx;
        cal.area[k + 1] *= sy;
        cal.head[k] *= sx;
        cal.head[k + 1] *= sy;
        cal.shoulders[k] *= sx;
        cal.shoulders[k + 1] *= sy;
    }
    cal.shoulderDistance *= sx;
    cal.sleevesToWrist = wrist;
    TrackingOptions o;
    media::VideoFile vf;
    EXPECT_TRUE(vf.open(video, &error)) << error;
    EXPECT_TRUE(vf.frame(cal.referenceFrame, o.reference));
    vf.close();
    o.videoFile = video;
    o.trackingFile = dir.file("out.track");
    o.calibration = toRunCalibration(cal, o.reference.rows);

    TrackingRun run;
    run.setReadAhead(readAhead);
    if (!run.begTrack(o, &error)) {
        ADD_FAILURE() << error;
        return std::string();
    }
    EXPECT_EQ(setTrackerThreads(run.tracker(), threads), 1);
    TrackingRun::Tick t;
    while ((t = run.onTimer(&error)) == TrackingRun::Tick::Frame) {
    }
    EXPECT_EQ(t, TrackingRun::Tick::EndOfVideo) << error;
    return readFile(o.trackingFile);
}

// Every thread count and both decoders give the stored file.
void checkAllWays(const std::string& video, const std::string& golden, bool wrist, double sx = 1, double sy = 1)
{
    TempDir dir;
    const struct {
        int threads;
        bool readAhead;
    } ways[] = {{1, false}, {2, true}, {3, true}};
    for (const auto& w : ways) {
        const std::string label = golden + " on " + std::to_string(w.threads) + " thread(s)"
                                  + (w.readAhead ? " with read-ahead" : "");
        const std::string bytes = track(video, dir, wrist, sx, sy, w.threads, w.readAhead);
        ASSERT_FALSE(bytes.empty()) << label;
        expectGolden(golden, bytes, label);
        if (writingGolden())
            return;
    }
}

} // namespace

TEST(TrackingGolden, SampleWithSleevesToTheWrist)
{
    expectGolden("sample.frames", decodedHash(kSampleVideo), "sample frames");
    checkAllWays(kSampleVideo, "sample-wrist.track", true);
}

TEST(TrackingGolden, SampleWithShortSleeves)
{
    checkAllWays(kSampleVideo, "sample-short.track", false);
}

TEST(TrackingGolden, H264CopyWithBFrames)
{
    TempDir dir;
    const std::string video = dir.file("signer.mp4");
    if (!makeH264WithBFrames(kSampleVideo, video))
        GTEST_SKIP() << "ffmpeg with libx264 is not available";
    const std::string frames = decodedHash(video);
    if (!writingGolden() && frames != readFile(kGoldenDir + "h264.frames"))
        GTEST_SKIP() << "this encoder makes other pictures (" << frames << "); the tracker is not in question";
    expectGolden("h264.frames", frames, "H.264 frames");
    checkAllWays(video, "h264.track", true);
}

TEST(TrackingGolden, Copy1280x720)
{
    TempDir dir;
    const std::string video = dir.file("signer720.avi");
    {
        cv::VideoCapture in(kSampleVideo, cv::CAP_FFMPEG);
        cv::VideoWriter out(video, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                            cv::Size(1280, 720), true);
        ASSERT_TRUE(out.isOpened());
        cv::Mat f, g;
        for (int k = 0; k < 100 && in.read(f); ++k) {
            cv::resize(f, g, cv::Size(1280, 720), 0, 0, cv::INTER_LINEAR);
            out.write(g);
        }
    }
    expectGolden("hd.frames", decodedHash(video), "1280 x 720 frames");
    checkAllWays(video, "hd.track", true, 2.0, 1.5);
}

// The tracking run on small synthetic videos: the tracking file's lines, their
// time column, the stop at the end of the video, repeatability, the
// corrections, the annotated video and the refusal of bad inputs.
#include "run/TrackingRun.h"

#include "RunTestUtil.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace vestiga;
using namespace vestiga::test;

namespace {

const cv::Size kSize(320, 240);

// A run of the signer video `video` with the reference taken from its frame 0.
TrackingOptions signerOptions(const std::string& video, const std::string& tracking, bool wrist = true)
{
    TrackingOptions o;
    o.videoFile = video;
    o.trackingFile = tracking;
    cv::VideoCapture cap(video, cv::CAP_FFMPEG);
    cap.read(o.reference);
    CalibrationFile c = signerCalibration(cv::Size(o.reference.cols, o.reference.rows));
    c.sleevesToWrist = wrist;
    o.calibration = toRunCalibration(c, o.reference.rows);
    return o;
}

// Runs to the end; returns the number of lines written.
int runToEnd(TrackingRun& run)
{
    std::string error;
    int n = 0;
    for (;;) {
        const TrackingRun::Tick t = run.onTimer(&error);
        if (t != TrackingRun::Tick::Frame) {
            EXPECT_EQ(t, TrackingRun::Tick::EndOfVideo) << error;
            return n;
        }
        ++n;
    }
}

std::string fixed6(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%f", v);
    return buf;
}

} // namespace

TEST(TrackingRunTest, FileTimeFallsBackToTheFrameIndexWhenTheReaderReportsNoProgress)
{
    EXPECT_EQ(fileFrameTime(80, 3, 25, 40), 80);
    EXPECT_EQ(fileFrameTime(0, 9, 25, 280), 320);  // the reader's 0 near the end of an H.264 file
    EXPECT_EQ(fileFrameTime(280, 9, 25, 280), 320); // not above the previous line either
    EXPECT_DOUBLE_EQ(fileFrameTime(0, 2, 30, 0), 1000.0 / 30);
}

TEST(TrackingRunTest, WritesOneFlushedLinePerFrameAndStopsAtTheEnd)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi"), track = dir.file("signer.track");
    writeSignerVideo(video, 12, kSize);
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(signerOptions(video, track), &error)) << error;
    EXPECT_TRUE(run.running());
    EXPECT_EQ(run.totalFrames(), 11);
    EXPECT_EQ(readFile(track), ""); // created at the start, empty

    for (int k = 1; k <= 11; ++k) {
        ASSERT_EQ(run.onTimer(&error), TrackingRun::Tick::Frame) << error;
        EXPECT_EQ(run.posFrame(), k);
        // Every line is on disk as soon as the tick returns.
        const std::vector<std::string> ls = lines(readFile(track));
        ASSERT_EQ(ls.size(), static_cast<size_t>(k));
        const std::string& line = ls.back();
        EXPECT_TRUE(isTrackingLine(line)) << "'" << line << "'";
        // Columns: hands 1 and 2, then the head, x from the centre line and y
        // from the top in units of the picture height; then the time.
        const BodyEstimate& e = run.estimate();
        const double R = 240.0f * 400.0f / 320.0f;
        const std::string expect = fixed6((e.hand1.x - 200) / R) + " " + fixed6(e.hand1.y / R) + " "
                                   + fixed6((e.hand2.x - 200) / R) + " " + fixed6(e.hand2.y / R) + " "
                                   + fixed6((e.head.x - 200) / R) + " " + fixed6(e.head.y / R) + " "
                                   + fixed6(k * 40.0)
                                   + " ";
        EXPECT_EQ(line, expect);
    }
    EXPECT_EQ(readFile(track).back(), '\n');
    EXPECT_EQ(run.onTimer(&error), TrackingRun::Tick::EndOfVideo);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(lines(readFile(track)).size(), 11u);
    run.stopTrack(); // a second stop is harmless
}

TEST(TrackingRunTest, RepeatedRunsGiveIdenticalFiles)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 10, kSize);
    std::string text[3];
    for (int i = 0; i < 3; ++i) {
        const std::string track = dir.file("run" + std::to_string(i) + ".track");
        TrackingRun run;
        run.setReadAhead(i != 2); // the third decodes on the tracking thread
        std::string error;
        ASSERT_TRUE(run.begTrack(signerOptions(video, track), &error)) << error;
        EXPECT_EQ(runToEnd(run), 9);
        text[i] = readFile(track);
    }
    EXPECT_FALSE(text[0].empty());
    EXPECT_EQ(text[0], text[1]);
    EXPECT_EQ(text[0], text[2]);

    // The same object started again behaves like a fresh program.
    TrackingRun run;
    std::string error;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(run.begTrack(signerOptions(video, dir.file("again.track")), &error)) << error;
        runToEnd(run);
        EXPECT_EQ(readFile(dir.file("again.track")), text[0]);
    }
}

TEST(TrackingRunTest, SetsUpTheTrackerFromTheCalibration)
{
    // 640 x 480, image area y 96 .. 480: the single-precision fraction
    // 1 - 384/480 crops from row 95, not 96.
    TempDir dir;
    const std::string video = dir.file("big.avi");
    writeSignerVideo(video, 3, cv::Size(640, 480));
    TrackingOptions o = signerOptions(video, dir.file("t.track"));
    CalibrationFile c = signerCalibration(cv::Size(640, 480));
    c.area[1] = 96;
    c.area[2] = 512;
    c.area[3] = 384;
    c.head[1] = 100;
    o.calibration = toRunCalibration(c, 480);
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(o, &error)) << error;
    Suivi2D& t = run.tracker();
    EXPECT_EQ(t.opt.minY, 1.0f - 384.0f / 480.0f);
    EXPECT_EQ(static_cast<int>(t.opt.minY * 480.0f), 95);
    EXPECT_EQ(t.opt.maxY, 1.0f);
    EXPECT_EQ(t.opt.maxX, 512.0f / 640.0f);
    EXPECT_EQ(t.resW, 400);
    EXPECT_EQ(t.opt.sleeves, 1.0f);
    const float dS = 160.0f; // shoulders 240 .. 400 at one height
    EXPECT_EQ(t.opt.handWidth, static_cast<float>(static_cast<double>(dS) * 0.4 / 384.0));
    EXPECT_EQ(t.opt.bodyScale, static_cast<float>(static_cast<double>(dS) * 3.5 / 384.0));
    EXPECT_EQ(t.opt.headWidth, 88.0f / 384.0f);
    EXPECT_EQ(t.opt.foregroundThreshold, 180);
    EXPECT_EQ(run.tracker().skinPic.size(), cv::Size(44, 60)); // the central half of 88 x 120
    EXPECT_EQ(static_cast<int>(dS * 400.0f / 640.0f), 100);
}

TEST(TrackingRunTest, CorrectionsFollowTheSleeveChoice)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 8, kSize);
    for (bool wrist : {true, false}) {
        TrackingRun run;
        std::string error;
        const TrackingOptions o = signerOptions(video, dir.file("c.track"), wrist);
        ASSERT_TRUE(run.begTrack(o, &error)) << error;
        // A corrector of our own, fed with the tracker's raw expectation.
        CorrectionBN mine;
        mine.initialize(0.95f, static_cast<int>(o.calibration.dShould * 400.0f / 320.0f));
        while (run.onTimer(&error) == TrackingRun::Tick::Frame) {
            const BodyEstimate raw = run.tracker().estimate();
            BodyEstimate expect = raw;
            if (wrist)
                mine.correctHand(expect);
            mine.correctElbow(expect);
            ASSERT_TRUE(run.estimate() == expect) << (wrist ? "wrist" : "short");
            if (!wrist) { // hands uncorrected
                ASSERT_EQ(run.estimate().hand1.x, raw.hand1.x);
                ASSERT_EQ(run.estimate().hand2.y, raw.hand2.y);
            }
        }
    }
}

TEST(TrackingRunTest, TimeColumnOfAnH264FileWithBFrames)
{
    TempDir dir;
    const std::string mjpg = dir.file("signer.avi"), h264 = dir.file("signer.mp4");
    writeSignerVideo(mjpg, 20, kSize);
    if (!makeH264WithBFrames(mjpg, h264))
        GTEST_SKIP() << "the ffmpeg command line (with libx264) is not available";

    // The reader does report 0 near the end of such a file.
    {
        cv::VideoCapture cap(h264, cv::CAP_FFMPEG);
        cv::Mat f;
        int zeros = 0;
        for (int k = 0; cap.read(f); ++k)
            zeros += k > 0 && cap.get(cv::CAP_PROP_POS_MSEC) == 0;
        EXPECT_GT(zeros, 0) << "this reader no longer shows the fault; the test still checks the times";
    }

    const std::string track = dir.file("h264.track");
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(signerOptions(h264, track), &error)) << error;
    EXPECT_EQ(runToEnd(run), 19);
    const std::vector<std::string> ls = lines(readFile(track));
    ASSERT_EQ(ls.size(), 19u);
    for (size_t i = 0; i < ls.size(); ++i) {
        EXPECT_TRUE(isTrackingLine(ls[i]));
        EXPECT_EQ(numbers(ls[i])[6], 40.0 * (i + 1)) << "line " << i + 1;
    }
}

TEST(TrackingRunTest, AnnotatedVideoHasTheProcessedPictureSize)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi"), annotated = dir.file("annotated.avi");
    // 336 x 250: the processed picture is 400 x 297.6..., truncated.
    writeSignerVideo(video, 6, cv::Size(336, 250));
    TrackingOptions o = signerOptions(video, dir.file("a.track"));
    o.annotatedVideo = annotated;
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(o, &error)) << error;
    const cv::Size processed = run.picture().size();
    EXPECT_EQ(processed.width, 400);
    EXPECT_EQ(runToEnd(run), 5);

    cv::VideoCapture cap(annotated, cv::CAP_FFMPEG);
    ASSERT_TRUE(cap.isOpened());
    EXPECT_EQ(cap.get(cv::CAP_PROP_FPS), 25.0);
    EXPECT_EQ(static_cast<int>(cap.get(cv::CAP_PROP_FOURCC)), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    cv::Mat f;
    int frames = 0;
    while (cap.read(f)) {
        EXPECT_EQ(f.size(), processed);
        ++frames;
    }
    EXPECT_EQ(frames, 5);
    // The estimates are drawn: the last picture holds the hand-1 cyan and the
    // torso yellow (blue-green-red order).
    const cv::Mat& pic = run.picture();
    int cyan = 0, yellow = 0;
    for (int y = 0; y < pic.rows; ++y)
        for (int x = 0; x < pic.cols; ++x) {
            const cv::Vec3b p = pic.at<cv::Vec3b>(y, x);
            cyan += p == cv::Vec3b(255, 255, 0);
            yellow += p == cv::Vec3b(0, 255, 255);
        }
    EXPECT_GT(cyan, 10);
    EXPECT_GT(yellow, 10);
}

// A run that shows no picture (as vestiga-track's) skips the drawing: its
// picture is left unmarked, and its files are those of a run that draws.
TEST(TrackingRunTest, UnshownPictureIsNotMarkedAndChangesNoFile)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 6, kSize);
    const auto marks = [](const cv::Mat& pic) {
        int n = 0;
        for (int y = 0; y < pic.rows; ++y)
            for (int x = 0; x < pic.cols; ++x)
                n += pic.at<cv::Vec3b>(y, x) == cv::Vec3b(255, 255, 0); // hand 1, cyan
        return n;
    };
    struct Result {
        int marks = 0;
        std::string track, annotated;
    };
    const auto track = [&](bool markPicture, bool annotated, const std::string& name) {
        TrackingOptions o = signerOptions(video, dir.file(name + ".track"));
        o.markPicture = markPicture;
        if (annotated)
            o.annotatedVideo = dir.file(name + ".avi");
        TrackingRun run;
        std::string error;
        Result r;
        if (!run.begTrack(o, &error)) {
            ADD_FAILURE() << error;
            return r;
        }
        EXPECT_EQ(runToEnd(run), 5);
        r.marks = marks(run.picture());
        r.track = readFile(o.trackingFile);
        r.annotated = annotated ? readFile(o.annotatedVideo) : std::string();
        return r;
    };
    const Result shown = track(true, false, "shown"), unshown = track(false, false, "unshown");
    const Result shownVideo = track(true, true, "shown-video"), unshownVideo = track(false, true, "unshown-video");
    EXPECT_GT(shown.marks, 10);
    EXPECT_EQ(unshown.marks, 0);
    EXPECT_FALSE(shown.track.empty());
    EXPECT_EQ(unshown.track, shown.track);
    // The annotated video is marked either way.
    EXPECT_GT(unshownVideo.marks, 10);
    EXPECT_FALSE(shownVideo.annotated.empty());
    EXPECT_EQ(unshownVideo.annotated, shownVideo.annotated);
    EXPECT_EQ(unshownVideo.track, shown.track);
}

TEST(TrackingRunTest, RefusesBadInputWithoutTouchingTheTrackingFile)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi"), track = dir.file("kept.track");
    writeSignerVideo(video, 4, kSize);
    const TrackingOptions good = signerOptions(video, track);
    writeFile(track, "precious\n");

    auto refused = [&](auto change, const std::string& expectInMessage) {
        TrackingOptions o = good;
        change(o);
        TrackingRun run;
        std::string error;
        EXPECT_FALSE(run.begTrack(o, &error)) << expectInMessage;
        EXPECT_NE(error.find(expectInMessage), std::string::npos) << "message: " << error;
        EXPECT_FALSE(run.running());
        EXPECT_EQ(readFile(track), "precious\n");
    };
    // What the command line cannot give: the application's own reference
    // picture and calibration, and the camera mode. (The command-line tests
    // cover the rest of the inputs.)
    refused([](TrackingOptions& o) { o.reference = cv::Mat(); }, "reference picture");
    refused([&](TrackingOptions& o) { o.reference = cv::Mat(200, 320, CV_8UC3); }, "200");
    refused([](TrackingOptions& o) { o.calibration.hx = 300; }, "head box");
    refused([](TrackingOptions& o) { o.calibration.dShould = 0; }, "shoulder");
    refused([&](TrackingOptions& o) { o.annotatedVideo = track; }, "same file");
    refused([&](TrackingOptions& o) { o.source = TrackingOptions::Source::Camera; }, "annotated video");

    // Outputs that would overwrite an input, or that cannot be created.
    auto refusedOutput = [&](const std::string& path, const std::string& expect) {
        TrackingOptions o = good;
        o.trackingFile = path;
        TrackingRun run;
        std::string error;
        EXPECT_FALSE(run.begTrack(o, &error));
        EXPECT_NE(error.find(expect), std::string::npos) << error;
    };
    const std::string videoBytes = readFile(video);
    refusedOutput(video, "would be overwritten");
    EXPECT_EQ(readFile(video), videoBytes);
    refusedOutput(dir.path(), "is a directory");
    refusedOutput("", "no file name");
}

TEST(TrackingRunTest, FailsDuringTheRunWhenTheFileCannotBeWritten)
{
    if (!fileExists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this system";
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 4, kSize);
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(signerOptions(video, "/dev/full"), &error)) << error;
    EXPECT_EQ(run.onTimer(&error), TrackingRun::Tick::Failed);
    EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
    EXPECT_FALSE(run.running());
}

TEST(TrackingRunTest, CameraModeWithoutACameraIsRefused)
{
    ::setenv("OPENCV_LOG_LEVEL", "ERROR", 0);
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 2, kSize);
    TrackingOptions o = signerOptions(video, dir.file("cam.track"));
    o.source = TrackingOptions::Source::Camera;
    o.camera = 97;
    o.annotatedVideo = dir.file("cam.avi");
    TrackingRun run;
    std::string error;
    EXPECT_FALSE(run.begTrack(o, &error));
    EXPECT_NE(error.find("camera 97"), std::string::npos) << error;
    EXPECT_FALSE(fileExists(dir.file("cam.track")));
    EXPECT_FALSE(fileExists(dir.file("cam.avi")));
}

TEST(TrackingRunTest, CameraModeCountsTicksAndRecordsEveryAnnotatedPicture)
{
    TempDir dir;
    const std::string video = dir.file("signer.avi");
    writeSignerVideo(video, 6, kSize);
    TrackingOptions o = signerOptions(video, dir.file("cam.track"));
    o.source = TrackingOptions::Source::Camera;
    o.cameraStandIn = video;
    o.annotatedVideo = dir.file("cam.avi");
    TrackingRun run;
    std::string error;
    ASSERT_TRUE(run.begTrack(o, &error)) << error;
    int lines = 0;
    while (run.onTimer(&error) == TrackingRun::Tick::Frame)
        ++lines;
    // A camera never ends: running out of frames is a failure of the source.
    EXPECT_NE(error.find("no further frame"), std::string::npos) << error;
    run.stopTrack();
    EXPECT_EQ(lines, 5);
    std::istringstream in(readFile(dir.file("cam.track")));
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::string time = line.substr(line.rfind(' ', line.size() - 2) + 1);
        EXPECT_EQ(time, fixed6(40.0 * n) + " ") << "line " << n;
    }
    cv::VideoCapture rec(dir.file("cam.avi"));
    ASSERT_TRUE(rec.isOpened());
    EXPECT_EQ(rec.get(cv::CAP_PROP_FRAME_COUNT), 5);
    EXPECT_EQ(rec.get(cv::CAP_PROP_FPS), 25);
}

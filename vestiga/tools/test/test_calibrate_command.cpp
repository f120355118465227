// vestiga-calibrate and vestiga-track --calibration auto: usage errors (exit
// 2), videos without a signer (exit 1, nothing written), a proposal written
// with its preview, the same bytes on every run, and tracking from the
// proposal.
#include "CalibrateCommand.h"
#include "TrackCommand.h"

#include "RunTestUtil.h"
#include "media/VideoFile.h"
#include "run/Calibration.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include <sstream>

using namespace vestiga;
using namespace vestiga::test;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result calibrate(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = runCalibrateCommand(args, out, err);
    return {status, out.str(), err.str()};
}

// The first `frames` frames of the sample signer, each passed through `paint`.
void writeClip(const std::string& path, int frames, double gain = 1.0)
{
    media::VideoFile sample;
    std::string error;
    ASSERT_TRUE(sample.open(std::string(VESTIGA_SAMPLE_DIR) + "/signer.avi", &error)) << error;
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0,
                      sample.frameSize(), true);
    ASSERT_TRUE(w.isOpened());
    cv::Mat f;
    for (int k = 0; k < frames; ++k) {
        ASSERT_TRUE(sample.frame(k, f));
        w.write(cv::Mat(f * gain));
    }
}

} // namespace

TEST(CalibrateCommandTest, RefusesBadUsage)
{
    const Result help = calibrate({"--help"});
    EXPECT_EQ(help.status, kCalibrateOk);
    EXPECT_NE(help.out.find("--preview"), std::string::npos);

    TempDir dir;
    const std::string clip = dir.file("clip.avi");
    writeClip(clip, 3);
    const std::string calib = dir.file("out.calib");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {clip},                                                    // no -o
             {"-o", calib},                                             // no video
             {clip, "-o", calib, "-o", dir.file("other.calib")},        // -o twice
             {clip, "-o", calib, "--reference-frame", "1", "--reference-frame", "2"},
             {clip, "-o", calib, "--reference-frame", "-1"},
             {clip, "-o", calib, "--reference-frame", "x"},
             {clip, "-o", calib, "--sleeves", "short"},                 // unknown option
             {clip, clip, "-o", calib},                                 // two videos
             {clip, "-o", clip},                                        // over the video
             {clip, "-o", calib, "--preview", clip},                    // preview over the video
             {clip, "-o", calib, "--preview", dir.file("p.unknown")},   // no such picture format
             {dir.file("missing.avi"), "-o", calib},                    // no such video
             {clip, "-o", calib, "--reference-frame", "3"},             // past the end
         }) {
        const Result r = calibrate(args);
        EXPECT_EQ(r.status, kCalibrateBadInput) << r.err;
        EXPECT_NE(r.err.find("vestiga-calibrate: "), std::string::npos);
        EXPECT_FALSE(fileExists(calib)) << r.err;
    }
    EXPECT_GT(readFile(clip).size(), 1000u); // the video was left alone
}

TEST(CalibrateCommandTest, WithoutASignerWritesNothing)
{
    TempDir dir;
    const std::string dark = dir.file("dark.avi");
    writeClip(dark, 5, 0.1);
    const std::string calib = dir.file("out.calib");
    writeFile(calib, "earlier contents\n");
    const Result r = calibrate({dark, "-o", calib, "--preview", dir.file("p.png")});
    EXPECT_EQ(r.status, kCalibrateNoSigner);
    EXPECT_NE(r.err.find("too dark"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(calib), "earlier contents\n");
    EXPECT_FALSE(fileExists(dir.file("p.png")));
}

TEST(CalibrateCommandTest, WritesTheProposalAndItsPreviewTheSameEveryTime)
{
    TempDir dir;
    const std::string clip = dir.file("clip.avi");
    writeClip(clip, 60);
    const std::string a = dir.file("a.calib"), b = dir.file("b.calib"), preview = dir.file("a.png");
    const Result r = calibrate({clip, "-o", a, "--preview", preview, "--reference-frame", "2"});
    ASSERT_EQ(r.status, kCalibrateOk) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("wrote " + a), std::string::npos) << r.err;
    ASSERT_EQ(calibrate({clip, "-o", b, "--reference-frame", "2"}).status, kCalibrateOk);
    EXPECT_EQ(readFile(a), readFile(b));

    CalibrationFile c;
    std::string error;
    ASSERT_TRUE(readCalibrationFile(a, &c, &error)) << error;
    EXPECT_EQ(c.referenceFrame, 2);
    EXPECT_EQ(checkCalibration(c, 640, 480), "");
    const cv::Mat picture = cv::imread(preview);
    EXPECT_EQ(picture.size(), cv::Size(640, 480));
}

TEST(CalibrateCommandTest, TrackingWithTheAutomaticCalibration)
{
    TempDir dir;
    const std::string clip = dir.file("clip.avi");
    writeClip(clip, 12);
    const std::string track = dir.file("clip.track");
    std::ostringstream err;
    ASSERT_EQ(runTrackCommand({clip, "-o", track, "--calibration", "auto", "--quiet"}, err, false), kTrackOk)
        << err.str();
    EXPECT_NE(err.str().find("--calibration auto: proposed from the video"), std::string::npos) << err.str();
    const std::vector<std::string> written = lines(readFile(track));
    ASSERT_EQ(written.size(), 11u);
    EXPECT_TRUE(isTrackingLine(written.front()));

    // The same proposal saved by vestiga-calibrate gives the same tracking file.
    const std::string calib = dir.file("clip.calib"), again = dir.file("again.track");
    ASSERT_EQ(calibrate({clip, "-o", calib}).status, kCalibrateOk);
    std::ostringstream err2;
    ASSERT_EQ(runTrackCommand({clip, "-o", again, "--calibration", calib, "--quiet"}, err2, false), kTrackOk)
        << err2.str();
    EXPECT_EQ(readFile(track), readFile(again));

    // No signer: status 1 and no tracking file.
    const std::string dark = dir.file("dark.avi"), darkTrack = dir.file("dark.track");
    writeClip(dark, 4, 0.1);
    std::ostringstream err3;
    EXPECT_EQ(runTrackCommand({dark, "-o", darkTrack, "--calibration", "auto"}, err3, false), kTrackRunFailed);
    EXPECT_NE(err3.str().find("no signer found"), std::string::npos) << err3.str();
    EXPECT_FALSE(fileExists(darkTrack));
}

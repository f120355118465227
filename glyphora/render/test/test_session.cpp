// The sign-making session: loads that fail safely, key frames and the sign's
// boundaries, the steps, hand visibility, the tick and the description.
#include "render/SignSession.h"

#include "render/HeadlessGL.h"

#include "SyntheticSign.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace glyphora;
using media::MovieTime;

namespace {

// Two synthetic signs (320x240, 50 frames; 160x120, 10 frames) and a
// malformed tracking file, written once.
const fs::path& dataDir()
{
    static const fs::path dir = [] {
        fs::path d = fs::path(TEST_BINARY_DIR) / "session_data";
        synthetic::Sign sign;
        synthetic::Sign small;
        small.width = 160;
        small.height = 120;
        small.frames = 10;
        if (!sign.writeFiles(d, "sign") || !small.writeFiles(d, "small"))
            ADD_FAILURE() << "cannot write the synthetic signs in " << d;
        if (!fs::exists(d / "bad.track"))
            std::ofstream(d / "bad.track") << "0 0 0 0 0 0 40 \n0 0 zero 0 0 0 80 \n";
        return d;
    }();
    return dir;
}

std::string data(const char* name) { return (dataDir() / name).string(); }

MovieTime frameTime(int k) { return MovieTime::ofFrame(k, 25.0); }

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(s.loadVideo(data("sign.avi"), &error)) << error;
        ASSERT_TRUE(s.loadTracking(data("sign.track"), &error)) << error;
    }
    // Moves the main movie to frame k, lets a tick run and captures.
    void captureAt(int k)
    {
        s.setMainTime(frameTime(k));
        s.tick();
        std::string error;
        ASSERT_TRUE(s.captureKeyFrame(&error)) << error;
    }
    SignSession s;
};

} // namespace

TEST(SessionLoadTest, FailedLoadsKeepThePreviousStateAndSayWhy)
{
    SignSession s;
    std::string error;
    EXPECT_FALSE(s.captureKeyFrame(&error));
    EXPECT_NE(error.find("no video"), std::string::npos) << error;
    EXPECT_FALSE(s.tick());

    EXPECT_FALSE(s.loadVideo(data("missing.avi"), &error));
    EXPECT_NE(error.find("missing.avi"), std::string::npos) << error;
    EXPECT_FALSE(s.hasVideo());

    ASSERT_TRUE(s.loadVideo(data("sign.avi"), &error)) << error;
    ASSERT_TRUE(s.loadTracking(data("sign.track"), &error)) << error;
    EXPECT_FLOAT_EQ(s.rate(), 25.0f); // lines per second from the time codes
    s.setMainTime(frameTime(10));
    ASSERT_TRUE(s.captureKeyFrame(&error)) << error;

    // A video that cannot be opened and a malformed tracking change nothing.
    EXPECT_FALSE(s.loadVideo(data("sign.track"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(s.loadTracking(data("bad.track"), &error));
    EXPECT_NE(error.find("bad.track"), std::string::npos) << error;
    EXPECT_EQ(s.videoFile(), data("sign.avi"));
    EXPECT_EQ(s.kfCount(), 1);
    EXPECT_EQ(s.mainTime(), frameTime(10));
    EXPECT_EQ(s.tracking().lineCount(), 50);
    EXPECT_EQ(s.getFrameNb(frameTime(10)), 11);

    // A second video replaces the first whole: key frames released, times
    // back to 0, pictures of the new size.
    ASSERT_TRUE(s.loadVideo(data("small.avi"), &error)) << error;
    EXPECT_EQ(s.kfCount(), 0);
    EXPECT_EQ(s.mainTime().value, 0);
    EXPECT_EQ(s.beginTime().value, 0);
    EXPECT_EQ(s.frameSize(), cv::Size(160, 120));
    EXPECT_EQ(s.kfBuffer().size(), cv::Size(160, 120));
    EXPECT_EQ(s.curFrame().size(), cv::Size(160, 120));
    ASSERT_TRUE(s.loadTracking(data("small.track"), &error)) << error;
    EXPECT_EQ(s.tracking().lineCount(), 10);
    EXPECT_EQ(s.arrowView().coordinates[0], s.tracking().coords(0));
}

TEST_F(SessionTest, MainTimeStaysInsideTheVideo)
{
    s.setMainTime(MovieTime::fromSeconds(-1.0));
    EXPECT_EQ(s.mainTime().value, 0);
    s.setMainTime(MovieTime::fromSeconds(100.0));
    EXPECT_EQ(s.mainTime(), s.duration());
    s.setMainTime(MovieTime::fromSeconds(1.25));
    EXPECT_EQ(s.timeText(), "00:00:01.25");
}

TEST_F(SessionTest, CapturesWidenTheBoundariesAndAverageTheKeyFrames)
{
    captureAt(20);
    EXPECT_EQ(s.beginTime(), frameTime(20)); // first capture: zero length
    EXPECT_EQ(s.endTime(), frameTime(20));
    captureAt(30); // after the end: end moves
    EXPECT_EQ(s.beginTime(), frameTime(20));
    EXPECT_EQ(s.endTime(), frameTime(30));
    captureAt(25); // inside: nothing moves
    EXPECT_EQ(s.beginTime(), frameTime(20));
    EXPECT_EQ(s.endTime(), frameTime(30));
    captureAt(5); // before the begin: begin moves
    EXPECT_EQ(s.beginTime(), frameTime(5));
    EXPECT_EQ(s.endTime(), frameTime(30));
    ASSERT_EQ(s.kfCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s.keyFrameOffset(i), 0.0f);
        EXPECT_EQ(cv::countNonZero(s.keyFrameMask(i) != 50), 0);
    }

    // The average is the running mean of the key frames, held apart from the
    // mix: entering the mixing step and coming back leaves it as it was.
    cv::Mat expected = s.keyFrame(0).clone();
    for (int k = 1; k < 4; ++k)
        cv::addWeighted(expected, float(k) / float(k + 1), s.keyFrame(k), 1.0f / float(k + 1), 0.0, expected);
    EXPECT_EQ(cv::norm(s.kfBuffer(), expected, cv::NORM_INF), 0.0);
    const cv::Mat average = s.kfBuffer().clone();
    s.goToStep(Step::Mixing);
    s.tick();
    s.goToStep(Step::Selection);
    EXPECT_EQ(cv::norm(s.kfBuffer(), average, cv::NORM_INF), 0.0);
}

TEST_F(SessionTest, CaptureTakesTheFrameAtTheMainTimeEvenBeforeATick)
{
    s.setMainTime(frameTime(12));
    s.tick();
    const cv::Mat at12 = s.curFrame().clone();
    s.setMainTime(frameTime(37)); // moved, no tick yet
    std::string error;
    ASSERT_TRUE(s.captureKeyFrame(&error)) << error;
    EXPECT_GT(cv::norm(s.keyFrame(0), at12, cv::NORM_INF), 0.0);
    s.tick();
    EXPECT_EQ(cv::norm(s.keyFrame(0), s.curFrame(), cv::NORM_INF), 0.0);
}

TEST_F(SessionTest, TheTwentyFirstCaptureIsRefused)
{
    for (int k = 0; k < 20; ++k)
        captureAt(k);
    std::string error;
    EXPECT_FALSE(s.captureKeyFrame(&error));
    EXPECT_NE(error.find("20"), std::string::npos) << error;
    EXPECT_EQ(s.kfCount(), 20);
    s.resetKeyFrames();
    EXPECT_EQ(s.kfCount(), 0);
    EXPECT_EQ(cv::countNonZero(s.kfBuffer().reshape(1)), 0);
    captureAt(3);
    EXPECT_EQ(s.kfCount(), 1);
}

TEST_F(SessionTest, StepsAndKeyFrameEditing)
{
    EXPECT_EQ(s.step(), Step::Selection);
    captureAt(10);
    captureAt(20);
    captureAt(30);
    s.goToStep(Step::Mixing);
    EXPECT_EQ(s.step(), Step::Mixing);
    EXPECT_EQ(s.kfnb(), 0);
    EXPECT_EQ(s.curKeyFrame(), &s.keyFrame(0));

    EXPECT_TRUE(s.setKeyFrameShift(0, 25));
    EXPECT_FLOAT_EQ(s.keyFrameOffset(0), 0.25f);
    EXPECT_FALSE(s.setKeyFrameShift(3, 25)); // no such key frame
    EXPECT_FALSE(s.setKeyFrameShown(-1, false));
    s.editNextKeyFrame();
    s.editNextKeyFrame();
    s.editNextKeyFrame(); // stays at the last one
    EXPECT_EQ(s.kfnb(), 2);
    EXPECT_EQ(s.keyFrameOffset(2), 0.0f);
    s.setKeyFrameShown(2, false);
    EXPECT_EQ(cv::countNonZero(s.keyFrameMask(2)), 0);
    s.setKeyFrameShown(2, true);
    EXPECT_EQ(cv::countNonZero(s.keyFrameMask(2) != 50), 0);
    s.editPreviousKeyFrame();
    s.editPreviousKeyFrame();
    s.editPreviousKeyFrame(); // stays at 0
    EXPECT_EQ(s.kfnb(), 0);

    // The shifted key frame leaves the mix black on the left quarter where
    // the others are hidden.
    s.setKeyFrameShown(1, false);
    s.setKeyFrameShown(2, false);
    const cv::Mat& mix = s.kfNewBuffer();
    EXPECT_EQ(cv::countNonZero(mix(cv::Rect(0, 0, 80, 240)).reshape(1)), 0);
    EXPECT_GT(cv::countNonZero(mix(cv::Rect(80, 0, 240, 240)).reshape(1)), 0);

    s.goToStep(Step::Arrows);
    EXPECT_EQ(s.step(), Step::Arrows);
    s.newSign();
    EXPECT_EQ(s.step(), Step::Selection);
    EXPECT_EQ(s.kfCount(), 0);
    // kfnb names no key frame any more: the views get nothing, edits do nothing.
    EXPECT_EQ(s.curKeyFrame(), nullptr);
    EXPECT_EQ(s.curKeyFrameMask(), nullptr);
    EXPECT_FALSE(s.setKeyFrameShown(0, true));
    s.paintKeyFrameMask(10, 10, 320, 240);
    s.drawMix();
    EXPECT_EQ(cv::countNonZero(s.kfNewBuffer().reshape(1)), 0);
}

TEST_F(SessionTest, PaintingTheMaskRecomposesTheMix)
{
    captureAt(10);
    s.goToStep(Step::Mixing);
    s.setKeyFrameShown(0, false);
    EXPECT_EQ(cv::countNonZero(s.kfNewBuffer().reshape(1)), 0);
    s.paintKeyFrameMask(160, 120, 320, 240);
    EXPECT_EQ(s.keyFrameMask(0).at<uchar>(120, 160), 255);
    EXPECT_GT(cv::countNonZero(s.kfNewBuffer().reshape(1)), 0);

    // Dabs painted without the mix leave it alone until one drawMix, which
    // then gives the picture that mixing after every dab gives.
    s.paintKeyFrameMask(100, 60, 320, 240);
    s.paintKeyFrameMask(220, 180, 320, 240);
    const cv::Mat mixedEachTime = s.kfNewBuffer().clone();
    const cv::Mat maskEachTime = s.keyFrameMask(0).clone();
    s.setKeyFrameShown(0, false);
    s.paintKeyFrameMask(160, 120, 320, 240);
    const cv::Mat before = s.kfNewBuffer().clone();
    EXPECT_TRUE(s.paintKeyFrameMaskOnly(100, 60, 320, 240));
    EXPECT_TRUE(s.paintKeyFrameMaskOnly(220, 180, 320, 240));
    EXPECT_EQ(cv::norm(s.kfNewBuffer(), before, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(s.keyFrameMask(0), maskEachTime, cv::NORM_INF), 0.0);
    s.drawMix();
    EXPECT_EQ(cv::norm(s.kfNewBuffer(), mixedEachTime, cv::NORM_INF), 0.0);

    // No key frame edited: nothing to paint.
    s.resetKeyFrames();
    EXPECT_FALSE(s.paintKeyFrameMaskOnly(160, 120, 320, 240));
}

// The tick decodes the frame only when the main movie's time moved; what it
// shows must stay the frame at that time, and the buffer picture must follow
// the key-frame average even when the frame is not decoded again.
TEST_F(SessionTest, TickShowsTheFrameAtTheMainTimeAndTheCurrentAverage)
{
    media::VideoFile video;
    ASSERT_TRUE(video.open(data("sign.avi")));
    cv::Mat raw, at12, at37;
    ASSERT_TRUE(video.frame(12, raw));
    ASSERT_TRUE(prepareFrame(raw, at12));
    ASSERT_TRUE(video.frame(37, raw));
    ASSERT_TRUE(prepareFrame(raw, at37));

    s.setMainTime(frameTime(12));
    s.tick();
    EXPECT_EQ(cv::norm(s.curFrame(), at12, cv::NORM_INF), 0.0);
    s.tick();
    EXPECT_EQ(cv::norm(s.curFrame(), at12, cv::NORM_INF), 0.0);
    s.setMainTime(frameTime(37));
    s.tick();
    EXPECT_EQ(cv::norm(s.curFrame(), at37, cv::NORM_INF), 0.0);

    // A capture at a still time changes the average: the next tick blends
    // the same frame with the new average.
    std::string error;
    ASSERT_TRUE(s.captureKeyFrame(&error)) << error;
    s.tick();
    cv::Mat expected;
    cv::addWeighted(s.kfBuffer(), 0.5, at37, 0.5, 0.0, expected);
    EXPECT_GT(cv::countNonZero(s.kfBuffer().reshape(1)), 0);
    EXPECT_EQ(cv::norm(s.kfNewBuffer(), expected, cv::NORM_INF), 0.0);

    s.setMainTime(frameTime(12));
    s.tick();
    EXPECT_EQ(cv::norm(s.curFrame(), at12, cv::NORM_INF), 0.0);

    // Another video at the same main time (0 after a load) is shown, not the
    // frame of the previous one.
    ASSERT_TRUE(s.loadVideo(data("small.avi"), &error)) << error;
    s.tick();
    media::VideoFile small;
    ASSERT_TRUE(small.open(data("small.avi")));
    cv::Mat small0;
    ASSERT_TRUE(small.frame(0, raw));
    ASSERT_TRUE(prepareFrame(raw, small0));
    EXPECT_EQ(cv::norm(s.curFrame(), small0, cv::NORM_INF), 0.0);
}

TEST_F(SessionTest, HandVisibilityRuleOnTheSymmetryAndPattern)
{
    s.setSymmetry(4);
    s.setArrowsShown(true, true);
    EXPECT_EQ(s.symmetry(), 4); // both shown, not 1/2/7: unchanged
    s.setArrowsShown(false, false);
    EXPECT_EQ(s.symmetry(), 7);
    EXPECT_EQ(s.pattern(), 7);
    s.setArrowsShown(true, false);
    EXPECT_EQ(s.symmetry(), 2);
    s.setArrowsShown(true, true);
    EXPECT_EQ(s.symmetry(), 0);
    EXPECT_EQ(s.pattern(), 7);
    s.setArrowsShown(false, true);
    EXPECT_EQ(s.symmetry(), 1);
    EXPECT_FALSE(s.arrowControls().rArrowVisible);
    EXPECT_TRUE(s.arrowControls().lArrowVisible);
}

TEST_F(SessionTest, TickDrivesThePreviewOnlyAfterTheSelectionStep)
{
    captureAt(10);
    captureAt(30);
    s.setSymmetry(3);
    s.setPattern(5);
    s.setMainTime(frameTime(20));
    EXPECT_FALSE(s.tick());
    EXPECT_EQ(s.arrowView().image(), nullptr);
    // Boundaries by rate: frames 10 and 30 at 25 lines per second.
    EXPECT_EQ(s.spat().beg, 10);
    EXPECT_EQ(s.spat().dur, 20);
    EXPECT_EQ(s.spat().symType, 3);
    EXPECT_EQ(s.spat().moPat, 5);

    s.goToStep(Step::Mixing);
    EXPECT_TRUE(s.tick());
    EXPECT_EQ(s.arrowView().image(), &s.kfNewBuffer());
    // Lines by time code: frame k is line k + 1.
    EXPECT_EQ(s.arrowView().beg, 11);
    EXPECT_EQ(s.arrowView().end, 31);
    EXPECT_EQ(s.arrowView().iWidth, 320.0f);
    s.setPreviewSize(400, 300);
    s.setOrientation(200.5);
    s.refresh();
    EXPECT_EQ(s.arrowView().iWidth, 400.0f);
    EXPECT_EQ(s.spat().orientation, 200.5f);
}

TEST_F(SessionTest, DescriptionNeedsAPictureNameAndClearsTheConfiguration)
{
    captureAt(10);
    captureAt(30);
    std::string error;
    EXPECT_FALSE(s.saveDescription(nullptr, &error));
    EXPECT_NE(error.find("picture"), std::string::npos) << error;

    const fs::path dir = fs::path(TEST_BINARY_DIR) / "session_descr";
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_FALSE(s.savePicture((dir / "nowhere" / "x").string(), 320, 240, &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_TRUE(s.exportName().empty());

    // The picture save reads the drawn arrow view back and names the
    // description; the configuration starts cleared for it.
    HeadlessGL gl;
    ASSERT_TRUE(gl.create(322, 240, &error)) << error;
    s.setPreviewSize(322, 240);
    s.goToStep(Step::Mixing);
    s.goToStep(Step::Arrows);
    ASSERT_TRUE(s.tick());
    s.setConfigurationCell(3, true);
    EXPECT_EQ(s.drawArrowView(322, 240), SignPattern::kDrawn);
    ASSERT_TRUE(s.savePicture((dir / "sign").string(), 322, 240, &error)) << error;
    EXPECT_EQ(s.exportName(), (dir / "sign").string());
    EXPECT_EQ(s.configuration()[3][0], 0);
    EXPECT_EQ(cv::imread((dir / "sign.jpg").string()).size(), cv::Size(320, 240));

    EXPECT_TRUE(s.setConfigurationCell(1, true));
    EXPECT_TRUE(s.setConfigurationCell(49, true));
    EXPECT_FALSE(s.setConfigurationCell(50, true));
    EXPECT_EQ(s.configuration()[1][0], 1);
    EXPECT_EQ(s.configuration()[4][9], 1);
    const std::string line = s.descriptionText();
    std::string printed = "unchanged";
    ASSERT_TRUE(s.saveDescription(&printed, &error)) << error;
    EXPECT_EQ(printed, ""); // symmetry type 0: nothing to print
    std::stringstream text;
    text << std::ifstream(dir / "sign.sgn").rdbuf();
    // Name, tenths of a second (frames 10 and 30 at 25 fps), 50 digits.
    EXPECT_EQ(text.str().rfind("sign.avi 4 12 01" + std::string(47, '0') + "1", 0), 0u) << text.str();
    EXPECT_EQ(text.str(), line);
    EXPECT_EQ(s.configuration()[1][0], 0); // cleared after writing
    EXPECT_EQ(s.configuration()[4][9], 0);
}

// The whole save returns what is to be printed rather than printing it: the
// export, then the one-hand line of the description; the export also when
// the picture cannot be written.
TEST_F(SessionTest, SavingASignReturnsTheTextToPrint)
{
    captureAt(10);
    captureAt(30);
    std::string error;
    HeadlessGL gl;
    ASSERT_TRUE(gl.create(320, 240, &error)) << error;
    s.setPreviewSize(320, 240);
    s.goToStep(Step::Mixing);
    s.goToStep(Step::Arrows);
    s.tick();
    s.setArrowsShown(false, true); // one hand: symmetry type 1
    s.refresh();
    ASSERT_EQ(s.drawArrowView(320, 240), SignPattern::kDrawn);

    const fs::path dir = fs::path(TEST_BINARY_DIR) / "session_save_sign";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string printed;
    EXPECT_FALSE(s.saveSign((dir / "missing" / "sign").string(), 320, 240, &printed, &error));
    EXPECT_EQ(printed, s.exportTracking());
    EXPECT_FALSE(fs::exists(dir / "missing"));

    s.setConfigurationCell(2, true);
    const std::string description = s.descriptionText();
    ASSERT_NE(description.find(" 001"), std::string::npos) << description;
    ASSERT_TRUE(s.saveSign((dir / "sign").string(), 320, 240, &printed, &error)) << error;
    const std::string line = descriptionConsoleLine(s.spat().descr);
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(printed, s.exportTracking() + line);
    std::stringstream text;
    text << std::ifstream(dir / "sign.sgn").rdbuf();
    // The configuration chosen before the save is the one written.
    EXPECT_EQ(text.str(), description);
    EXPECT_TRUE(fs::exists(dir / "sign.jpg"));
}

// A dab re-blends only what it reached; the picture is the one a complete
// blend gives, also across shifts changed between dabs and in the selection
// step, where the picture is the buffer blend until a dab asks for the mix.
TEST_F(SessionTest, BrushDabsGiveTheCompleteMix)
{
    captureAt(10);
    captureAt(20);
    captureAt(30);
    s.goToStep(Step::Mixing);
    auto completeMix = [&] {
        cv::Mat mixed;
        const cv::Mat kf[3] = {s.keyFrame(0), s.keyFrame(1), s.keyFrame(2)};
        const cv::Mat masks[3] = {s.keyFrameMask(0), s.keyFrameMask(1), s.keyFrameMask(2)};
        const float offsets[3] = {s.keyFrameOffset(0), s.keyFrameOffset(1), s.keyFrameOffset(2)};
        drawMix(s.frameSize(), kf, masks, offsets, 3, mixed);
        return mixed;
    };
    const double dabs[][2] = {{160, 120}, {10, 230}, {300, 5}, {100, 60}};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(s.setKeyFrameShift(s.kfnb(), 20.0 * (k - 1)));
        for (const auto& d : dabs) {
            s.paintKeyFrameMask(d[0] + 7 * k, d[1], 320, 240);
            ASSERT_EQ(cv::norm(s.kfNewBuffer(), completeMix(), cv::NORM_INF), 0.0) << k;
        }
        EXPECT_TRUE(s.paintKeyFrameMaskOnly(200, 200, 320, 240));
        s.editNextKeyFrame();
        ASSERT_EQ(cv::norm(s.kfNewBuffer(), completeMix(), cv::NORM_INF), 0.0) << k;
    }
    s.goToStep(Step::Selection);
    s.tick();
    s.paintKeyFrameMask(50, 50, 320, 240);
    EXPECT_EQ(cv::norm(s.kfNewBuffer(), completeMix(), cv::NORM_INF), 0.0);
}

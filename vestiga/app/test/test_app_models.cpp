// The application's plain models, without windows: the camera capture steps
// on a fed clock, the paced tracking run on a small synthetic video, and the
// calibration proposal for the window on the sample.
#include "CaptureMachine.h"
#include "ProposalTask.h"
#include "RunLoop.h"

#include "RunTestUtil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include <opencv2/videoio.hpp>

using vestiga::CaptureMachine;
using vestiga::RunLoop;
using Step = CaptureMachine::Step;
using Action = CaptureMachine::Action;

TEST(CaptureMachineTest, CountsDownRecordsAndSettles)
{
    CaptureMachine m; // 3000 ms countdown, 500 ms clip at 25 frames/s, 500 ms settling
    ASSERT_EQ(m.clipFrames(), 13);
    EXPECT_EQ(m.advance(0), Action::None);
    ASSERT_TRUE(m.start(100));
    EXPECT_FALSE(m.start(200)); // one capture at a time
    EXPECT_EQ(m.secondsLeft(100), 3);
    EXPECT_EQ(m.secondsLeft(1100), 2);
    EXPECT_EQ(m.secondsLeft(1101), 2); // 1999 ms left reads 2
    EXPECT_EQ(m.advance(3099), Action::None);
    EXPECT_EQ(m.secondsLeft(3099), 1);
    EXPECT_EQ(m.advance(3100), Action::StartRecording);
    EXPECT_EQ(m.step(), Step::Recording);
    EXPECT_EQ(m.secondsLeft(3100), 0);
    EXPECT_EQ(m.advance(3580, 12), Action::None);
    EXPECT_EQ(m.advance(3600, 13), Action::StopRecording);
    EXPECT_EQ(m.step(), Step::Settling);
    EXPECT_TRUE(m.busy());
    EXPECT_EQ(m.advance(4099, 13), Action::None);
    EXPECT_EQ(m.advance(4100, 13), Action::ShowClip);
    EXPECT_FALSE(m.busy());
    EXPECT_EQ(m.advance(9000), Action::None);
    EXPECT_TRUE(m.start(9000)); // and again
}

TEST(CaptureMachineTest, ClipLengthFollowsTheClipsOwnClock)
{
    // A busy machine delivers the preview ticks, and so the frames, late:
    // the clip still gets its frames, whatever the wall clock says.
    CaptureMachine m({1000, 400, 200, 30.0, 5000}); // 12 frames
    ASSERT_EQ(m.clipFrames(), 12);
    m.start(0);
    EXPECT_EQ(m.advance(60000), Action::StartRecording); // one step per tick
    EXPECT_EQ(m.advance(61500, 5), Action::None);
    EXPECT_EQ(m.advance(62000, 12), Action::StopRecording);
    EXPECT_EQ(m.advance(62200), Action::ShowClip);
    // A camera that stops delivering: the recording ends after the stall time.
    m.start(70000);
    ASSERT_EQ(m.advance(71000), Action::StartRecording);
    EXPECT_EQ(m.advance(75999, 3), Action::None);
    EXPECT_EQ(m.advance(76000, 3), Action::StopRecording);
    // Cancelled (the camera window closed) at any step: idle, ready again.
    m.cancel();
    EXPECT_EQ(m.step(), Step::Idle);
    EXPECT_EQ(m.advance(80000), Action::None);
    EXPECT_TRUE(m.start(80000));
}

namespace {

struct SmallRun {
    vestiga::test::TempDir dir;
    vestiga::TrackingOptions options;

    explicit SmallRun(int frames)
    {
        const std::string video = dir.file("signer.avi");
        vestiga::test::writeSignerVideo(video, frames);
        cv::VideoCapture cap(video);
        cap.read(options.reference);
        options.videoFile = video;
        options.calibration = vestiga::toRunCalibration(vestiga::test::signerCalibration(), 240);
        options.trackingFile = dir.file("out.track");
    }
};

} // namespace

TEST(RunLoopTest, TicksToTheEndOnceAndClosesTheFile)
{
    SmallRun s(8);
    RunLoop loop;
    EXPECT_EQ(loop.tick().outcome, RunLoop::Outcome::Idle); // nothing started
    std::string error;
    ASSERT_TRUE(loop.start(s.options, &error)) << error;
    ASSERT_EQ(loop.totalFrames(), 7);
    int frames = 0;
    RunLoop::Tick t;
    while ((t = loop.tick()).outcome == RunLoop::Outcome::Frame) {
        ++frames;
        EXPECT_GE(t.nextDelayMs, 1);
        EXPECT_LE(t.nextDelayMs, RunLoop::kTickMs);
        EXPECT_EQ(loop.framesDone(), frames);
        EXPECT_FALSE(loop.picture().empty());
        ASSERT_LT(frames, 100);
    }
    EXPECT_EQ(t.outcome, RunLoop::Outcome::EndOfVideo);
    EXPECT_EQ(frames, 7);
    EXPECT_FALSE(loop.running());
    EXPECT_EQ(loop.tick().outcome, RunLoop::Outcome::Idle);
    const std::string written = vestiga::test::readFile(s.options.trackingFile);
    EXPECT_EQ(vestiga::test::lines(written).size(), 7u);

    // One run per loop: a second start is refused and writes nothing.
    vestiga::TrackingOptions again = s.options;
    again.trackingFile = s.dir.file("again.track");
    EXPECT_FALSE(loop.start(again, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(vestiga::test::fileExists(again.trackingFile));
    EXPECT_EQ(vestiga::test::readFile(s.options.trackingFile), written);
}

TEST(RunLoopTest, RefusedStartLeavesTheLoopFreeAndStopKeepsTheLines)
{
    SmallRun s(20);
    RunLoop loop;
    vestiga::TrackingOptions bad = s.options;
    bad.calibration.hw = 0;
    std::string error;
    EXPECT_FALSE(loop.start(bad, &error));
    EXPECT_NE(error.find("head box"), std::string::npos) << error;
    EXPECT_FALSE(loop.started());
    EXPECT_FALSE(vestiga::test::fileExists(s.options.trackingFile));

    ASSERT_TRUE(loop.start(s.options, &error)) << error;
    for (int k = 0; k < 3; ++k)
        ASSERT_EQ(loop.tick().outcome, RunLoop::Outcome::Frame);
    loop.stop();
    EXPECT_FALSE(loop.running());
    EXPECT_EQ(loop.tick().outcome, RunLoop::Outcome::Idle);
    const auto rows = vestiga::test::lines(vestiga::test::readFile(s.options.trackingFile));
    ASSERT_EQ(rows.size(), 3u);
    for (const std::string& row : rows)
        EXPECT_TRUE(vestiga::test::isTrackingLine(row)) << row;
}

TEST(ProposalTaskTest, ProposesForTheShownPictureOnly)
{
    const std::string sample = VESTIGA_SAMPLE_DIR "/signer.avi";
    if (!QFileInfo::exists(QString::fromStdString(sample)))
        GTEST_SKIP() << "the sample video is missing: build the `sample` target";
    vestiga::ProposalOptions options;
    options.referenceFrame = 2;
    vestiga::Proposal direct;
    std::string why;
    ASSERT_EQ(vestiga::proposeFromVideo(sample, options, &direct, &why), vestiga::ProposalStatus::Found) << why;
    const cv::Size size = direct.reference.size();

    // Off the calling thread, reported through the event loop; one at a time.
    int argc = 1;
    char name[] = "app_model_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    vestiga::ProposalTask task;
    QEventLoop loop;
    int finished = 0;
    QObject::connect(&task, &vestiga::ProposalTask::finished, [&] {
        ++finished;
        loop.quit();
    });
    ASSERT_TRUE(task.start({sample, 2, size}));
    EXPECT_TRUE(task.running());
    EXPECT_FALSE(task.start({sample, 0, size}));
    loop.exec();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(task.running());
    const vestiga::ProposalOutcome& o = task.outcome();
    ASSERT_EQ(o.status, vestiga::ProposalStatus::Found) << o.message;
    EXPECT_EQ(o.request.referenceFrame, 2);
    EXPECT_EQ(vestiga::formatCalibration(o.proposal.calibration), vestiga::formatCalibration(direct.calibration));

    // A picture of another size than the frame read: nothing proposed.
    const vestiga::ProposalOutcome other = vestiga::proposeForReference({sample, 2, cv::Size(size.width / 2, size.height)});
    EXPECT_EQ(other.status, vestiga::ProposalStatus::BadInput);
    EXPECT_NE(other.message.find("size"), std::string::npos);
    EXPECT_EQ(vestiga::proposeForReference({"/nonexistent/video.avi", 0, size}).status,
              vestiga::ProposalStatus::BadInput);
}

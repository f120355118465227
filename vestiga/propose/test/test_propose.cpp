// The proposed calibration: on the sample signer against its true
// calibration, both ways of finding the face; the pictures with no signer;
// several faces; bare forearms; a portrait picture; a still picture on a
// cluttered wall; the head's sides and the shoulders read off a silhouette.
#include "media/VideoFile.h"
#include "propose/Proposal.h"
#include "propose/FaceSearch.h"
#include "propose/Silhouette.h"
#include "run/Calibration.h"
#include "sample/SampleFiles.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdlib>

using namespace vestiga;

namespace {

const std::string kSample = std::string(VESTIGA_SAMPLE_DIR) + "/signer";

// The sample's reference frame and its first two seconds, every fifth frame.
struct SampleClip {
    cv::Mat reference;
    std::vector<cv::Mat> frames;
    SampleClip()
    {
        media::VideoFile video;
        std::string error;
        if (!video.open(kSample + ".avi", &error)) {
            ADD_FAILURE() << error;
            return;
        }
        for (int k = 0; k <= 50; k += 5) {
            cv::Mat f;
            EXPECT_TRUE(video.frame(k, f));
            frames.push_back(f);
        }
        reference = frames.front();
    }
};

CalibrationFile trueCalibration()
{
    CalibrationFile c;
    std::string error;
    EXPECT_TRUE(readCalibrationFile(kSample + ".calib", &c, &error)) << error;
    return c;
}

double iou(const double* a, const double* b)
{
    const cv::Rect2d ra(a[0], a[1], a[2], a[3]), rb(b[0], b[1], b[2], b[3]);
    const double i = (ra & rb).area();
    return i / (ra.area() + rb.area() - i);
}

void expectNearTruth(const Proposal& p)
{
    const CalibrationFile truth = trueCalibration();
    const CalibrationFile& c = p.calibration;
    EXPECT_GE(iou(c.head, truth.head), 0.7) << formatCalibration(c);
    for (int s = 0; s < 2; ++s)
        EXPECT_LE(std::hypot(c.shoulders[2 * s] - truth.shoulders[2 * s], c.shoulders[2 * s + 1] - truth.shoulders[2 * s + 1]),
                  0.25 * truth.head[3])
            << (s == 0 ? "right" : "left") << " shoulder\n" << formatCalibration(c);
    EXPECT_TRUE(c.sleevesToWrist);
    EXPECT_EQ(checkCalibration(c, p.reference.cols, p.reference.rows), "");
}

} // namespace

TEST(ProposeTest, FindsTheSampleSignerEitherWay)
{
    const SampleClip clip;
    for (bool detector : {true, false}) {
        SCOPED_TRACE(detector ? "face detector" : "skin colour only");
        ProposalOptions options;
        options.useDetector = detector;
        Proposal p;
        std::string why;
        ASSERT_EQ(proposeFromPictures(clip.reference, clip.frames, options, &p, &why), ProposalStatus::Found) << why;
        if (!detector) {
            EXPECT_EQ(p.faceMethod, "skin colour");
        }
        EXPECT_EQ(p.shoulderMethod, "silhouette");
        expectNearTruth(p);
    }
}

// A still picture of a drawn signer in front of a cluttered wall that repeats
// the shirt's colour: the face is found by its skin, and the shoulders are the
// corners of the body's upper edge whatever stands beside them. Without
// motion the colours beside the head cannot tell the shirt from the wall.
// (Clutter touching the shoulders joins the silhouette and is left out.)
TEST(ProposeTest, StillPictureOnAClutteredWall)
{
    const cv::Scalar shirt(150, 60, 40), skin(110, 140, 200), hair(30, 35, 45);
    for (int shrug : {0, 45}) {
        SCOPED_TRACE("shoulders raised by " + std::to_string(shrug));
        cv::Mat pic(480, 640, CV_8UC3, cv::Scalar(90, 110, 100));
        cv::RNG rng(11);
        for (int i = 0; i < 60; ++i) {
            const cv::Point a(rng.uniform(0, 640), rng.uniform(0, 480));
            const cv::Point b = a + cv::Point(rng.uniform(20, 90), rng.uniform(20, 90));
            // Things touching the shoulders would join the silhouette: the
            // wall is cluttered, not the signer's outline.
            if ((cv::Rect(a, b) & cv::Rect(cv::Point(170, 140), cv::Point(470, 480))).area() > 0)
                continue;
            const cv::Scalar c = i % 3 == 0 ? shirt : cv::Scalar(rng.uniform(60, 230), rng.uniform(60, 230), rng.uniform(20, 90));
            cv::rectangle(pic, a, b, c, cv::FILLED);
        }
        const int top = 205 - shrug; // the shoulder line
        cv::rectangle(pic, cv::Point(302, 160), cv::Point(338, top + 5), skin, cv::FILLED);
        const std::vector<cv::Point> body{{250, top}, {390, top}, {405, top + 8}, {440, top + 70},
                                          {450, 479}, {190, 479}, {200, top + 70}, {235, top + 8}};
        cv::fillPoly(pic, std::vector<std::vector<cv::Point>>{body}, shirt);
        cv::ellipse(pic, cv::Point(320, 118), cv::Size(44, 34), 0, 180, 360, hair, cv::FILLED);
        cv::ellipse(pic, cv::Point(320, 130), cv::Size(40, 52), 0, 0, 360, skin, cv::FILLED);
        ProposalOptions options;
        options.useDetector = false;
        Proposal p;
        std::string why;
        ASSERT_EQ(proposeFromPictures(pic, {}, options, &p, &why), ProposalStatus::Found) << why;
        // The joints: inside the corners, about a fifth of a head height
        // under the shoulder line. Shrugged, they are level with the chin.
        const double* s = p.calibration.shoulders;
        const double hh = p.calibration.head[3], tolerance = 0.12 * hh;
        EXPECT_NEAR(s[0], 240, tolerance) << describeProposal(p);
        EXPECT_NEAR(s[2], 400, tolerance) << describeProposal(p);
        EXPECT_NEAR(s[1], top + 0.2 * hh, tolerance) << describeProposal(p);
        EXPECT_NEAR(s[3], top + 0.2 * hh, tolerance) << describeProposal(p);
    }
}

TEST(ProposeTest, FromTheVideoFileIsDeterministicAndKeepsTheReferenceFrame)
{
    ProposalOptions options;
    options.referenceFrame = 3;
    Proposal a, b;
    std::string why;
    ASSERT_EQ(proposeFromVideo(kSample + ".avi", options, &a, &why), ProposalStatus::Found) << why;
    ASSERT_EQ(proposeFromVideo(kSample + ".avi", options, &b, &why), ProposalStatus::Found) << why;
    EXPECT_EQ(formatCalibration(a.calibration), formatCalibration(b.calibration));
    EXPECT_EQ(a.calibration.referenceFrame, 3);
    expectNearTruth(a);
    // The preview has the reference frame's size and differs from it.
    const cv::Mat preview = drawProposal(a);
    ASSERT_EQ(preview.size(), a.reference.size());
    EXPECT_GT(cv::norm(preview, a.reference, cv::NORM_L1), 0);
}

TEST(ProposeTest, RefusesPicturesWithoutOneSigner)
{
    Proposal p;
    std::string why;
    const ProposalOptions options;
    // Too dark: named as such, whatever it shows.
    const SampleClip clip;
    const cv::Mat dark = clip.reference * 0.1;
    EXPECT_EQ(proposeFromPictures(dark, {}, options, &p, &why), ProposalStatus::NoSigner);
    EXPECT_NE(why.find("too dark"), std::string::npos) << why;
    // An empty wall.
    const cv::Mat wall(480, 640, CV_8UC3, cv::Scalar(150, 140, 124));
    EXPECT_EQ(proposeFromPictures(wall, {wall, wall, wall}, options, &p, &why), ProposalStatus::NoSigner);
    EXPECT_NE(why.find("no face"), std::string::npos) << why;
    // Two signers side by side.
    cv::Mat two;
    cv::hconcat(clip.reference, clip.reference, two);
    EXPECT_EQ(proposeFromPictures(two, {}, options, &p, &why), ProposalStatus::NoSigner);
    EXPECT_NE(why.find("2 faces"), std::string::npos) << why;
    // Not a picture at all, or frames of another size.
    EXPECT_EQ(proposeFromPictures(cv::Mat(), {}, options, &p, &why), ProposalStatus::BadInput);
    EXPECT_EQ(proposeFromPictures(clip.reference, {wall(cv::Rect(0, 0, 320, 240))}, options, &p, &why),
              ProposalStatus::BadInput);
    EXPECT_EQ(proposeFromVideo("/nonexistent/video.avi", options, &p, &why), ProposalStatus::BadInput);
    ProposalOptions late;
    late.referenceFrame = 100000;
    EXPECT_EQ(proposeFromVideo(kSample + ".avi", late, &p, &why), ProposalStatus::BadInput);
    EXPECT_NE(why.find("out of range"), std::string::npos) << why;
}

TEST(ProposeTest, BareForearmsGiveShortSleeves)
{
    // The sample's frames with the forearms painted in the face's colour,
    // from the elbow to the hand, as a short-sleeved shirt shows them.
    const SampleClip clip;
    std::vector<vsample::TruthFrame> truth;
    std::string error;
    ASSERT_TRUE(vsample::readTruth(kSample + ".truth", &truth, &error)) << error;
    ASSERT_GE(truth.size(), 51u);
    std::vector<cv::Mat> bare;
    for (size_t i = 0; i < clip.frames.size(); ++i) {
        cv::Mat f = clip.frames[i].clone();
        const vsample::TruthFrame& t = truth[5 * i];
        const cv::Scalar skin = cv::mean(clip.reference(cv::Rect(305, 110, 30, 30)));
        cv::line(f, t.elbowR, t.hand1, skin, 30);
        cv::line(f, t.elbowL, t.hand2, skin, 30);
        bare.push_back(f);
    }
    Proposal p;
    std::string why;
    ASSERT_EQ(proposeFromPictures(bare.front(), bare, ProposalOptions(), &p, &why), ProposalStatus::Found) << why;
    EXPECT_FALSE(p.calibration.sleevesToWrist) << p.forearmSkin;
    ASSERT_EQ(proposeFromPictures(clip.reference, clip.frames, ProposalOptions(), &p, &why), ProposalStatus::Found);
    EXPECT_TRUE(p.calibration.sleevesToWrist) << p.forearmSkin;
}

TEST(ProposeTest, ImageAreaOfAPortraitPictureIsNotTallerThanWide)
{
    // The signer in a picture taller than wide, with wall above and below.
    const SampleClip clip;
    cv::Mat portrait;
    cv::copyMakeBorder(clip.reference(cv::Rect(100, 0, 440, 480)), portrait, 120, 120, 0, 0, cv::BORDER_REFLECT);
    Proposal p;
    std::string why;
    ASSERT_EQ(proposeFromPictures(portrait, {}, ProposalOptions(), &p, &why), ProposalStatus::Found) << why;
    const double* a = p.calibration.area;
    EXPECT_LE(a[3], a[2]);
    EXPECT_GE(a[0], 0);
    EXPECT_GE(a[1], 0);
    EXPECT_LE(a[0] + a[2], portrait.cols);
    EXPECT_LE(a[1] + a[3], portrait.rows);
    EXPECT_EQ(checkCalibration(p.calibration, portrait.cols, portrait.rows), "");
}

TEST(SilhouetteTest, ShoulderIsWhereTheUpperEdgeTurnsDown)
{
    // Seen from above: the head's columns at row 0 up to 30, a step down to a
    // shoulder line sloping gently (one row in five) for 40 columns, then an
    // arm running steeply down, then nothing (the edge at the bottom). The
    // step off the head and the body's far edge are not the shoulder.
    std::vector<double> top;
    for (int d = 0; d < 30; ++d)
        top.push_back(0);
    for (int d = 0; d < 40; ++d)
        top.push_back(30 + d / 5.0);
    for (int d = 1; d <= 20; ++d)
        top.push_back(38 + 3 * d);
    for (int d = 0; d < 30; ++d)
        top.push_back(120);
    EXPECT_EQ(propose::shoulderColumn(top, 36, 110, 5), 69);
    // A level edge, an edge rising outward (an arm raised) and an edge too
    // short for the span have no shoulder.
    EXPECT_EQ(propose::shoulderColumn(std::vector<double>(100, 30), 10, 90, 5), -1);
    std::vector<double> rising(100);
    for (int d = 0; d < 100; ++d)
        rising[d] = 80 - 0.7 * d;
    EXPECT_EQ(propose::shoulderColumn(rising, 10, 90, 5), -1);
    EXPECT_EQ(propose::shoulderColumn(std::vector<double>(8, 30), 0, 8, 5), -1);
}

TEST(SilhouetteTest, UpperEdgeSeenFromTheMidline)
{
    // A drawn bust: a head (circle) on a trapezoid body whose shoulders are
    // corners at known places, with a one-column notch that the running
    // median removes.
    cv::Mat fg = cv::Mat::zeros(200, 300, CV_8U);
    cv::circle(fg, cv::Point(150, 50), 25, cv::Scalar(255), cv::FILLED);
    const std::vector<cv::Point> body{{140, 70}, {160, 70}, {220, 90}, {235, 199}, {65, 199}, {80, 90}};
    cv::fillPoly(fg, std::vector<std::vector<cv::Point>>{body}, cv::Scalar(255));
    fg.col(190).setTo(0);
    const std::vector<double> right = propose::topEdge(fg, 150, +1, 40, 150, 120);
    const std::vector<double> left = propose::topEdge(fg, 150, -1, 40, 150, 120);
    ASSERT_EQ(right.size(), 121u);
    EXPECT_EQ(right[0], 0);     // the head fills the midline from the first row
    EXPECT_NEAR(right[40], 80 - 40, 1.5);
    EXPECT_NEAR(right[50], 83 - 40, 1.5);
    EXPECT_NEAR(right[40], left[40], 1);
    EXPECT_EQ(right[110], 150); // beyond the body: nothing down to the last row
    // The shoulders are the corners at 70 columns out on both sides.
    EXPECT_NEAR(propose::shoulderColumn(right, 35, 110, 6), 70, 3);
    EXPECT_NEAR(propose::shoulderColumn(left, 35, 110, 6), 70, 3);
}

TEST(SilhouetteTest, HeadSidesFromTheSilhouetteAtTheFacesHeight)
{
    // A head 100 wide (hair included) around a face box 80 wide set off to
    // one side, as a detector's box on a turned head is; a one-pixel gap in
    // the hair is bridged, the background beyond a wider gap is not joined.
    cv::Mat fg = cv::Mat::zeros(300, 400, CV_8U);
    cv::ellipse(fg, cv::Point(200, 120), cv::Size(50, 65), 0, 0, 360, cv::Scalar(255), cv::FILLED);
    fg.col(160).setTo(0);
    cv::rectangle(fg, cv::Point(262, 100), cv::Point(320, 140), cv::Scalar(255), cv::FILLED);
    const cv::Rect2d face(165, 90, 80, 80);
    double left = 0, right = 0;
    ASSERT_TRUE(propose::headSides(fg, face, &left, &right));
    EXPECT_NEAR(left, 150, 2.5);
    EXPECT_NEAR(right, 250, 2.5);
    // A face whose middle is not foreground has no sides.
    EXPECT_FALSE(propose::headSides(cv::Mat::zeros(300, 400, CV_8U), face, &left, &right));
}

TEST(SilhouetteTest, MedianPictureDropsWhatMoves)
{
    std::vector<cv::Mat> pics;
    for (int k = 0; k < 5; ++k) {
        cv::Mat p(20, 30, CV_8UC3, cv::Scalar(10, 20, 30));
        p(cv::Rect(5 * k, 5, 5, 5)).setTo(cv::Scalar(200, 200, 200)); // a moving square
        pics.push_back(p);
    }
    const cv::Mat m = propose::medianPicture(pics);
    EXPECT_EQ(cv::norm(m, pics[0] * 0 + cv::Scalar(10, 20, 30), cv::NORM_INF), 0);
    EXPECT_TRUE(propose::medianPicture({}).empty());
}

TEST(SilhouetteTest, GraphCutSeparatesTheSignerAndRepeatsItself)
{
    const SampleClip clip;
    const CalibrationFile truth = trueCalibration();
    const cv::Rect2d head(truth.head[0], truth.head[1], truth.head[2], truth.head[3]);
    const cv::Rect2d face(head.x + 4, head.y + 6, head.width - 8, head.height - 6);
    const uint64 before = cv::theRNG().state;
    const cv::Mat a = propose::graphCutForeground(clip.reference, face, head);
    EXPECT_EQ(cv::theRNG().state, before);
    const cv::Mat b = propose::graphCutForeground(clip.reference, face, head);
    ASSERT_EQ(a.size(), clip.reference.size());
    EXPECT_EQ(cv::countNonZero(a != b), 0);
    // The chest and both shoulders are the signer; the wall beside and above is not.
    EXPECT_EQ(a.at<uchar>(350, 320), 255);
    EXPECT_EQ(a.at<uchar>(230, 225), 255);
    EXPECT_EQ(a.at<uchar>(230, 415), 255);
    EXPECT_EQ(a.at<uchar>(20, 20), 0);
    EXPECT_EQ(a.at<uchar>(300, 80), 0);
    EXPECT_EQ(a.at<uchar>(300, 560), 0);
}

TEST(ProposeTest, FaceDetectorFile)
{
    const SampleClip clip;
    ProposalOptions options;
    Proposal p;
    std::string why;
    // A detector named by the caller must load.
    options.cascadeFile = "/nonexistent/cascade.xml";
    EXPECT_EQ(proposeFromPictures(clip.reference, clip.frames, options, &p, &why), ProposalStatus::BadInput);
    EXPECT_NE(why.find("/nonexistent/cascade.xml"), std::string::npos) << why;
    // The folder of $VESTIGA_CASCADE_DIR is searched first; a file found in
    // none of the folders is named with the package that installs it.
    ::setenv("VESTIGA_CASCADE_DIR", "/nonexistent", 1);
    const std::vector<std::string> path = propose::cascadeSearchPath();
    std::string error;
    const std::string found = propose::findCascadeFile("no-such-cascade.xml", &error);
    ::unsetenv("VESTIGA_CASCADE_DIR");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), "/nonexistent");
    EXPECT_EQ(found, "");
    EXPECT_NE(error.find("opencv-data"), std::string::npos) << error;
}

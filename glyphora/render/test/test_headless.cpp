// Drawing into the headless context and reading it back: picture transfer,
// mask dimming, the arrow view's frame, the saved picture's geometry and the
// safety of the save.
#include "core/SignPattern.h"
#include "core/TrackingTable.h"
#include "render/ArrowView.h"
#include "render/HeadlessGL.h"
#include "render/PictureSave.h"
#include "render/PictureView.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <GL/gl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace glyphora;

namespace {

// A video-like frame (blue, green, red; top row first) in four quadrants of
// distinct colours, turned into the views' convention (green, red, blue;
// bottom row first) the way the program prepares frames.
cv::Mat quadrantsBgr(int w, int h)
{
    cv::Mat f(h, w, CV_8UC3);
    f(cv::Rect(0, 0, w / 2, h / 2)).setTo(cv::Scalar(20, 40, 220));         // top-left red
    f(cv::Rect(w / 2, 0, w - w / 2, h / 2)).setTo(cv::Scalar(30, 200, 40)); // top-right green
    f(cv::Rect(0, h / 2, w / 2, h - h / 2)).setTo(cv::Scalar(210, 50, 30)); // bottom-left blue
    f(cv::Rect(w / 2, h / 2, w - w / 2, h - h / 2)).setTo(cv::Scalar(200, 200, 200));
    return f;
}

cv::Mat toViewConvention(const cv::Mat& bgr)
{
    cv::Mat out;
    const int from_to[] = {1, 0, 2, 1, 0, 2}; // G, R, B
    out.create(bgr.size(), CV_8UC3);
    cv::mixChannels(&bgr, 1, &out, 1, from_to, 3);
    cv::flip(out, out, 0);
    return out;
}

int maxDiff(const cv::Vec3b& a, const cv::Vec3b& b)
{
    int d = 0;
    for (int c = 0; c < 3; ++c)
        d = std::max(d, std::abs(int(a[c]) - int(b[c])));
    return d;
}

class HeadlessTest : public ::testing::Test {
protected:
    bool start(int w, int h)
    {
        std::string error;
        if (!gl.create(w, h, &error)) {
            ADD_FAILURE() << error;
            return false;
        }
        return true;
    }
    HeadlessGL gl;
};

} // namespace

TEST(HeadlessGLTest, RefusesBadSizesWithAMessageAndHoldsNothing)
{
    HeadlessGL gl;
    std::string error;
    EXPECT_FALSE(gl.create(0, 10, &error));
    EXPECT_NE(error.find("0x10"), std::string::npos) << error;
    EXPECT_FALSE(gl.isValid());
    EXPECT_FALSE(gl.makeCurrent());
    ASSERT_TRUE(gl.create(64, 32, &error)) << error;
    EXPECT_TRUE(gl.isValid());
    EXPECT_EQ(gl.width(), 64);
    // A second create replaces the first.
    ASSERT_TRUE(gl.create(16, 8, &error)) << error;
    EXPECT_EQ(gl.width(), 16);
    GLint vp[4] = {};
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 16);
    EXPECT_EQ(vp[3], 8);
}

TEST(PictureSaveTest, WidthIsCutToAMultipleOfFour)
{
    EXPECT_EQ(savedPictureWidth(402), 400);
    EXPECT_EQ(savedPictureWidth(400), 400);
    EXPECT_EQ(savedPictureWidth(403.9), 400);
    EXPECT_EQ(savedPictureWidth(3), 0);
    EXPECT_EQ(savedPictureWidth(-8), 0);
}

// The picture transfer shows the picture upright and in its own colours, and
// the read-back returns it top row first, also for an odd view width (whose
// rows the default unpacking would skew).
TEST_F(HeadlessTest, TransferAndReadBackKeepColoursAndOrientation)
{
    for (const cv::Size view : {cv::Size(160, 120), cv::Size(203, 101)}) {
        SCOPED_TRACE(view);
        ASSERT_TRUE(start(view.width, view.height));
        const cv::Mat frame = quadrantsBgr(320, 240);
        const cv::Mat picture = toViewConvention(frame);
        cv::Mat buffer;
        transferPicture(picture, buffer, view.width, view.height);
        EXPECT_EQ(buffer.size(), cv::Size(2 * view.width, view.height));
        const cv::Mat back = readBackPicture(view.width, view.height);
        ASSERT_EQ(back.cols, savedPictureWidth(view.width));
        ASSERT_EQ(back.rows, view.height);
        cv::Mat expected;
        cv::resize(frame, expected, view);
        // Away from the quadrant borders the colours are the frame's.
        for (cv::Point p : {cv::Point(10, 10), cv::Point(view.width - 40, 10), cv::Point(10, view.height - 10),
                            cv::Point(view.width - 40, view.height - 10), cv::Point(view.width / 4, view.height / 4)}) {
            EXPECT_LE(maxDiff(back.at<cv::Vec3b>(p), expected.at<cv::Vec3b>(p)), 2)
                << "at " << p << ": " << back.at<cv::Vec3b>(p) << " vs " << expected.at<cv::Vec3b>(p);
        }
        // No skew: the left column of the bottom-left quadrant stays blue on
        // every row of that quadrant.
        for (int y = view.height / 2 + 2; y < view.height; ++y)
            ASSERT_LE(maxDiff(back.at<cv::Vec3b>(y, 1), cv::Vec3b(210, 50, 30)), 2) << "row " << y;
    }
}

TEST_F(HeadlessTest, PictureViewDimsOutsideTheMask)
{
    ASSERT_TRUE(start(64, 48));
    cv::Mat frame(48, 64, CV_8UC3, cv::Scalar(200, 200, 200));
    const cv::Mat picture = toViewConvention(frame);
    cv::Mat mask(48, 64, CV_8UC1, cv::Scalar(0));
    mask(cv::Rect(32, 0, 32, 48)).setTo(255); // right half painted
    PictureView view;
    view.draw(64, 48); // no picture: nothing happens
    view.initTexture(&picture);
    view.initAlphaTexture(&mask);
    view.draw(64, 48);
    const cv::Mat back = readBackPicture(64, 48);
    // 200 * 105 / 256 = 82.03 and 200 * 255 / 256 = 199.2.
    EXPECT_LE(maxDiff(back.at<cv::Vec3b>(24, 5), cv::Vec3b(82, 82, 82)), 1) << back.at<cv::Vec3b>(24, 5);
    EXPECT_LE(maxDiff(back.at<cv::Vec3b>(24, 60), cv::Vec3b(199, 199, 199)), 1) << back.at<cv::Vec3b>(24, 60);
}

TEST(PictureViewTest, BrushMapsTheViewPositionToTheMask)
{
    cv::Mat mask(300, 400, CV_8UC1, cv::Scalar(0));
    // A click at the middle of a view twice the mask's size paints around
    // mask column 200, row 150 (rows counted from the bottom).
    ASSERT_TRUE(paintMask(mask, 400.0, 300.0, 800.0, 600.0));
    EXPECT_EQ(mask.at<uchar>(150, 200), 255);
    EXPECT_GT(mask.at<uchar>(150, 210), 0);
    EXPECT_EQ(mask.at<uchar>(150, 240), 0);
    cv::Mat empty;
    EXPECT_FALSE(paintMask(empty, 1, 1, 10, 10));
    EXPECT_FALSE(paintMask(mask, 1, 1, 0, 10));
}

TEST(PictureSaveTest, SaveRefusesBadNamesAndNeverTruncatesAnExistingFile)
{
    const fs::path dir = fs::path(TEST_BINARY_DIR) / "picture_save";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const cv::Mat picture(8, 8, CV_8UC3, cv::Scalar(1, 2, 3));
    std::string error;

    EXPECT_FALSE(savePicture(picture, (dir / "missing" / "sign").string(), &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_FALSE(savePicture(picture, "", &error));

    // An existing picture stays whole when the new one cannot be made.
    const fs::path old = dir / "old.jpg";
    { std::ofstream(old) << "previous picture"; }
    EXPECT_FALSE(savePicture(cv::Mat(), (dir / "old").string(), &error));
    std::stringstream kept;
    kept << std::ifstream(old).rdbuf();
    EXPECT_EQ(kept.str(), "previous picture");

    // A name that already ends in ".jpg" gets a second one; the file is JPEG.
    ASSERT_TRUE(savePicture(picture, (dir / "twice.jpg").string(), &error)) << error;
    const cv::Mat read = cv::imread((dir / "twice.jpg.jpg").string());
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read.size(), picture.size());
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

// The arrow view's frame: a hand standing for the whole sign at tracking
// position (x, y) is drawn at view pixel (w/2 + x*h, y*h from the top), and a
// sign of more than 75 lines draws nothing over the picture.
TEST_F(HeadlessTest, ArrowViewDrawsInTrackingUnitsOverThePicture)
{
    const int w = 200, h = 100;
    ASSERT_TRUE(start(w, h));
    // Hand 1 moves right along y = 0.5 from x = -0.6 to x = 0.2 over 21 lines;
    // hand 2 stays far away at the right.
    std::ostringstream text;
    for (int n = 1; n <= 100; ++n) {
        const int k = std::min(n, 21);
        const double x = -0.6 + 0.04 * (k - 1);
        text << x << " 0.5 0.8 0.2 0 0.1 " << (n - 1) * 40 << " \n";
    }
    TrackingTable table;
    std::string error;
    ASSERT_TRUE(table.parse(text.str(), "line.track", &error)) << error;
    SignPattern pattern;
    pattern.initVideo(table);
    pattern.setMoPat(SignPattern::kComplex);

    const cv::Mat picture = toViewConvention(cv::Mat(h, w, CV_8UC3, cv::Scalar(60, 60, 60)));
    ArrowView view;
    view.initTexture(&picture);
    view.initBegEnd(1, 21, w, h);
    ArrowControls controls;
    controls.rArrowVisible = false;
    EXPECT_EQ(view.draw(w, h, pattern, controls), SignPattern::kDrawn);
    EXPECT_EQ(pattern.beg, 1);
    EXPECT_EQ(pattern.dur, 20);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    cv::Mat back = readBackPicture(w, h);

    auto isFill = [](const cv::Vec3b& p) { return p[2] > 200 && p[1] > 90 && p[1] < 170 && p[0] > 90 && p[0] < 170; };
    // Along the path (y = 0.5: row 50; x from -0.6 to 0.2: columns 40 to
    // 120) the fill shows; far from it, the picture.
    int onPath = 0;
    for (int x = 45; x <= 110; x += 5)
        onPath += isFill(back.at<cv::Vec3b>(50, x)) ? 1 : 0;
    EXPECT_GE(onPath, 10);
    EXPECT_LE(maxDiff(back.at<cv::Vec3b>(10, 10), cv::Vec3b(60, 60, 60)), 1);
    EXPECT_LE(maxDiff(back.at<cv::Vec3b>(90, 180), cv::Vec3b(60, 60, 60)), 1);

    // An offset of 0.25 picture heights up moves the arrow 25 rows up.
    controls.offsetLArrowY = 0.25;
    view.draw(w, h, pattern, controls);
    back = readBackPicture(w, h);
    EXPECT_TRUE(isFill(back.at<cv::Vec3b>(25, 80)));
    EXPECT_FALSE(isFill(back.at<cv::Vec3b>(50, 80)));

    // 76 lines: the picture alone.
    view.initBegEnd(1, 77, w, h);
    EXPECT_EQ(view.draw(w, h, pattern, controls), SignPattern::kBadLength);
    back = readBackPicture(w, h);
    cv::Mat grey(back.size(), CV_8UC3, cv::Scalar(60, 60, 60)), diff;
    cv::absdiff(back, grey, diff);
    double worst = 0;
    cv::minMaxLoc(diff.reshape(1), nullptr, &worst);
    EXPECT_LE(worst, 1.0);
}

// A context made on a worker thread (with its throw-away drawing) and handed
// over draws the very pixels of one made in place, and starts from the same
// state; it refuses a bad size and a wait without a start.
TEST(HeadlessGLTest, ContextMadeInTheBackgroundDrawsTheSamePixels)
{
    const int w = 203, h = 101;
    std::ostringstream text;
    for (int n = 1; n <= 40; ++n)
        text << -0.4 + 0.02 * n << " 0.4 " << 0.3 - 0.01 * n << " 0.6 0 0.1 " << (n - 1) * 40 << " \n";
    TrackingTable table;
    std::string error;
    ASSERT_TRUE(table.parse(text.str(), "two.track", &error)) << error;
    const cv::Mat picture = toViewConvention(quadrantsBgr(320, 240));
    auto drawAndReadBack = [&] {
        SignPattern pattern;
        pattern.initVideo(table);
        pattern.setMoPat(SignPattern::kComplex);
        ArrowView view;
        view.initTexture(&picture);
        view.initBegEnd(2, 30, w, h);
        EXPECT_EQ(view.draw(w, h, pattern, ArrowControls()), SignPattern::kDrawn);
        return readBackPicture(w, h);
    };

    cv::Mat inPlace, background;
    {
        HeadlessGL gl;
        ASSERT_TRUE(gl.create(w, h, &error)) << error;
        inPlace = drawAndReadBack();
    }
    {
        HeadlessGL gl;
        gl.createInBackground();
        ASSERT_TRUE(gl.waitCreated(w, h, &error)) << error;
        EXPECT_EQ(gl.width(), w);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
        GLint vp[4] = {};
        glGetIntegerv(GL_VIEWPORT, vp);
        EXPECT_EQ(vp[2], w);
        EXPECT_EQ(vp[3], h);
        background = drawAndReadBack();
    }
    ASSERT_FALSE(inPlace.empty());
    EXPECT_EQ(cv::norm(inPlace, background, cv::NORM_INF), 0.0);

    HeadlessGL gl;
    EXPECT_FALSE(gl.waitCreated(w, h, &error));
    gl.createInBackground();
    EXPECT_FALSE(gl.waitCreated(0, 5, &error));
    EXPECT_NE(error.find("0x5"), std::string::npos) << error;
    EXPECT_FALSE(gl.isValid());
}

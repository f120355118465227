// The tracker's frame preparation, colour tables and per-frame maps.
#include "engine/Suivi2D.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

using vestiga::RandGen;
using vestiga::Suivi2D;

namespace {

// A frame whose pixels differ from column to column and row to row.
cv::Mat gradientFrame(int w, int h) {
    cv::Mat f(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, (x + 2 * y) % 256);
    return f;
}

void configure(Suivi2D& t, float x0, float y0, float x1, float y1, int resW = 400) {
    t.opt.noiseH = 0;
    t.opt.noiseS = 0;
    t.opt.noiseV = 10;
    t.opt.minX = x0;
    t.opt.minY = y0;
    t.opt.maxX = x1;
    t.opt.maxY = y1;
    t.opt.resizeWidth = resW;
}

// The body proportions the application sets for an ordinary calibration.
void setBody(Suivi2D& t) {
    t.opt.handWidth = 0.05f;
    t.opt.headWidth = 0.15f;
    t.opt.headHeight = 0.2f;
    t.opt.sleeves = 0.33f;
    t.opt.bodyScale = 0.6;
    t.opt.thickness = 0.8f;
    t.opt.foregroundThreshold = 180;
}

float bin(const cv::Mat& h, const cv::Vec3b& c) { return h.at<float>(c[0] / 16, c[1] / 16, c[2] / 16); }

const cv::Vec3b kSkin(80, 120, 200), kWall(200, 180, 40), kShirt(40, 40, 60);

// A scene of a wall, a shirt in the middle and a skin-coloured face and hand.
cv::Mat scene(int w, int h, int handX) {
    cv::Mat f(h, w, CV_8UC3, cv::Scalar(kWall[0], kWall[1], kWall[2]));
    cv::rectangle(f, cv::Rect(w / 3, h / 2, w / 3, h / 2), cv::Scalar(kShirt[0], kShirt[1], kShirt[2]), cv::FILLED);
    cv::rectangle(f, cv::Rect(w / 2 - 30, h / 6, 60, 80), cv::Scalar(kSkin[0], kSkin[1], kSkin[2]), cv::FILLED);
    cv::rectangle(f, cv::Rect(handX, h / 2, 30, 30), cv::Scalar(kSkin[0], kSkin[1], kSkin[2]), cv::FILLED);
    return f;
}

} // namespace

TEST(Suivi2D, PicturesAreSharedAndScaleIsSinglePrecision) {
    Suivi2D t;
    t.opt.bodyScale = 0.1;
    EXPECT_EQ(t.opt.bodyScale, 0.1f); // the single-precision value nearest to 0.1
    cv::Mat skin(4, 4, CV_8UC3, cv::Scalar::all(1)), bg(4, 4, CV_8UC3, cv::Scalar::all(2));
    t.setSkinPic(skin);
    t.setBackgroundPic(bg);
    skin.setTo(cv::Scalar::all(9));
    bg.setTo(cv::Scalar::all(8));
    EXPECT_EQ(t.skinPic.at<cv::Vec3b>(0, 0)[0], 9);
    EXPECT_EQ(t.bgPic.at<cv::Vec3b>(3, 3)[2], 8);
}

TEST(Suivi2D, ImageAreaAndProcessedHeight) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1);
    EXPECT_EQ(t.imageArea({640, 480}), cv::Rect(0, 0, 640, 480));
    EXPECT_EQ(t.resizedHeight({640, 480}), 300);
    EXPECT_EQ(t.checkROI({640, 480}), "");

    configure(t, 0.1f, 0.2f, 0.6f, 0.9f);
    EXPECT_EQ(t.imageArea({640, 480}), cv::Rect(64, 96, 320, 336));
    EXPECT_EQ(t.resizedHeight({640, 480}), 420);
    // Taller than wide: the skin prior would divide by 400 / 420 = 0.
    const std::string why = t.checkROI({640, 480});
    EXPECT_NE(why.find("taller than wide"), std::string::npos) << why;
    EXPECT_FALSE(t.setCurPicture(gradientFrame(640, 480)));
    EXPECT_TRUE(t.curResPic.empty());
}

TEST(Suivi2D, CheckROIRefusesUnusableAreas) {
    Suivi2D t;
    const cv::Size frame(640, 480);
    struct {
        float x0, y0, x1, y1;
    } bad[] = {{0.5f, 0, 0.5f, 1}, {0.6f, 0, 0.2f, 1}, {-0.1f, 0, 1, 1}, {0, 0, 1.2f, 1},
               {0, 0, 1, std::nanf("")}, {0, 0.5f, 1, 0.505f}, {0, 0, 0.001f, 1}};
    for (const auto& b : bad) {
        configure(t, b.x0, b.y0, b.x1, b.y1);
        EXPECT_NE(t.checkROI(frame), "") << b.x0 << " " << b.y0 << " " << b.x1 << " " << b.y1;
        EXPECT_FALSE(t.setCurPicture(gradientFrame(640, 480)));
    }
    configure(t, 0, 0, 1, 1);
    EXPECT_NE(t.checkROI({0, 0}), "");
    // A square area is accepted (resH = resW).
    configure(t, 0.25f, 0, 0.75f, 2.0f / 3.0f);
    EXPECT_EQ(t.checkROI(frame), "");
    EXPECT_LE(t.resizedHeight(frame), 400);
    // Not a colour frame.
    configure(t, 0, 0, 1, 1);
    EXPECT_FALSE(t.setCurPicture(cv::Mat(480, 640, CV_8UC1, cv::Scalar(0))));
}

TEST(Suivi2D, SetCurPictureCreatesTheImagesFromTheArea) {
    Suivi2D t;
    configure(t, 0.25f, 0.125f, 0.75f, 0.625f, 200);
    const cv::Mat frame = gradientFrame(320, 240);
    ASSERT_EQ(t.checkROI(frame.size()), "");
    ASSERT_EQ(t.setCurPicture(frame), 1);
    EXPECT_EQ(t.resH, 150);
    EXPECT_EQ(t.curResPic.size(), cv::Size(200, 150));
    EXPECT_EQ(t.curResPic.type(), CV_8UC3);
    EXPECT_EQ(t.skinMap.size(), cv::Size(200, 150));
    EXPECT_EQ(t.bgMap.type(), CV_8UC1);
    EXPECT_EQ(t.intSkinMap.size(), cv::Size(201, 151));
    EXPECT_EQ(t.intBgMap.size(), cv::Size(201, 151));
    EXPECT_EQ(t.intSkinMap.type(), CV_32SC1);
    // The frame is shared; the processed picture is the bicubic scaling of
    // the area 80 .. 239 x 30 .. 149.
    EXPECT_EQ(t.getCurPic().data, frame.data);
    cv::Mat expected;
    cv::resize(frame(cv::Rect(80, 30, 160, 120)), expected, cv::Size(200, 150), 0, 0, cv::INTER_CUBIC);
    EXPECT_EQ(cv::norm(t.curResPic, expected, cv::NORM_INF), 0);

    // A second call replaces every image.
    configure(t, 0, 0, 1, 1, 100);
    ASSERT_EQ(t.setCurPicture(frame), 1);
    EXPECT_EQ(t.curResPic.size(), cv::Size(100, 75));
    EXPECT_EQ(t.intBgMap.size(), cv::Size(101, 76));
}

TEST(Suivi2D, AutoBackgroundRepeatsTheOuterQuarters) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 402);
    ASSERT_EQ(t.setCurPicture(gradientFrame(804, 400)), 1);
    const cv::Mat first = t.curResPic.clone();
    ASSERT_EQ(t.createAutoBgPic(), 1);
    ASSERT_EQ(t.bgPic.size(), first.size());
    EXPECT_NE(t.bgPic.data, t.curResPic.data); // a picture of its own
    auto sameColumn = [&](int bgCol, int srcCol) {
        return cv::norm(t.bgPic.col(bgCol), first.col(srcCol), cv::NORM_INF) == 0;
    };
    for (int c = 0; c < 100; ++c) {
        ASSERT_TRUE(sameColumn(c, c));
        ASSERT_TRUE(sameColumn(100 + c, c));
        ASSERT_TRUE(sameColumn(201 + c, 301 + c));
        ASSERT_TRUE(sameColumn(301 + c, 301 + c));
    }
    EXPECT_TRUE(sameColumn(200, 200));
    EXPECT_TRUE(sameColumn(401, 401));
    EXPECT_EQ(cv::norm(t.curResPic, first, cv::NORM_INF), 0); // the processed picture is untouched
}

TEST(Suivi2D, MapsLookUpTheTablesInStoredChannelOrder) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 64);
    cv::Mat frame(48, 64, CV_8UC3, cv::Scalar(15, 16, 255));
    frame(cv::Rect(0, 0, 32, 48)).setTo(cv::Scalar(255, 16, 15));
    ASSERT_EQ(t.setCurPicture(frame), 1);
    const int sizes[] = {16, 16, 16};
    t.skinLikHist = cv::Mat(3, sizes, CV_32F, cv::Scalar(0));
    t.bgLikHist = cv::Mat(3, sizes, CV_32F, cv::Scalar(0));
    t.skinLikHist.at<float>(0, 1, 15) = 77.4f;   // blue 15, green 16, red 255
    t.skinLikHist.at<float>(15, 1, 0) = 300.0f;  // the colour with red and blue exchanged
    t.bgLikHist.at<float>(0, 1, 15) = 180.6f;
    ASSERT_EQ(t.computeSkBgMaps(), 1);
    EXPECT_EQ(t.skinMap.at<uchar>(10, 40), 77);  // rounded
    EXPECT_EQ(t.skinMap.at<uchar>(10, 10), 255); // saturated
    EXPECT_EQ(t.bgMap.at<uchar>(10, 40), 181);
    EXPECT_EQ(t.bgMap.at<uchar>(10, 10), 0);
}

TEST(Suivi2D, ColoursOutsideTheTablesGiveZeroMaps) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 80);
    ASSERT_EQ(t.setCurPicture(gradientFrame(160, 120)), 1);
    const int sizes[] = {16, 16, 16};
    t.skinLikHist = cv::Mat(3, sizes, CV_32F, cv::Scalar(0));
    t.bgLikHist = cv::Mat(3, sizes, CV_32F, cv::Scalar(0));
    ASSERT_EQ(t.computeSkBgMaps(), 1);
    EXPECT_EQ(cv::countNonZero(t.skinMap), 0);
    EXPECT_EQ(cv::countNonZero(t.bgMap), 0);
    EXPECT_EQ(cv::countNonZero(t.intSkinMap), 0);
    EXPECT_EQ(cv::countNonZero(t.intBgMap), 0);
}

TEST(Suivi2D, FirstMapsFollowTheScene) {
    // The whole set-up on a synthetic scene: the skin map lights the face and
    // the hand, the foreground map the person, and each integral image sums
    // its map.
    Suivi2D t;
    configure(t, 0, 0, 1, 1);
    cv::Mat frame = scene(640, 480, 100);
    ASSERT_EQ(t.setCurPicture(frame), 1);
    ASSERT_EQ(t.resH, 300);
    const cv::Mat skinSample(20, 20, CV_8UC3, cv::Scalar(kSkin[0], kSkin[1], kSkin[2]));
    t.setSkinPic(skinSample);
    cv::Mat bg(480, 640, CV_8UC3, cv::Scalar(kWall[0], kWall[1], kWall[2]));
    t.setBackgroundPic(bg);
    setBody(t);
    t.opt.bodyScale = 1.2; // shoulders a third of the area's height apart
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    EXPECT_EQ(t.rng.drawn(), 6u * 640 * 480);
    EXPECT_GT(bin(t.skinLikHist, kSkin), 100);
    EXPECT_EQ(bin(t.skinLikHist, kWall), 0);
    EXPECT_EQ(bin(t.bgLikHist, kWall), 0);
    EXPECT_GE(bin(t.bgLikHist, kShirt), 180);

    // The next frame: the hand has moved.
    scene(640, 480, 500).copyTo(frame);
    ASSERT_EQ(t.computeSkBgMaps(), 1);
    const cv::Point face(200, 50), hand(320, 160), wall(20, 20), shirt(200, 250);
    EXPECT_GT(t.skinMap.at<uchar>(face), 100);
    EXPECT_GT(t.skinMap.at<uchar>(hand), 100);
    EXPECT_EQ(t.skinMap.at<uchar>(wall), 0);
    EXPECT_EQ(t.skinMap.at<uchar>(160, 70), 0); // where the hand was
    EXPECT_EQ(t.bgMap.at<uchar>(wall), 0);
    EXPECT_GE(t.bgMap.at<uchar>(shirt), 180);
    for (const cv::Mat* m : {&t.intSkinMap, &t.intBgMap}) {
        const cv::Mat& map = m == &t.intSkinMap ? t.skinMap : t.bgMap;
        EXPECT_EQ(cv::countNonZero(m->row(0)), 0);
        EXPECT_EQ(cv::countNonZero(m->col(0)), 0);
        EXPECT_EQ(m->at<int32_t>(t.resH, t.resW), cv::sum(map)[0]);
        cv::RNG rng(5);
        for (int k = 0; k < 50; ++k) {
            const int x1 = rng.uniform(0, 400), x2 = rng.uniform(x1, 401);
            const int y1 = rng.uniform(0, 300), y2 = rng.uniform(y1, 301);
            const double s = static_cast<double>(m->at<int32_t>(y1, x1)) + m->at<int32_t>(y2, x2)
                             - m->at<int32_t>(y1, x2) - m->at<int32_t>(y2, x1);
            ASSERT_EQ(s, cv::sum(map(cv::Rect(x1, y1, x2 - x1, y2 - y1)))[0]);
        }
    }
    // Later frames are scaled with the nearest neighbour, over the drawings.
    cv::rectangle(t.curResPic, cv::Rect(0, 0, 50, 50), cv::Scalar::all(255), cv::FILLED);
    ASSERT_EQ(t.computeSkBgMaps(), 1);
    cv::Mat expected;
    cv::resize(frame, expected, cv::Size(400, 300), 0, 0, cv::INTER_NEAREST);
    EXPECT_EQ(cv::norm(t.curResPic, expected, cv::NORM_INF), 0);
}

TEST(Suivi2D, SkinTableRules) {
    // Frame: half colour A, half colour B; skin sample: colour A and colour C
    // (absent from the frame).
    const cv::Vec3b A(100, 130, 200), B(30, 30, 30), C(240, 10, 10);
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 200);
    cv::Mat frame(100, 200, CV_8UC3, cv::Scalar(A[0], A[1], A[2]));
    frame(cv::Rect(0, 0, 100, 100)).setTo(cv::Scalar(B[0], B[1], B[2]));
    ASSERT_EQ(t.setCurPicture(frame), 1);
    ASSERT_EQ(t.resH, 100);
    cv::Mat skin(10, 10, CV_8UC3, cv::Scalar(A[0], A[1], A[2]));
    skin(cv::Rect(0, 0, 10, 2)).setTo(cv::Scalar(C[0], C[1], C[2])); // 20 % C, 80 % A
    t.setSkinPic(skin);
    cv::Mat bg(100, 200, CV_8UC3, cv::Scalar(B[0], B[1], B[2]));
    t.setBackgroundPic(bg);
    setBody(t);
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    // Prior: (heh hew + 2 haw^2 + 0.4 haw bSc (1 - sle)) / (200 / 100 = 2).
    const float hh = 0.2f * 0.15f + 2 * 0.05f * 0.05f;
    const double fa = 0.4 * 0.05f * 0.6f * (1.0 - 0.33f);
    const float p = static_cast<float>((hh + fa) / 2.0);
    EXPECT_FLOAT_EQ(bin(t.skinLikHist, A), static_cast<float>(0.8 * p * 255.0 / 0.5));
    EXPECT_EQ(bin(t.skinLikHist, B), 0);           // in the frame, not in the sample
    EXPECT_EQ(bin(t.skinLikHist, C), 0);           // only in the sample
    EXPECT_EQ(bin(t.skinLikHist, cv::Vec3b(0, 250, 0)), 255); // in neither
    // Foreground: absent from the frame gives 0.
    EXPECT_EQ(bin(t.bgLikHist, C), 0);
    EXPECT_EQ(bin(t.bgLikHist, cv::Vec3b(0, 250, 0)), 0);
}

TEST(Suivi2D, PriorIsDividedByTheWholeNumberAspectRatio) {
    // A uniform skin-coloured frame: S = F = 1 in its bin, so the table holds
    // 255 p, which shows the prior's divisor.
    const cv::Vec3b A(100, 130, 200);
    auto tableValue = [&](int frameH) {
        Suivi2D t;
        configure(t, 0, 0, 1, 1, 400);
        const cv::Mat frame(frameH, 400, CV_8UC3, cv::Scalar(A[0], A[1], A[2]));
        EXPECT_TRUE(t.setCurPicture(frame));
        t.setSkinPic(frame);
        t.setBackgroundPic(frame.clone());
        setBody(t);
        EXPECT_TRUE(t.computeLikelihoodHisto());
        return std::make_pair(t.resH, bin(t.skinLikHist, A));
    };
    const auto [h300, v300] = tableValue(300);
    const auto [h200, v200] = tableValue(200);
    const auto [h201, v201] = tableValue(201);
    EXPECT_EQ(h300, 300);
    EXPECT_EQ(h200, 200);
    EXPECT_EQ(h201, 201);
    EXPECT_EQ(v300, v201);
    EXPECT_NEAR(v200, v300 / 2, 1e-4);
    // Values above 255 are stored as 255.
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 400);
    const cv::Mat frame(300, 400, CV_8UC3, cv::Scalar(A[0], A[1], A[2]));
    ASSERT_EQ(t.setCurPicture(frame), 1);
    t.setSkinPic(frame);
    t.setBackgroundPic(frame.clone());
    setBody(t);
    t.opt.headWidth = 3;
    t.opt.headHeight = 3;
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    EXPECT_EQ(bin(t.skinLikHist, A), 255);
}

TEST(Suivi2D, ForegroundThresholdKeepsValuesNotBelowIt) {
    // Colour X is absent from the background: t = 0 and the foreground value
    // is exactly 255. Colour B fills the background and half the frame:
    // t = (bSc^2 / 2) / 0.5.
    const cv::Vec3b X(20, 200, 20), B(200, 30, 100);
    auto tables = [&](int thres, double bodyScale) {
        Suivi2D t;
        configure(t, 0, 0, 1, 1, 100);
        t.opt.noiseH = 0;
        t.opt.noiseS = 0;
        t.opt.noiseV = 0;
        cv::Mat frame(50, 100, CV_8UC3, cv::Scalar(B[0], B[1], B[2]));
        frame(cv::Rect(0, 0, 50, 50)).setTo(cv::Scalar(X[0], X[1], X[2]));
        EXPECT_TRUE(t.setCurPicture(frame));
        t.setSkinPic(frame);
        t.setBackgroundPic(cv::Mat(50, 100, CV_8UC3, cv::Scalar(B[0], B[1], B[2])));
        setBody(t);
        t.opt.bodyScale = bodyScale;
        t.opt.foregroundThreshold = thres;
        EXPECT_TRUE(t.computeLikelihoodHisto());
        return std::make_pair(bin(t.bgLikHist, X), bin(t.bgLikHist, B));
    };
    EXPECT_EQ(tables(255, 0.6).first, 255.0f); // equal to the threshold: kept
    EXPECT_EQ(tables(256, 0.6).first, 0.0f);
    const float q = 0.6f * 0.6f * 0.5f;
    const float v = (1 - static_cast<float>(q / 0.5f)) * 255.0f; // 163.2
    EXPECT_EQ(tables(163, 0.6).second, v);
    EXPECT_EQ(tables(164, 0.6).second, 0.0f);
    // More common in the background than in the frame: negative, below any
    // threshold of 0 or more, stored as 0.
    EXPECT_EQ(tables(0, 2.0).second, 0.0f);
}

TEST(Suivi2D, BackgroundNoiseDrawsColumnByColumn) {
    // The noisy background, rebuilt here from the same draws: three normal
    // variates per pixel, columns outermost, truncated and clamped.
    const cv::Mat bg0 = gradientFrame(23, 17);
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 40);
    ASSERT_EQ(t.setCurPicture(gradientFrame(80, 60)), 1);
    t.setSkinPic(bg0);
    cv::Mat bg = bg0.clone();
    t.setBackgroundPic(bg);
    setBody(t);
    t.opt.noiseH = 3;
    t.opt.noiseS = 0;
    t.opt.noiseV = 10;
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    EXPECT_EQ(t.rng.drawn(), 6u * 23 * 17);
    cv::Mat T;
    cv::cvtColor(bg0, T, cv::COLOR_RGB2HSV);
    RandGen g;
    for (int x = 0; x < T.cols; ++x) {
        for (int y = 0; y < T.rows; ++y) {
            cv::Vec3b& c = T.at<cv::Vec3b>(y, x);
            const double dev[3] = {3, 0, 10};
            for (int k = 0; k < 3; ++k) {
                const double v = std::trunc(c[k] + vestiga::boxMuller(g) * dev[k]);
                c[k] = static_cast<uchar>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    cv::Mat expected;
    cv::cvtColor(T, expected, cv::COLOR_HSV2RGB);
    EXPECT_EQ(cv::norm(bg, expected, cv::NORM_INF), 0); // the caller's picture changed in place
    EXPECT_EQ(t.bgPic.data, bg.data);
}

TEST(Suivi2D, BackgroundNoiseClampsInsteadOfWrapping) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 40);
    ASSERT_EQ(t.setCurPicture(gradientFrame(80, 60)), 1);
    cv::Mat bg = gradientFrame(40, 30);
    t.setSkinPic(bg.clone());
    t.setBackgroundPic(bg);
    setBody(t);
    t.opt.noiseH = 0;
    t.opt.noiseS = 0;
    t.opt.noiseV = 1e6f; // the value channel ends at 0 or 255
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    int black = 0, bright = 0;
    for (int y = 0; y < bg.rows; ++y) {
        for (int x = 0; x < bg.cols; ++x) {
            const cv::Vec3b c = bg.at<cv::Vec3b>(y, x);
            const int mx = std::max({c[0], c[1], c[2]});
            ASSERT_TRUE(mx == 0 || mx == 255) << mx;
            (mx == 0 ? black : bright)++;
        }
    }
    EXPECT_GT(black, 400);
    EXPECT_GT(bright, 400);
}

TEST(Suivi2D, TrackersInOneProcessDoNotDisturbEachOther) {
    auto tables = [](Suivi2D& t) {
        configure(t, 0, 0, 1, 1, 200);
        const cv::Mat frame = scene(400, 300, 60);
        EXPECT_TRUE(t.setCurPicture(frame));
        t.setSkinPic(cv::Mat(8, 8, CV_8UC3, cv::Scalar(kSkin[0], kSkin[1], kSkin[2])));
        EXPECT_TRUE(t.createAutoBgPic());
        setBody(t);
        EXPECT_TRUE(t.computeLikelihoodHisto());
    };
    Suivi2D a, b;
    for (int i = 0; i < 1000; ++i)
        b.rng.next(); // another tracker's draws
    tables(a);
    b.rng.reseed(1);
    tables(b);
    EXPECT_EQ(cv::norm(a.skinLikHist, b.skinLikHist, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(a.bgLikHist, b.bgLikHist, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(a.bgPic, b.bgPic, cv::NORM_INF), 0);
}

TEST(Suivi2D, RefusesToBuildTablesWithoutItsInputs) {
    Suivi2D t;
    configure(t, 0, 0, 1, 1, 100);
    EXPECT_FALSE(t.computeLikelihoodHisto()); // before setCurPicture
    EXPECT_FALSE(t.createAutoBgPic());
    EXPECT_FALSE(t.computeSkBgMaps());
    ASSERT_EQ(t.setCurPicture(gradientFrame(200, 150)), 1);
    setBody(t);
    t.setBackgroundPic(gradientFrame(10, 10));
    EXPECT_FALSE(t.computeLikelihoodHisto()); // no skin picture
    t.setSkinPic(cv::Mat(5, 5, CV_8UC1, cv::Scalar(1)));
    EXPECT_FALSE(t.computeLikelihoodHisto()); // not a colour picture
    EXPECT_EQ(t.rng.drawn(), 0u);
    EXPECT_TRUE(t.skinLikHist.empty());
    EXPECT_FALSE(t.computeSkBgMaps()); // no tables yet
    // The frame shrank: the image area no longer fits.
    t.setSkinPic(gradientFrame(10, 10));
    ASSERT_EQ(t.computeLikelihoodHisto(), 1);
    t.opt.minX = 0.5f;
    t.opt.minY = 0.5f;
    t.opt.maxX = 1;
    t.opt.maxY = 1;
    t.curPic = gradientFrame(1, 1);
    EXPECT_FALSE(t.computeSkBgMaps());
}

// The per-frame run of the five filters on hand-drawn skin and foreground
// maps of a signer: the expectation vector's layout, the run order, and that
// the filters find the drawn body parts.
#include "engine/CorrectionBN.h"
#include "engine/Suivi2D.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace vestiga;

namespace {

// A signer in a 400 x 300 processed picture: head box 75 x 75 about
// (200, 100), shoulders 86 pixels apart (body scale 1), hands 30 pixels wide.
struct Figure {
    cv::Point head{200, 100};
    cv::Point hand1{125, 215};
    cv::Point hand2{285, 200};
    cv::Point elbow1{135, 180};
    cv::Point elbow2{265, 175};
};

void drawMaps(Suivi2D& t, const Figure& f)
{
    cv::Mat skin = cv::Mat::zeros(300, 400, CV_8U);
    cv::Mat fg = cv::Mat::zeros(300, 400, CV_8U);
    const cv::Scalar on(255);
    // Foreground: head, neck, trunk, upper arms and forearms.
    cv::ellipse(fg, f.head, cv::Size(30, 37), 0, 0, 360, on, cv::FILLED);
    cv::rectangle(fg, cv::Rect(176, 120, 48, 40), on, cv::FILLED);
    cv::rectangle(fg, cv::Rect(145, 150, 110, 150), on, cv::FILLED);
    cv::line(fg, cv::Point(150, 160), f.elbow1, on, 22);
    cv::line(fg, cv::Point(250, 160), f.elbow2, on, 22);
    cv::line(fg, f.elbow1, f.hand1, on, 18);
    cv::line(fg, f.elbow2, f.hand2, on, 18);
    // Skin: face and hands.
    cv::ellipse(skin, f.head, cv::Size(28, 36), 0, 0, 360, on, cv::FILLED);
    cv::circle(skin, f.hand1, 14, on, cv::FILLED);
    cv::circle(skin, f.hand2, 14, on, cv::FILLED);
    cv::integral(skin, t.intSkinMap, CV_64F);
    cv::integral(fg, t.intBgMap, CV_64F);
}

void configure(Suivi2D& t, float sleeve, int N)
{
    t.resW = 400;
    t.resH = 300;
    t.setHeadWidth(0.25f);
    t.setHeadHeight(0.25f);
    t.setHandWidth(0.1f);
    t.setBodyScale(1.0);
    t.setThickness(0.8f);
    t.setSleeves(sleeve);
    drawMaps(t, Figure());
    t.buildPartFilter(N, 1.2f);
    t.initFilter();
}

double dist(double x, double y, cv::Point p) { return std::hypot(x - p.x, y - p.y); }

} // namespace

TEST(FilterRun, ExpectationListsTorsoFirstAndHandsFromOneCall)
{
    Suivi2D t;
    configure(t, 0.33f, 200);
    t.processFrame();
    double e[12];
    t.expectation(e);
    double torso[2], head[2], er[2], el[2], hands[4];
    t.torsoPF->expectation(torso);
    t.headPF->expectation(head);
    t.elbowPFR->expectation(er);
    t.elbowPFL->expectation(el);
    t.handPF->expectation(hands);
    const double expected[12] = {torso[0], torso[1], head[0],  head[1],  er[0],    er[1],
                                 el[0],    el[1],    hands[0], hands[1], hands[2], hands[3]};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(e[k], expected[k]) << k;
    // Asking again changes nothing.
    double again[12];
    t.expectation(again);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(again[k], e[k]) << k;
}

TEST(FilterRun, ProcessFrameIsTheSingleStepsInOrderAndRepeatable)
{
    Suivi2D a, b;
    configure(a, 1.0f, 200);
    configure(b, 1.0f, 200);
    for (int frame = 0; frame < 3; ++frame) {
        const uint64_t before = a.rng.drawn();
        a.processFrame();
        // Two draws per coordinate: four 2-D filters and one 4-D filter.
        EXPECT_EQ(a.rng.drawn() - before, 2u * 200 * (2 + 2 + 2 + 2 + 4));
        b.trackHead();
        b.trackBody();
        b.trackRElbow();
        b.trackLElbow();
        b.trackHands();
    }
    double ea[12], eb[12];
    a.expectation(ea);
    b.expectation(eb);
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(ea[k], eb[k]) << k;
}

TEST(FilterRun, FindsTheDrawnSigner)
{
    Suivi2D t;
    // Sleeves to the wrists: only the hands show skin.
    configure(t, 1.0f, 1500);
    CorrectionBN cor;
    cor.initialize(0.95f, static_cast<int>(0.25 * 300));
    const Figure f;
    double e[12];
    for (int frame = 0; frame < 60; ++frame) {
        t.processFrame();
        t.expectation(e);
        cor.correctHand(e);
        cor.correctElbow(e);
        for (double x : e)
            ASSERT_TRUE(std::isfinite(x)) << "frame " << frame;
    }
    EXPECT_LT(dist(e[2], e[3], f.head), 8.0) << e[2] << ", " << e[3];
    // The torso's centre lies in the middle of the picture, below the head.
    EXPECT_NEAR(e[0], 200.0, 15.0);
    EXPECT_GT(e[1], e[3]);
    // Each hand on its own side, near its drawn spot.
    EXPECT_LT(dist(e[8], e[9], f.hand1), 12.0) << e[8] << ", " << e[9];
    EXPECT_LT(dist(e[10], e[11], f.hand2), 12.0) << e[10] << ", " << e[11];
    // Both elbows hang beside the torso, on their own sides.
    EXPECT_LT(e[4], e[0]);
    EXPECT_GT(e[6], e[0]);
}

TEST(FilterRun, RefusesToRunBeforeSetUp)
{
    Suivi2D t;
    double e[12];
    e[5] = 7;
    EXPECT_EQ(t.initFilter(), 0); // no filters to initialise
    EXPECT_EQ(t.processFrame(), 0);
    t.expectation(e);
    EXPECT_EQ(e[5], 0.0);
    t.resW = 400;
    t.resH = 300;
    t.buildPartFilter(10, 1.2f);
    EXPECT_EQ(t.processFrame(), 0); // built but not initialised: no templates yet
    EXPECT_EQ(t.trackHands(), 0);
    EXPECT_EQ(t.rng.drawn(), 0u);
}

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
    t.opt.headWidth = 0.25f;
    t.opt.headHeight = 0.25f;
    t.opt.handWidth = 0.1f;
    t.opt.bodyScale = 1.0;
    t.opt.thickness = 0.8f;
    t.opt.sleeves = sleeve;
    drawMaps(t, Figure());
    t.opt.particles = N;
    t.opt.driftScale = 1.2f;
    t.buildPartFilter();
    EXPECT_TRUE(t.initFilter());
}

double dist(double x, double y, cv::Point p) { return std::hypot(x - p.x, y - p.y); }

} // namespace

TEST(FilterRun, ExpectationListsTorsoFirstAndHandsFromOneCall)
{
    Suivi2D t;
    configure(t, 0.33f, 200);
    EXPECT_TRUE(t.processFrame());
    const BodyEstimate e = t.estimate();
    double torso[2], head[2], er[2], el[2], hands[4];
    t.torsoPF->expectation(torso);
    t.headPF->expectation(head);
    t.elbowPFR->expectation(er);
    t.elbowPFL->expectation(el);
    t.handPF->expectation(hands);
    BodyEstimate expected;
    expected.torso = {torso[0], torso[1]};
    expected.head = {head[0], head[1]};
    expected.elbowR = {er[0], er[1]};
    expected.elbowL = {el[0], el[1]};
    expected.hand1 = {hands[0], hands[1]};
    expected.hand2 = {hands[2], hands[3]};
    EXPECT_TRUE(e == expected);
    // Asking again changes nothing.
    EXPECT_TRUE(t.estimate() == e);
}

TEST(FilterRun, ProcessFrameIsTheSingleStepsInOrderAndRepeatable)
{
    Suivi2D a, b;
    configure(a, 1.0f, 200);
    configure(b, 1.0f, 200);
    for (int frame = 0; frame < 3; ++frame) {
        const uint64_t before = a.rng.drawn();
        EXPECT_TRUE(a.processFrame());
        // Two draws per coordinate: four 2-D filters and one 4-D filter.
        EXPECT_EQ(a.rng.drawn() - before, 2u * 200 * (2 + 2 + 2 + 2 + 4));
        EXPECT_TRUE(b.track(Suivi2D::Part::Head));
        EXPECT_TRUE(b.track(Suivi2D::Part::Torso));
        EXPECT_TRUE(b.track(Suivi2D::Part::ElbowR));
        EXPECT_TRUE(b.track(Suivi2D::Part::ElbowL));
        EXPECT_TRUE(b.track(Suivi2D::Part::Hands));
    }
    EXPECT_TRUE(a.estimate() == b.estimate());
}

TEST(FilterRun, FindsTheDrawnSigner)
{
    Suivi2D t;
    // Sleeves to the wrists: only the hands show skin.
    configure(t, 1.0f, 1500);
    CorrectionBN cor;
    cor.initialize(0.95f, static_cast<int>(0.25 * 300));
    const Figure f;
    BodyEstimate e;
    for (int frame = 0; frame < 60; ++frame) {
        EXPECT_TRUE(t.processFrame());
        e = t.estimate();
        cor.correctHand(e);
        cor.correctElbow(e);
        for (int k = 0; k < BodyEstimate::kPoints; ++k)
            ASSERT_TRUE(std::isfinite(e[k].x) && std::isfinite(e[k].y)) << "frame " << frame;
    }
    EXPECT_LT(dist(e.head.x, e.head.y, f.head), 8.0) << e.head.x << ", " << e.head.y;
    // The torso's centre lies in the middle of the picture, below the head.
    EXPECT_NEAR(e.torso.x, 200.0, 15.0);
    EXPECT_GT(e.torso.y, e.head.y);
    // Each hand on its own side, near its drawn spot.
    EXPECT_LT(dist(e.hand1.x, e.hand1.y, f.hand1), 12.0) << e.hand1.x << ", " << e.hand1.y;
    EXPECT_LT(dist(e.hand2.x, e.hand2.y, f.hand2), 12.0) << e.hand2.x << ", " << e.hand2.y;
    // Both elbows hang beside the torso, on their own sides.
    EXPECT_LT(e.elbowR.x, e.torso.x);
    EXPECT_GT(e.elbowL.x, e.torso.x);
}

TEST(FilterRun, RefusesToRunBeforeSetUp)
{
    Suivi2D t;
    EXPECT_FALSE(t.initFilter()); // no filters to initialise
    EXPECT_FALSE(t.processFrame());
    EXPECT_TRUE(t.estimate() == BodyEstimate());
    t.resW = 400;
    t.resH = 300;
    t.opt.particles = 10;
    t.opt.driftScale = 1.2f;
    t.buildPartFilter();
    EXPECT_FALSE(t.processFrame()); // built but not initialised: no templates yet
    EXPECT_FALSE(t.track(Suivi2D::Part::Hands));
    EXPECT_EQ(t.rng.drawn(), 0u);
}

// Correction of hand labels and elbows on hand-made estimates.
#include "engine/CorrectionBN.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vestiga;

namespace {

// An estimate with torso and head fixed, the elbows and hands given.
BodyEstimate fill(double erx, double ery, double elx, double ely, double h1x, double h1y, double h2x, double h2y)
{
    BodyEstimate v;
    v.torso = {200, 180};
    v.head = {200, 80};
    v.elbowR = {erx, ery};
    v.elbowL = {elx, ely};
    v.hand1 = {h1x, h1y};
    v.hand2 = {h2x, h2y};
    return v;
}

} // namespace

TEST(CorrectHand, HandTwoLeftOfHandOneIsExchangedOnTheFirstFrame)
{
    CorrectionBN c;
    c.initialize(0.95f, 60);
    BodyEstimate v;
    // Both elbows at one point: the anatomy terms are equal for both labels.
    v = fill(150, 150, 150, 150, 100, 100, 90, 100);
    c.correctHand(v);
    EXPECT_EQ(v.hand1.x, 90.0);
    EXPECT_EQ(v.hand2.x, 100.0);

    // First frame: previous hands at (0, 0), so both continuity costs are
    // the same a; cx = 1, cy = 0 (each vertical term is ln 0.5).
    const float d = std::sqrt(static_cast<float>(100.0 * 100 + 100.0 * 100 + 90.0 * 90 + 100.0 * 100));
    const double a = d * (-0.5 * std::log(0.004) / 10000) * d;
    const double j = 0.5 * std::log(0.4 / static_cast<double>(std::sqrt(1e7f))) / 1e7;
    const double e = j * (2 * 50.0 * 50 + 60.0 * 60 + 50.0 * 50);
    const double kept = -a + std::log(1 / (std::exp(10.0) + 1)) + std::log(0.5) + e;
    const double swapped = -a + std::log(1 / (std::exp(-10.0) + 1)) + std::log(0.5) + e;
    // After the exchange hyp1 belongs to the reported (exchanged) labels.
    EXPECT_DOUBLE_EQ(c.hyp1, swapped);
    EXPECT_DOUBLE_EQ(c.hyp2, kept);
    EXPECT_NEAR(kept - swapped, -10.00005 + 0.0000454, 1e-4);
    EXPECT_TRUE(c.last == v);
}

TEST(CorrectHand, EqualScoresKeepTheLabels)
{
    CorrectionBN c;
    c.initialize(0.95f, 60);
    BodyEstimate v;
    v = fill(150, 150, 150, 150, 100, 100, 100, 150); // same x; cy = 0
    c.correctHand(v);
    EXPECT_EQ(c.hyp1, c.hyp2);
    EXPECT_EQ(v.hand1.y, 100.0);
    EXPECT_EQ(v.hand2.y, 150.0);
}

TEST(CorrectHand, RestoresLabelsAfterTheFilterExchangesThem)
{
    CorrectionBN c;
    c.initialize(0.95f, 60);
    BodyEstimate v;
    // The hands move slowly, hand 1 on the left near the right elbow.
    for (int f = 0; f < 30; ++f) {
        const double t = f * 0.5;
        v = fill(120, 150, 280, 150, 120 + t, 200 - t, 280 - t, 200 - t);
        c.correctHand(v);
        ASSERT_EQ(v.hand1.x, 120 + t) << "frame " << f;
    }
    // The filter now delivers the hands with their labels exchanged.
    for (int f = 30; f < 40; ++f) {
        const double t = f * 0.5;
        v = fill(120, 150, 280, 150, 280 - t, 200 - t, 120 + t, 200 - t);
        c.correctHand(v);
        EXPECT_EQ(v.hand1.x, 120 + t) << "frame " << f;
        EXPECT_EQ(v.hand2.x, 280 - t) << "frame " << f;
    }
    // mudx follows the absolute horizontal distance between the hands.
    EXPECT_GT(c.mudx, 100.0);
    EXPECT_TRUE(std::isfinite(c.hyp1));
    EXPECT_TRUE(std::isfinite(c.hyp2));
}

TEST(CorrectHand, SteepOrderingTermsKeepScoresFinite)
{
    CorrectionBN c;
    c.initialize(0.95f, 60);
    // Hands held far apart at a steady distance: the variance of their
    // offset becomes tiny and the ordering slope cx = mudx / sigma2dx huge.
    c.mudx = 100;
    c.sigma2dx = 0.01;
    c.mudy = 50;
    c.sigma2dy = 0.01;
    BodyEstimate v;
    // Hands crossed in x and in y: exp(cx dx) and exp(cy dy) overflow.
    v = fill(150, 150, 150, 150, 200, 100, 100, 200);
    c.correctHand(v);
    ASSERT_TRUE(std::isfinite(c.hyp1));
    ASSERT_TRUE(std::isfinite(c.hyp2));
    // Crossed in x costs the delivered labels cx |dx| = 1e6, crossed in y
    // costs the exchanged ones cy |dy| = 5e5: the hands are exchanged.
    EXPECT_EQ(v.hand1.x, 100.0);
    EXPECT_NEAR(c.hyp1 - c.hyp2, 5e5, 1e-3);

    // The next frames still decide: the hands uncross and keep their labels.
    for (int f = 0; f < 3; ++f) {
        v = fill(150, 150, 150, 150, 100, 150, 200, 150);
        c.correctHand(v);
        EXPECT_TRUE(std::isfinite(c.hyp1));
        EXPECT_TRUE(std::isfinite(c.hyp2));
    }
    EXPECT_EQ(v.hand1.x, 100.0);
}

TEST(CorrectElbow, PullsAFarElbowToAForearmFromItsHand)
{
    CorrectionBN c;
    c.initialize(0.95f, 50);
    BodyEstimate v;
    v = fill(100, 180, 240, 100, 100, 100, 200, 100);
    const BodyEstimate before = v;
    c.correctElbow(v);
    EXPECT_EQ(v.elbowR.x, 100.0);
    EXPECT_EQ(v.elbowR.y, 150.0);
    // The left elbow is 40 from hand 2: it stays.
    EXPECT_EQ(v.elbowL.x, 240.0);
    EXPECT_EQ(v.elbowL.y, 100.0);
    EXPECT_EQ(v.torso.x, before.torso.x);
    EXPECT_EQ(v.head.y, before.head.y);

    // Oblique: the elbow ends on the circle of radius 50 about its hand.
    v = fill(100, 180, 330, 220, 100, 100, 200, 100);
    c.correctElbow(v);
    EXPECT_NEAR(std::hypot(v.elbowL.x - 200, v.elbowL.y - 100), 50.0, 1e-4);
    EXPECT_NEAR((v.elbowL.y - 100) / (v.elbowL.x - 200), 120.0 / 130.0, 1e-9);
}

TEST(CorrectElbow, PairsElbowsWithTheHandsAsReported)
{
    CorrectionBN c;
    c.initialize(0.95f, 60);
    BodyEstimate v;
    v = fill(150, 150, 150, 150, 100, 100, 90, 100);
    c.correctHand(v); // exchanges the hands: hand 1 is now (90, 100)
    v = fill(90, 300, 100, 300, v.hand1.x, v.hand1.y, v.hand2.x, v.hand2.y);
    c.correctElbow(v);
    EXPECT_EQ(v.elbowR.x, 90.0);
    EXPECT_EQ(v.elbowR.y, 160.0);
    EXPECT_EQ(v.elbowL.x, 100.0);
    EXPECT_EQ(v.elbowL.y, 160.0);
}

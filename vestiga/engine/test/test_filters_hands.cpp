// The hand filter on a hand-made 100 x 80 skin map: limits on the hands,
// the weight from the skin explained by the head box and the forearm bands,
// the undefined cases (no skin, no area), and the alignment of hand order.
#include "engine/BodyPartFil.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace vestiga;

namespace {

const double kNoSkin = std::pow(2.0, -20.0);

class HandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A skin map with a varied pattern, and its integral image (101 x 81).
        skin.create(80, 100, CV_8U);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 100; ++x)
                skin.at<uchar>(y, x) = static_cast<uchar>((x * 7 + y * 13) % 256);
        cv::integral(skin, I, CV_64F);
        for (PartFil* f : {static_cast<PartFil*>(&head), static_cast<PartFil*>(&elbowR),
                           static_cast<PartFil*>(&elbowL)})
            f->buildPartFilter(1, 2, 0, &rng);
        head.initialize(50, 20, nullptr, 0, 0, 100, 80, &I);
        place(elbowR, 30, 20);
        place(elbowL, 70, 20);
    }
    static void place(PartFil& f, double x, double y)
    {
        f.particle(0)[0] = x;
        f.particle(0)[1] = y;
        f.weight[0] = 1;
    }
    HandPartFil& make(int n, float sleeve)
    {
        hands.buildPartFilter(n, 4, 0, &rng);
        hands.initialize(50, 40, 9, 20, 16, sleeve, &I, &elbowR, &elbowL, &head);
        return hands;
    }
    static void setHands(HandPartFil& h, int i, double x1, double y1, double x2, double y2)
    {
        double* p = h.particle(i);
        p[0] = x1;
        p[1] = y1;
        p[2] = x2;
        p[3] = y2;
    }
    // Skin over columns x0 .. x1 - 1 and rows y0 .. y1 - 1, summed pixel by pixel.
    double skinSum(int x0, int y0, int x1, int y1) const
    {
        double s = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                s += skin.at<uchar>(y, x);
        return s;
    }
    // The weight of a model of union area U, summed area S and skin K.
    double expectedWeight(double K, double U, double S) const
    {
        const double A = 101.0 * 81.0;
        // The picture rectangle spans corners (0, 0) to (99, 79).
        const double T = skinSum(0, 0, 99, 79);
        const double g = std::pow(A / static_cast<double>(std::sqrt(static_cast<float>((A - U) * S))), 0.5);
        return std::pow(2.0, 20.0 * (K / T * g - 1.0));
    }

    RandGen rng;
    cv::Mat skin, I;
    HeadPartFil head;
    ElbowPartFil elbowR, elbowL;
    HandPartFil hands;
};

} // namespace

TEST_F(HandTest, SleeveFactorIsCappedBelowOne)
{
    EXPECT_EQ(make(1, 1.0f).sleeve, 0.999f);
    EXPECT_EQ(make(1, 0.33f).sleeve, 0.33f);
    EXPECT_EQ(hands.particle(0)[2], 50.0);
    EXPECT_EQ(hands.particle(0)[3], 40.0);
}

TEST_F(HandTest, NoSkinGivesEveryParticleTheSameWeightAndStillLimitsHands)
{
    I.setTo(0);
    HandPartFil& h = make(3, 0.33f);
    setHands(h, 0, -5, -3, 106, 50);          // W = 101: x2 is brought back to W
    setHands(h, 1, 20, 1.25 * 81, 30, 1.15 * 81); // y1 beyond 1.2 H comes back to 1.1 H
    setHands(h, 2, 50, 40, 60, 40);
    h.computeWeights();
    EXPECT_EQ(h.particle(0)[0], 0.0);
    EXPECT_EQ(h.particle(0)[1], 0.0);
    EXPECT_EQ(h.particle(0)[2], 101.0);
    EXPECT_EQ(h.particle(1)[1], 1.1 * 81);
    EXPECT_EQ(h.particle(1)[3], 1.15 * 81);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(h.weight[i], kNoSkin) << i;
}

TEST_F(HandTest, HeadBoxAloneWhenBandsAreExactlyVertical)
{
    // Sleeve 0.999 and each elbow straight above its hand: each band runs
    // from (x, 59.96) to (x, 60), exactly vertical, and holds no pixel.
    HandPartFil& h = make(1, 1.0f);
    setHands(h, 0, 30, 60, 70, 60);
    h.computeWeights();
    EXPECT_EQ(h.arm1InMR.area, 0.0);
    EXPECT_EQ(h.arm2InMR.area, 0.0);
    // Head box 20 x 16 about (50, 20): corners (40, 12) and (59, 27); the
    // intersection with the picture has area 19 x 15 over those pixels.
    EXPECT_EQ(h.headInMR.area, 285.0);
    EXPECT_DOUBLE_EQ(h.weight[0], expectedWeight(skinSum(40, 12, 59, 27), 285, 285));
    EXPECT_GT(h.weight[0], 0.0);
}

TEST_F(HandTest, HeadBoxPartlyOutsideCountsOnlyInside)
{
    place(head, 5, 4); // corners (-5, -4) and (14, 11): inside part (0, 0) to (14, 11)
    HandPartFil& h = make(1, 1.0f);
    setHands(h, 0, 30, 60, 70, 60);
    h.computeWeights();
    EXPECT_EQ(h.headInMR.area, 154.0);
    EXPECT_DOUBLE_EQ(h.weight[0], expectedWeight(skinSum(0, 0, 14, 11), 154, 154));
}

TEST_F(HandTest, ModelWithNoAreaExplainsNothing)
{
    place(head, -100, -100); // head box entirely outside the picture
    HandPartFil& h = make(1, 1.0f);
    setHands(h, 0, 30, 60, 70, 60);
    h.computeWeights();
    EXPECT_EQ(h.weight[0], kNoSkin); // (A - U) S = 0: no division by zero
}

TEST_F(HandTest, BothHandsOnOneSpotCountTheirCommonBandOnce)
{
    place(head, -100, -100);
    place(elbowL, 30, 20);
    HandPartFil& h = make(1, 0.33f);
    setHands(h, 0, 60, 50, 60, 50);
    h.computeWeights();
    const double a = h.arm1InMR.area;
    ASSERT_GT(a, 0.0);
    ASSERT_GT(h.arm1InMR.nbRec, 1);
    ASSERT_EQ(h.arm2InMR.area, a);
    EXPECT_EQ(h.arm1Arm2MR.area, a); // the strips of one band do not overlap
    // Union area a, skin of one band; the plain sum S counts the band twice.
    EXPECT_DOUBLE_EQ(h.weight[0], expectedWeight(h.arm1InMR.intRec(I), a, 2 * a));
}

TEST_F(HandTest, SortAlignsHandOrderWithThePopulation)
{
    HandPartFil& h = make(2, 1.0f);
    setHands(h, 0, 10, 20, 60, 20); // hand vector (+50, 0)
    setHands(h, 1, 60, 30, 50, 30); // (-10, 0): against the sum (40, 0)
    h.sort();
    EXPECT_EQ(h.particle(0)[0], 10.0);
    EXPECT_EQ(h.particle(1)[0], 50.0);
    EXPECT_EQ(h.particle(1)[1], 30.0);
    EXPECT_EQ(h.particle(1)[2], 60.0);

    // The running sum is truncated at every step: 0.6, 0.6, -0.5 sum to 0,
    // so no particle is exchanged.
    HandPartFil& g = make(3, 1.0f);
    setHands(g, 0, 0, 0, 0.6, 0);
    setHands(g, 1, 0, 0, 0.6, 0);
    setHands(g, 2, 0.5, 0, 0, 0);
    g.sort();
    EXPECT_EQ(g.particle(2)[0], 0.5);
}

TEST_F(HandTest, RunSortsOnlyWithLongSleeves)
{
    for (float sleeve : {1.0f, 0.33f}) {
        HandPartFil& h = make(2, sleeve);
        setHands(h, 0, 10, 20, 60, 20);
        setHands(h, 1, 60, 30, 50, 30);
        // Weights that make resampling keep both particles in place.
        h.weight[0] = 0.25;
        h.weight[1] = 0.75;
        h.run();
        const bool exchanged = h.particle(1)[0] == 50.0;
        EXPECT_EQ(exchanged, sleeve > 0.95f) << sleeve;
        EXPECT_EQ(h.particle(0)[0], 10.0);
    }
}

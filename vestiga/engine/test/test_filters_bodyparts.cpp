// Head, torso and elbow filters on hand-made integral maps and templates:
// their limits, the position they are scored at and the weights they give.
#include "engine/BodyPartFil.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace vestiga;

namespace {

// A one-point template: its score at (x, y) is coef * I(y, x).
IntFil onePoint(float coef)
{
    IntFil f;
    const int zero = 0;
    f.InitFil(&zero, &zero, &coef, 1);
    return f;
}

// An "integral map" whose value tells where it was read: I(y, x) = x + 1000 y.
cv::Mat positionMap(int w, int h)
{
    cv::Mat I(h, w, CV_64F);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            I.at<double>(y, x) = x + 1000.0 * y;
    return I;
}

void setParticle(PartFil& pf, int i, double x, double y, double w = 1.0)
{
    pf.particle(i)[0] = x;
    pf.particle(i)[1] = y;
    pf.weight[i] = w;
}

} // namespace

TEST(HeadFilter, ClampsToItsBoxAndScoresAtTruncatedPosition)
{
    RandGen rng;
    const cv::Mat I = positionMap(120, 100);
    IntFil fil = onePoint(1e-5f);
    HeadPartFil head;
    head.buildPartFilter(6, 2, 0, &rng);
    head.initialize(50, 50, &fil, 10, 20, 80, 60, &I);
    EXPECT_EQ(head.particle(5)[1], 50.0);
    EXPECT_EQ(head.weight[5], 1.0 / 6);

    setParticle(head, 0, 80, 30);   // x = xMax: moved to xMax - 1
    setParticle(head, 1, 79, 30);   // x = xMax - 1: stays
    setParticle(head, 2, 57.9, 30); // scored at column 57
    setParticle(head, 3, 57, 30);
    setParticle(head, 4, 5, 10);    // below both minima
    setParticle(head, 5, 40, 75);   // below the box: y = yMax - 1
    head.computeWeights();

    EXPECT_EQ(head.particle(0)[0], 79.0);
    EXPECT_EQ(head.particle(1)[0], 79.0);
    EXPECT_EQ(head.particle(2)[0], 57.9); // the clamped state is kept, not its truncation
    EXPECT_EQ(head.particle(4)[0], 10.0);
    EXPECT_EQ(head.particle(4)[1], 20.0);
    EXPECT_EQ(head.particle(5)[1], 59.0);
    EXPECT_EQ(head.weight[0], head.weight[1]);
    EXPECT_EQ(head.weight[2], head.weight[3]);
    EXPECT_NE(head.weight[2], head.weight[1]);
    // weight = 10^score.
    const float s = static_cast<float>(57 + 30000.0) * 1e-5f;
    EXPECT_DOUBLE_EQ(head.weight[3], std::pow(10.0, static_cast<double>(s)));
}

TEST(HeadFilter, ScoreZeroWeighsOneAndMinusOneWeighsATenth)
{
    RandGen rng;
    const cv::Mat ones(10, 10, CV_64F, cv::Scalar(1.0));
    IntFil zero = onePoint(0.0f), minusOne = onePoint(-1.0f);
    HeadPartFil a, b;
    a.buildPartFilter(1, 2, 0, &rng);
    b.buildPartFilter(1, 2, 0, &rng);
    a.initialize(5, 5, &zero, 0, 0, 10, 10, &ones);
    b.initialize(5, 5, &minusOne, 0, 0, 10, 10, &ones);
    a.computeWeights();
    b.computeWeights();
    EXPECT_EQ(a.weight[0], 1.0);
    EXPECT_DOUBLE_EQ(b.weight[0], 0.1);
}

TEST(HeadFilter, RunResamplesDriftsThenWeighs)
{
    RandGen rng;
    const cv::Mat I = positionMap(120, 100);
    IntFil fil = onePoint(1e-5f);
    HeadPartFil head;
    head.buildPartFilter(4, 2, 0, &rng); // no drift: the run's moves are the resampling's
    head.initialize(50, 50, &fil, 0, 0, 120, 100, &I);
    setParticle(head, 0, 20, 30, 0);
    setParticle(head, 1, 40, 30, 0);
    setParticle(head, 2, 60, 30, 1);
    setParticle(head, 3, 80, 30, 0);
    const uint64_t before = rng.drawn();
    head.run();
    // Weights (0, 0, 1, 0) resample to particles 0, 2, 2, 2.
    EXPECT_EQ(head.particle(0)[0], 20.0);
    EXPECT_EQ(head.particle(3)[0], 60.0);
    // Two draws per coordinate, even with a zero drift scale.
    EXPECT_EQ(rng.drawn() - before, 16u);
    // The new weights are this frame's scores, not 1 / N.
    EXPECT_DOUBLE_EQ(head.weight[0], std::pow(10.0, static_cast<double>(static_cast<float>(30020.0) * 1e-5f)));
}

TEST(TorsoFilter, NeverAboveTheHeadEvenBeyondItsBox)
{
    RandGen rng;
    const cv::Mat I = positionMap(120, 100);
    IntFil fil = onePoint(1e-5f);
    HeadPartFil head;
    head.buildPartFilter(2, 2, 0, &rng);
    head.initialize(0, 0, &fil, 0, 0, 120, 100, &I);
    setParticle(head, 0, 40, 70, 1);
    setParticle(head, 1, 60, 80, 1); // head estimate (50, 75)

    TorsoPartFil torso;
    torso.buildPartFilter(3, 2, 0, &rng);
    torso.initialize(50, 50, &fil, 10, 20, 90, 60, &I, &head);
    setParticle(torso, 0, 30, 40);  // above the head: lowered to 75, below yMax - 1 = 59
    setParticle(torso, 1, 95, 90);  // clamped to (89, 59), then lowered to 75
    setParticle(torso, 2, 50, 76);  // clamped to 59, then lowered to 75
    torso.computeWeights();
    EXPECT_EQ(torso.particle(0)[1], 75.0);
    EXPECT_EQ(torso.particle(1)[0], 89.0);
    EXPECT_EQ(torso.particle(1)[1], 75.0);
    EXPECT_EQ(torso.particle(2)[1], 75.0);
    EXPECT_DOUBLE_EQ(torso.weight[0], std::pow(10.0, static_cast<double>(static_cast<float>(75030.0) * 1e-5f)));
    EXPECT_EQ(torso.headPF, &head);
}

class ElbowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        torso.buildPartFilter(1, 2, 0, &rng);
        torso.initialize(200, 150, &f0, 0, 0, 400, 300, &ones, nullptr);
    }
    ElbowPartFil& make(char side, int n)
    {
        elbow.buildPartFilter(n, 2, 0, &rng);
        elbow.initialize(0, 0, &fMinus1, &f0, &fHalf, 41, &ones, &torso, side);
        return elbow;
    }
    RandGen rng;
    cv::Mat ones = cv::Mat(301, 401, CV_64F, cv::Scalar(1.0));
    IntFil f0 = onePoint(0.0f), fMinus1 = onePoint(-1.0f), fHalf = onePoint(0.5f);
    TorsoPartFil torso; // estimate (200, 150)
    ElbowPartFil elbow;
};

TEST_F(ElbowTest, RightElbowStaysBesideAndNearItsShoulder)
{
    // armLen 41: half 20, q 10; the shoulder is (180, 150).
    ElbowPartFil& e = make('r', 4);
    setParticle(e, 0, 230, 160); // limited to x = 190, then 14.1 from the shoulder
    setParticle(e, 1, 100, 250); // pulled onto the circle of radius 41
    setParticle(e, 2, 170, 120); // 30 above the shoulder: lowered to 140
    setParticle(e, 3, std::numeric_limits<double>::quiet_NaN(), 150);
    e.computeWeights();
    EXPECT_EQ(e.particle(0)[0], 190.0);
    EXPECT_EQ(e.particle(0)[1], 160.0);
    EXPECT_NEAR(e.particle(1)[0], 154.4, 0.05);
    EXPECT_NEAR(e.particle(1)[1], 182.0, 0.05);
    EXPECT_NEAR(std::hypot(e.particle(1)[0] - 180, e.particle(1)[1] - 150), 41.0, 1e-4);
    EXPECT_EQ(e.particle(2)[0], 170.0);
    EXPECT_EQ(e.particle(2)[1], 140.0);
    // A coordinate that is not a number is put on its limit.
    EXPECT_EQ(e.particle(3)[0], 190.0);
    // Scores -1, 0 and 0.5: the best gives 30^0.5.
    for (int i = 0; i < 4; ++i)
        EXPECT_DOUBLE_EQ(e.weight[i], std::sqrt(30.0));
}

TEST_F(ElbowTest, LeftElbowMirrorsSideAndTemplates)
{
    ElbowPartFil& e = make('l', 2);
    setParticle(e, 0, 150, 160); // shoulder (220, 150): x may not fall below 210
    setParticle(e, 1, 230, 160);
    e.computeWeights();
    EXPECT_EQ(e.particle(0)[0], 210.0);
    EXPECT_EQ(e.particle(1)[0], 230.0);
    // Mirrored templates: the one-point scores change sign (1, 0, -0.5): best 30^1.
    EXPECT_DOUBLE_EQ(e.weight[0], 30.0);
}

TEST(ElbowWeight, MaxPowerEqualsTheThreePowersOnEveryKindOfScore)
{
    const auto naive = [](float a, float b, float c) {
        return std::max(std::max(std::pow(30.0, static_cast<double>(a)), std::pow(30.0, static_cast<double>(b))),
                        std::pow(30.0, static_cast<double>(c)));
    };
    cv::RNG rng(11);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<std::array<float, 3>> cases = {{0, 0, 0},        {1, 1, 1},         {-1, 0.5f, 0.5f},
                                               {nan, 1, 0},      {1, nan, 0},       {0, 1, nan},
                                               {inf, 0, 1},      {-inf, 0, -inf},   {150, 149, 0},
                                               {-150, -151, -200}, {100, 99.9999f, 0}, {-1e-30f, 0, 1e-30f}};
    for (int k = 0; k < 200000; ++k) {
        const float a = rng.uniform(-2.0f, 2.0f);
        // Near ties: neighbours one or a few units in the last place apart.
        const float b = k % 2 ? std::nextafter(a, 3.0f) : rng.uniform(-2.0f, 2.0f);
        const float c = k % 3 ? a + static_cast<float>(rng.uniform(-2e-6, 2e-6)) : rng.uniform(-2.0f, 2.0f);
        cases.push_back({a, b, c});
        cases.push_back({c, a, b});
    }
    for (const auto& s : cases) {
        const double want = naive(s[0], s[1], s[2]), got = maxPow30(s[0], s[1], s[2]);
        ASSERT_TRUE(std::memcmp(&want, &got, sizeof want) == 0) << s[0] << " " << s[1] << " " << s[2];
    }
}

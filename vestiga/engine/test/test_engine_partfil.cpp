// The generic particle filter: resampling against the weights, the drift's
// draws, the estimate.
#include "engine/PartFil.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <vector>

using vestiga::PartFil;
using vestiga::RandGen;

namespace {

// A filter with a fixed likelihood, for the generic steps.
class FixedFil : public PartFil {
public:
    void computeWeights() override {}
    void run() override {
        resample();
        drift(1.0f);
        computeWeights();
    }
};

// N particles of dimension 1 whose state is their index, with these weights.
void indexed(FixedFil& f, RandGen& g, const std::vector<double>& w) {
    const int N = static_cast<int>(w.size());
    f.buildPartFilter(N, 1, 0.0f, &g);
    for (int i = 0; i < N; ++i) {
        f.particle(i)[0] = i;
        f.weight[i] = w[i];
    }
}

std::vector<double> states(const FixedFil& f) {
    std::vector<double> s;
    for (int i = 0; i < f.nbPart; ++i)
        s.push_back(f.particle(i)[0]);
    return s;
}

} // namespace

TEST(PartFil, ResampleSmallCases) {
    RandGen g;
    FixedFil f;
    struct Case {
        std::vector<double> w, expected;
    } cases[] = {
        {{0.25, 0.25, 0.25, 0.25}, {0, 0, 1, 2}}, // the first pointer always takes particle 0
        {{0, 0, 1, 0}, {0, 2, 2, 2}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{1, 0, 0, 0}, {0, 0, 0, 0}},
        {{0, 0, 0, 5}, {0, 3, 3, 3}},
    };
    for (const Case& c : cases) {
        indexed(f, g, c.w);
        f.resample();
        EXPECT_EQ(states(f), c.expected);
        for (double w : f.weight)
            EXPECT_EQ(w, 0.25);
    }
    EXPECT_EQ(g.drawn(), 0u); // resampling draws nothing
}

TEST(PartFil, ResampleCopiesInProportionToTheWeights) {
    RandGen g;
    FixedFil f;
    const int N = 1500;
    std::vector<double> w(N);
    cv::RNG rng(11);
    double total = 0;
    for (double& x : w) {
        x = rng.uniform(0.0, 1.0) < 0.3 ? 0.0 : std::pow(rng.uniform(0.0, 1.0), 4);
        total += x;
    }
    indexed(f, g, w);
    // Two coordinates: both travel together.
    f.buildPartFilter(N, 2, 0.0f, &g);
    for (int i = 0; i < N; ++i) {
        f.particle(i)[0] = i;
        f.particle(i)[1] = -i;
        f.weight[i] = w[i];
    }
    f.resample();
    std::vector<int> copies(N, 0);
    double prev = -1;
    for (int i = 0; i < N; ++i) {
        const double k = f.particle(i)[0];
        ASSERT_EQ(f.particle(i)[1], -k);
        ASSERT_GE(k, prev); // selected in index order
        prev = k;
        ++copies[static_cast<int>(k)];
    }
    for (int k = 1; k < N; ++k) {
        const double expected = N * w[k] / total;
        ASSERT_LE(std::fabs(copies[k] - expected), 1.0 + 1e-9) << "particle " << k;
    }
    EXPECT_EQ(f.weight[0], 1.0 / N);
}

TEST(PartFil, DriftDrawsTwoValuesPerCoordinateInParticleOrder) {
    RandGen g, copy;
    FixedFil f;
    f.buildPartFilter(3, 2, 1.5f, &g);
    for (int i = 0; i < 3; ++i) {
        f.particle(i)[0] = 10 * i;
        f.particle(i)[1] = 100 + i;
    }
    const std::vector<double> before = f.part;
    f.drift(2.0f);
    EXPECT_EQ(g.drawn(), 12u);
    const float s = 2.0f * 1.5f;
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(f.part[k], before[k] + vestiga::boxMuller(copy) * s) << k;

    // Zero spread: nothing moves, the draws are still made.
    f.sigma = 0;
    const std::vector<double> still = f.part;
    f.drift(1.0f);
    EXPECT_EQ(f.part, still);
    EXPECT_EQ(g.drawn(), 24u);
}

TEST(PartFil, ExpectationIsTheWeightedMeanNearTheBestParticle) {
    RandGen g;
    FixedFil f;
    f.buildPartFilter(4, 2, 0.0f, &g);
    const double xy[4][2] = {{10, 20}, {30, 40}, {50, 60}, {70, 80}};
    const double w[4] = {0.1, 0.5, 0.5, 0.2};
    for (int i = 0; i < 4; ++i) {
        f.particle(i)[0] = xy[i][0];
        f.particle(i)[1] = xy[i][1];
        f.weight[i] = w[i];
    }
    double out[2];
    f.expectation(out);
    EXPECT_NEAR(out[0], (1 + 15 + 25 + 14) / 1.3, 1e-12);
    EXPECT_NEAR(out[1], (2 + 20 + 30 + 16) / 1.3, 1e-12);

    // Particle 3 is 1000 or more away from the reference (particle 1, the
    // first of the two largest weights) in x only: it still counts for y.
    f.particle(3)[0] = 1030;
    f.particle(2)[0] = 1030; // exactly 1000 away: also left out in x
    f.expectation(out);
    EXPECT_NEAR(out[0], (1 + 15) / 0.6, 1e-12);
    EXPECT_NEAR(out[1], (2 + 20 + 30 + 16) / 1.3, 1e-12);
    // Had particle 2 been the reference, x would be 1030.
    f.weight[2] = 0.5000001;
    f.expectation(out);
    EXPECT_NEAR(out[0], 1030, 1e-9);
}

TEST(PartFil, ExpectationWithoutPositiveWeightIsThePlainMean) {
    RandGen g;
    FixedFil f;
    f.buildPartFilter(3, 2, 0.0f, &g);
    const double xy[3][2] = {{1, 2}, {4, 8}, {10, 5}};
    for (int i = 0; i < 3; ++i) {
        f.particle(i)[0] = xy[i][0];
        f.particle(i)[1] = xy[i][1];
    }
    for (double w : {0.0, -1.0, std::nan("")}) {
        f.weight.assign(3, w);
        double out[2];
        f.expectation(out);
        EXPECT_DOUBLE_EQ(out[0], 5.0);
        EXPECT_DOUBLE_EQ(out[1], 5.0);
    }
}


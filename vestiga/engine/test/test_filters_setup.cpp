// Filter set-up from the calibration: template geometry and normalisers,
// drift scales, bounds and starting states, for a 400 x 300 processed picture
// and the proportions hew = heh = 0.25, haw = 0.125, bSc = 1, thick = 0.8.
#include "engine/Suivi2D.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vestiga;

namespace {

void configure(Suivi2D& t, int resW, int resH)
{
    t.resW = resW;
    t.resH = resH;
    t.opt.headWidth = 0.25f;
    t.opt.headHeight = 0.25f;
    t.opt.handWidth = 0.125f;
    t.opt.bodyScale = 1.0;
    t.opt.thickness = 0.8f;
    t.opt.sleeves = 1.0f;
    t.intSkinMap = cv::Mat::zeros(resH + 1, resW + 1, CV_64F);
    t.intBgMap = cv::Mat::zeros(resH + 1, resW + 1, CV_64F);
}

std::vector<int> dxOf(const IntFil& f) { return std::vector<int>(f.dx.begin(), f.dx.begin() + f.nbPts); }
std::vector<int> dyOf(const IntFil& f) { return std::vector<int>(f.dy.begin(), f.dy.begin() + f.nbPts); }

// The template weights are (unit weight) / (255 * normaliser), in single precision.
void expectCoefs(const IntFil& f, const std::vector<double>& unit, int norm)
{
    ASSERT_EQ(f.nbPts, static_cast<int>(unit.size()));
    for (int k = 0; k < f.nbPts; ++k)
        EXPECT_EQ(f.coef[k], static_cast<float>(unit[k] / (255.0 * norm))) << "point " << k;
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configure(t, 400, 300);
        t.opt.particles = 1500;
        t.opt.driftScale = 1.2f;
        t.buildPartFilter();
        EXPECT_TRUE(t.initFilter());
    }
    Suivi2D t;
};

} // namespace

TEST_F(SetupTest, HeadTemplate)
{
    EXPECT_EQ(dxOf(*t.intHeadFil), (std::vector<int>{-53, 53, 53, -53, -37, 37, 37, -37}));
    EXPECT_EQ(dyOf(*t.intHeadFil), (std::vector<int>{-53, -53, 53, 53, -37, -37, 37, 37}));
    expectCoefs(*t.intHeadFil, {-1, 1, -1, 1, 2, -2, 2, -2}, 5625);
}

TEST_F(SetupTest, TorsoTemplate)
{
    EXPECT_EQ(dxOf(*t.intTorsoFil), (std::vector<int>{-24, 24, 24, 55, 55, -55, -55, -24, -120, 120, 120, -120}));
    EXPECT_EQ(dyOf(*t.intTorsoFil), (std::vector<int>{-90, -90, -21, -21, 90, 90, -21, -21, -90, -90, 90, 90}));
    // 90000 * 0.35 * 0.89 = 28034.99..., truncated.
    expectCoefs(*t.intTorsoFil, {2, -2, 2, -2, 2, -2, 2, -2, -1, 1, -1, 1}, 28034);
}

TEST_F(SetupTest, ArmTemplates)
{
    const IntFil& a1 = *t.intElbowRFil1;
    EXPECT_EQ(dxOf(a1), (std::vector<int>{43, 91, 91, 122, 122, -4, -4, 43, -52, 122, 122, -52}));
    // 90 - 84.00000000000001 truncates to 5.
    EXPECT_EQ(dyOf(a1), (std::vector<int>{-174, -174, -105, -105, 5, 5, -105, -105, -105, -105, 5, 5}));
    expectCoefs(a1, {2, -2, 2, -2, 2, -2, 2, -2, -1, 1, -1, 1}, 12600);

    const IntFil& a2 = *t.intElbowRFil2;
    EXPECT_EQ(dxOf(a2), (std::vector<int>{-15, 15, 15, -15, -27, 15, 15, -27}));
    EXPECT_EQ(dyOf(a2), (std::vector<int>{-15, -15, 15, 15, -15, -15, 27, 27}));
    expectCoefs(a2, {2, -2, 2, -2, -1, 1, -1, 1}, 225);

    const IntFil& a3 = *t.intElbowRFil3;
    EXPECT_EQ(dxOf(a3), (std::vector<int>{-15, 45, 45, 15, 15, -15, -45, 45, 45, -45}));
    EXPECT_EQ(dyOf(a3), (std::vector<int>{-15, -15, 45, 45, 15, 15, -15, -15, 45, 45}));
    expectCoefs(a3, {1, -1, 1, -1, 1, -1, -2, 2, -2, 2}, 2700);
}

TEST_F(SetupTest, HandTemplate)
{
    EXPECT_EQ(dxOf(*t.intHandFil), (std::vector<int>{-18, -18, 18, 18}));
    EXPECT_EQ(dyOf(*t.intHandFil), (std::vector<int>{-18, 18, 18, -18}));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(t.intHandFil->coef[k], 1.0f);
}

TEST_F(SetupTest, FiltersDriftScalesAndLinks)
{
    const float base = (400.0f * 1.2f) * 1.0f;
    EXPECT_EQ(t.headPF->sigma, base / 50);
    EXPECT_EQ(t.torsoPF->sigma, base / 50);
    EXPECT_EQ(t.elbowPFR->sigma, base / 25);
    EXPECT_EQ(t.elbowPFL->sigma, base / 25);
    EXPECT_EQ(t.handPF->sigma, base / 30);
    EXPECT_NEAR(t.headPF->sigma, 9.6, 1e-5);
    EXPECT_NEAR(t.elbowPFR->sigma, 19.2, 1e-5);
    EXPECT_NEAR(t.handPF->sigma, 16.0, 1e-5);
    EXPECT_EQ(t.headPF->dim, 2);
    EXPECT_EQ(t.handPF->dim, 4);
    EXPECT_EQ(t.handPF->nbPart, 1500);
    for (PartFil* f : {static_cast<PartFil*>(t.headPF.get()), static_cast<PartFil*>(t.handPF.get())})
        EXPECT_EQ(f->rng, &t.rng);

    // Bounds: head x 133..265, y 50..149; torso x 133..265, y 75..199.
    EXPECT_EQ(t.headPF->xMin, 133);
    EXPECT_EQ(t.headPF->xMax, 266);
    EXPECT_EQ(t.headPF->yMin, 50);
    EXPECT_EQ(t.headPF->yMax, 150);
    EXPECT_EQ(t.torsoPF->yMin, 75);
    EXPECT_EQ(t.torsoPF->yMax, 200);
    EXPECT_EQ(t.torsoPF->headPF, t.headPF.get());
    EXPECT_EQ(t.headPF->intMap, &t.intSkinMap);
    EXPECT_EQ(t.torsoPF->intMap, &t.intBgMap);

    // Elbows: arm length 75, start at (100, 150) and (300, 150).
    EXPECT_EQ(t.elbowPFR->armLen, 75);
    EXPECT_EQ(t.elbowPFR->side, 'r');
    EXPECT_EQ(t.elbowPFL->side, 'l');
    EXPECT_EQ(t.elbowPFR->particle(1499)[0], 100.0);
    EXPECT_EQ(t.elbowPFL->particle(0)[0], 300.0);
    EXPECT_EQ(t.elbowPFL->particle(0)[1], 150.0);

    // Hands: both at the centre, tied to the right then left elbow.
    EXPECT_EQ(t.handPF->handW, 37);
    EXPECT_EQ(t.handPF->headW, 75);
    EXPECT_EQ(t.handPF->headH, 75);
    EXPECT_EQ(t.handPF->sleeve, 0.999f);
    EXPECT_EQ(t.handPF->elbowPFR, t.elbowPFR.get());
    EXPECT_EQ(t.handPF->elbowPFL, t.elbowPFL.get());
    const double* h = t.handPF->particle(7);
    EXPECT_EQ(h[0], 200.0);
    EXPECT_EQ(h[1], 150.0);
    EXPECT_EQ(h[2], 200.0);
    EXPECT_EQ(h[3], 150.0);
    EXPECT_DOUBLE_EQ(t.handPF->weight[3], 1.0 / 1500);
}

TEST(SetupCheck, BodySizesThatGiveEmptyTemplatesAreRefused)
{
    Suivi2D t;
    configure(t, 400, 300);
    EXPECT_EQ(t.checkBodySizes(), "");

    t.opt.headWidth = 0.001f; // 0.3 x 75 pixels: nominal area 22
    EXPECT_EQ(t.checkBodySizes(), "");
    t.opt.headHeight = 0.001f; // 0.3 x 0.3 pixels: nominal area 0
    EXPECT_NE(t.checkBodySizes().find("head"), std::string::npos);

    configure(t, 400, 300);
    t.opt.bodyScale = 0.01; // B = 3: torso area trunc(9 * 0.3115) = 2, arm 2 area 0
    EXPECT_NE(t.checkBodySizes().find("body scale"), std::string::npos);

    configure(t, 400, 300);
    t.opt.handWidth = 0.001f;
    EXPECT_NE(t.checkBodySizes().find("hand"), std::string::npos);

    configure(t, 400, 5);
    EXPECT_NE(t.checkBodySizes().find("6"), std::string::npos);
}

// The four body-part filters. Each one runs the generic cycle of PartFil
// (resample with last frame's weights, random walk, weigh on this frame's
// maps) and supplies its own likelihood:
//   head   10^score of the head template on the skin integral map, in a box;
//   torso  10^score of the torso template on the foreground map, in a box and
//          never above the head;
//   elbow  30^(best of three arm templates) on the foreground map, kept within
//          one arm length of a shoulder placed beside the torso;
//   hands  how much of the picture's skin the two forearm bands and the head
//          box explain, against the size of their union.
#include "engine/BodyPartFil.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace vestiga {

namespace {

// Keeps (x, y) inside the box xMin .. xMax - 1, yMin .. yMax - 1, x first.
void clampToBox(double& x, double& y, int xMin, int yMin, int xMax, int yMax)
{
    if (x < xMin)
        x = xMin;
    if (x > xMax - 1)
        x = xMax - 1;
    if (y < yMin)
        y = yMin;
    if (y > yMax - 1)
        y = yMax - 1;
}

} // namespace

double maxPow30(float s1, float s2, float s3)
{
    const auto p = [](float s) { return std::pow(30.0, static_cast<double>(s)); };
    const float top = std::max(std::max(s1, s2), s3);
    // A score more than 1e-6 below the best has a power at least 3.4e-6
    // (relatively) below the best's, far more than the rounding of either
    // (under one unit in the last place while the powers are normal numbers,
    // as they are for scores within +-100): it cannot be the maximum and its
    // power need not be taken. Anything else (a near tie, a score that is not
    // a number, an extreme one) takes all three as written.
    const bool plain = std::isfinite(s1) && std::isfinite(s2) && std::isfinite(s3) && top <= 100.0f
                       && top >= -100.0f;
    if (!plain)
        return std::max(std::max(p(s1), p(s2)), p(s3));
    const double gap = 1e-6;
    const auto near = [&](float s) { return static_cast<double>(top) - static_cast<double>(s) <= gap; };
    double best = -1; // every power is positive
    for (float s : {s1, s2, s3})
        if (near(s))
            best = std::max(best, p(s));
    return best;
}

namespace {

// Weight of a hand particle whose regions explain no skin: 2^(20 (0 - 1)).
constexpr double kNoSkinWeight = 1.0 / 1048576.0;

} // namespace

// ---------------------------------------------------------------- head, torso

void BoxPartFil::initialize(int x0, int y0, IntFil* fil_, int xMin_, int yMin_, int xMax_, int yMax_,
                            const cv::Mat* map)
{
    fil = fil_;
    xMin = xMin_;
    yMin = yMin_;
    xMax = xMax_;
    yMax = yMax_;
    intMap = map;
    const double start[2] = {static_cast<double>(x0), static_cast<double>(y0)};
    placeAll(start);
}

void BoxPartFil::weighInBox(double yFloor)
{
    const int W = intMap->cols;
    const int H = intMap->rows;
    // Each particle's clamp and weight depend on that particle alone; the
    // scores of four particles are made side by side.
    forEachParticle([&](int begin, int end, int) {
        int xs[4], ys[4];
        float s[4];
        for (int i = begin; i < end; i += 4) {
            const int m = std::min(4, end - i);
            for (int j = 0; j < m; ++j) {
                double* p = particle(i + j);
                clampToBox(p[0], p[1], xMin, yMin, xMax, yMax);
                // The floor wins over yMax.
                if (p[1] < yFloor)
                    p[1] = yFloor;
                xs[j] = static_cast<int>(p[0]);
                ys[j] = static_cast<int>(p[1]);
            }
            fil->computeInts(*intMap, xs, ys, m, W, H, false, s);
            for (int j = 0; j < m; ++j)
                weight[i + j] = std::pow(10.0, static_cast<double>(s[j]));
        }
    });
}

void HeadPartFil::computeWeights()
{
    // No floor: nothing lies below minus infinity, not even a NaN.
    weighInBox(-std::numeric_limits<double>::infinity());
}

void TorsoPartFil::initialize(int x0, int y0, IntFil* fil_, int xMin_, int yMin_, int xMax_, int yMax_,
                              const cv::Mat* map, HeadPartFil* head)
{
    BoxPartFil::initialize(x0, y0, fil_, xMin_, yMin_, xMax_, yMax_, map);
    headPF = head;
}

void TorsoPartFil::computeWeights()
{
    double head[2];
    headPF->estimate(head);
    weighInBox(head[1]);
}

// ---------------------------------------------------------------- elbows

void ElbowPartFil::initialize(int x0, int y0, IntFil* f1, IntFil* f2, IntFil* f3, int armLen_,
                              const cv::Mat* map, TorsoPartFil* torso, char side_)
{
    fil1 = f1;
    fil2 = f2;
    fil3 = f3;
    armLen = armLen_;
    intMap = map;
    torsoPF = torso;
    side = side_;
    const double start[2] = {static_cast<double>(x0), static_cast<double>(y0)};
    placeAll(start);
}

void ElbowPartFil::computeWeights()
{
    double torso[2];
    torsoPF->estimate(torso);
    const int W = intMap->cols;
    const int H = intMap->rows;
    const int half = armLen / 2;
    const int q = armLen / 4;
    const bool right = side == 'r';
    // The shoulder sits half an arm length beside the torso's centre, toward
    // the elbow's own side of the picture.
    const double sx = right ? torso[0] - half : torso[0] + half;
    const double sy = torso[1];
    const float radius = static_cast<float>(armLen);

    const IntFil* fils[3] = {fil1, fil2, fil3};
    forEachParticle([&](int begin, int end, int) {
        int xs[4], ys[4];
        float s[3][4];
        for (int i = begin; i < end; i += 4) {
            const int m = std::min(4, end - i);
            for (int j = 0; j < m; ++j) {
                double* p = particle(i + j);
                double x = p[0];
                double y = p[1];
                // Each limit reads "unless inside, put on the limit", so that a
                // coordinate that is not a number is put on the limit too.
                if (right) {
                    if (!(sx + q > x))
                        x = sx + q;
                } else {
                    if (!(x > sx - q))
                        x = sx - q;
                }
                if (!(y > sy - q))
                    y = sy - q;
                // Pull the elbow onto the circle of radius armLen about the shoulder.
                const float d = std::sqrt(static_cast<float>((x - sx) * (x - sx) + (y - sy) * (y - sy)));
                if (d > radius) {
                    x = sx + (x - sx) * armLen / d;
                    y = sy + (y - sy) * armLen / d;
                }
                p[0] = x;
                p[1] = y;
                xs[j] = static_cast<int>(x);
                ys[j] = static_cast<int>(y);
            }
            // The left elbow is scored with the templates mirrored; the
            // scores of four particles are made side by side.
            for (int t = 0; t < 3; ++t)
                fils[t]->computeInts(*intMap, xs, ys, m, W, H, !right, s[t]);
            for (int j = 0; j < m; ++j)
                weight[i + j] = maxPow30(s[0][j], s[1][j], s[2][j]);
        }
    });
}

// ---------------------------------------------------------------- hands

void HandPartFil::initialize(int x0, int y0, int handW_, int headW_, int headH_, float sleeve_,
                             const cv::Mat* map, ElbowPartFil* elbowR, ElbowPartFil* elbowL, HeadPartFil* head)
{
    intMap = map;
    handW = handW_;
    headW = headW_;
    headH = headH_;
    // A band must keep some length: at u = 1 it would shrink to the hand point.
    sleeve = sleeve_ > 0.999f ? 0.999f : sleeve_;
    elbowPFR = elbowR;
    elbowPFL = elbowL;
    headPF = head;
    const double start[4] = {static_cast<double>(x0), static_cast<double>(y0), static_cast<double>(x0),
                             static_cast<double>(y0)};
    placeAll(start);
}

void HandPartFil::computeWeights()
{
    double head[2], elbow1[2], elbow2[2];
    headPF->estimate(head);
    elbowPFR->estimate(elbow1);
    elbowPFL->estimate(elbow2);
    const double W = intMap->cols;
    const double H = intMap->rows;

    imageMR = MultiRec(Rectangle(static_cast<int>(0.5 * W), static_cast<int>(0.5 * H), static_cast<int>(W),
                                 static_cast<int>(H)));
    headMR = MultiRec(Rectangle(static_cast<int>(head[0]), static_cast<int>(head[1]), headW, headH));
    headInMR = imageMR * headMR;
    // Skin of the whole picture: what a particle's regions should explain.
    const double T = imageMR.intRec(*intMap);
    // Skin of the head box inside the picture, the same for every particle.
    const double headSkin = headInMR.intRec(*intMap);
    const double A = W * H;
    const double yCap = 1.2 * H;
    const double yBack = 1.1 * H;
    const float u = sleeve;
    const float v = 1.0f - u;
    const float bandW = static_cast<float>(handW);

    const std::size_t workers = static_cast<std::size_t>(threadSlots() - 1);
    if (workerRegions.size() != workers)
        workerRegions.resize(workers);

    forEachParticle([&](int begin, int end, int slot) {
        HandRegions& w = slot == 0 ? *this : workerRegions[static_cast<std::size_t>(slot - 1)];
        for (int i = begin; i < end; ++i) {
            double* p = particle(i);
            double& x1 = p[0];
            double& y1 = p[1];
            double& x2 = p[2];
            double& y2 = p[3];
            if (x1 < 0)
                x1 = 0;
            if (y1 < 0)
                y1 = 0;
            if (x2 < 0)
                x2 = 0;
            if (y2 < 0)
                y2 = 0;
            if (x1 > W)
                x1 = W;
            if (x2 > W)
                x2 = W;
            // A hand far below the picture comes back to 10 % below it.
            if (y1 > yCap)
                y1 = yBack;
            if (y2 > yCap)
                y2 = yBack;

            // With no skin in the picture every particle explains as little,
            // and the skin share K / T is undefined: all get the weight of no
            // skin.
            if (!(T > 0)) {
                weight[i] = kNoSkinWeight;
                continue;
            }

            // Each band runs from the point at the share u of the way from
            // the elbow to the hand, to the hand.
            w.arm1MR.buildMRFromSegment(static_cast<float>(v * elbow1[0] + u * x1),
                                        static_cast<float>(v * elbow1[1] + u * y1), static_cast<float>(x1),
                                        static_cast<float>(y1), bandW);
            w.arm2MR.buildMRFromSegment(static_cast<float>(v * elbow2[0] + u * x2),
                                        static_cast<float>(v * elbow2[1] + u * y2), static_cast<float>(x2),
                                        static_cast<float>(y2), bandW);

            MultiRec::intersect(imageMR, w.arm1MR, w.arm1InMR);
            MultiRec::intersect(imageMR, w.arm2MR, w.arm2InMR);
            MultiRec::intersect(headInMR, w.arm1InMR, w.headArm1MR);
            MultiRec::intersect(w.arm1InMR, w.arm2InMR, w.arm1Arm2MR);
            MultiRec::intersect(headInMR, w.arm2InMR, w.headArm2MR);
            MultiRec::intersect(w.headArm1MR, w.arm1Arm2MR, w.allMR);

            // Area and skin of the union of the three regions, by inclusion
            // and exclusion.
            const double S = w.arm1InMR.area + w.arm2InMR.area + headInMR.area;
            const double U = S - w.headArm1MR.area - w.arm1Arm2MR.area - w.headArm2MR.area + w.allMR.area;
            const double K = w.arm1InMR.intRec(*intMap) + headSkin + w.arm2InMR.intRec(*intMap)
                             - w.headArm1MR.intRec(*intMap) - w.arm1Arm2MR.intRec(*intMap)
                             - w.headArm2MR.intRec(*intMap) + w.allMR.intRec(*intMap);
            const double r = K / T;

            // g rewards a compact model: (A / sqrt((A - U) S))^(1/2). When the
            // regions are empty or cover the whole picture the product is not
            // positive and the particle counts as explaining nothing.
            const float prod = static_cast<float>((A - U) * S);
            if (!(prod > 0.0f)) {
                weight[i] = kNoSkinWeight;
                continue;
            }
            const double g = std::pow(A / static_cast<double>(std::sqrt(prod)), 0.5);
            weight[i] = std::pow(2.0, 20.0 * (r * g - 1.0));
        }
    });
}

void HandPartFil::run()
{
    PartFil::run();
    if (static_cast<double>(sleeve) > 0.95)
        sort();
}

void HandPartFil::sort()
{
    // Summed hand-1-to-hand-2 vector of the population, truncated toward
    // zero after every addition.
    int sx = 0;
    int sy = 0;
    for (int i = 0; i < nbPart; ++i) {
        const double* p = particle(i);
        sx = static_cast<int>(sx + (p[2] - p[0]));
        sy = static_cast<int>(sy + (p[3] - p[1]));
    }
    // Particles whose vector points more than 90 degrees away trade hands.
    for (int i = 0; i < nbPart; ++i) {
        double* p = particle(i);
        if ((p[2] - p[0]) * sx + (p[3] - p[1]) * sy < 0) {
            std::swap(p[0], p[2]);
            std::swap(p[1], p[3]);
        }
    }
}

} // namespace vestiga

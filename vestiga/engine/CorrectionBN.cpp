// Correction of each frame's estimate.
//
// Hand labels. Two log-scores compete: hyp1 for "the hands are labelled as the
// filter delivers them", hyp2 for "they are exchanged". Each frame both are
// advanced like a two-state best-path (Viterbi) recursion:
//   continuity  -k d^2, with d the distance of both hands to the previous
//               frame's corrected hands under either labelling;
//   ordering    log-logistic terms that favour hand 2 lying right of hand 1
//               (and at the usual vertical offset), with slopes mean/variance
//               of the running statistics of the hands' offsets;
//   anatomy     a term in the squared elbow-to-hand distances of each arm.
// When the exchanged labelling scores higher the hands are exchanged, and the
// two scores with them, so hyp1 always belongs to the labelling reported.
//
// Elbows. An elbow farther from its hand than a forearm is moved along the
// line to the hand until it is exactly a forearm away.
#include "engine/CorrectionBN.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vestiga {

namespace {

double sq(double a) { return a * a; }

// log(1 / (exp(z) + 1)), the log-probability of a logistic unit, evaluated
// directly. Where exp(z) overflows (z above about 709) that form would give
// minus infinity, which would then stick in both best-path scores for the rest
// of the run; there the equal value -z - log1p(exp(-z)) is used instead.
double logLogistic(double z)
{
    const double e = std::exp(z);
    if (std::isinf(e))
        return -z - std::log1p(std::exp(-z));
    return std::log(1.0 / (e + 1.0));
}

} // namespace

void CorrectionBN::initialize(float dr_, int faSize_)
{
    faSize = faSize_;
    hyp1 = 0;
    hyp2 = 0;
    dr = dr_;
    mudx = faSize_;
    sigma2dx = faSize_;
    mudy = 0;
    sigma2eh = 10000000;
    sigma2dy = 100000;
}

void CorrectionBN::correctHand(double* v)
{
    const double* p = lastBpCoord;
    // Distance of both hands to the previous hands, as labelled and exchanged.
    const float dSame = std::sqrt(static_cast<float>(sq(v[8] - p[8]) + sq(v[9] - p[9]) + sq(v[10] - p[10])
                                                     + sq(v[11] - p[11])));
    const float dSwap = std::sqrt(static_cast<float>(sq(v[8] - p[10]) + sq(v[9] - p[11]) + sq(v[10] - p[8])
                                                     + sq(v[11] - p[9])));

    // Gaussian continuity with a distance scale of 100 pixels: a distance of
    // stdDis costs -0.5 ln 0.004.
    stdDis = 100;
    const double k = -0.5 * std::log(0.004) / (stdDis * stdDis);
    const double a = dSame * k * dSame;
    const double b = dSwap * k * dSwap;
    const double h1 = std::max(hyp1 - a, hyp2 - b);
    const double h2 = std::max(hyp1 - b, hyp2 - a);
    hyp1 = h1;
    hyp2 = h2;

    // Left-right (and vertical) ordering of the two hands.
    const float cx = static_cast<float>(std::max(mudx / sigma2dx, 0.0));
    const float cy = static_cast<float>(mudy / sigma2dy);
    const double ddx = v[10] - v[8];
    const double ddy = v[11] - v[9];
    hyp1 += logLogistic(-cx * ddx);
    hyp1 += logLogistic(-cy * ddy);
    hyp2 += logLogistic(cx * ddx);
    hyp2 += logLogistic(cy * ddy);

    // Each hand at the usual distance from its own elbow.
    const double j = 0.5 * std::log(0.4 / static_cast<double>(std::sqrt(static_cast<float>(sigma2eh)))) / sigma2eh;
    hyp1 += j * (sq(v[4] - v[8]) + sq(v[5] - v[9]) + sq(v[6] - v[10]) + sq(v[7] - v[11]));
    hyp2 += j * (sq(v[6] - v[8]) + sq(v[7] - v[9]) + sq(v[4] - v[10]) + sq(v[5] - v[11]));

    if (hyp2 > hyp1) {
        std::swap(v[8], v[10]);
        std::swap(v[9], v[11]);
        std::swap(hyp1, hyp2);
    }

    // Running statistics on the vector as reported, old values weighted by dr.
    const double wOld = dr;
    const float wNew = 1.0f - dr;
    sigma2eh = wOld * sigma2eh + wNew * (sq(v[4] - v[8]) + sq(v[5] - v[9]) + sq(v[6] - v[10]) + sq(v[7] - v[11]));
    mudx = wOld * mudx + wNew * std::fabs(v[10] - v[8]);
    double d = (v[10] - v[8]) - mudx;
    sigma2dx = wOld * sigma2dx + d * (wNew * d);
    mudy = wOld * mudy + wNew * (v[11] - v[9]);
    d = (v[11] - v[9]) - mudy;
    sigma2dy = wOld * sigma2dy + d * (wNew * d);

    std::copy(v, v + 12, lastBpCoord);
}

void CorrectionBN::correctElbow(double* v)
{
    const float limit = static_cast<float>(faSize);
    // Right elbow with hand 1, then left elbow with hand 2.
    for (int arm = 0; arm < 2; ++arm) {
        double& ex = v[4 + 2 * arm];
        double& ey = v[5 + 2 * arm];
        const double hx = v[8 + 2 * arm];
        const double hy = v[9 + 2 * arm];
        const float d = std::sqrt(static_cast<float>(sq(ex - hx) + sq(ey - hy)));
        if (d > limit) {
            ex = hx + (ex - hx) * faSize / d;
            ey = hy + (ey - hy) * faSize / d;
        }
    }
}

} // namespace vestiga

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

void CorrectionBN::correctHand(BodyEstimate& v)
{
    const BodyEstimate& p = last;
    BodyPoint& h1 = v.hand1;
    BodyPoint& h2 = v.hand2;
    const BodyPoint& eR = v.elbowR;
    const BodyPoint& eL = v.elbowL;
    // Distance of both hands to the previous hands, as labelled and exchanged.
    const float dSame = std::sqrt(static_cast<float>(sq(h1.x - p.hand1.x) + sq(h1.y - p.hand1.y)
                                                     + sq(h2.x - p.hand2.x) + sq(h2.y - p.hand2.y)));
    const float dSwap = std::sqrt(static_cast<float>(sq(h1.x - p.hand2.x) + sq(h1.y - p.hand2.y)
                                                     + sq(h2.x - p.hand1.x) + sq(h2.y - p.hand1.y)));

    // Gaussian continuity with a distance scale of 100 pixels: a distance of
    // stdDis costs -0.5 ln 0.004.
    const double stdDis = 100;
    const double k = -0.5 * std::log(0.004) / (stdDis * stdDis);
    const double a = dSame * k * dSame;
    const double b = dSwap * k * dSwap;
    const double n1 = std::max(hyp1 - a, hyp2 - b);
    const double n2 = std::max(hyp1 - b, hyp2 - a);
    hyp1 = n1;
    hyp2 = n2;

    // Left-right (and vertical) ordering of the two hands.
    const float cx = static_cast<float>(std::max(mudx / sigma2dx, 0.0));
    const float cy = static_cast<float>(mudy / sigma2dy);
    const double ddx = h2.x - h1.x;
    const double ddy = h2.y - h1.y;
    hyp1 += logLogistic(-cx * ddx);
    hyp1 += logLogistic(-cy * ddy);
    hyp2 += logLogistic(cx * ddx);
    hyp2 += logLogistic(cy * ddy);

    // Each hand at the usual distance from its own elbow.
    const double j = 0.5 * std::log(0.4 / static_cast<double>(std::sqrt(static_cast<float>(sigma2eh)))) / sigma2eh;
    hyp1 += j * (sq(eR.x - h1.x) + sq(eR.y - h1.y) + sq(eL.x - h2.x) + sq(eL.y - h2.y));
    hyp2 += j * (sq(eL.x - h1.x) + sq(eL.y - h1.y) + sq(eR.x - h2.x) + sq(eR.y - h2.y));

    if (hyp2 > hyp1) {
        std::swap(h1, h2);
        std::swap(hyp1, hyp2);
    }

    // Running statistics on the estimate as reported, old values weighted by dr.
    const double wOld = dr;
    const float wNew = 1.0f - dr;
    sigma2eh = wOld * sigma2eh + wNew * (sq(eR.x - h1.x) + sq(eR.y - h1.y) + sq(eL.x - h2.x) + sq(eL.y - h2.y));
    mudx = wOld * mudx + wNew * std::fabs(h2.x - h1.x);
    double d = (h2.x - h1.x) - mudx;
    sigma2dx = wOld * sigma2dx + d * (wNew * d);
    mudy = wOld * mudy + wNew * (h2.y - h1.y);
    d = (h2.y - h1.y) - mudy;
    sigma2dy = wOld * sigma2dy + d * (wNew * d);

    last = v;
}

void CorrectionBN::correctElbow(BodyEstimate& v) const
{
    const float limit = static_cast<float>(faSize);
    // Right elbow with hand 1, then left elbow with hand 2.
    const std::pair<BodyPoint*, const BodyPoint*> arms[2] = {{&v.elbowR, &v.hand1}, {&v.elbowL, &v.hand2}};
    for (const auto& arm : arms) {
        double& ex = arm.first->x;
        double& ey = arm.first->y;
        const double hx = arm.second->x;
        const double hy = arm.second->y;
        const float d = std::sqrt(static_cast<float>(sq(ex - hx) + sq(ey - hy)));
        if (d > limit) {
            ex = hx + (ex - hx) * faSize / d;
            ey = hy + (ey - hy) * faSize / d;
        }
    }
}

} // namespace vestiga

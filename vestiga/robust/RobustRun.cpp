#include "robust/RobustRun.h"

#include <algorithm>
#include <cmath>

namespace vestiga {

namespace {

double clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }

double bestWeight(const PartFil& pf)
{
    double best = 0;
    for (double w : pf.weight)
        best = std::max(best, w);
    return best;
}

} // namespace

void placeElbows(const RobustHands::Setup& s, const cv::Point2d& hand1, const cv::Point2d& hand2,
                 cv::Point2d& elbowR, cv::Point2d& elbowL)
{
    // Each elbow bends towards its own shoulder's side of the picture.
    const double dS = s.shoulderDistance;
    const double outR = handOneSide(s.shoulderR, s.shoulderL);
    elbowR = elbowOf(s.shoulderR, hand1, kUpperArmLength * dS, kForearmLength * dS, outR);
    elbowL = elbowOf(s.shoulderL, hand2, kUpperArmLength * dS, kForearmLength * dS, -outR);
}

void filterConfidence(const Suivi2D& t, double conf[3])
{
    conf[0] = conf[1] = conf[2] = 0;
    if (!t.headPF || !t.handPF)
        return;
    const double head = bestWeight(*t.headPF);
    const double hands = bestWeight(*t.handPF);
    conf[2] = head > 0 ? clamp01(std::log10(head)) : 0.0;
    conf[0] = conf[1] = hands > 0 ? clamp01(1.0 + std::log2(hands) / 20.0) : 0.0;
}

bool RobustRun::initialize(Suivi2D& t, const RunCalibration& cal, int refWidth, std::string* error,
                           const RobustOptions& o)
{
    if (!t.computeSkBgMaps()) {
        if (error)
            *error = "the skin map of the reference picture cannot be computed";
        return false;
    }
    // The head box and the shoulders in processed pixels. The shoulders are
    // placed from the head box: half the shoulder distance on each side of
    // its centre, 0.4 head heights below its bottom.
    const double R = t.resH;
    const double scale = static_cast<double>(t.resW) / cal.cw; // processed pixels per reference pixel
    const double areaTop = cal.cy + cal.ch;                     // bottom-left origin
    const double hx = (cal.hx - cal.cx) * scale;
    const double hTop = (areaTop - (cal.hy + cal.hh)) * scale;
    const double hw = cal.hw * scale, hh = cal.hh * scale;
    const cv::Point2d head(hx + 0.5 * hw, hTop + 0.5 * hh);
    const double dS = cal.dShould * static_cast<double>(t.resW) / refWidth;
    if (!(dS > 1 && hw >= 1 && hh >= 1)) {
        if (error)
            *error = "the shoulder distance or the head box is too small in the processed picture";
        return false;
    }
    RobustHands::Setup s;
    s.R = R;
    s.shoulderDistance = dS;
    s.handWidth = 0.4 * dS;
    const double shoulderY = hTop + hh * 1.4;
    s.shoulderR = cv::Point2d(head.x - 0.5 * dS, shoulderY);
    s.shoulderL = cv::Point2d(head.x + 0.5 * dS, shoulderY);
    const cv::Rect box(static_cast<int>(std::floor(hx)), static_cast<int>(std::floor(hTop)),
                       static_cast<int>(std::ceil(hw)), static_cast<int>(std::ceil(hh)));
    hands_.initialize(t.getSkinMap(), head, box, s, o);
    return true;
}

bool RobustRun::track(Suivi2D& t, BodyEstimate& e, double conf[3])
{
    // The head filter is not needed (the face pattern is matched instead),
    // nor the elbow and hand filters: the elbows follow from the hands.
    if (!t.track(Suivi2D::Part::Torso))
        return false;
    e = t.estimate(); // only the torso's values are kept
    hands_.update(t.getSkinMap());
    const auto point = [](const cv::Point2d& p) { return BodyPoint{p.x, p.y}; };
    e.head = point(hands_.head());
    cv::Point2d elbowR, elbowL;
    placeElbows(hands_.setup(), hands_.hand(0), hands_.hand(1), elbowR, elbowL);
    e.elbowR = point(elbowR);
    e.elbowL = point(elbowL);
    e.hand1 = point(hands_.hand(0));
    e.hand2 = point(hands_.hand(1));
    conf[0] = hands_.confidence(0);
    conf[1] = hands_.confidence(1);
    conf[2] = hands_.headConfidence();
    return true;
}

} // namespace vestiga

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
    if (t.computeSkBgMaps() != 1) {
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

void RobustRun::track(Suivi2D& t, double* e, double conf[3])
{
    t.trackHead();
    t.trackBody();
    t.trackRElbow();
    t.trackLElbow();
    t.expectation(e); // the hand filter has not run: its values are replaced below
    hands_.update(t.getSkinMap());
    e[2] = hands_.head().x;
    e[3] = hands_.head().y;
    e[8] = hands_.hand(0).x;
    e[9] = hands_.hand(0).y;
    e[10] = hands_.hand(1).x;
    e[11] = hands_.hand(1).y;
    conf[0] = hands_.confidence(0);
    conf[1] = hands_.confidence(1);
    conf[2] = hands_.headConfidence();
}

} // namespace vestiga

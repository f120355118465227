#include "core/SignPattern.h"

#include "core/TrackingTable.h"

#include <algorithm>
#include <cmath>

// The sampling of the sign pattern (the means, the imposed symmetry, the
// smoothing fit) and the drawing entry point; the arrows themselves are
// drawn in SignPatternArrows.cpp. Positions and sums are 32-bit floats; a
// double literal makes an expression double, narrowed where it is stored.

namespace glyphora {

void SignPattern::initVideo(const void*, const float* c0, const float* c1, const float* c2,
                            const float* c3, const float* c4, const float* c5, int lineCount)
{
    const float* c[6] = {c0, c1, c2, c3, c4, c5};
    bool ok = lineCount > 0;
    for (int i = 0; i < 6; ++i) {
        coordinates_[i] = c[i];
        ok = ok && c[i] != nullptr;
    }
    lineCount_ = ok ? lineCount : 0;
    means_.valid = false;
}

void SignPattern::initVideo(const TrackingTable& table)
{
    initVideo(nullptr, table.coords(0), table.coords(1), table.coords(2), table.coords(3),
              table.coords(4), table.coords(5), table.lineCount());
}

void SignPattern::computeMeans()
{
    if (means_.valid && means_.beg == beg && means_.dur == dur)
        return;
    Means m;
    m.beg = beg;
    m.dur = dur;
    m.valid = true;
    if (dur > 0 && lineCount_ > 0) {
        const float* T0 = coordinates_[0];
        const float* T1 = coordinates_[1];
        const float* T2 = coordinates_[2];
        const float* T3 = coordinates_[3];
        const float* T4 = coordinates_[4];
        const float* T5 = coordinates_[5];
        float s0 = 0, s1 = 0, s2 = 0, s3 = 0, s4 = 0, s5 = 0;
        float smx = 0, smy = 0, sdx = 0, sdy = 0;
        // Lines beg .. beg+dur-1; lines outside 1..n are not read (the
        // drawing entry point never asks for such signs).
        const long long last = static_cast<long long>(beg) + dur - 1;
        for (long long li = std::max<long long>(beg, 1); li <= std::min<long long>(last, lineCount_);
             ++li) {
            const int i = static_cast<int>(li);
            s0 += T0[i];
            s1 += T1[i];
            s2 += T2[i];
            s3 += T3[i];
            s4 += T4[i];
            s5 += T5[i];
            smx = static_cast<float>(smx + (T0[i] + T2[i]) * 0.5);
            smy = static_cast<float>(smy + (T1[i] + T3[i]) * 0.5);
            sdx = static_cast<float>(sdx + (T2[i] - T0[i]) * 0.5);
            sdy = static_cast<float>(sdy + (T3[i] - T1[i]) * 0.5);
        }
        const float fd = static_cast<float>(dur);
        m.moyrx = s0 / fd;
        m.moyry = s1 / fd;
        m.moylx = s2 / fd;
        m.moyly = s3 / fd;
        m.moyhx = s4 / fd;
        m.moyhy = s5 / fd;
        m.dx = sdx / fd;
        m.dy = sdy / fd;
        m.mx = smx / fd;
        m.my = smy / fd;
    }
    means_ = m;
}

float SignPattern::filtCoordinate(int idx, int f)
{
    descr.symCat = symType;
    computeMeans();
    if (dur > 0) {
        descr.moyrx = means_.moyrx;
        descr.moyry = means_.moyry;
        descr.moylx = means_.moylx;
        descr.moyly = means_.moyly;
        descr.moyhx = means_.moyhx;
        descr.moyhy = means_.moyhy;
        descr.dx = means_.dx;
        descr.dy = means_.dy;
    }
    if (idx < 0 || idx > 3 || f < 1 || f > lineCount_)
        return 0.f;

    float h1x = coordinates_[0][f];
    float h1y = coordinates_[1][f];
    float h2x = coordinates_[2][f];
    float h2y = coordinates_[3][f];
    const float dx = means_.dx, dy = means_.dy, mx = means_.mx, my = means_.my;

    // x of both hands: rigid pair (3, 6) or mirror about x = mx (4, 5).
    if (symType == 3 || symType == 6) {
        const double m = (h1x + h2x) * 0.5;
        const float a = static_cast<float>(m - dx), b = static_cast<float>(m + dx);
        h1x = a;
        h2x = b;
    } else if (symType == 4 || symType == 5) {
        const double d = (h2x - h1x) * 0.5;
        const float a = static_cast<float>(mx - d), b = static_cast<float>(mx + d);
        h1x = a;
        h2x = b;
    }
    // y of both hands: rigid pair (3, 4) or mirror about y = my (5, 6).
    if (symType == 3 || symType == 4) {
        const double m = (h1y + h2y) * 0.5;
        const float a = static_cast<float>(m - dy), b = static_cast<float>(m + dy);
        h1y = a;
        h2y = b;
    } else if (symType == 5 || symType == 6) {
        const double d = (h2y - h1y) * 0.5;
        const float a = static_cast<float>(my - d), b = static_cast<float>(my + d);
        h1y = a;
        h2y = b;
    }
    switch (idx) {
    case 0: return h1x;
    case 1: return h1y;
    case 2: return h2x;
    default: return h2y;
    }
}

float SignPattern::getCoordinate(int idx, float t, float h)
{
    // Weighted least squares of y ~ alpha + gamma * e^2 with the triangular
    // kernel w = max(0, h - |t - i|) and e = (i - t) / dur:
    //   alpha = (S4 Sy - S2 Sye) / (S0 S4 - S2^2),
    // S0 = sum w, S2 = sum w e^2, S4 = sum w e^4, Sy = sum w y, Sye = sum w y e^2.
    float S0 = 0, S2 = 0, S4 = 0, Sy = 0, Sye = 0;
    const float fdur = static_cast<float>(dur);
    const float upper = static_cast<float>(beg + dur) + h;
    const float start = static_cast<float>(beg) - h;
    if (!std::isfinite(start) || !std::isfinite(upper))
        return 0.f;
    // Frames at or below 0 and after the last line carry no sample; the loop
    // is bounded to the lines that exist.
    long long i = static_cast<long long>(start);
    if (i < 1) {
        while (i < 1 && upper > static_cast<float>(i))  // visited, skipped
            ++i;
    }
    bool any = false;
    for (; upper > static_cast<float>(i) && i <= lineCount_; ++i) {
        const int fi = static_cast<int>(i);
        const float e = (static_cast<float>(fi) - t) / fdur;
        const float w = static_cast<float>(
            std::max(0.0, static_cast<double>(h) - std::fabs(static_cast<double>(t) - fi)));
        const float y = filtCoordinate(idx, fi);
        const float e2 = e * e;
        S0 += w;
        S2 += w * e2;
        S4 += w * e2 * e2;
        Sy += w * y;
        Sye += w * y * e2;
        any = true;
    }
    if (!any) {
        // No line at all in the window: still record the sign's values.
        filtCoordinate(idx, 0);
        return 0.f;
    }
    const float den = S0 * S4 - S2 * S2;
    const float alpha = (S4 * Sy - S2 * Sye) / den;
    if (den != 0.f && std::isfinite(alpha))
        return alpha;
    // A single weighted line (or lines at one distance from t) leaves the
    // curvature undetermined; the weighted mean is then the fit's value.
    return S0 > 0.f ? Sy / S0 : 0.f;
}

float SignPattern::penAngle(int hand) const
{
    if (hand == 2 && symType == 4 && orientation > 180.f)
        return 540.f - orientation;
    return orientation;
}


void SignPattern::drawStaticGL()
{
    // Evaluated for its side effect: the means, half-distances and symCat.
    (void)getCoordinate(0, static_cast<float>(beg), 1);
}

SignPattern::DrawStatus SignPattern::drawSignGL(DrawSurface& s, bool rVisible, bool lVisible,
                                                float lOffX, float lOffY, float rOffX, float rOffY)
{
    if (dur <= 0 || dur > kMaxDuration)
        return kBadLength;
    if (lineCount_ <= 0)
        return kNoTracking;
    if (beg < 1 || static_cast<long long>(beg) + dur > lineCount_)
        return kOutsideTracking;
    descr.movCat = moPat;
    if (moPat < 0 || moPat > 7)
        return kUnknownPattern;

    // Each hand's measurements go into the description as soon as the hand
    // is drawn: with both hands, what hand 1 (the L arrow) measures wins.
    auto draw = [&](int hand, float offX, float offY) {
        HandValues v;
        switch (moPat) {
        case kComplex: v = drawComplexGL(s, hand, offX, offY); break;
        case kArc: v = drawArcGL(s, hand, offX, offY); break;
        case kRepetition: v = drawRepetGL(s, hand, offX, offY); break;
        case kBack:
        case kBack2: v = drawBackGL(s, hand, offX, offY); break;
        case kCircle: v = drawCircleGL(s, hand, offX, offY, 0); break;
        case kCircle2: v = drawCircleGL(s, hand, offX, offY, 1); break;
        default: drawStaticGL(); break;
        }
        if (v.amplitude)
            descr.amplitude = *v.amplitude;
        if (v.orientation)
            descr.orientation = *v.orientation;
        if (v.symAngle)
            descr.symAngle = *v.symAngle;
    };
    if (rVisible)
        draw(2, rOffX, rOffY);
    if (lVisible)
        draw(1, lOffX, lOffY);
    return kDrawn;
}

} // namespace glyphora

#include "core/SignPattern.h"

#include "core/TrackingTable.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

// Numeric conventions of this file. Positions, sums and widths are 32-bit
// floats; a literal such as 0.5, 1.3 or 0.015 is a double, so an expression
// that meets one is evaluated in double precision and narrowed to single
// precision where it is stored (the static_casts below mark those places).
// Angles use 3.1419 for pi (6.2838 and 1.57095 derived from it).

namespace glyphora {

const Rgba SignPattern::kFill = {1.0f, 0.5f, 0.5f, 1.0f};
const Rgba SignPattern::kBorder = {0.0f, 0.0f, 0.0f, 1.0f};

namespace {

constexpr double kPi = 3.1419;

// A hand that does not move still gives samples that differ in their last
// bits (the fit rounds differently at each time). Movements measured between
// samples below this length, in tracking units (a hundredth of a pixel of a
// 1000-pixel picture), have no direction: the shapes built on them are not
// drawn. Portions of a shape built from a valid chord or radius (arc,
// repetition, circle) are not noise, however short: only coincident points
// lack a direction there.
constexpr float kStill = 1e-5f;

float length(float x, float y) { return static_cast<float>(std::sqrt(x * x + y * y)); }

// Arctangent of a single-precision ratio, rounded once to single precision.
// The C library's single-precision atan is off by one unit in the last place
// for a few percent of arguments; the double result narrowed to float is the
// correctly rounded value.
float atanSingle(float r) { return static_cast<float>(std::atan(static_cast<double>(r))); }

// The left-hand normal of the portion p -> q scaled to w:
// n = w * (-(qy - py), qx - px) / |q - p|. False when the portion is not
// longer than minLength (0: when p and q coincide): it has no direction.
bool widthVector(Vec2 p, Vec2 q, float w, Vec2& n, float minLength = 0.f)
{
    const float vx = q.x - p.x;
    const float vy = q.y - p.y;
    const float len = length(vx, vy);
    if (!(len > minLength))
        return false;
    n.x = w * -vy / len;
    n.y = w * vx / len;
    return std::isfinite(n.x) && std::isfinite(n.y);
}

bool finite(Vec2 p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// Fixed symmetry angles of the two-hand symmetry types: +-pi/4, +-3pi/4.
void fixedSymAngle(SignDescription& d)
{
    switch (d.symCat) {
    case 3: d.symAngle = static_cast<float>(kPi / 4); break;        // 0.785475
    case 4: d.symAngle = static_cast<float>(3 * kPi / 4); break;    // 2.356425
    case 5: d.symAngle = static_cast<float>(-3 * kPi / 4); break;   // -2.356425
    case 6: d.symAngle = static_cast<float>(-kPi / 4); break;       // -0.785475
    default: break;
    }
}

// Direction of v with y pointing down, for hand 1: atan(-vy/vx), plus pi
// when vx < 0. A zero vector has no direction and gives 0.
float orientationHand1(float vx, float vy)
{
    if (vx == 0.f && vy == 0.f)
        return 0.f;
    const float a = atanSingle(-vy / vx);
    return vx < 0.f ? static_cast<float>(a + kPi) : a;
}

// The same direction mirrored left to right, for hand 2.
float orientationHand2(float vx, float vy)
{
    if (vx == 0.f && vy == 0.f)
        return 0.f;
    const float a = atanSingle(vy / vx);
    return vx > 0.f ? static_cast<float>(a + kPi) : a;
}

// Symmetry angle from v (hand 1), g = atan(|vy| / |vx|) in double precision.
void symAngleFromV(SignDescription& d, float vx, float vy)
{
    if (vx == 0.f && vy == 0.f) {
        // No direction: the angle this drawing would set is left at 0.
        if (d.symCat >= 3 && d.symCat <= 6)
            d.symAngle = 0.f;
        return;
    }
    const double g =
        std::atan(std::fabs(static_cast<double>(vy)) / std::fabs(static_cast<double>(vx)));
    switch (d.symCat) {
    case 3: d.symAngle = static_cast<float>(g); break;
    case 4: d.symAngle = static_cast<float>(kPi - g); break;
    case 5: d.symAngle = static_cast<float>(g + kPi); break;
    case 6: d.symAngle = static_cast<float>(-g); break;
    default: break;
    }
}

// orientation and symAngle of the arc and repetition patterns.
void directionValues(SignDescription& d, int hand, int symType, float vx, float vy)
{
    if (hand == 1) {
        d.orientation = orientationHand1(vx, vy);
        symAngleFromV(d, vx, vy);
    } else if (symType == 2) {
        d.orientation = orientationHand2(vx, vy);
    }
}

// Draws the transformed matrix frame around one hand's drawing.
struct HandFrame {
    DrawSurface& s;
    HandFrame(DrawSurface& surface, float offX, float offY) : s(surface)
    {
        s.setDepthTest(false);
        s.pushMatrix();
        s.translate(offX, offY);
    }
    ~HandFrame() { s.popMatrix(); }
};

} // namespace

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

void SignPattern::drawPortion(DrawSurface& s, float x0, float y0, float x1, float y1, float e0x,
                              float e0y, float e1x, float e1y, float angle)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1) ||
        !std::isfinite(e0x) || !std::isfinite(e0y) || !std::isfinite(e1x) || !std::isfinite(e1y))
        return;
    if (x0 == x1 && y0 == y1)
        return;
    const float L0 = length(e0x, e0y);
    const float L1 = length(e1x, e1y);
    if (orientation > 180.f) {
        // Broad pen held at a fixed angle: both width vectors turn to it.
        const double theta = angle * kPi / 180;
        const double c = std::cos(theta), sn = std::sin(theta);
        e0x = static_cast<float>(L0 * c);
        e0y = static_cast<float>(L0 * sn);
        e1x = static_cast<float>(L1 * c);
        e1y = static_cast<float>(L1 * sn);
    }
    auto f = [](double v) { return static_cast<float>(v); };
    s.polygon(kFill, {{x0 + e0x, y0 + e0y}, {x0 - e0x, y0 - e0y}, {x1 - e1x, y1 - e1y},
                      {x1 + e1x, y1 + e1y}});
    s.polygon(kBorder, {{x0 + e0x, y0 + e0y},
                        {f(x0 + 1.3 * e0x), f(y0 + 1.3 * e0y)},
                        {f(x1 + 1.3 * e1x), f(y1 + 1.3 * e1y)},
                        {x1 + e1x, y1 + e1y}});
    s.polygon(kBorder, {{x0 - e0x, y0 - e0y},
                        {f(x0 - 1.3 * e0x), f(y0 - 1.3 * e0y)},
                        {f(x1 - 1.3 * e1x), f(y1 - 1.3 * e1y)},
                        {x1 - e1x, y1 - e1y}});
}

void SignPattern::drawEnd(DrawSurface& s, float x0, float y0, float x1, float y1, float ex,
                          float ey, float angle)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1) ||
        !std::isfinite(ex) || !std::isfinite(ey))
        return;
    const float L = length(ex, ey);
    const float dist = length(x1 - x0, y1 - y0);
    if (!(L > 0.f) || !(dist > 0.f))
        return;  // no width or no direction: no head
    if (angle > 180.f) {
        const double theta = angle * kPi / 180;
        ex = static_cast<float>(L * std::cos(theta));
        ey = static_cast<float>(L * std::sin(theta));
    }
    // Tip vector: 6 L along the direction, from the length before the pen rule.
    const float ux = 6 * L * (x1 - x0) / dist;
    const float uy = 6 * L * (y1 - y0) / dist;
    auto f = [](double v) { return static_cast<float>(v); };
    const float e3x = 3 * ex, e3y = 3 * ey;
    s.polygon(kBorder, {{f(x0 + 1.3 * e3x), f(y0 + 1.3 * e3y)},
                        {f(x0 + 1.3 * ux), f(y0 + 1.3 * uy)},
                        {f(x0 - 1.3 * e3x), f(y0 - 1.3 * e3y)}});
    s.polygon(kFill, {{x0 + e3x, y0 + e3y}, {x0 + ux, y0 + uy}, {x0 - e3x, y0 - e3y}});
}

void SignPattern::drawEnd2(DrawSurface& s, float x0, float y0, float x1, float y1, float ex,
                           float ey, float angle)
{
    const float L = length(ex, ey);
    const float dist = length(x1 - x0, y1 - y0);
    if (!(L > 0.f) || !(dist > 0.f) || !std::isfinite(L) || !std::isfinite(dist))
        return;
    const float ux = 6 * L * (x1 - x0) / dist;
    const float uy = 6 * L * (y1 - y0) / dist;
    auto f = [](double v) { return static_cast<float>(v); };
    drawEnd(s, f(x0 - 0.25 * ux), f(y0 - 0.25 * uy), f(x1 - 0.25 * ux), f(y1 - 0.25 * uy), ex, ey,
            angle);
    drawEnd(s, f(x0 + 0.25 * ux), f(y0 + 0.25 * uy), f(x1 + 0.25 * ux), f(y1 + 0.25 * uy), ex, ey,
            angle);
}

namespace {

// Sample of a hand: x = getCoordinate(x index), y = 1 - getCoordinate(y index).
Vec2 sampleHand(SignPattern& sp, int hand, float t, float h)
{
    const int xi = hand == 2 ? 2 : 0;
    Vec2 p;
    p.x = sp.getCoordinate(xi, t, h);
    p.y = 1 - sp.getCoordinate(xi + 1, t, h);
    return p;
}

} // namespace

void SignPattern::drawComplexGL(DrawSurface& s, int hand, float offX, float offY)
{
    const float pen = penAngle(hand);
    HandFrame frame(s, offX, offY);

    descr.amplitude = 0;
    fixedSymAngle(descr);  // symCat of the previous sampling, as the path is not sampled yet

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    bool haveHead = false, haveStart = false;
    Vec2 headP, headQ, headN, prevN;
    float t = fbeg;
    while (t < fend) {
        const float t2 = static_cast<float>(t + 0.3);
        const Vec2 p = sampleHand(*this, hand, t, 3);
        const Vec2 q = sampleHand(*this, hand, t2, 3);
        descr.amplitude += length(q.x - p.x, q.y - p.y);
        // The shaft narrows from 0.0225 at the start to about 0.0075 at the end.
        const float ratio = (t - fbeg) / static_cast<float>(dur);
        const float w = static_cast<float>(0.015 * (1.5 - ratio));
        Vec2 n;
        if (finite(p) && finite(q) && widthVector(p, q, w, n, kStill)) {
            const Vec2 start = haveStart ? prevN : n;
            drawPortion(s, p.x, p.y, q.x, q.y, start.x, start.y, n.x, n.y, pen);
            prevN = n;
            haveStart = true;
            headP = p;
            headQ = q;
            headN = n;
            haveHead = true;
        }
        t = t2;
    }
    if (!haveHead || !std::isfinite(descr.amplitude))
        descr.amplitude = 0;  // nothing drawn: the hand does not move
    if (haveHead)
        drawEnd(s, headP.x, headP.y, headQ.x, headQ.y, headN.x, headN.y, pen);
}

void SignPattern::drawArcGL(DrawSurface& s, int hand, float offX, float offY)
{
    const float pen = penAngle(hand);
    HandFrame frame(s, offX, offY);

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    const Vec2 P0 = sampleHand(*this, hand, fbeg, 2);
    const Vec2 P1 = sampleHand(*this, hand, fend, 2);
    const float vx = P1.x - P0.x, vy = P1.y - P0.y;
    const float D = length(vx, vy);
    if (!(D > kStill) || !std::isfinite(D)) {
        // Zero chord: no arc. The values this drawing sets are left at 0.
        descr.amplitude = 0;
        directionValues(descr, hand, symType, 0.f, 0.f);
        return;
    }
    descr.amplitude = static_cast<float>(1.2 * D);
    directionValues(descr, hand, symType, vx, vy);

    const float alpha = vx == 0.f ? 1.57095f : atanSingle(vy / vx);
    const double ca = std::cos(static_cast<double>(alpha));
    const double sa = std::sin(static_cast<double>(alpha));

    // Least-squares fit of d ~ a * (s^2 - 0.25) to the signed distance d of
    // the path from the chord, s in -0.5..0.5 along the chord.
    float Sn = 0, Sd = 0;
    const float D2 = D * D;
    for (float t = fbeg; t < fend; t = static_cast<float>(t + 0.02)) {
        const Vec2 q = sampleHand(*this, hand, t, 2);
        const float sc = static_cast<float>(((q.x - P0.x) * vx + (q.y - P0.y) * vy) / D2 - 0.5);
        const float ex = q.x - (P0.x + sc * vx);
        const float ey = q.y - (P0.y + sc * vy);
        const float d = static_cast<float>(ey * ca - ex * sa);
        const float k = static_cast<float>(sc * sc - 0.25);
        Sn += d * k;
        Sd += k * k;
    }
    if (!(Sd > 0.f) || !std::isfinite(Sn) || !std::isfinite(Sd))
        return;  // no fit: no arc
    const float a = Sn / Sd;
    const float b = static_cast<float>(-0.25 * a);

    // Point at chord position s (fraction frac = s + 0.5 along the chord).
    auto point = [&](double sv, double frac) {
        const double off = a * sv * sv + b;
        return Vec2{static_cast<float>(P0.x + frac * vx + off * -sa),
                    static_cast<float>(P0.y + frac * vy + off * ca)};
    };
    bool haveStart = false, haveHead = false;
    Vec2 prevN, headP, headQ, headN;
    float sv = -0.5f;
    for (int k = 0; k < 50; ++k) {
        const double s2 = sv + 0.02;
        const double frac2 = sv + 0.5 + 0.02;
        const Vec2 p = point(sv, sv + 0.5);
        const Vec2 q = point(s2, frac2);
        const float w = static_cast<float>(0.015 * (1.5 - frac2));
        Vec2 n;
        if (widthVector(p, q, w, n)) {
            const Vec2 start = haveStart ? prevN : n;
            drawPortion(s, p.x, p.y, q.x, q.y, start.x, start.y, n.x, n.y, pen);
            prevN = n;
            haveStart = true;
            headP = p;
            headQ = q;
            headN = n;
            haveHead = true;
        }
        sv = static_cast<float>(sv + 0.02);
    }
    if (haveHead)
        drawEnd(s, headP.x, headP.y, headQ.x, headQ.y, headN.x, headN.y, pen);
}

void SignPattern::drawRepetGL(DrawSurface& s, int hand, float offX, float offY)
{
    const float pen = penAngle(hand);
    HandFrame frame(s, offX, offY);

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    const float fdur = static_cast<float>(dur);
    const Vec2 P0 = sampleHand(*this, hand, fbeg, 2);
    const Vec2 P1 = sampleHand(*this, hand, fend, 2);
    const float vx = P1.x - P0.x, vy = P1.y - P0.y;
    if (!finite(P0) || !finite(P1) || !(length(vx, vy) > kStill)) {
        descr.amplitude = 0;
        directionValues(descr, hand, symType, 0.f, 0.f);
        return;  // the hand does not move: no arrow
    }
    directionValues(descr, hand, symType, vx, vy);
    descr.amplitude = length(vx, vy);

    bool haveHead = false;
    Vec2 prevN, headP, headQ, headN;
    // The portions that start at or before beg + 0.3 (compared in double
    // precision) start with their own width vector: the first one, and the
    // second one when beg + 0.3 rounded to single precision does not exceed
    // beg + 0.3 (t advances in single precision).
    const double ownStartLimit = static_cast<double>(fbeg) + 0.3;
    for (float t = fbeg; t < fend; t = static_cast<float>(t + 0.3)) {
        const float u = (t - fbeg) / fdur;
        const float u2 = static_cast<float>((t + 0.3 - fbeg) / fdur);
        const Vec2 p{P0.x * (1 - u) + P1.x * u, P0.y * (1 - u) + P1.y * u};
        const Vec2 q{P0.x * (1 - u2) + P1.x * u2, P0.y * (1 - u2) + P1.y * u2};
        const float w = static_cast<float>(0.015 * (1.5 - u));
        Vec2 n;
        if (!widthVector(p, q, w, n))
            continue;
        const Vec2 start = (t <= ownStartLimit || !haveHead) ? n : prevN;
        drawPortion(s, p.x, p.y, q.x, q.y, start.x, start.y, n.x, n.y, pen);
        prevN = n;
        headP = p;
        headQ = q;
        headN = n;
        haveHead = true;
    }
    if (haveHead)
        drawEnd2(s, headP.x, headP.y, headQ.x, headQ.y, headN.x, headN.y, pen);
}

void SignPattern::drawBackGL(DrawSurface& s, int hand, float offX, float offY)
{
    const float pen = penAngle(hand);
    HandFrame frame(s, offX, offY);

    const Vec2 P0 = sampleHand(*this, hand, static_cast<float>(beg), 2);
    const Vec2 P1 = sampleHand(*this, hand, static_cast<float>(beg + dur), 2);
    const Vec2 M{(P0.x + P1.x) / 2, (P0.y + P1.y) / 2};

    // Farthest point from M over the middle third of the sign.
    float far = 0;
    bool found = false;
    Vec2 F;
    const float tEnd = static_cast<float>(beg + dur - dur / 3);
    for (float t = static_cast<float>(beg + dur / 3); t < tEnd; t = static_cast<float>(t + 0.1)) {
        const Vec2 q = sampleHand(*this, hand, t, 2);
        const float dist = length(q.x - M.x, q.y - M.y);
        if (dist > far) {
            far = dist;
            F = q;
            found = true;
        }
    }
    if (hand == 1)
        fixedSymAngle(descr);
    const float vx = F.x - M.x, vy = F.y - M.y;
    const float vlen = length(vx, vy);
    if (!found || !finite(P0) || !finite(P1) || !(vlen > kStill)) {
        // No farthest point: no arrow; the values this drawing sets stay 0.
        descr.amplitude = 0;
        if (hand == 1 || symType == 2)
            descr.orientation = 0;
        return;
    }
    if (hand == 1)
        descr.orientation = orientationHand1(vx, vy);
    else if (symType == 2)
        descr.orientation = orientationHand2(vx, vy);
    descr.amplitude = length(F.x - P0.x, F.y - P0.y) + length(F.x - P1.x, F.y - P1.y);

    // One width vector for the whole arrow, across the line from M to F.
    const Vec2 n{static_cast<float>(0.015 * -vy / vlen), static_cast<float>(0.015 * vx / vlen)};

    bool haveHead = false;
    Vec2 headP, headQ;
    auto leg = [&](Vec2 A, Vec2 B) {
        float sv = 0.f;
        for (int k = 0; k < 10; ++k) {
            const float s2 = static_cast<float>(sv + 0.1);
            const Vec2 p{A.x * (1 - sv) + B.x * sv, A.y * (1 - sv) + B.y * sv};
            const Vec2 q{A.x * (1 - s2) + B.x * s2, A.y * (1 - s2) + B.y * s2};
            if (length(q.x - p.x, q.y - p.y) > kStill) {
                drawPortion(s, p.x, p.y, q.x, q.y, n.x, n.y, n.x, n.y, pen);
                headP = p;
                headQ = q;
                haveHead = true;
            }
            sv = s2;
        }
    };
    leg(P0, F);
    leg(F, P1);
    if (haveHead)
        drawEnd(s, headP.x, headP.y, headQ.x, headQ.y, static_cast<float>(n.x / 1.5),
                static_cast<float>(n.y / 1.5), pen);
}

void SignPattern::drawCircleGL(DrawSurface& s, int hand, float offX, float offY, int turns)
{
    const float pen = penAngle(hand);
    HandFrame frame(s, offX, offY);

    // Samples at every line beg .. beg+dur, both ends included.
    const int count = dur + 1;
    std::vector<Vec2> q(static_cast<size_t>(count));
    float sx = 0, sy = 0, sxx = 0, syy = 0;
    for (int k = 0; k < count; ++k) {
        q[k] = sampleHand(*this, hand, static_cast<float>(beg + k), 2);
        sx += q[k].x;
        sy += q[k].y;
        sxx += q[k].x * q[k].x;
        syy += q[k].y * q[k].y;
    }
    const float fc = static_cast<float>(count);
    const float mx = sx / fc, my = sy / fc;
    // mean(x^2) - mx^2 in single precision cancels: a variance within the
    // rounding of mean(x^2) (or made negative by it) is a zero variance.
    auto variance = [](float meanSq, float mean) {
        const float v = meanSq - mean * mean;
        return v > 8 * FLT_EPSILON * meanSq ? v : 0.f;
    };
    const float varx = variance(sxx / fc, mx);
    const float vary = variance(syy / fc, my);
    float rx = static_cast<float>(1.5 * std::sqrt(static_cast<double>(varx)));
    float ry = static_cast<float>(1.5 * std::sqrt(static_cast<double>(vary)));
    fixedSymAngle(descr);
    if (!(rx > 0.f) || !(ry > 0.f) || !std::isfinite(rx) || !std::isfinite(ry) ||
        !std::isfinite(mx) || !std::isfinite(my)) {
        descr.amplitude = 0;  // no ellipse
        return;
    }
    descr.amplitude = static_cast<float>((rx + ry) * 6.2838 * 0.5 * (turns + 1));

    // Turning sense: twice the signed area swept about the centre.
    float A = 0;
    for (int k = 0; k + 1 < count; ++k)
        A += (q[k].x - mx) * (q[k + 1].y - my) - (q[k + 1].x - mx) * (q[k].y - my);

    const float ratio = rx / ry;
    if (0.7071067811865475 < ratio && ratio < 1.4142135623730951) {
        const float r = (rx + ry) / 2;
        rx = r;
        ry = r;
    }
    // 300 degrees of arc; the 60-degree gap is centred on the end of the
    // shorter axis nearest the end sample.
    const Vec2 E = q[count - 1];
    float a0;
    if (ry >= rx)
        a0 = mx < E.x ? 0.52365f : 3.66555f;
    else
        a0 = my < E.y ? 2.0946f : 5.2365f;
    float a1 = static_cast<float>(a0 + 6.2838 - 1.0472999811172485);
    const float am = static_cast<float>((a0 + a1) * 0.5);
    float d0 = static_cast<float>(am - 1.57095);
    float d1 = static_cast<float>(am + 1.57095);
    double step = 0.01;
    if (A < 0) {
        step = -0.01;
        std::swap(a0, a1);
        std::swap(d0, d1);
    }
    auto point = [&](double th) {
        return Vec2{static_cast<float>(mx + rx * std::cos(th)),
                    static_cast<float>(my + ry * std::sin(th))};
    };
    Vec2 headP, headQ, headN;
    bool haveHead = false;
    auto chain = [&](float from, float to) {
        bool haveStart = false;
        Vec2 prevN;
        float th = from;
        // |th - to| shrinks by 0.01 a step: at most a few hundred steps.
        for (int guard = 0; std::fabs(th - to) > 0.01 && guard < 2000; ++guard) {
            const Vec2 p = point(th);
            const Vec2 pq = point(th + step);
            Vec2 n;
            if (widthVector(p, pq, 0.013f, n)) {
                const Vec2 start = haveStart ? prevN : n;
                drawPortion(s, p.x, p.y, pq.x, pq.y, start.x, start.y, n.x, n.y, pen);
                prevN = n;
                haveStart = true;
                headP = p;
                headQ = pq;
                headN = n;
                haveHead = true;
            }
            th = static_cast<float>(th + step);
        }
    };
    chain(d0, d1);
    chain(a0, d0);
    haveHead = false;
    chain(d1, a1);
    if (haveHead) {
        const float nx = static_cast<float>(headN.x / 1.5), ny = static_cast<float>(headN.y / 1.5);
        if (turns == 0)
            drawEnd(s, headP.x, headP.y, headQ.x, headQ.y, nx, ny, pen);
        else
            drawEnd2(s, headP.x, headP.y, headQ.x, headQ.y, nx, ny, pen);
    }
    if (hand == 2 && (symType == 5 || symType == 6))
        chain(d0, d1);
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

    auto draw = [&](int hand, float offX, float offY) {
        switch (moPat) {
        case kComplex: drawComplexGL(s, hand, offX, offY); break;
        case kArc: drawArcGL(s, hand, offX, offY); break;
        case kRepetition: drawRepetGL(s, hand, offX, offY); break;
        case kBack:
        case kBack2: drawBackGL(s, hand, offX, offY); break;
        case kCircle: drawCircleGL(s, hand, offX, offY, 0); break;
        case kCircle2: drawCircleGL(s, hand, offX, offY, 1); break;
        default: drawStaticGL(); break;
        }
    };
    if (rVisible)
        draw(2, rOffX, rOffY);
    if (lVisible)
        draw(1, lOffX, lOffY);
    return kDrawn;
}

} // namespace glyphora

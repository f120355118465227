// The arrows of the sign pattern: the primitives (a shaft portion, a head, a
// double head) and the drawing of each movement pattern for one hand.
#include "core/SignPattern.h"

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

using HandValues = SignPattern::HandValues;

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

// Fixed symmetry angles of the two-hand symmetry types 3..6: +-pi/4,
// +-3pi/4; no angle for the other types.
std::optional<float> fixedSymAngle(int symCat)
{
    switch (symCat) {
    case 3: return static_cast<float>(kPi / 4);       // 0.785475
    case 4: return static_cast<float>(3 * kPi / 4);   // 2.356425
    case 5: return static_cast<float>(-3 * kPi / 4);  // -2.356425
    case 6: return static_cast<float>(-kPi / 4);      // -0.785475
    default: return std::nullopt;
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

// Symmetry angle of the types 3..6 from v (hand 1), with
// g = atan(|vy| / |vx|) in double precision; 0 when v has no direction.
std::optional<float> symAngleFromV(int symCat, float vx, float vy)
{
    if (symCat < 3 || symCat > 6)
        return std::nullopt;
    if (vx == 0.f && vy == 0.f)
        return 0.f;
    const double g = std::atan(std::fabs(static_cast<double>(vy)) / std::fabs(static_cast<double>(vx)));
    switch (symCat) {
    case 3: return static_cast<float>(g);
    case 4: return static_cast<float>(kPi - g);
    case 5: return static_cast<float>(g + kPi);
    default: return static_cast<float>(-g);
    }
}

// The direction values of a movement v: hand 1 gives the orientation and
// the symmetry angle, hand 2 the orientation when it moves alone (type 2).
void directionValues(HandValues& v, int hand, int symType, int symCat, float vx, float vy)
{
    if (hand == 1) {
        v.orientation = orientationHand1(vx, vy);
        v.symAngle = symAngleFromV(symCat, vx, vy);
    } else if (symType == 2) {
        v.orientation = orientationHand2(vx, vy);
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

// An arrow drawn as a chain of shaft portions. Each portion starts with the
// end width vector of the portion before, so that the shaft's outline has no
// steps; the last portion drawn carries the head.
class ArrowChain {
public:
    ArrowChain(SignPattern& sp, DrawSurface& s, float pen) : sp_(sp), s_(s), pen_(pen) {}

    // Draws p -> q with the end width vector n; it starts with n itself when
    // it is the first portion of the chain or when ownStart is set.
    void add(Vec2 p, Vec2 q, Vec2 n, bool ownStart = false)
    {
        const Vec2 start = haveStart_ && !ownStart ? prevN_ : n;
        sp_.drawPortion(s_, p.x, p.y, q.x, q.y, start.x, start.y, n.x, n.y, pen_);
        prevN_ = n;
        haveStart_ = true;
        headP_ = p;
        headQ_ = q;
        headN_ = n;
        haveHead_ = true;
    }
    // Draws p -> q with a width w across it, when it is longer than
    // minLength; false (nothing drawn) when it has no direction.
    bool add(Vec2 p, Vec2 q, float w, float minLength = 0.f)
    {
        Vec2 n;
        if (!widthVector(p, q, w, n, minLength))
            return false;
        add(p, q, n);
        return true;
    }
    // The next portion starts a new chain (its own start width).
    void restart() { haveStart_ = false; }
    // Portions drawn so far do not carry the head.
    void forgetHead() { haveHead_ = false; }
    bool hasHead() const { return haveHead_; }

    // The head on the last portion: single or double, its width vector the
    // portion's own or narrowed by 1.5.
    void drawHead(bool twin, bool narrowed)
    {
        if (!haveHead_)
            return;
        Vec2 n = headN_;
        if (narrowed)
            n = {static_cast<float>(n.x / 1.5), static_cast<float>(n.y / 1.5)};
        if (twin)
            sp_.drawEnd2(s_, headP_.x, headP_.y, headQ_.x, headQ_.y, n.x, n.y, pen_);
        else
            sp_.drawEnd(s_, headP_.x, headP_.y, headQ_.x, headQ_.y, n.x, n.y, pen_);
    }

private:
    SignPattern& sp_;
    DrawSurface& s_;
    const float pen_;
    bool haveStart_ = false, haveHead_ = false;
    Vec2 prevN_, headP_, headQ_, headN_;
};

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

// ---- Primitives ----------------------------------------------------------------

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

// ---- Movement patterns -----------------------------------------------------------

SignPattern::HandValues SignPattern::drawComplexGL(DrawSurface& s, int hand, float offX, float offY)
{
    HandFrame frame(s, offX, offY);
    ArrowChain arrow(*this, s, penAngle(hand));
    HandValues v;
    // symCat of the previous sampling, as the path is not sampled yet.
    v.symAngle = fixedSymAngle(descr.symCat);

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    float amplitude = 0;
    float t = fbeg;
    while (t < fend) {
        const float t2 = static_cast<float>(t + 0.3);
        const Vec2 p = sampleHand(*this, hand, t, 3);
        const Vec2 q = sampleHand(*this, hand, t2, 3);
        amplitude += length(q.x - p.x, q.y - p.y);
        // The shaft narrows from 0.0225 at the start to about 0.0075 at the end.
        const float ratio = (t - fbeg) / static_cast<float>(dur);
        const float w = static_cast<float>(0.015 * (1.5 - ratio));
        if (finite(p) && finite(q))
            arrow.add(p, q, w, kStill);
        t = t2;
    }
    // Nothing drawn: the hand does not move.
    v.amplitude = arrow.hasHead() && std::isfinite(amplitude) ? amplitude : 0.f;
    arrow.drawHead(false, false);
    return v;
}

SignPattern::HandValues SignPattern::drawArcGL(DrawSurface& s, int hand, float offX, float offY)
{
    HandFrame frame(s, offX, offY);
    ArrowChain arrow(*this, s, penAngle(hand));
    HandValues v;

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    const Vec2 P0 = sampleHand(*this, hand, fbeg, 2);
    const Vec2 P1 = sampleHand(*this, hand, fend, 2);
    const float vx = P1.x - P0.x, vy = P1.y - P0.y;
    const float D = length(vx, vy);
    if (!(D > kStill) || !std::isfinite(D)) {
        // Zero chord: no arc. The values this drawing sets are 0.
        v.amplitude = 0.f;
        directionValues(v, hand, symType, descr.symCat, 0.f, 0.f);
        return v;
    }
    v.amplitude = static_cast<float>(1.2 * D);
    directionValues(v, hand, symType, descr.symCat, vx, vy);

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
        return v;  // no fit: no arc
    const float a = Sn / Sd;
    const float b = static_cast<float>(-0.25 * a);

    // Point at chord position s (fraction frac = s + 0.5 along the chord).
    auto point = [&](double sv, double frac) {
        const double off = a * sv * sv + b;
        return Vec2{static_cast<float>(P0.x + frac * vx + off * -sa),
                    static_cast<float>(P0.y + frac * vy + off * ca)};
    };
    float sv = -0.5f;
    for (int k = 0; k < 50; ++k) {
        const double s2 = sv + 0.02;
        const double frac2 = sv + 0.5 + 0.02;
        const float w = static_cast<float>(0.015 * (1.5 - frac2));
        arrow.add(point(sv, sv + 0.5), point(s2, frac2), w);
        sv = static_cast<float>(sv + 0.02);
    }
    arrow.drawHead(false, false);
    return v;
}

SignPattern::HandValues SignPattern::drawRepetGL(DrawSurface& s, int hand, float offX, float offY)
{
    HandFrame frame(s, offX, offY);
    ArrowChain arrow(*this, s, penAngle(hand));
    HandValues v;

    const float fbeg = static_cast<float>(beg);
    const float fend = static_cast<float>(beg + dur);
    const float fdur = static_cast<float>(dur);
    const Vec2 P0 = sampleHand(*this, hand, fbeg, 2);
    const Vec2 P1 = sampleHand(*this, hand, fend, 2);
    const float vx = P1.x - P0.x, vy = P1.y - P0.y;
    if (!finite(P0) || !finite(P1) || !(length(vx, vy) > kStill)) {
        v.amplitude = 0.f;
        directionValues(v, hand, symType, descr.symCat, 0.f, 0.f);
        return v;  // the hand does not move: no arrow
    }
    directionValues(v, hand, symType, descr.symCat, vx, vy);
    v.amplitude = length(vx, vy);

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
        if (widthVector(p, q, w, n))
            arrow.add(p, q, n, t <= ownStartLimit);
    }
    arrow.drawHead(true, false);
    return v;
}

SignPattern::HandValues SignPattern::drawBackGL(DrawSurface& s, int hand, float offX, float offY)
{
    HandFrame frame(s, offX, offY);
    ArrowChain arrow(*this, s, penAngle(hand));
    HandValues v;

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
        v.symAngle = fixedSymAngle(descr.symCat);
    const float vx = F.x - M.x, vy = F.y - M.y;
    const float vlen = length(vx, vy);
    if (!found || !finite(P0) || !finite(P1) || !(vlen > kStill)) {
        // No farthest point: no arrow; the values this drawing sets are 0.
        v.amplitude = 0.f;
        if (hand == 1 || symType == 2)
            v.orientation = 0.f;
        return v;
    }
    if (hand == 1)
        v.orientation = orientationHand1(vx, vy);
    else if (symType == 2)
        v.orientation = orientationHand2(vx, vy);
    v.amplitude = length(F.x - P0.x, F.y - P0.y) + length(F.x - P1.x, F.y - P1.y);

    // One width vector for the whole arrow, across the line from M to F.
    const Vec2 n{static_cast<float>(0.015 * -vy / vlen), static_cast<float>(0.015 * vx / vlen)};
    auto leg = [&](Vec2 A, Vec2 B) {
        float sv = 0.f;
        for (int k = 0; k < 10; ++k) {
            const float s2 = static_cast<float>(sv + 0.1);
            const Vec2 p{A.x * (1 - sv) + B.x * sv, A.y * (1 - sv) + B.y * sv};
            const Vec2 q{A.x * (1 - s2) + B.x * s2, A.y * (1 - s2) + B.y * s2};
            if (length(q.x - p.x, q.y - p.y) > kStill)
                arrow.add(p, q, n);
            sv = s2;
        }
    };
    leg(P0, F);
    leg(F, P1);
    arrow.drawHead(false, true);
    return v;
}

SignPattern::HandValues SignPattern::drawCircleGL(DrawSurface& s, int hand, float offX, float offY, int turns)
{
    HandFrame frame(s, offX, offY);
    ArrowChain arrow(*this, s, penAngle(hand));
    HandValues v;

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
        const float var = meanSq - mean * mean;
        return var > 8 * FLT_EPSILON * meanSq ? var : 0.f;
    };
    const float varx = variance(sxx / fc, mx);
    const float vary = variance(syy / fc, my);
    float rx = static_cast<float>(1.5 * std::sqrt(static_cast<double>(varx)));
    float ry = static_cast<float>(1.5 * std::sqrt(static_cast<double>(vary)));
    v.symAngle = fixedSymAngle(descr.symCat);
    // A hand that moves in one direction only gives a flat ellipse (one
    // radius 0): it still has a direction at every step and is drawn. Only
    // when both radii are 0 is there no movement to draw.
    if (!(rx > 0.f || ry > 0.f) || !std::isfinite(rx) || !std::isfinite(ry) || !std::isfinite(mx) ||
        !std::isfinite(my)) {
        v.amplitude = 0.f;  // no ellipse
        return v;
    }
    v.amplitude = static_cast<float>((rx + ry) * 6.2838 * 0.5 * (turns + 1));

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
        return Vec2{static_cast<float>(mx + rx * std::cos(th)), static_cast<float>(my + ry * std::sin(th))};
    };
    // One chain of portions from angle `from` to `to`.
    auto chain = [&](float from, float to) {
        arrow.restart();
        float th = from;
        // |th - to| shrinks by 0.01 a step: at most a few hundred steps.
        for (int guard = 0; std::fabs(th - to) > 0.01 && guard < 2000; ++guard) {
            arrow.add(point(th), point(th + step), 0.013f);
            th = static_cast<float>(th + step);
        }
    };
    chain(d0, d1);
    chain(a0, d0);
    arrow.forgetHead();
    chain(d1, a1);
    arrow.drawHead(turns != 0, true);
    if (hand == 2 && (symType == 5 || symType == 6))
        chain(d0, d1);
    return v;
}

} // namespace glyphora

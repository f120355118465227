#include "core/SignPattern.h"
#include "core/TrackingTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace glyphora;

namespace {

using Column = std::function<double(int)>;

// A tracking table of n lines whose six columns are functions of the line.
TrackingTable makeTable(int n, const Column& h1x, const Column& h1y, const Column& h2x,
                        const Column& h2y, const Column& hx = [](int) { return 0.5; },
                        const Column& hy = [](int) { return 0.2; })
{
    std::string text;
    char buf[256];
    for (int i = 1; i <= n; ++i) {
        std::snprintf(buf, sizeof buf, "%.7f %.7f %.7f %.7f %.7f %.7f %f \n", h1x(i), h1y(i), h2x(i),
                      h2y(i), hx(i), hy(i), 40.0 * i);
        text += buf;
    }
    TrackingTable t;
    std::string err;
    EXPECT_TRUE(t.parse(text, "generated", &err)) << err;
    return t;
}

Column constant(double v) { return [v](int) { return v; }; }

bool allFinite(const SignDescription& d)
{
    const float v[] = {d.symAngle, d.orientation, d.amplitude, d.dx,    d.dy,    d.moyrx,
                       d.moyry,    d.moylx,       d.moyly,     d.moyhx, d.moyhy};
    for (float x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

Vec2 centre(const RecordingSurface::Polygon& p)
{
    Vec2 c;
    const auto pts = p.placed();
    for (const Vec2& q : pts) {
        c.x += q.x / pts.size();
        c.y += q.y / pts.size();
    }
    return c;
}

// Polygons by colour: a portion is one fill and two borders, a head one
// border and one fill.
struct Counts {
    int fills = 0, borders = 0;
};
Counts countColours(const RecordingSurface& s)
{
    Counts c;
    for (const auto& p : s.polygons)
        (p.colour == SignPattern::kFill ? c.fills : c.borders)++;
    return c;
}

constexpr float kPi = 3.1419f;

} // namespace

TEST(SignPatternSymmetry, RawTypesAndMeans)
{
    TrackingTable t = makeTable(
        30, [](int i) { return 0.3 + 0.01 * i; }, [](int i) { return 0.5 + 0.05 * std::sin(i); },
        [](int i) { return 0.8 - 0.02 * i; }, [](int i) { return 0.6 + 0.04 * std::cos(i); },
        [](int i) { return 0.55 + 0.001 * i; }, constant(0.2));
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(5, 10);
    const float* T[6];
    for (int c = 0; c < 6; ++c)
        T[c] = t.coords(c);
    double m[6] = {}, dx = 0;
    for (int i = 5; i < 15; ++i) {
        for (int c = 0; c < 6; ++c)
            m[c] += T[c][i] / 10.0;
        dx += (T[2][i] - T[0][i]) * 0.5 / 10.0;
    }
    for (int type : {0, 1, 2, 7}) {
        sp.setSymType(type);
        for (int idx = 0; idx < 4; ++idx)
            EXPECT_EQ(sp.filtCoordinate(idx, 7), T[idx][7]) << type;
        EXPECT_EQ(sp.descr.symCat, type);
        EXPECT_NEAR(sp.descr.moyrx, m[0], 1e-6);
        EXPECT_NEAR(sp.descr.moyly, m[3], 1e-6);
        EXPECT_NEAR(sp.descr.moyhx, m[4], 1e-6);
        EXPECT_NEAR(sp.descr.moyhy, m[5], 1e-6);
        EXPECT_NEAR(sp.descr.dx, dx, 1e-6);
    }
    // Outside the loaded lines nothing is read.
    EXPECT_EQ(sp.filtCoordinate(0, 0), 0.f);
    EXPECT_EQ(sp.filtCoordinate(0, 31), 0.f);
}

TEST(SignPatternSymmetry, ImposedSymmetries)
{
    TrackingTable t = makeTable(
        30, [](int i) { return 0.3 + 0.01 * i; }, [](int i) { return 0.5 + 0.05 * std::sin(i); },
        [](int i) { return 0.8 - 0.02 * i; }, [](int i) { return 0.6 + 0.04 * std::cos(i); });
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(3, 20);
    for (int type = 3; type <= 6; ++type) {
        sp.setSymType(type);
        // The mean midpoint, from the means of the two hands.
        sp.filtCoordinate(0, 3);
        const double cx = (sp.descr.moyrx + sp.descr.moylx) / 2.0;
        const double cy = (sp.descr.moyry + sp.descr.moyly) / 2.0;
        const double dx = sp.descr.dx, dy = sp.descr.dy;
        for (int f = 1; f <= 30; ++f) {
            const float h1x = sp.filtCoordinate(0, f), h1y = sp.filtCoordinate(1, f);
            const float h2x = sp.filtCoordinate(2, f), h2y = sp.filtCoordinate(3, f);
            const bool mirrorX = type == 4 || type == 5;
            const bool mirrorY = type == 5 || type == 6;
            if (mirrorX)
                EXPECT_NEAR(h1x + h2x, 2 * cx, 2e-6) << type << " " << f;
            else
                EXPECT_NEAR(h2x - h1x, 2 * dx, 2e-6) << type << " " << f;
            if (mirrorY)
                EXPECT_NEAR(h1y + h2y, 2 * cy, 2e-6) << type << " " << f;
            else
                EXPECT_NEAR(h2y - h1y, 2 * dy, 2e-6) << type << " " << f;
        }
    }
}

TEST(SignPatternFit, WholeFramesReproduceSamplesAndSubFramesFitTheModel)
{
    TrackingTable t = makeTable(
        20, [](int i) { return 0.3 + 0.01 * i * i; }, [](int i) { return 0.5 + 0.05 * std::sin(i); },
        constant(0.7), constant(0.6));
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(1, 8);  // starts at line 1: index 0 is skipped
    for (int f : {1, 2, 5, 9}) {
        EXPECT_NEAR(sp.getCoordinate(0, static_cast<float>(f), 2), sp.filtCoordinate(0, f), 2e-6) << f;
        EXPECT_NEAR(sp.getCoordinate(1, static_cast<float>(f), 2), sp.filtCoordinate(1, f), 2e-6) << f;
    }
    sp.setNewTimeBoundaries(15, 5);  // the window passes the last line
    EXPECT_NEAR(sp.getCoordinate(0, 20.f, 2), t.coords(0)[20], 2e-6);
    EXPECT_TRUE(std::isfinite(sp.getCoordinate(0, 20.9f, 3)));

    // Data exactly of the model y = c + q ((i - t) / dur)^2 gives alpha = c at
    // that t, for any kernel width.
    const float tq = 12.4f;
    const int dur = 10;
    TrackingTable p = makeTable(
        30, [&](int i) { const double e = (i - tq) / dur; return 0.3 + 0.5 * e * e; }, constant(0.5),
        constant(0.7), constant(0.6));
    sp.initVideo(p);
    sp.setNewTimeBoundaries(8, dur);
    EXPECT_NEAR(sp.getCoordinate(0, tq, 3), 0.3, 2e-5);
    EXPECT_NEAR(sp.getCoordinate(0, tq, 2), 0.3, 2e-5);
    // A single weighted line (h = 1 at a whole frame) gives that line's value.
    EXPECT_NEAR(sp.getCoordinate(0, 10.f, 1), p.coords(0)[10], 1e-6);
}

TEST(SignPatternPrimitives, HeadsAndPortions)
{
    SignPattern sp;
    RecordingSurface s;
    sp.drawEnd(s, 0, 0, 1, 0, 0, 0.01f, 0);
    ASSERT_EQ(s.polygons.size(), 2u);
    const auto& outline = s.polygons[0];
    const auto& fill = s.polygons[1];
    EXPECT_EQ(outline.colour, SignPattern::kBorder);
    EXPECT_EQ(fill.colour, SignPattern::kFill);
    ASSERT_EQ(fill.points.size(), 3u);
    EXPECT_NEAR(fill.points[0].y, 0.03, 1e-7);
    EXPECT_NEAR(fill.points[1].x, 0.06, 1e-7);
    EXPECT_NEAR(fill.points[2].y, -0.03, 1e-7);
    EXPECT_NEAR(outline.points[0].y, 0.039, 1e-7);
    EXPECT_NEAR(outline.points[1].x, 0.078, 1e-7);
    EXPECT_NEAR(outline.points[2].y, -0.039, 1e-7);

    // Double head: 1.5 L behind and ahead of the single head's base.
    s.clear();
    sp.drawEnd2(s, 0, 0, 1, 0, 0, 0.01f, 0);
    ASSERT_EQ(s.polygons.size(), 4u);
    EXPECT_NEAR(s.polygons[1].points[0].x, -0.015, 1e-7);
    EXPECT_NEAR(s.polygons[3].points[0].x, 0.015, 1e-7);
    EXPECT_NEAR(s.polygons[3].points[1].x, 0.075, 1e-7);

    // A portion: fill between the width vectors, black bands out to 1.3 times.
    s.clear();
    sp.orientation = 90;
    sp.drawPortion(s, 0, 0, 1, 0, 0, 0.02f, 0, 0.01f, 0);
    ASSERT_EQ(s.polygons.size(), 3u);
    EXPECT_EQ(s.polygons[0].colour, SignPattern::kFill);
    EXPECT_EQ(s.polygons[0].points[0], (Vec2{0, 0.02f}));
    EXPECT_EQ(s.polygons[0].points[1], (Vec2{0, -0.02f}));
    EXPECT_EQ(s.polygons[0].points[2], (Vec2{1, -0.01f}));
    EXPECT_NEAR(s.polygons[1].points[1].y, 0.026, 1e-7);
    EXPECT_NEAR(s.polygons[2].points[2].y, -0.013, 1e-7);

    // Broad pen at 270 degrees: width vectors point down whatever the path.
    s.clear();
    sp.orientation = 270;
    sp.drawPortion(s, 0, 0, 0, 1, -0.01f, 0, -0.01f, 0, 270);
    const auto& sliver = s.polygons[0].points;
    EXPECT_NEAR(sliver[0].x, 0, 1e-5);
    EXPECT_NEAR(sliver[0].y, -0.01, 1e-7);
    EXPECT_NEAR(sliver[1].y, 0.01, 1e-7);
    // drawEnd tests its own angle argument, not the orientation.
    s.clear();
    sp.orientation = 0;
    sp.drawEnd(s, 0, 0, 1, 0, 0, 0.01f, 270);
    EXPECT_NEAR(s.polygons[1].points[0].y, -0.03, 1e-6);

    // No direction or no width: nothing drawn.
    s.clear();
    sp.drawPortion(s, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0.01f, 0, 0.01f, 0);
    sp.drawEnd(s, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0.01f, 0);
    sp.drawEnd(s, 0, 0, 1, 0, 0, 0, 0);
    sp.drawEnd2(s, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0.01f, 0);
    sp.drawPortion(s, 0, 0, 1, 0, NAN, 0.01f, 0, 0.01f, 0);
    EXPECT_TRUE(s.polygons.empty());
}

TEST(SignPatternDrawing, EntryPointRefusesBadSigns)
{
    TrackingTable t = makeTable(100, [](int i) { return 0.01 * i; }, constant(0.5), constant(0.7),
                                constant(0.6));
    SignPattern sp;
    RecordingSurface s;
    sp.setNewTimeBoundaries(10, 20);
    EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kNoTracking);
    sp.initVideo(t);
    sp.descr.movCat = 42;
    sp.setMoPat(2);
    for (int d : {0, -3, 76}) {
        sp.setNewTimeBoundaries(10, d);
        EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kBadLength);
    }
    sp.setNewTimeBoundaries(0, 20);
    EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kOutsideTracking);
    sp.setNewTimeBoundaries(81, 20);
    EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kOutsideTracking);
    EXPECT_EQ(sp.descr.movCat, 42);
    EXPECT_TRUE(s.polygons.empty());
    sp.setNewTimeBoundaries(80, 20);  // last line 100 is the last loaded line
    EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_EQ(sp.descr.movCat, 2);
    sp.setMoPat(9);
    EXPECT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kUnknownPattern);
    EXPECT_EQ(sp.descr.movCat, 9);
}

// Hand 1 moves right along a horizontal line, x 0.2 -> 0.6 over lines 10..30.
class StraightLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        table = makeTable(40, [](int i) { return 0.2 + 0.02 * (i - 10); }, constant(0.5),
                          [](int i) { return 0.8 - 0.02 * (i - 10); }, constant(0.5));
        sp.initVideo(table);
        sp.setNewTimeBoundaries(10, 20);
        sp.setOrientation(0);
    }
    TrackingTable table;
    SignPattern sp;
    RecordingSurface s;
};

TEST_F(StraightLine, Repetition)
{
    sp.setMoPat(SignPattern::kRepetition);
    sp.setSymType(4);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0.1f, -0.2f, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.amplitude, 0.4, 1e-5);
    EXPECT_NEAR(sp.descr.orientation, 0, 1e-6);
    EXPECT_NEAR(sp.descr.symAngle, kPi, 1e-6);  // type 4: 3.1419 - atan(0)
    // 67 portions (t = 10, 10.3, ... 29.8) and a double head.
    const Counts c = countColours(s);
    EXPECT_EQ(c.fills, 67 + 2);
    EXPECT_EQ(c.borders, 2 * 67 + 2);
    for (const auto& p : s.polygons) {
        EXPECT_EQ(p.translation, (Vec2{0.1f, -0.2f}));
        EXPECT_NEAR(centre(p).y, 0.3, 0.05);  // 1 - 0.5, moved down by 0.2
    }
    EXPECT_EQ(s.depth, 0);
    EXPECT_EQ(s.unbalancedPops, 0);
    EXPECT_FALSE(s.depthTest);
    // The head points right, beyond the end of the shaft.
    EXPECT_GT(s.polygons.back().placed()[1].x, 0.1f + 0.6f);
}

TEST_F(StraightLine, ArcOfAStraightMovementIsStraight)
{
    sp.setMoPat(SignPattern::kArc);
    sp.setSymType(5);  // the hands mirror each other: the symmetry keeps them
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.amplitude, 0.48, 1e-5);
    EXPECT_NEAR(sp.descr.symAngle, kPi, 1e-6);  // atan(0) + 3.1419
    const Counts c = countColours(s);
    ASSERT_EQ(c.fills, 50 + 1);
    for (const auto& p : s.polygons)
        if (p.colour == SignPattern::kFill && p.points.size() == 4) {
            EXPECT_NEAR(centre(p).y, 0.5, 1e-4);
        }
    // The shaft tapers: first fill is wider than the last.
    const auto& first = s.polygons.front().points;
    const auto& last = s.polygons[3 * 49].points;
    EXPECT_GT(first[0].y - first[1].y, 2.5f * (last[3].y - last[2].y));
}

TEST_F(StraightLine, ComplexPathLengthAndDirectionToTheLeft)
{
    sp.setMoPat(SignPattern::kComplex);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.amplitude, 0.4 + 0.006, 0.003);  // the last portion passes the end
    EXPECT_EQ(countColours(s).fills, 67 + 1);

    // Hand 2 moves to the left: hand 2's orientation is mirrored (R only, type 2).
    s.clear();
    sp.setMoPat(SignPattern::kRepetition);
    sp.setSymType(2);
    sp.descr.symAngle = 0.25f;
    ASSERT_EQ(sp.drawSignGL(s, true, false, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.orientation, 0, 1e-6);  // atan(0 / -0.4), vx < 0: nothing added
    EXPECT_EQ(sp.descr.symAngle, 0.25f);         // hand 2 leaves it alone
    s.clear();
    sp.setSymType(0);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.orientation, 0, 1e-6);
}

TEST(SignPatternDrawing, BackAndForth)
{
    // Out and back along x: 0.3 -> 0.5 at line 25 -> 0.3 at line 40.
    TrackingTable t = makeTable(
        50, [](int i) { return 0.3 + 0.2 * std::max(0.0, 1 - std::abs(i - 25) / 15.0); },
        constant(0.5), [](int i) { return 0.7 - 0.2 * std::max(0.0, 1 - std::abs(i - 25) / 15.0); },
        constant(0.5));  // hand 2 mirrors hand 1 about x = 0.5
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(10, 30);
    sp.setSymType(5);
    RecordingSurface s;
    for (int pattern : {SignPattern::kBack, SignPattern::kBack2}) {
        s.clear();
        sp.setMoPat(pattern);
        ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
        EXPECT_NEAR(sp.descr.amplitude, 0.4, 2e-3);
        EXPECT_NEAR(sp.descr.orientation, 0, 1e-6);
        EXPECT_NEAR(sp.descr.symAngle, -3 * kPi / 4, 1e-6);
        const Counts c = countColours(s);
        EXPECT_EQ(c.fills, 20 + 1);
        // Both legs lie on y = 0.5, the farthest point at x = 0.5.
        float maxX = 0;
        for (const auto& p : s.polygons)
            if (p.points.size() == 4)
                maxX = std::max(maxX, centre(p).x);
        EXPECT_NEAR(maxX, 0.49, 0.011);
    }
}

// Hand 1 goes once round an ellipse of radii 0.1 (x) and 0.12 (y) about
// (0.5, 0.5) in the view, starting and ending at its right end.
class Circle : public ::testing::Test {
protected:
    void load(double sense)
    {
        const int beg = 10, dur = 40;
        auto theta = [=](int i) { return sense * 2 * M_PI * (i - beg) / dur; };
        table = makeTable(
            60, [=](int i) { return 0.5 + 0.1 * std::cos(theta(i)); },
            [=](int i) { return 1 - (0.5 + 0.12 * std::sin(theta(i))); }, constant(0.7),
            constant(0.6));
        sp.initVideo(table);
        sp.setNewTimeBoundaries(beg, dur);
        sp.setSymType(0);
    }
    // The angle about the centre of the head's base.
    double headAngle(int headPolygons)
    {
        const auto& base = s.polygons[s.polygons.size() - headPolygons].placed();
        const double bx = (base[0].x + base[2].x) / 2 - 0.5, by = (base[0].y + base[2].y) / 2 - 0.5;
        double a = std::atan2(by, bx);
        return a < 0 ? a + 2 * M_PI : a;
    }
    TrackingTable table;
    SignPattern sp;
    RecordingSurface s;
};

TEST_F(Circle, CounterClockwiseHeadNearTheEndOfTheArc)
{
    load(1);
    sp.setMoPat(SignPattern::kCircle);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    // Radii 1.5 * standard deviation: 0.1 / sqrt 2 and 0.12 / sqrt 2 (r is
    // their sum), made one circle of their mean; amplitude (rx + ry) * 3.1419.
    const double r = 1.5 * (0.1 + 0.12) / std::sqrt(2.0);
    EXPECT_NEAR(sp.descr.amplitude, r * 3.1419, 0.01);
    // a0 = 0.52365 (ry >= rx, centre left of the end sample); the head is at
    // a1 = a0 + 300 degrees when the swept area is positive.
    EXPECT_NEAR(headAngle(2), 0.52365 + 6.2838 - 1.0473, 0.03);
    // Every shaft point lies on the circle of radius (rx + ry) / 2.
    for (const auto& p : s.polygons)
        if (p.colour == SignPattern::kFill && p.points.size() == 4) {
            const Vec2 c = centre(p);
            EXPECT_NEAR(std::hypot(c.x - 0.5, c.y - 0.5), r / 2, 0.02);
        }
    const float amp1 = sp.descr.amplitude;
    const size_t n1 = s.polygons.size();
    s.clear();
    sp.setMoPat(SignPattern::kCircle2);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(sp.descr.amplitude, 2 * amp1, 1e-6);
    EXPECT_EQ(s.polygons.size(), n1 + 2);  // two heads
}

TEST_F(Circle, ClockwiseHeadNearTheStartOfTheArc)
{
    load(-1);
    sp.setMoPat(SignPattern::kCircle);
    ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_NEAR(headAngle(2), 0.52365, 0.03);
}

TEST_F(Circle, MirroredHandTwoRedrawsItsFirstChain)
{
    load(1);
    table = makeTable(
        60, constant(0.3), constant(0.5),
        [](int i) { return 0.5 + 0.1 * std::cos(2 * M_PI * (i - 10) / 40); },
        [](int i) { return 0.5 + 0.1 * std::sin(2 * M_PI * (i - 10) / 40); });
    sp.initVideo(table);
    sp.setMoPat(SignPattern::kCircle);
    sp.setSymType(0);
    ASSERT_EQ(sp.drawSignGL(s, true, false, 0, 0, 0, 0), SignPattern::kDrawn);
    const size_t plain = s.polygons.size();
    s.clear();
    sp.setSymType(6);  // mirror about y: hand 2 keeps its own circle here
    ASSERT_EQ(sp.drawSignGL(s, true, false, 0, 0, 0, 0), SignPattern::kDrawn);
    EXPECT_GT(s.polygons.size(), plain + 3 * 300);  // d0 -> d1 is 180 degrees, 314 portions
}

// A hand that moves along one axis only is a flat ellipse: it is drawn along
// that axis, and its amplitude counts the one radius that is not zero.
TEST(SignPatternDrawing, FlatEllipsesAreDrawn)
{
    auto wave = [](double centre, double radius) {
        return [=](int i) { return centre + radius * std::cos(2 * M_PI * (i - 10) / 40); };
    };
    // Radius 1.5 * standard deviation of a cosine of amplitude 0.1.
    const double r = 1.5 * 0.1 / std::sqrt(2.0);
    struct Case {
        const char* what;
        TrackingTable table;
        int symmetry;
        bool flatY; // the drawn ellipse is flat in y (a sideways movement)
    };
    const Case cases[] = {
        {"sideways", makeTable(60, wave(0.5, 0.1), constant(0.5), constant(0.8), constant(0.5)), 0, true},
        {"up and down", makeTable(60, constant(0.5), wave(0.5, 0.1), constant(0.8), constant(0.5)), 0, false},
        // Both hands make the same movement side by side; the mirror about the
        // vertical line keeps hand 1 at one x, so only its height moves.
        {"flattened by the symmetry",
         makeTable(60, wave(0.3, 0.1), wave(0.5, 0.1), wave(0.6, 0.1), wave(0.5, 0.1)), 4, false},
    };
    for (const Case& c : cases) {
        for (int turns = 0; turns < 2; ++turns) {
            SignPattern sp;
            sp.initVideo(c.table);
            sp.setNewTimeBoundaries(10, 40);
            sp.setSymType(c.symmetry);
            sp.setMoPat(turns ? SignPattern::kCircle2 : SignPattern::kCircle);
            RecordingSurface s;
            ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn) << c.what;
            EXPECT_NEAR(sp.descr.amplitude, r * 3.1419 * (turns + 1), 0.01 * (turns + 1)) << c.what;
            // 300 degrees in steps of 0.01 rad, and a head (two with two turns).
            EXPECT_GT(countColours(s).fills, 500) << c.what;
            // Every corner lies on the line of the flat axis, within the shaft's width.
            float minAcross = 1, maxAcross = 0, minAlong = 1, maxAlong = 0;
            for (const auto& p : s.polygons)
                for (const Vec2& v : p.placed()) {
                    const float across = c.flatY ? v.y : v.x, along = c.flatY ? v.x : v.y;
                    minAcross = std::min(minAcross, across);
                    maxAcross = std::max(maxAcross, across);
                    minAlong = std::min(minAlong, along);
                    maxAlong = std::max(maxAlong, along);
                }
            EXPECT_LT(maxAcross - minAcross, 0.1) << c.what;  // the arrow's width and head only
            EXPECT_NEAR(maxAlong - minAlong, 2 * r, 0.05) << c.what;
            EXPECT_TRUE(allFinite(sp.descr)) << c.what;
        }
    }
}

TEST(SignPatternDrawing, AHandThatDoesNotMoveDrawsNothingAndWritesNoNaN)
{
    TrackingTable t = makeTable(40, constant(0.4), constant(0.5), constant(0.6), constant(0.5));
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(10, 20);
    RecordingSurface s;
    for (int sym = 0; sym <= 7; ++sym)
        for (int pattern = 0; pattern <= 7; ++pattern) {
            sp.setSymType(sym);
            sp.setMoPat(pattern);
            sp.descr.amplitude = 9;
            ASSERT_EQ(sp.drawSignGL(s, true, true, 0, 0, 0, 0), SignPattern::kDrawn);
            EXPECT_TRUE(s.polygons.empty()) << sym << " " << pattern;
            EXPECT_TRUE(allFinite(sp.descr)) << sym << " " << pattern;
            if (pattern != SignPattern::kStatic) {
                EXPECT_EQ(sp.descr.amplitude, 0.f) << sym << " " << pattern;
            }
            EXPECT_EQ(s.depth, 0);
        }
    // The static pattern refreshes the means and the symmetry type.
    EXPECT_EQ(sp.descr.symCat, 7);
    EXPECT_NEAR(sp.descr.moyrx, 0.4, 1e-6);
    EXPECT_NEAR(sp.descr.dx, 0.1, 1e-6);
}

TEST(SignPatternDrawing, BothHandsOrderOffsetsAndPenMirror)
{
    TrackingTable t = makeTable(40, [](int i) { return 0.2 + 0.01 * i; }, constant(0.5),
                                [](int i) { return 0.8 - 0.01 * i; }, constant(0.4));
    SignPattern sp;
    sp.initVideo(t);
    sp.setNewTimeBoundaries(5, 10);
    sp.setMoPat(SignPattern::kRepetition);
    sp.setSymType(4);
    sp.setOrientation(200);  // fixed pen; hand 2 of type 4 uses 540 - 200 = 340
    RecordingSurface s;
    ASSERT_EQ(sp.drawSignGL(s, true, true, -0.1f, 0.05f, 0.2f, 0.3f), SignPattern::kDrawn);
    ASSERT_FALSE(s.polygons.empty());
    EXPECT_EQ(s.polygons.front().translation, (Vec2{0.2f, 0.3f}));  // R arrow (hand 2) first
    EXPECT_EQ(s.polygons.back().translation, (Vec2{-0.1f, 0.05f}));  // then L (hand 1)
    // Pen direction of hand 2 (340 degrees) and of hand 1 (200 degrees).
    auto penOf = [](const RecordingSurface::Polygon& p) {
        const Vec2 a = p.points[0], b = p.points[1];  // p0 + e, p0 - e
        return std::atan2(a.y - b.y, a.x - b.x);
    };
    // The pen angle in degrees becomes radians with 3.1419 for pi.
    EXPECT_NEAR(penOf(s.polygons.front()), 340 * 3.1419 / 180 - 2 * M_PI, 1e-4);
    EXPECT_NEAR(penOf(s.polygons[s.polygons.size() - 5]), 200 * 3.1419 / 180 - 2 * M_PI, 1e-4);
    // Description values are hand 1's.
    EXPECT_NEAR(sp.descr.orientation, 0, 1e-6);
}

// The movement directions are single-precision arctangents of single-precision
// ratios, rounded once (as an exact single-precision arctangent gives them).
TEST(SignPatternDrawing, DirectionsAreCorrectlyRoundedArctangents)
{
    int libraryMisrounds = 0;
    for (int k = 1; k <= 60; ++k) {
        const double slope = 0.0007 * k;
        const double sense = (k % 2) ? 1.0 : -1.0;  // both signs of vx
        TrackingTable t = makeTable(
            40, [&](int i) { return 0.2 + sense * 0.02 * (i - 10); },
            [&](int i) { return 0.5 - slope * (i - 10); },
            [&](int i) { return 0.8 - sense * 0.013 * (i - 10); },
            [&](int i) { return 0.4 + 0.5 * slope * (i - 10); });
        SignPattern sp;
        sp.initVideo(t);
        sp.setNewTimeBoundaries(10, 20);
        sp.setMoPat(SignPattern::kRepetition);
        for (int hand = 1; hand <= 2; ++hand) {
            const int xi = hand == 1 ? 0 : 2;
            sp.setSymType(hand == 1 ? 0 : 2);
            // The chord of the drawing, sampled the same way.
            const float x0 = sp.getCoordinate(xi, 10, 2), y0 = 1 - sp.getCoordinate(xi + 1, 10, 2);
            const float x1 = sp.getCoordinate(xi, 30, 2), y1 = 1 - sp.getCoordinate(xi + 1, 30, 2);
            const float vx = x1 - x0, vy = y1 - y0;
            const float ratio = hand == 1 ? -vy / vx : vy / vx;
            float expected = static_cast<float>(std::atan(static_cast<long double>(ratio)));
            if (std::atan(ratio) != expected)
                ++libraryMisrounds;
            if ((hand == 1 && vx < 0) || (hand == 2 && vx > 0))
                expected = static_cast<float>(expected + 3.1419);
            RecordingSurface s;
            ASSERT_EQ(sp.drawSignGL(s, hand == 2, hand == 1, 0, 0, 0, 0), SignPattern::kDrawn);
            EXPECT_EQ(sp.descr.orientation, expected) << "k " << k << " hand " << hand;
        }
    }
    // The cases above include ratios where the single-precision library atan
    // is off by one unit, so the test tells the two apart.
    EXPECT_GT(libraryMisrounds, 0);
}

// Repetition: the portions starting at or before beg + 0.3 (t advancing in
// single precision, the limit in double) start with their own width vector;
// the others continue from the end width of the portion before.
TEST(SignPatternDrawing, RepetitionChainsFromTheFirstPortionAfterBegPlusPointThree)
{
    for (int beg = 1; beg <= 12; ++beg) {
        TrackingTable t = makeTable(
            40, [&](int i) { return 0.2 + 0.02 * (i - beg); }, constant(0.5), constant(0.6),
            constant(0.5));
        SignPattern sp;
        sp.initVideo(t);
        sp.setNewTimeBoundaries(beg, 20);
        sp.setMoPat(SignPattern::kRepetition);
        sp.setOrientation(0);
        RecordingSurface s;
        ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
        ASSERT_GT(s.polygons.size(), 6u);
        // Rightward movement: width vectors point up; half-widths from the fills.
        const auto& first = s.polygons[0].points;
        const auto& second = s.polygons[3].points;
        const float firstEnd = (first[3].y - first[2].y) / 2;
        const float secondStart = (second[0].y - second[1].y) / 2;
        const float secondEnd = (second[3].y - second[2].y) / 2;
        const float t1 = static_cast<float>(static_cast<float>(beg) + 0.3);
        if (t1 <= static_cast<double>(beg) + 0.3)
            EXPECT_NEAR(secondStart, secondEnd, 1e-7) << "beg " << beg;  // its own width vector
        else
            EXPECT_NEAR(secondStart, firstEnd, 1e-7) << "beg " << beg;   // chained
        EXPECT_GT(firstEnd - secondEnd, 1e-4);  // the two cases differ visibly
    }
}

// Shapes built from a valid chord or radius are drawn however small their
// portions are; only noise-level movements count as "does not move".
TEST(SignPatternDrawing, SmallButRealMovementsAreDrawn)
{
    // Repetition over 5e-4 in 20 lines: portions of 7.5e-6.
    {
        TrackingTable t = makeTable(40, [](int i) { return 0.3 + 2.5e-5 * (i - 10); },
                                    constant(0.5), constant(0.6), constant(0.5));
        SignPattern sp;
        sp.initVideo(t);
        sp.setNewTimeBoundaries(10, 20);
        sp.setMoPat(SignPattern::kRepetition);
        RecordingSurface s;
        ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
        EXPECT_NEAR(sp.descr.amplitude, 5e-4, 1e-6);
        EXPECT_EQ(countColours(s).fills, 67 + 2);
    }
    // A circle of radius 6e-4 (one turn in 20 lines): portions of about 6e-6.
    {
        TrackingTable t = makeTable(
            40, [](int i) { return 0.1 + 6e-4 * std::cos(2 * M_PI * (i - 10) / 20); },
            [](int i) { return 0.9 + 6e-4 * std::sin(2 * M_PI * (i - 10) / 20); }, constant(0.6),
            constant(0.5));
        SignPattern sp;
        sp.initVideo(t);
        sp.setNewTimeBoundaries(10, 20);
        sp.setMoPat(SignPattern::kCircle);
        RecordingSurface s;
        ASSERT_EQ(sp.drawSignGL(s, false, true, 0, 0, 0, 0), SignPattern::kDrawn);
        EXPECT_GT(sp.descr.amplitude, 0.f);
        EXPECT_GT(countColours(s).fills, 500);  // 300 degrees in steps of 0.01 rad, one head
    }
}

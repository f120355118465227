// Rectangles, rectangle lists and bands, templates, checked against pixel sums
// computed by brute force.
#include "engine/IntFil.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <set>
#include <utility>

using vestiga::IntFil;
using vestiga::MultiRec;
using vestiga::Rectangle;

namespace {

cv::Mat randomMap(int w, int h, int seed) {
    cv::Mat m(h, w, CV_8UC1);
    cv::RNG rng(seed);
    rng.fill(m, cv::RNG::UNIFORM, 0, 256);
    return m;
}

cv::Mat integralOf(const cv::Mat& map) {
    cv::Mat I;
    cv::integral(map, I, CV_64F);
    return I;
}

// Sum of the map over columns x1 .. x2-1 and rows y1 .. y2-1.
double pixelSum(const cv::Mat& map, int x1, int y1, int x2, int y2) {
    double s = 0;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x)
            s += map.at<uchar>(y, x);
    return s;
}

// The pixels a rectangle sums: columns x1 .. x2-1, rows y1 .. y2-1.
std::set<std::pair<int, int>> pixelsOf(const MultiRec& m) {
    std::set<std::pair<int, int>> s;
    for (int i = 0; i < m.nbRec; ++i) {
        const Rectangle& r = m.rec[i];
        if (r.area == 0)
            continue;
        for (int y = r.y1; y < r.y2; ++y)
            for (int x = r.x1; x < r.x2; ++x)
                s.insert({x, y});
    }
    return s;
}

void expectRect(const Rectangle& r, int x1, int y1, int x2, int y2, double area) {
    EXPECT_EQ(r.x1, x1);
    EXPECT_EQ(r.y1, y1);
    EXPECT_EQ(r.x2, x2);
    EXPECT_EQ(r.y2, y2);
    EXPECT_EQ(r.area, area);
}

} // namespace

TEST(Rectangle, FromCentreAndSize) {
    expectRect(Rectangle(10, 10, 4, 4), 8, 8, 11, 11, 16);
    expectRect(Rectangle(10, 10, 5, 5), 8, 8, 11, 11, 25);
    // Size 1: the second corner lies before the first, yet the area is 1 ...
    expectRect(Rectangle(7, 3, 1, 1), 7, 3, 6, 2, 1);
    // ... and it meets nothing.
    EXPECT_EQ((Rectangle(7, 3, 1, 1) * Rectangle(50, 50, 100, 100)).area, 0);
    EXPECT_EQ(Rectangle().area, 0);
}

TEST(Rectangle, Intersection) {
    Rectangle a(10, 10, 10, 10); // 5 .. 14
    Rectangle b(16, 12, 10, 10); // 11 .. 20, 7 .. 16
    Rectangle c = a * b;
    expectRect(c, 11, 7, 14, 14, 3 * 7);
    EXPECT_EQ((b * a).area, c.area);
    // Sharing an edge only: empty, and not listed by the list intersection.
    Rectangle left(10, 10, 10, 10), right(19, 10, 10, 10); // x2 = 14, x1 = 14
    EXPECT_EQ((left * right).area, 0);
    EXPECT_EQ((MultiRec(left) * MultiRec(right)).nbRec, 0);
    // An empty operand gives an empty result.
    EXPECT_EQ((Rectangle() * a).area, 0);
}

TEST(Rectangle, IntegralSumMatchesPixelSum) {
    const cv::Mat map = randomMap(37, 29, 1);
    const cv::Mat I = integralOf(map);
    cv::RNG rng(7);
    for (int t = 0; t < 200; ++t) {
        Rectangle r;
        r.x1 = rng.uniform(0, 37);
        r.x2 = rng.uniform(r.x1, 38);
        r.y1 = rng.uniform(0, 29);
        r.y2 = rng.uniform(r.y1, 30);
        r.area = 1;
        ASSERT_EQ(r.intRec(I), pixelSum(map, r.x1, r.y1, r.x2, r.y2));
    }
    Rectangle empty;
    empty.x1 = -100; // an empty rectangle reads nothing
    EXPECT_EQ(empty.intRec(I), 0);
}

TEST(MultiRec, ConstructionAndCopy) {
    MultiRec e;
    EXPECT_EQ(e.nbRec, 0);
    EXPECT_EQ(e.area, 0);
    MultiRec one(Rectangle(5, 5, 4, 6));
    EXPECT_EQ(one.nbRec, 1);
    EXPECT_EQ(one.area, 24);
    expectRect(one.rec[0], 3, 2, 6, 7, 24);
    EXPECT_EQ(one.rec[1].area, 0);
    MultiRec copy;
    copy = one;
    EXPECT_EQ(copy.nbRec, 1);
    expectRect(copy.rec[0], 3, 2, 6, 7, 24);
}

TEST(MultiRec, IntersectionKeepsOrderAndStopsAtTwenty) {
    MultiRec a, b;
    for (int i = 0; i < 5; ++i) {
        a.rec[a.nbRec++] = Rectangle(50 + i, 50, 40, 40);
        b.rec[b.nbRec++] = Rectangle(52, 50 + i, 40, 40);
    }
    const MultiRec c = a * b;
    ASSERT_EQ(c.nbRec, 20);
    double area = 0;
    for (int k = 0; k < 20; ++k) {
        const Rectangle expected = a.rec[k / 5] * b.rec[k % 5];
        expectRect(c.rec[k], expected.x1, expected.y1, expected.x2, expected.y2, expected.area);
        area += expected.area;
    }
    EXPECT_EQ(c.area, area);
}

TEST(MultiRec, IntersectionOfDisjointListsSumsTheCommonPixels) {
    const cv::Mat map = randomMap(120, 90, 2);
    const cv::Mat I = integralOf(map);
    MultiRec a, b;
    // Disjoint columns of strips and disjoint rows of strips, crossing.
    for (int i = 0; i < 4; ++i) { // 16 pairs, below the capacity
        a.rec[a.nbRec++] = Rectangle(10 + 17 * i, 45, 12, 70);
        b.rec[b.nbRec++] = Rectangle(60, 8 + 14 * i, 100, 9);
    }
    const MultiRec c = a * b;
    std::set<std::pair<int, int>> common;
    const auto pa = pixelsOf(a), pb = pixelsOf(b);
    for (const auto& p : pa)
        if (pb.count(p))
            common.insert(p);
    double sum = 0;
    for (const auto& p : common)
        sum += map.at<uchar>(p.second, p.first);
    EXPECT_EQ(c.area, static_cast<double>(common.size()));
    EXPECT_EQ(c.intRec(I), sum);
}

TEST(Band, ExactlyHorizontalAndVerticalSegmentsHoldNoPixel) {
    MultiRec h;
    h.buildMRFromSegment(100, 50, 160, 50, 10);
    EXPECT_EQ(h.nbRec, 0);
    EXPECT_FLOAT_EQ(static_cast<float>(h.area), 10.0f * 70.0f);
    MultiRec v;
    const MultiRec ret = v.buildMRFromSegment(100, 50, 100, 110, 10);
    EXPECT_EQ(v.nbRec, 1);
    EXPECT_EQ(v.rec[0].area, 0);
    EXPECT_FLOAT_EQ(static_cast<float>(v.area), 700.0f);
    EXPECT_EQ(ret.nbRec, 1);
    // A point: one empty strip.
    MultiRec p;
    p.buildMRFromSegment(30, 30, 30, 30, 8);
    EXPECT_EQ(p.nbRec, 1);
    EXPECT_EQ(p.rec[0].area, 0);
    // Within 0.0008 radian of the vertical: no strip at all.
    MultiRec n;
    n.buildMRFromSegment(100, 0, 100.01f, 200, 10);
    EXPECT_EQ(n.nbRec, 0);
}

TEST(Band, FlatSegment) {
    MultiRec m;
    m.buildMRFromSegment(100, 100, 160, 120, 10);
    EXPECT_NEAR(m.area, 732.456, 1e-3);
    ASSERT_EQ(m.nbRec, 5);
    expectRect(m.rec[0], 96, 95, 107, 104, 130);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(m.rec[i].area, 130);
    // Strip centres climb along the band from its left end.
    for (int i = 1; i < 5; ++i) {
        EXPECT_GT(m.rec[i].x1, m.rec[i - 1].x1);
        EXPECT_GE(m.rec[i].y1, m.rec[i - 1].y1);
    }
}

TEST(Band, SteepSegment) {
    MultiRec m;
    m.buildMRFromSegment(100, 100, 140, 140, 10);
    ASSERT_EQ(m.nbRec, 7);
    const int cx[] = {99, 106, 113, 120, 126, 133, 140};
    const int cy[] = {99, 106, 113, 119, 126, 133, 140};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        expectRect(m.rec[i], cx[i] - 7, cy[i] - 3, cx[i] + 6, cy[i] + 2, 14 * 6);
    }
}

TEST(Band, DoesNotDependOnTheSegmentDirection) {
    cv::RNG rng(3);
    for (int t = 0; t < 300; ++t) {
        const float x1 = rng.uniform(0.f, 400.f), y1 = rng.uniform(0.f, 300.f);
        const float x2 = rng.uniform(0.f, 400.f), y2 = rng.uniform(0.f, 300.f);
        const float w = rng.uniform(3.f, 40.f);
        MultiRec a, b;
        a.buildMRFromSegment(x1, y1, x2, y2, w);
        b.buildMRFromSegment(x2, y2, x1, y1, w);
        ASSERT_EQ(a.nbRec, b.nbRec);
        ASSERT_EQ(a.area, b.area);
        for (int i = 0; i < a.nbRec; ++i)
            expectRect(b.rec[i], a.rec[i].x1, a.rec[i].y1, a.rec[i].x2, a.rec[i].y2, a.rec[i].area);
    }
}

TEST(Band, ApproximatesTheRotatedRectangle) {
    // Pixels of the strips against the pixels whose centre lies in the true
    // band (the segment lengthened by w/2 each way, w wide), for segments at
    // 10 to 80 degrees, 5 to 12 widths long.
    for (int deg = 10; deg <= 80; deg += 7) {
        for (float len : {60.f, 100.f, 150.f}) {
            const float w = 12;
            const double a = deg * CV_PI / 180;
            const float x1 = 200, y1 = 200;
            const float x2 = static_cast<float>(x1 + len * std::cos(a));
            const float y2 = static_cast<float>(y1 + len * std::sin(a));
            MultiRec m;
            m.buildMRFromSegment(x1, y1, x2, y2, w);
            ASSERT_GE(m.nbRec, 1);
            ASSERT_LE(m.nbRec, 20);
            const auto strips = pixelsOf(m);
            const double ux = std::cos(a), uy = std::sin(a);
            int inside = 0, truth = 0;
            for (int y = 100; y < 400; ++y) {
                for (int x = 100; x < 400; ++x) {
                    const double px = x + 0.5 - x1, py = y + 0.5 - y1;
                    const double along = px * ux + py * uy, across = -px * uy + py * ux;
                    const bool in = along >= -w / 2 && along <= len + w / 2 && std::fabs(across) <= w / 2;
                    truth += in;
                    inside += in && strips.count({x, y});
                }
            }
            SCOPED_TRACE(testing::Message() << deg << " degrees, length " << len);
            // Most of the strips lie in the band, and the staircase of strips
            // covers at least half of it (the least near 45 degrees).
            EXPECT_GT(inside, 0.75 * static_cast<double>(strips.size()));
            EXPECT_GT(inside, 0.5 * truth);
            EXPECT_NEAR(m.area, truth, 0.03 * truth);
        }
    }
}

TEST(Band, NeverMoreThanTwentyStrips) {
    MultiRec m;
    m.buildMRFromSegment(0, 0, 1000, 1000, 2);
    EXPECT_EQ(m.nbRec, 20);
    m.buildMRFromSegment(0, 0, 1000, 700, 2);
    EXPECT_EQ(m.nbRec, 20);
}

TEST(Band, BuildFromRectangle) {
    MultiRec m;
    const MultiRec r = m.buildMRFromRectangle(12.7f, 30.2f, 4.5f, 10.9f);
    EXPECT_EQ(m.nbRec, 1);
    const double area = static_cast<double>(12.7f - 4.5f) * static_cast<double>(30.2f - 10.9f);
    expectRect(m.rec[0], 4, 10, 12, 30, area);
    EXPECT_EQ(m.area, area);
    EXPECT_EQ(r.nbRec, 1);
}

namespace {

// The four corners of the pixel block columns x1 .. x2-1, rows y1 .. y2-1,
// relative to (0, 0), weighted +w, -w, +w, -w from the top-left corner.
IntFil rectangleTemplate(int x1, int y1, int x2, int y2, float w) {
    const int dx[] = {x1, x2, x2, x1};
    const int dy[] = {y1, y1, y2, y2};
    const float c[] = {w, -w, w, -w};
    IntFil f;
    f.InitFil(dx, dy, c, 4);
    return f;
}

} // namespace

TEST(IntFil, ScoreIsTheWeightedRegionSum) {
    const cv::Mat map = randomMap(60, 40, 4);
    const cv::Mat I = integralOf(map);
    // A ring: twice an inner box minus an outer box, as the head template.
    const int dx[] = {-9, 9, 9, -9, -5, 5, 5, -5};
    const int dy[] = {-7, -7, 7, 7, -4, -4, 4, 4};
    const float c[] = {-1, 1, -1, 1, 2, -2, 2, -2};
    IntFil ring;
    EXPECT_EQ(ring.InitFil(dx, dy, c, 8), 1);
    EXPECT_EQ(ring.nbPts, 8);
    for (int y = 8; y <= 32; y += 3) {
        for (int x = 10; x <= 50; x += 4) {
            const double expected =
                2 * pixelSum(map, x - 5, y - 4, x + 5, y + 4) - pixelSum(map, x - 9, y - 7, x + 9, y + 7);
            ASSERT_NEAR(ring.computeInt(I, x, y, I.cols, I.rows), expected, 1e-3 * std::fabs(expected) + 1e-3);
            // Its mirror points carry opposite weights: the mirrored score is the same.
            ASSERT_NEAR(ring.computeIntR(I, x, y, I.cols, I.rows), ring.computeInt(I, x, y, I.cols, I.rows), 0.5);
        }
    }
}

TEST(IntFil, MirroredScoreIsTheScoreOfTheMirroredRegion) {
    const cv::Mat map = randomMap(60, 40, 5);
    const cv::Mat I = integralOf(map);
    // A block right of the position; its mirror image is left of it.
    const IntFil f = rectangleTemplate(2, -3, 9, 5, 1.0f);
    const int x = 30, y = 20;
    EXPECT_FLOAT_EQ(f.computeInt(I, x, y, I.cols, I.rows), static_cast<float>(pixelSum(map, x + 2, y - 3, x + 9, y + 5)));
    EXPECT_FLOAT_EQ(f.computeIntR(I, x, y, I.cols, I.rows), static_cast<float>(pixelSum(map, x - 9, y - 3, x - 2, y + 5)));
}

TEST(IntFil, ExtendedValuesOutsideTheImage) {
    const cv::Mat map = randomMap(20, 15, 6);
    const cv::Mat I = integralOf(map);
    const int W = I.cols, H = I.rows;
    IntFil f;
    auto Iv = [&](int y, int x) { return I.at<double>(y, x); };
    EXPECT_EQ(f.extrapolate(I, 7, 4, W, H), static_cast<float>(Iv(4, 7)));
    EXPECT_EQ(f.extrapolate(I, W - 1, H - 1, W, H), static_cast<float>(Iv(H - 1, W - 1)));
    EXPECT_EQ(f.extrapolate(I, -3, -2, W, H), static_cast<float>(-6 * Iv(1, 1)));
    EXPECT_EQ(f.extrapolate(I, W + 2, 5, W, H), static_cast<float>(3 * Iv(5, W - 1) - 2 * Iv(5, W - 2)));
    EXPECT_EQ(f.extrapolate(I, 6, H + 3, W, H), static_cast<float>(4 * Iv(H - 1, 6) - 3 * Iv(H - 2, 6)));
    EXPECT_EQ(f.extrapolate(I, -4, 9, W, H), static_cast<float>(-4 * Iv(9, 1)));
    EXPECT_EQ(f.extrapolate(I, 8, -2, W, H), static_cast<float>(-2 * Iv(1, 8)));
    EXPECT_EQ(f.extrapolate(I, W + 1, H + 2, W, H),
              static_cast<float>(Iv(H - 1, W - 1) + 2 * (1 * (Iv(H - 1, W - 1) - Iv(H - 1, W - 2)))));
    EXPECT_EQ(f.extrapolate(I, -2, H + 1, W, H),
              static_cast<float>(-2 * Iv(H - 1, 1) + 1 * (2 * (Iv(H - 1, 1) - Iv(H - 2, 1)))));
    EXPECT_EQ(f.extrapolate(I, W + 3, -1, W, H),
              static_cast<float>(-1 * Iv(1, W - 1) + 1 * (3 * (Iv(1, W - 1) - Iv(1, W - 2)))));
    // A template reaching beyond every border still scores finitely.
    const IntFil big = rectangleTemplate(-30, -30, 30, 30, 1.0f);
    EXPECT_TRUE(std::isfinite(big.computeInt(I, 10, 7, W, H)));
}

TEST(IntFil, OutlineDrawsOneClosedPolygonPerRun) {
    // A square of weight magnitude 1, then a lone point of weight 3 inside the
    // list, a smaller square of weight 2, and a lone last point of weight 5.
    const int dx[] = {-20, 20, 20, -20, 0, -8, 8, 8, -8, 25};
    const int dy[] = {-15, -15, 15, 15, 24, -6, -6, 6, 6, -24};
    const float c[] = {1, -1, 1, -1, 3, 2, -2, 2, -2, 5};
    IntFil f;
    f.InitFil(dx, dy, c, 10);
    cv::Mat img(61, 61, CV_8UC3, cv::Scalar::all(0));
    f.draw(img, 30, 30, 10, 200, 30);
    auto lit = [&](int x, int y) { return img.at<cv::Vec3b>(y, x) == cv::Vec3b(10, 200, 30); };
    // The four sides of both squares, the closing side included.
    EXPECT_TRUE(lit(30, 15));
    EXPECT_TRUE(lit(50, 30));
    EXPECT_TRUE(lit(30, 45));
    EXPECT_TRUE(lit(10, 30)); // closing line back to the first corner
    EXPECT_TRUE(lit(30, 24));
    EXPECT_TRUE(lit(22, 30));
    EXPECT_TRUE(lit(38, 30));
    EXPECT_TRUE(lit(30, 36));
    EXPECT_FALSE(lit(30, 30)); // no diagonal, no fill
    EXPECT_FALSE(lit(16, 22));
    EXPECT_TRUE(lit(30, 54));  // the lone point inside the list: a dot
    EXPECT_FALSE(lit(55, 6));  // the lone last point: nothing
    // No line joins one run to the next.
    EXPECT_FALSE(lit(30, 50));

    // The mirrored outline is the outline of the mirror image.
    cv::Mat mirrored(61, 61, CV_8UC3, cv::Scalar::all(0)), flipped;
    f.drawR(mirrored, 30, 30, 10, 200, 30);
    cv::flip(img, flipped, 1);
    EXPECT_EQ(cv::norm(mirrored, flipped, cv::NORM_INF), 0);
}


TEST(IntFil, ScoreInsideAndAcrossTheBordersEqualsThePointByPointSum)
{
    // The point-by-point sum through extrapolate, in the template's order.
    const auto reference = [](const IntFil& f, const cv::Mat& I, int x, int y, bool mirrored) {
        float s = 0;
        for (int k = 0; k < f.nbPts; ++k) {
            if (mirrored)
                s -= f.extrapolate(I, x - f.dx[k], y + f.dy[k], I.cols, I.rows) * f.coef[k];
            else
                s += f.extrapolate(I, x + f.dx[k], y + f.dy[k], I.cols, I.rows) * f.coef[k];
        }
        return s;
    };
    // The tracker's integral images hold 32-bit integers; doubles holding the
    // same sums must give the same bits everywhere, borders included.
    cv::Mat map(60, 80, CV_8UC1), I, I32;
    cv::randu(map, 0, 256);
    cv::integral(map, I, CV_64F);
    cv::integral(map, I32, CV_32S);
    const int dx[] = {-20, 13, 13, -20, 0, -8, 8, 8, -8, 25};
    const int dy[] = {-15, -15, 15, 15, 24, -6, -6, 6, 6, -24};
    const float c[] = {0.1f, -0.3f, 0.7f, -1.1f, 0.013f, 2, -2, 2, -2, 0.5f};
    IntFil f;
    f.InitFil(dx, dy, c, 10);
    for (int y = -30; y < 90; ++y) {
        for (int x = -30; x < 115; ++x) {
            const float a = f.computeInt(I, x, y, I.cols, I.rows), b = reference(f, I, x, y, false);
            const float ar = f.computeIntR(I, x, y, I.cols, I.rows), br = reference(f, I, x, y, true);
            ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << x << ", " << y;
            ASSERT_EQ(std::memcmp(&ar, &br, sizeof ar), 0) << x << ", " << y << " mirrored";
            const float a32 = f.computeInt(I32, x, y, I.cols, I.rows);
            const float ar32 = f.computeIntR(I32, x, y, I.cols, I.rows);
            const float e = f.extrapolate(I, x, y, I.cols, I.rows), e32 = f.extrapolate(I32, x, y, I.cols, I.rows);
            ASSERT_EQ(std::memcmp(&a, &a32, sizeof a), 0) << x << ", " << y << " integers";
            ASSERT_EQ(std::memcmp(&ar, &ar32, sizeof ar), 0) << x << ", " << y << " integers, mirrored";
            ASSERT_EQ(std::memcmp(&e, &e32, sizeof e), 0) << x << ", " << y << " integers, one point";
        }
    }
    // Placements scored side by side give each one's bits, whether all
    // four, some or none of them reach past the border, and so do the last
    // ones of a count that is not a multiple of four.
    for (int y = -30; y < 90; y += 3) {
        for (int x = -30; x < 115; x += 2) {
            const int xs[6] = {x, x + 1, x - 7, 40, x + 3, 20};
            const int ys[6] = {y, y + 3, y, 30 - y / 4, y - 2, 25};
            for (const cv::Mat* J : {&I, &I32}) {
                for (const bool mirrored : {false, true}) {
                    float many[6];
                    const int n = 4 + (x - y + 300) % 3; // 4, 5 or 6
                    f.computeInts(*J, xs, ys, n, J->cols, J->rows, mirrored, many);
                    for (int j = 0; j < n; ++j) {
                        const float one = mirrored ? f.computeIntR(*J, xs[j], ys[j], J->cols, J->rows)
                                                   : f.computeInt(*J, xs[j], ys[j], J->cols, J->rows);
                        ASSERT_EQ(std::memcmp(&many[j], &one, sizeof one), 0)
                            << xs[j] << ", " << ys[j] << (mirrored ? " mirrored" : "") << " depth " << J->depth();
                    }
                }
            }
        }
    }
    // Rectangle lists (as the hand filter's bands) sum the same on both.
    for (int k = 0; k < 200; ++k) {
        MultiRec band;
        band.buildMRFromSegment(static_cast<float>(k % 70), static_cast<float>((7 * k) % 55),
                                static_cast<float>((13 * k) % 75), static_cast<float>((3 * k) % 50), 4.0f + k % 9);
        const MultiRec inside = band * MultiRec(Rectangle(40, 30, 78, 58));
        ASSERT_EQ(inside.intRec(I), inside.intRec(I32)) << k;
    }
}

#include "engine/IntFil.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vestiga {

namespace {

// Truncation toward zero of a coordinate or size. Values far outside any
// picture are clamped to +-2^30 (and a NaN read as 0) so that the integer
// arithmetic done on them afterwards cannot overflow; every value a picture
// can hold converts exactly as a plain cast would.
inline int truncCoord(double v) {
    if (!(v == v))
        return 0;
    constexpr double kLimit = 1073741824.0;
    if (v >= kLimit)
        return static_cast<int>(kLimit);
    if (v <= -kLimit)
        return -static_cast<int>(kLimit);
    return static_cast<int>(v);
}

// Integral value at row y, column x (inside the image), of an integral image
// whose values are of type T.
template <class T>
inline double at(const cv::Mat& I, int y, int x) { return static_cast<double>(I.ptr<T>(y)[x]); }

inline bool holdsIntegers(const cv::Mat& I) { return I.depth() == CV_32S; }

template <class T>
double rectangleSum(const Rectangle& r, const cv::Mat& I) {
    if (r.area == 0)
        return 0;
    CV_DbgAssert(I.type() == cv::DataType<T>::type && r.x1 >= 0 && r.y1 >= 0 && r.x2 < I.cols && r.y2 < I.rows);
    const T* r1 = I.ptr<T>(r.y1);
    const T* r2 = I.ptr<T>(r.y2);
    const double a = static_cast<double>(r1[r.x1]), b = static_cast<double>(r2[r.x2]);
    const double c = static_cast<double>(r1[r.x2]), d = static_cast<double>(r2[r.x1]);
    return ((a + b) - c) - d;
}

template <class T>
double rectanglesSum(const MultiRec& m, const cv::Mat& I) {
    double s = 0;
    for (int i = 0; i < m.nbRec; ++i)
        s += rectangleSum<T>(m.rec[i], I);
    return s;
}

} // namespace

// ---------------------------------------------------------------- Rectangle

Rectangle::Rectangle(int cx, int cy, int w, int h)
    : x1(cx - w / 2), y1(cy - h / 2), x2(cx + w / 2 - 1), y2(cy + h / 2 - 1),
      area(static_cast<double>(w) * h) {}

double Rectangle::intRec(const cv::Mat& I) const {
    return holdsIntegers(I) ? rectangleSum<int32_t>(*this, I) : rectangleSum<double>(*this, I);
}

Rectangle Rectangle::operator*(const Rectangle& b) const {
    Rectangle r;
    if (area * b.area == 0)
        return r;
    r.x1 = std::max(x1, b.x1);
    r.y1 = std::max(y1, b.y1);
    r.x2 = std::min(x2, b.x2);
    r.y2 = std::min(y2, b.y2);
    if (r.x1 <= r.x2 && r.y1 <= r.y2)
        r.area = (static_cast<double>(r.x2) - r.x1) * (static_cast<double>(r.y2) - r.y1);
    return r;
}

void Rectangle::draw(cv::Mat& image) const {
    // Line type 0 rasterises as the 8-connected line; the annotated video's
    // pictures depend on it.
    cv::rectangle(image, cv::Point(x1, y1), cv::Point(x2, y2), cv::Scalar(125, 125, 125, 125), 2, 0, 0);
}

// ----------------------------------------------------------------- MultiRec

MultiRec::MultiRec(const Rectangle& r) : nbRec(1), area(r.area) { rec[0] = r; }

MultiRec::MultiRec(const MultiRec& o) { *this = o; }

MultiRec& MultiRec::operator=(const MultiRec& o) {
    // Only the rectangles in use are copied; the others keep their values.
    nbRec = o.nbRec;
    area = o.area;
    const int n = std::min(std::max(o.nbRec, 0), kCapacity);
    std::copy(o.rec, o.rec + n, rec);
    return *this;
}

double MultiRec::intRec(const cv::Mat& I) const {
    return holdsIntegers(I) ? rectanglesSum<int32_t>(*this, I) : rectanglesSum<double>(*this, I);
}

void MultiRec::intersect(const MultiRec& a, const MultiRec& b, MultiRec& r) {
    r.nbRec = 0;
    r.area = 0;
    for (int i = 0; i < a.nbRec; ++i) {
        for (int j = 0; j < b.nbRec; ++j) {
            const Rectangle x = a.rec[i] * b.rec[j];
            if (x.area != 0) {
                r.rec[r.nbRec++] = x;
                r.area += x.area;
                if (r.nbRec == kCapacity)
                    return;
            }
        }
    }
}

MultiRec MultiRec::operator*(const MultiRec& b) const {
    MultiRec r;
    intersect(*this, b, r);
    return r;
}

namespace {

// The strips of a band along its major axis (x for a flat segment, y for a
// steep one): n strips, each majorStep long on the major axis and `across`
// wide on the other, their centres stepping from one end of the band. cMajor
// and cMinor are the cosines of the band's angle with the major and the minor
// axis; the band starts at (majorStart, minorStart) and runs toward
// increasing major values, and toward increasing minor values when
// minorRises.
struct StripSteps {
    float majorStep, majorOrigin, minorStep, minorOrigin;
    int majorSize, across;
};

StripSteps stripSteps(int n, float Lw, float w, double cMajor, double cMinor, float majorStart, float minorStart,
                      bool minorRises)
{
    StripSteps s;
    s.majorStep = static_cast<float>(Lw * cMajor / n);
    s.majorOrigin = static_cast<float>(majorStart - 0.5 * w * cMajor);
    if (minorRises) {
        s.minorStep = static_cast<float>(Lw * cMinor / n);
        s.minorOrigin = static_cast<float>(minorStart - 0.5 * w * cMinor);
    } else {
        s.minorStep = static_cast<float>(-(Lw * cMinor) / n);
        s.minorOrigin = static_cast<float>(minorStart + 0.5 * w * cMinor);
    }
    s.majorSize = truncCoord(s.majorStep);
    // An exactly vertical segment counts as steep with theta 0, so its major
    // cosine is 0: its strips are empty (majorSize 0), and the infinite width
    // is stored as 0 (any finite width would do).
    const double a = w / cMajor;
    s.across = std::isfinite(a) ? truncCoord(a) : 0;
    return s;
}

} // namespace

const MultiRec& MultiRec::buildMRFromSegment(float x1, float y1, float x2, float y2, float w) {
    // The band is the rectangle of width w around the segment, lengthened by
    // w/2 at both ends (length Lw = L + w). It is cut into nbRec strips across
    // its length: vertical strips of width stepX and height w / cos(theta) for
    // a flat segment, horizontal strips of height stepY and width
    // w / sin(theta) for a steep one, where theta is the segment's angle with
    // the x axis. Strip centres step along the band's axis from the end with
    // the smaller major coordinate.
    const float ddx = x2 - x1;
    const float ddy = y2 - y1;
    const float L = static_cast<float>(std::sqrt(static_cast<double>(ddx * ddx + ddy * ddy)));
    const float Lw = w + L;
    area = static_cast<double>(w * Lw);

    float theta = 0;
    bool steep = true;
    if (x2 != x1) {
        const float adx = std::fabs(ddx);
        theta = static_cast<float>(std::acos(static_cast<double>(adx) / static_cast<double>(L)));
        const float slope = std::fabs(ddy) / adx;
        steep = !(slope < 1.0f); // 1 or more, or NaN
    }
    const double th = theta;
    const double cosT = std::cos(th);
    const double sinT = std::sin(th);
    const float ratio = Lw / w;

    // Strips are as many as the band's length over its width, times
    // sin(2 theta) for a flat band and sin(2 (pi/2 - theta)) for a steep one
    // (pi/2 taken as 1.57, in double precision): few for a band close to an
    // axis, where one strip covers it well.
    const double n = steep ? std::ceil(static_cast<double>(ratio) * std::sin((1.57 - th) * 2))
                           : std::ceil(static_cast<double>(ratio) * std::sin(static_cast<double>(2.0f * theta)));
    nbRec = std::min(truncCoord(n), kCapacity);
    if (nbRec <= 0)
        return *this;
    // Start at the end with the smaller major coordinate.
    const bool swapEnds = steep ? y1 > y2 : x1 > x2;
    const float majorStart = swapEnds ? (steep ? y2 : x2) : (steep ? y1 : x1);
    const float minorStart = swapEnds ? (steep ? x2 : y2) : (steep ? x1 : y1);
    const float minorEnd = swapEnds ? (steep ? x1 : y1) : (steep ? x2 : y2);
    const StripSteps st = stripSteps(nbRec, Lw, w, steep ? sinT : cosT, steep ? cosT : sinT, majorStart, minorStart,
                                     minorEnd > minorStart);
    for (int i = 0; i < nbRec; ++i) {
        const double t = i + 0.5;
        const int major = truncCoord(st.majorStep * t + st.majorOrigin);
        const int minor = truncCoord(st.minorStep * t + st.minorOrigin);
        rec[i] = steep ? Rectangle(minor, major, st.across, st.majorSize)
                       : Rectangle(major, minor, st.majorSize, st.across);
    }
    return *this;
}

const MultiRec& MultiRec::buildMRFromRectangle(float x1, float y1, float x2, float y2) {
    nbRec = 1;
    area = static_cast<double>(std::fabs(x1 - x2)) * static_cast<double>(std::fabs(y1 - y2));
    Rectangle& r = rec[0];
    r.x1 = truncCoord(std::min(x1, x2));
    r.y1 = truncCoord(std::min(y1, y2));
    r.x2 = truncCoord(std::max(x1, x2));
    r.y2 = truncCoord(std::max(y1, y2));
    r.area = area;
    return *this;
}

// ------------------------------------------------------------------- IntFil

int IntFil::InitFil(const int* dxs, const int* dys, const float* coefs, int n) {
    n = std::max(n, 0);
    dx.assign(dxs, dxs + n);
    dy.assign(dys, dys + n);
    coef.assign(coefs, coefs + n);
    nbPts = n;
    minDx = n > 0 ? *std::min_element(dx.begin(), dx.end()) : 0;
    maxDx = n > 0 ? *std::max_element(dx.begin(), dx.end()) : 0;
    minDy = n > 0 ? *std::min_element(dy.begin(), dy.end()) : 0;
    maxDy = n > 0 ? *std::max_element(dy.begin(), dy.end()) : 0;
    return 1;
}

namespace {

template <class T>
float extrapolateT(const cv::Mat& I, int X, int Y, int W, int H) {
    // Inside the image the integral value is read. Outside, the integral is
    // extended from its border: linearly from the last two rows or columns,
    // and by the product rule I ~ x * y near the top-left corner (where the
    // first row and column are 0, row and column 1 give the slope).
    const bool xIn = X >= 0 && X < W;
    const bool yIn = Y >= 0 && Y < H;
    double v;
    if (xIn && yIn)
        v = at<T>(I, Y, X);
    else if (X < 0 && Y < 0)
        v = (-X) * Y * at<T>(I, 1, 1);
    else if (X >= W && Y >= H)
        v = at<T>(I, H - 1, W - 1) + (Y - H) * ((X - W) * (at<T>(I, H - 1, W - 1) - at<T>(I, H - 1, W - 2)));
    else if (X < 0 && Y >= H)
        v = X * at<T>(I, H - 1, 1) + (Y - H) * ((-X) * (at<T>(I, H - 1, 1) - at<T>(I, H - 2, 1)));
    else if (X >= W && Y < 0)
        v = Y * at<T>(I, 1, W - 1) + (-Y) * ((X - W) * (at<T>(I, 1, W - 1) - at<T>(I, 1, W - 2)));
    else if (X < 0) // 0 <= Y < H
        v = X * at<T>(I, Y, 1);
    else if (Y < 0) // 0 <= X < W
        v = Y * at<T>(I, 1, X);
    else if (X >= W) // 0 <= Y < H
        v = (X - W + 1) * at<T>(I, Y, W - 1) - (X - W) * at<T>(I, Y, W - 2);
    else // 0 <= X < W, Y >= H
        v = (Y - H + 1) * at<T>(I, H - 1, X) - (Y - H) * at<T>(I, H - 2, X);
    return static_cast<float>(v);
}

// Whether columns x0 .. x1 and rows y0 .. y1 all lie inside a W x H image
// (in 64 bits: the positions may be far off).
inline bool allInside(int64_t x0, int64_t x1, int64_t y0, int64_t y1, int W, int H) {
    return x0 >= 0 && x1 < W && y0 >= 0 && y1 < H;
}

// The integral value at column X, row Y as extrapolateT gives it, read
// directly when the point is inside.
template <class T>
inline float pointValue(const cv::Mat& I, int X, int Y, int W, int H) {
    if (static_cast<unsigned>(X) < static_cast<unsigned>(W) && static_cast<unsigned>(Y) < static_cast<unsigned>(H))
        return static_cast<float>(at<T>(I, Y, X));
    return extrapolateT<T>(I, X, Y, W, H);
}

// Whether every point of the template (mirror: of its mirror image) placed
// at (x, y) lies inside a W x H integral image.
template <bool mirror>
inline bool placementInside(const IntFil& f, int x, int y, int W, int H) {
    const int64_t lo = !mirror ? int64_t{x} + f.minDx : int64_t{x} - f.maxDx;
    const int64_t hi = !mirror ? int64_t{x} + f.maxDx : int64_t{x} - f.minDx;
    return allInside(lo, hi, int64_t{y} + f.minDy, int64_t{y} + f.maxDy, W, H);
}

// The template's score on an integral image of T: every point inside reads
// the values extrapolateT would read, summed in the same order. `mirror` is
// false for the template, true for its mirror image about the vertical line
// through x, whose terms are subtracted one by one.
template <class T, bool mirror>
float score(const IntFil& f, const cv::Mat& I, int x, int y, int W, int H) {
    float s = 0;
    const int n = f.nbPts;
    const int* dx = f.dx.data();
    const int* dy = f.dy.data();
    const float* coef = f.coef.data();
    if (placementInside<mirror>(f, x, y, W, H)) {
        if (!mirror)
            for (int k = 0; k < n; ++k)
                s += static_cast<float>(at<T>(I, y + dy[k], x + dx[k])) * coef[k];
        else
            for (int k = 0; k < n; ++k)
                s -= static_cast<float>(at<T>(I, y + dy[k], x - dx[k])) * coef[k];
        return s;
    }
    if (!mirror)
        for (int k = 0; k < n; ++k)
            s += pointValue<T>(I, x + dx[k], y + dy[k], W, H) * coef[k];
    else
        for (int k = 0; k < n; ++k)
            s -= pointValue<T>(I, x - dx[k], y + dy[k], W, H) * coef[k];
    return s;
}

// Four placements of the template scored side by side: the same terms as
// score<T, mirror> at each placement, in the same order, so every sum comes
// out bit for bit as it would alone. The four sums are independent chains of
// additions, which the processor overlaps instead of waiting for each
// addition of one long chain. `checked`: some placement reaches past the
// border, and every point is read through pointValue.
template <class T, bool mirror, bool checked>
void score4Points(const IntFil& f, const cv::Mat& I, const int* xs, const int* ys, int W, int H, float* out) {
    const int n = f.nbPts;
    const int* dx = f.dx.data();
    const int* dy = f.dy.data();
    const float* coef = f.coef.data();
    const auto v = [&](int X, int Y) {
        return checked ? pointValue<T>(I, X, Y, W, H) : static_cast<float>(at<T>(I, Y, X));
    };
    float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int k = 0; k < n; ++k) {
        const int ddx = mirror ? -dx[k] : dx[k];
        const int ddy = dy[k];
        const float c = coef[k];
        const float v0 = v(xs[0] + ddx, ys[0] + ddy), v1 = v(xs[1] + ddx, ys[1] + ddy);
        const float v2 = v(xs[2] + ddx, ys[2] + ddy), v3 = v(xs[3] + ddx, ys[3] + ddy);
        if (!mirror) {
            s0 += v0 * c;
            s1 += v1 * c;
            s2 += v2 * c;
            s3 += v3 * c;
        } else {
            s0 -= v0 * c;
            s1 -= v1 * c;
            s2 -= v2 * c;
            s3 -= v3 * c;
        }
    }
    out[0] = s0;
    out[1] = s1;
    out[2] = s2;
    out[3] = s3;
}

// n placements, four at a time, the last ones (fewer than four) one by one.
template <class T, bool mirror>
void scores(const IntFil& f, const cv::Mat& I, const int* xs, const int* ys, int n, int W, int H, float* out) {
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        bool inside = true;
        for (int k = j; k < j + 4; ++k)
            inside = inside && placementInside<mirror>(f, xs[k], ys[k], W, H);
        if (inside)
            score4Points<T, mirror, false>(f, I, xs + j, ys + j, W, H, out + j);
        else
            score4Points<T, mirror, true>(f, I, xs + j, ys + j, W, H, out + j);
    }
    for (; j < n; ++j)
        out[j] = score<T, mirror>(f, I, xs[j], ys[j], W, H);
}

} // namespace

void IntFil::computeInts(const cv::Mat& I, const int* xs, const int* ys, int n, int W, int H, bool mirror,
                         float* out) const {
    if (holdsIntegers(I)) {
        if (mirror)
            scores<int32_t, true>(*this, I, xs, ys, n, W, H, out);
        else
            scores<int32_t, false>(*this, I, xs, ys, n, W, H, out);
    } else if (mirror) {
        scores<double, true>(*this, I, xs, ys, n, W, H, out);
    } else {
        scores<double, false>(*this, I, xs, ys, n, W, H, out);
    }
}

float IntFil::extrapolate(const cv::Mat& I, int X, int Y, int W, int H) const {
    return holdsIntegers(I) ? extrapolateT<int32_t>(I, X, Y, W, H) : extrapolateT<double>(I, X, Y, W, H);
}

float IntFil::computeInt(const cv::Mat& I, int x, int y, int W, int H) const {
    return holdsIntegers(I) ? score<int32_t, false>(*this, I, x, y, W, H) : score<double, false>(*this, I, x, y, W, H);
}

float IntFil::computeIntR(const cv::Mat& I, int x, int y, int W, int H) const {
    return holdsIntegers(I) ? score<int32_t, true>(*this, I, x, y, W, H) : score<double, true>(*this, I, x, y, W, H);
}

namespace {

// Outlines the runs of consecutive points whose weights have equal magnitude:
// each run is drawn as a closed polyline. sx is +1 for the template, -1 for its
// mirror image.
void drawRuns(const IntFil& f, cv::Mat& image, int x, int y, int sx, const cv::Scalar& colour) {
    const int n = f.nbPts;
    auto P = [&](int k) { return cv::Point(x + sx * f.dx[k], y + f.dy[k]); };
    int a = 0;
    for (int k = 0; k < n; ++k) {
        const bool runEnds = k == n - 1 || std::fabs(f.coef[k + 1]) != std::fabs(f.coef[k]);
        if (!runEnds)
            continue;
        const int b = k;
        if (a == b) {
            // A lone point draws a dot, unless it ends the list.
            if (b != n - 1)
                cv::line(image, P(a), P(a), colour, 2, cv::LINE_8, 0);
        } else {
            for (int i = a; i < b; ++i)
                cv::line(image, P(i), P(i + 1), colour, 2, cv::LINE_8, 0);
            cv::line(image, P(b), P(a), colour, 2, cv::LINE_8, 0);
        }
        a = k + 1;
    }
}

} // namespace

void IntFil::draw(cv::Mat& image, int x, int y, int k0, int k1, int k2) const {
    drawRuns(*this, image, x, y, 1, cv::Scalar(k0, k1, k2, 0));
}

void IntFil::drawR(cv::Mat& image, int x, int y, int k0, int k1, int k2) const {
    drawRuns(*this, image, x, y, -1, cv::Scalar(k0, k1, k2, 0));
}

} // namespace vestiga

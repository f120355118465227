#pragma once
// Measurement on integral images: axis-parallel rectangles, fixed lists of
// rectangles standing for oblique bands, and body-part templates made of
// weighted corner points.
//
// An integral image I here is a 1-channel cv::Mat one pixel larger than its map
// in each direction; I(y, x) is the sum of the map above row y and left of
// column x, so the pixel sum over columns x1 .. x2-1 and rows y1 .. y2-1 is
// I(y1, x1) + I(y2, x2) - I(y1, x2) - I(y2, x1). Its values are 32-bit
// integers (CV_32S, as the tracker makes them: half the memory to write and
// to read) or doubles (CV_64F). Every value is read as a double, which holds
// a 32-bit integer exactly, so both give the same results for the same sums.
#include <opencv2/core.hpp>

#include <vector>

namespace vestiga {

struct Rectangle {
    int x1, y1, x2, y2; // corners; unset while area is 0
    double area = 0;    // 0 marks an empty rectangle

    Rectangle() = default;
    // Centre (cx, cy), size w x h, halves truncated toward zero; area = w * h.
    Rectangle(int cx, int cy, int w, int h);

    // Pixel sum over the rectangle (0 when empty); the rectangle must lie inside I.
    double intRec(const cv::Mat& I) const;
    // Intersection; area (x2 - x1) * (y2 - y1), 0 when the two do not overlap.
    Rectangle operator*(const Rectangle& b) const;
    // Outline in grey (125, 125, 125), thickness 2.
    void draw(cv::Mat& image) const;
};

// At most 20 rectangles, no heap memory: an oblique band or a union of
// disjoint rectangles.
struct MultiRec {
    static constexpr int kCapacity = 20;
    Rectangle rec[kCapacity];
    int nbRec = 0;
    double area = 0;

    MultiRec() = default;
    explicit MultiRec(const Rectangle& r);
    // Copies nbRec, area and the rectangles in use only (the hand filter
    // copies lists for every particle).
    MultiRec(const MultiRec& o);
    MultiRec& operator=(const MultiRec& o);

    double intRec(const cv::Mat& I) const;
    MultiRec operator*(const MultiRec& b) const;
    // out = a * b without a temporary; out must be neither a nor b.
    static void intersect(const MultiRec& a, const MultiRec& b, MultiRec& out);
    // The band of width w along the segment (x1, y1)-(x2, y2), lengthened by w/2
    // at both ends, as axis-parallel strips; fills this object.
    const MultiRec& buildMRFromSegment(float x1, float y1, float x2, float y2, float w);
    const MultiRec& buildMRFromRectangle(float x1, float y1, float x2, float y2);
};

// A body-part template: corner points (dx, dy) from the part's position, each
// with a weight. Its score is the weighted sum of the integral values at its
// corners, that is a weighted combination of region sums.
class IntFil {
public:
    std::vector<int> dx;
    std::vector<int> dy;
    std::vector<float> coef;
    int nbPts = 0;
    // The extent of the points (set by InitFil): a template placed so that
    // all of them fall inside the integral image reads it directly.
    int minDx = 0, maxDx = 0, minDy = 0, maxDy = 0;

    // Sets the points and their weights; change them only through this.
    int InitFil(const int* dx, const int* dy, const float* coef, int n);

    // Integral value at column X, row Y of an integral image of size W x H,
    // extended linearly beyond its borders.
    float extrapolate(const cv::Mat& I, int X, int Y, int W, int H) const;
    float computeInt(const cv::Mat& I, int x, int y, int W, int H) const;
    // Score of the template mirrored about the vertical line through x.
    float computeIntR(const cv::Mat& I, int x, int y, int W, int H) const;
    // computeInt (mirror: computeIntR) at n positions (xs[j], ys[j]) into
    // out[j], each bit for bit as computed alone, in less time: the sums of
    // four positions are made side by side.
    void computeInts(const cv::Mat& I, const int* xs, const int* ys, int n, int W, int H, bool mirror,
                     float* out) const;
    void draw(cv::Mat& image, int x, int y, int k0, int k1, int k2) const;
    void drawR(cv::Mat& image, int x, int y, int k0, int k1, int k2) const;
};

} // namespace vestiga

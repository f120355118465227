#include "robust/RobustHands.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <emmintrin.h>

namespace vestiga {

namespace {

cv::Point2d clampInto(const cv::Point2d& p, cv::Size size)
{
    return cv::Point2d(std::min(std::max(p.x, 0.0), size.width - 1.0), std::min(std::max(p.y, 0.0), size.height - 1.0));
}

// The window of `side` pixels (odd) centred on the pixel nearest to `p`, cut
// at the edges of a picture of `size`.
cv::Rect windowAt(const cv::Point2d& p, int side, cv::Size size)
{
    const int r = side / 2;
    const int cx = static_cast<int>(std::lround(p.x)), cy = static_cast<int>(std::lround(p.y));
    return cv::Rect(cx - r, cy - r, 2 * r + 1, 2 * r + 1) & cv::Rect(0, 0, size.width, size.height);
}

// The label under a point, or the nearest one within two pixels (a blob's
// centre may fall on a hole of the map); 0 when none.
int pieceAt(const cv::Mat& lab, const cv::Point2d& p)
{
    const int cx = static_cast<int>(std::lround(p.x)), cy = static_cast<int>(std::lround(p.y));
    int best = 0, bestD = 1 << 30;
    for (int y = std::max(0, cy - 2); y <= std::min(lab.rows - 1, cy + 2); ++y)
        for (int x = std::max(0, cx - 2); x <= std::min(lab.cols - 1, cx + 2); ++x) {
            const int l = lab.at<int>(y, x), d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            if (l > 0 && d < bestD) {
                best = l;
                bestD = d;
            }
        }
    return best;
}

// Whether a pixel next to (x, y) (itself included, 8-connected) is hidden.
bool nextToHidden(const cv::Mat& hidden, int x, int y)
{
    for (int v = std::max(0, y - 1); v <= std::min(hidden.rows - 1, y + 1); ++v)
        for (int u = std::max(0, x - 1); u <= std::min(hidden.cols - 1, x + 1); ++u)
            if (hidden.at<uchar>(v, u))
                return true;
    return false;
}

// The long axis (radians, modulo pi) and the elongation of a set of pixels
// from its central second moments mu20, mu02 and mu11: the eigenvector of
// the larger eigenvalue is the long axis, and the eigenvalues' difference
// over their sum the elongation (0 for a disc, 1 for a line; 0.26 for an
// ellipse of axes 1.3 : 1).
void axisOfMoments(double mu20, double mu02, double mu11, double* axis, double* elong)
{
    *axis = 0.5 * std::atan2(2 * mu11, mu20 - mu02);
    *elong = mu20 + mu02 > 0 ? std::sqrt((mu20 - mu02) * (mu20 - mu02) + 4 * mu11 * mu11) / (mu20 + mu02) : 0;
}

// The sums over a set of pixels that give its centroid and, through
// axisOfMoments, its long axis and elongation.
struct PixelMoments {
    double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    void add(int x, int y)
    {
        n += 1;
        sx += x;
        sy += y;
        sxx += double(x) * x;
        syy += double(y) * y;
        sxy += double(x) * y;
    }
    cv::Point2d centre() const { return cv::Point2d(sx / n, sy / n); }
    void axis(double* t, double* elong) const
    {
        const cv::Point2d m = centre();
        axisOfMoments(sxx / n - m.x * m.x, syy / n - m.y * m.y, sxy / n - m.x * m.y, t, elong);
    }
};

// Whether the observable skin in the window of `side` pixels at `p` is a
// band along `dir`: elongated by at least `minElong`, its long axis within
// 30 degrees of `dir`. A forearm's end at the face fills its window only
// partly, like a hand seen at the edge of the window, but only the forearm
// lies as a band along the arm's way into the face.
bool bandAlong(const cv::Mat& skin, const cv::Mat& hidden, const cv::Point2d& p, int side, const cv::Point2d& dir,
               double minElong)
{
    const cv::Rect win = windowAt(p, side, skin.size());
    PixelMoments m;
    for (int y = win.y; y < win.y + win.height; ++y)
        for (int x = win.x; x < win.x + win.width; ++x)
            if (skin.at<uchar>(y, x) && !hidden.at<uchar>(y, x))
                m.add(x, y);
    const double len = cv::norm(dir);
    if (m.n < 4 || len <= 0)
        return false;
    double t = 0, elong = 0;
    m.axis(&t, &elong);
    return elong >= minElong && std::fabs(std::cos(t) * dir.x + std::sin(t) * dir.y) >= 0.866 * len;
}

} // namespace

cv::Point2d elbowOf(const cv::Point2d& shoulder, const cv::Point2d& hand, double l1, double l2, double outward)
{
    cv::Point2d v = hand - shoulder;
    double d = std::hypot(v.x, v.y);
    const cv::Point2d n = d > 1e-9 ? v * (1.0 / d) : cv::Point2d(0, 1);
    d = std::min(l1 + l2, std::max(std::fabs(l1 - l2), d));
    const double a = (l1 * l1 - l2 * l2 + d * d) / (2.0 * d);
    const double h = std::sqrt(std::max(0.0, l1 * l1 - a * a));
    cv::Point2d perp(-n.y, n.x);
    if (perp.x * outward < 0 || (perp.x == 0 && perp.y < 0))
        perp = -perp;
    return shoulder + n * a + perp * h;
}

void measureAxes(std::vector<HandCandidate>& c, const cv::Mat& observable, int side)
{
    // The long axis and elongation of the window's skin.
    for (HandCandidate& k : c) {
        k.axis = 0;
        k.elong = 0;
        if (k.atFace)
            continue; // its skin is the forearm's, not the hand's
        const cv::Rect win = windowAt(k.p, side, observable.size());
        if (win.area() == 0)
            continue;
        const cv::Moments m = cv::moments(observable(win), true);
        if (m.m00 < 4 || m.mu20 + m.mu02 <= 0)
            continue;
        axisOfMoments(m.mu20, m.mu02, m.mu11, &k.axis, &k.elong);
    }
}

cv::Mat skinMask(const cv::Mat& skinMap, int threshold)
{
    cv::Mat m;
    cv::threshold(skinMap, m, threshold - 1, 255, cv::THRESH_BINARY);
    return m;
}

std::vector<HandCandidate> findHandCandidates(const cv::Mat& skin, const cv::Mat& hidden, int side,
                                              const RobustOptions& o, CandidateWork* work)
{
    std::vector<HandCandidate> out;
    if (skin.empty() || side < 3)
        return out;
    CandidateWork local;
    CandidateWork& w = work ? *work : local;
    side |= 1; // an odd window has a centre pixel
    // Observable pixels and observable skin pixels, counted over the window
    // through integral images (the window is cut at the picture's edge:
    // outside counts as neither).
    cv::Mat& vis = w.vis;
    cv::Mat& sk = w.sk;
    if (hidden.empty())
        vis.create(skin.size(), CV_8U), vis.setTo(1);
    else
        cv::compare(hidden, 0, vis, cv::CMP_EQ), vis.setTo(1, vis);
    cv::min(skin, vis, sk); // skin is 0 or 255, vis 0 or 1
    cv::Mat &num = w.num, &den = w.den;
    cv::integral(sk, num, CV_32S);
    cv::integral(vis, den, CV_32S);
    const int r = side / 2;
    const float area = static_cast<float>(side * side);
    const float minDen = static_cast<float>(o.minVisible) * area;
    const float minNum = 0.25f * area;
    cv::Mat& fill = w.fill;
    fill.create(skin.size(), CV_32F);
    const int cols = fill.cols;
    // Columns whose window lies inside the picture, x - r >= 0 and
    // x + r + 1 <= cols, need no clamping: their loop runs without branches
    // (and several columns at a time).
    const int inFrom = std::min(r, cols), inTo = std::max(inFrom, cols - r - 1);
    for (int y = 0; y < fill.rows; ++y) {
        const int y0 = std::max(0, y - r), y1 = std::min(fill.rows, y + r + 1);
        const int* n0 = num.ptr<int>(y0);
        const int* n1 = num.ptr<int>(y1);
        const int* d0 = den.ptr<int>(y0);
        const int* d1 = den.ptr<int>(y1);
        float* f = fill.ptr<float>(y);
        const auto share = [&](int x, int x0, int x1) {
            const float n = static_cast<float>(n1[x1] - n1[x0] - n0[x1] + n0[x0]);
            const float d = static_cast<float>(d1[x1] - d1[x0] - d0[x1] + d0[x0]);
            f[x] = d >= minDen && n >= minNum ? n / d : 0.0f;
        };
        for (int x = 0; x < inFrom; ++x)
            share(x, std::max(0, x - r), std::min(cols, x + r + 1));
        // Four columns at a time: the same integer sums, conversions and
        // division. The share is taken for every window and kept where the
        // window counts; there n >= minNum > 0 and d >= n, so the divisor
        // max(d, 1) is d itself.
        int x = inFrom;
        const __m128 one = _mm_set1_ps(1.0f), dMin = _mm_set1_ps(minDen), nMin = _mm_set1_ps(minNum);
        const auto load = [](const int* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        for (; x + 4 <= inTo; x += 4) {
            const int x0 = x - r, x1 = x + r + 1;
            const __m128i ni = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(load(n1 + x1), load(n1 + x0)), load(n0 + x1)),
                                             load(n0 + x0));
            const __m128i di = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(load(d1 + x1), load(d1 + x0)), load(d0 + x1)),
                                             load(d0 + x0));
            const __m128 n = _mm_cvtepi32_ps(ni), d = _mm_cvtepi32_ps(di);
            const __m128 keep = _mm_and_ps(_mm_cmpge_ps(d, dMin), _mm_cmpge_ps(n, nMin));
            _mm_storeu_ps(f + x, _mm_and_ps(keep, _mm_div_ps(n, _mm_max_ps(d, one))));
        }
        for (; x < inTo; ++x)
            share(x, x - r, x + r + 1);
        for (int x = inTo; x < cols; ++x)
            share(x, std::max(0, x - r), std::min(cols, x + r + 1));
    }
    // A hand fills a plateau of window positions; a second, smaller box
    // average puts the maximum in the plateau's middle.
    const int half = (side / 2) | 1;
    cv::Mat& smooth = w.smooth;
    cv::boxFilter(fill, smooth, CV_32F, cv::Size(half, half), cv::Point(-1, -1), true, cv::BORDER_CONSTANT);
    cv::Mat& dil = w.dil;
    cv::dilate(smooth, dil, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(half, half)));
    struct Peak {
        float v;
        int y, x;
    };
    std::vector<Peak> peaks;
    const float minFill = static_cast<float>(o.minFill);
    for (int y = 0; y < smooth.rows; ++y) {
        const float* s = smooth.ptr<float>(y);
        const float* m = dil.ptr<float>(y);
        for (int x = 0; x < smooth.cols; ++x)
            if (s[x] >= minFill && s[x] >= m[x])
                peaks.push_back({s[x], y, x});
    }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) {
        if (a.v != b.v)
            return a.v > b.v;
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    const double minDist2 = 0.8 * side * 0.8 * side;
    for (const Peak& p : peaks) {
        bool far = true;
        for (const HandCandidate& c : out) {
            const double dx = c.p.x - p.x, dy = c.p.y - p.y;
            far = far && dx * dx + dy * dy >= minDist2;
        }
        if (!far)
            continue;
        // Sub-pixel position: the centroid of the near-maximal values around
        // the peak, which is the middle of a flat top.
        double sw = 0, sx = 0, sy = 0;
        const float floor = p.v * 0.97f;
        for (int y = std::max(0, p.y - half); y <= std::min(smooth.rows - 1, p.y + half); ++y) {
            const float* s = smooth.ptr<float>(y);
            for (int x = std::max(0, p.x - half); x <= std::min(smooth.cols - 1, p.x + half); ++x) {
                const double w = s[x] - floor;
                if (w > 0) {
                    sw += w;
                    sx += w * x;
                    sy += w * y;
                }
            }
        }
        HandCandidate c;
        c.p = sw > 0 ? cv::Point2d(sx / sw, sy / sw) : cv::Point2d(p.x, p.y);
        c.fill = p.v;
        out.push_back(c);
    }
    return out;
}

cv::Mat armDistance(const cv::Mat& skin, const cv::Mat& hidden, const cv::Point2d& shoulderR,
                    const cv::Point2d& shoulderL, double seedRadius, cv::Mat* reuse)
{
    const int W = skin.cols, H = skin.rows;
    cv::Mat local;
    cv::Mat& dist = reuse ? *reuse : local;
    dist.create(skin.size(), CV_32S);
    dist.setTo(-1);
    const bool anyHidden = !hidden.empty();
    auto free = [&](int x, int y) {
        return skin.ptr<uchar>(y)[x] && !(anyHidden && hidden.ptr<uchar>(y)[x]);
    };
    // A bucket queue: distances are small integers.
    std::vector<std::vector<int>> buckets(8);
    const double r2 = seedRadius * seedRadius;
    // Seeds lie within seedRadius of a shoulder: only the rows and columns
    // of the box around both circles are looked at, in the same order.
    // Bounds are clamped to 0 .. n; a bound that is not a number takes in
    // the whole range.
    const auto first = [](double v, int n) { return v > 0 ? (v < n ? static_cast<int>(v) : n) : 0; };
    const auto last = [](double v, int n) { return v < n ? (v > 0 ? static_cast<int>(v) : 0) : n; };
    // A pixel more on each side covers the rounding of the squares below.
    const double rr = std::sqrt(r2);
    const int xFrom = first(std::floor(std::min(shoulderR.x, shoulderL.x) - rr) - 1, W);
    const int xTo = last(std::ceil(std::max(shoulderR.x, shoulderL.x) + rr) + 2, W);
    const int yFrom = first(std::floor(std::min(shoulderR.y, shoulderL.y) - rr) - 1, H);
    const int yTo = last(std::ceil(std::max(shoulderR.y, shoulderL.y) + rr) + 2, H);
    for (int y = yFrom; y < yTo; ++y)
        for (int x = xFrom; x < xTo; ++x) {
            if (!free(x, y))
                continue;
            const double dR = (x - shoulderR.x) * (x - shoulderR.x) + (y - shoulderR.y) * (y - shoulderR.y);
            const double dL = (x - shoulderL.x) * (x - shoulderL.x) + (y - shoulderL.y) * (y - shoulderL.y);
            if (dR <= r2 || dL <= r2) {
                dist.at<int>(y, x) = 0;
                buckets[0].push_back(y * W + x);
            }
        }
    static const int kDx[8] = {1, -1, 0, 0, 1, 1, -1, -1};
    static const int kDy[8] = {0, 0, 1, -1, 1, -1, 1, -1};
    static const int kCost[8] = {3, 3, 3, 3, 4, 4, 4, 4};
    for (size_t d = 0; d < buckets.size(); ++d) {
        for (size_t i = 0; i < buckets[d].size(); ++i) {
            const int at = buckets[d][i];
            const int x = at % W, y = at / W;
            if (dist.at<int>(y, x) != static_cast<int>(d))
                continue; // reached earlier by a shorter path
            for (int k = 0; k < 8; ++k) {
                const int nx = x + kDx[k], ny = y + kDy[k];
                if (nx < 0 || ny < 0 || nx >= W || ny >= H || !free(nx, ny))
                    continue;
                const int nd = static_cast<int>(d) + kCost[k];
                int& cur = dist.at<int>(ny, nx);
                if (cur >= 0 && cur <= nd)
                    continue;
                cur = nd;
                if (buckets.size() <= static_cast<size_t>(nd))
                    buckets.resize(static_cast<size_t>(nd) + 1);
                buckets[static_cast<size_t>(nd)].push_back(ny * W + nx);
            }
        }
        std::vector<int>().swap(buckets[d]);
    }
    return dist;
}

void markLimbs(std::vector<HandCandidate>& c, const cv::Mat& dist, double radius, double gain)
{
    const int r = static_cast<int>(std::ceil(radius));
    for (HandCandidate& h : c) {
        const int cx = static_cast<int>(std::lround(h.p.x)), cy = static_cast<int>(std::lround(h.p.y));
        // The candidate's own distance: the least reached one next to it
        // (the centre of a blob may fall on a hole of the map).
        int own = -1;
        for (int y = std::max(0, cy - 2); y <= std::min(dist.rows - 1, cy + 2); ++y)
            for (int x = std::max(0, cx - 2); x <= std::min(dist.cols - 1, cx + 2); ++x) {
                const int d = dist.at<int>(y, x);
                if (d >= 0 && (own < 0 || d < own))
                    own = d;
            }
        h.limb = false;
        if (own < 0)
            continue; // not on a bare arm reached from a shoulder
        int far = own;
        for (int y = std::max(0, cy - r); y <= std::min(dist.rows - 1, cy + r); ++y)
            for (int x = std::max(0, cx - r); x <= std::min(dist.cols - 1, cx + r); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                    far = std::max(far, dist.at<int>(y, x));
        h.limb = (far - own) / 3.0 > gain;
    }
}

void addFaceContacts(std::vector<HandCandidate>& c, const cv::Mat& skin, const cv::Mat& hidden, int side,
                     double minArea, double minDist, double depth, double contactFill, double tipElong,
                     cv::Mat* labels)
{
    if (hidden.empty() || skin.empty())
        return;
    cv::Mat localLabels;
    cv::Mat& lab = labels ? *labels : localLabels;
    lab.create(skin.size(), CV_32S);
    lab.setTo(0);
    const int W = skin.cols, H = skin.rows;
    auto observable = [&](int x, int y) { return skin.at<uchar>(y, x) && !hidden.at<uchar>(y, x); };
    auto touches = [&](int x, int y) { return nextToHidden(hidden, x, y); };
    // Only skin next to the hidden region can touch it: the pieces are
    // filled from there (8-connected), in scan order of their first contact,
    // so that pieces elsewhere in the picture cost nothing.
    const cv::Rect box = cv::boundingRect(hidden);
    if (box.area() == 0)
        return;
    const cv::Rect scan = cv::Rect(box.x - 1, box.y - 1, box.width + 2, box.height + 2) & cv::Rect(0, 0, W, H);
    struct Piece {
        int label = 0, area = 0, contacts = 0;
        double sx = 0, sy = 0, cx = 0, cy = 0;
    };
    std::vector<Piece> pieces;
    std::vector<cv::Point> queue;
    for (int y = scan.y; y < scan.y + scan.height; ++y)
        for (int x = scan.x; x < scan.x + scan.width; ++x) {
            if (lab.at<int>(y, x) || !observable(x, y) || !touches(x, y))
                continue;
            Piece piece;
            piece.label = static_cast<int>(pieces.size()) + 1;
            queue.assign(1, cv::Point(x, y));
            lab.at<int>(y, x) = piece.label;
            for (size_t i = 0; i < queue.size(); ++i) {
                const cv::Point q = queue[i];
                ++piece.area;
                piece.sx += q.x;
                piece.sy += q.y;
                if (touches(q.x, q.y)) {
                    ++piece.contacts;
                    piece.cx += q.x;
                    piece.cy += q.y;
                }
                for (int v = std::max(0, q.y - 1); v <= std::min(H - 1, q.y + 1); ++v)
                    for (int u = std::max(0, q.x - 1); u <= std::min(W - 1, q.x + 1); ++u)
                        if (!lab.at<int>(v, u) && observable(u, v)) {
                            lab.at<int>(v, u) = piece.label;
                            queue.emplace_back(u, v);
                        }
            }
            pieces.push_back(piece);
        }
    const size_t given = c.size();
    std::vector<int> candLabel(given);
    for (size_t j = 0; j < given; ++j)
        candLabel[j] = pieceAt(lab, c[j].p);
    for (const Piece& piece : pieces) {
        if (piece.area < minArea || piece.contacts < std::max(2, side / 2))
            continue;
        const cv::Point2d at(piece.cx / piece.contacts, piece.cy / piece.contacts);
        // The forearm's direction, into the hidden region.
        const cv::Point2d v = at - cv::Point2d(piece.sx / piece.area, piece.sy / piece.area);
        bool covered = false;
        for (size_t j = 0; j < given; ++j) {
            if (candLabel[j] != piece.label)
                continue;
            if (cv::norm(c[j].p - at) < side) {
                c[j].atFace = true;
                if (tipElong > 0 && bandAlong(skin, hidden, c[j].p, side, v, tipElong))
                    c[j].limb = true; // the forearm's end: the hand lies beyond
                else
                    covered = true;
            } else if (cv::norm(c[j].p - at) >= minDist) {
                c[j].limb = true;
            }
        }
        if (!covered) {
            const double len = cv::norm(v);
            HandCandidate h;
            h.p = len > 1e-9 ? at + v * (depth / len) : at;
            h.p.x = std::min(std::max(h.p.x, 0.0), W - 1.0);
            h.p.y = std::min(std::max(h.p.y, 0.0), H - 1.0);
            h.fill = contactFill;
            h.atFace = true;
            c.push_back(h);
        }
    }
}

void markArms(std::vector<HandCandidate>& c, const cv::Mat& skin, const cv::Mat& hidden, double midX, int rightSide,
              double minLen, double margin, int minPixels, double minShare, int maxArea, ArmWork* work)
{
    for (HandCandidate& h : c)
        h.arm = h.piece = 0;
    if (skin.empty() || c.empty())
        return;
    ArmWork local;
    ArmWork& w = work ? *work : local;
    const int W = skin.cols, H = skin.rows;
    if (w.labels.size() != skin.size() || w.labels.type() != CV_32S)
        w.labels = cv::Mat::zeros(skin.size(), CV_32S);
    cv::Mat& lab = w.labels; // zero outside the pieces of this call
    w.pixels.clear();
    w.first.assign(1, 0);
    w.big.assign(1, 0);
    const bool anyHidden = !hidden.empty();
    const auto observable = [&](int x, int y) {
        return skin.ptr<uchar>(y)[x] && !(anyHidden && hidden.ptr<uchar>(y)[x]);
    };
    // Only the pieces under the candidates are filled (8-connected), each
    // once, and only up to maxArea pixels: a piece that grows beyond that, or
    // runs into one that did, is too large to be one arm.
    const auto pieceOf = [&](cv::Point start) {
        int& l0 = lab.ptr<int>(start.y)[start.x];
        if (l0 > 0)
            return l0;
        const int l = static_cast<int>(w.first.size());
        const size_t from = w.pixels.size();
        bool big = false;
        l0 = l;
        w.pixels.push_back(start);
        for (size_t i = from; i < w.pixels.size() && !big; ++i) {
            const cv::Point q = w.pixels[i];
            for (int v = std::max(0, q.y - 1); v <= std::min(H - 1, q.y + 1) && !big; ++v) {
                const uchar* sk = skin.ptr<uchar>(v);
                const uchar* hi = anyHidden ? hidden.ptr<uchar>(v) : nullptr;
                int* lr = lab.ptr<int>(v);
                for (int u = std::max(0, q.x - 1); u <= std::min(W - 1, q.x + 1); ++u) {
                    if (!sk[u] || (hi && hi[u]))
                        continue;
                    int& lv = lr[u];
                    if (lv == l)
                        continue;
                    if (lv > 0 || static_cast<int>(w.pixels.size() - from) >= maxArea) {
                        big = true; // a large piece met again, or this one too large
                        break;
                    }
                    lv = l;
                    w.pixels.emplace_back(u, v);
                }
            }
        }
        w.first.push_back(static_cast<int>(w.pixels.size()));
        w.big.push_back(big);
        return l;
    };
    const double len2 = minLen * minLen;
    for (HandCandidate& h : c) {
        // The observable skin pixel nearest to the candidate within two
        // pixels (its centre may fall on a hole of the map).
        const int cx = static_cast<int>(std::lround(h.p.x)), cy = static_cast<int>(std::lround(h.p.y));
        cv::Point start(-1, -1);
        int bestD = 1 << 30;
        for (int y = std::max(0, cy - 2); y <= std::min(H - 1, cy + 2); ++y)
            for (int x = std::max(0, cx - 2); x <= std::min(W - 1, cx + 2); ++x) {
                const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (d < bestD && observable(x, y)) {
                    start = cv::Point(x, y);
                    bestD = d;
                }
            }
        if (start.x < 0)
            continue;
        const int l = pieceOf(start);
        if (w.big[static_cast<size_t>(l)])
            continue;
        h.piece = l;
        if (h.limb)
            continue;
        // The piece's skin beyond the hand itself, counted by side of the
        // centre line.
        int far = 0, left = 0, right = 0;
        for (int i = w.first[static_cast<size_t>(l) - 1]; i < w.first[static_cast<size_t>(l)]; ++i) {
            const cv::Point q = w.pixels[static_cast<size_t>(i)];
            const double dx = q.x - h.p.x, dy = q.y - h.p.y;
            if (dx * dx + dy * dy <= len2)
                continue;
            ++far;
            left += q.x < midX - margin;
            right += q.x > midX + margin;
        }
        if (far < minPixels)
            continue;
        const int side = left >= minShare * far ? -1 : right >= minShare * far ? 1 : 0;
        if (side != 0)
            h.arm = side == rightSide ? 1 : 2;
    }
    // An arm point (a forearm, an elbow) belongs to the arm its piece's hand
    // tells, when the hands on the piece agree: a hand that slid down the
    // other's forearm is still on the other's arm.
    for (HandCandidate& h : c) {
        if (!h.limb || h.piece == 0)
            continue;
        int told = 0;
        for (const HandCandidate& g : c)
            if (!g.limb && g.piece == h.piece && g.arm != 0)
                told = told == 0 || told == g.arm ? g.arm : -1;
        h.arm = std::max(told, 0);
    }
    for (const cv::Point& q : w.pixels)
        lab.ptr<int>(q.y)[q.x] = 0;
}

void joinPiecesAcrossHidden(std::vector<HandCandidate>& c, const cv::Mat& hidden, double gap, const ArmWork& w)
{
    if (hidden.empty() || gap <= 0)
        return;
    // The pieces under the candidates, in increasing number, with their
    // pixels next to the hidden region.
    std::vector<int> ids;
    for (const HandCandidate& h : c)
        if (h.piece > 0)
            ids.push_back(h.piece);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() < 2)
        return;
    // Each piece's centroid and long axis from its second moments: only a
    // piece drawn out along one line can be a forearm.
    std::vector<std::vector<cv::Point>> rim(ids.size());
    std::vector<cv::Point2d> centre(ids.size());
    std::vector<cv::Point2d> axis(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        const size_t l = static_cast<size_t>(ids[i]);
        PixelMoments m;
        for (int k = w.first[l - 1]; k < w.first[l]; ++k)
            m.add(w.pixels[static_cast<size_t>(k)].x, w.pixels[static_cast<size_t>(k)].y);
        centre[i] = m.centre();
        double t = 0, elong = 0;
        m.axis(&t, &elong);
        if (elong < 0.4)
            continue; // no rim: never joined
        axis[i] = cv::Point2d(std::cos(t), std::sin(t));
        for (int k = w.first[l - 1]; k < w.first[l]; ++k) {
            const cv::Point q = w.pixels[static_cast<size_t>(k)];
            if (nextToHidden(hidden, q.x, q.y))
                rim[i].push_back(q);
        }
    }
    // Both long axes along the line between the two pieces (within 30
    // degrees): the same forearm on either side of the band.
    const auto inLine = [&](size_t i, size_t j) {
        const cv::Point2d d = centre[j] - centre[i];
        const double n = cv::norm(d);
        return n > 0 && std::fabs(axis[i].dot(d)) >= 0.866 * n && std::fabs(axis[j].dot(d)) >= 0.866 * n;
    };
    const auto bridged = [&](const std::vector<cv::Point>& a, const std::vector<cv::Point>& b) {
        const double g2 = gap * gap;
        for (const cv::Point& p : a)
            for (const cv::Point& q : b) {
                const cv::Point d = q - p;
                if (d.x * d.x + d.y * d.y > g2)
                    continue;
                // The pixels strictly between p and q.
                cv::LineIterator it(hidden, p, q, 8);
                bool over = true;
                ++it;
                for (int k = 1; k + 1 < it.count && over; ++k, ++it)
                    over = **it != 0;
                if (over)
                    return true;
            }
        return false;
    };
    std::vector<int> root(ids.size());
    for (size_t i = 0; i < ids.size(); ++i)
        root[i] = static_cast<int>(i);
    const auto find = [&](int i) {
        while (root[static_cast<size_t>(i)] != i)
            i = root[static_cast<size_t>(i)];
        return i;
    };
    for (size_t i = 0; i < ids.size(); ++i)
        for (size_t j = i + 1; j < ids.size(); ++j)
            if (!rim[i].empty() && !rim[j].empty() && find(static_cast<int>(i)) != find(static_cast<int>(j))
                && inLine(i, j) && bridged(rim[i], rim[j]))
                root[static_cast<size_t>(find(static_cast<int>(j)))] = find(static_cast<int>(i));
    for (HandCandidate& h : c)
        if (h.piece > 0) {
            const size_t i = static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), h.piece) - ids.begin());
            h.piece = ids[static_cast<size_t>(find(static_cast<int>(i)))];
        }
}

namespace {

// The side hand h's elbow bends to: its own shoulder's side of the picture.
double outwardOf(const std::array<cv::Point2d, 2>& shoulder, int h)
{
    const double one = handOneSide(shoulder[0], shoulder[1]);
    return h == 0 ? one : -one;
}

// One hand's share of the joint cost on candidate j: its distance to the
// prediction against the spread, the candidate's fill, an arm point's cost,
// the cost of a candidate on the other hand's arm and that of its long axis
// pointing away from the hand's elbow (`outward`: the side the elbow bends
// to); not allowed beyond the arm's reach.
struct HandTerms {
    double distance = 0, fill = 0, limb = 0, arm = 0, axis = 0;
    bool allowed = true;
};
HandTerms handTerms(int hand, const HandCandidate& c, const cv::Point2d& pred, double sigma, const cv::Point2d& shoulder,
                    double outward, double reachPx, double R, const RobustOptions& o)
{
    HandTerms t;
    if (cv::norm(c.p - shoulder) > reachPx) {
        t.allowed = false;
        return t;
    }
    const double d = cv::norm(c.p - pred) / R;
    t.distance = d * d / (2.0 * sigma * sigma);
    t.fill = o.fillWeight * c.fill;
    t.limb = c.limb ? o.limbCost : 0.0;
    t.arm = c.arm != 0 && c.arm != hand + 1 ? o.armCost : 0.0;
    if (o.axisCost > 0 && c.elong > 0) {
        // sin^2 of the angle between the blob's long axis and the line to
        // the elbow, weighted by how elongated the blob is.
        const double dS = reachPx / o.reach; // the shoulder distance
        const cv::Point2d e = elbowOf(shoulder, c.p, kUpperArmLength * dS, kForearmLength * dS, outward) - c.p;
        const double s = std::sin(c.axis - std::atan2(e.y, e.x));
        // A hand raised to the shoulders or above may have its elbow in
        // front of it, anywhere in the picture: the term fades out there.
        const double low = std::min(1.0, std::max(0.0, (c.p.y - shoulder.y) / (0.5 * dS)));
        t.axis = o.axisCost * low * c.elong * s * s;
    }
    return t;
}

// What a pair of hands can leave unexplained: units of hand-like skin, each
// the piece of skin under a candidate (a hand explains the forearm and the
// elbow on its piece), or the candidate alone where no piece is under it.
// unit[j] per candidate, the last entry (not seen) -1; good[u]: the unit
// holds a hand-like candidate (not an arm point).
struct Units {
    std::vector<int> unit;
    std::vector<char> good;
    int goods = 0;
};
void unitsOf(const std::vector<HandCandidate>& c, Units& u)
{
    const size_t n = c.size();
    u.unit.assign(n + 1, -1);
    u.good.assign(n, 0);
    for (size_t j = 0; j < n; ++j) {
        int id = static_cast<int>(j);
        if (c[j].piece > 0)
            for (size_t i = 0; i < j; ++i)
                if (c[i].piece == c[j].piece) {
                    id = u.unit[i];
                    break;
                }
        u.unit[j] = id;
        u.good[static_cast<size_t>(id)] |= !c[j].limb;
    }
    u.goods = 0;
    for (char g : u.good)
        u.goods += g;
}

// Units explained by the pair (a, b) (n: not seen); a shared unit counts once.
int explainedBy(const Units& u, int a, int b)
{
    const int ua = u.unit[static_cast<size_t>(a)], ub = u.unit[static_cast<size_t>(b)];
    return (ua >= 0 ? u.good[static_cast<size_t>(ua)] : 0) + (ub >= 0 && ub != ua ? u.good[static_cast<size_t>(ub)] : 0);
}

// Whether each hand lies on the other's side of it in the picture (crossed
// hands): hand 1 right of hand 2 when hand 1's shoulder is the left one (a
// mirrored picture has it on the right); a hand not seen (index n) is at its
// prediction.
bool crossedPair(const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& pred,
                 const std::array<cv::Point2d, 2>& shoulder, int a, int b)
{
    const int n = static_cast<int>(c.size());
    const double x1 = a < n ? c[a].p.x : pred[0].x, x2 = b < n ? c[b].p.x : pred[1].x;
    return handOneSide(shoulder[0], shoulder[1]) < 0 ? x1 > x2 : x1 < x2;
}

// Two hands share a blob only when both are at it (hands touching or
// crossing); a lost hand does not jump onto the other's blob.
bool mayShare(const cv::Point2d& p, const std::array<cv::Point2d, 2>& pred, double handPx, const RobustOptions& o)
{
    const double rad = o.shareRadius * handPx;
    return cv::norm(p - pred[0]) <= rad && cv::norm(p - pred[1]) <= rad;
}

// Hand h's cost of "not seen": its own when given, else o.missCost.
double missOf(const std::array<double, 2>* missCost, int h, const RobustOptions& o)
{
    return missCost ? (*missCost)[static_cast<size_t>(h)] : o.missCost;
}

} // namespace

std::array<int, 2> assignHands(const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& pred,
                               const std::array<double, 2>& sigma, const std::array<cv::Point2d, 2>& shoulder,
                               double reachPx, double handPx, double R, const RobustOptions& o,
                               const std::array<double, 2>* missCost)
{
    const int n = static_cast<int>(c.size());
    const double inf = std::numeric_limits<double>::infinity();
    // cost[h][j]: hand h on candidate j; j == n is "not seen".
    std::vector<double> cost[2];
    for (int h = 0; h < 2; ++h) {
        cost[h].assign(static_cast<size_t>(n + 1), inf);
        for (int j = 0; j < n; ++j) {
            const HandTerms t = handTerms(h, c[j], pred[h], sigma[h], shoulder[h], outwardOf(shoulder, h), reachPx, R, o);
            if (t.allowed)
                cost[h][j] = t.distance - t.fill + t.limb + t.arm + t.axis;
        }
        cost[h][n] = missOf(missCost, h, o);
    }
    // Hand-like candidates that no hand explains cost something: two hands
    // do not share a blob while another one lies free.
    Units units;
    unitsOf(c, units);
    std::array<int, 2> best{{-1, -1}};
    double bestCost = inf;
    for (int a = 0; a <= n; ++a)
        for (int b = 0; b <= n; ++b) {
            double total = cost[0][a] + cost[1][b];
            total += o.unexplainedCost * (units.goods - explainedBy(units, a, b));
            if (crossedPair(c, pred, shoulder, a, b))
                total += o.crossCost;
            if (a == b && a < n) {
                if (!mayShare(c[a].p, pred, handPx, o))
                    continue;
                total += o.shareCost;
            }
            if (total < bestCost) { // strict: the first of equal pairs wins
                bestCost = total;
                best = {{a < n ? a : -1, b < n ? b : -1}};
            }
        }
    return best;
}

PairCost pairCost(const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& pred,
                  const std::array<double, 2>& sigma, const std::array<cv::Point2d, 2>& shoulder, double reachPx,
                  double handPx, double R, const RobustOptions& o, int a, int b,
                  const std::array<double, 2>* missCost)
{
    PairCost p;
    const int n = static_cast<int>(c.size());
    // Candidate indices as assignHands counts them: n is "not seen".
    const int pick[2] = {a >= 0 && a < n ? a : n, b >= 0 && b < n ? b : n};
    for (int h = 0; h < 2; ++h) {
        if (pick[h] == n) {
            p.miss += missOf(missCost, h, o);
            continue;
        }
        const HandTerms t = handTerms(h, c[static_cast<size_t>(pick[h])], pred[h], sigma[h], shoulder[h],
                                      outwardOf(shoulder, h), reachPx, R, o);
        p.allowed = p.allowed && t.allowed;
        p.distance += t.distance;
        p.fill += t.fill;
        p.limb += t.limb;
        p.arm += t.arm;
        p.axis += t.axis;
    }
    Units units;
    unitsOf(c, units);
    p.unexplained = o.unexplainedCost * (units.goods - explainedBy(units, pick[0], pick[1]));
    p.cross = crossedPair(c, pred, shoulder, pick[0], pick[1]) ? o.crossCost : 0.0;
    if (pick[0] < n && pick[0] == pick[1]) {
        p.allowed = p.allowed && mayShare(c[static_cast<size_t>(pick[0])].p, pred, handPx, o);
        p.share = o.shareCost;
    }
    return p;
}

namespace {

// At least a share `share` of the candidate window at p is hidden.
bool hiddenAt(const cv::Point2d& p, const cv::Mat& hidden, int side, double share)
{
    if (hidden.empty())
        return false;
    const cv::Rect win = windowAt(p, side, hidden.size());
    return win.area() > 0 && cv::countNonZero(hidden(win)) >= share * win.area();
}

} // namespace

std::array<double, 2> missCosts(const std::array<cv::Point2d, 2>& pred, const cv::Mat& hidden, int side,
                                const RobustOptions& o)
{
    std::array<double, 2> miss{{o.missCost, o.missCost}};
    for (int h = 0; h < 2; ++h)
        if (hiddenAt(pred[h], hidden, side, o.hiddenShare))
            miss[h] = o.hiddenMissCost;
    return miss;
}

int releaseShared(std::array<int, 2>& a, const std::vector<HandCandidate>& c, const std::array<cv::Point2d, 2>& shoulder,
                  double reachPx)
{
    if (a[0] < 0 || a[0] != a[1])
        return -1;
    const HandCandidate& on = c[static_cast<size_t>(a[0])];
    int best = -1;
    for (int j = 0; j < static_cast<int>(c.size()); ++j) {
        const HandCandidate& f = c[static_cast<size_t>(j)];
        if (j == a[0] || f.limb || (on.piece > 0 && f.piece == on.piece))
            continue;
        if (best < 0 || f.fill > c[static_cast<size_t>(best)].fill)
            best = j; // strongest first, the first of equals
    }
    if (best < 0)
        return -1;
    const HandCandidate& f = c[static_cast<size_t>(best)];
    // The arm its forearm tells, else the hand whose shoulder lies on the
    // free blob's side of the shared one.
    int h = f.arm - 1;
    if (h < 0)
        h = (handOneSide(shoulder[0], shoulder[1]) < 0) == (f.p.x < on.p.x) ? 0 : 1;
    if (cv::norm(f.p - shoulder[static_cast<size_t>(h)]) > reachPx)
        return -1;
    a[static_cast<size_t>(h)] = best;
    return h;
}

bool armsSaySwapped(const std::vector<HandCandidate>& c, const std::array<int, 2>& a)
{
    if (a[0] < 0 || a[1] < 0 || a[0] == a[1])
        return false;
    const int arm1 = c[static_cast<size_t>(a[0])].arm, arm2 = c[static_cast<size_t>(a[1])].arm;
    return (arm1 == 2 && arm2 != 2) || (arm2 == 1 && arm1 != 1);
}

void predictHands(const std::array<HandTrack, 2>& k, const RobustOptions& o, cv::Size size,
                  std::array<cv::Point2d, 2>& pred, std::array<double, 2>& sigma)
{
    for (int h = 0; h < 2; ++h) {
        pred[h] = clampInto(k[h].pos + k[h].vel * o.velocityKeep, size);
        sigma[h] = std::min(o.sigmaMax, o.sigma + o.sigmaGrowth * k[h].missed);
    }
}

namespace {

// The confidence of a hand not seen for `missed` frames.
double unseenConfidence(int missed) { return std::max(0.0, 0.4 - 0.04 * missed); }

} // namespace

bool betterBlobOnPiece(const std::vector<HandCandidate>& c, const std::array<int, 2>& a, int h)
{
    if (a[h] < 0)
        return false;
    const HandCandidate& on = c[static_cast<size_t>(a[h])];
    const auto ownOrUntold = [h](int arm) { return arm == 0 || arm == h + 1; };
    if (on.piece == 0 || !ownOrUntold(on.arm))
        return false;
    for (size_t j = 0; j < c.size(); ++j) {
        const int i = static_cast<int>(j);
        if (i != a[0] && i != a[1] && c[j].piece == on.piece && !c[j].limb && ownOrUntold(c[j].arm)
            && c[j].fill > on.fill)
            return true;
    }
    return false;
}

void advanceHands(std::array<HandTrack, 2>& k, const std::vector<HandCandidate>& c,
                  const std::array<cv::Point2d, 2>& pred, const std::array<int, 2>& a)
{
    const bool shared = a[0] >= 0 && a[0] == a[1];
    for (int h = 0; h < 2; ++h) {
        HandTrack& t = k[h];
        if (a[h] >= 0) {
            const cv::Point2d p = c[static_cast<size_t>(a[h])].p;
            // Two hands on one blob: their own motion is unknown, so each
            // keeps a damped velocity of its own for the moment they part.
            t.vel = shared ? t.vel * 0.8 : p - t.pos;
            t.pos = p;
            // On the other arm's candidate the hand is not really found: its
            // spread keeps growing, so that its own blob can take it back.
            const int arm = c[static_cast<size_t>(a[h])].arm;
            t.missed = (arm != 0 && arm != h + 1) || betterBlobOnPiece(c, a, h) ? t.missed + 1 : 0;
            t.conf = c[static_cast<size_t>(a[h])].fill * (shared ? 0.6 : 1.0);
        } else {
            t.pos = pred[h];
            t.vel *= 0.5;
            ++t.missed;
            t.conf = unseenConfidence(t.missed);
        }
    }
}

void RobustHands::initialize(const cv::Mat& skinMap, const cv::Point2d& head, const cv::Rect& headBox,
                             const Setup& s, const RobustOptions& o)
{
    o_ = o;
    s_ = s;
    side_ = std::max(3, static_cast<int>(o.boxSide * s.handWidth)) | 1;
    head0_ = head;
    head_ = head;
    sharedFor_ = 0;
    swappedFor_ = 0;
    headConf_ = 1;
    shift_ = cv::Point(0, 0);

    // The skin map's scale comes from colour tables learnt in the head box:
    // for some signers and head boxes the hands' skin lies just below the
    // threshold. A reference frame that shows fewer than two hand candidates
    // lowers the threshold, step by step, to the first level at which it
    // shows two; that level then holds for the whole video.
    cv::Mat skin;
    const auto setUpAt = [&](int threshold) {
        skin = skinMask(skinMap, threshold);
        learnFace(skin, headBox);
        cand_ = findHandCandidates(skin, hidden_, side_, o_);
        return cand_.size() >= 2;
    };
    int t = o.skinThreshold;
    while (!setUpAt(t) && t - 16 >= o.lowestSkinThreshold)
        t -= 16;
    if (cand_.size() < 2 && t != o.skinThreshold)
        setUpAt(t = o.skinThreshold); // no level shows two: the usual one
    o_.skinThreshold = t;

    // Starting positions: the best candidate on each side of the body's
    // centre line, within reach; else below the shoulder.
    const double mid = 0.5 * (s.shoulderR.x + s.shoulderL.x);
    const bool rightOnLeft = handOneSide(s.shoulderR, s.shoulderL) < 0;
    const std::array<cv::Point2d, 2> sh{{s.shoulderR, s.shoulderL}};
    for (int h = 0; h < 2; ++h) {
        int pick = -1;
        for (int j = 0; j < static_cast<int>(cand_.size()); ++j) {
            const bool side = (h == 0) == rightOnLeft ? cand_[j].p.x < mid : cand_[j].p.x >= mid;
            if (side && cv::norm(cand_[j].p - sh[h]) <= o.reach * s.shoulderDistance
                && cand_[j].p.y > sh[h].y - 0.5 * s.shoulderDistance) {
                pick = j;
                break; // strongest first
            }
        }
        HandTrack& t = tracks_[static_cast<size_t>(h)];
        if (pick >= 0) {
            t.pos = cand_[pick].p;
            t.missed = 0;
            t.conf = cand_[pick].fill;
        } else {
            t.pos = clampInto(sh[h] + cv::Point2d(0, 1.2 * s.shoulderDistance), skin.size());
            t.missed = 10; // wide search from the first frame on
            t.conf = 0;
        }
        t.vel = cv::Point2d(0, 0);
    }
}

void RobustHands::learnFace(const cv::Mat& skin, const cv::Rect& headBox)
{
    // The face and the neck: the skin of the reference frame from half a head
    // above the head box down to the shoulders, half a head box wide on each
    // side, grown by a margin.
    const double shoulderY = std::max(s_.shoulderR.y, s_.shoulderL.y);
    cv::Rect region(static_cast<int>(std::floor(headBox.x - 0.25 * headBox.width)),
                    static_cast<int>(std::floor(headBox.y - 0.25 * headBox.height)),
                    static_cast<int>(std::ceil(1.5 * headBox.width)), 0);
    region.height = std::max(1, static_cast<int>(std::ceil(shoulderY + 0.15 * headBox.height)) - region.y);
    region &= cv::Rect(0, 0, skin.cols, skin.rows);
    faceRegion_ = region;
    faceSkin_ = cv::Mat::zeros(std::max(region.height, 1), std::max(region.width, 1), CV_8U);
    if (region.area() > 0)
        skin(region).copyTo(faceSkin_);
    faceTemplate_ = faceSkin_.clone();
    faceCount_ = cv::countNonZero(faceSkin_);
    const int m = std::max(0, static_cast<int>(std::lround(o_.faceMargin)));
    if (m > 0)
        cv::dilate(faceSkin_, faceTemplate_, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * m + 1, 2 * m + 1)));
    hideFace(skin.size());
}

void RobustHands::hideFace(cv::Size size)
{
    hidden_.create(size, CV_8U);
    hidden_.setTo(0);
    const cv::Point at = faceRegion_.tl() + shift_;
    const cv::Rect dst = cv::Rect(at, faceTemplate_.size()) & cv::Rect(0, 0, size.width, size.height);
    if (dst.area() > 0)
        faceTemplate_(dst - at).copyTo(hidden_(dst));
}

void RobustHands::findFace(const cv::Mat& skin)
{
    // Normalised correlation of the reference pattern with the skin map over
    // shifts within the search range of the last one; skin where the pattern
    // has none (a hand in front of the hair or beside the face) lowers every
    // shift alike, so the face's own outline decides. A head moves little
    // from one frame to the next: a third of the range is searched first, and
    // the whole range only when the best shift lies on that window's edge.
    const int r = std::max(2, static_cast<int>(std::lround(o_.faceSearch * s_.R)));
    if (faceSkin_.empty() || faceCount_ == 0) {
        headConf_ = 0;
        return;
    }
    auto search = [&](int radius, double* best, cv::Point* at) {
        const cv::Rect want(faceRegion_.x + shift_.x - radius, faceRegion_.y + shift_.y - radius,
                            faceRegion_.width + 2 * radius, faceRegion_.height + 2 * radius);
        if ((want & cv::Rect(0, 0, skin.cols, skin.rows)) != want)
            return false; // the search would leave the picture
        cv::matchTemplate(skin(want), faceSkin_, score_, cv::TM_CCOEFF_NORMED);
        *best = -2;
        *at = cv::Point(0, 0);
        for (int y = 0; y < score_.rows; ++y) {
            const float* row = score_.ptr<float>(y);
            for (int x = 0; x < score_.cols; ++x) {
                // Ties go to the smaller move, then to scan order.
                const int dx = x - radius, dy = y - radius;
                const double v = static_cast<double>(row[x]) - 1e-4 * (std::abs(dx) + std::abs(dy)) / r;
                if (v > *best) {
                    *best = v;
                    *at = cv::Point(dx, dy);
                }
            }
        }
        return true;
    };
    const int near = std::max(1, r / 3);
    double best = -2;
    cv::Point move;
    const bool inside = search(near, &best, &move) && std::abs(move.x) < near && std::abs(move.y) < near;
    if (!inside && !search(r, &best, &move)) {
        headConf_ = 0;
        return; // keep the last position
    }
    shift_ += move;
    head_ = head0_ + cv::Point2d(shift_);
    headConf_ = std::min(1.0, std::max(0.0, best));
}

void RobustHands::update(const cv::Mat& skinMap)
{
    cv::threshold(skinMap, skin_, o_.skinThreshold - 1, 255, cv::THRESH_BINARY);
    const cv::Mat& skin = skin_;
    findFace(skin);
    hideFace(skin.size());
    cand_ = findHandCandidates(skin, hidden_, side_, o_, &work_);
    markLimbs(cand_, armDistance(skin, hidden_, s_.shoulderR, s_.shoulderL, o_.seedRadius * s_.shoulderDistance, &dist_),
              o_.limbRadius * s_.handWidth, o_.limbGain * s_.handWidth);
    addFaceContacts(cand_, skin, hidden_, side_, o_.contactArea * side_ * side_, o_.forearmEnd * s_.shoulderDistance,
                    o_.contactDepth * s_.handWidth, o_.contactFill, o_.tipElong, &labels_);
    // The body's centre line moves with the face.
    const double mid = 0.5 * (s_.shoulderR.x + s_.shoulderL.x) + shift_.x;
    const int window = side_ * side_;
    markArms(cand_, skin, hidden_, mid, handOneSide(s_.shoulderR, s_.shoulderL), o_.armLength * s_.handWidth,
             o_.armMargin * s_.shoulderDistance, static_cast<int>(o_.armMinArea * window), o_.armShare,
             static_cast<int>(o_.armMaxArea * window), &armWork_);
    joinPiecesAcrossHidden(cand_, hidden_, o_.joinGap * s_.handWidth, armWork_);

    measureAxes(cand_, work_.sk, side_);

    std::array<cv::Point2d, 2> pred;
    std::array<double, 2> sigma;
    predictHands(tracks_, o_, skin.size(), pred, sigma);
    const std::array<cv::Point2d, 2> sh{{s_.shoulderR, s_.shoulderL}};
    // After a long share the hands' velocities have died out and cannot
    // tell whether the hands pass each other. Each leans to part on its own
    // side, a little only: the blobs' long axes, where they show, decide.
    RobustOptions oa = o_;
    if (o_.partAfter > 0 && sharedFor_ >= o_.partAfter)
        oa.crossCost = std::max(o_.crossCost, o_.partCost);
    const double reachPx = o_.reach * s_.shoulderDistance;
    const std::array<double, 2> miss = missCosts(pred, hidden_, side_, o_);
    std::array<int, 2> a = assignHands(cand_, pred, sigma, sh, reachPx, s_.handWidth, s_.R, oa, &miss);
    // Two hands on one blob for a while, with a hand-like blob free
    // elsewhere: one of them has been lost onto the other's blob.
    sharedFor_ = a[0] >= 0 && a[0] == a[1] ? sharedFor_ + 1 : 0;
    if (o_.shareRelease > 0 && sharedFor_ >= o_.shareRelease
        && releaseShared(a, cand_, sh, reachPx) >= 0)
        sharedFor_ = 0;
    // A swap on the way (hands that crossed, or parted after a share the
    // wrong way round) leaves each hand on the other's blob; the cost of the
    // other arm's candidate cannot undo it while the hands stay apart, since
    // each would have to jump to the other's place. The forearms saying so
    // a few frames running (one false reading does not) trades the hands.
    swappedFor_ = armsSaySwapped(cand_, a) ? swappedFor_ + 1 : 0;
    if (o_.swapAfter > 0 && swappedFor_ >= o_.swapAfter) {
        std::swap(a[0], a[1]);
        std::swap(tracks_[0], tracks_[1]);
        swappedFor_ = 0;
    }
    const std::array<HandTrack, 2> before = tracks_;
    advanceHands(tracks_, cand_, pred, a);
    if (a[0] >= 0 && a[0] == a[1] && o_.hiddenStay > 0) {
        // A hand waiting behind the face (its last position hidden) is
        // cheaply put on a blob beside it that the other hand holds (a hand
        // at the chin): the share costs less than not seeing it. Taken so,
        // it would leave with the other hand. Such a hand stays where it
        // was, not seen, when the blob lies a quarter of a hand width or
        // more away; its prediction stays behind the face.
        for (size_t h = 0; h < 2; ++h) {
            HandTrack& t = tracks_[h];
            if (cv::norm(before[h].pos - t.pos) >= o_.hiddenStay * s_.handWidth
                && hiddenAt(before[h].pos, hidden_, side_, o_.hiddenShare)) {
                t.pos = before[h].pos;
                ++t.missed;
                t.conf = unseenConfidence(t.missed);
            }
        }
    }
}

} // namespace vestiga

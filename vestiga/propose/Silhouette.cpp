#include "propose/Silhouette.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace vestiga::propose {

cv::Mat medianPicture(const std::vector<cv::Mat>& pictures)
{
    if (pictures.empty())
        return cv::Mat();
    const cv::Mat& first = pictures.front();
    const size_t n = pictures.size();
    cv::Mat out(first.size(), first.type());
    const size_t values = first.total() * first.elemSize();
    std::vector<const uchar*> src(n);
    for (size_t i = 0; i < n; ++i) {
        CV_Assert(pictures[i].size() == first.size() && pictures[i].type() == first.type()
                  && pictures[i].isContinuous());
        src[i] = pictures[i].ptr<uchar>();
    }
    CV_Assert(out.isContinuous());
    uchar* dst = out.ptr<uchar>();
    // A histogram per value would be slower for the dozen pictures used here:
    // a partial sort of n bytes per value is enough.
    std::vector<uchar> v(n);
    const size_t mid = (n - 1) / 2;
    for (size_t k = 0; k < values; ++k) {
        for (size_t i = 0; i < n; ++i)
            v[i] = src[i][k];
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
        dst[k] = v[mid];
    }
    return out;
}

cv::Mat besideHeadMask(cv::Size picture, const cv::Rect2d& head)
{
    cv::Mat mask = cv::Mat::zeros(picture, CV_8U);
    const int bottom = std::min(picture.height, static_cast<int>(std::lround(head.y + 0.5 * head.height)));
    const int leftEnd = std::max(0, static_cast<int>(std::lround(head.x - 0.5 * head.width)));
    const int rightStart = std::min(picture.width, static_cast<int>(std::lround(head.x + 1.5 * head.width)));
    if (bottom <= 0)
        return mask;
    if (leftEnd > 0)
        mask(cv::Rect(0, 0, leftEnd, bottom)).setTo(255);
    if (rightStart < picture.width)
        mask(cv::Rect(rightStart, 0, picture.width - rightStart, bottom)).setTo(255);
    return mask;
}

cv::Mat foregroundMask(const cv::Mat& reference, const cv::Mat& median, const cv::Mat& backgroundSample,
                       int motionThreshold)
{
    CV_Assert(reference.type() == CV_8UC3);
    cv::Mat fg = cv::Mat::zeros(reference.size(), CV_8U);
    if (!median.empty()) {
        cv::Mat diff;
        cv::absdiff(reference, median, diff);
        std::vector<cv::Mat> ch;
        cv::split(diff, ch);
        cv::Mat most = cv::max(ch[0], cv::max(ch[1], ch[2]));
        fg |= most > motionThreshold;
    }
    if (!backgroundSample.empty() && cv::countNonZero(backgroundSample) > 0) {
        // The colours of the background, 32 levels per channel; a colour seen
        // only a couple of times is noise and does not count. Widened by one
        // step each way so that noise and slow shading stay background.
        constexpr int Q = 32;
        std::vector<int> count(Q * Q * Q, 0);
        auto bin = [](const cv::Vec3b& p) { return ((p[0] >> 3) * Q + (p[1] >> 3)) * Q + (p[2] >> 3); };
        for (int y = 0; y < reference.rows; ++y) {
            const cv::Vec3b* p = reference.ptr<cv::Vec3b>(y);
            const uchar* m = backgroundSample.ptr<uchar>(y);
            for (int x = 0; x < reference.cols; ++x)
                if (m[x])
                    ++count[bin(p[x])];
        }
        std::vector<uchar> seen(count.size(), 0);
        for (int b = 0; b < Q; ++b)
            for (int g = 0; g < Q; ++g)
                for (int r = 0; r < Q; ++r) {
                    if (count[(b * Q + g) * Q + r] < 3)
                        continue;
                    for (int db = std::max(0, b - 1); db <= std::min(Q - 1, b + 1); ++db)
                        for (int dg = std::max(0, g - 1); dg <= std::min(Q - 1, g + 1); ++dg)
                            for (int dr = std::max(0, r - 1); dr <= std::min(Q - 1, r + 1); ++dr)
                                seen[(db * Q + dg) * Q + dr] = 1;
                }
        for (int y = 0; y < reference.rows; ++y) {
            const cv::Vec3b* p = reference.ptr<cv::Vec3b>(y);
            uchar* f = fg.ptr<uchar>(y);
            for (int x = 0; x < reference.cols; ++x)
                if (!seen[bin(p[x])])
                    f[x] = 255;
        }
    }
    const int unit = std::max(1, std::min(reference.cols, reference.rows) / 160);
    const cv::Mat small = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * unit + 1, 2 * unit + 1));
    cv::morphologyEx(fg, fg, cv::MORPH_OPEN, small);
    cv::morphologyEx(fg, fg, cv::MORPH_CLOSE, small);
    return fg;
}

cv::Mat graphCutForeground(const cv::Mat& reference, const cv::Rect2d& face, const cv::Rect2d& head)
{
    const double scale = std::min(1.0, 320.0 / reference.cols);
    cv::Mat small;
    if (scale < 1.0)
        cv::resize(reference, small, cv::Size(), scale, scale, cv::INTER_AREA);
    else
        small = reference;
    const cv::Rect all(0, 0, small.cols, small.rows);
    auto box = [&](double x0, double y0, double x1, double y1) {
        return cv::Rect(cv::Point(cvFloor(x0 * scale), cvFloor(y0 * scale)),
                        cv::Point(cvCeil(x1 * scale), cvCeil(y1 * scale)))
               & all;
    };
    const double mid = face.x + 0.5 * face.width, hw = head.width, hh = head.height;
    const double chin = head.y + head.height;
    cv::Mat mask(small.size(), CV_8U, cv::Scalar(cv::GC_PR_BGD));
    cv::Mat beside;
    cv::resize(besideHeadMask(reference.size(), head), beside, small.size(), 0, 0, cv::INTER_NEAREST);
    mask.setTo(cv::GC_BGD, beside);
    mask(box(mid - 1.5 * hw, chin, mid + 1.5 * hw, reference.rows)).setTo(cv::GC_PR_FGD);
    mask(box(head.x, head.y, head.x + hw, chin)).setTo(cv::GC_PR_FGD);
    mask(box(face.x + 0.25 * face.width, face.y + 0.25 * face.height, face.x + 0.75 * face.width,
             face.y + 0.75 * face.height))
        .setTo(cv::GC_FGD);
    mask(box(mid - 0.1 * hw, chin, mid + 0.1 * hw, chin + 0.3 * hh)).setTo(cv::GC_FGD);
    mask(box(mid - 0.4 * hw, chin + 0.8 * hh, mid + 0.4 * hw, chin + 1.6 * hh)).setTo(cv::GC_FGD);
    if (cv::countNonZero(mask == cv::GC_BGD) == 0 || cv::countNonZero(mask == cv::GC_FGD) == 0)
        return cv::Mat::zeros(reference.size(), CV_8U);
    const cv::RNG saved = cv::theRNG();
    cv::theRNG() = cv::RNG(0x5EED);
    cv::Mat bgdModel, fgdModel;
    cv::grabCut(small, mask, cv::Rect(), bgdModel, fgdModel, 3, cv::GC_INIT_WITH_MASK);
    cv::theRNG() = saved;
    cv::Mat fg = (mask == cv::GC_FGD) | (mask == cv::GC_PR_FGD);
    if (scale < 1.0)
        cv::resize(fg, fg, reference.size(), 0, 0, cv::INTER_NEAREST);
    return fg;
}

double headTop(const cv::Mat& foreground, const cv::Rect2d& face, double maxRise)
{
    const int x0 = std::max(0, static_cast<int>(std::lround(face.x + 0.25 * face.width)));
    const int x1 = std::min(foreground.cols, static_cast<int>(std::lround(face.x + 0.75 * face.width)));
    const int top = static_cast<int>(std::floor(face.y));
    const int highest = std::max(0, static_cast<int>(std::floor(face.y - maxRise * face.height)));
    if (x1 <= x0 || top <= 0 || top > foreground.rows)
        return face.y;
    int row = top;
    for (int y = top - 1; y >= highest; --y) {
        const int n = cv::countNonZero(foreground.row(y).colRange(x0, x1));
        if (2 * n < x1 - x0)
            break;
        row = y;
    }
    return std::min(face.y, static_cast<double>(row));
}

int runEnd(const uchar* row, int from, int step, int lo, int hi, int maxGap)
{
    int last = from, gap = 0;
    for (int x = from + step; x >= lo && x <= hi; x += step) {
        if (row[x]) {
            last = x;
            gap = 0;
        } else if (++gap > maxGap) {
            break;
        }
    }
    return last;
}

bool headSides(const cv::Mat& foreground, const cv::Rect2d& face, double* left, double* right)
{
    CV_Assert(foreground.type() == CV_8U);
    const int xm = static_cast<int>(std::lround(face.x + 0.5 * face.width));
    if (xm < 0 || xm >= foreground.cols)
        return false;
    const int maxGap = std::max(1, static_cast<int>(0.05 * face.width));
    const int x0 = std::max(0, static_cast<int>(std::floor(face.x - face.width)));
    const int x1 = std::min(foreground.cols - 1, static_cast<int>(std::ceil(face.x + 2 * face.width)));
    const int y0 = static_cast<int>(std::lround(face.y - 0.1 * face.height));
    const int y1 = static_cast<int>(std::lround(face.y + 0.6 * face.height));
    std::vector<double> lefts, rights;
    int rows = 0;
    for (int y = y0; y <= y1; ++y) {
        ++rows;
        if (y < 0 || y >= foreground.rows)
            continue;
        const uchar* p = foreground.ptr<uchar>(y);
        if (!p[xm])
            continue;
        lefts.push_back(runEnd(p, xm, -1, x0, x1, maxGap));
        rights.push_back(runEnd(p, xm, +1, x0, x1, maxGap) + 1);
    }
    if (rows == 0 || 2 * lefts.size() < static_cast<size_t>(rows))
        return false;
    // The widest rows, where hair or ears stand out, without the odd row
    // where the background touches the head.
    auto quantile = [](std::vector<double>& v, double q) {
        const size_t k = static_cast<size_t>(q * double(v.size() - 1) + 0.5);
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
        return v[k];
    };
    *left = quantile(lefts, 0.1);
    *right = quantile(rights, 0.9);
    return true;
}

std::vector<double> topEdge(const cv::Mat& foreground, double midline, int step, int fromRow, int rows,
                            int maxReach)
{
    CV_Assert(foreground.type() == CV_8U && (step == 1 || step == -1));
    const int n = std::max(0, maxReach + 1);
    std::vector<double> raw(n, std::max(0, rows));
    const int xm = static_cast<int>(std::lround(midline));
    const int y0 = std::max(0, fromRow), y1 = std::min(foreground.rows, fromRow + rows);
    for (int d = 0; d < n; ++d) {
        const int x = xm + step * d;
        if (x < 0 || x >= foreground.cols)
            break;
        for (int y = y0; y < y1; ++y)
            if (foreground.at<uchar>(y, x)) {
                raw[d] = y - fromRow;
                break;
            }
    }
    std::vector<double> top(raw);
    for (int d = 2; d + 2 < n; ++d) {
        double w[5] = {raw[d - 2], raw[d - 1], raw[d], raw[d + 1], raw[d + 2]};
        std::nth_element(w, w + 2, w + 5);
        top[d] = w[2];
    }
    return top;
}

int shoulderColumn(const std::vector<double>& top, int from, int to, int span, double minTurn)
{
    const int n = static_cast<int>(top.size());
    if (span < 1)
        return -1;
    from = std::max(from, span);
    to = std::min(to, n - 1 - span);
    auto slope = [&](int a, int b) { return (top[b] - top[a]) / span; };
    auto capped = [](double v) { return std::max(-2.0, std::min(2.0, v)); };
    int best = -1;
    double bestTurn = minTurn, bestRaw = 0;
    for (int d = from; d <= to; ++d) {
        // Rows grow downward: a positive slope runs down going outward.
        const double outside = slope(d, d + span), inside = slope(d - span, d);
        const double turn = capped(outside) - capped(inside), raw = outside - inside;
        // Within a stretch of equal capped turns (a corner sharper than the
        // cap), the corner itself has the largest uncapped turn.
        if (turn > bestTurn + 1e-9 || (best >= 0 && std::fabs(turn - bestTurn) <= 1e-9 && raw > bestRaw)) {
            bestTurn = turn;
            bestRaw = raw;
            best = d;
        }
    }
    return best;
}

} // namespace vestiga::propose

#include "core/Blend.h"

#include <opencv2/core.hpp>

#include <cmath>

namespace glyphora {

bool prepareFrame(const cv::Mat& frame, cv::Mat& out)
{
    if (frame.empty() || frame.type() != CV_8UC3)
        return false;
    cv::Mat result(frame.size(), CV_8UC3);
    // result channel 0 <- frame channel 1, 1 <- 2, 2 <- 0 (memory order).
    const int fromTo[] = {1, 0, 2, 1, 0, 2};
    cv::mixChannels(&frame, 1, &result, 1, fromTo, 3);
    cv::flip(result, result, 0);
    out = result;
    return true;
}

void blendHalf(const cv::Mat& average, const cv::Mat& frame, cv::Mat& out)
{
    if (average.size() != frame.size() || average.type() != frame.type()) {
        // No average yet: the frame over a black average.
        cv::addWeighted(cv::Mat::zeros(frame.size(), frame.type()), 0.5, frame, 0.5, 0.0, out);
        return;
    }
    cv::addWeighted(average, 0.5, frame, 0.5, 0.0, out);
}

void accumulateKeyFrame(cv::Mat& average, const cv::Mat& frame, int k)
{
    if (average.size() != frame.size() || average.type() != frame.type())
        average = cv::Mat::zeros(frame.size(), frame.type());
    if (k < 0)
        k = 0;
    const float a = static_cast<float>(k) / static_cast<float>(k + 1);
    const float b = 1.0f / static_cast<float>(k + 1);
    cv::addWeighted(average, a, frame, b, 0.0, average);
}

bool shiftRects(float offset, cv::Size size, ShiftRects& rects)
{
    const int W = size.width, H = size.height;
    if (!std::isfinite(offset) || W <= 0 || H <= 0)
        return false;
    int dstX, srcX, width;
    if (offset >= 0) {
        dstX = static_cast<int>(offset * W);
        srcX = 0;
        width = static_cast<int>((1 - offset) * W);
    } else {
        dstX = 0;
        srcX = static_cast<int>(-offset * W);
        width = static_cast<int>((1 + offset) * W);
    }
    // Shifts of a whole width or more leave nothing inside the picture.
    if (width <= 0 || dstX >= W || srcX >= W)
        return false;
    width = std::min(width, std::min(W - dstX, W - srcX));
    rects.dst = cv::Rect(dstX, 0, width, H);
    rects.src = cv::Rect(srcX, 0, width, H);
    return true;
}

namespace {

// The 8-bit operations of the blend, tabulated over all 256 x 256 operand
// pairs by running OpenCV's own operation on images holding every pair, so
// the tables give exactly OpenCV's rounding and saturation. table[a][b] is
// the result for first operand a (row) and second operand b (column).
void operandImages(cv::Mat& rows, cv::Mat& cols)
{
    rows.create(256, 256, CV_8UC1);
    cols.create(256, 256, CV_8UC1);
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) {
            rows.at<uchar>(a, b) = static_cast<uchar>(a);
            cols.at<uchar>(a, b) = static_cast<uchar>(b);
        }
}

// [weight][value] -> round(value * weight / 256), the per-channel product.
const cv::Mat& productTable()
{
    static const cv::Mat table = [] {
        cv::Mat w, v, out;
        operandImages(w, v);
        cv::multiply(v, w, out, 1.0 / 256);
        return out;
    }();
    return table;
}

void makeTables(int n, MixScratch& w)
{
    if (w.tablesFor == n && !w.sumTable.empty() && !w.weightTable.empty())
        return;
    cv::Mat sum, mask;
    operandImages(sum, mask);
    // Mask sum step: sum + mask * (1/n).
    cv::addWeighted(sum, 1.0, mask, 1.0 / n, 0.0, w.sumTable);
    // Weight: (255/n) * mask / sum, the scale computed as a float.
    const float scale = 255.0f / static_cast<float>(n);
    cv::divide(mask, sum, w.weightTable, static_cast<double>(scale));
    w.tablesFor = n;
}

} // namespace

bool drawMix(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
             int count, cv::Mat& mixed, std::string* error, MixScratch* scratch)
{
    if (count < 0 || count > kMaxKeyFrames) {
        if (error)
            *error = "key-frame count " + std::to_string(count) + " is outside 0.." +
                     std::to_string(kMaxKeyFrames);
        return false;
    }
    if (size.width <= 0 || size.height <= 0) {
        if (error)
            *error = "the picture has no size";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (keyFrames[i].size() != size || keyFrames[i].type() != CV_8UC3) {
            if (error)
                *error = "key frame " + std::to_string(i + 1) +
                         " is not an 8-bit colour picture of the video's size";
            return false;
        }
        if (masks[i].size() != size || masks[i].type() != CV_8UC1) {
            if (error)
                *error = "the mask of key frame " + std::to_string(i + 1) +
                         " is not an 8-bit grey picture of the video's size";
            return false;
        }
    }
    MixScratch local;
    MixScratch& w = scratch ? *scratch : local;

    mixed.create(size, CV_8UC3);
    mixed.setTo(cv::Scalar::all(0));
    if (count == 0)
        return true;
    makeTables(count, w);
    const cv::Mat& product = productTable();

    // Mask sum: sum of round(m_i / n) within each key frame's shift.
    w.maskSum.create(size, CV_8UC1);
    w.maskSum.setTo(cv::Scalar::all(0));
    // The tables are continuous 256 x 256 arrays: entry [a][b] at a * 256 + b.
    const uchar* sumTable = w.sumTable.ptr<uchar>(0);
    const uchar* weightTable = w.weightTable.ptr<uchar>(0);
    const uchar* productTab = product.ptr<uchar>(0);
    for (int i = 0; i < count; ++i) {
        ShiftRects r;
        if (!shiftRects(offsets[i], size, r))
            continue;
        for (int y = 0; y < size.height; ++y) {
            uchar* sum = w.maskSum.ptr<uchar>(y) + r.dst.x;
            const uchar* m = masks[i].ptr<uchar>(y) + r.src.x;
            for (int x = 0; x < r.dst.width; ++x)
                sum[x] = sumTable[sum[x] * 256 + m[x]];
        }
    }

    // Each key frame's share: weight = (255/n) m_i / sum (0 where the sum is
    // 0), then k_i * weight / 256 per channel, added with saturation.
    for (int i = 0; i < count; ++i) {
        ShiftRects r;
        if (!shiftRects(offsets[i], size, r))
            continue;
        for (int y = 0; y < size.height; ++y) {
            const uchar* sum = w.maskSum.ptr<uchar>(y) + r.dst.x;
            const uchar* m = masks[i].ptr<uchar>(y) + r.src.x;
            const uchar* k = keyFrames[i].ptr<uchar>(y) + 3 * r.src.x;
            uchar* out = mixed.ptr<uchar>(y) + 3 * r.dst.x;
            for (int x = 0; x < r.dst.width; ++x) {
                const uchar weight = weightTable[sum[x] * 256 + m[x]];
                if (weight == 0)
                    continue;
                const uchar* times = productTab + weight * 256;
                for (int c = 0; c < 3; ++c) {
                    const int v = out[3 * x + c] + times[k[3 * x + c]];
                    out[3 * x + c] = static_cast<uchar>(v > 255 ? 255 : v);
                }
            }
        }
    }
    return true;
}

void dimByMask(const cv::Mat& image, const cv::Mat& mask, cv::Mat& out)
{
    if (mask.empty() || mask.size() != image.size() || mask.type() != CV_8UC1 ||
        image.type() != CV_8UC3) {
        out = image.clone();
        return;
    }
    // max(mask, 105): the mask inverted, truncated at 150 and inverted back.
    cv::Mat factor;
    cv::max(mask, cv::Scalar(105), factor);
    const cv::Mat planes[] = {factor, factor, factor};
    cv::Mat factor3;
    cv::merge(planes, 3, factor3);
    cv::multiply(image, factor3, out, 1.0 / 256);
}

void paintBrush(cv::Mat& mask, int px, int py)
{
    if (mask.empty() || mask.type() != CV_8UC1)
        return;
    const int W = mask.cols, H = mask.rows;
    const int R = W / 15;
    int spread = (W * H) / 1000;
    if (spread < 1)
        spread = 1;  // pictures of fewer than 1000 pixels
    const float S = static_cast<float>(spread);
    for (int a = -R; a < R; ++a) {
        const int col = px + a;
        if (col <= 0 || col >= W)
            continue;
        for (int b = -R; b < R; ++b) {
            const int row = py + b;
            if (row <= 0 || row >= H)
                continue;
            const float v = 255 * std::exp(-static_cast<float>(a * a + b * b) / S);
            uchar& m = mask.at<uchar>(row, col);
            if (v > m)
                m = static_cast<uchar>(v);
        }
    }
}

} // namespace glyphora

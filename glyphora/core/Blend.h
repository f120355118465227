#pragma once
// Picture work of the sign-picture program, as plain functions over cv::Mat.
//
// Picture convention: 8-bit, 3-channel pictures whose rows are stored bottom
// row first and whose channels hold green, red, blue (prepareFrame makes a
// video frame so); masks are 8-bit, 1-channel pictures of the same size.
// Rounding and saturation are those of OpenCV's arithmetic on 8-bit images
// (nearest integer, saturated to 0..255).
#include <opencv2/core.hpp>

#include <string>

namespace glyphora {

constexpr int kMaxKeyFrames = 20;
constexpr int kMaskInitial = 50;  // a new key frame's mask; also "visible"
constexpr int kMaskHidden = 0;

// A video frame (blue, green, red; top row first) in the picture convention:
// channel 1 of the result from channel 2 of the frame, 2 from 3 and 3 from 1,
// then flipped vertically. `out` is (re)allocated to the frame's size.
// Returns false (leaving `out` alone) unless the frame is 8-bit, 3-channel.
bool prepareFrame(const cv::Mat& frame, cv::Mat& out);

// The buffer view's picture: out = 0.5 * average + 0.5 * frame per channel.
void blendHalf(const cv::Mat& average, const cv::Mat& frame, cv::Mat& out);

// Running average of the key frames after adding key frame number k (from 0):
// average = average * a + frame * b, a = k / (k + 1), b = 1 / (k + 1) in
// single precision. With k = 0 the average becomes the frame.
void accumulateKeyFrame(cv::Mat& average, const cv::Mat& frame, int k);

// The horizontal shift of a key frame by `offset` (fraction of the width W):
// offset >= 0: destination x = (int)(offset * W), source x = 0,
//              width = (int)((1 - offset) * W);
// offset < 0:  destination x = 0, source x = (int)(-offset * W),
//              width = (int)((1 + offset) * W); y = 0 and height H.
// Returns false when nothing of the key frame stays inside the picture.
struct ShiftRects {
    cv::Rect dst, src;
};
bool shiftRects(float offset, cv::Size size, ShiftRects& rects);

// Work data of drawMix, kept between calls to avoid reallocation: the mask
// sum and the per-count tables of the 8-bit operations.
struct MixScratch {
    cv::Mat maskSum;
    int tablesFor = 0;      // key-frame count the two tables below were made for
    cv::Mat sumTable;       // [sum][mask] -> round(sum + mask / n), saturated
    cv::Mat weightTable;    // [sum][mask] -> round((255 / n) * mask / sum), 0 if sum is 0
};

// The sign picture: the mask-weighted average of the shifted key frames,
// sum of k_i * m_i / sum of m_j in 8-bit steps:
//   maskSum = sum over i of round(m_i * (1/n)) within each shift (saturated);
//   weight_i = round((255/n) * m_i / maskSum) (0 where the sum is 0);
//   mixed += round(k_i * weight_i / 256) per channel (saturated).
// Where no shifted mask covers a pixel the picture is black. With count 0 the
// picture is black. `mixed` is (re)allocated to `size`, 8-bit 3-channel.
// Returns false with a message when count is outside 0..kMaxKeyFrames or a
// key frame or mask does not have `size` and the right type.
bool drawMix(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
             int count, cv::Mat& mixed, std::string* error = nullptr, MixScratch* scratch = nullptr);

// The key-frame view's dimming of a picture by its mask: each channel times
// max(mask, 105) / 256 (nearest integer). Unpainted regions show at 105/256 of
// their brightness, fully painted ones at 255/256. `out` is (re)allocated.
void dimByMask(const cv::Mat& image, const cv::Mat& mask, cv::Mat& out);

// One dab of the mask brush centred at column px, row py: radius
// R = width / 15, spread S = (width * height) / 1000 (integer divisions); for
// offsets a, b in -R .. R-1 the pixel (py + b, px + a), when 0 < column <
// width and 0 < row < height, is raised to v = 255 * exp(-(a^2 + b^2) / S)
// (single precision) where v exceeds it.
void paintBrush(cv::Mat& mask, int px, int py);

} // namespace glyphora

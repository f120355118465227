#pragma once
// Picture work of the sign-picture program, as plain functions over cv::Mat.
//
// Picture convention: 8-bit, 3-channel pictures whose rows are stored bottom
// row first and whose channels hold green, red, blue (prepareFrame makes a
// video frame so); masks are 8-bit, 1-channel pictures of the same size.
// Rounding and saturation are those of OpenCV's arithmetic on 8-bit images
// (nearest integer, saturated to 0..255).
#include "base/KeyFrames.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace glyphora {

using base::kMaxKeyFrames;
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

// Work data of drawMix, kept between calls to avoid reallocation: the
// per-count tables of the 8-bit operations, the row buffers of the workers,
// and what the last complete mix was made of with the picture region whose
// masks changed since (see drawMixChanges).
struct MixScratch {
    int tablesFor = 0;      // key-frame count the two tables below were made for
    cv::Mat sumTable;       // [sum][mask] -> round(sum + mask / n), saturated
    cv::Mat weightTable;    // [sum][mask] -> round((255 / n) * mask / sum), 0 if sum is 0
    bool vectorSums = false, vectorWeights = false; // vector forms equal the tables
    std::vector<uchar> rowBuffers;

    // The inputs of the last complete mix: pixel buffers, shifts and count.
    struct Inputs {
        const uchar* mixed = nullptr;
        cv::Size size;
        int count = -1;
        const uchar* keyFrames[kMaxKeyFrames] = {};
        const uchar* masks[kMaxKeyFrames] = {};
        float offsets[kMaxKeyFrames] = {};
    } made;
    cv::Rect changed;       // picture pixels whose masks changed since (noteMaskChange)
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

// Records that a key frame's mask, shifted by `offset`, changed inside
// `maskRect` (mask coordinates): the picture pixels it covers after the
// shift are added to scratch.changed for the next drawMixChanges.
void noteMaskChange(MixScratch& scratch, cv::Size size, float offset, cv::Rect maskRect);

// Brings `mixed` up to date after the mask changes recorded with
// noteMaskChange, with the same pixels as drawMix: only the changed region is
// recomposed when `mixed` still holds the last complete drawMix made with
// this scratch from the same key-frame and mask buffers, shifts and count
// (the masks' contents differing only inside the recorded changes);
// otherwise the whole picture is recomposed by drawMix.
bool drawMixChanges(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
                    int count, cv::Mat& mixed, std::string* error, MixScratch& scratch);

// The key-frame view's dimming of a picture by its mask: each channel times
// max(mask, 105) / 256 (nearest integer). Unpainted regions show at 105/256 of
// their brightness, fully painted ones at 255/256. `out` is (re)allocated.
void dimByMask(const cv::Mat& image, const cv::Mat& mask, cv::Mat& out);

// One dab of the mask brush centred at column px, row py: radius
// R = width / 15, spread S = (width * height) / 1000 (integer divisions); for
// offsets a, b in -R .. R-1 the pixel (py + b, px + a), when 0 < column <
// width and 0 < row < height, is raised to v = 255 * exp(-(a^2 + b^2) / S)
// (single precision) where v exceeds it. Returns brushRect: the pixels the
// dab may have changed.
cv::Rect paintBrush(cv::Mat& mask, int px, int py);

// The pixels of a picture of `size` that a brush dab at (px, py) reaches
// (empty when none).
cv::Rect brushRect(cv::Size size, int px, int py);

} // namespace glyphora

#include "core/Blend.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

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

// The product p = value * weight is below 2^16, so p / 256 is exact in any
// precision and its nearest integer, ties to even, is
// (p + 127 + (p >> 8 & 1)) >> 8: a remainder above 128 always carries, one
// of exactly 128 carries when the quotient is odd. The vector path uses that
// integer form only when it equals the table on every operand pair.
inline int roundedProduct(int value, int weight)
{
    const int p = value * weight;
    return (p + 127 + ((p >> 8) & 1)) >> 8;
}

bool productIsIntegerRounding()
{
    static const bool same = [] {
        const cv::Mat& table = productTable();
        for (int w = 0; w < 256; ++w)
            for (int v = 0; v < 256; ++v)
                if (table.at<uchar>(w, v) != roundedProduct(v, w))
                    return false;
        return true;
    }();
    return same;
}

// Vector forms of the mask-sum and weight steps, four pixels per float
// vector: the same single-precision operations, in the same order, as the
// OpenCV operations the tables were made with (sum + mask * (float)(1/n),
// then (mask * scale) / sum), rounded to the nearest integer with ties to
// even by the conversion (the default rounding mode) and saturated by the
// packs. They are used only when they give the tables' entries for every
// operand pair (checked once per key-frame count by vectorStepsMatch).
#if defined(__SSE2__)
struct Floats4x4 {
    __m128 v[4];
};

inline Floats4x4 toFloats(__m128i bytes)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
    return {{_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)),
             _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero))}};
}

inline __m128i roundToBytes(__m128 a, __m128 b, __m128 c, __m128 d)
{
    return _mm_packus_epi16(_mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b)),
                            _mm_packs_epi32(_mm_cvtps_epi32(c), _mm_cvtps_epi32(d)));
}

// round(sum + mask * beta), saturated, for 16 pixels.
inline __m128i maskSums16(__m128i sum, __m128i mask, __m128 beta)
{
    const Floats4x4 s = toFloats(sum), m = toFloats(mask);
    return roundToBytes(_mm_add_ps(s.v[0], _mm_mul_ps(m.v[0], beta)), _mm_add_ps(s.v[1], _mm_mul_ps(m.v[1], beta)),
                        _mm_add_ps(s.v[2], _mm_mul_ps(m.v[2], beta)), _mm_add_ps(s.v[3], _mm_mul_ps(m.v[3], beta)));
}

// round((mask * scale) / sum), saturated, 0 where the sum is 0, for 16 pixels.
inline __m128i weights16(__m128i sum, __m128i mask, __m128 scale)
{
    const Floats4x4 s = toFloats(sum), m = toFloats(mask);
    const __m128i w = roundToBytes(_mm_div_ps(_mm_mul_ps(m.v[0], scale), s.v[0]),
                                   _mm_div_ps(_mm_mul_ps(m.v[1], scale), s.v[1]),
                                   _mm_div_ps(_mm_mul_ps(m.v[2], scale), s.v[2]),
                                   _mm_div_ps(_mm_mul_ps(m.v[3], scale), s.v[3]));
    return _mm_andnot_si128(_mm_cmpeq_epi8(sum, _mm_setzero_si128()), w);
}

inline __m128 sumStepFactor(int n) { return _mm_set1_ps(static_cast<float>(1.0 / n)); }
inline __m128 weightScale(int n) { return _mm_set1_ps(255.0f / static_cast<float>(n)); }

// Runs both vector steps on every (sum, mask) pair and compares with the tables.
void vectorStepsMatch(int n, const cv::Mat& sumTable, const cv::Mat& weightTable, bool& sums, bool& weights)
{
    const __m128 beta = sumStepFactor(n), scale = weightScale(n);
    sums = weights = true;
    alignas(16) uchar maskValues[256];
    for (int m = 0; m < 256; ++m)
        maskValues[m] = static_cast<uchar>(m);
    for (int s = 0; s < 256; ++s) {
        const __m128i sum = _mm_set1_epi8(static_cast<char>(s));
        for (int m = 0; m < 256; m += 16) {
            const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(maskValues + m));
            const __m128i ts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sumTable.ptr<uchar>(s) + m));
            const __m128i tw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weightTable.ptr<uchar>(s) + m));
            sums = sums && _mm_movemask_epi8(_mm_cmpeq_epi8(maskSums16(sum, mask, beta), ts)) == 0xFFFF;
            weights = weights && _mm_movemask_epi8(_mm_cmpeq_epi8(weights16(sum, mask, scale), tw)) == 0xFFFF;
        }
    }
}
#endif

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
    w.vectorSums = w.vectorWeights = false;
#if defined(__SSE2__)
    vectorStepsMatch(n, w.sumTable, w.weightTable, w.vectorSums, w.vectorWeights);
#endif
    w.tablesFor = n;
}

bool checkMixInputs(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, int count,
                    std::string* error)
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
    return true;
}

// Everything one block of rows needs, shared read-only by the workers.
struct MixJob {
    const cv::Mat* keyFrames;
    const cv::Mat* masks;
    int count;
    ShiftRects rects[kMaxKeyFrames];
    bool shown[kMaxKeyFrames];  // false when the shift leaves nothing inside
    const uchar* sumTable;      // 256 x 256, entry [a][b] at a * 256 + b
    const uchar* weightTable;
    const uchar* productTable;
    bool vectorSums, vectorWeights; // the vector steps give the tables
    bool integerProduct;        // roundedProduct gives the product table
    bool byteShuffle;           // the processor has SSSE3
    cv::Mat* mixed;
};

// Mask sum step over n pixels: s[x] = round(s[x] + m[x] / count), saturated.
void addMaskShares(uchar* s, const uchar* m, int n, const MixJob& job)
{
    int x = 0;
#if defined(__SSE2__)
    if (job.vectorSums) {
        const __m128 beta = sumStepFactor(job.count);
        for (; x + 16 <= n; x += 16) {
            __m128i* sv = reinterpret_cast<__m128i*>(s + x);
            const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x));
            _mm_storeu_si128(sv, maskSums16(_mm_loadu_si128(sv), mv, beta));
        }
    }
#endif
    for (; x < n; ++x)
        s[x] = job.sumTable[s[x] * 256 + m[x]];
}

#if defined(__SSE2__)
// out = saturate(out + round(k * w / 256)) for 16 bytes (roundedProduct).
inline void addProducts16(uchar* out, __m128i kv, __m128i wv)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(127), one = _mm_set1_epi16(1);
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(kv, zero), _mm_unpacklo_epi8(wv, zero));
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(kv, zero), _mm_unpackhi_epi8(wv, zero));
    lo = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(lo, bias), _mm_and_si128(_mm_srli_epi16(lo, 8), one)), 8);
    hi = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(hi, bias), _mm_and_si128(_mm_srli_epi16(hi, 8), one)), 8);
    __m128i* o = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(o, _mm_adds_epu8(_mm_loadu_si128(o), _mm_packus_epi16(lo, hi)));
}

// The whole share of one key frame for 16 pixels at a time: weights from the
// mask sum and the mask, spread to the three channels of each pixel by byte
// shuffles, multiplied into the 48 key-frame bytes and added to the output.
// Returns the number of pixels done; the caller finishes the rest.
__attribute__((target("ssse3"))) int addShareShuffled(uchar* out, const uchar* k, const uchar* s, const uchar* m,
                                                        int n, int count)
{
    const __m128 scale = weightScale(count);
    const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i w = weights16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x)), scale);
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(w, zero)) == 0xFFFF)
            continue;  // weight 0 adds nothing
        const __m128i* kv = reinterpret_cast<const __m128i*>(k + 3 * x);
        addProducts16(out + 3 * x, _mm_loadu_si128(kv), _mm_shuffle_epi8(w, spread0));
        addProducts16(out + 3 * x + 16, _mm_loadu_si128(kv + 1), _mm_shuffle_epi8(w, spread1));
        addProducts16(out + 3 * x + 32, _mm_loadu_si128(kv + 2), _mm_shuffle_epi8(w, spread2));
    }
    return x;
}
#endif

// One key frame's share over n pixels: weight = (255/n) m / sum (0 where the
// sum is 0), then out += k * weight / 256 per channel, with saturation.
// `weights` is a row buffer of at least 3 * n bytes.
void addKeyFrameShare(uchar* out, const uchar* k, const uchar* s, const uchar* m, int n, const MixJob& job,
                      uchar* weights)
{
    int x = 0;
#if defined(__SSE2__)
    if (job.vectorWeights && job.integerProduct && job.byteShuffle)
        x = addShareShuffled(out, k, s, m, n, job.count);
#endif
    if (x == n)
        return;
    out += 3 * x;
    k += 3 * x;
    s += x;
    m += x;
    n -= x;
    for (x = 0; x < n; ++x) {
        const uchar weight = job.weightTable[s[x] * 256 + m[x]];
        weights[3 * x] = weights[3 * x + 1] = weights[3 * x + 2] = weight;
    }
    int j = 0;
#if defined(__SSE2__)
    if (job.integerProduct) {
        const __m128i zero = _mm_setzero_si128();
        for (; j + 16 <= 3 * n; j += 16) {
            const __m128i wv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + j));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(wv, zero)) != 0xFFFF)
                addProducts16(out + j, _mm_loadu_si128(reinterpret_cast<const __m128i*>(k + j)), wv);
        }
    }
#endif
    for (; j < 3 * n; ++j) {
        if (weights[j] == 0)
            continue;
        const int v = out[j] + job.productTable[weights[j] * 256 + k[j]];
        out[j] = static_cast<uchar>(v > 255 ? 255 : v);
    }
}

// Recomposes the pixels of rows y0 .. y1-1 and columns x0 .. x1-1 of the mix.
// Each row is finished before the next: its mask sum stays in the row buffer
// `sum` (width bytes, `weights` 3 * width bytes) and the output row stays in
// cache while the key frames are added into it.
void mixBlock(const MixJob& job, int y0, int y1, int x0, int x1, uchar* sum, uchar* weights)
{
    for (int y = y0; y < y1; ++y) {
        uchar* out = job.mixed->ptr<uchar>(y);
        std::memset(out + 3 * x0, 0, 3 * size_t(x1 - x0));
        std::memset(sum + x0, 0, size_t(x1 - x0));
        // Mask sum: sum of round(m_i / n) within each key frame's shift.
        for (int i = 0; i < job.count; ++i) {
            if (!job.shown[i])
                continue;
            const ShiftRects& r = job.rects[i];
            const int xa = std::max(x0, r.dst.x), xb = std::min(x1, r.dst.x + r.dst.width);
            if (xa < xb)
                addMaskShares(sum + xa, job.masks[i].ptr<uchar>(y) + r.src.x + (xa - r.dst.x), xb - xa, job);
        }
        for (int i = 0; i < job.count; ++i) {
            if (!job.shown[i])
                continue;
            const ShiftRects& r = job.rects[i];
            const int xa = std::max(x0, r.dst.x), xb = std::min(x1, r.dst.x + r.dst.width);
            if (xa >= xb)
                continue;
            const int srcX = r.src.x + (xa - r.dst.x);
            addKeyFrameShare(out + 3 * xa, job.keyFrames[i].ptr<uchar>(y) + 3 * srcX, sum + xa,
                             job.masks[i].ptr<uchar>(y) + srcX, xb - xa, job, weights);
        }
    }
}

// Runs mixBlock over `region` in fixed bands of rows, one per worker: the
// rows are independent, so the pixels do not depend on the split. Small
// regions stay on the calling thread.
void mixRegion(const MixJob& job, cv::Rect region, MixScratch& w)
{
    const int width = job.mixed->cols;
    const long work = long(region.area()) * std::max(job.count, 1);
    int bands = 1;
    if (work >= 200000) {
        const unsigned cores = std::thread::hardware_concurrency();
        bands = std::max(1, std::min({int(cores), 4, region.height}));
    }
    const size_t perBand = 4 * size_t(width);
    if (w.rowBuffers.size() < perBand * bands)
        w.rowBuffers.resize(perBand * bands);
    auto run = [&](int b) {
        const int y0 = region.y + int(long(region.height) * b / bands);
        const int y1 = region.y + int(long(region.height) * (b + 1) / bands);
        uchar* buf = w.rowBuffers.data() + perBand * b;
        mixBlock(job, y0, y1, region.x, region.x + region.width, buf, buf + width);
    };
    std::vector<std::thread> workers;
    for (int b = 1; b < bands; ++b) {
        try {
            workers.emplace_back(run, b);
        } catch (const std::system_error&) {
            run(b);  // no thread to be had: this band on the calling thread
        }
    }
    run(0);
    for (std::thread& t : workers)
        t.join();
}

void prepareJob(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets, int count,
                cv::Mat& mixed, MixScratch& w, MixJob& job)
{
    makeTables(count, w);
    job.keyFrames = keyFrames;
    job.masks = masks;
    job.count = count;
    for (int i = 0; i < count; ++i)
        job.shown[i] = shiftRects(offsets[i], size, job.rects[i]);
    job.sumTable = w.sumTable.ptr<uchar>(0);
    job.weightTable = w.weightTable.ptr<uchar>(0);
    job.productTable = productTable().ptr<uchar>(0);
    job.vectorSums = w.vectorSums;
    job.vectorWeights = w.vectorWeights;
    job.integerProduct = productIsIntegerRounding();
#if defined(__SSE2__)
    job.byteShuffle = __builtin_cpu_supports("ssse3");
#else
    job.byteShuffle = false;
#endif
    job.mixed = &mixed;
}

// What a complete mix was made of, to tell whether `mixed` still holds it.
void rememberInputs(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
                    int count, const cv::Mat& mixed, MixScratch& w)
{
    MixScratch::Inputs& in = w.made;
    in.mixed = mixed.data;
    in.size = size;
    in.count = count;
    for (int i = 0; i < count; ++i) {
        in.keyFrames[i] = keyFrames[i].data;
        in.masks[i] = masks[i].data;
        in.offsets[i] = offsets[i];
    }
    w.changed = cv::Rect();
}

bool sameInputs(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets, int count,
                const cv::Mat& mixed, const MixScratch& w)
{
    const MixScratch::Inputs& in = w.made;
    if (in.mixed == nullptr || in.mixed != mixed.data || mixed.size() != size || mixed.type() != CV_8UC3 ||
        in.size != size || in.count != count)
        return false;
    for (int i = 0; i < count; ++i)
        if (in.keyFrames[i] != keyFrames[i].data || in.masks[i] != masks[i].data ||
            std::memcmp(&in.offsets[i], &offsets[i], sizeof(float)) != 0)
            return false;
    return true;
}

} // namespace

bool drawMix(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
             int count, cv::Mat& mixed, std::string* error, MixScratch* scratch)
{
    if (!checkMixInputs(size, keyFrames, masks, count, error))
        return false;
    MixScratch local;
    MixScratch& w = scratch ? *scratch : local;

    mixed.create(size, CV_8UC3);
    if (count == 0) {
        mixed.setTo(cv::Scalar::all(0));
    } else {
        MixJob job;
        prepareJob(size, keyFrames, masks, offsets, count, mixed, w, job);
        mixRegion(job, cv::Rect(0, 0, size.width, size.height), w);
    }
    rememberInputs(size, keyFrames, masks, offsets, count, mixed, w);
    return true;
}

void noteMaskChange(MixScratch& scratch, cv::Size size, float offset, cv::Rect maskRect)
{
    ShiftRects r;
    if (!shiftRects(offset, size, r))
        return;
    cv::Rect dst = maskRect & r.src;
    if (dst.empty())
        return;
    dst.x += r.dst.x - r.src.x;
    scratch.changed = scratch.changed.empty() ? dst : (scratch.changed | dst);
}

bool drawMixChanges(cv::Size size, const cv::Mat* keyFrames, const cv::Mat* masks, const float* offsets,
                    int count, cv::Mat& mixed, std::string* error, MixScratch& scratch)
{
    if (!sameInputs(size, keyFrames, masks, offsets, count, mixed, scratch))
        return drawMix(size, keyFrames, masks, offsets, count, mixed, error, &scratch);
    if (!checkMixInputs(size, keyFrames, masks, count, error))
        return false;
    const cv::Rect region = scratch.changed & cv::Rect(0, 0, size.width, size.height);
    if (!region.empty() && count > 0) {
        MixJob job;
        prepareJob(size, keyFrames, masks, offsets, count, mixed, scratch, job);
        mixRegion(job, region, scratch);
    }
    scratch.changed = cv::Rect();
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

cv::Rect brushRect(cv::Size size, int px, int py)
{
    const int R = size.width / 15;
    // Columns px-R .. px+R-1 and rows py-R .. py+R-1, within 1..W-1 and 1..H-1.
    const cv::Rect dab(px - R, py - R, 2 * R, 2 * R);
    const cv::Rect inside(1, 1, std::max(0, size.width - 1), std::max(0, size.height - 1));
    const cv::Rect r = dab & inside;
    return r.empty() ? cv::Rect() : r;
}

cv::Rect paintBrush(cv::Mat& mask, int px, int py)
{
    if (mask.empty() || mask.type() != CV_8UC1)
        return cv::Rect();
    const int W = mask.cols, H = mask.rows;
    int spread = (W * H) / 1000;
    if (spread < 1)
        spread = 1;  // pictures of fewer than 1000 pixels
    const float S = static_cast<float>(spread);
    const cv::Rect r = brushRect(mask.size(), px, py);
    for (int row = r.y; row < r.y + r.height; ++row) {
        const int b = row - py;
        uchar* m = mask.ptr<uchar>(row);
        for (int col = r.x; col < r.x + r.width; ++col) {
            const int a = col - px;
            const float v = 255 * std::exp(-static_cast<float>(a * a + b * b) / S);
            if (v > m[col])
                m[col] = static_cast<uchar>(v);
        }
    }
    return r;
}

} // namespace glyphora

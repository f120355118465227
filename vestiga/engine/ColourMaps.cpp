#include "engine/ColourMaps.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

#include <emmintrin.h>

namespace vestiga {

void backProject(const cv::Mat& pic, const cv::Mat& table, cv::Mat& map)
{
    static const int channels[] = {0, 1, 2};
    static const float range[] = {0, 256};
    static const float* ranges[] = {range, range, range};
    cv::calcBackProject(&pic, 1, channels, table, map, ranges, 1.0, true);
}

void backProjectionTable(const cv::Mat& hist, BinTable& out)
{
    // One pixel per bin, in the table's order; the level 16 * bin lies in it.
    cv::Mat bins(64, 64, CV_8UC3);
    for (int n = 0; n < 4096; ++n) {
        cv::Vec3b& p = bins.at<cv::Vec3b>(n / 64, n % 64);
        p[0] = static_cast<uchar>(16 * (n >> 8));
        p[1] = static_cast<uchar>(16 * ((n >> 4) & 15));
        p[2] = static_cast<uchar>(16 * (n & 15));
    }
    cv::Mat values;
    backProject(bins, hist, values);
    for (int n = 0; n < 4096; ++n)
        out[static_cast<size_t>(n)] = values.at<uchar>(n / 64, n % 64);
}

void nearestMap(cv::Size from, cv::Size to, NearestMap& out)
{
    out.from = from;
    out.to = to;
    cv::Mat colIndex(1, from.width, CV_32SC1), rowIndex(from.height, 1, CV_32SC1);
    for (int x = 0; x < from.width; ++x)
        colIndex.at<int>(0, x) = x;
    for (int y = 0; y < from.height; ++y)
        rowIndex.at<int>(y, 0) = y;
    cv::Mat cols, rows;
    cv::resize(colIndex, cols, cv::Size(to.width, 1), 0, 0, cv::INTER_NEAREST);
    cv::resize(rowIndex, rows, cv::Size(1, to.height), 0, 0, cv::INTER_NEAREST);
    out.cols.assign(cols.ptr<int>(0), cols.ptr<int>(0) + to.width);
    out.rows.resize(static_cast<size_t>(to.height));
    for (int y = 0; y < to.height; ++y)
        out.rows[static_cast<size_t>(y)] = rows.at<int>(y, 0);
}

void BinLookup::update(const cv::Mat& hist)
{
    const bool same = !builtFrom.empty() && builtFrom.type() == hist.type() && builtFrom.size == hist.size
                      && hist.isContinuous()
                      && std::memcmp(builtFrom.data, hist.data, hist.total() * hist.elemSize()) == 0;
    if (same)
        return;
    backProjectionTable(hist, table);
    builtFrom = hist.clone();
}

namespace {

// row[x + 1] = above[x + 1] + sums[x] for x = 0 .. W - 1, two at a time: the
// additions of exact integers give the same doubles in any grouping.
inline void addRow(const double* above, const int32_t* sums, double* row, int W)
{
    int x = 0;
    for (; x + 2 <= W; x += 2) {
        const __m128d s = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(sums + x)));
        _mm_storeu_pd(row + x + 1, _mm_add_pd(_mm_loadu_pd(above + x + 1), s));
    }
    for (; x < W; ++x)
        row[x + 1] = above[x + 1] + sums[x];
}

// The same in 32-bit integers, four at a time (no sum reaches 2^31).
inline void addRow(const int32_t* above, const int32_t* sums, int32_t* row, int W)
{
    int x = 0;
    for (; x + 4 <= W; x += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + x));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x + 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x + 1), _mm_add_epi32(a, s));
    }
    for (; x < W; ++x)
        row[x + 1] = above[x + 1] + sums[x];
}

template <class T>
void integralRows(const std::vector<int32_t>& sums, int y, int W, cv::Mat& I)
{
    T* row = I.ptr<T>(y + 1);
    row[0] = 0;
    addRow(I.ptr<T>(y), sums.data(), row, W);
}

} // namespace

int integralDepth(cv::Size size)
{
    const double largest = 255.0 * std::max(size.width, 0) * std::max(size.height, 0);
    return largest < 2147483648.0 ? CV_32S : CV_64F;
}

void mapsAndIntegrals(const cv::Mat& source, const NearestMap& map, const BinTable& skinTable,
                      const BinTable& bgTable, cv::Mat& picture, cv::Mat& skinMap, cv::Mat& bgMap, cv::Mat& intSkin,
                      cv::Mat& intBg)
{
    const cv::Size size = map.to;
    CV_Assert(source.type() == CV_8UC3 && source.size() == map.from && picture.type() == CV_8UC3
              && picture.size() == size && skinMap.type() == CV_8UC1 && bgMap.type() == CV_8UC1
              && skinMap.size() == size && bgMap.size() == size
              && (intSkin.type() == CV_32SC1 || intSkin.type() == CV_64FC1) && intBg.type() == intSkin.type()
              && intSkin.rows == size.height + 1 && intSkin.cols == size.width + 1 && intBg.size() == intSkin.size());
    const bool integers = intSkin.depth() == CV_32S;
    const int W = size.width;
    std::vector<int32_t> skSums(static_cast<size_t>(W)), bgSums(static_cast<size_t>(W));
    // I(y + 1, x + 1) = I(y, x + 1) + (sum of row y up to column x). Every
    // value is an integer below 2^31, exact in either type whatever the
    // order of the additions.
    intSkin.row(0).setTo(0);
    intBg.row(0).setTo(0);
    const int* cols = map.cols.data();
    // Columns read as one 4-byte word: those whose source pixel is followed by
    // another in its row (the word's last byte is the next pixel's), written
    // as one word too while another pixel follows in the picture's row (it
    // then overwrites that byte). The columns are in increasing order.
    int wordCols = 0;
    while (wordCols < W - 1 && cols[wordCols] < map.from.width - 1)
        ++wordCols;
    for (int y = 0; y < size.height; ++y) {
        const uchar* src = source.ptr<uchar>(map.rows[static_cast<size_t>(y)]);
        uchar* dst = picture.ptr<uchar>(y);
        uchar* sk = skinMap.ptr<uchar>(y);
        uchar* bg = bgMap.ptr<uchar>(y);
        int32_t skSum = 0, bgSum = 0;
        const auto add = [&](int x, int bin) {
            const uint8_t s = skinTable[static_cast<size_t>(bin)];
            const uint8_t b = bgTable[static_cast<size_t>(bin)];
            sk[x] = s;
            bg[x] = b;
            skSum += s;
            bgSum += b;
            skSums[static_cast<size_t>(x)] = skSum;
            bgSums[static_cast<size_t>(x)] = bgSum;
        };
        int x = 0;
        for (; x < wordCols; ++x) {
            uint32_t v;
            std::memcpy(&v, src + 3 * cols[x], 4);
            std::memcpy(dst + 3 * x, &v, 4);
            // colourBin of the word's first three bytes (little-endian).
            add(x, static_cast<int>(((v & 0xF0u) << 4) | ((v >> 8) & 0xF0u) | ((v >> 20) & 0x0Fu)));
        }
        for (; x < W; ++x) {
            const uchar* px = src + 3 * cols[x];
            uchar* out = dst + 3 * x;
            out[0] = px[0];
            out[1] = px[1];
            out[2] = px[2];
            add(x, colourBin(px));
        }
        if (integers) {
            integralRows<int32_t>(skSums, y, W, intSkin);
            integralRows<int32_t>(bgSums, y, W, intBg);
        } else {
            integralRows<double>(skSums, y, W, intSkin);
            integralRows<double>(bgSums, y, W, intBg);
        }
    }
}

} // namespace vestiga

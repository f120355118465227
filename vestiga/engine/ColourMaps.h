#pragma once
// The per-frame maps in one pass: each frame is scaled to the processed
// picture, each pixel of it turned into its skin and foreground values through lookup tables indexed by
// its colour bin, and both integral images are summed in the same pass.
//
// The colour tables are 16 x 16 x 16 histograms over the three channels, each
// channel's 0 .. 255 cut into bins of 16 levels, so a pixel's bin is
// (c0 / 16, c1 / 16, c2 / 16) and its back-projected value depends on that bin
// alone. The lookup tables are built by running the back-projection itself
// on one pixel of every bin.
#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

namespace vestiga {

using BinTable = std::array<uint8_t, 4096>;

// Index of a pixel's bin in a BinTable: (c0 / 16) * 256 + (c1 / 16) * 16 + c2 / 16.
inline int colourBin(const uint8_t* px) { return ((px[0] >> 4) << 8) | ((px[1] >> 4) << 4) | (px[2] >> 4); }

// The value cv::calcBackProject gives a pixel of each bin for a 16 x 16 x 16
// CV_32F table over the ranges 0 .. 256 (scale 1): the table entry rounded
// and saturated to 0 .. 255.
void backProjectionTable(const cv::Mat& hist, BinTable& out);

// A BinTable kept for a colour table: rebuilt by update() only when the
// table's values differ from those it was last built from.
struct BinLookup {
    BinTable table{};
    cv::Mat builtFrom;
    void update(const cv::Mat& hist);
};

// Per-pixel value of a colour table, as cv::calcBackProject gives it.
void backProject(const cv::Mat& pic, const cv::Mat& table, cv::Mat& map);

// Source column of every destination column and source row of every
// destination row of cv::resize with INTER_NEAREST from `from` to `to`,
// found by running that resize on pictures of column and row indices.
struct NearestMap {
    cv::Size from, to;
    std::vector<int> cols, rows;
};
void nearestMap(cv::Size from, cv::Size to, NearestMap& out);

// Depth of the integral images of a map of `size` whose values reach 255:
// CV_32S while the largest sum, 255 per pixel, stays below 2^31 (any map up
// to 2,900 x 2,900 pixels), else CV_64F.
int integralDepth(cv::Size size);

// From an 8-bit, 3-channel source: the processed picture (the source scaled
// to map.to with the nearest neighbour, as cv::resize would), both maps
// (8UC1) from the two lookup tables, and their integral images (both CV_32S
// or both CV_64F, one row and column larger, first row and column 0) equal
// to what cv::integral gives. The outputs must already have their sizes and
// types. The sums are integers below 2^31, summed in integers and stored
// exactly.
void mapsAndIntegrals(const cv::Mat& source, const NearestMap& map, const BinTable& skinTable,
                      const BinTable& bgTable, cv::Mat& picture, cv::Mat& skinMap, cv::Mat& bgMap, cv::Mat& intSkin,
                      cv::Mat& intBg);

} // namespace vestiga

// The one-pass maps against the OpenCV operations they replace: the bin
// lookup against cv::calcBackProject on every 24-bit colour; the scaling,
// maps and integral images against cv::resize, cv::calcBackProject and
// cv::integral.
#include "engine/ColourMaps.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using namespace vestiga;

namespace {

// A colour table with values below 0, fractions on both sides of .5 (and
// exactly .5), values above 255 and large ones, spread over the bins.
cv::Mat awkwardTable(uint64_t seed)
{
    const int sizes[] = {16, 16, 16};
    cv::Mat t(3, sizes, CV_32F);
    cv::RNG rng(seed);
    float* v = t.ptr<float>();
    const float special[] = {-3.0f, -0.5f, 0.0f, 0.49999997f, 0.5f, 1.5f, 2.5f, 254.5f, 255.0f, 255.49f, 255.5f,
                             256.0f, 1e9f, 180.0f, 179.99f};
    for (int n = 0; n < 4096; ++n)
        v[n] = n % 3 == 0 ? special[(n / 3) % 15] : rng.uniform(-20.0f, 300.0f);
    return t;
}

// Every 24-bit colour once: a 4096 x 4096 picture.
cv::Mat everyColour()
{
    cv::Mat pic(4096, 4096, CV_8UC3);
    for (int y = 0; y < 4096; ++y) {
        cv::Vec3b* row = pic.ptr<cv::Vec3b>(y);
        for (int x = 0; x < 4096; ++x) {
            const int c = y * 4096 + x;
            row[x] = cv::Vec3b(static_cast<uchar>(c >> 16), static_cast<uchar>(c >> 8), static_cast<uchar>(c));
        }
    }
    return pic;
}

} // namespace

TEST(ColourMaps, BinLookupEqualsTheBackProjectionOnEveryColour)
{
    const cv::Mat pic = everyColour();
    for (uint64_t seed : {1u, 2u}) {
        const cv::Mat table = awkwardTable(seed);
        BinTable lookup;
        backProjectionTable(table, lookup);
        cv::Mat expected;
        backProject(pic, table, expected);
        long mismatches = 0;
        for (int y = 0; y < pic.rows; ++y) {
            const uchar* src = pic.ptr<uchar>(y);
            const uchar* e = expected.ptr<uchar>(y);
            for (int x = 0; x < pic.cols; ++x)
                mismatches += lookup[static_cast<size_t>(colourBin(src + 3 * x))] != e[x];
        }
        EXPECT_EQ(mismatches, 0) << "seed " << seed;
    }
}

TEST(ColourMaps, OnePassEqualsResizeBackProjectionAndIntegral)
{
    cv::RNG rng(7);
    const std::pair<cv::Size, cv::Size> cases[] = {
        {cv::Size(640, 480), cv::Size(400, 300)},  {cv::Size(512, 384), cv::Size(400, 300)},
        {cv::Size(1280, 720), cv::Size(400, 225)}, {cv::Size(1, 1), cv::Size(1, 1)},
        {cv::Size(7, 13), cv::Size(400, 399)},     {cv::Size(333, 250), cv::Size(400, 300)},
        {cv::Size(1000, 21), cv::Size(400, 8)}};
    // The area is a view of the frame, as the image area is: inside it, and
    // in its bottom-right corner, where pixels are read up to the buffer's
    // last byte and not one beyond (which the address sanitizer would catch).
    for (int corner = 0; corner < 2; ++corner)
    for (const auto& c : cases) {
        const cv::Size from = c.first, size = c.second;
        cv::Mat frame(from.height + 4, from.width + 6, CV_8UC3);
        rng.fill(frame, cv::RNG::UNIFORM, 0, 256);
        const cv::Point at = corner ? cv::Point(6, 4) : cv::Point(3, 2);
        const cv::Mat source = frame(cv::Rect(at, from));
        const cv::Mat skinHist = awkwardTable(3), bgHist = awkwardTable(4);
        BinTable skinTable, bgTable;
        backProjectionTable(skinHist, skinTable);
        backProjectionTable(bgHist, bgTable);
        NearestMap nn;
        nearestMap(from, size, nn);
        cv::Mat pic(size, CV_8UC3, cv::Scalar::all(1)), skin(size, CV_8UC1), bg(size, CV_8UC1);
        cv::Mat ePic, eSkin, eBg;
        cv::resize(source, ePic, size, 0, 0, cv::INTER_NEAREST);
        backProject(ePic, skinHist, eSkin);
        backProject(ePic, bgHist, eBg);
        // Both kinds of integral image; stale values in the outputs must not matter.
        for (int depth : {CV_32S, CV_64F}) {
            cv::Mat intSkin(size.height + 1, size.width + 1, depth, cv::Scalar(5)),
                intBg(size.height + 1, size.width + 1, depth, cv::Scalar(-1));
            mapsAndIntegrals(source, nn, skinTable, bgTable, pic, skin, bg, intSkin, intBg);
            cv::Mat eIntSkin, eIntBg;
            cv::integral(eSkin, eIntSkin, depth);
            cv::integral(eBg, eIntBg, depth);
            EXPECT_EQ(cv::norm(pic, ePic, cv::NORM_INF), 0) << from << " to " << size;
            EXPECT_EQ(cv::norm(skin, eSkin, cv::NORM_INF), 0) << from << " to " << size;
            EXPECT_EQ(cv::norm(bg, eBg, cv::NORM_INF), 0) << from << " to " << size;
            ASSERT_TRUE(intSkin.isContinuous() && eIntSkin.isContinuous() && eIntSkin.type() == intSkin.type());
            EXPECT_EQ(std::memcmp(intSkin.data, eIntSkin.data, intSkin.total() * intSkin.elemSize()), 0) << size;
            EXPECT_EQ(std::memcmp(intBg.data, eIntBg.data, intBg.total() * intBg.elemSize()), 0) << size;
        }
    }
    // An all-white 400 x 400 picture with the largest value: the largest sums.
    cv::Mat white(400, 400, CV_8UC3, cv::Scalar::all(255)), pic(400, 400, CV_8UC3);
    NearestMap same;
    nearestMap(white.size(), white.size(), same);
    BinTable full;
    full.fill(255);
    cv::Mat m1(white.size(), CV_8UC1), m2(white.size(), CV_8UC1);
    cv::Mat i1(401, 401, CV_32S), i2(401, 401, CV_32S);
    mapsAndIntegrals(white, same, full, full, pic, m1, m2, i1, i2);
    EXPECT_EQ(i1.at<int32_t>(400, 400), 255 * 400 * 400);
}

TEST(ColourMaps, IntegralsAreIntegersWhileTheLargestSumFits)
{
    // 255 * w * h < 2^31 holds up to 8,421,504 pixels.
    EXPECT_EQ(integralDepth(cv::Size(400, 400)), CV_32S);
    EXPECT_EQ(integralDepth(cv::Size(2901, 2901)), CV_32S);
    EXPECT_EQ(integralDepth(cv::Size(2902, 2902)), CV_64F);
    EXPECT_EQ(integralDepth(cv::Size(8421504, 1)), CV_32S);
    EXPECT_EQ(integralDepth(cv::Size(8421505, 1)), CV_64F);
    EXPECT_EQ(integralDepth(cv::Size(4096, 4096)), CV_64F);
    EXPECT_EQ(integralDepth(cv::Size(100000, 100000)), CV_64F); // no overflow in the test itself
}

TEST(ColourMaps, LookupFollowsEveryChangeOfItsTable)
{
    cv::Mat hist = awkwardTable(5);
    BinLookup lookup;
    BinTable expected;
    for (int round = 0; round < 3; ++round) {
        lookup.update(hist);
        backProjectionTable(hist, expected);
        EXPECT_TRUE(lookup.table == expected) << round;
        // A change in place, in one entry, must be seen.
        const int k = round * 1000 + 7;
        hist.ptr<float>()[k] = static_cast<float>(expected[static_cast<size_t>(k)] + 17);
    }
    // A new table of the same size is seen too.
    hist = awkwardTable(6);
    lookup.update(hist);
    backProjectionTable(hist, expected);
    EXPECT_TRUE(lookup.table == expected);
}

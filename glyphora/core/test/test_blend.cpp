#include "core/Blend.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace glyphora;

namespace {

cv::Mat colour(cv::Size s, int a, int b, int c) { return cv::Mat(s, CV_8UC3, cv::Scalar(a, b, c)); }
cv::Mat grey(cv::Size s, int v) { return cv::Mat(s, CV_8UC1, cv::Scalar(v)); }

cv::Vec3b px(const cv::Mat& m, int row, int col) { return m.at<cv::Vec3b>(row, col); }

} // namespace

TEST(Blend, PrepareFrameReordersChannelsAndFlips)
{
    cv::Mat frame = colour({4, 3}, 0, 0, 0);
    frame.at<cv::Vec3b>(0, 1) = cv::Vec3b(10, 20, 30);
    cv::Mat out;
    ASSERT_TRUE(prepareFrame(frame, out));
    EXPECT_EQ(px(out, 2, 1), cv::Vec3b(20, 30, 10));
    EXPECT_EQ(px(out, 0, 1), cv::Vec3b(0, 0, 0));
    cv::Mat grey1 = grey({4, 3}, 1);
    EXPECT_FALSE(prepareFrame(grey1, out));
    EXPECT_EQ(out.size(), cv::Size(4, 3));  // left as it was
}

TEST(Blend, RunningAverageAndBufferBlend)
{
    const cv::Size s(5, 4);
    cv::Mat avg;
    accumulateKeyFrame(avg, colour(s, 0, 0, 0), 0);
    accumulateKeyFrame(avg, colour(s, 90, 90, 90), 1);
    EXPECT_EQ(px(avg, 1, 1), cv::Vec3b(45, 45, 45));
    accumulateKeyFrame(avg, colour(s, 180, 180, 180), 2);
    EXPECT_EQ(px(avg, 3, 4), cv::Vec3b(90, 90, 90));

    cv::Mat out;
    blendHalf(colour(s, 100, 0, 255), colour(s, 51, 255, 255), out);
    EXPECT_EQ(px(out, 0, 0), cv::Vec3b(76, 128, 255));  // 75.5 and 127.5 round to even
}

TEST(Blend, MixOfOneKeyFrameAndOfTwoMasks)
{
    const cv::Size s(8, 2);
    cv::Mat kf = colour(s, 0, 100, 255);
    cv::Mat mask = grey(s, 50);
    float offset = 0.f;
    cv::Mat mixed;
    std::string err;
    ASSERT_TRUE(drawMix(s, &kf, &mask, &offset, 1, mixed, &err)) << err;
    // weight 255 * 50 / 50 = 255, then * 255 / 256.
    EXPECT_EQ(px(mixed, 1, 3), cv::Vec3b(0, 100, 254));

    cv::Mat kfs[2] = {colour(s, 200, 100, 0), colour(s, 50, 60, 70)};
    cv::Mat masks[2] = {grey(s, 255), grey(s, 0)};
    float offsets[2] = {0.f, 0.f};
    masks[1].at<uchar>(0, 0) = 255;
    ASSERT_TRUE(drawMix(s, kfs, masks, offsets, 2, mixed, &err)) << err;
    // Masks 255 and 0: sum round(127.5) = 128, weight 127.5 * 255 / 128 -> 254.
    EXPECT_EQ(px(mixed, 1, 1), cv::Vec3b(198, 99, 0));  // 200*254/256 = 198.4, 100*254/256 = 99.2
    // Masks 255 and 255: sum saturates at 255, each weight 127.5 -> 128.
    EXPECT_EQ(px(mixed, 0, 0), cv::Vec3b(100 + 25, 50 + 30, 0 + 35));
}

TEST(Blend, MixShiftsKeyFrames)
{
    const cv::Size s(8, 2);
    cv::Mat kf = colour(s, 0, 0, 0);
    for (int c = 0; c < 8; ++c)
        kf.col(c).setTo(cv::Scalar(c * 10, 0, 0));
    cv::Mat mask = grey(s, 255);
    cv::Mat mixed;
    float offset = 0.25f;
    ASSERT_TRUE(drawMix(s, &kf, &mask, &offset, 1, mixed));
    EXPECT_EQ(px(mixed, 0, 0), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(px(mixed, 0, 1), cv::Vec3b(0, 0, 0));  // leftmost quarter gets nothing
    EXPECT_EQ(px(mixed, 0, 2)[0], 0);                // source column 0
    EXPECT_EQ(px(mixed, 1, 7)[0], 50);               // source column 5: 50 * 255/256 = 49.8
    offset = -0.5f;
    ASSERT_TRUE(drawMix(s, &kf, &mask, &offset, 1, mixed));
    EXPECT_EQ(px(mixed, 0, 0)[0], 40);  // source column 4
    EXPECT_EQ(px(mixed, 0, 4), cv::Vec3b(0, 0, 0));
    offset = 1.0f;  // shifted out of the picture entirely
    ASSERT_TRUE(drawMix(s, &kf, &mask, &offset, 1, mixed));
    EXPECT_EQ(cv::countNonZero(mixed.reshape(1)), 0);

    ShiftRects r;
    ASSERT_TRUE(shiftRects(0.25f, {400, 300}, r));
    EXPECT_EQ(r.dst, cv::Rect(100, 0, 300, 300));
    EXPECT_EQ(r.src, cv::Rect(0, 0, 300, 300));
    EXPECT_FALSE(shiftRects(-1.5f, {400, 300}, r));
}

TEST(Blend, MixRefusesBadInputsAndIsBlackWithoutKeyFrames)
{
    const cv::Size s(8, 2);
    cv::Mat mixed;
    ASSERT_TRUE(drawMix(s, nullptr, nullptr, nullptr, 0, mixed));
    EXPECT_EQ(mixed.size(), s);
    EXPECT_EQ(cv::countNonZero(mixed.reshape(1)), 0);
    cv::Mat kf = colour({7, 2}, 1, 2, 3), mask = grey(s, 50);
    float offset = 0;
    std::string err;
    EXPECT_FALSE(drawMix(s, &kf, &mask, &offset, 1, mixed, &err));
    EXPECT_NE(err.find("key frame 1"), std::string::npos);
    EXPECT_FALSE(drawMix(s, &kf, &mask, &offset, 21, mixed, &err));
}

TEST(Blend, DimmingByMask)
{
    const cv::Size s(3, 1);
    cv::Mat img = colour(s, 200, 100, 255);
    cv::Mat mask(s, CV_8UC1);
    mask.at<uchar>(0, 0) = 0;
    mask.at<uchar>(0, 1) = 200;
    mask.at<uchar>(0, 2) = 255;
    cv::Mat out;
    dimByMask(img, mask, out);
    EXPECT_EQ(px(out, 0, 0), cv::Vec3b(82, 41, 105));    // * 105/256: 82.03, 41.02, 104.6
    EXPECT_EQ(px(out, 0, 1), cv::Vec3b(156, 78, 199));   // * 200/256: 156.25, 78.1, 199.2
    EXPECT_EQ(px(out, 0, 2), cv::Vec3b(199, 100, 254));  // * 255/256: 199.2, 99.6, 254.0
    dimByMask(img, cv::Mat(), out);
    EXPECT_EQ(px(out, 0, 0), cv::Vec3b(200, 100, 255));
}

TEST(Blend, BrushRaisesTheMaskOnly)
{
    cv::Mat mask = grey({400, 300}, 50);
    paintBrush(mask, 100, 100);
    EXPECT_EQ(mask.at<uchar>(100, 100), 255);
    EXPECT_EQ(mask.at<uchar>(100, 125), 50);  // 255 * exp(-625/120) = 1.4 < 50
    EXPECT_EQ(mask.at<uchar>(100, 126), 50);  // outside the radius 26
    cv::Mat zero = grey({400, 300}, 0);
    paintBrush(zero, 100, 100);
    EXPECT_EQ(zero.at<uchar>(100, 125), 1);
    EXPECT_EQ(zero.at<uchar>(100, 75), 1);
    EXPECT_EQ(zero.at<uchar>(100, 127), 0);
    paintBrush(zero, 0, 0);  // row 0 and column 0 are never touched
    EXPECT_EQ(zero.at<uchar>(0, 0), 0);
    EXPECT_EQ(zero.at<uchar>(0, 5), 0);
    EXPECT_GT(zero.at<uchar>(1, 1), 200);
}

namespace {

// The blend written directly with OpenCV's image operations, one step after
// the other on regions of interest.
cv::Mat referenceMix(cv::Size size, const std::vector<cv::Mat>& kf, const std::vector<cv::Mat>& masks,
                     const std::vector<float>& offsets)
{
    const int n = static_cast<int>(kf.size());
    cv::Mat sum = cv::Mat::zeros(size, CV_8UC1);
    cv::Mat mixed = cv::Mat::zeros(size, CV_8UC3);
    for (int i = 0; i < n; ++i) {
        ShiftRects r;
        if (!shiftRects(offsets[i], size, r))
            continue;
        cv::Mat s = sum(r.dst);
        cv::addWeighted(s, 1.0, masks[i](r.src), 1.0 / n, 0.0, s);
    }
    for (int i = 0; i < n; ++i) {
        ShiftRects r;
        if (!shiftRects(offsets[i], size, r))
            continue;
        cv::Mat weight, planes[3], part;
        cv::divide(masks[i](r.src), sum(r.dst), weight, static_cast<double>(255.0f / n));
        cv::split(kf[i](r.src), planes);
        for (cv::Mat& p : planes)
            cv::multiply(p, weight, p, 1.0 / 256);
        cv::merge(planes, 3, part);
        cv::Mat dst = mixed(r.dst);
        cv::add(dst, part, dst);
    }
    return mixed;
}

} // namespace

TEST(Blend, MixMatchesTheImageOperationsOnRandomPictures)
{
    const cv::Size size(61, 17);
    cv::RNG rng(12345);
    MixScratch scratch;
    for (int n : {1, 2, 3, 7, 20, 3}) {
        std::vector<cv::Mat> kf(n), masks(n);
        std::vector<float> offsets(n);
        for (int i = 0; i < n; ++i) {
            kf[i].create(size, CV_8UC3);
            rng.fill(kf[i], cv::RNG::UNIFORM, 0, 256);
            masks[i].create(size, CV_8UC1);
            rng.fill(masks[i], cv::RNG::UNIFORM, 0, 256);
            masks[i].colRange(0, 5).setTo(0);
            masks[i].colRange(5, 9).setTo(255);
            offsets[i] = static_cast<float>(rng.uniform(-0.6, 0.6));
        }
        offsets[0] = 0.f;
        cv::Mat mixed;
        ASSERT_TRUE(drawMix(size, kf.data(), masks.data(), offsets.data(), n, mixed, nullptr, &scratch));
        const cv::Mat expected = referenceMix(size, kf, masks, offsets);
        EXPECT_EQ(cv::norm(mixed, expected, cv::NORM_INF), 0.0) << n;
    }
}

namespace {

struct RandomKeyFrames {
    std::vector<cv::Mat> kf, masks;
    std::vector<float> offsets;
};

// n random key frames of `size`; masks mix random values with runs of 0 and
// 255 (zero sums, saturated sums) and shifts both ways, some out of the picture.
RandomKeyFrames randomKeyFrames(cv::Size size, int n, cv::RNG& rng)
{
    RandomKeyFrames r;
    r.kf.resize(n);
    r.masks.resize(n);
    r.offsets.resize(n);
    for (int i = 0; i < n; ++i) {
        r.kf[i].create(size, CV_8UC3);
        rng.fill(r.kf[i], cv::RNG::UNIFORM, 0, 256);
        r.masks[i].create(size, CV_8UC1);
        rng.fill(r.masks[i], cv::RNG::UNIFORM, 0, 256);
        const int band = rng.uniform(0, size.width - 8);
        r.masks[i].colRange(band, band + 4).setTo(0);
        r.masks[i].colRange(band + 4, band + 8).setTo(255);
        r.offsets[i] = static_cast<float>(rng.uniform(-0.6, 0.6));
    }
    r.offsets[0] = 0.f;
    if (n > 3)
        r.offsets[3] = -1.0f;
    return r;
}

// The brush as a direct loop over the dab's offsets.
void referenceBrush(cv::Mat& mask, int px, int py)
{
    const int W = mask.cols, H = mask.rows, R = W / 15;
    const float S = static_cast<float>(std::max(1, (W * H) / 1000));
    for (int a = -R; a < R; ++a)
        for (int b = -R; b < R; ++b) {
            const int col = px + a, row = py + b;
            if (col <= 0 || col >= W || row <= 0 || row >= H)
                continue;
            const float v = 255 * std::exp(-static_cast<float>(a * a + b * b) / S);
            uchar& m = mask.at<uchar>(row, col);
            if (v > m)
                m = static_cast<uchar>(v);
        }
}

} // namespace

// Every key-frame count, widths that leave partial vector blocks, and a
// picture large enough to be split between worker threads.
TEST(Blend, MixMatchesTheImageOperationsForEveryCount)
{
    cv::RNG rng(2024);
    MixScratch scratch;
    cv::Mat mixed;
    for (int n = 1; n <= kMaxKeyFrames; ++n) {
        const cv::Size size(40 + 7 * n, 9);
        const RandomKeyFrames r = randomKeyFrames(size, n, rng);
        ASSERT_TRUE(drawMix(size, r.kf.data(), r.masks.data(), r.offsets.data(), n, mixed, nullptr, &scratch));
        EXPECT_EQ(cv::norm(mixed, referenceMix(size, r.kf, r.masks, r.offsets), cv::NORM_INF), 0.0) << n;
    }
    const cv::Size large(640, 64);
    const RandomKeyFrames r = randomKeyFrames(large, kMaxKeyFrames, rng);
    ASSERT_TRUE(drawMix(large, r.kf.data(), r.masks.data(), r.offsets.data(), kMaxKeyFrames, mixed));
    EXPECT_EQ(cv::norm(mixed, referenceMix(large, r.kf, r.masks, r.offsets), cv::NORM_INF), 0.0);
}

TEST(Blend, BrushDabsMatchTheDirectLoopAndStayInTheirRectangle)
{
    cv::RNG rng(77);
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(97, 31), cv::Size(14, 20)}) {
        cv::Mat mask(size, CV_8UC1);
        rng.fill(mask, cv::RNG::UNIFORM, 0, 256);
        cv::Mat expected = mask.clone();
        for (const cv::Point p : {cv::Point(0, 0), cv::Point(size.width / 2, size.height / 3),
                                  cv::Point(size.width - 1, size.height + 5), cv::Point(-30, 10)}) {
            const cv::Mat before = mask.clone();
            const cv::Rect reached = paintBrush(mask, p.x, p.y);
            referenceBrush(expected, p.x, p.y);
            EXPECT_EQ(cv::norm(mask, expected, cv::NORM_INF), 0.0) << size << p;
            EXPECT_EQ(reached, brushRect(size, p.x, p.y));
            cv::Mat outside = mask != before;
            if (!reached.empty())
                outside(reached).setTo(0);
            EXPECT_EQ(cv::countNonZero(outside), 0) << size << p;
        }
    }
}

// Dabs followed by a re-blend of what they reached give the complete mix;
// when anything else changed since the last complete mix, the whole picture
// is recomposed.
TEST(Blend, MixOfTheChangesEqualsTheCompleteMix)
{
    cv::RNG rng(99);
    const cv::Size size(320, 96);
    RandomKeyFrames r = randomKeyFrames(size, 6, rng);
    r.offsets[1] = 0.3f;
    r.offsets[2] = -0.25f;
    MixScratch scratch;
    cv::Mat mixed, expected;
    ASSERT_TRUE(drawMix(size, r.kf.data(), r.masks.data(), r.offsets.data(), 6, mixed, nullptr, &scratch));
    auto dab = [&](int i, int px, int py) {
        noteMaskChange(scratch, size, r.offsets[i], paintBrush(r.masks[i], px, py));
    };
    auto complete = [&] {
        drawMix(size, r.kf.data(), r.masks.data(), r.offsets.data(), 6, expected);
        return expected;
    };
    for (int step = 0; step < 12; ++step) {
        const int i = step % 3;
        dab(i, rng.uniform(-20, size.width + 20), rng.uniform(-20, size.height + 20));
        if (step % 4 == 3)
            dab((i + 1) % 3, rng.uniform(0, size.width), rng.uniform(0, size.height));  // two dabs, one blend
        ASSERT_TRUE(drawMixChanges(size, r.kf.data(), r.masks.data(), r.offsets.data(), 6, mixed, nullptr, scratch));
        ASSERT_EQ(cv::norm(mixed, complete(), cv::NORM_INF), 0.0) << step;
    }
    // A dab on a key frame shifted out of the picture changes nothing.
    dab(3, 100, 50);
    EXPECT_TRUE(scratch.changed.empty());

    // A new shift, a key frame fewer, another output picture: whole mixes.
    dab(1, 160, 40);
    r.offsets[1] = 0.1f;
    ASSERT_TRUE(drawMixChanges(size, r.kf.data(), r.masks.data(), r.offsets.data(), 6, mixed, nullptr, scratch));
    EXPECT_EQ(cv::norm(mixed, complete(), cv::NORM_INF), 0.0);
    dab(0, 60, 60);
    ASSERT_TRUE(drawMixChanges(size, r.kf.data(), r.masks.data(), r.offsets.data(), 5, mixed, nullptr, scratch));
    drawMix(size, r.kf.data(), r.masks.data(), r.offsets.data(), 5, expected);
    EXPECT_EQ(cv::norm(mixed, expected, cv::NORM_INF), 0.0);
    cv::Mat other(size, CV_8UC3, cv::Scalar::all(7));
    dab(0, 200, 30);
    ASSERT_TRUE(drawMixChanges(size, r.kf.data(), r.masks.data(), r.offsets.data(), 5, other, nullptr, scratch));
    drawMix(size, r.kf.data(), r.masks.data(), r.offsets.data(), 5, expected);
    EXPECT_EQ(cv::norm(other, expected, cv::NORM_INF), 0.0);
}

#include "core/TrackingTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using glyphora::TrackingTable;
using media::MovieTime;

namespace {

// A line as the tracker writes it: "%f %f %f %f %f %f %f \n".
std::string trackLine(float a, float b, float c, float d, float e, float f, float t)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "%f %f %f %f %f %f %f \n", a, b, c, d, e, f, t);
    return buf;
}

std::string threeLines()
{
    return trackLine(0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 40) +
           trackLine(1.1f, 1.2f, 1.3f, 1.4f, 1.5f, 1.6f, 80) +
           trackLine(2.1f, 2.2f, 2.3f, 2.4f, 2.5f, 2.6f, 120);
}

MovieTime ms(int64_t millis) { return MovieTime{millis * 600 / 1000, 600, 0}; }

} // namespace

TEST(TrackingTable, LoadsEveryLineOfATrackerFile)
{
    TrackingTable t;
    std::string err;
    ASSERT_TRUE(t.parse(threeLines(), "three", &err)) << err;
    ASSERT_EQ(t.lineCount(), 3);
    for (int line = 1; line <= 3; ++line)
        for (int c = 0; c < 6; ++c)
            EXPECT_FLOAT_EQ(t.coords(c)[line], (line - 1) + 0.1f * (c + 1)) << line << " " << c;
    EXPECT_FLOAT_EQ(t.timeCode(1), 40.f);
    EXPECT_FLOAT_EQ(t.timeCode(3), 120.f);
    EXPECT_FLOAT_EQ(t.timeCode(0), 120.f);  // the last line's time, as the first pass leaves it
    EXPECT_EQ(t.coords(0)[0], 0.f);
    EXPECT_EQ(t.coords(6), nullptr);
}

TEST(TrackingTable, LastLineWithoutNewlineAndTrailingBlanksAndCrlf)
{
    TrackingTable t;
    std::string err;
    ASSERT_TRUE(t.parse("1 2 3 4 5 6 40\n1 2 3 4 5 6 80", "x", &err)) << err;
    EXPECT_EQ(t.lineCount(), 2);
    ASSERT_TRUE(t.parse("1 2 3 4 5 6 40 \r\n1 2 3 4 5 6 80\r\n\n  \n", "x", &err)) << err;
    EXPECT_EQ(t.lineCount(), 2);
    EXPECT_FLOAT_EQ(t.timeCode(2), 80.f);
    ASSERT_TRUE(t.parse("+1 -2 3e-1 4 5 6 40\n", "x", &err)) << err;
    EXPECT_FLOAT_EQ(t.coords(1)[1], -2.f);
    EXPECT_FLOAT_EQ(t.coords(2)[1], 0.3f);
}

TEST(TrackingTable, RefusesMalformedFilesNamingTheLineAndKeepsThePreviousTable)
{
    TrackingTable t;
    ASSERT_TRUE(t.parse(threeLines(), "good", nullptr));
    const float* before = t.coords(0);

    struct Case {
        const char* text;
        const char* expect;  // part of the message
    } cases[] = {
        {"1 2 3 4 5 6 40\n1 2 3 4 5 80\n", "line 2: expected 7 numbers, found 6"},
        {"1 2 3 4 5 6 40\n1 2 x 4 5 6 80\n", "line 2: 'x' is not a number"},
        {"1 2 3 4 5 6 40\n1 2 3 4 5 nan 80\n", "line 2: 'nan' is not a finite number"},
        {"1 2 3 4 5 6 inf\n", "line 1: 'inf' is not a finite number"},
        {"1 2 3 4 5 6 40 7\n", "line 1: more than 7 numbers"},
        {"1 2 3 4 5 6 40\n\n1 2 3 4 5 6 80\n", "line 2: empty line"},
        {"1,5 2 3 4 5 6 40\n", "line 1: '1,5' is not a number"},
        {"1 2 3 4 5 6 1e99\n", "line 1: '1e99' is out of range"},
        {"", "is empty"},
        {"\n  \n", "is empty"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_FALSE(t.parse(c.text, "bad.txt", &err)) << c.text;
        EXPECT_NE(err.find(c.expect), std::string::npos) << "message: " << err;
        EXPECT_NE(err.find("bad.txt"), std::string::npos) << err;
        EXPECT_EQ(t.lineCount(), 3);
        EXPECT_EQ(t.coords(0), before);
        EXPECT_FLOAT_EQ(t.timeCode(3), 120.f);
    }
}

TEST(TrackingTable, LoadFromDiskAndMissingFile)
{
    const std::string path = std::string(TEST_BINARY_DIR) + "/tracking_three.txt";
    {
        std::ofstream f(path, std::ios::binary);
        f << threeLines();
    }
    TrackingTable t;
    std::string err;
    ASSERT_TRUE(t.load(path, &err)) << err;
    EXPECT_EQ(t.lineCount(), 3);
    EXPECT_FALSE(t.load(path + ".missing", &err));
    EXPECT_NE(err.find("tracking_three.txt.missing"), std::string::npos) << err;
    EXPECT_EQ(t.lineCount(), 3);
    EXPECT_FALSE(t.load(TEST_BINARY_DIR, &err));
    EXPECT_NE(err.find("folder"), std::string::npos) << err;
    EXPECT_EQ(t.lineCount(), 3);
}

TEST(TrackingTable, HostileInputEndsInABoundedMessage)
{
    TrackingTable t;
    std::string err;
    // A file beyond the size cap is refused before it is read (a sparse file:
    // no disk space used).
    const std::string big = std::string(TEST_BINARY_DIR) + "/tracking_big.txt";
    std::filesystem::remove(big);
    std::ofstream(big) << threeLines();
    std::filesystem::resize_file(big, (256u << 20) + 1);
    EXPECT_FALSE(t.load(big, &err));
    EXPECT_NE(err.find("larger than 256 MiB"), std::string::npos) << err;
    std::filesystem::remove(big);
    // A binary or huge token is quoted short and escaped.
    const std::string line = std::string("1 2 \0\x1b[2J\xff", 10) + std::string(1 << 20, '7') + " 4 5 6 7\n";
    EXPECT_FALSE(t.parse(line, "bin.track", &err));
    EXPECT_LT(err.size(), 200u) << err.substr(0, 200);
    EXPECT_EQ(err.find('\0'), std::string::npos);
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_NE(err.find("line 1: '"), std::string::npos) << err.substr(0, 200);
}

TEST(TrackingTable, GetFrameNbMapsMovieTimesToLines)
{
    TrackingTable t;
    EXPECT_EQ(t.getFrameNb(ms(40)), 0);  // nothing loaded
    ASSERT_TRUE(t.parse(threeLines(), "x", nullptr));
    EXPECT_EQ(t.getFrameNb(ms(0)), 1);
    EXPECT_EQ(t.getFrameNb(ms(40)), 1);
    EXPECT_EQ(t.getFrameNb(MovieTime{246, 6000, 0}), 2);  // 41 ms
    EXPECT_EQ(t.getFrameNb(ms(80)), 2);
    EXPECT_EQ(t.getFrameNb(ms(120)), 3);
    EXPECT_EQ(t.getFrameNb(ms(5000)), 3);  // stops at the last line
    EXPECT_EQ(t.getFrameNb(MovieTime{-600, 600, 0}), 1);

    // 1234 at scale 600 is 2056 ms (2056.67 truncated).
    ASSERT_TRUE(t.parse("0 0 0 0 0 0 2055.5\n0 0 0 0 0 0 2056\n0 0 0 0 0 0 2056.5\n", "x", nullptr));
    EXPECT_EQ(t.getFrameNb(MovieTime{1234, 600, 0}), 2);
}

TEST(TrackingTable, RateFromTheLeadingIncreasingTimeCodes)
{
    TrackingTable t;
    std::string text;
    for (int i = 1; i <= 25; ++i)
        text += trackLine(0, 0, 0, 0, 0, 0, 40.f * i);
    ASSERT_TRUE(t.parse(text, "x", nullptr));
    EXPECT_FLOAT_EQ(t.rate(), 25.f);

    // The run stops at the first time code that does not increase.
    ASSERT_TRUE(t.parse("0 0 0 0 0 0 0\n0 0 0 0 0 0 100\n0 0 0 0 0 0 200\n0 0 0 0 0 0 200\n"
                        "0 0 0 0 0 0 900\n",
                        "x", nullptr));
    EXPECT_FLOAT_EQ(t.rate(), 10.f);
    ASSERT_TRUE(t.parse("0 0 0 0 0 0 40\n", "x", nullptr));
    EXPECT_EQ(t.rate(), 0.f);
    ASSERT_TRUE(t.parse("0 0 0 0 0 0 40\n0 0 0 0 0 0 40\n", "x", nullptr));
    EXPECT_EQ(t.rate(), 0.f);
    t.setRate(12.5f);
    EXPECT_EQ(t.rate(), 12.5f);
}

TEST(TrackingTable, SpanByRate)
{
    using glyphora::spanByRate;
    // rate 25, 2 s to 2.5 s: first line 50, duration 12 (12.5 truncated).
    auto s = spanByRate(MovieTime{1200, 600, 0}, MovieTime{1500, 600, 0}, 25.f);
    EXPECT_EQ(s.first, 50);
    EXPECT_EQ(s.duration, 12);
    s = spanByRate(MovieTime{1200, 600, 0}, MovieTime{1500, 600, 0}, 0.f);
    EXPECT_EQ(s.first, 0);
    EXPECT_EQ(s.duration, 0);
    s = spanByRate(MovieTime{1500, 600, 0}, MovieTime{1200, 600, 0}, 25.f);
    EXPECT_EQ(s.first, 62);
    EXPECT_EQ(s.duration, -12);
    s = spanByRate(MovieTime{1500, 0, 0}, MovieTime{1200, 600, 0}, 25.f);
    EXPECT_EQ(s.first, 0);
}

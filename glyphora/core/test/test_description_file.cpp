#include "core/DescriptionFile.h"
#include "core/TrackingTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace glyphora;
using media::MovieTime;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

DescriptionInputs knownInputs()
{
    DescriptionInputs in;
    in.videoFile = "/data/clips/sign.mov";
    in.begin = MovieTime{1500, 600, 0};
    in.end = MovieTime{2400, 600, 0};
    in.configuration[1][0] = 1;
    in.configuration[4][9] = 1;
    in.values.movCat = 3;
    in.values.symCat = 4;
    in.values.symAngle = 2.356425f;
    in.values.orientation = -1.5f;
    in.values.amplitude = 0.25f;
    in.values.moyrx = 0.1f;
    in.values.moylx = 0.3f;
    in.values.moyhx = 0.2f;
    in.values.moyry = 0.5f;
    in.values.moyly = 0.4f;
    in.values.moyhy = 0.1f;
    return in;
}

// A tracking table from columns given as functions of the line.
template <class FX, class FY>
TrackingTable tableOf(int n, FX fx, FY fy)
{
    std::string text;
    char buf[256];
    for (int i = 1; i <= n; ++i) {
        std::snprintf(buf, sizeof buf, "%f %f 0 0 0 0 %f \n", fx(i), fy(i), 40.0 * i);
        text += buf;
    }
    TrackingTable t;
    EXPECT_TRUE(t.parse(text, "x", nullptr));
    return t;
}

std::vector<std::string> tokens(const std::string& s)
{
    std::vector<std::string> out;
    std::istringstream is(s);
    std::string tok;
    while (is >> tok)
        out.push_back(tok);
    return out;
}

} // namespace

TEST(DescriptionFile, LineByteForByte)
{
    std::string text, err;
    ASSERT_TRUE(descriptionText(knownInputs(), text, &err)) << err;
    // Digits column by column: cell (row 1, col 0) is i = 1, cell (4, 9) is i = 49.
    const std::string digits = "01" + std::string(47, '0') + "1";
    EXPECT_EQ(text, "sign.mov 25 40 " + digits +
                        "3 4 2.356425 -1.500000 0.250000 0.000000 0.350000 -0.200000 0.100000 ");
}

TEST(DescriptionFile, RelativePositionsBySymmetry)
{
    DescriptionInputs in = knownInputs();
    in.values.symCat = 1;
    std::string text;
    ASSERT_TRUE(descriptionText(in, text));
    EXPECT_NE(text.find("3 1 "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 37), "-0.100000 0.400000 0.200000 0.100000 ");
    EXPECT_EQ(descriptionConsoleLine(in.values), "-0.100000 0.400000 0.200000 0.100000 \n");

    in.values.symCat = 2;
    ASSERT_TRUE(descriptionText(in, text));
    EXPECT_EQ(text.substr(text.size() - 37), "0.100000 0.300000 0.200000 -0.100000 ");
    EXPECT_EQ(descriptionConsoleLine(in.values), "");
}

TEST(DescriptionFile, NamesTimesAndDefaults)
{
    DescriptionInputs in;  // nothing drawn, no matrix
    in.videoFile = "plain.avi";
    in.begin = MovieTime{-59, 600, 0};  // -0.98 tenths truncated toward zero
    in.end = MovieTime{3599, 600, 0};   // 59.98 tenths
    std::string text;
    ASSERT_TRUE(descriptionText(in, text));
    EXPECT_EQ(text, "plain.avi 0 59 " + std::string(50, '0') +
                        "0 0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 ");
    in.videoFile = "/dir/";
    ASSERT_TRUE(descriptionText(in, text));
    EXPECT_EQ(text.substr(0, 3), " 0 ");
    in.begin.scale = 0;
    std::string err;
    EXPECT_FALSE(descriptionText(in, text, &err));
    EXPECT_FALSE(err.empty());
    // Non-finite values never reach the file.
    EXPECT_EQ(formatFixed6(std::nan("")), "0.000000");
    EXPECT_EQ(formatFixed6(1.0 / 0.0), "0.000000");
    EXPECT_EQ(formatFixed6(0.0000005), "0.000000");  // printf's rounding of the binary value
    EXPECT_EQ(formatFixed6(0.0000015), "0.000002");
    EXPECT_EQ(formatFixed6(-1e-7), "-0.000000");
    EXPECT_EQ(formatFixed6(1234.5), "1234.500000");
}

TEST(DescriptionFile, SaveWritesNameDotSgnAndRefusesMissingName)
{
    const std::string base = std::string(TEST_BINARY_DIR) + "/descr_out";
    std::remove((base + ".sgn").c_str());
    std::string err;
    EXPECT_FALSE(saveDescription("", knownInputs(), &err, nullptr));
    EXPECT_NE(err.find("no picture name"), std::string::npos);

    DescriptionInputs in = knownInputs();
    in.values.symCat = 1;
    std::FILE* console = std::tmpfile();
    ASSERT_TRUE(saveDescription(base, in, &err, console)) << err;
    std::string expected;
    ASSERT_TRUE(descriptionText(in, expected));
    EXPECT_EQ(readFile(base + ".sgn"), expected);  // no final newline
    std::rewind(console);
    char buf[128] = {};
    ASSERT_NE(std::fgets(buf, sizeof buf, console), nullptr);
    EXPECT_STREQ(buf, "-0.100000 0.400000 0.200000 0.100000 \n");
    std::fclose(console);

    // A directory that does not exist: refused with the name, nothing written.
    EXPECT_FALSE(saveDescription(base + "_nodir/x", in, &err, nullptr));
    EXPECT_NE(err.find("_nodir/x.sgn"), std::string::npos) << err;

    // A read-only directory keeps the existing description whole.
    const std::string dir = std::string(TEST_BINARY_DIR) + "/descr_ro";
    ::mkdir(dir.c_str(), 0755);
    {
        std::ofstream f(dir + "/old.sgn");
        f << "previous";
    }
    ::chmod(dir.c_str(), 0555);
    const bool refused = !saveDescription(dir + "/old", in, &err, nullptr);
    ::chmod(dir.c_str(), 0755);
    if (refused) {  // (running as root ignores permissions)
        EXPECT_EQ(readFile(dir + "/old.sgn"), "previous");
    }
}

TEST(TrackingExport, ProfileOfABumpAlongX)
{
    // Lines 50..70 carry a bump of x: x - 0.5 = (i - 50)(70 - i) / 1000.
    TrackingTable t = tableOf(
        120,
        [](int i) { return (i >= 50 && i <= 70) ? 0.5 + (i - 50) * (70 - i) * 0.001 : 0.5; },
        [](int) { return 0.25; });
    // rate 25: 2 s is line 50, 2.8 s is line 70, so every sample is a line.
    std::string text, err;
    ASSERT_TRUE(trackingExportText(t, MovieTime{1200, 600, 0}, MovieTime{1680, 600, 0}, 25.f, text,
                                   &err))
        << err;
    ASSERT_EQ(text.substr(0, 21), "\nlegth : 20.000000 \n0");
    ASSERT_EQ(text.back(), ' ');
    const auto tok = tokens(text.substr(20));
    ASSERT_EQ(tok.size(), 100u);
    for (int k = -40; k < 60; ++k) {
        const double expect = (k >= 0 && k <= 20) ? k * (20 - k) * 0.001 : 0.0;
        EXPECT_NEAR(std::stod(tok[k + 40]), expect, 2e-6) << k;
    }
    EXPECT_EQ(tok[50], "0.100000");
}

TEST(TrackingExport, DetrendsAndClampsToTheLoadedLines)
{
    // A straight movement: the trend is removed entirely (up to rounding),
    // the direction is undefined and every sample prints as 0.000000, also
    // those clamped to line 1 that lie off the trend line.
    TrackingTable t = tableOf(30, [](int i) { return 0.01 * i; }, [](int i) { return 0.5 - 0.002 * i; });
    std::string text;
    // Begin at line 2, length 10: the window reaches line -18 and line 32.
    ASSERT_TRUE(trackingExportText(t, MovieTime{48, 600, 0}, MovieTime{288, 600, 0}, 25.f, text));
    EXPECT_EQ(text, "\nlegth : 10.000000 \n" + [] {
        std::string s;
        for (int k = 0; k < 100; ++k)
            s += "0.000000 ";
        return s;
    }());
}

TEST(TrackingExport, ClampedWindowAndDegenerateCases)
{
    // Bump at lines 1..11 (x - 0.5 = i * (11 - i) / 1000 ... 0 at 1 and 11
    // only after the shift below): samples before line 1 repeat line 1.
    TrackingTable t = tableOf(
        40, [](int i) { return i <= 11 ? 0.5 + (i - 1) * (11 - i) * 0.001 : 0.5; },
        [](int) { return 0.5; });
    std::string text;
    // Begin at line 1 (40 ms), end at line 11 (440 ms): L = 10, s = 0.5.
    ASSERT_TRUE(trackingExportText(t, MovieTime{24, 600, 0}, MovieTime{264, 600, 0}, 25.f, text));
    auto tok = tokens(text.substr(20));
    ASSERT_EQ(tok.size(), 100u);
    for (int k = -40; k < 0; ++k)
        EXPECT_EQ(tok[k + 40], "0.000000") << k;  // clamped to line 1, on the trend line
    EXPECT_EQ(tok[40 + 10], "0.025000");          // t = 6: x - 0.5 = 5 * 5 / 1000
    EXPECT_EQ(tok[40 + 11], "0.024500");          // t = 6.5: halfway between 0.025 and 0.024

    // rate 0: length 0, every sample equal, direction undefined.
    ASSERT_TRUE(trackingExportText(t, MovieTime{24, 600, 0}, MovieTime{264, 600, 0}, 0.f, text));
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("-0.000000"), std::string::npos);
    EXPECT_EQ(text.substr(0, 20), "\nlegth : 0.000000 \n0");

    TrackingTable empty;
    std::string err;
    EXPECT_FALSE(trackingExportText(empty, MovieTime{24, 600, 0}, MovieTime{264, 600, 0}, 25.f, text,
                                    &err));
    EXPECT_FALSE(err.empty());
    EXPECT_FALSE(trackingExportText(t, MovieTime{24, 0, 0}, MovieTime{264, 600, 0}, 25.f, text));

    std::FILE* out = std::tmpfile();
    ASSERT_TRUE(exportTracking(out, t, MovieTime{24, 600, 0}, MovieTime{264, 600, 0}, 25.f));
    std::rewind(out);
    char buf[32] = {};
    ASSERT_NE(std::fgets(buf, sizeof buf, out), nullptr);
    EXPECT_STREQ(buf, "\n");
    std::fclose(out);
}

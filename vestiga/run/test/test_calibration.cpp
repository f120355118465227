// Calibration files: parsing, bit-exact round trips, safe writing, the turn to
// a bottom-left origin and the checks against the reference frame.
#include "run/Calibration.h"

#include "RunTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>

using namespace vestiga;
using vestiga::test::TempDir;

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string parseError(const std::string& text)
{
    CalibrationFile c;
    std::string error;
    EXPECT_FALSE(parseCalibration(text, &c, &error)) << text;
    return error;
}

const char* kGood = "# signer 12, session 3\n"
                    "\n"
                    "area 0,96,512,384\n"
                    "head  200.5 , 110 ,60,80   # around the face\n"
                    "shoulders 180,260,340,262\n"
                    "\tsleeves short\n"
                    "reference-frame 7\n";

} // namespace

TEST(CalibrationFileTest, ParsesKeysCommentsAndDefaults)
{
    CalibrationFile c;
    std::string error;
    ASSERT_TRUE(parseCalibration(kGood, &c, &error)) << error;
    EXPECT_EQ(c.area[1], 96);
    EXPECT_EQ(c.area[3], 384);
    EXPECT_EQ(c.head[0], 200.5);
    EXPECT_EQ(c.head[3], 80);
    EXPECT_EQ(c.shoulders[2], 340);
    EXPECT_FALSE(c.hasShoulderDistance);
    EXPECT_EQ(c.referenceFrame, 7);
    EXPECT_FALSE(c.sleevesToWrist);

    ASSERT_TRUE(parseCalibration("area 0,0,10,10\nhead 1,1,2,2\nshoulders 1,1,5,5\nshoulder-distance 3.25\n",
                                 &c, &error));
    EXPECT_TRUE(c.hasShoulderDistance);
    EXPECT_EQ(c.shoulderDistance, 3.25);
    EXPECT_EQ(c.referenceFrame, 0);
    EXPECT_TRUE(c.sleevesToWrist);
}

TEST(CalibrationFileTest, MalformedFilesNameTheLineAndTheProblem)
{
    const std::string base = "area 0,0,100,80\nhead 10,10,20,20\n";
    EXPECT_EQ(parseError(base + "shoulders 1,2,3\n"), "line 3: shoulders: expected four numbers XR,YR,XL,YL, got '1,2,3'");
    EXPECT_NE(parseError(base + "shoulders 1,2,3,4,5\n").find("line 3"), std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,x,4\n").find("line 3"), std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,nan,4\n").find("line 3"), std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,,4\n").find("line 3"), std::string::npos);
    EXPECT_EQ(parseError("\n# c\nareas 0,0,1,1\n"), "line 3: unknown key 'areas'");
    EXPECT_EQ(parseError(base + "area 0,0,1,1\n"), "line 3: 'area' is given twice");
    EXPECT_NE(parseError(base + "shoulders 1,2,3,4\nsleeves long\n").find("line 4: sleeves"), std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,3,4\nreference-frame -1\n").find("line 4: reference-frame"),
              std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,3,4\nreference-frame 2.5\n").find("line 4"), std::string::npos);
    EXPECT_NE(parseError(base + "shoulders 1,2,3,4\nshoulder-distance\n").find("line 4: shoulder-distance"),
              std::string::npos);
    EXPECT_EQ(parseError(base), "missing 'shoulders' line");
    EXPECT_EQ(parseError("head 10,10,20,20\nshoulders 1,2,3,4\n"), "missing 'area' line");

    TempDir dir;
    const std::string path = dir.file("bad.calib");
    vestiga::test::writeFile(path, base + "oops\n");
    CalibrationFile c;
    std::string error;
    EXPECT_FALSE(readCalibrationFile(path, &c, &error));
    EXPECT_EQ(error, path + ": line 3: unknown key 'oops'");
    EXPECT_FALSE(readCalibrationFile(dir.file("missing.calib"), &c, &error));
    EXPECT_NE(error.find("missing.calib"), std::string::npos);
}

TEST(CalibrationFileTest, FormatReadsBackBitForBit)
{
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> u(-1000, 1000);
    for (int round = 0; round < 200; ++round) {
        CalibrationFile c;
        for (int i = 0; i < 4; ++i) {
            c.area[i] = u(gen);
            c.head[i] = u(gen) / 3;
            c.shoulders[i] = u(gen) * 1e-7;
        }
        c.hasShoulderDistance = round % 2 == 0;
        c.shoulderDistance = 1.0 / (round + 3);
        c.referenceFrame = round;
        c.sleevesToWrist = round % 3 != 0;
        CalibrationFile back;
        std::string error;
        ASSERT_TRUE(parseCalibration(formatCalibration(c), &back, &error)) << error;
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(sameBits(back.area[i], c.area[i]));
            EXPECT_TRUE(sameBits(back.head[i], c.head[i]));
            EXPECT_TRUE(sameBits(back.shoulders[i], c.shoulders[i]));
        }
        EXPECT_EQ(back.hasShoulderDistance, c.hasShoulderDistance);
        if (c.hasShoulderDistance) {
            EXPECT_TRUE(sameBits(back.shoulderDistance, c.shoulderDistance));
        }
        EXPECT_EQ(back.referenceFrame, c.referenceFrame);
        EXPECT_EQ(back.sleevesToWrist, c.sleevesToWrist);
    }
}

TEST(CalibrationFileTest, WriteReplacesWholeOrKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("a.calib");
    CalibrationFile c = vestiga::test::signerCalibration();
    std::string error;
    ASSERT_TRUE(writeCalibrationFile(path, c, &error)) << error;
    CalibrationFile back;
    ASSERT_TRUE(readCalibrationFile(path, &back, &error)) << error;
    EXPECT_EQ(formatCalibration(back), formatCalibration(c));

    c.referenceFrame = 5;
    ASSERT_TRUE(writeCalibrationFile(path, c, &error)) << error;
    EXPECT_EQ(vestiga::test::readFile(path), formatCalibration(c));

    // A directory that cannot be written: the old file stays as it was and no
    // temporary file is left behind.
    const std::string before = vestiga::test::readFile(path);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    c.referenceFrame = 9;
    const bool wrote = writeCalibrationFile(path, c, &error);
    ::chmod(dir.path().c_str(), 0755);
    if (::geteuid() != 0) {
        EXPECT_FALSE(wrote);
        EXPECT_NE(error.find(path), std::string::npos);
        EXPECT_EQ(vestiga::test::readFile(path), before);
    }
    EXPECT_FALSE(writeCalibrationFile(dir.file("no/such/dir.calib"), c, &error));
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.is_regular_file();
    EXPECT_EQ(entries, 1);
}

TEST(CalibrationFileTest, TurnsRectanglesToBottomLeftOrigin)
{
    CalibrationFile c;
    const double area[4] = {0, 96, 512, 384}, head[4] = {100, 200.25, 40, 60.5};
    for (int i = 0; i < 4; ++i) {
        c.area[i] = area[i];
        c.head[i] = head[i];
    }
    c.shoulders[0] = 100;
    c.shoulders[1] = 100;
    c.shoulders[2] = 130;
    c.shoulders[3] = 140;
    RunCalibration r = toRunCalibration(c, 480);
    EXPECT_EQ(r.cx, 0.0f);
    EXPECT_EQ(r.cy, 0.0f); // 480 - (96 + 384)
    EXPECT_EQ(r.cw, 512.0f);
    EXPECT_EQ(r.ch, 384.0f);
    EXPECT_EQ(r.hx, 100.0f);
    EXPECT_EQ(r.hy, static_cast<float>(480 - (200.25 + 60.5)));
    EXPECT_EQ(r.hh, 60.5f);
    EXPECT_EQ(r.dShould, 50.0f); // (100,100)-(130,140)
    // The vertical fraction of the run's image area: 1 - 384/480 in single
    // precision lies just below 0.2, so the crop starts at row 95.
    const float minY = 1.0f - (r.cy + r.ch) / 480.0f;
    EXPECT_EQ(static_cast<int>(minY * 480.0f), 95);

    c.hasShoulderDistance = true;
    c.shoulderDistance = 0.1;
    EXPECT_EQ(toRunCalibration(c, 480).dShould, 0.1f);

    // What the application saves reads back to the same floats.
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> u(0, 700);
    for (int round = 0; round < 500; ++round) {
        RunCalibration a{u(gen), u(gen), u(gen), u(gen), u(gen), u(gen), u(gen), u(gen), u(gen), round % 2 == 0};
        const double sh[4] = {1, 2, 3, 4};
        CalibrationFile f = toCalibrationFile(a, 720, sh, 4);
        CalibrationFile g;
        std::string error;
        ASSERT_TRUE(parseCalibration(formatCalibration(f), &g, &error)) << error;
        RunCalibration b = toRunCalibration(g, 720);
        EXPECT_TRUE(sameBits(a.cx, b.cx) && sameBits(a.cy, b.cy) && sameBits(a.cw, b.cw) && sameBits(a.ch, b.ch));
        EXPECT_TRUE(sameBits(a.hx, b.hx) && sameBits(a.hy, b.hy) && sameBits(a.hw, b.hw) && sameBits(a.hh, b.hh));
        EXPECT_TRUE(sameBits(a.dShould, b.dShould));
        EXPECT_EQ(a.sleevesToWrist, b.sleevesToWrist);
        EXPECT_EQ(g.referenceFrame, 4);
        EXPECT_EQ(g.shoulders[3], 4);
    }
}

TEST(CalibrationFileTest, ChecksAgainstTheReferenceFrame)
{
    const CalibrationFile good = vestiga::test::signerCalibration(); // 320 x 240
    EXPECT_EQ(checkCalibration(good, 320, 240), "");
    auto problem = [&](auto change) {
        CalibrationFile c = good;
        change(c);
        return checkCalibration(c, 320, 240);
    };
    auto startsWith = [](const std::string& s, const std::string& p) { return s.rfind(p, 0) == 0; };
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.area[2] = 321; }), "area:"));
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.area[0] = -0.5; }), "area:"));
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.area[3] = 0; }), "area:"));
    const std::string taller = problem([](CalibrationFile& c) { c.area[2] = 200; });
    EXPECT_NE(taller.find("taller than wide"), std::string::npos) << taller;
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.head[2] = -4; }), "head:"));
    const std::string out = problem([](CalibrationFile& c) {
        c.area[0] = 150;
        c.area[2] = 170;
        c.area[3] = 100;
    });
    EXPECT_NE(out.find("outside the image area"), std::string::npos) << out;
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.shoulders[3] = 241; }), "shoulders:"));
    const std::string same = problem([](CalibrationFile& c) {
        c.shoulders[2] = c.shoulders[0];
        c.shoulders[3] = c.shoulders[1];
    });
    EXPECT_NE(same.find("same point"), std::string::npos) << same;
    // A given distance replaces the points; it must be positive.
    EXPECT_EQ(problem([](CalibrationFile& c) {
                  c.shoulders[2] = c.shoulders[0];
                  c.shoulders[3] = c.shoulders[1];
                  c.hasShoulderDistance = true;
                  c.shoulderDistance = 60;
              }),
              "");
    EXPECT_TRUE(startsWith(problem([](CalibrationFile& c) { c.hasShoulderDistance = true; }), "shoulder-distance:"));

    // The run's own check, in bottom-left coordinates.
    RunCalibration r = toRunCalibration(good, 240);
    EXPECT_EQ(checkRunCalibration(r, 320, 240), "");
    r.hy = 200; // head box 200..260 leaves the 240-row area
    EXPECT_NE(checkRunCalibration(r, 320, 240).find("head box"), std::string::npos);
}

TEST(CalibrationFileTest, TrackerMethodIsWrittenOnlyForRobustAndReadsBack)
{
    const std::string base = "area 0,0,100,80\nhead 10,10,20,20\nshoulders 1,2,3,4\n";
    CalibrationFile c;
    std::string error;
    ASSERT_TRUE(parseCalibration(base, &c, &error)) << error;
    EXPECT_EQ(c.tracker, TrackerMethod::Classic);
    // A classic calibration keeps the bytes it always had: no tracker line.
    EXPECT_EQ(formatCalibration(c).find("tracker"), std::string::npos);
    ASSERT_TRUE(parseCalibration(base + "tracker classic\n", &c, &error)) << error;
    EXPECT_EQ(c.tracker, TrackerMethod::Classic);

    ASSERT_TRUE(parseCalibration(base + "tracker robust # the second method\n", &c, &error)) << error;
    EXPECT_EQ(c.tracker, TrackerMethod::Robust);
    const std::string text = formatCalibration(c);
    EXPECT_EQ(text.substr(text.size() - 15), "tracker robust\n") << text;
    CalibrationFile back;
    ASSERT_TRUE(parseCalibration(text, &back, &error)) << error;
    EXPECT_EQ(back.tracker, TrackerMethod::Robust);
    EXPECT_EQ(formatCalibration(back), text);

    // The run's form carries it both ways.
    const RunCalibration r = toRunCalibration(c, 80);
    EXPECT_EQ(r.tracker, TrackerMethod::Robust);
    EXPECT_EQ(toCalibrationFile(r, 80, c.shoulders, 0).tracker, TrackerMethod::Robust);

    EXPECT_EQ(parseError(base + "tracker fast\n"), "line 4: tracker: expected 'classic' or 'robust', got 'fast'");
    EXPECT_EQ(parseError(base + "tracker robust\ntracker classic\n"), "line 5: 'tracker' is given twice");
}

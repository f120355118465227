// glyphora-render as a user runs it: every movement pattern rendered from a
// video and its tracking (the synthetic sign, and the generated sample signer
// when it exists), repeatability, the description line, and bad input that
// must end with status 2 and no file written.
#include "RenderOptions.h"
#include "core/TrackingTable.h"

#include "SyntheticSign.h"

#include "ToolRun.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

using glyphora::test::shellQuote;
using glyphora::test::slurp;
using RunResult = glyphora::test::ToolRun;

fs::path workDir(const std::string& name)
{
    const fs::path d = fs::path(TEST_BINARY_DIR) / "cli" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

RunResult run(const std::vector<std::string>& args, const fs::path& logs)
{
    return glyphora::test::runTool(GLYPHORA_RENDER_EXE, args, logs);
}

// A video with its tracking file and a sign inside it.
struct Source {
    std::string name, video, tracking;
    double begin = 0, end = 0;
    glyphora::TrackingTable table;
    cv::Size size;
};

const fs::path& syntheticDir()
{
    static const fs::path dir = [] {
        const fs::path d = fs::path(TEST_BINARY_DIR) / "cli_data";
        synthetic::Sign sign;
        synthetic::Sign shortTrack; // tracking of the first 20 frames only
        synthetic::Sign longSign;
        longSign.frames = 100;
        bool ok = sign.writeFiles(d, "sign") && longSign.writeFiles(d, "long");
        if (ok && !fs::exists(d / "short.track")) {
            const fs::path tmp = d / ("short.track.tmp" + std::to_string(::getpid()));
            ok = shortTrack.writeTracking(tmp.string(), 20);
            fs::rename(tmp, d / "short.track");
        }
        if (!fs::exists(d / "bad.track"))
            std::ofstream(d / "bad.track") << "0.1 0.2 0.3 0.4 0 0.1 0 \n0.1 0.2 0.3 0.4 0 0.1 \n";
        if (!ok)
            ADD_FAILURE() << "cannot write the synthetic sign in " << d;
        return d;
    }();
    return dir;
}

bool loadSource(Source& s)
{
    std::string error;
    if (!s.table.load(s.tracking, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    return true;
}

Source syntheticSource()
{
    Source s;
    s.name = "synthetic";
    s.video = (syntheticDir() / "sign.avi").string();
    s.tracking = (syntheticDir() / "sign.track").string();
    s.begin = 0.2; // frames 5 .. 40, lines 6 .. 41
    s.end = 1.6;
    s.size = cv::Size(320, 240);
    loadSource(s);
    return s;
}

// The sample signer generated at build time, when present: a sign of about
// 30 tracking lines from the middle of its tracking.
bool sample(Source& s)
{
    s.name = "sample";
    s.video = std::string(VESTIGA_SAMPLE_DIR) + "/signer.avi";
    s.tracking = std::string(VESTIGA_SAMPLE_DIR) + "/signer.track";
    if (!fs::exists(s.video) || !fs::exists(s.tracking))
        return false;
    if (!loadSource(s) || s.table.lineCount() < 40)
        return false;
    const int n = s.table.lineCount();
    const int a = n / 3, b = std::min(a + 30, n - 2);
    s.begin = std::ceil(s.table.timeCode(a)) / 1000.0;
    s.end = std::floor(s.table.timeCode(b)) / 1000.0;
    cv::VideoCapture cap(s.video);
    s.size = cv::Size(int(cap.get(cv::CAP_PROP_FRAME_WIDTH)), int(cap.get(cv::CAP_PROP_FRAME_HEIGHT)));
    return true;
}

std::vector<std::string> baseArgs(const Source& s, const fs::path& name)
{
    char b[32], e[32];
    std::snprintf(b, sizeof b, "%.3f", s.begin);
    std::snprintf(e, sizeof e, "%.3f", s.end);
    return {s.video, s.tracking, "-o", name.string(), "--begin", b, "--end", e};
}

// The light-red fill of the arrows, as JPEG gives it back (blue, green, red).
bool isFill(const cv::Vec3b& p)
{
    return p[2] > 200 && p[1] > 85 && p[1] < 175 && p[0] > 85 && p[0] < 175;
}

// Pixel of a tracking position in a picture of the view's size.
cv::Point2f toPixel(const cv::Size& view, float x, float y)
{
    return cv::Point2f(view.width / 2.0f + x * view.height, y * view.height);
}

// Checks that the arrow pixels (fill colour in `picture`, not in `base`)
// exist and lie around the hands' paths over the sign's lines.
void expectArrowsAlongThePaths(const Source& s, const cv::Mat& picture, const cv::Mat& base, int pattern)
{
    const int first = s.table.getFrameNb(media::MovieTime::fromSeconds(s.begin));
    const int last = s.table.getFrameNb(media::MovieTime::fromSeconds(s.end));
    std::vector<cv::Point2f> path;
    for (int n = first; n <= last; ++n)
        for (int hand = 0; hand < 2; ++hand)
            path.push_back(toPixel(s.size, s.table.coords(2 * hand)[n], s.table.coords(2 * hand + 1)[n]));
    const cv::Rect2f box = cv::boundingRect(path);
    const float margin = 0.15f * s.size.height;
    int arrow = 0, inBox = 0, nearPath = 0;
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            if (!isFill(picture.at<cv::Vec3b>(y, x)) || isFill(base.at<cv::Vec3b>(y, x)))
                continue;
            ++arrow;
            const cv::Point2f p{float(x), float(y)};
            if (p.x > box.x - margin && p.x < box.br().x + margin && p.y > box.y - margin &&
                p.y < box.br().y + margin)
                ++inBox;
            float best = 1e9f;
            for (const auto& q : path)
                best = std::min(best, float(cv::norm(p - q)));
            if (best < 0.06f * s.size.height)
                ++nearPath;
        }
    if (pattern == 7) {
        EXPECT_EQ(arrow, 0) << "the static pattern draws nothing";
        return;
    }
    EXPECT_GT(arrow, 100) << "no arrow drawn for pattern " << pattern;
    EXPECT_GE(inBox, arrow * 95 / 100) << "arrows away from the hands for pattern " << pattern;
    if (pattern == 0) { // the free path follows the hands
        EXPECT_GE(nearPath, arrow * 90 / 100);
    }
}

void renderEveryPattern(const Source& s)
{
    const fs::path dir = workDir("patterns_" + s.name);
    std::vector<cv::Mat> pictures(8);
    for (int p = 0; p < 8; ++p) {
        SCOPED_TRACE("pattern " + std::to_string(p));
        const fs::path name = dir / ("p" + std::to_string(p));
        auto args = baseArgs(s, name);
        args.insert(args.end(), {"--pattern", std::to_string(p)});
        const RunResult r = run(args, name);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("\nlegth : ", 0), 0u) << r.out.substr(0, 40);
        pictures[p] = cv::imread(name.string() + ".jpg");
        ASSERT_FALSE(pictures[p].empty());
        EXPECT_EQ(pictures[p].cols, 4 * (s.size.width / 4));
        EXPECT_EQ(pictures[p].rows, s.size.height);
        // movCat follows the 50 configuration digits.
        const std::string sgn = slurp(name.string() + ".sgn");
        const size_t digits = sgn.find(std::string(50, '0'));
        ASSERT_NE(digits, std::string::npos) << sgn;
        EXPECT_EQ(sgn.substr(digits + 50, 2), std::to_string(p) + " ") << sgn;
    }
    for (int p = 0; p < 8; ++p) {
        SCOPED_TRACE("pattern " + std::to_string(p));
        expectArrowsAlongThePaths(s, pictures[p], pictures[7], p);
    }
    // Back-and-forth has two entries drawing the same picture.
    EXPECT_EQ(cv::norm(pictures[3], pictures[4], cv::NORM_INF), 0.0);
}

bool onlyEntries(const fs::path& dir, size_t n)
{
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator())) == n;
}

} // namespace

TEST(GlyphoraRenderTest, EveryPatternOfTheSyntheticSign) { renderEveryPattern(syntheticSource()); }

TEST(GlyphoraRenderTest, EveryPatternOfTheSampleSigner)
{
    Source s;
    if (!sample(s))
        GTEST_SKIP() << "the sample signer (" << VESTIGA_SAMPLE_DIR
                     << "/signer.avi, signer.track) is not there: build the sample target first";
    renderEveryPattern(s);
}

TEST(GlyphoraRenderTest, SameInputsGiveTheSameFiles)
{
    Source s;
    if (!sample(s))
        s = syntheticSource();
    const fs::path dir = workDir("twice");
    std::vector<std::string> files;
    for (const char* name : {"a", "b"}) {
        auto args = baseArgs(s, dir / name);
        args.insert(args.end(), {"--keyframe", std::to_string(s.begin), "--keyframe",
                                 std::to_string((s.begin + s.end) / 2) + ":0.1", "--keyframe",
                                 std::to_string(s.end), "--hide-keyframe", "1", "--pattern", "1", "--orientation",
                                 "30", "--configuration", "0,7,49"});
        const RunResult r = run(args, dir / name);
        ASSERT_EQ(r.status, 0) << r.err;
        files.push_back(slurp(dir / (std::string(name) + ".jpg")));
        files.push_back(slurp(dir / (std::string(name) + ".sgn")));
    }
    EXPECT_FALSE(files[0].empty());
    EXPECT_TRUE(files[0] == files[2]) << "the pictures differ";
    EXPECT_EQ(files[1], files[3]);
    // Grid positions 0, 7 and 49 on, column by column.
    std::string digits(50, '0');
    digits[0] = digits[7] = digits[49] = '1';
    EXPECT_NE(files[1].find(" " + digits + "1 "), std::string::npos) << files[1];
}

TEST(GlyphoraRenderTest, VisibilityAndSymmetryReachTheDescription)
{
    const Source s = syntheticSource();
    const fs::path dir = workDir("symmetry");
    // Only the L arrow: symmetry type 1, and its relative positions echoed.
    auto args = baseArgs(s, dir / "left");
    args.insert(args.end(), {"--right", "off"});
    RunResult r = run(args, dir / "left");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string sgn = slurp(dir / "left.sgn");
    const size_t digits = sgn.find(std::string(50, '0'));
    ASSERT_NE(digits, std::string::npos);
    EXPECT_EQ(sgn.substr(digits + 50, 4), "0 1 ") << sgn;
    const size_t lastLine = r.out.rfind('\n', r.out.size() - 2);
    ASSERT_NE(lastLine, std::string::npos);
    float a, b, c, d;
    EXPECT_EQ(std::sscanf(r.out.c_str() + lastLine, "%f %f %f %f", &a, &b, &c, &d), 4) << r.out;
    EXPECT_EQ(r.out.back(), '\n');

    // An explicit symmetry wins over the visibility rule; no echo without type 1.
    args = baseArgs(s, dir / "sym5");
    args.insert(args.end(), {"--right", "off", "--symmetry", "5", "--size", "203x150"});
    r = run(args, dir / "sym5");
    ASSERT_EQ(r.status, 0) << r.err;
    sgn = slurp(dir / "sym5.sgn");
    EXPECT_EQ(sgn.substr(sgn.find(std::string(50, '0')) + 50, 4), "0 5 ") << sgn;
    EXPECT_NE(r.out.back(), '\n');
    const cv::Mat picture = cv::imread((dir / "sym5.jpg").string());
    EXPECT_EQ(picture.size(), cv::Size(200, 150));

    // Neither arrow: the static pattern (movCat 7). No hand is sampled, so the
    // symmetry field keeps the value of the last sampling (none here: 0).
    args = baseArgs(s, dir / "none");
    args.insert(args.end(), {"--right", "off", "--left", "off"});
    r = run(args, dir / "none");
    ASSERT_EQ(r.status, 0) << r.err;
    sgn = slurp(dir / "none.sgn");
    EXPECT_EQ(sgn.substr(sgn.find(std::string(50, '0')) + 50, 4), "7 0 ") << sgn;
}

TEST(GlyphoraRenderTest, ALongSignIsSavedWithoutArrowsAndAWarning)
{
    Source s;
    s.video = (syntheticDir() / "long.avi").string();
    s.tracking = (syntheticDir() / "long.track").string();
    s.begin = 0.0;
    s.end = 3.5; // 87 lines
    const fs::path dir = workDir("long");
    const RunResult r = run(baseArgs(s, dir / "sign"), dir / "sign");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("88"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(dir / "sign.jpg"));
    EXPECT_TRUE(fs::exists(dir / "sign.sgn"));
}

TEST(GlyphoraRenderTest, BadInputEndsWithStatusTwoAndWritesNothing)
{
    const Source s = syntheticSource();
    const fs::path dir = workDir("bad");
    const fs::path logs = fs::path(TEST_BINARY_DIR) / "cli" / "bad_log";
    // An earlier picture under the same name must survive a refused run.
    { std::ofstream(dir / "sign.jpg") << "earlier picture"; }

    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* mentions;
    };
    const std::string out = (dir / "sign").string();
    const std::string video = s.video, track = s.tracking;
    const std::string bad = (syntheticDir() / "bad.track").string();
    const std::string shortTrack = (syntheticDir() / "short.track").string();
    std::vector<std::string> twentyOne;
    for (int k = 0; k < 21; ++k) {
        twentyOne.push_back("--keyframe");
        twentyOne.push_back(std::to_string(0.2 + 0.04 * k));
    }
    std::vector<Case> cases = {
        {"missing video", {(dir / "none.avi").string(), track, "-o", out, "--begin", "0.2", "--end", "1"}, "none.avi"},
        {"missing tracking", {video, (dir / "none.track").string(), "-o", out, "--begin", "0.2", "--end", "1"},
         "none.track"},
        {"tracking given as video", {track, track, "-o", out, "--begin", "0.2", "--end", "1"}, "sign.track"},
        {"malformed tracking", {video, bad, "-o", out, "--begin", "0.2", "--end", "1"}, "bad.track"},
        {"begin after end", {video, track, "-o", out, "--begin", "1.2", "--end", "1"}, "--begin"},
        {"after the video", {video, track, "-o", out, "--begin", "0.2", "--end", "9"}, "--end"},
        {"outside the tracking", {video, shortTrack, "-o", out, "--begin", "0.2", "--end", "1.5"}, "tracking"},
        {"key frame outside", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--keyframe", "5"},
         "--keyframe"},
        {"missing folder", {video, track, "-o", (dir / "no" / "sign").string(), "--begin", "0.2", "--end", "1"},
         "folder"},
        {"pattern 8", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--pattern", "8"}, "--pattern"},
        {"hidden key frame missing",
         {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--hide-keyframe", "2"}, "--hide-keyframe"},
        {"bad size", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--size", "0x10"}, "--size"},
        {"bad shift", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--keyframe", "0.5:1.5"}, "shift"},
        {"bad cell", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--configuration", "3,50"}, "50"},
        {"no output", {video, track, "--begin", "0.2", "--end", "1"}, "-o"},
        {"unknown option", {video, track, "-o", out, "--begin", "0.2", "--end", "1", "--colour", "red"}, "--colour"},
    };
    std::vector<std::string> many = {video, track, "-o", out, "--begin", "0.2", "--end", "1.2"};
    many.insert(many.end(), twentyOne.begin(), twentyOne.end());
    cases.push_back({"21 key frames", many, "20"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = run(c.args, logs);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out.substr(0, 80);
        EXPECT_TRUE(onlyEntries(dir, 1)) << "a file was written";
        EXPECT_EQ(slurp(dir / "sign.jpg"), "earlier picture");
    }
}

TEST(GlyphoraRenderTest, NoOutputOverAnInputAndNoFolderAsName)
{
    const Source s = syntheticSource();
    const fs::path dir = workDir("over");
    const fs::path logs = fs::path(TEST_BINARY_DIR) / "cli" / "over_log";
    const std::string trackingBytes = slurp(s.tracking), videoBytes = slurp(s.video);
    fs::copy_file(s.tracking, dir / "t.sgn");
    fs::copy_file(s.video, dir / "v.jpg");
    fs::create_symlink(dir / "t.sgn", dir / "l.sgn");
    fs::create_directories(dir / "sub");
    fs::create_directories(dir / "pic.jpg");
    struct Case {
        const char* what;
        std::string video, tracking, name, mentions;
    };
    const std::vector<Case> cases = {
        {"tracking named NAME.sgn", s.video, (dir / "t.sgn").string(), (dir / "t").string(), "overwritten"},
        {"video named NAME.jpg", (dir / "v.jpg").string(), s.tracking, (dir / "v").string(), "overwritten"},
        {"through a link", s.video, (dir / "t.sgn").string(), (dir / "l").string(), "overwritten"},
        {"through ..", s.video, (dir / "t.sgn").string(), (dir / "sub" / ".." / "t").string(), "overwritten"},
        {"name ends with /", s.video, s.tracking, (dir / "sub").string() + "/", "'/'"},
        {"name is a folder", s.video, s.tracking, (dir / "sub").string(), "folder"},
        {"NAME.jpg is a folder", s.video, s.tracking, (dir / "pic").string(), "folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = run({c.video, c.tracking, "-o", c.name, "--begin", "0.2", "--end", "1"}, logs);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(slurp(dir / "t.sgn"), trackingBytes);
    EXPECT_EQ(slurp(dir / "v.jpg"), videoBytes);
    EXPECT_TRUE(onlyEntries(dir, 5));
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
}

TEST(GlyphoraRenderTest, OptionConventionsAndNumbersWithMeaning)
{
    const Source s = syntheticSource();
    const fs::path dir = workDir("numbers");
    const fs::path logs = fs::path(TEST_BINARY_DIR) / "cli" / "numbers_log";
    const std::string out = (dir / "sign").string();

    for (const char* h : {"--help", "-h"}) {
        const RunResult r = run({h}, logs);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.rfind("usage: glyphora-render", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }
    struct Case {
        std::vector<std::string> extra;
        const char* mentions;
    };
    const std::vector<Case> cases = {
        {{"--end", "1e30"}, "out of range"},
        {{"--end", "1e18"}, "out of range"},
        {{"--end", "0x10"}, "'0x10' is not a number"},
        {{"--end", "inf"}, "not a number"},
        {{"--orientation", "1e300"}, "--orientation"},
        {{"--orientation", "nan"}, "--orientation"},
        {{"--keyframe", "1e30"}, "--keyframe"},
        {{"--keyframe", "0.5:0x1"}, "shift"},
        {{"--size", "0x10x20"}, "--size"},
        {{"--pattern", "1e300"}, "--pattern"},
        {{"-o", out}, "-o is given twice"},
        {{"--output", out}, "-o is given twice"},
        {{"--begin", "0.3"}, "--begin is given twice"},
        {{"--right", "on"}, "--right is given twice"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {s.video, s.tracking, "-o", out, "--begin", "0.2"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        if (c.extra[0] != "--end")
            args.insert(args.end(), {"--end", "1", "--right", "off"});
        SCOPED_TRACE(c.extra[0] + " " + c.extra[1]);
        const RunResult r = run(args, logs);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
    }
    EXPECT_TRUE(onlyEntries(dir, 0));

    // A tiny number is a number.
    glyphora::RenderOptions o;
    const char* argv[] = {"glyphora-render", "v", "t", "-o", "n", "--begin", "1e-50", "--end", "1", "--orientation",
                          "-1e-50"};
    std::string error;
    ASSERT_TRUE(glyphora::parseRenderOptions(11, argv, o, &error)) << error;
    EXPECT_EQ(o.begin, 1e-50);
}

TEST(GlyphoraRenderTest, DamagedInputsAndOutputsAreNotSilent)
{
    const Source s = syntheticSource();
    const fs::path dir = workDir("damaged");
    const fs::path logs = fs::path(TEST_BINARY_DIR) / "cli" / "damaged_log";
    const std::string out = (dir / "sign").string();

    // A video cut in the middle: the end of the sign lies in frames that
    // cannot be decoded.
    const std::string bytes = slurp(s.video);
    const fs::path cut = dir / "cut.avi";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    RunResult r = run({cut.string(), s.tracking, "-o", out, "--begin", "0.2", "--end", "1.6"}, logs);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("--end at 1.600 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cannot be decoded"), std::string::npos) << r.err;

    // Unbounded or wrong inputs end in a message naming them, once.
    const fs::path big = dir.parent_path() / "damaged_big.track";
    std::ofstream(big) << slurp(s.tracking);
    fs::resize_file(big, (256u << 20) + 1); // sparse: no disk space used
    r = run({s.video, big.string(), "-o", out, "--begin", "0.2", "--end", "1"}, logs);
    fs::remove(big);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("larger than 256 MiB"), std::string::npos) << r.err;
    r = run({s.video, dir.string(), "-o", out, "--begin", "0.2", "--end", "1"}, logs);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("folder"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("tracking tracking"), std::string::npos) << r.err;
    EXPECT_TRUE(onlyEntries(dir, 1));

    // Standard output on a full device: the export is lost, so the run fails.
    auto shell = [](const std::string& cmd) {
        const int raw = std::system(cmd.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    };
    std::string cmd = shellQuote(GLYPHORA_RENDER_EXE);
    for (const std::string& a : {s.video, s.tracking, std::string("-o"), out, std::string("--begin"),
                                 std::string("0.2"), std::string("--end"), std::string("1")})
        cmd += " " + shellQuote(a);
    const std::string err = (dir.parent_path() / "damaged_err").string();
    EXPECT_EQ(shell(cmd + " >/dev/full 2>" + shellQuote(err)), 1);
    EXPECT_NE(slurp(err).find("standard output"), std::string::npos) << slurp(err);

    // A file-size limit fails the picture like a full disk: no signal, no
    // temporary file left behind. Messages go through a pipe, beyond the limit.
    fs::remove_all(dir);
    fs::create_directories(dir);
    EXPECT_EQ(shell("(ulimit -f 4; " + cmd + " --size 1600x1200 >/dev/null; echo \"exit $?\") 2>&1 | cat >" +
                    shellQuote(err)),
              0);
    EXPECT_NE(slurp(err).find("exit 1"), std::string::npos) << slurp(err);
    EXPECT_TRUE(onlyEntries(dir, 0)) << "a file was left behind";
}

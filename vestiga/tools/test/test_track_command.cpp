// vestiga-track: argument parsing, refusal of bad input (exit 2, the tracking
// file left alone), runs that succeed (exit 0) or fail on the way (exit 1),
// and the program itself (silent standard output, same bytes as in process).
#include "TrackCommand.h"

#include "RunTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

using namespace vestiga;
using namespace vestiga::test;

namespace {

struct Result {
    int status;
    std::string err;
};

Result track(const std::vector<std::string>& args)
{
    std::ostringstream err;
    const int status = runTrackCommand(args, err, false);
    return {status, err.str()};
}

std::string parseError(const std::vector<std::string>& args)
{
    TrackArgs a;
    std::string error;
    EXPECT_FALSE(parseTrackArgs(args, &a, &error));
    return error;
}

// A signer video of `frames` frames with its calibration file beside it.
struct Corpus {
    TempDir dir;
    std::string video = dir.file("signer.avi");
    std::string calib = dir.file("signer.calib");
    std::string track = dir.file("signer.track");
    explicit Corpus(int frames = 6)
    {
        writeSignerVideo(video, frames);
        std::string error;
        if (!writeCalibrationFile(calib, signerCalibration(), &error))
            ADD_FAILURE() << error;
    }
};

} // namespace

TEST(TrackCommandTest, ParsesOptionsInBothForms)
{
    TrackArgs a;
    std::string error;
    ASSERT_TRUE(parseTrackArgs({"in.avi", "-o", "out.track", "--area=0,0,640,480", "--head", "1.5,2,3,4",
                                "--shoulders", "10,20,30,40", "--shoulder-distance", "55.5", "--sleeves=short",
                                "--reference-frame", "12", "--skin", "s.png", "--background", "b.png",
                                "--annotated-video", "a.avi", "--quiet"},
                               &a, &error))
        << error;
    EXPECT_EQ(a.video, "in.avi");
    EXPECT_EQ(a.tracking, "out.track");
    EXPECT_EQ(a.area[2], 640);
    EXPECT_EQ(a.head[0], 1.5);
    EXPECT_EQ(a.shoulders[3], 40);
    EXPECT_TRUE(a.hasShoulderDistance);
    EXPECT_EQ(a.shoulderDistance, 55.5);
    EXPECT_FALSE(a.sleevesToWrist);
    EXPECT_TRUE(a.hasReferenceFrame);
    EXPECT_EQ(a.referenceFrame, 12);
    EXPECT_EQ(a.skin, "s.png");
    EXPECT_EQ(a.background, "b.png");
    EXPECT_EQ(a.annotatedVideo, "a.avi");
    EXPECT_TRUE(a.quiet);

    ASSERT_TRUE(parseTrackArgs({"-o", "t", "--calibration", "c.calib", "v.avi"}, &a, &error)) << error;
    EXPECT_EQ(a.calibrationFile, "c.calib");
    EXPECT_FALSE(a.hasReferenceFrame);
    EXPECT_TRUE(a.sleevesToWrist);
}

TEST(TrackCommandTest, UsageErrorsNameTheArgument)
{
    const std::vector<std::string> cal = {"--calibration", "c"};
    auto with = [&](std::vector<std::string> v) {
        v.insert(v.end(), cal.begin(), cal.end());
        return v;
    };
    EXPECT_EQ(parseError(with({"-o", "t"})), "the video to track is missing");
    EXPECT_NE(parseError(with({"v.avi"})).find("-o"), std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "w.avi", "-o", "t"})).find("'w.avi'"), std::string::npos);
    EXPECT_EQ(parseError(with({"v.avi", "-o", "t", "--fast"})), "unknown option '--fast'");
    EXPECT_EQ(parseError({"v.avi", "-o"}), "-o: a value is missing");
    EXPECT_NE(parseError({"v.avi", "-o", "t", "--area", "1,2,3", "--head", "1,2,3,4", "--shoulders", "1,2,3,4"})
                  .find("--area: expected four numbers"),
              std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", "t", "--area", "1,2,3,4"})).find("cannot be combined"),
              std::string::npos);
    EXPECT_EQ(parseError({"v.avi", "-o", "t", "--area", "1,2,3,4", "--shoulders", "1,2,3,4"}),
              "--head X,Y,W,H is missing");
    EXPECT_NE(parseError({"v.avi", "-o", "t"}).find("calibration is missing"), std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", "t", "--sleeves", "long"})).find("--sleeves"), std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", "t", "--reference-frame", "-1"})).find("--reference-frame"),
              std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", "t", "--reference-frame", "1.5"})).find("--reference-frame"),
              std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", "t", "-o", "u"})).find("twice"), std::string::npos);
    EXPECT_NE(parseError(with({"v.avi", "-o", ""})).find("empty"), std::string::npos);

    // The command answers a usage error with exit 2 and the usage text.
    const Result r = track({"v.avi"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: vestiga-track"), std::string::npos);
}

TEST(TrackCommandTest, TracksFromAFileOrFromOptionsWithTheSameBytes)
{
    Corpus c(8);
    Result r = track({c.video, "-o", c.track, "--calibration", c.calib, "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string fromFile = readFile(c.track);
    const std::vector<std::string> ls = lines(fromFile);
    ASSERT_EQ(ls.size(), 7u); // frames 1 .. 7
    for (size_t i = 0; i < ls.size(); ++i) {
        EXPECT_TRUE(isTrackingLine(ls[i])) << ls[i];
        EXPECT_EQ(numbers(ls[i])[6], 40.0 * (i + 1));
    }

    const std::string other = c.dir.file("options.track");
    r = track({c.video, "-o", other, "--area", "0,0,320,240", "--head", "138,30,44,60", "--shoulders",
               "120,100,200,100"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(other), fromFile);

    // The same distance given explicitly, and the same run again.
    r = track({c.video, "-o", other, "--area", "0,0,320,240", "--head", "138,30,44,60", "--shoulders",
               "0,0,0,0", "--shoulder-distance", "80"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(other), fromFile);

    // Short sleeves and another reference frame change the result, not the
    // number of lines (tracking always starts at the second frame).
    r = track({c.video, "-o", other, "--calibration", c.calib, "--sleeves", "short", "--reference-frame", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(readFile(other)).size(), 7u);
    EXPECT_NE(readFile(other), fromFile);
}

TEST(TrackCommandTest, BadInputExitsTwoAndLeavesTheTrackingFileAlone)
{
    Corpus c(4);
    writeFile(c.dir.file("empty.avi"), "");
    writeFile(c.dir.file("text.avi"), "hello");
    writeFile(c.dir.file("empty.png"), "");
    writeFile(c.dir.file("bad.calib"), "area 0,0,320,240\nhead 138,30,44,60\nshoulders 120,100,200\n");
    writeSignerVideo(c.dir.file("single.avi"), 1);
    const std::string kept = c.dir.file("kept.track"), fresh = c.dir.file("fresh.track");
    writeFile(kept, "1.000000 2.000000 3.000000 4.000000 5.000000 6.000000 40.000000 \n");
    const std::string keptBytes = readFile(kept);

    struct Case {
        std::vector<std::string> args;
        std::string expect; // part of the message
    };
    const std::vector<std::string> flags = {"--head", "138,30,44,60", "--shoulders", "120,100,200,100"};
    auto area = [&](const std::string& a, std::vector<std::string> more = {}) {
        std::vector<std::string> v = {c.video, "--area", a};
        v.insert(v.end(), flags.begin(), flags.end());
        v.insert(v.end(), more.begin(), more.end());
        return v;
    };
    const std::vector<Case> cases = {
        {{c.dir.file("none.avi"), "--calibration", c.calib}, "none.avi"},
        {{c.dir.file("empty.avi"), "--calibration", c.calib}, "empty.avi"},
        {{c.dir.file("text.avi"), "--calibration", c.calib}, "text.avi"},
        {{c.dir.file("single.avi"), "--calibration", c.calib}, "single frame"},
        {{c.video, "--calibration", c.calib, "--reference-frame", "4"}, "--reference-frame 4: out of range"},
        {{c.video, "--calibration", c.dir.file("bad.calib")}, "bad.calib: line 3: shoulders"},
        {{c.video, "--calibration", c.dir.file("none.calib")}, "none.calib"},
        {area("0,0,330,240"), "--area: "},
        {area("0,0,0,240"), "--area: "},
        {area("0,0,200,240"), "taller than wide"},
        {area("150,0,170,100"), "outside the image area"},
        {{c.video, "--area", "0,0,320,240", "--head", "138,30,44,60", "--shoulders", "120,100,120,100"},
         "same point"},
        {{c.video, "--area", "0,0,320,240", "--head", "138,30,44,60", "--shoulders", "120,100,120.5,100"},
         "forearm"},
        {{c.video, "--area", "0,0,320,240", "--head", "138,30,1,1", "--shoulders", "120,100,200,100"},
         "skin sample"},
        {{c.video, "--area", "0,0,320,4", "--head", "138,0,44,4", "--shoulders", "120,1,200,1"}, "6 rows"},
        {area("0,0,320,240", {"--skin", c.dir.file("empty.png")}), "skin picture"},
        {area("0,0,320,240", {"--background", c.dir.file("none.png")}), "background picture"},
        {area("0,0,320,240", {"--annotated-video", c.dir.file("no/dir/a.avi")}), "annotated video"},
    };
    for (const Case& k : cases) {
        for (const std::string& out : {kept, fresh}) {
            std::vector<std::string> args = k.args;
            args.push_back("-o");
            args.push_back(out);
            const Result r = track(args);
            EXPECT_EQ(r.status, 2) << k.expect << "\n" << r.err;
            EXPECT_NE(r.err.find(k.expect), std::string::npos) << "message: " << r.err;
            EXPECT_EQ(r.err.rfind("vestiga-track: ", 0), 0u) << r.err;
        }
        EXPECT_EQ(readFile(kept), keptBytes);
        EXPECT_FALSE(fileExists(fresh)) << k.expect;
    }

    // Output paths that cannot be written.
    Result r = track({c.video, "--calibration", c.calib, "-o", c.dir.file("no/dir/t.track")});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    r = track({c.video, "--calibration", c.calib, "-o", c.video});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("would be overwritten"), std::string::npos) << r.err;
}

TEST(TrackCommandTest, ProgramKeepsStandardOutputEmpty)
{
    Corpus c(4);
    const std::string out = c.dir.file("stdout.txt"), err = c.dir.file("stderr.txt");
    const std::string cmd = std::string("'") + VESTIGA_TRACK_EXE + "' '" + c.video + "' -o '" + c.track
                            + "' --calibration '" + c.calib + "' --annotated-video '" + c.dir.file("a.avi")
                            + "' > '" + out + "' 2> '" + err + "'";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(err);
    EXPECT_EQ(readFile(out), "");
    EXPECT_EQ(readFile(err), ""); // not a terminal: no progress
    EXPECT_EQ(lines(readFile(c.track)).size(), 3u);
    EXPECT_TRUE(fileExists(c.dir.file("a.avi")));

    const std::string bad = std::string("'") + VESTIGA_TRACK_EXE + "' '" + c.video + "' -o '"
                            + c.dir.file("x.track") + "' > '" + out + "' 2> '" + err + "'";
    status = std::system(bad.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(readFile(err).find("calibration is missing"), std::string::npos);
    EXPECT_FALSE(fileExists(c.dir.file("x.track")));
}

TEST(TrackCommandTest, FailureDuringTheRunKeepsTheCompleteLines)
{
    Corpus c(30);
    ASSERT_EQ(track({c.video, "--calibration", c.calib, "-o", c.track}).status, 0);
    const std::string full = readFile(c.track);
    ASSERT_EQ(lines(full).size(), 29u);

    // A file-size limit of one block stops the writes part-way through a line.
    // The program itself ignores SIGXFSZ (no "trap" in the shell): the failed
    // write is reported like a full disk, and the message counts the lines the
    // file really keeps.
    const std::string cut = c.dir.file("cut.track"), err = c.dir.file("stderr.txt");
    auto limited = [&](int blocks) {
        // The limit holds inside the parentheses only: the messages go through
        // a pipe to a writer without it.
        const std::string cmd = "(ulimit -f " + std::to_string(blocks) + "; '" + VESTIGA_TRACK_EXE + "' '"
                                + c.video + "' -o '" + cut + "' --calibration '" + c.calib
                                + "'; echo \"exit $?\") 2>&1 | cat > '" + err + "'";
        const int raw = std::system(cmd.c_str());
        if (!WIFEXITED(raw) || WEXITSTATUS(raw) != 0)
            return -1;
        const std::string text = readFile(err);
        const size_t at = text.rfind("exit ");
        return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 5);
    };
    EXPECT_EQ(limited(1), 1) << readFile(err); // 128 + signal when killed
    EXPECT_NE(readFile(err).find("cannot be written"), std::string::npos) << readFile(err);
    const std::string kept = readFile(cut);
    ASSERT_FALSE(kept.empty());
    EXPECT_LT(kept.size(), full.size());
    EXPECT_EQ(kept.back(), '\n');
    EXPECT_EQ(full.compare(0, kept.size(), kept), 0); // the same lines, none cut
    EXPECT_NE(readFile(err).find("keeps the " + std::to_string(lines(kept).size()) + " lines written"),
              std::string::npos)
        << readFile(err);

    EXPECT_EQ(limited(0), 1) << readFile(err);
    EXPECT_EQ(readFile(cut), "");
    EXPECT_NE(readFile(err).find("keeps no line"), std::string::npos) << readFile(err);
}

TEST(TrackCommandTest, AVideoCutShortIsAFailureThatKeepsItsLines)
{
    Corpus c(40);
    const std::string whole = readFile(c.video);
    const std::string cut = c.dir.file("cut.avi");
    writeFile(cut, whole.substr(0, whole.size() / 2));
    const Result r = track({cut, "--calibration", c.calib, "-o", c.track});
    EXPECT_EQ(r.status, kTrackRunFailed) << r.err;
    EXPECT_NE(r.err.find("ends before its stated length"), std::string::npos) << r.err;
    const std::vector<std::string> kept = lines(readFile(c.track));
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), 39u);
    EXPECT_NE(r.err.find("keeps the " + std::to_string(kept.size()) + " lines"), std::string::npos) << r.err;
}

TEST(TrackCommandTest, NoOutputOverAnInputUnderAnyName)
{
    Corpus c(4);
    const std::string calib = readFile(c.calib), video = readFile(c.video);
    const std::string link = c.dir.file("link.calib"), hard = c.dir.file("hard.avi");
    ASSERT_EQ(::symlink(c.calib.c_str(), link.c_str()), 0);
    ASSERT_EQ(::link(c.video.c_str(), hard.c_str()), 0);
    const std::string dotted = c.dir.file("sub/../signer.calib");
    ::mkdir(c.dir.file("sub").c_str(), 0700);
    const std::vector<std::vector<std::string>> cases = {
        {c.video, "-o", c.calib, "--calibration", c.calib},
        {c.video, "-o", link, "--calibration", c.calib},
        {c.video, "-o", dotted, "--calibration", c.calib},
        {c.video, "-o", hard, "--calibration", c.calib},
        {c.video, "-o", c.track, "--calibration", c.calib, "--annotated-video", c.calib},
        {c.video, "-o", c.track, "--calibration", c.calib, "--annotated-video", hard},
        {c.video, "-o", c.track, "--calibration", c.calib, "--confidence", link},
        {c.video, "-o", c.track, "--calibration", c.calib, "--confidence", hard},
    };
    for (const auto& args : cases) {
        const Result r = track(args);
        EXPECT_EQ(r.status, kTrackBadInput) << args[2] << ": " << r.err;
        EXPECT_NE(r.err.find("would be overwritten"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(c.calib), calib);
    EXPECT_EQ(readFile(c.video), video);
    EXPECT_FALSE(fileExists(c.track));

    // A folder is not a tracking file, with or without its final '/'.
    for (const std::string& out : {c.dir.path(), c.dir.path() + "/", c.dir.file("new/")}) {
        const Result r = track({c.video, "-o", out, "--calibration", c.calib});
        EXPECT_EQ(r.status, kTrackBadInput) << out;
        EXPECT_NE(r.err.find("folder"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fileExists(c.dir.file("new")));
}

TEST(TrackCommandTest, InputsAreBoundedAndNumbersMeanWhatTheySay)
{
    Corpus c(4);
    auto refused = [&](std::vector<std::string> args, const std::string& mention) {
        const Result r = track(args);
        EXPECT_EQ(r.status, kTrackBadInput) << r.err;
        EXPECT_NE(r.err.find(mention), std::string::npos) << r.err;
        EXPECT_LT(r.err.size(), 2000u);
        EXPECT_EQ(r.err.find('\0'), std::string::npos);
    };
    refused({c.video, "-o", c.track, "--calibration", "/dev/zero"}, "larger than 1 MiB");
    refused({c.video, "-o", c.track, "--calibration", c.dir.path()}, "is a folder");
    writeFile(c.dir.file("bin.calib"), std::string("area \0\xff\x1b[2J", 12) + std::string(10 << 20, 'x'));
    refused({c.video, "-o", c.track, "--calibration", c.dir.file("bin.calib")}, "larger than");
    writeFile(c.dir.file("bin.calib"), std::string("head \0\xff\x1b", 8) + std::string(100000, 'x') + "\n");
    refused({c.video, "-o", c.track, "--calibration", c.dir.file("bin.calib")}, "'\\0\\xff\\x1bxxx");
    const std::vector<std::string> cal = {"--area", "0,0,320,240", "--head", "130,30,60,70", "--shoulders",
                                          "110,120,210,120"};
    auto with = [&](std::vector<std::string> v) {
        v.insert(v.begin(), cal.begin(), cal.end());
        return v;
    };
    refused(with({c.video, "-o", c.track, "--shoulder-distance", "1e30"}), "--shoulder-distance");
    refused(with({c.video, "-o", c.track, "--shoulder-distance", "0x10"}), "'0x10'");
    refused(with({c.video, "-o", c.track, "--reference-frame", "0x1"}), "--reference-frame");
    refused(with({c.video, "-o", c.track, "--reference-frame", "1e300"}), "out of range");
    writeFile(c.dir.file("far.calib"), readFile(c.calib) + "shoulder-distance 1e30\n");
    refused({c.video, "-o", c.track, "--calibration", c.dir.file("far.calib")}, "shoulder-distance");
    EXPECT_FALSE(fileExists(c.track));

    // A byte-order mark before the first key is not part of it.
    writeFile(c.dir.file("bom.calib"), "\xEF\xBB\xBF" + readFile(c.calib));
    const Result r = track({c.video, "-o", c.track, "--calibration", c.dir.file("bom.calib")});
    EXPECT_EQ(r.status, kTrackOk) << r.err;
}

TEST(TrackCommandTest, HelpSucceedsOnStandardOutput)
{
    for (const char* h : {"--help", "-h"}) {
        std::ostringstream out, err;
        EXPECT_EQ(runTrackCommand({"v.avi", h, "--bogus"}, err, false, &out), kTrackOk);
        EXPECT_EQ(out.str(), trackUsage());
        EXPECT_EQ(err.str(), "");
    }
    EXPECT_NE(parseError({"v.avi", "--calibration", "c", "-o", "t", "--sleeves", "short", "--sleeves", "short"})
                  .find("--sleeves is given twice"),
              std::string::npos);
}

TEST(TrackCommandTest, TrackerAndConfidenceOptions)
{
    TrackArgs a;
    std::string error;
    ASSERT_TRUE(parseTrackArgs({"v.avi", "-o", "t", "--calibration", "c", "--tracker", "robust", "--confidence=c.csv"}, &a, &error))
        << error;
    EXPECT_TRUE(a.hasTracker);
    EXPECT_EQ(a.tracker, TrackerMethod::Robust);
    EXPECT_EQ(a.confidence, "c.csv");
    ASSERT_TRUE(parseTrackArgs({"v.avi", "-o", "t", "--calibration", "c"}, &a, &error)) << error;
    EXPECT_FALSE(a.hasTracker);
    EXPECT_TRUE(a.confidence.empty());
    EXPECT_FALSE(parseTrackArgs({"v.avi", "-o", "t", "--tracker", "fast"}, &a, &error));
    EXPECT_NE(error.find("'fast'"), std::string::npos) << error;
    EXPECT_FALSE(parseTrackArgs({"v.avi", "-o", "t", "--tracker=classic", "--tracker=robust"}, &a, &error));
    EXPECT_NE(error.find("twice"), std::string::npos) << error;
    EXPECT_FALSE(parseTrackArgs({"v.avi", "-o", "t", "--confidence", ""}, &a, &error));

    // The confidence file's name is checked before anything is written.
    Corpus c(4);
    const Result r = track({c.video, "-o", c.track, "--calibration", c.calib, "--confidence", c.dir.path() + "/"});
    EXPECT_EQ(r.status, kTrackBadInput) << r.err;
    EXPECT_NE(r.err.find("--confidence"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(c.track));
}

// The shared command-line pieces: the number reader's refusals, quoting of
// hostile text, bounded reading, the output-over-input guard and the option
// conventions (help, repeats, unknown options, values that look like options).
#include "cli/Files.h"
#include "cli/Number.h"
#include "cli/Options.h"
#include "cli/Quote.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir()
    {
        path = fs::temp_directory_path() / ("cli_test_" + std::to_string(::getpid()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& content = "") const
    {
        const fs::path p = path / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
};

} // namespace

TEST(NumberTest, DecimalFiniteAndInRangeOnly)
{
    const cli::Range any{-1e9, 1e9};
    double v = -1;
    EXPECT_EQ(cli::readNumber(" 12.5 ", any, &v), "");
    EXPECT_EQ(v, 12.5);
    EXPECT_EQ(cli::readNumber("+3", any, &v), "");
    EXPECT_EQ(v, 3);
    EXPECT_EQ(cli::readNumber("-.5e1", any, &v), "");
    EXPECT_EQ(v, -5);
    // A tiny number is a number; the range then decides.
    EXPECT_EQ(cli::readNumber("1e-50", any, &v), "");
    EXPECT_EQ(v, 1e-50);
    EXPECT_EQ(cli::readNumber("1e-400", any, &v), "");
    EXPECT_EQ(v, 0);
    EXPECT_NE(cli::readNumber("1e-50", cli::Range{1, 2}, &v).find("out of range"), std::string::npos);

    v = 7;
    for (const char* bad : {"0x10", "inf", "-inf", "nan", "", "  ", "12s", "1,5", "--1", "+-1", "e5", "1e", "0x1p3"})
        EXPECT_NE(cli::readNumber(bad, any, &v).find("not a number"), std::string::npos) << bad;
    for (const char* big : {"1e300", "1e30", "1e400", "-1e400", "1000000001", "123456789012345678901234567890"})
        EXPECT_NE(cli::readNumber(big, any, &v).find("out of range"), std::string::npos) << big;
    EXPECT_EQ(v, 7) << "a refused text leaves the value alone";

    long long n = 0;
    EXPECT_EQ(cli::readInteger("12", 0, 20, &n), "");
    EXPECT_EQ(n, 12);
    EXPECT_EQ(cli::readInteger("1e1", 0, 20, &n), "");
    EXPECT_EQ(n, 10);
    EXPECT_NE(cli::readInteger("1.5", 0, 20, &n).find("whole"), std::string::npos);
    EXPECT_NE(cli::readInteger("21", 0, 20, &n).find("out of range"), std::string::npos);
    EXPECT_NE(cli::readInteger("9223372036854775807", 0, 9223372036854775807LL, &n), "");
}

TEST(QuoteTest, CutsAndEscapesHostileText)
{
    EXPECT_EQ(cli::quote("area"), "'area'");
    EXPECT_EQ(cli::quote(std::string("a\0b", 3)), "'a\\0b'");
    EXPECT_EQ(cli::quote("it's\t\x1b[2J\xff"), "'it\\'s\\t\\x1b[2J\\xff'");
    EXPECT_EQ(cli::quote("épaule"), "'épaule'");   // accented letters stay readable
    EXPECT_EQ(cli::quote("\xc2\x9b"), "'\\xc2\\x9b'"); // a C1 control does not
    const std::string huge(10 << 20, 'x');
    const std::string q = cli::quote(huge);
    EXPECT_EQ(q, "'" + std::string(80, 'x') + "'...");
}

TEST(FilesTest, ReadsBoundedTextAndNamesWhatIsWrong)
{
    TempDir d;
    std::string text, why;
    ASSERT_TRUE(cli::readTextFile(d.file("a.txt", "abc"), 3, &text, &why)) << why;
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(cli::readTextFile(d.file("b.txt", "abcd"), 3, &text, &why));
    EXPECT_NE(why.find("larger than 3 bytes"), std::string::npos) << why;
    EXPECT_EQ(text, "abc");
    EXPECT_FALSE(cli::readTextFile("/dev/zero", 1 << 20, &text, &why));
    EXPECT_EQ(why, "is larger than 1 MiB");
    EXPECT_FALSE(cli::readTextFile(d.path.string(), 100, &text, &why));
    EXPECT_NE(why.find("folder"), std::string::npos);
    EXPECT_FALSE(cli::readTextFile((d.path / "none").string(), 100, &text, &why));
    EXPECT_NE(why.find("cannot be read"), std::string::npos);
    EXPECT_EQ(cli::withoutBom("\xEF\xBB\xBF" "area"), "area");
    EXPECT_EQ(cli::withoutBom("area"), "area");
}

TEST(FilesTest, AnOutputMayNotBeAnInputUnderAnyName)
{
    TempDir d;
    const std::string in = d.file("in.calib", "x");
    const fs::path sub = d.path / "sub";
    fs::create_directories(sub);
    fs::create_hard_link(in, d.path / "hard");
    fs::create_symlink(in, d.path / "soft");
    fs::create_symlink(d.path / "later.calib", d.path / "dangling");
    const std::string later = (d.path / "later.calib").string();

    for (const std::string& out : {in, (sub / ".." / "in.calib").string(), (d.path / "hard").string(),
                                   (d.path / "soft").string()})
        EXPECT_NE(cli::outputOverInput({"elsewhere", out}, {in}), "") << out;
    // A link to a name that does not exist yet resolves to that name.
    EXPECT_NE(cli::outputOverInput({(d.path / "dangling").string()}, {later}), "");
    EXPECT_EQ(cli::outputOverInput({(d.path / "out.track").string()}, {in, ""}), "");

    EXPECT_NE(cli::outputNameProblem(d.path.string()).find("folder"), std::string::npos);
    EXPECT_NE(cli::outputNameProblem((d.path / "x/").string()).find("'/'"), std::string::npos);
    EXPECT_NE(cli::outputNameProblem(""), "");
    EXPECT_EQ(cli::outputNameProblem((d.path / "new.track").string()), "");
}

TEST(OptionsTest, SharedConventions)
{
    struct Parsed {
        std::string out;
        double begin = -1;
        int pattern = 0;
        bool quiet = false;
        std::vector<std::string> keys, files;
        cli::Options::Outcome outcome;
        std::string error;
    };
    auto parse = [](std::vector<std::string> args) {
        Parsed p;
        cli::Options o("tool", "usage: tool FILE\n");
        o.text("-o,--output", &p.out);
        o.number("--begin", &p.begin, {0, 100});
        o.integer("--pattern", &p.pattern, 0, 7);
        o.flag("--quiet", &p.quiet);
        o.repeated("--keyframe", [&p](const std::string& v) {
            p.keys.push_back(v);
            return std::string();
        });
        o.positionals(&p.files);
        p.outcome = o.parse(args, &p.error);
        return p;
    };
    Parsed p = parse({"f", "--output=x", "--begin", "1e-50", "--keyframe", "-1:-0.5", "--keyframe=2", "g",
                      "--quiet", "--quiet"});
    ASSERT_EQ(p.outcome, cli::Options::Outcome::Run) << p.error;
    EXPECT_EQ(p.out, "x");
    EXPECT_EQ(p.begin, 1e-50);
    EXPECT_EQ(p.keys, (std::vector<std::string>{"-1:-0.5", "2"}));
    EXPECT_EQ(p.files, (std::vector<std::string>{"f", "g"}));
    EXPECT_TRUE(p.quiet);

    EXPECT_EQ(parse({"f", "--help"}).outcome, cli::Options::Outcome::Help);
    EXPECT_EQ(parse({"--nope", "-h"}).outcome, cli::Options::Outcome::Help);

    auto refused = [&](std::vector<std::string> args) {
        const Parsed r = parse(std::move(args));
        EXPECT_EQ(r.outcome, cli::Options::Outcome::Refused);
        return r.error;
    };
    EXPECT_EQ(refused({"-o", "a", "--output", "b"}), "-o is given twice");
    EXPECT_EQ(refused({"--begin", "1", "--begin", "1"}), "--begin is given twice");
    EXPECT_EQ(refused({"--begin"}), "--begin: a value is missing");
    EXPECT_EQ(refused({"f", "--colour", "red"}), "unknown option '--colour'");
    EXPECT_EQ(refused({"--begin", "0x10"}), "--begin: '0x10' is not a number");
    EXPECT_EQ(refused({"--begin", "1e300"}), "--begin: '1e300' is out of range (0 to 100)");
    EXPECT_EQ(refused({"--pattern", "8"}), "--pattern: '8' is out of range (0 to 7)");
    EXPECT_EQ(refused({"-o", ""}), "-o: the file name is empty");
    // A flag with a value that is not a truth value, however often it is
    // repeated, gets one short line (CLI11 itself echoes every occurrence).
    EXPECT_EQ(refused({"--quiet=x"}), "--quiet takes no value");
    EXPECT_EQ(refused({"-hhhh", "--help=a0"}), "--help takes no value");

    std::ostringstream out, err;
    cli::Options o("tool", "usage: tool FILE\n");
    EXPECT_EQ(cli::finishParse(o, cli::Options::Outcome::Help, "", out, err), 0);
    EXPECT_EQ(out.str(), "usage: tool FILE\n");
    EXPECT_EQ(cli::finishParse(o, cli::Options::Outcome::Refused, "bad", out, err), 2);
    EXPECT_EQ(err.str(), "tool: bad\nusage: tool FILE\n");
}

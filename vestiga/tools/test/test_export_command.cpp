// vestiga-export: the CSV rows, the link into an annotation document (once,
// nothing else changed) and bad input refused with nothing written.
#include "ExportCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* kTracking = "-0.123456 0.500000 0.250000 0.600000 0.000000 0.200000 40.000000 \n"
                        "-0.120000 0.510000 0.240000 0.610000 0.001000 0.200500 73.333336 \n";

const char* kDoc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<ANNOTATION_DOCUMENT FORMAT=\"3.0\" VERSION=\"3.0\">\n"
                   "    <HEADER MEDIA_FILE=\"\" TIME_UNITS=\"milliseconds\">\n"
                   "        <MEDIA_DESCRIPTOR MEDIA_URL=\"file:///x/clip.mp4\" MIME_TYPE=\"video/mp4\"/>\n"
                   "        <PROPERTY NAME=\"lastUsedAnnotationId\">0</PROPERTY>\n"
                   "    </HEADER>\n"
                   "    <TIME_ORDER/>\n"
                   "</ANNOTATION_DOCUMENT>\n";

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::binary) << text;
}

fs::path workDir(const std::string& name)
{
    const fs::path d = fs::path(TEST_BINARY_DIR) / "export" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = vestiga::runExportCommand(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(ExportCsv, RowsCarryTimeInSecondsAndTheCoordinatesAsWritten)
{
    std::string csv, error;
    ASSERT_TRUE(vestiga::trackingToCsv(kTracking, "t", csv, &error)) << error;
    EXPECT_EQ(csv, "time,hand1_x,hand1_y,hand2_x,hand2_y,head_x,head_y\n"
                   "0.040,-0.123456,0.500000,0.250000,0.600000,0.000000,0.200000\n"
                   "0.073,-0.120000,0.510000,0.240000,0.610000,0.001000,0.200500\n");
    // A last line without its newline, and blank lines after the last line.
    std::string again;
    ASSERT_TRUE(vestiga::trackingToCsv(std::string(kTracking).substr(0, std::string(kTracking).size() - 2) + "\n\n \n",
                                       "t", again, &error));
    EXPECT_EQ(again, csv);
}

TEST(ExportCsv, MalformedTrackingNamesTheLine)
{
    std::string csv = "unchanged", error;
    for (const char* bad : {"1 2 3 4 5 6\n", "1 2 3 4 5 6 7 8\n", "1 2 3 4 5 nan 7\n", "1 2 3 4 5 6 0x\n"}) {
        const std::string text = std::string(kTracking) + bad;
        EXPECT_FALSE(vestiga::trackingToCsv(text, "clip.track", csv, &error)) << bad;
        EXPECT_NE(error.find("clip.track' line 3"), std::string::npos) << error;
    }
    EXPECT_FALSE(vestiga::trackingToCsv("\n \n", "clip.track", csv, &error));
    EXPECT_NE(error.find("no tracking line"), std::string::npos) << error;
    EXPECT_EQ(csv, "unchanged");
}

TEST(ExportCommand, LinksTheCsvIntoTheDocumentOnceAndChangesNothingElse)
{
    const fs::path d = workDir("link");
    fs::create_directories(d / "csv");
    write(d / "clip.track", kTracking);
    write(d / "clip.eaf", kDoc);
    const std::string csv = (d / "csv" / "clip one.csv").string();
    Outcome r = run({(d / "clip.track").string(), "-o", csv, "--link-eaf", (d / "clip.eaf").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(csv).substr(0, 52), "time,hand1_x,hand1_y,hand2_x,hand2_y,head_x,head_y\n0");

    const std::string linked = slurp(d / "clip.eaf");
    std::string expected = kDoc;
    const std::string media = "video/mp4\"/>\n";
    expected.insert(expected.find(media) + media.size(),
                    "        <LINKED_FILE_DESCRIPTOR LINK_URL=\"" +
                        std::string("file://") + fs::weakly_canonical(d).string() +
                        "/csv/clip%20one.csv\" MIME_TYPE=\"text/plain\" RELATIVE_LINK_URL=\"./csv/clip one.csv\"/>\n");
    EXPECT_EQ(linked, expected);

    // Again: the CSV is rewritten, the document keeps its single link.
    r = run({(d / "clip.track").string(), "-o", csv, "--link-eaf", (d / "clip.eaf").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(d / "clip.eaf"), linked);
}

TEST(ExportCommand, UsageAndBadInputExitTwoWithNothingWritten)
{
    const fs::path d = workDir("bad");
    write(d / "clip.track", kTracking);
    write(d / "clip.eaf", kDoc);
    write(d / "broken.eaf", "<ANNOTATION_DOCUMENT><HEADER></ANNOTATION_DOCUMENT>");
    write(d / "noheader.eaf", "<ANNOTATION_DOCUMENT/>");
    fs::create_symlink(d / "clip.track", d / "alias.csv");
    const std::string track = (d / "clip.track").string(), out = (d / "out.csv").string();

    Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--link-eaf"), std::string::npos);

    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{track}, "-o"},
        {{track, "-o", out, "-o", out}, "-o"},
        {{track, "-o", out, "--link-eaf", (d / "clip.eaf").string(), "--link-eaf", (d / "clip.eaf").string()},
         "link-eaf"},
        {{track, "-o", out, "--frobnicate"}, "frobnicate"},
        {{(d / "missing.track").string(), "-o", out}, "No such file"},
        {{d.string(), "-o", out}, "folder"},
        {{track, "-o", (d / "nowhere" / "x.csv").string()}, "folder does not exist"},
        {{track, "-o", d.string()}, "is a folder"},
        {{track, "-o", track}, "overwritten"},
        {{track, "-o", (d / "alias.csv").string()}, "overwritten"},
        {{track, "-o", (d / "clip.eaf").string(), "--link-eaf", (d / "clip.eaf").string()}, "overwritten"},
        {{track, "-o", out, "--link-eaf", (d / "broken.eaf").string()}, "line 1"},
        {{track, "-o", out, "--link-eaf", (d / "noheader.eaf").string()}, "HEADER"},
        {{track, "-o", out, "--link-eaf", (d / "none.eaf").string()}, "none.eaf"},
    };
    for (const Case& c : cases) {
        r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out)) << r.err;
    }
    EXPECT_EQ(slurp(d / "clip.track"), kTracking);
    EXPECT_EQ(slurp(d / "clip.eaf"), kDoc);
}

TEST(ExportCommand, RelativeLinksAsAnnotationToolsWriteThem)
{
    EXPECT_EQ(vestiga::relativeLink("/c/doc.eaf", "/c/doc.csv"), "./doc.csv");
    EXPECT_EQ(vestiga::relativeLink("/c/eaf/doc.eaf", "/c/csv/doc.csv"), "../csv/doc.csv");
}

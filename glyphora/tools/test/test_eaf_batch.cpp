// glyphora-render --eaf: file names made from glosses, the table and the
// contact sheet, and the batch run on a synthetic signer with a document that
// has signs that can and cannot be drawn, a symbolic tier and an empty tier.
#include "EafBatch.h"

#include "../../render/test/SyntheticSign.h"

#include "ToolRun.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;
using glyphora::SignResult;

namespace {

using glyphora::test::slurp;
using Outcome = glyphora::test::ToolRun;

Outcome render(const std::vector<std::string>& args, const fs::path& logs)
{
    return glyphora::test::runTool(GLYPHORA_RENDER_EXE, args, logs);
}

// A 4-second synthetic signer (100 frames at 25 per second, 100 tracking
// lines) and a document for it. Gloss tier, in document order: a sign of 35
// lines, one whose begin is an unaligned slot (halfway between 1000 and 2000
// ms), one of 98 lines (too long), one after the video, one of no length.
const char* kDoc = R"(<?xml version="1.0" encoding="UTF-8"?>
<ANNOTATION_DOCUMENT FORMAT="3.0" VERSION="3.0">
  <HEADER MEDIA_FILE="" TIME_UNITS="milliseconds"/>
  <TIME_ORDER>
    <TIME_SLOT TIME_SLOT_ID="t0" TIME_VALUE="0"/>
    <TIME_SLOT TIME_SLOT_ID="t1" TIME_VALUE="200"/>
    <TIME_SLOT TIME_SLOT_ID="t2" TIME_VALUE="1000"/>
    <TIME_SLOT TIME_SLOT_ID="t3"/>
    <TIME_SLOT TIME_SLOT_ID="t4" TIME_VALUE="2000"/>
    <TIME_SLOT TIME_SLOT_ID="t5" TIME_VALUE="2500"/>
    <TIME_SLOT TIME_SLOT_ID="t6" TIME_VALUE="2500"/>
    <TIME_SLOT TIME_SLOT_ID="t7" TIME_VALUE="3900"/>
    <TIME_SLOT TIME_SLOT_ID="t8" TIME_VALUE="5000"/>
    <TIME_SLOT TIME_SLOT_ID="t9" TIME_VALUE="6000"/>
  </TIME_ORDER>
  <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Gloss">
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a2" TIME_SLOT_REF1="t3" TIME_SLOT_REF2="t4"><ANNOTATION_VALUE>MAISON/HOUSE été</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a1" TIME_SLOT_REF1="t1" TIME_SLOT_REF2="t2"><ANNOTATION_VALUE>BONJOUR</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a3" TIME_SLOT_REF1="t0" TIME_SLOT_REF2="t7"><ANNOTATION_VALUE>LONG</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a4" TIME_SLOT_REF1="t8" TIME_SLOT_REF2="t9"><ANNOTATION_VALUE>AFTER</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
    <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a5" TIME_SLOT_REF1="t5" TIME_SLOT_REF2="t6"><ANNOTATION_VALUE>ZERO</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
  </TIER>
  <TIER LINGUISTIC_TYPE_REF="translation" PARENT_REF="Gloss" TIER_ID="Traduction">
    <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="r1" ANNOTATION_REF="a1"><ANNOTATION_VALUE>hello</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
    <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="r2" ANNOTATION_REF="a2"><ANNOTATION_VALUE>house</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
  </TIER>
  <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Vide"/>
  <LINGUISTIC_TYPE LINGUISTIC_TYPE_ID="gloss" TIME_ALIGNABLE="true"/>
  <LINGUISTIC_TYPE CONSTRAINTS="Symbolic_Association" LINGUISTIC_TYPE_ID="translation" TIME_ALIGNABLE="false"/>
</ANNOTATION_DOCUMENT>
)";

struct Corpus {
    fs::path dir, video, tracking, doc;
};

const Corpus& corpus()
{
    static const Corpus c = [] {
        Corpus c;
        c.dir = fs::path(TEST_BINARY_DIR) / "eaf_batch";
        synthetic::Sign sign;
        sign.frames = 100;
        if (!sign.writeFiles(c.dir, "signer"))
            ADD_FAILURE() << "cannot write the synthetic signer in " << c.dir;
        c.video = c.dir / "signer.avi";
        c.tracking = c.dir / "signer.track";
        c.doc = c.dir / "signer.eaf";
        std::ofstream(c.doc, std::ios::binary) << kDoc;
        return c;
    }();
    return c;
}

fs::path freshDir(const std::string& name)
{
    const fs::path d = fs::path(TEST_BINARY_DIR) / "eaf_batch_out" / name;
    fs::remove_all(d);
    fs::create_directories(d.parent_path());
    return d;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

} // namespace

TEST(EafBatchNames, GlossesBecomeSafeFileNames)
{
    EXPECT_EQ(glyphora::safeGlossName("MAISON/HOUSE été"), "MAISON_HOUSE_été");
    EXPECT_EQ(glyphora::safeGlossName("PT:PRO1-a_b"), "PT_PRO1-a_b");
    EXPECT_EQ(glyphora::safeGlossName("../../etc"), "______etc");
    EXPECT_EQ(glyphora::safeGlossName("3€ Ωμέγα"), "3__Ωμέγα");
    EXPECT_EQ(glyphora::safeGlossName(""), "_");
    EXPECT_EQ(glyphora::safeGlossName("a\xff\xc3"), "a__"); // malformed UTF-8
    // At most 60 characters, counted as characters, not bytes.
    std::string longGloss;
    for (int i = 0; i < 70; ++i)
        longGloss += "é";
    const std::string safe = glyphora::safeGlossName(longGloss);
    EXPECT_EQ(safe.size(), 120u);
    EXPECT_EQ(safe.substr(0, 2), "é");
}

TEST(EafBatchNames, TableQuotesAndSheetStaysSelfContained)
{
    SignResult made;
    made.index = 1;
    made.gloss = "A, \"B\" <i>";
    made.begin = 0.2;
    made.end = 1.0;
    made.stem = "001_A___B___i_";
    made.made = true;
    made.descr.movCat = 5;
    SignResult missed;
    missed.index = 2;
    missed.gloss = "C";
    missed.stem = "002_C";
    missed.reason = "too long, really";
    const std::vector<SignResult> signs{made, missed};

    const auto rows = lines(glyphora::signsTable(signs));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].substr(0, 30), "1,\"A, \"\"B\"\" <i>\",0.200,1.000,0");
    EXPECT_EQ(rows[2], "2,C,0.000,0.000,,,,,,,,,,,,,\"too long, really\"");

    const std::string sheet = glyphora::contactSheet("clip.mp4, tier Gloss", signs);
    EXPECT_EQ(sheet.find("<script"), std::string::npos);
    EXPECT_EQ(sheet.find("http"), std::string::npos);
    EXPECT_EQ(sheet.find("<i>"), std::string::npos); // the gloss is escaped
    EXPECT_NE(sheet.find("A, &quot;B&quot; &lt;i&gt;"), std::string::npos);
    EXPECT_NE(sheet.find("src=\"001_A___B___i_.jpg\""), std::string::npos);
    EXPECT_NE(sheet.find("circle"), std::string::npos);
    EXPECT_NE(sheet.find("too long, really"), std::string::npos);
    EXPECT_LT(sheet.find("001 "), sheet.find("002 "));
}

TEST(EafBatch, EverySignThatCanBeDrawnIsMadeAsTheSingleRunMakesIt)
{
    const Corpus& c = corpus();
    const fs::path out = freshDir("gloss");
    const Outcome r = render({c.video.string(), c.tracking.string(), "--eaf", c.doc.string(), "--tier", "Gloss",
                              "--out-dir", out.string(), "--pattern", "1"},
                             out.string() + "-log");
    EXPECT_EQ(r.status, 1) << r.err; // some signs could not be made

    // Time order: BONJOUR (200..1000), LONG (0..3900) sorts first.
    const auto rows = lines(slurp(out / "signs.csv"));
    ASSERT_EQ(rows.size(), 6u) << slurp(out / "signs.csv");
    EXPECT_NE(rows[1].find("1,LONG,0.000,3.900,"), std::string::npos) << rows[1];
    EXPECT_NE(rows[1].find("too long: it spans 98 tracking lines"), std::string::npos) << rows[1];
    EXPECT_EQ(rows[2].rfind("2,BONJOUR,0.200,1.000,002_BONJOUR.jpg,002_BONJOUR.sgn,002_BONJOUR.txt,1,", 0), 0u)
        << rows[2];
    EXPECT_EQ(rows[3].rfind("3,MAISON/HOUSE été,1.500,2.000,003_MAISON_HOUSE_été.jpg,", 0), 0u) << rows[3];
    EXPECT_NE(rows[4].find("too short"), std::string::npos) << rows[4];
    EXPECT_NE(rows[5].find("after the end of the video"), std::string::npos) << rows[5];
    for (const char* gloss : {"LONG", "ZERO", "AFTER"})
        EXPECT_NE(r.err.find(std::string("\"") + gloss + "\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("BONJOUR"), std::string::npos) << r.err;
    for (const char* ext : {".jpg", ".sgn", ".txt"}) {
        EXPECT_TRUE(fs::exists(out / (std::string("003_MAISON_HOUSE_été") + ext)));
        EXPECT_FALSE(fs::exists(out / (std::string("001_LONG") + ext)));
    }
    const std::string sheet = slurp(out / "index.html");
    EXPECT_NE(sheet.find("src=\"003_MAISON_HOUSE_%C3%A9t%C3%A9.jpg\""), std::string::npos);
    EXPECT_NE(sheet.find("MAISON/HOUSE été"), std::string::npos);

    // Sign 002 is what the single run makes from the same times: the same
    // picture, description and export.
    const fs::path single = freshDir("single");
    fs::create_directories(single);
    const Outcome one = render({c.video.string(), c.tracking.string(), "-o", (single / "s").string(), "--begin",
                                "0.2", "--end", "1.0", "--pattern", "1"},
                               single.string() + "-log");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(slurp(out / "002_BONJOUR.sgn"), slurp(single / "s.sgn"));
    EXPECT_EQ(slurp(out / "002_BONJOUR.jpg"), slurp(single / "s.jpg"));
    EXPECT_EQ(slurp(out / "002_BONJOUR.txt"), one.out);
}

TEST(EafBatch, SymbolicTierTakesItsParentsTimesAndKeyFramesFollowTheSign)
{
    const Corpus& c = corpus();
    const fs::path out = freshDir("traduction");
    const Outcome r = render({c.video.string(), c.tracking.string(), "--eaf", c.doc.string(), "--tier",
                              "Traduction", "--out-dir", out.string(), "--keyframe-at", "0", "--keyframe-at", "0.5",
                              "--keyframe-at", "1"},
                             out.string() + "-log");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = lines(slurp(out / "signs.csv"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].substr(0, 32), "1,hello,0.200,1.000,001_hello.jp");
    EXPECT_EQ(rows[2].substr(0, 32), "2,house,1.500,2.000,002_house.jp");

    const fs::path single = freshDir("single-kf");
    fs::create_directories(single);
    const Outcome one = render({c.video.string(), c.tracking.string(), "-o", (single / "s").string(), "--begin",
                                "1.5", "--end", "2.0", "--keyframe", "1.5", "--keyframe", "1.75", "--keyframe", "2.0"},
                               single.string() + "-log");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(slurp(out / "002_house.jpg"), slurp(single / "s.jpg"));
}

TEST(EafBatch, NothingIsCreatedWhenTheBatchCannotStart)
{
    const Corpus& c = corpus();
    const fs::path out = freshDir("refused");
    std::ofstream(c.dir / "broken.eaf") << "<ANNOTATION_DOCUMENT>\n<TIER TIER_ID=\"Gloss\">\n</ANNOTATION_DOCUMENT>\n";
    const std::string v = c.video.string(), t = c.tracking.string(), d = c.doc.string(), o = out.string();
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{v, t, "--eaf", d, "--tier", "Glosses", "--out-dir", o}, "its tiers: \"Gloss\", \"Traduction\", \"Vide\""},
        {{v, t, "--eaf", d, "--tier", "Vide", "--out-dir", o}, "has no annotations"},
        {{v, t, "--eaf", (c.dir / "broken.eaf").string(), "--tier", "Gloss", "--out-dir", o}, "line 3"},
        {{v, t, "--eaf", (c.dir / "none.eaf").string(), "--tier", "Gloss", "--out-dir", o}, "none.eaf"},
        {{v, t, "--eaf", d, "--tier", "Gloss", "--out-dir", o, "--begin", "1"}, "--keyframe-at"},
        {{v, t, "--eaf", d, "--tier", "Gloss"}, "--out-dir"},
        {{v, t, "--eaf", d, "--tier", "Gloss", "--tier", "Traduction", "--out-dir", o}, "given twice"},
        {{v, t, "--eaf", d, "--tier", "Gloss", "--out-dir", o, "--keyframe-at", "1.5"}, "fraction"},
        {{v, t, "--eaf", d, "--tier", "Gloss", "--out-dir", v}, "not a folder"},
        {{v, (c.dir / "none.track").string(), "--eaf", d, "--tier", "Gloss", "--out-dir", o}, "none.track"},
        {{v, t, "--tier", "Gloss", "--out-dir", o, "-o", o, "--begin", "0", "--end", "1"}, "--eaf"},
    };
    for (const Case& k : cases) {
        const Outcome r = render(k.args, o + "-log");
        EXPECT_EQ(r.status, 2) << k.message << ": " << r.err;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out)) << k.message;
    }
}

TEST(EafBatch, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten)
{
    // The tracking file and the document lie in the output folder under the
    // names of the batch's own files: through a symbolic link, and as a hard
    // link. Nothing may be written, also no other sign.
    const Corpus& c = corpus();
    const fs::path out = freshDir("over-input");
    fs::create_directories(out);
    fs::create_symlink(fs::absolute(c.tracking), out / "002_BONJOUR.sgn");
    const Outcome viaLink = render({c.video.string(), c.tracking.string(), "--eaf", c.doc.string(),
                                    "--tier", "Gloss", "--out-dir", out.string()},
                                   out.string() + "-log");
    EXPECT_EQ(viaLink.status, 2) << viaLink.err;
    EXPECT_NE(viaLink.err.find("would be overwritten"), std::string::npos) << viaLink.err;
    fs::remove(out / "002_BONJOUR.sgn");

    fs::copy_file(c.doc, out / "copy.eaf");
    fs::create_hard_link(out / "copy.eaf", out / "signs.csv");
    const std::string before = slurp(out / "copy.eaf");
    const Outcome hard = render({c.video.string(), c.tracking.string(), "--eaf", (out / "copy.eaf").string(),
                                 "--tier", "Gloss", "--out-dir", out.string()},
                                out.string() + "-log");
    EXPECT_EQ(hard.status, 2) << hard.err;
    EXPECT_NE(hard.err.find("signs.csv"), std::string::npos) << hard.err;
    EXPECT_EQ(slurp(out / "copy.eaf"), before);
    // copy.eaf and its second name, nothing else.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
}

// Annotation documents: times of alignable and symbolic annotations (also
// unaligned slots and chains), malformed input, linking a file into the header
// without disturbing the rest, and the atomic replace.
#include "eaf/EafDocument.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* kDoc = R"(<?xml version="1.0" encoding="UTF-8"?>
<ANNOTATION_DOCUMENT AUTHOR="" DATE="2024-01-01T00:00:00+00:00" FORMAT="3.0" VERSION="3.0">
    <HEADER MEDIA_FILE="" TIME_UNITS="milliseconds">
        <MEDIA_DESCRIPTOR MEDIA_URL="file:///data/a.mp4" MIME_TYPE="video/mp4" RELATIVE_MEDIA_URL="./a.mp4"/>
        <PROPERTY NAME="lastUsedAnnotationId">9</PROPERTY>
    </HEADER>
    <!-- slots: ts3 is unaligned between 1000 and 2000 -->
    <TIME_ORDER>
        <TIME_SLOT TIME_SLOT_ID="ts1" TIME_VALUE="500"/>
        <TIME_SLOT TIME_SLOT_ID="ts2" TIME_VALUE="1000"/>
        <TIME_SLOT TIME_SLOT_ID="ts3"/>
        <TIME_SLOT TIME_SLOT_ID="ts4" TIME_VALUE="2000"/>
    </TIME_ORDER>
    <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Gloss">
        <ANNOTATION>
            <ALIGNABLE_ANNOTATION ANNOTATION_ID="a2" TIME_SLOT_REF1="ts3" TIME_SLOT_REF2="ts4">
                <ANNOTATION_VALUE>MAISON/HOUSE été</ANNOTATION_VALUE>
            </ALIGNABLE_ANNOTATION>
        </ANNOTATION>
        <ANNOTATION>
            <ALIGNABLE_ANNOTATION ANNOTATION_ID="a1" TIME_SLOT_REF1="ts1" TIME_SLOT_REF2="ts2">
                <ANNOTATION_VALUE>BONJOUR</ANNOTATION_VALUE>
            </ALIGNABLE_ANNOTATION>
        </ANNOTATION>
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="translation" PARENT_REF="Gloss" TIER_ID="Translation">
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="a3" ANNOTATION_REF="a1"><ANNOTATION_VALUE>hello</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="note" PARENT_REF="Translation" TIER_ID="Note">
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="a4" ANNOTATION_REF="a3"><ANNOTATION_VALUE>chain</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="parts" PARENT_REF="Gloss" TIER_ID="Parts">
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="a6" ANNOTATION_REF="a2" PREVIOUS_ANNOTATION="a5"><ANNOTATION_VALUE>second</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="a5" ANNOTATION_REF="a2"><ANNOTATION_VALUE>first</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
    </TIER>
    <TIER LINGUISTIC_TYPE_REF="gloss" TIER_ID="Empty"/>
    <LINGUISTIC_TYPE GRAPHIC_REFERENCES="false" LINGUISTIC_TYPE_ID="gloss" TIME_ALIGNABLE="true"/>
    <LINGUISTIC_TYPE CONSTRAINTS="Symbolic_Association" LINGUISTIC_TYPE_ID="translation" TIME_ALIGNABLE="false"/>
    <CONSTRAINT DESCRIPTION="1-1 association" STEREOTYPE="Symbolic_Association"/>
</ANNOTATION_DOCUMENT>
)";

eaf::Document parsed(const std::string& text)
{
    eaf::Document d;
    std::string error;
    EXPECT_TRUE(d.parse(text, "doc.eaf", &error)) << error;
    return d;
}

std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path workDir(const std::string& name)
{
    const fs::path d = fs::path(TEST_BINARY_DIR) / "eaf" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

} // namespace

TEST(EafDocument, TiersAndTimesOfAlignableAndSymbolicAnnotations)
{
    const eaf::Document d = parsed(kDoc);
    ASSERT_EQ(d.tiers().size(), 5u);
    EXPECT_EQ(d.tierList(), "\"Gloss\", \"Translation\", \"Note\", \"Parts\", \"Empty\"");
    EXPECT_FALSE(d.findTier("Gloss")->symbolic);
    EXPECT_TRUE(d.findTier("Translation")->symbolic);
    EXPECT_EQ(d.findTier("Translation")->parent, "Gloss");
    EXPECT_EQ(d.findTier("Empty")->annotationCount, 0);
    EXPECT_EQ(d.findTier("gloss"), nullptr); // tier names are case-sensitive

    // Time order, not document order; the unaligned ts3 lies halfway.
    const auto gloss = d.annotations("Gloss");
    ASSERT_EQ(gloss.size(), 2u);
    EXPECT_EQ(gloss[0].value, "BONJOUR");
    EXPECT_EQ(gloss[0].beginMs, 500);
    EXPECT_EQ(gloss[0].endMs, 1000);
    EXPECT_EQ(gloss[1].value, "MAISON/HOUSE été");
    EXPECT_EQ(gloss[1].beginMs, 1500);
    EXPECT_EQ(gloss[1].endMs, 2000);
    EXPECT_TRUE(gloss[1].problem.empty());

    // Symbolic association, and a chain of two references.
    const auto tr = d.annotations("Translation");
    ASSERT_EQ(tr.size(), 1u);
    EXPECT_EQ(tr[0].beginMs, 500);
    EXPECT_EQ(tr[0].endMs, 1000);
    const auto note = d.annotations("Note");
    ASSERT_EQ(note.size(), 1u);
    EXPECT_EQ(note[0].beginMs, 500);
    EXPECT_EQ(note[0].endMs, 1000);

    // Symbolic subdivision: the parent's span in two, in PREVIOUS_ANNOTATION
    // order whatever the document order.
    const auto parts = d.annotations("Parts");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].value, "first");
    EXPECT_EQ(parts[0].beginMs, 1500);
    EXPECT_EQ(parts[0].endMs, 1750);
    EXPECT_EQ(parts[1].value, "second");
    EXPECT_EQ(parts[1].beginMs, 1750);
    EXPECT_EQ(parts[1].endMs, 2000);

    EXPECT_TRUE(d.annotations("Empty").empty());
    EXPECT_TRUE(d.annotations("Missing").empty());
}

TEST(EafDocument, UnalignedSlotsAtTheEdgesAndSeveralInARow)
{
    const eaf::Document d = parsed(R"(<ANNOTATION_DOCUMENT><HEADER/><TIME_ORDER>
        <TIME_SLOT TIME_SLOT_ID="u0"/>
        <TIME_SLOT TIME_SLOT_ID="t1" TIME_VALUE="300"/>
        <TIME_SLOT TIME_SLOT_ID="u1"/><TIME_SLOT TIME_SLOT_ID="u2"/>
        <TIME_SLOT TIME_SLOT_ID="t2" TIME_VALUE="600"/>
        <TIME_SLOT TIME_SLOT_ID="u3"/>
      </TIME_ORDER><TIER TIER_ID="G">
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a" TIME_SLOT_REF1="u0" TIME_SLOT_REF2="u1"><ANNOTATION_VALUE>A</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="b" TIME_SLOT_REF1="u2" TIME_SLOT_REF2="u3"><ANNOTATION_VALUE>B</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
      </TIER></ANNOTATION_DOCUMENT>)");
    const auto a = d.annotations("G");
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].beginMs, 300); // before the first aligned slot: its time
    EXPECT_EQ(a[0].endMs, 400);   // first of two between 300 and 600
    EXPECT_EQ(a[1].beginMs, 500);
    EXPECT_EQ(a[1].endMs, 600);   // after the last aligned slot: its time
}

TEST(EafDocument, BrokenReferencesMarkTheAnnotationNotTheDocument)
{
    const eaf::Document d = parsed(R"(<ANNOTATION_DOCUMENT><HEADER/><TIME_ORDER>
        <TIME_SLOT TIME_SLOT_ID="t1" TIME_VALUE="0"/><TIME_SLOT TIME_SLOT_ID="t2" TIME_VALUE="100"/>
      </TIME_ORDER>
      <TIER TIER_ID="G">
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="a" TIME_SLOT_REF1="t1" TIME_SLOT_REF2="nope"><ANNOTATION_VALUE>A</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
        <ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID="b" TIME_SLOT_REF1="t1" TIME_SLOT_REF2="t2"><ANNOTATION_VALUE>B</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION>
      </TIER>
      <TIER TIER_ID="S" PARENT_REF="G">
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="x" ANNOTATION_REF="y"><ANNOTATION_VALUE>X</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="y" ANNOTATION_REF="x"><ANNOTATION_VALUE>Y</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="z" ANNOTATION_REF="missing"><ANNOTATION_VALUE>Z</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
        <ANNOTATION><REF_ANNOTATION ANNOTATION_ID="w" ANNOTATION_REF="a"><ANNOTATION_VALUE>W</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>
      </TIER></ANNOTATION_DOCUMENT>)");
    const auto g = d.annotations("G");
    ASSERT_EQ(g.size(), 2u);
    int bad = 0;
    for (const auto& a : g)
        bad += !a.problem.empty();
    EXPECT_EQ(bad, 1);
    for (const auto& a : d.annotations("S")) {
        EXPECT_FALSE(a.problem.empty()) << a.id;
        if (a.id == "x" || a.id == "y") {
            EXPECT_NE(a.problem.find("loops"), std::string::npos) << a.problem;
        }
    }
}

TEST(EafDocument, MalformedInputIsRefusedWithAReasonAndKeepsThePreviousDocument)
{
    eaf::Document d = parsed(kDoc);
    std::string error;
    EXPECT_FALSE(d.parse("<ANNOTATION_DOCUMENT>\n<HEADER>\n</ANNOTATION_DOCUMENT>", "bad.eaf", &error));
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_FALSE(d.parse("<html/>", "page.eaf", &error));
    EXPECT_NE(error.find("<html>"), std::string::npos) << error;
    EXPECT_FALSE(d.parse("", "empty.eaf", &error));
    // A declaration after other content would be saved contradicting the
    // bytes that follow it.
    EXPECT_FALSE(d.parse("x<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ANNOTATION_DOCUMENT/>", "late.eaf", &error));
    EXPECT_NE(error.find("declaration"), std::string::npos) << error;
    // So would a UTF-8 byte-order mark before a declaration of another encoding.
    EXPECT_FALSE(d.parse("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ANNOTATION_DOCUMENT/>",
                         "bom.eaf", &error));
    EXPECT_NE(error.find("byte-order mark"), std::string::npos) << error;
    // Stray bytes glued to the attribute's name hide it from the attribute
    // table but not from the encoding detection that reads the saved copy.
    EXPECT_FALSE(d.parse("\xEF\xBB\xBF<?xml version=\"1.0\" \xAB\xAB" "encoding=\"ISO-8859-1\"?><ANNOTATION_DOCUMENT/>",
                         "bom-stray.eaf", &error));
    EXPECT_NE(error.find("byte-order mark"), std::string::npos) << error;
    EXPECT_TRUE(eaf::Document().parse("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><ANNOTATION_DOCUMENT/>",
                                      "bom8.eaf", &error))
        << error;
    // Bytes that end the parser's attributes early drop the encoding from the
    // declaration it keeps, though the text was read in that encoding: a save
    // would be read back in another one.
    EXPECT_FALSE(d.parse("<?xml version=\"1.0\" x=\"1\"/>\xFF encoding=\"ISO-8859-1\"?><ANNOTATION_DOCUMENT/>",
                         "cut.eaf", &error));
    EXPECT_NE(error.find("declaration does not name the encoding"), std::string::npos) << error;
    EXPECT_TRUE(eaf::Document().parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ANNOTATION_DOCUMENT/>",
                                      "latin1.eaf", &error))
        << error;
    EXPECT_FALSE(d.parse(R"(<ANNOTATION_DOCUMENT><TIME_ORDER><TIME_SLOT TIME_SLOT_ID="t" TIME_VALUE="-5"/></TIME_ORDER></ANNOTATION_DOCUMENT>)",
                         "neg.eaf", &error));
    EXPECT_NE(error.find("-5"), std::string::npos) << error;
    EXPECT_FALSE(d.load(TEST_BINARY_DIR, &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_FALSE(d.load("/nonexistent/x.eaf", &error));
    EXPECT_EQ(d.tiers().size(), 5u);
    EXPECT_EQ(d.annotations("Gloss").size(), 2u);
}

TEST(EafDocument, LinkingAddsOneDescriptorInSchemaOrderAndKeepsEverythingElse)
{
    eaf::Document d = parsed(kDoc);
    const eaf::LinkedFile f{"file:///data/a%20b.csv", "./a b.csv", "text/plain"};
    bool added = false;
    ASSERT_TRUE(d.linkFile(f, &added));
    EXPECT_TRUE(added);
    const std::string once = d.serialize();
    ASSERT_TRUE(d.linkFile(f, &added));
    EXPECT_FALSE(added);
    EXPECT_EQ(d.serialize(), once);

    // The only difference from the input: one indented line after the media
    // descriptor.
    std::string expected = kDoc;
    const std::string media = R"(RELATIVE_MEDIA_URL="./a.mp4"/>)";
    expected.insert(expected.find(media) + media.size(),
                    "\n        <LINKED_FILE_DESCRIPTOR LINK_URL=\"file:///data/a%20b.csv\" MIME_TYPE=\"text/plain\" "
                    "RELATIVE_LINK_URL=\"./a b.csv\"/>");
    EXPECT_EQ(once, expected);

    // Read back: the link is seen and the annotations are unchanged.
    const eaf::Document again = parsed(once);
    ASSERT_EQ(again.linkedFiles().size(), 1u);
    EXPECT_EQ(again.linkedFiles()[0].relativeUrl, "./a b.csv");
    EXPECT_EQ(again.annotations("Parts")[1].endMs, 2000);
}

TEST(EafDocument, LinkPlacementWithoutMediaAndWithEarlierLinks)
{
    // No media descriptor: before the first property.
    eaf::Document d = parsed("<ANNOTATION_DOCUMENT><HEADER><PROPERTY NAME=\"p\">1</PROPERTY></HEADER></ANNOTATION_DOCUMENT>");
    ASSERT_TRUE(d.linkFile({"file:///x.csv", "./x.csv", "text/plain"}));
    std::string s = d.serialize();
    EXPECT_LT(s.find("LINKED_FILE_DESCRIPTOR"), s.find("PROPERTY")) << s;
    // After a linked file already there.
    ASSERT_TRUE(d.linkFile({"file:///y.csv", "./y.csv", "text/plain"}));
    s = d.serialize();
    EXPECT_LT(s.find("x.csv"), s.find("y.csv")) << s;
    EXPECT_LT(s.find("y.csv"), s.find("PROPERTY")) << s;
    // No HEADER at all: refused.
    eaf::Document bare = parsed("<ANNOTATION_DOCUMENT/>");
    std::string error;
    EXPECT_FALSE(bare.linkFile({"file:///x.csv", "./x.csv", "text/plain"}, nullptr, &error));
}

TEST(EafDocument, EncodingAndDeclarationSurviveASave)
{
    // ISO-8859-1: "é" is the single byte 0xE9 and must stay so.
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<ANNOTATION_DOCUMENT><HEADER/>"
                               "<TIME_ORDER><TIME_SLOT TIME_SLOT_ID=\"a\" TIME_VALUE=\"0\"/><TIME_SLOT TIME_SLOT_ID=\"b\" TIME_VALUE=\"9\"/></TIME_ORDER>"
                               "<TIER TIER_ID=\"G\"><ANNOTATION><ALIGNABLE_ANNOTATION ANNOTATION_ID=\"x\" TIME_SLOT_REF1=\"a\" TIME_SLOT_REF2=\"b\">"
                               "<ANNOTATION_VALUE>\xe9t\xe9</ANNOTATION_VALUE></ALIGNABLE_ANNOTATION></ANNOTATION></TIER></ANNOTATION_DOCUMENT>";
    eaf::Document d = parsed(latin1);
    EXPECT_EQ(d.annotations("G")[0].value, "\xc3\xa9t\xc3\xa9"); // UTF-8 in memory
    ASSERT_TRUE(d.linkFile({"file:///x.csv", "./x.csv", "text/plain"}));
    const std::string s = d.serialize();
    EXPECT_EQ(s.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 0), 0u) << s;
    EXPECT_NE(s.find("\xe9t\xe9"), std::string::npos);
    EXPECT_EQ(s.find("<?xml", 1), std::string::npos); // one declaration
}

TEST(EafDocument, SaveReplacesWholeOrNotAtAll)
{
    const fs::path dir = workDir("atomic");
    const fs::path target = dir / "doc.eaf";
    { std::ofstream(target) << "old"; }
    ::chmod(target.c_str(), 0640);
    std::string error;
    const eaf::Document d = parsed(kDoc);
    ASSERT_TRUE(d.save(target.string(), &error)) << error;
    EXPECT_EQ(slurp(target), d.serialize());
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1); // no temporary left

    // A folder in which nothing can be created: refused, the old file stays.
    if (::geteuid() != 0) {
        ::chmod(dir.c_str(), 0500);
        EXPECT_FALSE(d.save(target.string(), &error));
        EXPECT_NE(error.find("doc.eaf"), std::string::npos) << error;
        ::chmod(dir.c_str(), 0700);
        EXPECT_EQ(slurp(target), d.serialize());
    }
    // A target that is a folder: the rename fails, nothing is left behind.
    fs::create_directories(dir / "sub.eaf" / "inner");
    EXPECT_FALSE(d.save((dir / "sub.eaf").string(), &error));
    EXPECT_TRUE(fs::is_directory(dir / "sub.eaf"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST(EafDocument, FileUrlEncodesEverythingButPlainPathCharacters)
{
    EXPECT_EQ(eaf::fileUrl("/data/corpus/a-b_c.~1.csv"), "file:///data/corpus/a-b_c.~1.csv");
    EXPECT_EQ(eaf::fileUrl("/d/été #1%.csv"), "file:///d/%C3%A9t%C3%A9%20%231%25.csv");
}

TEST(EafDocument, ManySubdivisionsAndDeepChainsResolve)
{
    // 4000 parts of one 4000 ms sign, written last part first, and a chain of
    // 4000 references each to the one before.
    const int n = 4000;
    std::string doc = "<ANNOTATION_DOCUMENT><HEADER/><TIME_ORDER><TIME_SLOT TIME_SLOT_ID=\"a\" TIME_VALUE=\"0\"/>"
                      "<TIME_SLOT TIME_SLOT_ID=\"b\" TIME_VALUE=\"4000\"/></TIME_ORDER><TIER TIER_ID=\"G\"><ANNOTATION>"
                      "<ALIGNABLE_ANNOTATION ANNOTATION_ID=\"g\" TIME_SLOT_REF1=\"a\" TIME_SLOT_REF2=\"b\"/></ANNOTATION>"
                      "</TIER><TIER TIER_ID=\"P\">";
    for (int k = n - 1; k >= 0; --k)
        doc += "<ANNOTATION><REF_ANNOTATION ANNOTATION_ID=\"p" + std::to_string(k) + "\" ANNOTATION_REF=\"g\"" +
               (k ? " PREVIOUS_ANNOTATION=\"p" + std::to_string(k - 1) + "\"" : std::string()) +
               "><ANNOTATION_VALUE>" + std::to_string(k) + "</ANNOTATION_VALUE></REF_ANNOTATION></ANNOTATION>";
    doc += "</TIER><TIER TIER_ID=\"C\">";
    for (int k = n - 1; k >= 0; --k)
        doc += "<ANNOTATION><REF_ANNOTATION ANNOTATION_ID=\"c" + std::to_string(k) + "\" ANNOTATION_REF=\"" +
               (k ? "c" + std::to_string(k - 1) : std::string("g")) + "\"/></ANNOTATION>";
    doc += "</TIER></ANNOTATION_DOCUMENT>";
    const eaf::Document d = parsed(doc);
    const auto parts = d.annotations("P");
    ASSERT_EQ(parts.size(), size_t(n));
    for (int k = 0; k < n; k += 997) {
        EXPECT_EQ(parts[k].value, std::to_string(k));
        EXPECT_EQ(parts[k].beginMs, k);
        EXPECT_EQ(parts[k].endMs, k + 1);
    }
    const auto chain = d.annotations("C");
    ASSERT_EQ(chain.size(), size_t(n));
    EXPECT_EQ(chain.back().beginMs, 0);
    EXPECT_EQ(chain.back().endMs, 4000);
    EXPECT_TRUE(chain.back().problem.empty());
}

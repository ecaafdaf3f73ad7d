// The Vek and .box file checker: a file holding every kind of block passes, and each
// kind of damage gives its finding at the right line.
#include "check/VekCheck.h"
#include "check/VekReader.h"
#include "export_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>
#include <utility>

namespace vek::test {
namespace {

const std::vector<std::string> ValidVek = {
    "# Export To Vek Plug-in for 3DS Max 3.0", // 1
    "# Copyright",
    "# Version: 4.00",
    "# Vek Version: 2",
    "",
    "material Sol_pierre {", // 6
    " color 7f7f7f",
    " texture maps/dalle.bmp",
    " texturebis maps/mousse dalle.bmp 0.50",
    " facecolor1 ff0000",
    " facecolor2 0000ff",
    " type GOURAUD",
    " type NOLIGHT",
    " type TEXTURED",
    " type TEXTURED_BIS",
    " type COLOR1",
    " type COLOR2",
    "}",
    "material Glass {", // 19
    " color b3cce6",
    " facecolor1 b3cce6",
    " type FLAT",
    " type NOLIGHT",
    " type COLOR1",
    " type TRANSPARENCY153",
    "}",
    "material Rock_2_COL {", // 27
    " color 808080",
    "}",
    "",
    "topo TOPO_Big Rock {", // 31
    " 0.000000 0.000000 0.000000",
    " 1.000000 0.000000 0.000000",
    " 1.000000 0.000000 1.000000",
    " 0.000000 0.000000 1.000000",
    "",
    " Glass",
    " 0 1 2 3",
    "}",
    "",
    "shell Root {", // 41
    " 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000",
    " mesh Rock_2 {",
    "  10.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000",
    "  0.000000 0.000000 0.000000", // 45
    "  1.000000 0.000000 0.000000",
    "    -5 0.000000 1.000000",
    "",
    "  Rock_2_COL",
    "  0 1 2", // 50
    "  2 1 0",
    "  anim Rock 2 {",
    "   length 20",
    "   position 0 0.0000000000 0.0000000000 0.0000000000 10 1.0000000000 2.0000000000 3.0000000000 ",
    "   rotation 0 0.000000 0.000000 0.000000 1.000000 ", // 55
    "  }",
    "  mesh Pebble {",
    "   0.000000 0.000000 1.000000 0.000000 0.000000 65535.0000 100.000000",
    "   0.000000 0.000000 0.000000",
    "", // 60
    "   Sol_pierre",
    "   0 0 0 1 255 0 3 255 255 ",
    "  }",
    " }",
    " mesh Rock_copy {", // 65
    "  0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000",
    "  topo TOPO_Big Rock",
    " }",
    " colorlight Omni01 {",
    "  0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000", // 70
    "  type 000000 ffffff ffffff 180.000000 100.000000 0.000000",
    " }",
    " camera Camera01 {",
    "  0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000",
    "  23342.9375 23342.9375 320 240", // 75
    "  0.000000 1000.00000 1000.00000",
    " }",
    "}",
    "BONE",
    "#EXPORT_OK", // 80
};

std::string Join(const std::vector<std::string>& lines, const char* end = "\r\n")
{
    std::string s;
    for (const std::string& l : lines)
        s += l + end;
    return s;
}

CheckReport Check(const std::string& bytes, bool box = false, VekDocument* document = nullptr)
{
    CheckReport report;
    std::FILE* f = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    if (bytes.empty())
        f = std::tmpfile();
    if (box)
        CheckBoxStream(f, "t.box", report, document);
    else
        CheckVekStream(f, "t.vek", report, document);
    std::fclose(f);
    return report;
}

TEST(Checker, AFileWithEveryKindOfBlockIsCleanAndCounted)
{
    CheckReport r = Check(Join(ValidVek));
    EXPECT_TRUE(r.Clean()) << FormatReport(r);
    const VekFigures& f = r.figures;
    const std::vector<std::pair<const char*, long long>> expected = {
        {"shells", 1},     {"meshes", 3},   {"lights", 1}, {"cameras", 1},   {"materials", 3},     {"topologies", 1},
        {"animations", 1}, {"vertices", 8}, {"quads", 1},  {"triangles", 3}, {"collisionBoxes", 0}};
    for (const auto& [key, count] : expected)
        EXPECT_EQ(f[key], count) << key;
    EXPECT_TRUE(f.ok);
    std::vector<std::string> failed = ValidVek;
    failed.back() = "#ERROR_EXPORT_GEOM3D";
    failed.push_back("#ERROR_EXPORT_BOX");
    EXPECT_EQ(Check(Join(failed)).figures.markers,
              (std::vector<std::string>{"#ERROR_EXPORT_GEOM3D", "#ERROR_EXPORT_BOX"}));
}

// Counting a file without reading its numbers gives the figures the whole check does,
// for every file of the golden cases.
TEST(Checker, CountingGivesTheCheckFigures)
{
    auto figures = [](const VekFigures& f) { return std::make_tuple(f.counts, f.ok, f.markers); };
    int files = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::filesystem::path(VEK_SOURCE_DIR) / "tests" / "golden")) {
        if (entry.path().extension() != ".vek")
            continue;
        CheckReport checked, counted;
        for (bool count : {false, true}) {
            std::FILE* f = std::fopen(entry.path().c_str(), "rb");
            ASSERT_NE(f, nullptr);
            if (count)
                CountVekStream(f, "t.vek", counted);
            else
                CheckVekStream(f, "t.vek", checked);
            std::fclose(f);
        }
        EXPECT_EQ(figures(counted.figures), figures(checked.figures)) << entry.path();
        files++;
    }
    EXPECT_GT(files, 20);
}

TEST(Checker, IndentationZeroAndEightAreConsistentToo)
{
    for (int size : {0, 3, 8}) {
        std::vector<std::string> lines = ValidVek;
        for (size_t k = 30; k < lines.size(); k++) {
            std::string& l = lines[k];
            size_t lead = l.find_first_not_of(' ');
            if (lead == std::string::npos || lead == 0)
                continue;
            // Padded numbers keep their padding: the first level of a line is what moves.
            size_t level = k == 46 ? 2 : lead;
            l = std::string(level * size, ' ') + l.substr(level);
        }
        CheckReport r = Check(Join(lines));
        EXPECT_TRUE(r.Clean()) << "indentation " << size << "\n" << FormatReport(r);
    }
}

struct Damage {
    const char* what;
    std::function<void(std::vector<std::string>&)> apply;
    long line;
    const char* finding;
};

void Set(std::vector<std::string>& l, long line, const std::string& text) { l[size_t(line - 1)] = text; }
void Erase(std::vector<std::string>& l, long line) { l.erase(l.begin() + (line - 1)); }

// Each damage applied to the valid lines gives its finding at its line.
template <size_t N> void ExpectEachFinding(const std::vector<std::string>& valid, const Damage (&cases)[N], bool box)
{
    for (const Damage& d : cases) {
        std::vector<std::string> lines = valid;
        d.apply(lines);
        CheckReport r = Check(Join(lines), box);
        bool found = false;
        for (const Finding& f : r.findings)
            found = found || (f.line == d.line && f.text.find(d.finding) != std::string::npos);
        EXPECT_TRUE(found) << d.what << ": expected at line " << d.line << " \"" << d.finding << "\", got\n"
                           << FormatReport(r);
    }
}

TEST(Checker, EachDamageGivesItsFindingAtItsLine)
{
    const Damage cases[] = {
        {"version line", [](auto& l) { Set(l, 4, "# Vek Version: 3"); }, 4, "Vek Version"},
        {"unknown keyword", [](auto& l) { Set(l, 57, "  mash Pebble {"); }, 57, "unknown block keyword \"mash\""},
        {"unclosed block", [](auto& l) { Erase(l, 78); }, 41, "\"shell Root\" (line 41) is not closed"},
        {"stray brace", [](auto& l) { l.insert(l.begin() + 78, "}"); }, 79, "closing brace without an open block"},
        {"closing brace indentation", [](auto& l) { Set(l, 56, "   }"); }, 56, "closing brace indented by 3"},
        {"body indentation", [](auto& l) { Set(l, 46, "    1.000000 0.000000 0.000000"); }, 46,
         "indented by 4 blanks, expected 2"},
        {"short number unpadded", [](auto& l) { Set(l, 33, " 1.0 2.0 3.0"); }, 33,
         "first number narrower than its field of 4 characters"},
        {"child indentation", [](auto& l) { Set(l, 65, "mesh Rock_copy {"); }, 65, "does not match the nesting"},
        {"transform", [](auto& l) { Set(l, 42, " 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000"); }, 42,
         "transform line should hold 7 numbers"},
        {"vertex", [](auto& l) { Set(l, 46, "  1.000000 0.000000"); }, 46, "vertex line should hold 3 numbers"},
        {"number", [](auto& l) { Set(l, 46, "  1.000000 0.0x0000 0.000000"); }, 46, "vertex line"},
        {"index range", [](auto& l) { Set(l, 51, "  2 1 3"); }, 51, "vertex index 3 beyond the 3 vertices"},
        {"merged index range", [](auto& l) { Set(l, 62, "   0 0 0 1 255 0 4 255 255 "); }, 62,
         "vertex index 4 beyond the 4"},
        {"topology index range", [](auto& l) { Set(l, 38, " 0 1 2 4"); }, 38, "vertex index 4"},
        {"face size", [](auto& l) { Set(l, 50, "  0 1 2 0 1"); }, 50, "face line should hold 3 or 4"},
        {"textured end", [](auto& l) { Set(l, 62, "   0 0 0 1 255 0 3 255 255"); }, 62, "should end with a blank"},
        {"face before material", [](auto& l) { Erase(l, 49); }, 49, "face line before any material line"},
        {"unknown material", [](auto& l) { Set(l, 49, "  Rock_3_COL"); }, 49,
         "material \"Rock_3_COL\" has no material block"},
        {"unknown topology", [](auto& l) { Set(l, 67, "  topo TOPO_Big_Rock"); }, 67,
         "unknown topology block \"TOPO_Big_Rock\""},
        {"missing empty line", [](auto& l) { Erase(l, 60); }, 61, "vertex line"},
        {"empty line between blocks", [](auto& l) { l.insert(l.begin() + 68, ""); }, 69, "unexpected empty line"},
        {"anim length", [](auto& l) { Set(l, 53, "   lenght 20"); }, 53, "should begin with \"length\""},
        {"anim keys", [](auto& l) { Set(l, 54, "   position 0 0.0000000000 0.0000000000"); }, 54,
         "position line should hold"},
        {"anim key order", [](auto& l) { std::swap(l[53], l[54]); }, 55, "position keys after the rotation keys"},
        {"light line", [](auto& l) { Set(l, 71, "  type 000000 ffffff 180.000000 100.000000 0.000000"); }, 71,
         "light parameter line"},
        {"camera lines", [](auto& l) { Erase(l, 76); }, 73, "camera block without its projection and range lines"},
        {"material colour", [](auto& l) { Set(l, 28, " color 80808"); }, 28, "should begin with \"color\""},
        {"material flag", [](auto& l) { Set(l, 22, " type SHINY"); }, 22, "malformed \"type\" line"},
        {"material order", [](auto& l) { std::swap(l[7], l[8]); }, 9, "\"texture\" line out of order"},
        {"material inside a node", [](auto& l) { l.insert(l.begin() + 42, " material X {"); }, 43,
         "stand at the top level"},
        {"unknown marker", [](auto& l) { Set(l, 80, "#ERROR_EXPORT_FOO"); }, 80,
         "unknown line after the result markers"},
        {"marker order",
         [](auto& l) {
             Set(l, 80, "#ERROR_EXPORT_MTL");
             l.push_back("#ERROR_EXPORT_GEOM3D");
         },
         81, "out of order"},
        {"no marker", [](auto& l) { Erase(l, 80); }, 79, "no result marker"},
        {"line outside blocks", [](auto& l) { l.insert(l.begin() + 78, " 1 2 3"); }, 79, "line outside any block"},
        {"bone indentation", [](auto& l) { Set(l, 79, " BONE"); }, 79, "\"BONE\" must start"},
        {"empty mesh without failure marker", [](auto& l) { Erase(l, 67); }, 65, "mesh block without vertices"},
        {"blank-only line", [](auto& l) { Set(l, 42, "   "); }, 42, "only blanks"},
        {"infinite coordinate", [](auto& l) { Set(l, 46, "   inf 0.000000 0.000000"); }, 46, "NaN or infinity"},
        {"NaN angle", [](auto& l) { Set(l, 74, "  0.000000 0.000000 0.000000 -nan 0.000000 65535.0000 100.000000"); },
         74, "NaN or infinity"},
        {"infinite light", [](auto& l) { Set(l, 71, "  type 000000 ffffff ffffff 180.000000 100.000000 inf"); }, 71,
         "NaN or infinity"},
        {"infinite focal", [](auto& l) { Set(l, 75, "   inf  inf 320 240"); }, 75, "NaN or infinity"},
        {"NaN key", [](auto& l) { Set(l, 55, "   rotation 0 nan 0.000000 0.000000 1.000000 "); }, 55,
         "NaN or infinity"},
    };
    ExpectEachFinding(ValidVek, cases, false);
}

TEST(Checker, AnEmptyMeshIsFineWhenTheFileRecordsTheGeometryFailure)
{
    std::vector<std::string> lines = ValidVek;
    Erase(lines, 67);
    lines.back() = "#ERROR_EXPORT_GEOM3D";
    CheckReport r = Check(Join(lines));
    EXPECT_TRUE(r.Clean()) << FormatReport(r);
}

TEST(Checker, AnimationStandingInForItsNodeWhenGeometryIsOff)
{
    std::vector<std::string> lines = {
        "# a",
        "# b",
        "# Version: 4.00",
        "# Vek Version: 2",
        "",
        "shell Root {",
        " 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000",
        "anim Rock 2 {",
        " length 6",
        " position 0 0.0000000000 0.0000000000 0.0000000000 ",
        "anim Child {",
        " length 6",
        " rotation 0 0.000000 0.000000 0.000000 1.000000 ",
        "  }",
        " }",
        "}",
        "#EXPORT_OK",
    };
    CheckReport r = Check(Join(lines));
    EXPECT_TRUE(r.Clean()) << FormatReport(r);
}

TEST(Checker, LineEndsAndHostileBytes)
{
    std::string crlf = Join(ValidVek);
    CheckReport lf = Check(Join(ValidVek, "\n"));
    EXPECT_EQ(lf.total, long(ValidVek.size()));
    EXPECT_EQ(lf.findings[0].line, 1);
    EXPECT_NE(lf.findings[0].text.find("line feed alone"), std::string::npos);

    std::string noEnd = crlf.substr(0, crlf.size() - 2);
    CheckReport r = Check(noEnd);
    ASSERT_EQ(r.total, 1) << FormatReport(r);
    EXPECT_EQ(r.findings[0].line, 80);
    EXPECT_NE(r.findings[0].text.find("no line end"), std::string::npos);

    std::string nul = crlf;
    nul[nul.find("Omni01")] = '\0';
    r = Check(nul);
    ASSERT_GE(r.total, 1);
    EXPECT_EQ(r.findings[0].line, 69);
    EXPECT_NE(r.findings[0].text.find("binary"), std::string::npos);

    // An enormous line is one finding, not a memory blow-up or a hang.
    std::string huge = crlf;
    huge.insert(huge.find("  0 1 2"), std::string(3 << 20, '7') + "\r\n");
    r = Check(huge);
    ASSERT_GE(r.total, 1) << FormatReport(r);
    EXPECT_EQ(r.findings[0].line, 50);
    EXPECT_NE(r.findings[0].text.find("longer than"), std::string::npos) << FormatReport(r);

    // Truncated anywhere: findings, never a crash.
    for (size_t cut = 0; cut < crlf.size(); cut += 7)
        Check(crlf.substr(0, cut));
    EXPECT_FALSE(Check("").Clean());
}

// A file of another kind is said to be one, once, and not read line by line; a Vek
// file with a damaged header still gets its findings.
TEST(Checker, ForeignFilesAreOneFinding)
{
    const std::string foreign[] = {
        "<?xml version=\"1.0\"?>\r\n<COLLADA>\r\n<asset/>\r\n</COLLADA>\r\n",
        "# Blender OBJ\n# www.blender.org\nmtllib box.mtl\no Box\nv 1.0 2.0 3.0\nf 1 2 3\n",
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string(2 << 20, 'x'),
        "# Vek Version: 2\r\n",
    };
    for (const std::string& bytes : foreign) {
        CheckReport r = Check(bytes);
        ASSERT_EQ(r.total, 1) << FormatReport(r);
        EXPECT_EQ(FormatFinding(r.findings[0]), "t.vek: not a Vek file");
    }
    std::vector<std::string> lines = ValidVek;
    Set(lines, 1, "Export To Vek");
    Set(lines, 3, "# Version: four");
    CheckReport r = Check(Join(lines));
    EXPECT_EQ(r.total, 2) << FormatReport(r);
}

TEST(Checker, FindingsAreCappedButCounted)
{
    std::string many = Join({"# a", "# b", "# Version: 4.00", "# Vek Version: 2", ""});
    for (int k = 0; k < 3000; k++)
        many += "}\r\n";
    CheckReport r = Check(many);
    EXPECT_EQ(r.findings.size(), CheckReport::MaxFindings);
    EXPECT_GT(r.total, 3000);
    EXPECT_NE(FormatReport(r).find("more findings"), std::string::npos);
}

// Whatever a file holds or lacks, every block the reader opens it also closes, so a
// consumer's own nesting (the document's nodes) stays in step with the file's.
TEST(Checker, EveryBlockOpenedIsClosed)
{
    struct Balance : VekConsumer {
        long open = 0, depth = 0, worst = 0;
        void BlockOpened(const BlockEvent&) override { open++, depth++; }
        void BlockClosed(const BlockEvent&) override { worst = std::min(worst, --depth); }
    };
    std::vector<std::string> unknown = ValidVek;
    Set(unknown, 57, "  mash Pebble {");
    for (const std::string& bytes : {Join(ValidVek), Join(unknown)})
        for (size_t cut = 1; cut <= bytes.size(); cut += 5) {
            std::string part = bytes.substr(0, cut);
            std::FILE* f = fmemopen(part.data(), part.size(), "rb");
            Balance b;
            ConsumerList to({&b});
            ReadVek(f, to);
            std::fclose(f);
            ASSERT_EQ(b.depth, 0) << "cut at " << cut;
            ASSERT_EQ(b.worst, 0) << "cut at " << cut;
        }
}

// ---- .box files ----

const std::vector<std::string> ValidBox = {
    "3",
    " 4 2",
    "  0 0 0",
    "  0 4000 0 8000",
    "  0 c000 0 8000",
    "  4000 0 0 14000",
    "  c000 0 0 14000",
    "  0 0 4000 0",
    "  0 0 c000 10000",
    " 4 -1",
    "  ffff8000 0 0",
    "  0 4000 0 8000",
    "  0 c000 0 8000",
    "  4000 0 0 14000",
    "  c000 0 0 14000",
    "  0 0 4000 0",
    "  2d41 d2bf 0 fffec000",
    " 9 5",
    "  8000 8000 0",
    "  0 4000 0 8000",
    "  0 c000 0 8000",
    "  4000 0 0 14000",
    "  c000 0 0 14000",
    "  0 0 4000 0",
    "  0 0 c000 10000",
    "1 0",
    "2 0",
    "2 1",
    "-1 -1",
};

TEST(BoxChecker, AValidFileIsClean)
{
    CheckReport r = Check(Join(ValidBox), true);
    EXPECT_TRUE(r.Clean()) << FormatReport(r);
}

TEST(BoxChecker, EachDamageGivesItsFindingAtItsLine)
{
    const Damage cases[] = {
        {"count", [](auto& l) { Set(l, 1, "three"); }, 1, "begin with the number of boxes"},
        {"count too large", [](auto& l) { Set(l, 1, "4"); }, 26, "the count says 4 boxes, the file holds 3"},
        {"head", [](auto& l) { Set(l, 10, "  4 -1"); }, 10, "box head line"},
        {"radius", [](auto& l) { Set(l, 10, " 4 -7"); }, 10, "inner radius below -1"},
        {"centre", [](auto& l) { Set(l, 3, "  0 0"); }, 3, "centre line"},
        {"plane digits", [](auto& l) { Set(l, 4, "  0 14000 0 8000"); }, 4, "plane line"},
        {"upper case", [](auto& l) { Set(l, 17, "  2D41 d2bf 0 fffec000"); }, 17, "plane line"},
        {"leading zero", [](auto& l) { Set(l, 5, "  0 0c000 0 8000"); }, 5, "plane line"},
        {"pair order", [](auto& l) { Set(l, 26, "0 1"); }, 26, "first position must be the larger"},
        {"pair range", [](auto& l) { Set(l, 28, "3 1"); }, 28, "beyond the 3"},
        {"pairs sorted", [](auto& l) { std::swap(l[25], l[26]); }, 27, "out of order"},
        {"terminator", [](auto& l) { Erase(l, 29); }, 28, "without the terminator"},
        {"after terminator", [](auto& l) { l.push_back("1 0"); }, 30, "after the terminator"},
        {"truncated box", [](auto& l) { l.resize(12); }, 12, "ends inside box 1 of 3"},
    };
    ExpectEachFinding(ValidBox, cases, true);
}

TEST(BoxChecker, AHugeCountEndsWithOneFinding)
{
    CheckReport r = Check(Join({"999999999", " 1 1"}), true);
    EXPECT_FALSE(r.Clean());
    EXPECT_LE(r.total, 3);
}

// ---- the document model ----

TEST(Checker, TheSameReadingFillsTheDocument)
{
    VekDocument d;
    ASSERT_TRUE(Check(Join(ValidVek), false, &d).Clean());
    ASSERT_EQ(d.materials.size(), 3u);
    EXPECT_EQ(d.materials[1].name, "Glass");
    EXPECT_EQ(d.materials[1].color, 0xb3cce6u);

    // Nodes under their nearest enclosing node; the copy uses the topology's mesh.
    struct Expected {
        const char* name;
        VekNode::Kind kind;
        int parent, mesh;
    };
    const Expected nodes[] = {{"Root", VekNode::Kind::Shell, -1, -1},  {"Rock_2", VekNode::Kind::Mesh, 0, 1},
                              {"Pebble", VekNode::Kind::Mesh, 1, 2},   {"Rock_copy", VekNode::Kind::Mesh, 0, 0},
                              {"Omni01", VekNode::Kind::Light, 0, -1}, {"Camera01", VekNode::Kind::Camera, 0, -1}};
    ASSERT_EQ(d.nodes.size(), std::size(nodes));
    for (size_t i = 0; i < std::size(nodes); i++) {
        EXPECT_EQ(d.nodes[i].name, nodes[i].name);
        EXPECT_EQ(d.nodes[i].kind, nodes[i].kind) << nodes[i].name;
        EXPECT_EQ(d.nodes[i].parent, nodes[i].parent) << nodes[i].name;
        EXPECT_EQ(d.nodes[i].mesh, nodes[i].mesh) << nodes[i].name;
    }
    EXPECT_EQ(d.nodes[2].transform, (std::array<float, 7>{0, 0, 1, 0, 0, 65535, 100}));
    EXPECT_EQ(d.nodes[5].focal, 23342.9375f);
    EXPECT_EQ(d.nodes[5].halfWidth, 320.0f);

    EXPECT_EQ(d.meshes[0].name, "TOPO_Big Rock");
    EXPECT_EQ(d.meshes[0].faces[0].corners, (std::array<int32_t, 4>{0, 1, 2, 3}));
    EXPECT_EQ(d.meshes[0].faces[0].material, 1);
    EXPECT_EQ(d.meshes[1].vertices[2], (VekVector{-5, 0, 1}));
    EXPECT_EQ(d.meshes[1].faces.size(), 2u);
    EXPECT_EQ(d.meshes[1].faces[1].material, 2);
    // Textured corners keep their vertex indices; 3 is the parent's vertex 2.
    EXPECT_EQ(d.meshes[2].faces[0].corners, (std::array<int32_t, 4>{0, 1, 3, -1}));
    EXPECT_EQ(d.meshes[2].faces[0].material, 0);

    ASSERT_TRUE(Check(Join(ValidBox), true, &d).Clean());
    ASSERT_EQ(d.boxes.size(), 3u);
    EXPECT_EQ(d.boxes[2].id, 9);
    EXPECT_EQ(d.boxes[0].planes[0], (std::array<float, 4>{0, 1, 0, 2}));
    EXPECT_EQ(d.boxes[1].planes[5], (std::array<float, 4>{0x2d41 / 16384.0f, -0x2d41 / 16384.0f, 0, -5}));
}

// Vertex and face lines read the same whether spaced as the exporter writes them or
// otherwise, and wherever they fall in the reader's buffer.
TEST(Checker, DataLinesReadTheSameHoweverSpacedAndWhereverTheyFall)
{
    auto file = [](const char* blank) {
        std::vector<std::string> l(ValidVek.begin(), ValidVek.begin() + 5);
        l.insert(l.end(), {"material Red_COL {", " color ff0000", "}", "", "mesh Big {",
                           " 0.000000 0.000000 0.000000 0.000000 0.000000 65535.0000 100.000000"});
        const int n = 4000; // some 160 kB: lines straddle buffer refills
        for (int k = 0; k < n; k++)
            l.push_back(" " + std::to_string(k) + ".500000" + blank + "-1.25" + blank + std::to_string(k % 7) + ".");
        l.insert(l.end(), {"", " Red_COL"});
        for (int k = 0; k + 3 < n; k += 3)
            l.push_back(" " + std::to_string(k) + blank + std::to_string(k + 1) + blank + std::to_string(k + 2) +
                        (k % 2 ? "" : blank + std::to_string(k + 3)));
        l.insert(l.end(), {"}", "#EXPORT_OK"});
        return Join(l);
    };
    VekDocument plain, spaced;
    ASSERT_TRUE(Check(file(" "), false, &plain).Clean()) << FormatReport(Check(file(" ")));
    ASSERT_TRUE(Check(file("  "), false, &spaced).Clean());
    ASSERT_EQ(plain.meshes.size(), 1u);
    ASSERT_EQ(plain.meshes[0].vertices.size(), 4000u);
    EXPECT_EQ(plain.meshes[0].vertices[3999], (VekVector{3999.5f, -1.25f, 2}));
    EXPECT_EQ(plain.meshes[0].vertices, spaced.meshes[0].vertices);
    ASSERT_EQ(plain.meshes[0].faces.size(), spaced.meshes[0].faces.size());
    EXPECT_EQ(plain.meshes[0].faces[1].corners, (std::array<int32_t, 4>{3, 4, 5, -1}));
    for (size_t k = 0; k < plain.meshes[0].faces.size(); k++)
        ASSERT_EQ(plain.meshes[0].faces[k].corners, spaced.meshes[0].faces[k].corners) << k;
}

// ---- the command line ----

TEST(Checker, CommandLineChecksTheVekFileAndTheBoxBesideIt)
{
    std::filesystem::path dir = ScratchDir("check-cli");
    WriteFile(dir / "level.vek", Join(ValidVek));
    ExportRun clean = RunVekexport(dir, {"--check", "level.vek"});
    EXPECT_EQ(clean.status, 0) << clean.stdoutText;
    EXPECT_EQ(clean.stdoutText, "level.vek: no finding\n");

    std::vector<std::string> box = ValidBox;
    box[0] = "2";
    WriteFile(dir / "level.box", Join(box));
    ExportRun bad = RunVekexport(dir, {"--check", "level.vek"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.stdoutText.find("level.box:18: more boxes than the 2 the count announces"), std::string::npos)
        << bad.stdoutText;

    // A file that cannot be read is an error of the run, not a finding.
    ExportRun missing = RunVekexport(dir, {"--check", "nowhere.vek"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.stderrText.find("nowhere.vek: cannot open the file"), std::string::npos) << missing.stderrText;
    ExportRun render = RunVekexport(dir, {"--render", "nowhere.vek", "nowhere.png"});
    EXPECT_EQ(render.status, 2);

    ExportRun model = RunVekexport(dir, {"--check", "/usr/share/assimp/models/Collada/duck.dae"});
    EXPECT_EQ(model.status, 1);
    EXPECT_EQ(model.stdoutText, "/usr/share/assimp/models/Collada/duck.dae: not a Vek file\n");
}

} // namespace
} // namespace vek::test

// The reader of the application's ASCII scene export: errors with their line,
// text encodings, and the .ase files of the Assimp corpus.
#include "check/VekCheck.h"
#include "export_run.h"
#include "scene/SceneFormats.h"
#include "scene/TextDecoding.h"
#include "scene_test_util.h"

#include <regex>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// A scene of one helper and one triangle mesh whose parts the cases replace.
std::string Ase(const std::string& faces, const std::string& after = "", const std::string& parent = "")
{
    return "*3DSMAX_ASCIIEXPORT 200\n"                                             // 1
           "*MATERIAL_LIST {\n *MATERIAL 0 {\n  *MATERIAL_NAME \"M\"\n }\n}\n"     // 2-6
           "*HELPEROBJECT {\n *NODE_NAME \"Pièce\"\n *HELPER_CLASS \"Dummy\"\n}\n" // 7-10
           "*GEOMOBJECT {\n *NODE_NAME \"Tri\"\n" +
           parent +                                                                           // 11-12
           " *MESH {\n  *MESH_VERTEX_LIST {\n"                                                // 13-14
           "   *MESH_VERTEX 0 0 0 0\n   *MESH_VERTEX 1 1 0 0\n   *MESH_VERTEX 2 0 1 0\n  }\n" // 15-18
           "  *MESH_FACE_LIST {\n" +
           faces + "  }\n }\n" + after + "}\n";
}

const std::string Face0 = "   *MESH_FACE 0: A: 0 B: 1 C: 2 AB: 1 BC: 1 CA: 0 *MESH_SMOOTHING 1,3 *MESH_MTLID 2\n";

std::string AseError(const std::string& text)
{
    try {
        LoadAse(text, "scene.ase");
    } catch (const SceneError& e) {
        return e.what();
    }
    return "";
}

TEST(AseLoader, ErrorsNameTheLineAndTheDirective)
{
    const std::pair<std::string, std::string> cases[] = {
        {Ase(Face0 + "   *MESH_FACE 1: A: 0 B: 40 C: 2 AB: 1 BC: 1 CA: 1\n"),
         "scene.ase:21: *MESH_FACE 1: vertex 40 out of range (3 vertices)"},
        {Ase("   *MESH_FACE 0: A: 0 B: 1\n"), "scene.ase:20: *MESH_FACE 0: expected the corners A, B and C"},
        {Ase("   *MESH_FACE 3: A: 0 B: 1 C: 2\n"), "scene.ase:20: *MESH_FACE 3: expected entry 0"},
        {Ase("   *MESH_FACE 0: A: 0 B: 1 C: 2 *MESH_SMOOTHING 33\n"),
         "scene.ase:20: *MESH_SMOOTHING: \"33\" is not a list of smoothing groups 1 to 32"},
        {Ase(Face0, " *MATERIAL_REF 1\n"), "scene.ase:23: *MATERIAL_REF: material 1 out of range (1 materials)"},
        {Ase(Face0, " *WIREFRAME_COLOR 1 x 0\n"), "scene.ase:23: *WIREFRAME_COLOR: \"x\" is not a number"},
        {Ase(Face0, "", " *NODE_PARENT \"Nobody\"\n"),
         "scene.ase:11: *GEOMOBJECT: the parent \"Nobody\" is not a node before this one"},
        {Ase(Face0 + "  }\n  *MESH_TVERTLIST {\n   *MESH_TVERT 0 0 0 0\n  }\n  *MESH_TFACELIST {\n"),
         "scene.ase:13: *MESH: 0 texture faces for 1 faces"},
        {Ase(Face0).substr(0, Ase(Face0).size() - 2), "scene.ase:23: end of file: missing \"}\""},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(AseError(text), message) << text;
}

TEST(AseLoader, MeshKeepsTheFileEdgesSmoothingAndMaterialIds)
{
    auto s = LoadAse(Ase(Face0, "", " *NODE_PARENT \"Pièce\"\n"), "scene.ase");
    INode* child = TopNode(*s, 0)->GetChildNode(0);
    ASSERT_NE(child, nullptr);
    const Face& f = static_cast<TriObject*>(child->GetObjectRef())->GetMesh().faces.at(0);
    EXPECT_EQ(f.flags & EDGE_ALL, DWORD(EDGE_A | EDGE_B));
    EXPECT_EQ(f.smGroup, DWORD(0b101));
    EXPECT_EQ(f.getMatID(), 2);
}

// The same scene in each encoding the application writes gives the same names.
TEST(AseLoader, ReadsUtf8Latin1AndUtf16)
{
    const std::string utf8 = Ase(Face0);
    std::string latin1, utf16le = "\xff\xfe", utf16be = "\xfe\xff";
    for (size_t i = 0; i < utf8.size(); i++) {
        auto c = uint8_t(utf8[i]);
        uint32_t code = c;
        if (c >= 0xc0) // two-byte sequences only in this text
            code = uint32_t((c & 0x1f) << 6 | (uint8_t(utf8[++i]) & 0x3f));
        latin1 += char(code);
        utf16le += char(code & 0xff), utf16le += char(code >> 8);
        utf16be += char(code >> 8), utf16be += char(code & 0xff);
    }
    for (const std::string& bytes : {utf8, "\xef\xbb\xbf" + utf8, latin1, utf16le, utf16be}) {
        std::string converted;
        const std::string_view text = DecodeSceneText(bytes, converted);
        ASSERT_TRUE(IsAseText(text));
        EXPECT_STREQ(TopNode(*LoadAse(text, "scene.ase"), 0)->GetName(), "Pièce");
    }
}

// Every .ase file of the corpus exports, passes the checker, and keeps the file's
// hidden edges: each ThreeCubesGreen variant holds three boxes of six quads.
TEST(AseLoader, CorpusFilesExportCleanlyWithTheirQuads)
{
    const fs::path root = "/usr/share/assimp/models/ASE";
    if (!fs::is_directory(root))
        GTEST_SKIP() << root << " is missing";
    fs::path dir = ScratchDir("ase-corpus");
    int exported = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".txt")
            continue;
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", entry.path().string(), "out.vek"});
        ASSERT_EQ(run.status, 0) << entry.path() << "\n" << run.stderrText;
        EXPECT_TRUE(CheckVekFile((dir / "out.vek").string()).Clean()) << entry.path();
        exported++;
        if (entry.path().filename().string().rfind("ThreeCubesGreen", 0) == 0) {
            static const std::regex quad("\n *[0-9]+ [0-9]+ [0-9]+ [0-9]+\r");
            auto quads = std::distance(std::sregex_iterator(run.vek->begin(), run.vek->end(), quad), {});
            EXPECT_EQ(quads, 18) << entry.path();
        }
    }
    EXPECT_GE(exported, 15);
}

} // namespace
} // namespace vek::test

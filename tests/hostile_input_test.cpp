// Damaged and malicious input: files that declare more than the machine holds, and
// names and paths written to change the structure of the Vek file.
#include "export_run.h"

#include "cli/MemoryBudget.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

// s as a JSON string literal.
std::string Quoted(const std::string& s)
{
    std::string q = "\"";
    for (unsigned char c : s) {
        char buf[8];
        if (c == '"' || c == '\\' || c < 0x20) {
            std::snprintf(buf, sizeof(buf), "\\u%04x", c);
            q += buf;
        } else {
            q += char(c);
        }
    }
    return q + "\"";
}

// Names and paths that would close a block, open one, end a line early, read as a
// comment, a result marker or the bone marker, or leave a line empty.
const std::vector<std::string> NastyNames = {
    "evil\n}\nmesh injected {",
    "a\r\nb",
    "}",
    "{",
    "x {",
    "} {",
    "#EXPORT_OK",
    "#",
    "BONE",
    "",
    "tab\there",
    "nul\001bell\007del\177",
    " ",
    "D:\\maps\\wood {",
};

// One textured, animated quad per name, each named, its material named and its
// texture file named by it; two of them share their object.
std::string NastyScene()
{
    std::string texmaps, materials, nodes;
    for (size_t k = 0; k < NastyNames.size(); k++) {
        std::string id = std::to_string(k), name = Quoted(NastyNames[k]);
        std::string sep = k ? ", " : "";
        texmaps += sep + "\"t" + id + "\": {\"class\": \"bitmap\", \"file\": " + name + "}";
        materials += sep + "\"m" + id + "\": {\"name\": " + name + ", \"diffuseMap\": \"t" + id + "\"}";
        nodes += sep + "{\"name\": " + name + ", \"object\": \"" + (k < 2 ? "shared" : "quad" + id) +
                 "\", \"material\": \"m" + id +
                 "\", \"position\": {\"class\": \"linear\", \"keys\": [{\"t\": 0, \"value\": [0, 0, 0]}, "
                 "{\"t\": 160, \"value\": [1, 0, 0]}]}, \"children\": [{\"name\": " +
                 name + ", \"object\": \"lamp\"}, {\"name\": " + name + ", \"object\": \"dummy\"}]}";
    }
    std::string objects = R"("lamp": {"type": "light"}, "dummy": {"type": "dummy"})";
    const std::string quad = R"({"type": "mesh", "verts": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
        "tverts": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], "faces": [[0, 1, 2], [2, 3, 0]],
        "tvfaces": [[0, 1, 2], [2, 3, 0]]})";
    objects += ", \"shared\": " + quad;
    for (size_t k = 2; k < NastyNames.size(); k++)
        objects += ", \"quad" + std::to_string(k) + "\": " + quad;
    return R"({"format": "vek-scene/1", "texmaps": {)" + texmaps + R"(}, "materials": {)" + materials +
           R"(}, "objects": {)" + objects + R"(}, "nodes": [)" + nodes + "]}";
}

// The export harness checks every file written: each must be clean whatever the
// names hold, for every option that writes them somewhere else.
TEST(HostileInput, NamesAndPathsCannotChangeTheFileStructure)
{
    const std::string scene = NastyScene();
    const std::vector<std::map<std::string, int>> optionSets = {
        {},
        {{"indentation", 0}},
        {{"exportTopology", 1}, {"exportAnimation", 1}, {"exportLights", 1}, {"indentation", 0}},
        {{"exportMaterials", 0}, {"indentation", 0}},
        {{"exportGeometry", 0}, {"exportAnimation", 1}},
        {{"legacyFormat", 1}},
    };
    for (size_t k = 0; k < optionSets.size(); k++) {
        ExportRun run = ExportScene("hostile-names-" + std::to_string(k), scene, optionSets[k]);
        EXPECT_EQ(run.status, 0) << run.stderrText;
        ASSERT_TRUE(run.vek);
        EXPECT_EQ(run.vek->find("\nmesh injected"), std::string::npos);
    }
    ExportRun run = ExportScene("hostile-names-lines", scene);
    ASSERT_TRUE(run.vek);
    for (const char* line : {"mesh evil___mesh_injected__ {", "\r\n _EXPORT_OK\r\n", "\r\n _BONE\r\n", "\r\n _\r\n",
                             " texture D:/maps/wood _\r\n", "mesh tab_here {"})
        EXPECT_NE(run.vek->find(line), std::string::npos) << line;
}

// Tiny files that declare a billion vertices: refused within seconds under the
// default budget, the output left as it was.
TEST(HostileInput, MemoryBombsAreRefusedQuickly)
{
    if (!MemoryBudgetApplies)
        GTEST_SKIP() << "no memory budget under AddressSanitizer";
    fs::path dir = ScratchDir("hostile-memory");
    const std::string header = "ply\nformat %s 1.0\nelement vertex 1000000000\nproperty float x\nproperty float y\n"
                               "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
    char text[512];
    std::snprintf(text, sizeof(text), header.c_str(), "binary_little_endian");
    WriteFile(dir / "binary.ply", std::string(text) + std::string(40, '\0'));
    std::snprintf(text, sizeof(text), header.c_str(), "ascii");
    WriteFile(dir / "ascii.ply", std::string(text) + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    std::vector<std::string> bombs = {"binary.ply", "ascii.ply"};
    const fs::path off = "/usr/share/assimp/models/invalid/OutOfMemory.off";
    if (fs::exists(off))
        bombs.push_back(off.string());
    for (const std::string& bomb : bombs) {
        WriteFile(dir / "out.vek", "precious");
        auto start = std::chrono::steady_clock::now();
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", bomb, "out.vek"});
        auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(run.status, 2) << bomb;
        EXPECT_EQ(run.stderrText, "vekexport: " + bomb + ": needs more than 2.0 GiB of memory (see --max-memory)\n");
        EXPECT_EQ(run.vek, "precious") << bomb;
        EXPECT_LT(seconds, 20) << bomb;
    }
    // The budget is the user's to raise or lower.
    WriteFile(dir / "scene.json", R"({"format": "vek-scene/1", "objects": {"p": {"type": "plane",
        "lengthSegs": 2000, "widthSegs": 2000}}, "nodes": [{"name": "Big", "object": "p"}]})");
    // Exhausted during the export: the file transaction leaves the output as it was.
    WriteFile(dir / "small.vek", "precious");
    ExportRun small =
        RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "--max-memory", "64M", "scene.json", "small.vek"});
    EXPECT_EQ(small.status, 2);
    EXPECT_EQ(small.stderrText, "vekexport: scene.json: needs more than 64.0 MiB of memory (see --max-memory)\n");
    EXPECT_EQ(small.vek, "precious");
    ExportRun batch =
        RunVekexport(dir, {"--config-dir", "cfg", "--max-memory", "64M", "--output-dir", "out", "scene.json"});
    EXPECT_EQ(batch.stderrText, "  2  scene.json: needs more than 64.0 MiB of memory (see --max-memory)\n");
    EXPECT_EQ(RunVekexport(dir, {"--max-memory", "lots", "scene.json", "out.vek"}).status, 2);
}

// Files the model library mishandles never reach it: a damaged Half-Life studio
// model (its tables lie past the end of the file), which it over-reads, and
// PLY, LightWave scene and OpenGEX files cut short, on which it never returns.
TEST(HostileInput, UnsafeModelFormatsAreRefused)
{
    fs::path dir = ScratchDir("hostile-unsafe-model");
    const std::pair<std::string, std::string> cases[] = {
        {"damaged.mdl", "IDST" + std::string(4, '\n') + std::string(400, '\xff')},
        {"cut.ply", "ply\nformat ascii 1.0\nelement vertex 8\nproperty float x\n"},
        {"cut", "PLY\r\nformat binary_little_endian 1.0\r\n"},
        {"cut.lws", "LWSC\n3\nLoadObject cube.lwo\nObjectMotion (unnamed)"},
        // Its last structure is open, whatever the brace in the string says.
        {"cut.ogex", "Metric {float {1.0}}\nGeometryNode $node1\n{\n\tName {string {\"}\"}}\n"},
    };
    for (const auto& [name, bytes] : cases) {
        WriteFile(dir / name, bytes);
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", name, "out.vek"});
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_NE(run.stderrText.find(name + ": "), std::string::npos) << run.stderrText;
        const std::string why = name == "damaged.mdl" ? "the Half-Life studio model is damaged"
                                : name == "cut.lws"   ? "the LightWave scene is cut short or damaged"
                                : name == "cut.ogex"  ? "the OpenGEX structures do not close"
                                                      : "the PLY header has no end_header line";
        EXPECT_NE(run.stderrText.find(why), std::string::npos) << run.stderrText;
    }
}

// A model the model library reads; damaged, its reader crashes.
const fs::path OpenGexExample = "/usr/share/assimp/models/OpenGEX/Example.ogex";

// A model its reader takes most of a minute over: a triangle, then 4 GiB of NUL bytes
// (a hole in the file, taking no room on disk), each of them an empty line to it.
void WriteWaitingModel(const fs::path& dir)
{
    WriteFile(dir / "waiting.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    fs::resize_file(dir / "waiting.obj", uintmax_t(4) << 30);
}

// Damaged models on which the model library's reader crashes or never returns, and an
// export module that crashes once the model is read: the run ends with a message
// naming the file and status 2, its report says the same, the output stays as it was
// and no temporary file is left beside it.
TEST(HostileInput, ModelReaderCrashesAndHangsEndTheRunWithAMessage)
{
    const std::string bytes = ReadFile(OpenGexExample);
    if (bytes.empty())
        GTEST_SKIP() << OpenGexExample << " is not installed";
    fs::path dir = ScratchDir("hostile-reader-faults");
    WriteFile(dir / "damaged.ogex", std::string(bytes).replace(3341, 8, 8, '\0')); // in its texture coordinates
    WriteWaitingModel(dir);
    WriteFile(dir / "quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    const std::string why = ": it is damaged or of a kind it cannot read";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"damaged.ogex"}, "damaged.ogex: the model reader crashed (SIGSEGV) on this file" + why},
        {{"--import-timeout", "1", "waiting.obj"},
         "waiting.obj: the model reader did not finish within 1 s" + why + " (see --import-timeout)"},
        {{"--module", VEK_CRASH_MODULE, "quad.obj"},
         "quad.obj: the export crashed (SIGSEGV) after the model was read: a fault of vekexport, not of the file"},
    };
    for (const auto& [args, message] : cases) {
        if (!MemoryBudgetApplies && message.find("crashed") != std::string::npos)
            continue; // AddressSanitizer takes the crash and reports it its own way
        WriteFile(dir / "out.vek", "precious");
        std::vector<std::string> command = {"--no-prompt", "--config-dir", "cfg", "--report", "report.json"};
        command.insert(command.end(), args.begin(), args.end());
        command.push_back("out.vek");
        ExportRun run = RunVekexport(dir, command);
        EXPECT_EQ(run.status, 2) << message;
        EXPECT_EQ(run.stderrText, "vekexport: " + message + "\n");
        EXPECT_EQ(run.vek, "precious") << message;
        EXPECT_NE(ReadFile(dir / "report.json").find("\"error\": \"" + message + "\""), std::string::npos);
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << " left behind";
    }
    // A batch passes the time limit on to each of its exports.
    ExportRun batch =
        RunVekexport(dir, {"--config-dir", "cfg", "--import-timeout", "1", "--output-dir", "out", "waiting.obj"});
    EXPECT_EQ(batch.stderrText, "  2  " + cases[1].second + "\n");
}

// An interrupt of the run while the model reader has not returned stops the reader too.
TEST(HostileInput, InterruptStopsAModelReaderThatNeverReturns)
{
    fs::path dir = ScratchDir("hostile-reader-interrupt");
    WriteWaitingModel(dir);
    // The reader's process, a child of the run's first thread, is still there afterwards
    // only as a zombie not yet collected, if at all.
    const std::string script = "cd '" + dir.string() + "' || exit; '" + VEK_BINARY_DIR +
                               "/vekexport' --no-prompt --config-dir cfg waiting.obj out.vek 2>/dev/null & pid=$!; "
                               "sleep 1; child=$(cat /proc/$pid/task/$pid/children); kill -TERM $pid; wait $pid; "
                               "status=$?; state=$(awk '{print $3}' /proc/$child/stat 2>/dev/null); "
                               "echo $status ${state:-Z} > status.txt";
    ASSERT_EQ(std::system(script.c_str()), 0);
    EXPECT_EQ(ReadFile(dir / "status.txt"), "143 Z\n");
}

// A directory, a pipe with no writer and an endless device are refused at once,
// as scenes and as files to check (the reading of the last two never returned).
// Named by a model as its material library, they are taken as missing.
TEST(HostileInput, InputsThatAreNotRegularFilesAreRefusedAtOnce)
{
    fs::path dir = ScratchDir("hostile-not-regular");
    fs::create_directory(dir / "folder.json");
    ASSERT_EQ(mkfifo((dir / "pipe.obj").c_str(), 0600), 0);
    for (const std::string library : {"pipe.obj", "/dev/zero"}) {
        WriteFile(dir / "quad.obj", "mtllib " + library + "\nv 0 0 0\nv 1 0 0\nv 1 1 0\nusemtl a\nf 1 2 3\n");
        ExportRun run =
            RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", "--import-timeout", "20", "quad.obj", "out.vek"});
        EXPECT_EQ(run.status, 0) << library << run.stderrText;
    }
    for (const std::string name : {"folder.json", "pipe.obj", "/dev/zero"}) {
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", name, "out.vek"});
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_NE(run.stderrText.find(name + ": not a regular file"), std::string::npos) << run.stderrText;
        ExportRun check = RunVekexport(dir, {"--check", name});
        EXPECT_EQ(check.status, 2) << name; // nothing could be checked
        EXPECT_NE((check.stdoutText + check.stderrText).find(name + ": not a regular file"), std::string::npos)
            << check.stdoutText << check.stderrText;
    }
}

TEST(HostileInput, SelectedOnlyWithNothingToSelect)
{
    fs::path dir = ScratchDir("hostile-selection");
    WriteFile(dir / "scene.json", R"({"format": "vek-scene/1", "objects": {"d": {"type": "dummy"}},
        "nodes": [{"name": "Unpicked", "object": "d"}]})");
    WriteFile(dir / "quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    ExportRun none =
        RunVekexport(dir, {"--no-prompt", "--selected-only", "--config-dir", "cfg", "scene.json", "out.vek"});
    EXPECT_EQ(none.status, 0);
    EXPECT_NE(
        none.stderrText.find("vekexport: scene.json: no node is selected: --selected-only exports none of them\n"),
        std::string::npos)
        << none.stderrText;
    ExportRun model =
        RunVekexport(dir, {"--no-prompt", "--selected-only", "--config-dir", "cfg", "quad.obj", "model.vek"});
    EXPECT_EQ(model.status, 2);
    EXPECT_EQ(model.stderrText,
              "vekexport: quad.obj: a model file records no selection: --selected-only has nothing to export\n");
    EXPECT_FALSE(model.vek);
}

} // namespace
} // namespace vek::test

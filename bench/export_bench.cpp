// Whole exports of a generated level: 50,000 mesh nodes instancing 500 objects, whose
// representatives carry 500 multi-materials over 2,000 distinct materials.
#include "bench_util.h"
#include "export/SceneExporter.h"
#include "scene/Scene.h"
#include "tests/plugin_test_util.h"
#include "win32.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int Zones = 50;
constexpr int NodesPerZone = 1000;
constexpr int Objects = 500;
constexpr int Materials = 2000;
constexpr int Bitmaps = 20;

std::string LevelJson()
{
    std::string s = R"({"format": "vek-scene/1", "texmaps": {)";
    for (int b = 0; b < Bitmaps; b++)
        s += (b ? "," : "") + ("\"t" + std::to_string(b) + "\": {\"class\": \"bitmap\", \"file\": " +
                               "\"D:\\\\Engine\\\\Partition\\\\maps\\\\tile" + std::to_string(b) + ".bmp\"}");
    s += R"(}, "materials": {)";
    // Every tenth material is a blend of its two predecessors; the others are plain,
    // half of them mapped, some transparent.
    for (int m = 0; m < Materials; m++) {
        std::string id = "\"m" + std::to_string(m) + "\"";
        s += (m ? ",\n" : "\n") + id + ": ";
        if (m % 10 == 9)
            s += "{\"class\": \"blend\", \"name\": \"Blend " + std::to_string(m) + "\", \"sub\": [\"m" +
                 std::to_string(m - 2) + "\", \"m" + std::to_string(m - 1) + "\"], \"mix\": 0.3}";
        else if (m % 2 == 0)
            s += "{\"name\": \"Tile " + std::to_string(m) + "\", \"diffuseMap\": \"t" + std::to_string(m % Bitmaps) +
                 "\"}";
        else
            s += "{\"name\": \"Paint " + std::to_string(m) +
                 "\", \"diffuse\": [0.3, 0.4, 0.5], \"transparency\": " + (m % 3 == 0 ? "0.25" : "0") + "}";
    }
    // Multi j holds materials 4j to 4j+3 and, again, one of another multi.
    for (int j = 0; j < Objects; j++) {
        s += ",\n\"multi" + std::to_string(j) + "\": {\"class\": \"multi\", \"sub\": [";
        for (int k = 0; k < 4; k++)
            s += "\"m" + std::to_string(4 * j + k) + "\", ";
        s += "\"m" + std::to_string((4 * j + 9) % Materials) + "\"]}";
    }
    s += R"(}, "objects": {"zone": {"type": "dummy"})";
    for (int o = 0; o < Objects; o++)
        s += ",\n\"o" + std::to_string(o) + "\": {\"type\": \"box\", \"length\": " + std::to_string(1 + o % 7) +
             ", \"width\": " + std::to_string(1 + o % 5) + ", \"height\": " + std::to_string(1 + o % 3) + "}";
    s += R"(}, "nodes": [)";
    int n = 0;
    for (int z = 0; z < Zones; z++) {
        s +=
            (z ? "," : "") + ("\n{\"name\": \"Zone " + std::to_string(z) + "\", \"object\": \"zone\", \"children\": [");
        for (int k = 0; k < NodesPerZone; k++, n++) {
            int object = n % Objects;
            s += (k ? ",\n" : "\n") +
                 ("{\"name\": \"Piece " + std::to_string(n) + "\", \"object\": \"o" + std::to_string(object) +
                  "\", \"material\": \"multi" + std::to_string(object) + "\", \"transform\": {\"position\": [" +
                  std::to_string(n % 250) + ", " + std::to_string(n / 250) + ", 0]}}");
        }
        s += "]}";
    }
    return s + "]}";
}

void WriteOptions(const std::filesystem::path& dir, bool topology)
{
    ExportOptions options = DefaultExportOptions;
    options.exportTopology = topology;
    WriteOptionsFile(dir, options);
}

vek::Scene& Level()
{
    static std::unique_ptr<vek::Scene> scene = vek::LoadSceneJson(LevelJson(), "level.json");
    return *scene;
}

void BM_ExportInstancedLevel(benchmark::State& state)
{
    vek::test::LinkedModule();
    SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "vek-bench-level";
    fs::create_directories(dir);
    bool topology = state.range(0) != 0;
    vek::Scene& scene = Level();
    scene.SetPluginConfigDir(dir.string());
    scene.Activate();
    std::string out = (dir / "level.vek").string();
    for (auto _ : state) {
        WriteOptions(dir, topology);
        SceneExporter exporter;
        benchmark::DoNotOptimize(exporter.DoExport(out.c_str(), nullptr, &scene, TRUE, 0));
    }
    state.counters["bytes"] = double(fs::file_size(out));
    state.SetItemsProcessed(state.iterations() * Zones * NodesPerZone);
    SetMessageBoxHandler(nullptr);
}
BENCHMARK(BM_ExportInstancedLevel)->ArgName("topology")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

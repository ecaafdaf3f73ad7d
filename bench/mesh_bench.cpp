// Mesh export speed.
//
// BM_PlaneExport: the whole export (options, collection pass, material block, node
// pass, result markers) of a 1,000 x 1,000-segment plane, 2 million textured
// triangles joined into quads, with a 100 x 100-segment child plane merged against it.
// Its peak_MB counter is the process's peak resident size: run it alone
// (--benchmark_filter=BM_PlaneExport) for a figure of that export only.
//
// BM_MeshBody/<fast|simple>: one mesh body of 20,000 textured triangles merged against
// a parent of 20,000, by the writer and by the plain transcription of the simple
// algorithms (partner search from face 0, all-pairs merge, linear merged-index scan).
//
// BM_ShuffledQuads: 200,000 triangles whose quad partners lie anywhere in the face
// list, so that every partner is found through the hidden-edge index.
//
// BM_PlaneRender: the 1024 x 768 picture (file reading and checking, drawing, PNG
// file) of the export of a 708 x 708-segment plane, 1,002,528 triangles joined into
// quads, with the default options; its export_cpu_ms counter is the processor time
// of that export, to compare with the CPU column, and render_per_export the ratio of
// the two (the render is to take well under the export's time).
//
// BM_CheckPlane/mode:<0|1|2>: the checker alone on the same 1 M-triangle file: the
// whole check (0, --check), the export summary's count (1), and the check that also
// fills the document a picture is drawn from (2).
//
// The same plane scene is in plane-2m.scene.json, for timing the command-line host
// (with a configuration whose mergeVertices is on):
//   /usr/bin/time -f "%e s %U user %S sys %M KB" build/vekexport --no-prompt
//       --config-dir CFG bench/plane-2m.scene.json /tmp/plane.vek
#include "bench_util.h"
#include "check/VekCheck.h"
#include "export/SceneExporter.h"
#include "render/PngFile.h"
#include "render/VekRender.h"
#include "scene/Scene.h"
#include "scene/SceneBuilder.h"
#include "tests/literal_mesh_writer.h"
#include "tests/plugin_test_util.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// A ground plane of segs x segs quads of one unit, with a child patch of childSegs x
// childSegs quads lying on it (its vertices fall on the ground's).
std::string PlaneScene(int segs, int childSegs)
{
    auto plane = [](int n) {
        return R"({"type": "plane", "length": )" + std::to_string(n) + R"(, "width": )" + std::to_string(n) +
               R"(, "lengthSegs": )" + std::to_string(n) + R"(, "widthSegs": )" + std::to_string(n) + "}";
    };
    return R"({"format": "vek-scene/1",
        "texmaps": {"grass": {"class": "bitmap", "file": "D:\\Engine\\Partition\\maps\\grass.bmp"}},
        "materials": {"grass": {"name": "Grass", "diffuseMap": "grass"}},
        "objects": {"ground": )" +
           plane(segs) + R"(, "patch": )" + plane(childSegs) + R"(},
        "nodes": [{"name": "Ground", "object": "ground", "material": "grass",
                   "children": [{"name": "Patch", "object": "patch", "material": "grass"}]}]})";
}

// The default options with the vertex merge on, as the configuration file holds them.
void WriteOptions(const fs::path& dir)
{
    ExportOptions o = DefaultExportOptions;
    o.mergeVertices = 1;
    o.mergePrecision = 1;
    WriteOptionsFile(dir, o);
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_PlaneExport(benchmark::State& state)
{
    const int segs = 1000, childSegs = 100;
    fs::path dir = fs::temp_directory_path() / "vek-bench-plane";
    fs::create_directories(dir);
    WriteOptions(dir);
    auto scene = vek::LoadSceneJson(PlaneScene(segs, childSegs), "plane.json");
    scene->SetPluginConfigDir(dir.string());
    scene->Activate();
    const std::string out = (dir / "plane.vek").string();
    for (auto _ : state) {
        SceneExporter exporter;
        benchmark::DoNotOptimize(exporter.DoExport(out.c_str(), nullptr, scene.get(), TRUE, 0));
    }
    const double triangles = 2.0 * segs * segs + 2.0 * childSegs * childSegs;
    state.SetItemsProcessed(int64_t(state.iterations() * triangles));
    state.counters["file_MB"] = double(fs::file_size(out)) / (1024.0 * 1024.0);
    state.counters["peak_MB"] = PeakMegabytes();
    fs::remove(out);
}
// This shared machine's times vary by a fifth from run to run: the median of five
// runs of two exports is the figure to read.
BENCHMARK(BM_PlaneExport)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5)->ReportAggregatesOnly(true);

// The plane of 2 x segs x segs triangles made the active scene, with the default
// options saved in the scratch folder `dir`.
auto ActivePlane(const fs::path& dir, int segs)
{
    fs::create_directories(dir);
    WriteOptionsFile(dir, DefaultExportOptions);
    auto scene = vek::LoadSceneJson(PlaneScene(segs, 1), "plane.json");
    scene->SetPluginConfigDir(dir.string());
    scene->Activate();
    return scene;
}

void BM_PlaneRender(benchmark::State& state)
{
    const int segs = 708;
    vek::test::LinkedModule(); // the keywords' string table
    fs::path dir = fs::temp_directory_path() / "vek-bench-render";
    auto scene = ActivePlane(dir, segs);
    const std::string out = (dir / "plane.vek").string(), picture = (dir / "plane.png").string();
    std::clock_t start = std::clock();
    {
        SceneExporter exporter;
        exporter.DoExport(out.c_str(), nullptr, scene.get(), TRUE, 0);
    }
    const double exportCpu = double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC;
    start = std::clock();
    for (auto _ : state)
        vek::render::WritePng(picture, vek::render::DrawVekFile(out, {}));
    const double renderCpu = double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC / double(state.iterations());
    state.SetItemsProcessed(int64_t(state.iterations()) * (2 * segs * segs + 2));
    state.counters["export_cpu_ms"] = exportCpu;
    state.counters["render_per_export"] = renderCpu / exportCpu;
    fs::remove(out);
    fs::remove(picture);
}
BENCHMARK(BM_PlaneRender)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CheckPlane(benchmark::State& state)
{
    const int segs = 708;
    fs::path dir = fs::temp_directory_path() / "vek-bench-check";
    auto scene = ActivePlane(dir, segs);
    const std::string out = (dir / "plane.vek").string();
    {
        SceneExporter exporter;
        exporter.DoExport(out.c_str(), nullptr, scene.get(), TRUE, 0);
    }
    for (auto _ : state) {
        std::FILE* f = std::fopen(out.c_str(), "rb");
        vek::CheckReport report;
        vek::VekDocument document;
        if (state.range(0) == 1)
            vek::CountVekStream(f, out, report);
        else
            vek::CheckVekStream(f, out, report, state.range(0) == 2 ? &document : nullptr);
        std::fclose(f);
        benchmark::DoNotOptimize(report.figures.counts);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * (2 * segs * segs + 2));
    fs::remove(out);
}
BENCHMARK(BM_CheckPlane)
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

class BodyWriter : public MeshWriter {
public:
    using MeshWriter::MeshWriter;
    ErrorFlags Export(INode* node) override { return WriteMeshBody(node); }
};

template <class Writer> void MeshBody(benchmark::State& state)
{
    const int segs = 100; // 20,000 triangles
    auto scene = vek::LoadSceneJson(PlaneScene(segs, segs), "plane.json");
    scene->Activate();
    INode* child = scene->GetRootNode()->GetChildNode(0)->GetChildNode(0);
    FILE* sink = std::fopen("/dev/null", "w");
    std::setvbuf(sink, nullptr, _IOFBF, 1 << 16);
    for (auto _ : state) {
        Writer w(sink, scene.get(), 1, InstanceNodeList());
        w.SetMaterials(TRUE);
        w.SetMerge(TRUE, 1);
        w.SetQuadFaces(TRUE);
        benchmark::DoNotOptimize(w.Export(child));
    }
    std::fclose(sink);
    state.SetItemsProcessed(int64_t(state.iterations()) * 2 * segs * segs);
}
BENCHMARK_TEMPLATE(MeshBody, BodyWriter)->Name("BM_MeshBody/fast")->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(MeshBody, vek::test::LiteralMeshWriter)
    ->Name("BM_MeshBody/simple")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_ShuffledQuads(benchmark::State& state)
{
    const int segs = 316;
    Mesh mesh;
    vek::BuildPlaneMesh(mesh, 100, 100, segs, segs);
    std::mt19937 rng(7);
    std::vector<size_t> order(mesh.faces.size());
    for (size_t k = 0; k < order.size(); k++)
        order[k] = k;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<Face> faces(mesh.faces.size());
    std::vector<TVFace> tvFaces(mesh.faces.size());
    for (size_t k = 0; k < order.size(); k++) {
        faces[k] = mesh.faces[order[k]];
        tvFaces[k] = mesh.tvFace[order[k]];
    }
    vek::SceneBuilder b;
    vek::SceneMeshObject* obj = b.AddMesh(mesh.verts.size(), faces.size());
    b.AddVerts(obj, mesh.verts.data(), mesh.verts.size());
    b.AddFaces(obj, faces.data(), faces.size());
    b.AddMapVerts(obj, 1, mesh.tVerts.data(), mesh.tVerts.size());
    b.AddMapFaces(obj, 1, tvFaces.data(), tvFaces.size());
    b.EndMesh(obj);
    vek::SceneNode* node = b.AddNode(nullptr, "Shuffled");
    b.SetObject(node, obj);
    std::unique_ptr<vek::Scene> built = b.Finish();
    vek::Scene& scene = *built;
    FILE* sink = std::fopen("/dev/null", "w");
    std::setvbuf(sink, nullptr, _IOFBF, 1 << 16);
    for (auto _ : state) {
        BodyWriter w(sink, &scene, 0, InstanceNodeList());
        w.SetMaterials(TRUE);
        w.SetQuadFaces(TRUE);
        benchmark::DoNotOptimize(w.Export(node));
    }
    std::fclose(sink);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(mesh.faces.size()));
}
BENCHMARK(BM_ShuffledQuads)->Unit(benchmark::kMillisecond);

} // namespace

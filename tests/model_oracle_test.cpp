// The world-space oracle of the model loader: for a model that exports, the geometry
// as the engine places it, read back from the written file by our own reader, is the
// model's world-space geometry as the model library computes it (every node's
// transform applied to its vertices), brought through the same axis and unit rule;
// with the shared topology blocks of instances too.
//
// make test runs a sample of Assimp's corpus; make test-corpus (VEK_ORACLE_CORPUS=all)
// runs every model of it and prints the share that agrees (VEK_ORACLE_CORPUS=FOLDER:
// the models of one folder).
#include "check/VekCheck.h"
#include "export_run.h"
#include "render/VekRender.h"
#include "scene/ModelAxes.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unordered_map>

namespace vek::test {
namespace {

namespace fs = std::filesystem;

const fs::path CorpusRoot = "/usr/share/assimp/models";

// The sample of make test: files of every kind of transform the loader meets (scaled,
// mirrored and instanced nodes, roots that hold a mesh or an axis turn, stated units
// and axes), within a minute.
const char* const Sample[] = {
    "Collada/teapots.DAE",
    "Collada/duck.dae",
    "Collada/cube_UTF8BOM.dae",
    "FBX/cubes_with_names.fbx",
    "FBX/box.fbx",
    "SIB/heffalump.sib",
    "MD2/faerie.md2",
    "IQM/mrfixit.iqm",
    "3D/box_a.3d",
    "SMD/WusonSMD.smd",
    "X3D/ComputerKeyboard.x3d",
    "3DS/test1.3ds",
    "glTF2/BoxTextured-glTF/BoxTextured.gltf",
    "OBJ/box.obj",
    "PLY/cube.ply",
    "DXF/PinkEggFromLW.dxf",
    "X/test.x",
    "LWO/LWO2/box_2uv_1unused.lwo",
    "AC/SphereWithLight.ac",
    "MS3D/Wuson.ms3d",
    "COB/dwarf.cob",
    "BLEND/box.blend",
    "MDL/MDL (HL1)/man.mdl",
    "LWS/move_x.lws",
};

// Models whose export is not the model library's world-space geometry, and why.
const char* const Animated = "animated: the scene is taken at its first frame, where the animation moves nodes away "
                             "from the transforms the file gives them, which the model library places";
const char* const Utf16 = "UTF-16 text, which our reader of the application's exports reads and the model "
                          "library's does not (it finds no vertices)";
const std::map<std::string, std::string> Exceptions = {
    {"ASE/CameraRollAnimWithChildObject.ase", Animated},
    {"ASE/anim.ASE", Animated},
    {"ASE/anim2.ASE", Animated},
    {"ASE/ThreeCubesGreen_UTF16BE.ASE", Utf16},
    {"ASE/ThreeCubesGreen_UTF16LE.ASE", Utf16},
    {"BVH/01_01.bvh", Animated},
    {"BVH/01_03.bvh", Animated},
    {"BVH/Boxing_Toes.bvh", Animated},
};

using Points = std::vector<Point3>;

// Where the engine puts every vertex of the file's meshes.
Points PlacedVertices(const fs::path& vek)
{
    VekDocument doc;
    CheckVekFile(vek.string(), &doc);
    const std::vector<Matrix3> world = render::PlaceNodes(doc);
    Points points;
    for (size_t i = 0; i < doc.nodes.size(); i++) {
        const int mesh = doc.nodes[i].mesh;
        if (mesh < 0 || size_t(mesh) >= doc.meshes.size())
            continue;
        for (const VekVector& v : doc.meshes[size_t(mesh)].vertices)
            points.push_back(Point3(v[0], v[2], v[1]) * world[i]);
    }
    return points;
}

// The model's polygon vertices in the world, as the model library places them, in the
// host's axes and unit.
Points ModelVertices(const fs::path& model)
{
    Assimp::Importer importer;
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    const aiScene* scene = importer.ReadFile(model.string(), aiProcess_SortByPType | aiProcess_PreTransformVertices);
    Points points;
    if (!scene)
        return points;
    // The application's ASCII exports are read by our own reader, Z up as the application
    // holds them; the model library hands them over Y up.
    ImportOptions options;
    if (ReadFile(model).starts_with("*3DSMAX_ASCIIEXPORT"))
        options.up = ImportOptions::Up::Y;
    const Matrix3 axes = ModelAxes(model.string(), *scene, options).axes;
    for (unsigned m = 0; m < scene->mNumMeshes; m++) {
        const aiMesh* mesh = scene->mMeshes[m];
        if (!(mesh->mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON)))
            continue;
        for (unsigned v = 0; v < mesh->mNumVertices; v++)
            points.push_back(Point3(mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z) * axes);
    }
    return points;
}

float Diagonal(const Points& points)
{
    if (points.empty())
        return 0;
    Point3 lo = points[0], hi = points[0];
    for (const Point3& p : points)
        for (int k = 0; k < 3; k++) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    return (hi - lo).Length();
}

// The points of `from` farther than `tolerance` from every point of `to`, found
// through a grid of cells as wide as the tolerance.
size_t Strays(const Points& from, const Points& to, float tolerance, Point3& example)
{
    auto cell = [tolerance](const Point3& p, int dx, int dy, int dz) {
        auto c = [tolerance](float v, int d) { return int64_t(std::floor(v / tolerance)) + d; };
        return (c(p.x, dx) * 73856093) ^ (c(p.y, dy) * 19349663) ^ (c(p.z, dz) * 83492791);
    };
    std::unordered_multimap<int64_t, size_t> grid;
    for (size_t i = 0; i < to.size(); i++)
        grid.emplace(cell(to[i], 0, 0, 0), i);
    size_t strays = 0;
    for (const Point3& p : from) {
        bool near = false;
        for (int d = 0; d < 27 && !near; d++) {
            auto [begin, end] = grid.equal_range(cell(p, d % 3 - 1, d / 3 % 3 - 1, d / 9 - 1));
            for (auto it = begin; it != end && !near; ++it)
                near = (to[it->second] - p).Length() <= tolerance;
        }
        if (!near && strays++ == 0)
            example = p;
    }
    return strays;
}

// "" when the export agrees with the model, else what differs.
std::string Disagreement(const fs::path& model, const fs::path& vek)
{
    const Points placed = PlacedVertices(vek), expected = ModelVertices(model);
    const float size = Diagonal(expected);
    // Every vertex within 1e-4 of the scene's size; the file's six decimals bound it below.
    const float tolerance = std::max(size * 1e-4f, 2e-6f);
    Point3 a, b;
    const size_t extra = Strays(placed, expected, tolerance, a), missing = Strays(expected, placed, tolerance, b);
    if (extra == 0 && missing == 0)
        return "";
    char text[256];
    std::snprintf(text, sizeof(text),
                  "%zu of %zu written vertices are not the model's (first at %g %g %g), %zu of its %zu are not "
                  "written (first at %g %g %g)",
                  extra, placed.size(), a.x, a.y, a.z, missing, expected.size(), b.x, b.y, b.z);
    return text;
}

std::vector<fs::path> OracleModels()
{
    std::vector<fs::path> models;
    // "all", or one folder of the corpus.
    const char* chosen = std::getenv("VEK_ORACLE_CORPUS");
    if (chosen && *chosen) {
        std::error_code ec;
        const fs::path root = std::string(chosen) == "all" ? CorpusRoot : CorpusRoot / chosen;
        for (const auto& entry : fs::recursive_directory_iterator(root, ec))
            if (entry.is_regular_file() && IsModelFile(entry.path()))
                models.push_back(entry.path());
        std::sort(models.begin(), models.end());
    } else {
        for (const char* name : Sample)
            models.push_back(CorpusRoot / name);
    }
    return models;
}

TEST(ModelOracle, ExportsPlaceEveryVertexWhereTheModelHasIt)
{
    if (!fs::is_directory(CorpusRoot))
        GTEST_SKIP() << "no corpus at " << CorpusRoot;
    const fs::path dir = ScratchDir("model-oracle");
    int exported = 0, agree = 0;
    std::string exceptions;
    for (const fs::path& model : OracleModels()) {
        ExportRun run = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg", model.string(), "out.vek"});
        if (run.status != 0 && run.status != 1) {
            // Every model of the sample exports (a Half-Life model and a LightWave scene among them).
            const char* chosen = std::getenv("VEK_ORACLE_CORPUS");
            if (!chosen || !*chosen)
                ADD_FAILURE() << model << " is not exported: " << run.stderrText;
            continue;
        }
        exported++;
        const std::string name = fs::relative(model, CorpusRoot).string();
        std::string differs = Disagreement(model, dir / "out.vek");
        if (differs.empty()) {
            // Shared topology blocks draw every instance at its own size too.
            ExportRun shared = RunVekexport(dir, {"--no-prompt", "--config-dir", "cfg-shared", "--set",
                                                  "exportTopology=1", model.string(), "shared.vek"});
            differs = shared.status == 0 || shared.status == 1 ? Disagreement(model, dir / "shared.vek")
                                                               : "not exported with topology blocks";
            if (!differs.empty())
                differs = "with topology blocks: " + differs;
        }
        if (differs.empty()) {
            agree++;
            continue;
        }
        auto known = Exceptions.find(name);
        if (known == Exceptions.end())
            ADD_FAILURE() << name << ": " << differs;
        else
            exceptions += "  " + name + ": " + known->second + "\n";
    }
    std::printf("%d of %d exported models agree (%.1f %%)\n%s", agree, exported,
                exported ? 100.0 * agree / exported : 100.0,
                exceptions.empty() ? "" : ("exceptions:\n" + exceptions).c_str());
    RecordProperty("agree", agree);
    RecordProperty("exported", exported);
}

} // namespace
} // namespace vek::test

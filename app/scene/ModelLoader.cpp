// Models in the formats Assimp reads, held as the modelling application would hold
// the same scene: Z up, row-vector transforms, meshes of triangles whose polygon
// diagonals are hidden edges, shared objects for instances, multi-materials for
// nodes of several materials, linear key controllers for the first animation.
#include "ModelAxes.h"
#include "SceneBuilder.h"
#include "SceneFormats.h"

#include <assimp/DefaultIOStream.h>
#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/importerdesc.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace vek {

namespace {

namespace fs = std::filesystem;

// s in lower case, as the model library compares extensions and the words it looks for.
std::string Lowercase(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

constexpr int TicksPerFrame = 160;
constexpr double TicksPerSecond = 160.0 * 30.0; // 30 frames a second

// Formats handed over Y up: by their convention, or because the model library turns
// them so itself (a quarter turn in the root of Collada, 3DS, DXF, IFC, IQM, Quake
// and Half-Life models). The others (SMD, STL, PLY, Blender, ...) are taken Z up.
constexpr const char* YUpExtensions[] = {"gltf", "glb",  "obj", "dae", "zae",     "fbx",    "x",       "ac",   "lwo",
                                         "lws",  "ms3d", "md2", "md3", "md5mesh", "irr",    "irrmesh", "ogex", "b3d",
                                         "x3d",  "x3db", "3ds", "dxf", "ifc",     "ifczip", "iqm",     "mdl",  "bvh"};
static_assert(std::size(YUpExtensions) == 27);

// The axes an FBX file states: its right (coord) axis becomes x, its up axis z and
// its front axis (toward the viewer) -y. False when the file states none or they
// are not three distinct axes.
bool FbxAxes(const aiScene& ai, Matrix3& basis)
{
    int32_t up = -1, upSign = 1, front = -1, frontSign = 1, coord = -1, coordSign = 1;
    const aiMetadata* meta = ai.mMetaData;
    if (!meta || !meta->Get("UpAxis", up) || !meta->Get("FrontAxis", front) || !meta->Get("CoordAxis", coord))
        return false;
    meta->Get("UpAxisSign", upSign);
    meta->Get("FrontAxisSign", frontSign);
    meta->Get("CoordAxisSign", coordSign);
    auto valid = [](int32_t a) { return a >= 0 && a <= 2; };
    if (!valid(up) || !valid(front) || !valid(coord) || up == front || up == coord || front == coord)
        return false;
    Matrix3 m;
    m.SetRow(coord, Point3(coordSign < 0 ? -1.0f : 1.0f, 0.0f, 0.0f));
    m.SetRow(front, Point3(0.0f, frontSign < 0 ? 1.0f : -1.0f, 0.0f));
    m.SetRow(up, Point3(0.0f, 0.0f, upSign < 0 ? -1.0f : 1.0f));
    basis = m;
    return true;
}

// Centimetres per unit of an FBX file; 0 when it does not say.
double FbxUnit(const aiScene& ai)
{
    double cm = 0;
    float cmFloat = 0;
    if (ai.mMetaData && !ai.mMetaData->Get("UnitScaleFactor", cm) && ai.mMetaData->Get("UnitScaleFactor", cmFloat))
        cm = cmFloat;
    return std::isfinite(cm) && cm > 0 ? cm : 0;
}

} // namespace

// Z up, one scene unit a metre for the formats that state their unit (Collada and
// glTF arrive in metres; FBX says how many centimetres its unit is), others as
// written; then the user's scale.
ModelFrame ModelAxes(const std::string& path, const aiScene& ai, const ImportOptions& options)
{
    std::string ext = Lowercase(fs::path(path).extension().string());
    if (!ext.empty())
        ext.erase(0, 1);
    const bool fbx = ext == "fbx";
    bool yUp = std::find(std::begin(YUpExtensions), std::end(YUpExtensions), ext) != std::end(YUpExtensions);
    Matrix3 basis;
    if (options.up != ImportOptions::Up::Auto)
        yUp = options.up == ImportOptions::Up::Y;
    else if (fbx && FbxAxes(ai, basis))
        yUp = false;
    // Y up to Z up: a quarter turn about X, y going to z.
    if (yUp)
        basis = Matrix3(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0), Point3(0, 0, 0));
    const double cm = fbx ? FbxUnit(ai) : 0;
    ModelFrame frame;
    frame.unit = float((cm > 0 ? cm / 100.0 : 1.0) * options.scale);
    frame.axes = basis * ScaleMatrix(Point3(frame.unit, frame.unit, frame.unit));
    return frame;
}

namespace {

// ---- textures ----

// The entry of dir named `name`, or else one whose name differs only in case: the
// model was often made where names are compared so.
std::optional<fs::path> EntryNoCase(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    if (fs::exists(dir / name, ec))
        return dir / name;
    const std::string lower = Lowercase(name);
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (Lowercase(entry.path().filename().string()) == lower)
            return entry.path();
    return std::nullopt;
}

// The regular file base/parts..., each part matched as EntryNoCase does.
std::optional<fs::path> FindNoCase(fs::path base, const std::vector<std::string>& parts, size_t from)
{
    for (size_t k = from; k < parts.size(); k++) {
        std::optional<fs::path> next = parts[k] == ".." ? std::optional(base / "..") : EntryNoCase(base, parts[k]);
        if (!next)
            return std::nullopt;
        base = *next;
    }
    std::error_code ec;
    return fs::is_regular_file(base, ec) ? std::optional(base.lexically_normal()) : std::nullopt;
}

// A texture's file as the model names it: relative to the model's folder, with
// backslashes, "./" and "//" prefixes; an absolute path of another machine by its
// trailing parts from the model's folder and the folders above it, nearest first.
// None when no such file is here.
std::optional<fs::path> FindTexture(const std::string& named, const fs::path& modelDir)
{
    std::string text = named;
    std::replace(text.begin(), text.end(), '\\', '/');
    const bool drive = text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
    const bool absolute = drive || (text.starts_with("/") && !text.starts_with("//"));
    std::error_code ec;
    if (absolute && !drive && fs::is_regular_file(text, ec))
        return fs::path(text).lexically_normal();
    std::vector<std::string> parts;
    for (size_t at = drive ? 2 : 0; at <= text.size();) {
        size_t end = std::min(text.find('/', at), text.size());
        std::string part = text.substr(at, end - at);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        at = end + 1;
    }
    if (parts.empty())
        return std::nullopt;
    if (!absolute)
        return FindNoCase(modelDir, parts, 0);
    constexpr int LevelsUp = 4;
    fs::path base = modelDir;
    for (int up = 0; up <= LevelsUp; up++, base /= "..")
        for (size_t from = 0; from < parts.size(); from++)
            if (std::optional<fs::path> found = FindNoCase(base, parts, from))
                return found;
    return std::nullopt;
}

// Assimp transforms column vectors (p' = M p); the host row vectors (p' = p M).
Matrix3 HostMatrix(const aiMatrix4x4& m)
{
    return Matrix3(Point3(m.a1, m.b1, m.c1), Point3(m.a2, m.b2, m.c2), Point3(m.a3, m.b3, m.c3),
                   Point3(m.a4, m.b4, m.c4));
}

// The host's quaternions turn the other way round.
Quat HostQuat(const aiQuaternion& q) { return Quat(-q.x, -q.y, -q.z, q.w); }

Point3 HostPoint(const aiVector3D& v) { return Point3(v.x, v.y, v.z); }

// A frame whose local -Z is `direction` and whose local +Y is as close to `up` as
// possible, placed at `position`: how the host orients cameras and lights.
Matrix3 AimFrame(const Point3& position, const Point3& direction, const Point3& up)
{
    Point3 z = Normalize(Point3(-direction.x, -direction.y, -direction.z));
    Point3 x = CrossProd(up, z);
    if (DotProd(x, x) < 1e-12f)
        x = CrossProd(std::fabs(z.y) < 0.9f ? Point3(0, 1, 0) : Point3(1, 0, 0), z);
    x = Normalize(x);
    Point3 y = CrossProd(z, x);
    return Matrix3(x, y, z, position);
}

bool IsIdentity(const Matrix3& m) { return m.Equals(Matrix3(), 1e-6f); }

class Progress : public Assimp::ProgressHandler {
public:
    explicit Progress(std::string n) : name(std::move(n)) {}
    ~Progress() override
    {
        if (shown)
            std::fprintf(stderr, "\r\033[K");
    }
    bool Update(float percentage) override
    {
        int p = percentage < 0 ? 0 : int(percentage * 100.0f);
        if (p != last) {
            std::fprintf(stderr, "\rloading %s: %3d%%", name.c_str(), std::min(p, 100));
            std::fflush(stderr);
            last = p;
            shown = true;
        }
        return true;
    }

private:
    std::string name;
    int last = -1;
    bool shown = false;
};

// Assimp turns every exception of its readers into an error text; running out of
// memory is not a fault of the file and goes on as the exception it was.
void RethrowOutOfMemory(const std::exception_ptr& caught)
{
    if (!caught)
        return;
    try {
        std::rethrow_exception(caught);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
    }
}

// The distinct positions of a mesh's corners, in the order first met, with the index
// of each: an open-addressing table over the vertex list, sized once from the number
// of corners. Positions are compared by their bits, -0 and +0 being one.
class PositionIndex {
public:
    PositionIndex(std::vector<Point3>& vertices, size_t corners) : verts(vertices)
    {
        size_t slots = 16;
        while (slots < 2 * corners)
            slots *= 2;
        table.assign(slots, EMPTY);
        mask = slots - 1;
        verts.reserve(corners);
    }

    // The index of p's vertex, added when new.
    int Add(const Point3& p)
    {
        const Point3 key = Key(p);
        uint32_t b[3];
        std::memcpy(b, &key, sizeof(b));
        uint64_t h = (uint64_t(b[0]) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(b[1]) * 0xC2B2AE3D27D4EB4Full) ^
                     (uint64_t(b[2]) * 0x165667B19E3779F9ull);
        for (size_t i = size_t(h >> 20) & mask;; i = (i + 1) & mask) {
            int& slot = table[i];
            if (slot == EMPTY) {
                slot = int(verts.size());
                verts.push_back(p);
                return slot;
            }
            const Point3 other = Key(verts[size_t(slot)]);
            uint32_t o[3];
            std::memcpy(o, &other, sizeof(o));
            if (o[0] == b[0] && o[1] == b[1] && o[2] == b[2])
                return slot;
        }
    }

private:
    static Point3 Key(const Point3& p) { return Point3(p.x + 0.0f, p.y + 0.0f, p.z + 0.0f); }
    static constexpr int EMPTY = -1;
    std::vector<Point3>& verts;
    std::vector<int> table;
    size_t mask = 0;
};

// The files the model library opens by itself (material libraries, textures, the
// parts of a scene) are read only when they are regular files. A pipe no one writes
// to would hold the reader for ever, and a device would feed it without end; such a
// file is treated as missing, which every reader copes with.
class RegularFilesOnly : public Assimp::DefaultIOSystem {
public:
    // The library's own test of whether a file is there opens it, which waits on a
    // pipe; a look at it does not.
    bool Exists(const char* file) const override
    {
        struct stat st {};
        return stat(PathNoCase(file).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    Assimp::IOStream* Open(const char* file, const char* mode) override
    {
        if (std::strpbrk(mode, "wa+"))
            return DefaultIOSystem::Open(file, mode);
        // Opened without waiting for a writer, and what was opened is looked at: no
        // file can take another's place between the look and the opening.
        const int fd = open(PathNoCase(file).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat st {};
        FILE* f = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd, "rb") : nullptr;
        if (!f) {
            close(fd);
            return nullptr;
        }
        return new Stream(f, file);
    }

private:
    // The file itself, or else the one its path names with backslashes or in another
    // letter case: models made where names are compared so name their parts that way
    // (an Irrlicht scene's "../obj/spider.obj" is "../OBJ/spider.obj" here).
    static std::string PathNoCase(const char* file)
    {
        struct stat st {};
        if (stat(file, &st) == 0)
            return file;
        std::string text = file;
        std::replace(text.begin(), text.end(), '\\', '/');
        const fs::path p(text);
        std::vector<std::string> parts;
        for (const fs::path& part : p.relative_path())
            parts.push_back(part.string());
        std::optional<fs::path> found = FindNoCase(p.is_absolute() ? p.root_path() : fs::path("."), parts, 0);
        return found ? found->string() : std::string(file);
    }

    // The library's own stream over the file opened here.
    struct Stream : Assimp::DefaultIOStream {
        Stream(FILE* f, const char* name) : DefaultIOStream(f, name) {}
    };
};

class ModelLoader {
public:
    ModelLoader(const std::string& file, const ImportOptions& importOptions) : path(file), options(importOptions) {}

    std::unique_ptr<Scene> Load()
    {
        Assimp::Importer importer;
        importer.SetIOHandler(new RegularFilesOnly); // the importer owns it
        importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
        // Points and lines have no place in the host's meshes.
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        if (options.progress && isatty(STDERR_FILENO) && fs::file_size(path, ec) > (1u << 20) && !ec)
            importer.SetProgressHandler(new Progress(fs::path(path).filename().string()));
        RefuseUnsafeFormats(importer);
        ai = importer.ReadFile(path, aiProcess_ValidateDataStructure | aiProcess_SortByPType);
        if (!ai) {
            RethrowOutOfMemory(importer.GetException());
            // What is left once points and lines are set aside, in the library's words.
            const std::string error = importer.GetErrorString();
            if (error.find("No meshes remaining") != std::string::npos ||
                error.find("contains no faces") != std::string::npos)
                Fail("nothing to export: the model holds only points or lines, no polygons");
            Fail("cannot read the model: " + error);
        }
        if (!ai->mRootNode)
            Fail("the model holds no nodes");

        b.SetTicksPerFrame(TicksPerFrame);
        b.SetNoSelection();
        ChooseAxes();
        Materials();
        for (unsigned k = 0; k < ai->mNumCameras; k++)
            cameras.emplace(ai->mCameras[k]->mName.C_Str(), ai->mCameras[k]);
        for (unsigned k = 0; k < ai->mNumLights; k++)
            lights.emplace(ai->mLights[k]->mName.C_Str(), ai->mLights[k]);

        // The file's root is the host's invisible root: its transform goes into the
        // nodes below it, once. A root that holds something is a node of its own.
        const aiNode* root = ai->mRootNode;
        Matrix3 rootTM = HostMatrix(root->mTransformation);
        if (!IsFinite(rootTM))
            Fail("the root transform is not finite");
        if (root->mNumMeshes > 0 || lights.count(root->mName.C_Str()) || cameras.count(root->mName.C_Str()))
            AddNode(root, nullptr, Matrix3(), Matrix3());
        else
            for (unsigned c = 0; c < root->mNumChildren; c++)
                AddNode(root->mChildren[c], nullptr, rootTM, Matrix3());

        Animation();
        FinishTransforms();
        Warn(missingTextures, " texture", " textures", " not found: ");
        Warn(unwritten, " light", " lights", " of a kind the Vek format does not hold, not written: ");
        Warn(approximated, " light or camera", " lights or cameras",
             " of a kind the scene does not hold, brought in as the nearest: ");
        RefuseEmpty();
        NameSharedObjectsApart();
        return b.Finish();
    }

private:
    const std::string& path;
    const ImportOptions& options;
    std::error_code ec;
    const aiScene* ai = nullptr;
    SceneBuilder b;
    // The change from the file's axes and unit to the host's: points p become
    // p * axes, a transform M of the file's becomes axesInverse * M * axes.
    Matrix3 axes, axesInverse;
    float unit = 1; // host units per unit of the file
    bool gltf = false;
    std::vector<Mtl*> materials; // by Assimp material index
    // The objects of each list of meshes, one per object offset its nodes have.
    std::map<std::vector<unsigned>, std::vector<std::pair<Matrix3, Object*>>> meshObjects;
    std::map<std::vector<unsigned>, Mtl*> multiMaterials;
    std::multimap<std::string, const aiCamera*> cameras;
    std::multimap<std::string, const aiLight*> lights;
    std::unordered_map<std::string, SceneNode*> nodesByName;
    // Where each node lies, kept until its keys are known. world = offset * rigid
    // world transform, in the host's axes.
    struct Pending {
        SceneNode* node;
        Matrix3 local;        // the file's, relative to the file's parent
        Matrix3 after;        // the root's transform, for top-level nodes below it
        Matrix3 parentOffset; // the object offset of the file's parent
        Matrix3 world;
        Matrix3 frame; // of the camera or light the node holds, before world
    };
    std::vector<Pending> transforms;
    std::unordered_map<const SceneNode*, Matrix3> rigidWorld;
    Object* dummy = nullptr;
    int textureCount = 0;
    std::vector<std::string> missingTextures; // "material \"M\": path"
    std::vector<std::string> unwritten;       // lights the exporter writes no block for
    std::vector<std::string> approximated;    // lights and cameras of a kind the host lacks, as what
    Point3 ambient;                           // the sum of the ambient lights

    [[noreturn]] void Fail(const std::string& what) const { throw SceneError(path + ": " + what); }

    // One warning for the user: "2 textures not found: a; b".
    void Warn(const std::vector<std::string>& items, const char* one, const char* many, const char* what)
    {
        if (items.empty())
            return;
        std::string sentence = std::to_string(items.size()) + (items.size() == 1 ? one : many) + what;
        for (size_t k = 0; k < items.size(); k++)
            sentence += (k ? "; " : "") + items[k];
        b.AddWarning(sentence);
    }

    // A shared object is written once, under the name of its first node, and found by
    // that name: two objects whose first nodes have one name would be one to the
    // engine. The later such node gets a number ("Inst_2"), as a file may well repeat
    // names and an instance of another size has an object of its own.
    void NameSharedObjectsApart()
    {
        std::unordered_set<std::string> names, firstNames;
        std::unordered_set<const Object*> seen;
        for (const Pending& p : transforms)
            names.insert(p.node->name);
        for (const Pending& p : transforms) {
            SceneNode* n = p.node;
            if (!n->object || n->object == dummy || n->object->SuperClassID() != GEOMOBJECT_CLASS_ID ||
                !seen.insert(n->object).second)
                continue;
            if (!firstNames.insert(n->name).second) {
                int k = 2;
                while (names.count(n->name + "_" + std::to_string(k)))
                    k++;
                n->name += "_" + std::to_string(k);
                names.insert(n->name);
                firstNames.insert(n->name);
            }
        }
    }

    // A model that yields nothing to write is refused in one sentence, rather than
    // written as an empty file that reports success.
    void RefuseEmpty() const
    {
        for (const Pending& p : transforms)
            if (p.node->object && p.node->object != dummy)
                return;
        Fail("nothing to export: the model holds no polygons, cameras or lights");
    }

    // Files some of Assimp's readers mishandle are refused before Assimp sees them,
    // whatever their name:
    // - its reader of Half-Life studio models ("IDST", and their sequence groups
    //   "IDSQ") follows the name offsets of a damaged file past the end of its buffer;
    // - its PLY reader never returns on a header without its end_header line, as in
    //   a file cut short. No real header comes near the megabyte searched here;
    // - its LightWave scene reader ("LWSC") never returns on a file cut short
    //   inside a motion block. The objects such a scene loads (.lwo) are read;
    // - its OpenGEX reader never returns on a file cut short inside a structure.
    //   Such a file is one whose braces or brackets do not close.
    void RefuseUnsafeFormats(const Assimp::Importer& importer) const
    {
        std::string head(size_t(1) << 20, '\0');
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return; // Assimp names the fault
        head.resize(std::fread(head.data(), 1, head.size(), f));
        std::fclose(f);
        if (head.starts_with("IDSQ"))
            Fail("a Half-Life sequence group is not a model: export the model that loads it");
        if (head.starts_with("IDST") && !HalfLifeTablesInside())
            Fail("the Half-Life studio model is damaged: its tables reach past the end of the file");
        if (head.starts_with("LWSC") && !LightWaveMotionsEnd())
            Fail("the LightWave scene is cut short or damaged: a motion block does not end");
        if (Lowercase(head.substr(0, 3)) == "ply" && head.find("end_header") == std::string::npos)
            Fail("the PLY header has no end_header line: the file is cut short or damaged");
        if (IsOpenGex(importer, head) && !DdlStructuresClose())
            Fail("the OpenGEX structures do not close: the file is cut short or damaged");
    }

    // Whether every table a Half-Life studio model's header names (bones, sequences,
    // textures, body parts, their models and meshes...) lies inside the file, as in
    // every intact file: the model library's reader follows them unchecked.
    bool HalfLifeTablesInside() const
    {
        std::error_code error;
        const uintmax_t size = fs::file_size(path, error);
        if (error || size < 244 || size > (uintmax_t(1) << 30))
            return false;
        std::string bytes(size_t(size), '\0');
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return false;
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        auto word = [&bytes](int64_t at) -> int64_t {
            if (at < 0 || uint64_t(at) + 4 > bytes.size())
                return -1;
            int32_t v;
            std::memcpy(&v, bytes.data() + at, 4);
            return v;
        };
        // `count` records of `each` bytes at `index`, inside the file.
        auto within = [&bytes](int64_t count, int64_t index, int64_t each) {
            return count >= 0 && index >= 0 && count <= (int64_t(1) << 24) &&
                   (count == 0 || uint64_t(index + count * each) <= bytes.size());
        };
        // The header's tables: the byte of their count (their index follows it) and
        // the size of a record.
        static constexpr std::pair<int, int> Tables[] = {{140, 112}, {148, 24}, {156, 32}, {164, 176},
                                                         {172, 104}, {180, 80}, {204, 76}, {212, 88}};
        static_assert(std::size(Tables) == 8);
        if (word(72) != int64_t(bytes.size()) ||
            !std::all_of(std::begin(Tables), std::end(Tables),
                         [&](auto t) { return within(word(t.first), word(t.first + 4), t.second); }) ||
            !within(word(192) * std::max<int64_t>(word(196), 0), word(200), 2) ||
            !within(word(236) * std::max<int64_t>(word(236), 0), word(240), 1))
            return false;
        // Body parts hold models, models their meshes, vertices and normals.
        for (int64_t part = 0; part < word(204); part++) {
            const int64_t at = word(208) + part * 76;
            if (!within(word(at + 64), word(at + 72), 112))
                return false;
            for (int64_t m = 0; m < word(at + 64); m++) {
                const int64_t model = word(at + 72) + m * 112;
                const int64_t verts = word(model + 80), norms = word(model + 92);
                if (!within(word(model + 72), word(model + 76), 20) || !within(verts, word(model + 84), 1) ||
                    !within(verts, word(model + 88), 12) || !within(norms, word(model + 96), 1) ||
                    !within(norms, word(model + 100), 12))
                    return false;
                for (int64_t k = 0; k < word(model + 72); k++)
                    if (!within(1, word(word(model + 76) + k * 20 + 4), 1))
                        return false;
            }
        }
        return true;
    }

    // Whether every motion block of a LightWave scene is whole: braces that close, as
    // many channels as a block says and, in the older form without braces, as many key
    // lines as each channel says. The model library's reader never returns on a file
    // cut short inside one.
    bool LightWaveMotionsEnd() const
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            const size_t start = line.find_first_not_of(" \t\r");
            lines.push_back(start == std::string::npos ? "" : line.substr(start));
        }
        long long depth = 0;
        for (const std::string& line : lines) {
            depth += std::count(line.begin(), line.end(), '{') - std::count(line.begin(), line.end(), '}');
            if (depth < 0)
                return false;
        }
        if (depth != 0)
            return false;
        auto number = [&lines](size_t i) { return i < lines.size() ? std::atoll(lines[i].c_str()) : -1; };
        auto isMotion = [](const std::string& line) {
            return line.starts_with("ObjectMotion") || line.starts_with("CameraMotion") ||
                   line.starts_with("LightMotion");
        };
        for (size_t i = 0; i < lines.size(); i++) {
            if (!isMotion(lines[i]))
                continue;
            if (i + 1 >= lines.size())
                return false;
            if (lines[i + 1].starts_with("NumChannels")) {
                long long channels = std::atoll(lines[i + 1].c_str() + 11);
                for (size_t j = i + 2; j < lines.size() && !isMotion(lines[j]); j++)
                    channels -= lines[j].starts_with("Channel ");
                if (channels > 0)
                    return false;
                continue;
            }
            size_t j = i + 2;
            for (long long c = number(i + 1); c > 0; c--) {
                const long long keys = number(j);
                if (keys < 0 || keys > (1LL << 30) || j + 1 + size_t(keys) > lines.size())
                    return false;
                j += 1 + size_t(keys);
            }
        }
        return true;
    }

    // The model library reads a file as OpenGEX by its extension, or by one of these
    // words near its start when the extension is none it knows.
    bool IsOpenGex(const Assimp::Importer& importer, const std::string& head) const
    {
        const std::string ext = Lowercase(fs::path(path).extension().string());
        if (ext == ".ogex")
            return true;
        if (!ext.empty() && importer.IsExtensionSupported(ext))
            return false;
        const std::string start = Lowercase(head.substr(0, 200));
        static constexpr const char* WORDS[] = {"metric", "geometrynode", "vertexarray", "geometryobject",
                                                "indexarray"};
        static_assert(std::size(WORDS) == 5);
        return std::any_of(std::begin(WORDS), std::end(WORDS),
                           [&](const char* w) { return start.find(w) != std::string::npos; });
    }

    // Whether every brace and bracket of the file closes, outside its strings,
    // character literals and comments (the file is read once, a piece at a time).
    bool DdlStructuresClose() const
    {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return true; // Assimp names the fault
        enum class In { Text, Slash, LineComment, BlockComment, BlockStar, String, Char };
        In in = In::Text;
        bool escaped = false;
        long long braces = 0, brackets = 0; // open ones; below zero, one closed too many
        char buf[1 << 16];
        size_t n = 0;
        while (braces >= 0 && brackets >= 0 && (n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
            for (size_t i = 0; i < n && braces >= 0 && brackets >= 0; i++) {
                const char c = buf[i];
                if (in == In::String || in == In::Char) {
                    if (!escaped && c == (in == In::String ? '"' : '\''))
                        in = In::Text;
                    escaped = !escaped && c == '\\';
                } else if (in == In::LineComment) {
                    in = c == '\n' ? In::Text : in;
                } else if (in == In::BlockComment || in == In::BlockStar) {
                    in = c == '*' ? In::BlockStar : in == In::BlockStar && c == '/' ? In::Text : In::BlockComment;
                } else if (in == In::Slash && (c == '/' || c == '*')) {
                    in = c == '/' ? In::LineComment : In::BlockComment;
                } else {
                    in = c == '"' ? In::String : c == '\'' ? In::Char : c == '/' ? In::Slash : In::Text;
                    braces += (c == '{') - (c == '}');
                    brackets += (c == '[') - (c == ']');
                }
            }
        }
        std::fclose(f);
        return braces == 0 && brackets == 0 && (in == In::Text || in == In::Slash || in == In::LineComment);
    }

    // Runs f, naming `place` ("mesh \"Box\"") in a refusal of the scene builder.
    template <class F> decltype(auto) Checked(const std::string& place, F&& f) const
    {
        try {
            return f();
        } catch (const BuildError& e) {
            Fail(place + ": " + e.what());
        }
    }

    void ChooseAxes()
    {
        std::string ext = Lowercase(fs::path(path).extension().string());
        gltf = ext == ".gltf" || ext == ".glb";
        const ModelFrame frame = ModelAxes(path, *ai, options);
        axes = frame.axes;
        axesInverse = Inverse(axes);
        unit = frame.unit;
    }

    // ---- materials ----

    // How the file of an embedded texture, written beside the output, is named: by its
    // path when the exporter writes it relative to the texture root or a Partition
    // directory, else by its name alone, which the engine finds beside the Vek file.
    // Never by a path that only this machine has.
    std::string EmbeddedReference(const std::string& out) const
    {
        const std::string& root = options.textureRoot;
        if (Lowercase(out).find("/partition/") != std::string::npos ||
            (!root.empty() && out.starts_with(root) && out.size() > root.size() &&
             (root.ends_with('/') || out[root.size()] == '/')))
            return out;
        return fs::path(out).filename().string();
    }

    std::string TexturePath(const aiString& file, const std::string& material)
    {
        std::string name = file.C_Str();
        if (const aiTexture* tex = ai->GetEmbeddedTexture(name.c_str())) {
            // Embedded textures go next to the output file, where the engine finds them.
            std::string ext = tex->mHeight == 0 && tex->achFormatHint[0] ? std::string(tex->achFormatHint) : "tga";
            std::string out = options.embeddedTextureBase + "_tex" + std::to_string(textureCount++) + "." + ext;
            std::string bytes;
            if (tex->mHeight == 0) {
                bytes.assign(reinterpret_cast<const char*>(tex->pcData), tex->mWidth);
            } else {
                // An uncompressed 32-bit TGA, bottom row first.
                unsigned char head[18] = {0, 0, 2};
                head[12] = BYTE(tex->mWidth), head[13] = BYTE(tex->mWidth >> 8);
                head[14] = BYTE(tex->mHeight), head[15] = BYTE(tex->mHeight >> 8);
                head[16] = 32, head[17] = 8;
                bytes.assign(reinterpret_cast<const char*>(head), sizeof(head));
                for (unsigned row = tex->mHeight; row-- > 0;)
                    for (unsigned col = 0; col < tex->mWidth; col++) {
                        const aiTexel& t = tex->pcData[size_t(row) * tex->mWidth + col];
                        bytes += char(t.b), bytes += char(t.g), bytes += char(t.r), bytes += char(t.a);
                    }
            }
            b.AddExtraFile(out, std::move(bytes));
            return EmbeddedReference(out);
        }
        const fs::path modelDir = fs::absolute(path, ec).parent_path();
        if (std::optional<fs::path> found = FindTexture(name, modelDir))
            return found->string();
        // Written as the file names it (relative names from the model's folder), and told.
        missingTextures.push_back("material \"" + material + "\": " + name);
        // A path of another machine ("C:\\maps\\a.tga") stays as it is.
        const bool drive = name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
        fs::path p(name);
        if (p.is_relative() && !drive)
            p = (modelDir / p).lexically_normal();
        return p.string();
    }

    void Materials()
    {
        for (unsigned k = 0; k < ai->mNumMaterials; k++) {
            const aiMaterial* am = ai->mMaterials[k];
            MaterialSettings m;
            aiString name;
            m.name = am->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && name.length ? name.C_Str()
                                                                                : "Material #" + std::to_string(k + 1);
            aiColor3D diffuse(0.5f, 0.5f, 0.5f);
            am->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
            m.diffuse = Color(diffuse.r, diffuse.g, diffuse.b);
            float opacity = 1.0f;
            if (am->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && std::isfinite(opacity))
                m.transparency = std::clamp(1.0f - opacity, 0.0f, 1.0f);
            int twoSided = 0;
            am->Get(AI_MATKEY_TWOSIDED, twoSided);
            m.twoSided = twoSided != 0;
            aiString file;
            // A texture of no name is none.
            if ((am->GetTexture(aiTextureType_DIFFUSE, 0, &file) == AI_SUCCESS ||
                 am->GetTexture(aiTextureType_BASE_COLOR, 0, &file) == AI_SUCCESS) &&
                file.length > 0) {
                std::string texture = TexturePath(file, m.name);
                m.diffuseMap = b.AddBitmapTex(fs::path(texture).filename().string(), texture);
            }
            materials.push_back(Checked("material \"" + m.name + "\"", [&] { return b.AddMaterial(m); }));
        }
    }

    Mtl* NodeMaterial(const std::vector<unsigned>& meshes)
    {
        if (meshes.size() == 1)
            return MeshMaterial(meshes[0]);
        std::vector<unsigned> ids;
        ids.reserve(meshes.size());
        for (unsigned m : meshes)
            ids.push_back(ai->mMeshes[m]->mMaterialIndex);
        Mtl*& multi = multiMaterials[ids];
        if (!multi) {
            MaterialSettings m;
            m.kind = SceneMtl::Kind::Multi;
            m.name = "Multimaterial #" + std::to_string(multiMaterials.size());
            SceneMtl* mtl = b.AddMaterial(m);
            std::vector<Mtl*> subs;
            subs.reserve(meshes.size());
            for (unsigned m2 : meshes)
                subs.push_back(MeshMaterial(m2));
            b.SetSubMaterials(mtl, std::move(subs));
            multi = mtl;
        }
        return multi;
    }

    Mtl* MeshMaterial(unsigned mesh)
    {
        unsigned id = ai->mMeshes[mesh]->mMaterialIndex;
        return id < materials.size() ? materials[id] : nullptr;
    }

    // ---- meshes ----

    // The meshes of a node that hold polygons.
    std::vector<unsigned> PolygonMeshes(const aiNode* n) const
    {
        std::vector<unsigned> meshes;
        for (unsigned k = 0; k < n->mNumMeshes; k++) {
            unsigned m = n->mMeshes[k];
            if (m < ai->mNumMeshes &&
                (ai->mMeshes[m]->mPrimitiveTypes & (aiPrimitiveType_TRIANGLE | aiPrimitiveType_POLYGON)))
                meshes.push_back(m);
        }
        return meshes;
    }

    // The object of a node of these meshes with this offset. Instances share their
    // object as long as their offsets agree: the shared block of an object is
    // written in the frame of its first node, so an instance of another size gets
    // an object of its own. An offset that mirrors the object has its faces' corner
    // order reversed, so that they still face outward once mirrored.
    Object* MeshObject(const std::vector<unsigned>& meshes, const Matrix3& offset)
    {
        auto& group = meshObjects[meshes];
        float size = 0;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                size = std::max(size, std::fabs(offset[i][j]));
        for (const auto& [other, object] : group)
            if (offset.Equals(other, size * 1e-5f))
                return object;
        const bool reversed = (offset.Determinant() < 0) != (axes.Determinant() < 0);
        Object* obj = NewMeshObject(meshes, reversed);
        group.emplace_back(offset, obj);
        return obj;
    }

    // A mesh gathered from some of the file's meshes, before it is handed to the builder.
    struct GatheredMesh {
        Mesh mesh; // its positions, faces and channel 1
        std::vector<UVVert> map2Verts;
        std::vector<TVFace> map2Faces;
        bool uv1 = false, uv2 = false;
    };

    // The texture vertices of one of the file's meshes in one channel, appended to verts:
    // the index of its first, or -k-1 when the mesh lacks the channel and its corners all
    // take the one vertex k added for them.
    static int AddChannel(const aiMesh* am, int channel, bool used, std::vector<UVVert>& verts)
    {
        int base = int(verts.size());
        if (!used)
            return base;
        if (!am->HasTextureCoords(unsigned(channel))) {
            verts.push_back(UVVert(0, 0, 0)); // one shared corner for a mesh without this channel
            return -base - 1;
        }
        for (unsigned v = 0; v < am->mNumVertices; v++)
            verts.push_back(HostPoint(am->mTextureCoords[channel][v]));
        return base;
    }

    // Appends the triangles of one of the file's meshes, whose corners are the host
    // vertices vertexOf names; t1 and t2 as AddChannel gave them. A face is a fan from
    // its first corner, the inner diagonals hidden edges; `reversed` turns each
    // triangle over (an offset that mirrors).
    void AddTriangles(const aiMesh* am, const std::string& meshName, const std::vector<int>& vertexOf, int t1, int t2,
                      WORD matId, bool reversed, GatheredMesh& g) const
    {
        auto corner = [](int base, unsigned index) { return DWORD(base < 0 ? -base - 1 : base + int(index)); };
        for (unsigned f = 0; f < am->mNumFaces; f++) {
            const aiFace& face = am->mFaces[f];
            if (face.mNumIndices < 3)
                continue;
            for (unsigned k = 0; k < face.mNumIndices; k++)
                if (face.mIndices[k] >= am->mNumVertices)
                    Fail("mesh \"" + meshName + "\": face " + std::to_string(f) + " refers to vertex " +
                         std::to_string(face.mIndices[k]) + " of " + std::to_string(am->mNumVertices));
            const unsigned n = face.mNumIndices;
            for (unsigned k = 1; k + 1 < n; k++) {
                unsigned c0 = face.mIndices[0], c1 = face.mIndices[k], c2 = face.mIndices[k + 1];
                Face hf;
                hf.setVerts(vertexOf[c0], vertexOf[c1], vertexOf[c2]);
                hf.setEdgeVisFlags(k == 1, TRUE, k + 2 == n);
                if (reversed) {
                    // c0, c2, c1: the edges c2-c0, c1-c2 and c0-c1 in that order.
                    std::swap(c1, c2);
                    hf.setVerts(vertexOf[c0], vertexOf[c1], vertexOf[c2]);
                    hf.setEdgeVisFlags(k + 2 == n, TRUE, k == 1);
                }
                hf.setMatID(matId);
                hf.smGroup = 1;
                g.mesh.faces.push_back(hf);
                if (g.uv1)
                    g.mesh.tvFace.push_back(TVFace(corner(t1, c0), corner(t1, c1), corner(t1, c2)));
                if (g.uv2)
                    g.map2Faces.push_back(TVFace(corner(t2, c0), corner(t2, c1), corner(t2, c2)));
            }
        }
    }

    // Hands a gathered mesh to the builder: its arrays moved, not copied.
    SceneMeshObject* BuildMesh(GatheredMesh& g)
    {
        SceneMeshObject* tri = b.AddMesh();
        b.AddVerts(tri, std::move(g.mesh.verts));
        b.AddFaces(tri, std::move(g.mesh.faces));
        if (g.uv1) {
            b.AddMapVerts(tri, 1, std::move(g.mesh.tVerts));
            b.AddMapFaces(tri, 1, std::move(g.mesh.tvFace));
        }
        if (g.uv2) {
            b.AddMapVerts(tri, 2, std::move(g.map2Verts));
            b.AddMapFaces(tri, 2, std::move(g.map2Faces));
        }
        b.EndMesh(tri);
        return tri;
    }

    Object* NewMeshObject(const std::vector<unsigned>& meshes, bool reversed)
    {
        GatheredMesh g;
        for (unsigned m : meshes) {
            g.uv1 = g.uv1 || ai->mMeshes[m]->HasTextureCoords(0);
            g.uv2 = g.uv2 || ai->mMeshes[m]->HasTextureCoords(1);
        }
        // Corners at the same position are one host vertex; texture vertices stay apart.
        size_t corners = 0, triangles = 0;
        for (unsigned m : meshes) {
            const aiMesh* am = ai->mMeshes[m];
            corners += am->mNumVertices;
            for (unsigned f = 0; f < am->mNumFaces; f++)
                triangles += am->mFaces[f].mNumIndices >= 3 ? am->mFaces[f].mNumIndices - 2 : 0;
        }
        PositionIndex positions(g.mesh.verts, corners);
        g.mesh.faces.reserve(triangles);
        if (g.uv1) {
            g.mesh.tVerts.reserve(corners + meshes.size());
            g.mesh.tvFace.reserve(triangles);
        }
        for (size_t sub = 0; sub < meshes.size(); sub++) {
            const aiMesh* am = ai->mMeshes[meshes[sub]];
            std::string meshName = am->mName.length ? am->mName.C_Str() : "#" + std::to_string(meshes[sub]);
            std::vector<int> vertexOf(am->mNumVertices);
            for (unsigned v = 0; v < am->mNumVertices; v++)
                vertexOf[v] = positions.Add(HostPoint(am->mVertices[v]) * axes);
            int t1 = AddChannel(am, 0, g.uv1, g.mesh.tVerts);
            int t2 = AddChannel(am, 1, g.uv2, g.map2Verts);
            AddTriangles(am, meshName, vertexOf, t1, t2, WORD(meshes.size() > 1 ? sub : 0), reversed, g);
        }
        const aiString& first = ai->mMeshes[meshes[0]]->mName;
        return Checked("mesh \"" + (first.length ? first.C_Str() : "#" + std::to_string(meshes[0])) + "\"",
                       [&] { return BuildMesh(g); });
    }

    // ---- nodes ----

    Object* Dummy()
    {
        if (!dummy)
            dummy = b.AddObject(PlainObject::Dummy);
        return dummy;
    }

    Object* CameraObject(const aiCamera* c)
    {
        CameraSettings cam;
        if (c->mOrthographicWidth > 0)
            approximated.push_back("orthographic camera \"" + std::string(c->mName.C_Str()) +
                                   "\" (as a perspective one)");
        // Assimp gives half the horizontal angle; the host the whole of it. Its glTF
        // reader gives the vertical angle times the aspect ratio instead.
        float fov = 2.0f * c->mHorizontalFOV;
        if (gltf && c->mAspect > 0)
            fov = float(2.0 * std::atan(std::tan(c->mHorizontalFOV / c->mAspect * 0.5) * c->mAspect));
        if (std::isfinite(fov) && fov > 0)
            cam.fov = FloatTrack(fov);
        cam.manualClip = true;
        cam.nearClip = FloatTrack(c->mClipPlaneNear * unit);
        cam.farClip = FloatTrack(c->mClipPlaneFar * unit);
        cam.envFar = FloatTrack(c->mClipPlaneFar * unit);
        return Checked("camera \"" + std::string(c->mName.C_Str()) + "\"", [&] { return b.AddCamera(cam); });
    }

    Object* LightObject(const aiLight* l)
    {
        LightSettings light;
        switch (l->mType) {
        case aiLightSource_SPOT:
            light.type = FSPOT_LIGHT;
            if (std::isfinite(l->mAngleOuterCone) && l->mAngleOuterCone > 0 &&
                l->mAngleOuterCone < float(AI_MATH_TWO_PI))
                light.falloffDeg = FloatTrack(float(l->mAngleOuterCone * 180.0 / AI_MATH_PI));
            break;
        case aiLightSource_DIRECTIONAL:
            // The host's own kind, which the exporter does not write.
            light.type = DIR_LIGHT;
            unwritten.push_back("directional light \"" + std::string(l->mName.C_Str()) + "\"");
            break;
        case aiLightSource_POINT:
            light.type = OMNI_LIGHT;
            break;
        default: // area lights and lights of no kind: a point of light where they are
            light.type = OMNI_LIGHT;
            approximated.push_back(std::string(l->mType == aiLightSource_AREA ? "area light" : "light of no kind") +
                                   " \"" + l->mName.C_Str() + "\" (as an omni light)");
            break;
        }
        // The host keeps the colour in 0..1 and the strength as a multiplier.
        Point3 c(l->mColorDiffuse.r, l->mColorDiffuse.g, l->mColorDiffuse.b);
        float strength = std::max({c.x, c.y, c.z});
        if (std::isfinite(strength) && strength > 1.0f) {
            light.intensity = FloatTrack(strength);
            c = c / strength;
        }
        light.color = ColorTrack(c);
        // Far end: where 1 / (constant + linear d + quadratic d^2) falls to a hundredth.
        double k0 = l->mAttenuationConstant, k1 = l->mAttenuationLinear, k2 = l->mAttenuationQuadratic;
        double end = 0;
        if (k2 > 0)
            end = (-k1 + std::sqrt(k1 * k1 + 4 * k2 * (100 - k0))) / (2 * k2);
        else if (k1 > 0)
            end = (100 - k0) / k1;
        if (std::isfinite(end) && end > 0) {
            light.decay = k2 > 0 ? DECAY_INVSQ : DECAY_INV;
            light.useAtten = true;
            light.attenEnd = FloatTrack(float(end) * unit);
        }
        return Checked("light \"" + std::string(l->mName.C_Str()) + "\"", [&] { return b.AddLight(light); });
    }

    // A node under parent (null: the root).
    SceneNode* NewNode(SceneNode* parent, const std::string& name)
    {
        return Checked("node \"" + name + "\"", [&] { return b.AddNode(parent, name); });
    }

    // The frame of the camera or light a node holds, relative to the node, in the
    // file's axes; identity for other nodes. Sets `special` to its object.
    Matrix3 SpecialFrame(const std::string& name, Object*& special)
    {
        auto cam = cameras.find(name);
        auto light = lights.find(name);
        Matrix3 frame;
        if (cam != cameras.end()) {
            const aiCamera* c = cam->second;
            special = CameraObject(c);
            // A glTF camera sits at its node's origin; Assimp repeats the node's
            // translation as the camera's position.
            Point3 position = gltf ? Point3() : HostPoint(c->mPosition);
            frame = AimFrame(position, HostPoint(c->mLookAt), HostPoint(c->mUp));
        } else if (light != lights.end() && light->second->mType == aiLightSource_AMBIENT) {
            // The host holds ambient light as the scene's ambient colour.
            const aiLight* l = light->second;
            const aiColor3D& c = l->mColorAmbient.IsBlack() ? l->mColorDiffuse : l->mColorAmbient;
            ambient = ambient + Point3(c.r, c.g, c.b);
            if (IsFinite(ambient))
                b.SetAmbient(ColorTrack(ambient));
        } else if (light != lights.end()) {
            const aiLight* l = light->second;
            special = LightObject(l);
            Point3 dir = HostPoint(l->mDirection);
            if (DotProd(dir, dir) == 0.0f || !IsFinite(dir))
                dir = Point3(0, 0, -1);
            frame = AimFrame(HostPoint(l->mPosition), dir, HostPoint(l->mUp));
        }
        return IsFinite(frame) ? frame : Matrix3();
    }

    // A node under parent (null: the root). `after` is the root's transform for a
    // top-level node below it; parentWorld the host world of the file's parent.
    void AddNode(const aiNode* an, SceneNode* parent, const Matrix3& after, const Matrix3& parentWorld)
    {
        std::string name = an->mName.C_Str();
        SceneNode* n = NewNode(parent, name);
        nodesByName.emplace(name, n);
        Matrix3 local = HostMatrix(an->mTransformation);
        if (!IsFinite(local))
            Fail("node \"" + name + "\": its transform is not finite");
        // The whole transform of the file, in the host's axes: the node keeps its
        // rigid part, its object the rest (its offset).
        const Matrix3 world = axesInverse * local * after * axes * parentWorld;
        const Matrix3 parentOffset = OffsetOf(parentWorld);
        transforms.push_back({n, local, after, parentOffset, world, Matrix3()});

        std::vector<unsigned> meshes = PolygonMeshes(an);
        Object* special = nullptr;
        // Cameras and lights look down their local -Z in the host's axes as in the
        // file's: their own frame takes the change of axes (and unit) once more.
        Matrix3 frame = SpecialFrame(name, special) * axes;
        if (special && (!meshes.empty() || (an->mNumChildren > 0 && !IsIdentity(frame)))) {
            // The camera or light keeps its own frame in a node of its own below.
            SceneNode* holder = NewNode(n, name);
            b.SetObject(holder, special);
            transforms.push_back({holder, Matrix3(), Matrix3(), Matrix3(), frame * world, Matrix3()});
            special = nullptr;
        }
        if (special) {
            b.SetObject(n, special);
            transforms.back().frame = frame;
        } else if (!meshes.empty()) {
            const Matrix3 offset = OffsetOf(world);
            b.SetObject(n, MeshObject(meshes, offset));
            b.SetMaterial(n, NodeMaterial(meshes));
            b.SetObjectOffset(n, offset);
        } else {
            b.SetObject(n, Dummy());
        }
        for (unsigned c = 0; c < an->mNumChildren; c++)
            AddNode(an->mChildren[c], n, Matrix3(), world);
    }

    // The part of a transform that is not rotation or translation (scale, shear,
    // mirroring), and the rigid rest: transform = offset * rigid.
    static Matrix3 OffsetOf(const Matrix3& tm) { return MakeTransformParts(tm, true).stretch; }
    static Matrix3 RigidOf(const Matrix3& tm)
    {
        TransformParts parts = MakeTransformParts(tm, true);
        // A transform that is rigid already is kept as it is, not rebuilt from its
        // rotation with a float's rounding.
        if (parts.stretch.Equals(Matrix3(), 1e-6f))
            return tm;
        Matrix3 r;
        parts.rotation.MakeMatrix(r);
        r.SetTrans(parts.translation);
        return r;
    }

    // ---- animation ----

    TimeValue Ticks(double time, double perSecond) const
    {
        double t = std::round(time / perSecond * TicksPerSecond);
        return TimeValue(std::clamp(t, -2147483647.0, 2147483647.0));
    }

    void Animation()
    {
        if (ai->mNumAnimations == 0)
            return;
        const aiAnimation* anim = ai->mAnimations[0];
        double perSecond = anim->mTicksPerSecond > 0 ? anim->mTicksPerSecond : 25.0;
        TimeValue end = Ticks(anim->mDuration, perSecond);
        if (end > 0)
            b.SetAnimRange(0, end);
        for (unsigned c = 0; c < anim->mNumChannels; c++) {
            const aiNodeAnim* ch = anim->mChannels[c];
            auto found = nodesByName.find(ch->mNodeName.C_Str());
            if (found == nodesByName.end())
                continue;
            SceneNode* n = found->second;
            Checked("animation of \"" + n->name + "\"", [&] { Channel(*ch, n, perSecond); });
        }
    }

    // Keys closer than a tick to the previous one are dropped.
    void Channel(const aiNodeAnim& ch, SceneNode* n, double perSecond)
    {
        if (ch.mNumPositionKeys > 0) {
            KeyframeControl* ctl = b.SetController(n, false, KeyClass::Linear);
            for (unsigned k = 0; k < ch.mNumPositionKeys; k++) {
                TimeValue t = Ticks(ch.mPositionKeys[k].mTime, perSecond);
                if (ctl->times.empty() || t > ctl->times.back())
                    b.AddPositionKey(ctl, t, HostPoint(ch.mPositionKeys[k].mValue));
            }
        }
        if (ch.mNumRotationKeys > 0) {
            KeyframeControl* ctl = b.SetController(n, true, KeyClass::Linear);
            for (unsigned k = 0; k < ch.mNumRotationKeys; k++) {
                TimeValue t = Ticks(ch.mRotationKeys[k].mTime, perSecond);
                Quat q = HostQuat(ch.mRotationKeys[k].mValue);
                q.Normalize();
                if (ctl->times.empty() || t > ctl->times.back())
                    b.AddRotationKey(ctl, t, q);
            }
        }
    }

    // Nodes get their transforms once their controllers are known: each node's
    // rigid world transform relative to its host parent's; an animated node keeps
    // it in parts that the keys replace. Parents come before their children.
    void FinishTransforms()
    {
        for (const Pending& p : transforms) {
            SceneNode* n = p.node;
            const bool animated = n->Animated();
            if (animated && !IsIdentity(p.frame)) {
                // Keys move the node; its camera or light keeps its frame below it.
                SceneNode* holder = NewNode(n, n->name);
                b.SetObject(holder, n->object);
                b.SetTransform(holder, RigidOf(p.frame * p.world) * Inverse(RigidOf(p.world)));
                b.SetObject(n, Dummy());
            }
            const Matrix3 rigid = RigidOf(animated ? p.world : p.frame * p.world);
            rigidWorld[n] = rigid;
            auto parent = rigidWorld.find(n->parent);
            const Matrix3 local = rigid * Inverse(parent == rigidWorld.end() ? Matrix3() : parent->second);
            if (!animated) {
                b.SetTransform(n, local);
                continue;
            }
            TransformParts t = MakeTransformParts(local, true);
            t.stretch = Matrix3();
            ConvertKeys(*n, p);
            b.SetTransform(n, t);
        }
    }

    // An animated node's keys, relative to its file parent in the file's axes, made
    // relative to its host parent: the parent's offset and the root's transform
    // move the positions, and each rotation is the rigid part of what the file's
    // rotation becomes. Exact for uniform scales; a node under a non-uniform scale
    // keeps the offset of its pose in the file.
    void ConvertKeys(SceneNode& n, const Pending& p) const
    {
        const Matrix3 toHost = p.after * axes * p.parentOffset;
        if (KeyframeControl* pos = n.tmControl.position.get())
            for (Point3& v : pos->positions)
                v = v * toHost;
        KeyframeControl* rot = n.tmControl.rotation.get();
        if (!rot)
            return;
        const Matrix3 stretch = MakeTransformParts(p.local, true).stretch;
        Matrix3 linear = toHost;
        linear.NoTrans();
        for (Quat& q : rot->absolute) {
            Matrix3 r;
            q.MakeMatrix(r);
            AffineParts parts;
            decomp_affine(axesInverse * stretch * r * linear, &parts);
            q = parts.q;
        }
    }
};

} // namespace

namespace {

// Assimp's readers and checks recurse once per level of a node hierarchy, close
// to a kilobyte a level: a file some ten thousand levels deep would overflow the
// main thread's stack inside Assimp, before the depth limit could refuse it. The
// import runs on a thread whose stack holds a few hundred thousand levels; the
// memory is only reserved, pages are used as the recursion reaches them.
constexpr size_t kImportStackBytes = size_t(512) << 20;

struct Import {
    const std::string& path;
    const ImportOptions& options;
    std::unique_ptr<Scene> scene;
    std::exception_ptr error;
};

void* RunImport(void* arg)
{
    auto* job = static_cast<Import*>(arg);
    try {
        job->scene = ModelLoader(job->path, job->options).Load();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

} // namespace

std::unique_ptr<Scene> LoadModelFile(const std::string& path, const ImportOptions& options)
{
    if (options.beforeModelImport)
        options.beforeModelImport();
    Import job{path, options, nullptr, nullptr};
    pthread_attr_t attr;
    pthread_t thread;
    bool started = pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, kImportStackBytes) == 0 &&
                   pthread_create(&thread, &attr, RunImport, &job) == 0;
    pthread_attr_destroy(&attr);
    if (!started)
        RunImport(&job); // no room for the thread: the main stack must do
    else
        pthread_join(thread, nullptr);
    if (job.error)
        std::rethrow_exception(job.error);
    return std::move(job.scene);
}

bool IsModelExtension(const std::string& path)
{
    static const Assimp::Importer importer; // its readers' list is made once
    const std::string ext = fs::path(path).extension().string();
    return ext.size() > 1 && importer.IsExtensionSupported(ext);
}

std::vector<std::string> ModelFormats()
{
    std::vector<std::string> formats;
    Assimp::Importer importer;
    for (size_t k = 0; k < importer.GetImporterCount(); k++) {
        const aiImporterDesc* desc = importer.GetImporterInfo(k);
        if (!desc)
            continue;
        std::string extensions;
        for (const char* p = desc->mFileExtensions; *p;) {
            size_t n = std::strcspn(p, " ");
            extensions += (extensions.empty() ? "*." : ";*.") + std::string(p, n);
            p += n + (p[n] == ' ');
        }
        formats.push_back(std::string(desc->mName) + " (" + extensions + ")");
    }
    return formats;
}

} // namespace vek

// Mesh arrays read straight from the on-demand parser into the scene.
#include "MeshStream.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

namespace vek {

namespace {

namespace od = simdjson::ondemand;

// Elements handed to the builder at a time.
constexpr size_t BLOCK = 4096;

// An integer written as one (not 2.0, which the strict reader takes) from lo to hi.
int64_t Integer(od::value v, int64_t lo, int64_t hi)
{
    int64_t i = Take(v.get_int64());
    if (i < lo || i > hi)
        throw NotStreamed{};
    return i;
}

// [x, y, z], each finite as a float.
Point3 Vec3(od::value v)
{
    float c[3];
    size_t n = 0;
    for (auto x : Take(v.get_array())) {
        if (n == 3)
            throw NotStreamed{};
        c[n] = float(Take(Take(x).get_double()));
        if (!std::isfinite(c[n]))
            throw NotStreamed{};
        n++;
    }
    if (n != 3)
        throw NotStreamed{};
    return Point3(c[0], c[1], c[2]);
}

// [a, b, c] of vertex indices.
void Corners(od::value v, DWORD out[3])
{
    size_t n = 0;
    for (auto x : Take(v.get_array())) {
        if (n == 3)
            throw NotStreamed{};
        out[n++] = DWORD(Integer(Take(x), 0, std::numeric_limits<int>::max()));
    }
    if (n != 3)
        throw NotStreamed{};
}

// [a, b, c] or {"v": [a, b, c], "edges": 7, "mtl": 0, "smooth": 0}.
Face ReadFace(od::value v)
{
    Face face;
    face.flags = EDGE_ALL;
    if (Take(v.type()) == od::json_type::array) {
        Corners(v, face.v);
        return face;
    }
    int64_t edges = EDGE_ALL, mtl = 0, smooth = 0;
    unsigned seen = 0;
    for (auto field : Take(v.get_object())) {
        od::field f = Take(std::move(field));
        // The key as written, without unescaping it for every face; a key written
        // with escapes matches none and is left to the strict reader.
        const od::raw_json_string key = f.key();
        static constexpr std::string_view KEYS[] = {"v", "edges", "mtl", "smooth"};
        static_assert(std::size(KEYS) == 4);
        unsigned k = 0;
        while (k < 4 && !(key == KEYS[k]))
            k++;
        if (k == 4 || (seen & (1u << k)))
            throw NotStreamed{};
        seen |= 1u << k;
        if (k == 0)
            Corners(f.value(), face.v);
        else if (k == 1)
            edges = Integer(f.value(), 0, EDGE_ALL);
        else if (k == 2)
            mtl = Integer(f.value(), 0, 0xffff);
        else
            smooth = Integer(f.value(), 0, 0xffffffffLL);
    }
    if (!(seen & 1u))
        throw NotStreamed{};
    face.flags = DWORD(edges);
    face.setMatID(WORD(mtl));
    face.smGroup = DWORD(smooth);
    return face;
}

// Reads the elements of array a with read, handing them to add a block at a time;
// done hears where each block begins.
template <class T, class Read, class Add> void Elements(od::array& a, Read read, Add add, const TextRead& done)
{
    std::vector<T> block;
    block.reserve(BLOCK);
    for (auto e : a) {
        od::value v = Take(e);
        const char* at = nullptr;
        if (block.empty() && done && !v.current_location().get(at))
            done(at);
        block.push_back(read(v));
        if (block.size() == BLOCK) {
            add(block);
            block.clear();
        }
    }
    add(block);
}

TVFace ReadTVFace(od::value v)
{
    TVFace f;
    Corners(v, f.t);
    return f;
}

} // namespace

SceneMeshObject* StreamMesh(od::object& object, SceneBuilder& b, const TextRead& read)
{
    SceneMeshObject* mesh = b.AddMesh();
    Mesh& m = mesh->mesh;
    // Each array at most once, in the usual order, so that faces come after the
    // vertices they refer to.
    static constexpr std::string_view ORDER[] = {"verts", "faces", "tverts", "tvfaces"};
    static_assert(std::size(ORDER) == 4);
    int last = -1;
    bool textured = false, typed = false;
    for (auto field : object) {
        od::field f = Take(std::move(field));
        std::string_view key = Take(f.unescaped_key());
        if (key == "type") {
            // Already read by the caller; an untouched value is skipped.
            if (typed)
                throw NotStreamed{};
            typed = true;
            continue;
        }
        int k = 0;
        while (k < 4 && ORDER[k] != key)
            k++;
        if (k == 4 || k <= last)
            throw NotStreamed{};
        last = k;
        // The array is opened once: counting it rewinds it to its first element.
        // Reserving here does not bypass the builder: its checks run as elements arrive.
        od::array a = Take(f.value().get_array());
        const size_t n = Take(a.count_elements());
        if (k == 0) {
            m.verts.reserve(n);
            Elements<Point3>(
                a, Vec3, [&](const std::vector<Point3>& p) { b.AddVerts(mesh, p.data(), p.size()); }, read);
        } else if (k == 1) {
            m.faces.reserve(n);
            Elements<Face>(
                a, ReadFace, [&](const std::vector<Face>& p) { b.AddFaces(mesh, p.data(), p.size()); }, read);
        } else if (k == 2) {
            m.tVerts.reserve(n);
            textured = true;
            Elements<UVVert>(
                a, Vec3, [&](const std::vector<UVVert>& p) { b.AddMapVerts(mesh, 1, p.data(), p.size()); }, read);
        } else {
            m.tvFace.reserve(n);
            if (!textured)
                b.AddMapVerts(mesh, 1, nullptr, 0);
            Elements<TVFace>(
                a, ReadTVFace, [&](const std::vector<TVFace>& p) { b.AddMapFaces(mesh, 1, p.data(), p.size()); }, read);
        }
    }
    b.EndMesh(mesh);
    return mesh;
}

} // namespace vek

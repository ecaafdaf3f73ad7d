// The face lines of MeshWriter: triangles, four-vertex faces joined across a hidden
// edge, texture coordinates of map channels 1 and 2, and two-sided copies.
#include "writers/MeshWriter.h"

#include "writers/NumberFormat.h"
#include "writers/TextBuffer.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The first hidden edge (clear visibility bit, in the order 0-1, 1-2, 2-0), or -1.
inline int FirstHiddenEdge(DWORD flags)
{
    if (!(flags & EDGE_A))
        return 0;
    if (!(flags & EDGE_B))
        return 1;
    if (!(flags & EDGE_C))
        return 2;
    return -1;
}

inline bool HasExactlyOneHiddenEdge(DWORD flags)
{
    DWORD visible = flags & EDGE_ALL;
    return visible == (EDGE_A | EDGE_B) || visible == (EDGE_B | EDGE_C) || visible == (EDGE_A | EDGE_C);
}

// The two vertices of a face's first hidden edge, smaller first, so that both
// directions of an edge give the same key.
struct EdgeKey {
    DWORD a, b;
    bool operator==(const EdgeKey& o) const { return a == o.a && b == o.b; }
};

inline bool HiddenEdgeKey(const Face& f, EdgeKey& key)
{
    int e = FirstHiddenEdge(f.flags);
    if (e < 0)
        return false;
    DWORD p = f.v[e], q = f.v[(e + 1) % 3];
    key = p < q ? EdgeKey{p, q} : EdgeKey{q, p};
    return true;
}

// Free faces by their first hidden edge. Each edge holds its faces in index order;
// the front of that list only moves past faces that have been consumed, which never
// become free again, so finding the lowest free face of an edge costs O(1) amortised.
class HiddenEdgeIndex {
public:
    HiddenEdgeIndex(const std::vector<Face>& faces, const std::vector<unsigned char>& consumed, int from)
        : next(faces.size(), -1)
    {
        size_t count = 0;
        for (size_t f = size_t(from); f < faces.size(); f++)
            if (!consumed[f] && FirstHiddenEdge(faces[f].flags) >= 0)
                count++;
        size_t slots = 16;
        while (slots < 2 * count)
            slots *= 2;
        table.assign(slots, Slot{0, 0, EMPTY});
        mask = slots - 1;
        // From the last face down, so that every list ends up in index order.
        for (size_t f = faces.size(); f-- > size_t(from);) {
            EdgeKey key;
            if (consumed[f] || !HiddenEdgeKey(faces[f], key))
                continue;
            Slot& s = Find(key);
            if (s.head == EMPTY) {
                s.a = key.a;
                s.b = key.b;
            } else {
                next[f] = s.head;
            }
            s.head = int(f);
        }
    }

    // The lowest free face whose first hidden edge is key, or -1.
    int LowestFree(const EdgeKey& key, const std::vector<unsigned char>& consumed)
    {
        Slot& s = Find(key);
        if (s.head == EMPTY)
            return -1;
        while (s.head >= 0 && consumed[size_t(s.head)])
            s.head = next[size_t(s.head)];
        return s.head;
    }

private:
    static constexpr int EMPTY = INT_MIN;
    struct Slot {
        DWORD a, b;
        int head; // first face of the list, -1 once exhausted, EMPTY for an unused slot
    };

    Slot& Find(const EdgeKey& key)
    {
        uint64_t k = (uint64_t(key.a) << 32 | key.b) * 0x9E3779B97F4A7C15ull;
        size_t i = size_t(k >> 32) & mask;
        for (;; i = (i + 1) & mask) {
            Slot& s = table[i];
            if (s.head == EMPTY || (s.a == key.a && s.b == key.b))
                return s;
        }
    }

    std::vector<Slot> table;
    std::vector<int> next;
    size_t mask = 0;
};

// Longest "%d " text: a sign, ten digits and the blank.
constexpr size_t INT_TEXT_MAX = 12;

// The texts of 0 to 255, each followed by a blank, four characters a slot: most
// texture coordinates lie in the unit square.
struct ByteTexts {
    char text[256][4];
    unsigned char length[256];

    ByteTexts()
    {
        for (int k = 0; k < 256; k++) {
            char* end = std::to_chars(text[k], text[k] + 4, k).ptr;
            *end = ' ';
            length[k] = static_cast<unsigned char>(end + 1 - text[k]);
        }
    }
};
const ByteTexts BYTE_TEXTS;

// "%d " of v at p, for v of 256 and more or negative; returns the end.
char* PutWideInt(char* p, int v)
{
    if (unsigned(v) < 100000000)
        p = PutDigits(p, unsigned(v));
    else
        p = std::to_chars(p, p + INT_TEXT_MAX, v).ptr;
    *p = ' ';
    return p + 1;
}

// "%d " of v at p; returns the end. Inline for the texture coordinates, which are
// nearly all from 0 to 255.
inline char* PutInt(char* p, int v)
{
    if (unsigned(v) < 256) {
        std::memcpy(p, BYTE_TEXTS.text[v], 4);
        return p + BYTE_TEXTS.length[v];
    }
    return PutWideInt(p, v);
}

// A texture coordinate as the engine reads it: times 255, truncated toward zero.
inline int ScaledUV(float c) { return TruncateToInt(double(c) * 255.0); }

// One map channel as the face lines read it. A face or texture vertex the channel
// does not have (a damaged mesh) reads as (0, 0) rather than out of bounds.
struct Channel {
    const UVVert* verts = nullptr;
    const TVFace* faces = nullptr;
    size_t numVerts = 0, numFaces = 0;

    Channel() = default;
    Channel(const Mesh& mesh, int mp)
        : verts(mesh.mapVerts(mp)), faces(mesh.mapFaces(mp)), numVerts(size_t(mesh.getNumMapVerts(mp))),
          numFaces(size_t(mesh.getNumMapFaces(mp)))
    {
        if (!verts)
            numVerts = 0;
        if (!faces)
            numFaces = 0;
    }

    // Writes "u v " at p, returns the end: at most 2 * INT_TEXT_MAX characters.
    char* Put(char* p, size_t face, int corner) const
    {
        int u = 0, v = 0;
        if (face < numFaces) {
            size_t t = faces[face].t[corner];
            if (t < numVerts) {
                u = ScaledUV(verts[t].x);
                v = ScaledUV(verts[t].y);
            }
        }
        return PutInt(PutInt(p, u), v);
    }
};

struct Corner {
    size_t face;
    int corner;
};

// Longest face line: four corners of a vertex index and two texture channels of two
// numbers each, then the line end.
constexpr size_t FACE_LINE_MAX = size_t(4 * 5) * INT_TEXT_MAX + 1;

} // namespace

struct MeshWriter::FaceTexture {
    Channel map1, map2;
    bool hasMap2 = false;

    explicit FaceTexture(const Mesh& mesh) : map1(mesh, 1), hasMap2(mesh.mapSupport(2))
    {
        if (hasMap2)
            map2 = Channel(mesh, 2);
    }
};

BOOL MeshWriter::SharesHiddenEdge(Mesh& mesh, Face a, Face b)
{
    (void)mesh;
    EdgeKey ka, kb;
    if (!HiddenEdgeKey(a, ka) || !HiddenEdgeKey(b, kb))
        return FALSE;
    return ka == kb ? TRUE : FALSE;
}

int MeshWriter::WriteFaces(Mesh& mesh, BOOL twoSided, int id)
{
    if (!outFile)
        return ERROR_GEOMETRY;
    const BOOL textured = exportMaterials && mesh.getNumTVerts() > 0;
    const std::vector<Face>& faces = mesh.faces;
    const size_t numFaces = faces.size();
    std::vector<unsigned char> consumed(numFaces, 0);
    if (id != -1)
        for (size_t f = 0; f < numFaces; f++)
            consumed[f] = faces[f].getMatID() != id;

    // Every face before i is consumed when i is handled, so the partner of i is the
    // lowest free face after it with the same first hidden edge. It is nearly always
    // the next face; the index of all free faces is built the first time it is not.
    std::unique_ptr<HiddenEdgeIndex> index;
    std::unique_ptr<FaceTexture> texture;
    if (textured)
        texture = std::make_unique<FaceTexture>(mesh);
    TextBuffer out(outFile);
    for (size_t i = 0; i < numFaces; i++) {
        if (consumed[i])
            continue;
        consumed[i] = 1;
        int partner = -1;
        if (quadFaces && HasExactlyOneHiddenEdge(faces[i].flags)) {
            EdgeKey key{}, nextKey{};
            HiddenEdgeKey(faces[i], key);
            if (i + 1 < numFaces && !consumed[i + 1] && HiddenEdgeKey(faces[i + 1], nextKey) && nextKey == key) {
                partner = int(i + 1);
            } else {
                if (!index)
                    index = std::make_unique<HiddenEdgeIndex>(faces, consumed, int(i + 1));
                partner = index->LowestFree(key, consumed);
            }
            if (partner >= 0)
                consumed[size_t(partner)] = 1;
        }
        FormatFace(out, mesh, texture.get(), twoSided, int(i), partner);
    }
    return 0;
}

int MeshWriter::WriteFace(Mesh& mesh, BOOL textured, BOOL twoSided, int face, int partner)
{
    if (!outFile)
        return ERROR_GEOMETRY;
    std::unique_ptr<FaceTexture> texture;
    if (textured)
        texture = std::make_unique<FaceTexture>(mesh);
    TextBuffer out(outFile);
    FormatFace(out, mesh, texture.get(), twoSided, face, partner);
    return 0;
}

void MeshWriter::FormatFace(TextBuffer& out, const Mesh& mesh, const FaceTexture* texture, BOOL twoSided, int face,
                            int partner)
{
    if (face < 0 || size_t(face) >= mesh.faces.size())
        return;
    const Face& f = mesh.faces[size_t(face)];
    Corner seq[4];
    int n = 3;
    for (int c = 0; c < 3; c++)
        seq[c] = Corner{size_t(face), c};
    if (partner >= 0 && size_t(partner) < mesh.faces.size()) {
        int hidden = FirstHiddenEdge(f.flags);
        int partnerHidden = FirstHiddenEdge(mesh.faces[size_t(partner)].flags);
        if (hidden < 0 || partnerHidden < 0)
            return;
        // The partner's corner opposite its hidden edge goes into this face's hidden edge.
        Corner x{size_t(partner), (partnerHidden + 2) % 3};
        for (int c = 2; c > hidden; c--)
            seq[c + 1] = seq[c];
        seq[hidden + 1] = x;
        n = 4;
    }

    // Map channel 2 goes with every triangle, but with four-vertex faces only
    // outside the legacy format.
    const bool second = texture && texture->hasMap2 && (n == 3 || !legacyFormat);
    const long long indent = static_cast<long long>(indentSize) * (depth + 1);
    for (int copy = 0; copy < (twoSided ? 2 : 1); copy++) {
        out.Spaces(indent);
        char* const start = out.Reserve(FACE_LINE_MAX);
        char* p = start;
        for (int s = 0; s < n; s++) {
            const Corner& c = seq[copy ? n - 1 - s : s];
            p = PutInt(p, MergedVertexIndex(int(mesh.faces[c.face].v[c.corner])));
            if (texture) {
                p = texture->map1.Put(p, c.face, c.corner);
                if (second)
                    p = texture->map2.Put(p, c.face, c.corner);
            }
        }
        // The last index of an untextured face has no blank after it.
        if (!texture)
            p--;
        *p++ = '\n';
        out.Advance(size_t(p - start));
    }
}

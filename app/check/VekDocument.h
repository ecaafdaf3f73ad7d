// What a Vek file and its ".box" file hold, as the checker reads them: the blocks'
// hierarchy, transforms, vertices, faces, material colours and collision planes.
//
// Numbers are kept as the file writes them: coordinates in the file's order (x, then
// the scene's z, then its y), transforms as their seven numbers. Placing them in the
// scene is the reader's business. The model is only meaningful for a file the checker
// finds clean; a damaged file gives a model with gaps, never an unsafe one (every face
// index lies within the vertices the face can use, see VekFace).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vek {

using VekVector = std::array<float, 3>;

struct VekFace {
    // Vertex indices, the fourth -1 for a triangle. An index at or beyond the mesh's
    // vertex count names vertex (index - count) of the enclosing mesh block: a vertex
    // merged with the parent's.
    std::array<int32_t, 4> corners{-1, -1, -1, -1};
    int32_t material = -1; // in VekDocument::materials; -1 without a material block
    // Where the face's texture coordinates begin in VekMesh::uvs: u and v of each
    // corner in turn (of the first mapping channel), as the file writes them, the
    // coordinate times 255. -1 for a face written without them, or whose material has
    // no texture.
    int32_t uv = -1;
};

struct VekMesh {
    std::string name; // "TOPO_..." for a topology block, the node's name otherwise
    std::vector<VekVector> vertices;
    std::vector<VekFace> faces;
    std::vector<int32_t> uvs;
};

struct VekMaterial {
    std::string name;
    uint32_t color = 0;  // 0xrrggbb, from the "color" line
    std::string texture; // the path of the "texture" line as written, "" for none
};

struct VekNode {
    enum class Kind { Shell, Mesh, Light, Camera };
    Kind kind = Kind::Shell;
    std::string name;
    int parent = -1; // in VekDocument::nodes; -1 for a block at the top
    // Position x, z, y relative to the parent's; angles about z, x and (65535 minus
    // the angle) about y in 65534ths of a turn; the scale, always 100.
    std::array<float, 7> transform{};
    int mesh = -1;                  // own body or shared topology block, in VekDocument::meshes
    float focal = 0, halfWidth = 0; // cameras: the projection line's first and third numbers
};

// A collision box: six planes a·x + b·y + c·z + d >= 0 inside, in the file's
// coordinate order, scene units.
struct VekBox {
    int id = 0;
    std::array<std::array<float, 4>, 6> planes{};
};

struct VekDocument {
    std::vector<VekMaterial> materials;
    std::vector<VekMesh> meshes;
    std::vector<VekNode> nodes; // parents before their children
    std::vector<VekBox> boxes;
};

} // namespace vek

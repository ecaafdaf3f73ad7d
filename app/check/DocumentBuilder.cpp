#include "check/DocumentBuilder.h"

#include "check/Fields.h"

#include <cstdint>

namespace vek {

void DocumentBuilder::BlockOpened(const BlockEvent& e)
{
    Open block{e.kind, -1};
    if (Is(block, BlockKind::Role::Material)) {
        block.model = static_cast<int>(doc.materials.size());
        doc.materials.push_back({std::string(e.name), 0, {}});
        materials.emplace(e.name, block.model);
    } else if (Is(block, BlockKind::Role::Topology)) {
        block.model = static_cast<int>(doc.meshes.size());
        doc.meshes.push_back({std::string(e.name), {}, {}, {}});
    } else if (Is(block, BlockKind::Role::Node)) {
        // Under the nearest enclosing node.
        VekNode node;
        node.kind = e.kind->node;
        node.name = e.name;
        for (auto it = stack.rbegin(); it != stack.rend() && node.parent < 0; ++it)
            if (Is(*it, BlockKind::Role::Node))
                node.parent = it->model;
        block.model = static_cast<int>(doc.nodes.size());
        doc.nodes.push_back(std::move(node));
    }
    stack.push_back(block);
}

void DocumentBuilder::BlockClosed(const BlockEvent& e)
{
    if (stack.empty())
        return;
    if (Is(stack.back(), BlockKind::Role::Topology))
        topologies[std::string(e.name)] = stack.back().model;
    stack.pop_back();
}

VekNode* DocumentBuilder::CurrentNode()
{
    return !stack.empty() && Is(stack.back(), BlockKind::Role::Node)
               ? &doc.nodes[static_cast<size_t>(stack.back().model)]
               : nullptr;
}

void DocumentBuilder::Transform(const std::array<float, 7>& numbers)
{
    if (VekNode* node = CurrentNode())
        node->transform = numbers;
}

void DocumentBuilder::Projection(float focal, float halfWidth)
{
    if (VekNode* node = CurrentNode()) {
        node->focal = focal;
        node->halfWidth = halfWidth;
    }
}

void DocumentBuilder::MaterialLine(std::string_view key, std::string_view value)
{
    if (stack.empty() || !Is(stack.back(), BlockKind::Role::Material))
        return;
    VekMaterial& material = doc.materials[static_cast<size_t>(stack.back().model)];
    if (key == "color")
        material.color = static_cast<uint32_t>(ToLong(value, 16));
    else if (key == "texture")
        material.texture = value;
}

void DocumentBuilder::TopologyReference(std::string_view name)
{
    const auto it = topologies.find(std::string(name));
    VekNode* node = CurrentNode();
    if (node && it != topologies.end())
        node->mesh = it->second;
}

// The vertices and faces the current block writes itself: a topology's mesh, or the
// mesh node's own, made when it first needs one.
VekMesh* DocumentBuilder::Body()
{
    if (stack.empty())
        return nullptr;
    if (Is(stack.back(), BlockKind::Role::Topology))
        return &doc.meshes[static_cast<size_t>(stack.back().model)];
    VekNode* node = CurrentNode();
    if (!node)
        return nullptr;
    if (node->mesh < 0) {
        node->mesh = static_cast<int>(doc.meshes.size());
        doc.meshes.push_back({node->name, {}, {}, {}});
    }
    return &doc.meshes[static_cast<size_t>(node->mesh)];
}

void DocumentBuilder::Vertex(const VekVector& v)
{
    if (VekMesh* mesh = Body())
        mesh->vertices.push_back(v);
}

void DocumentBuilder::FaceMaterial(long /*line*/, std::string_view name)
{
    if (stack.empty())
        return;
    const auto it = materials.find(std::string(name));
    stack.back().faceMaterial = it == materials.end() ? -1 : it->second;
}

// Where the next face's texture coordinates go; -1, for none, when its material has
// no texture to map with them (they are not kept), or once there are more than an
// index can name.
int32_t DocumentBuilder::UvStart(const VekMesh& mesh, int material) const
{
    const bool mapped = material >= 0 && !doc.materials[static_cast<size_t>(material)].texture.empty();
    return mapped && mesh.uvs.size() < INT32_MAX / 2 ? static_cast<int32_t>(mesh.uvs.size()) : -1;
}

void DocumentBuilder::Face(const FaceEvent& f)
{
    if (!f.usable)
        return;
    VekMesh* mesh = Body();
    if (!mesh)
        return;
    VekFace face;
    face.corners = f.corners;
    face.material = stack.back().faceMaterial;
    if (f.uvs && (face.uv = UvStart(*mesh, face.material)) >= 0) {
        std::array<int32_t, 8> uvs{};
        f.uvs->Read(uvs);
        mesh->uvs.insert(mesh->uvs.end(), uvs.begin(), uvs.begin() + (f.quad ? 8 : 6));
    }
    mesh->faces.push_back(face);
}

void DocumentBuilder::BoxPlane(size_t index, const std::array<float, 4>& plane)
{
    if (!doc.boxes.empty())
        doc.boxes.back().planes[index] = plane;
}

} // namespace vek

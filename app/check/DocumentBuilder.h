// The consumer that fills the document model (VekDocument.h) of a Vek file and its
// ".box" file, as a picture is drawn from it.
#pragma once

#include "check/VekEvents.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace vek {

class DocumentBuilder final : public VekConsumer {
public:
    explicit DocumentBuilder(VekDocument& d) : doc(d) {}

    void BlockOpened(const BlockEvent& e) override;
    void BlockClosed(const BlockEvent& e) override;
    void Transform(const std::array<float, 7>& numbers) override;
    void Projection(float focal, float halfWidth) override;
    void MaterialLine(std::string_view key, std::string_view value) override;
    void TopologyReference(std::string_view name) override;
    void Vertex(const VekVector& v) override;
    void FaceMaterial(long line, std::string_view name) override;
    void Face(const FaceEvent& f) override;
    void Box(int id) override { doc.boxes.push_back({id, {}}); }
    void BoxPlane(size_t index, const std::array<float, 4>& plane) override;

private:
    VekDocument& doc;
    // The blocks open, innermost last: what each is in the document (its node,
    // material or topology mesh; -1 for none) and the material of the face lines that
    // follow in it.
    struct Open {
        const BlockKind* kind;
        int model;
        int faceMaterial = -1;
    };
    std::vector<Open> stack;
    std::unordered_map<std::string, int> materials;  // name -> index, the first of that name
    std::unordered_map<std::string, int> topologies; // name -> mesh, of the blocks closed

    bool Is(const Open& o, BlockKind::Role role) const { return o.kind && o.kind->role == role; }
    VekNode* CurrentNode();
    VekMesh* Body();
    int32_t UvStart(const VekMesh& mesh, int material) const;
};

} // namespace vek

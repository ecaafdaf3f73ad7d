// What the readers of Vek and ".box" files tell those who use them: the file read as
// a sequence of events, in the order of its lines. A consumer overrides the events it
// cares about: the findings of the checks, the figures of the summary, the document
// a picture is drawn from. Readers: VekReader.h (Vek files), BoxReader.h (".box").
#pragma once

#include "check/VekCheck.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vek {

// What a kind of block is to the consumers.
struct BlockKind {
    const char* keyword;
    // A node of the scene (shell, mesh, light, camera), a topology (a mesh body that
    // mesh blocks share), a material, or the animation of the enclosing node.
    enum class Role { Node, Topology, Material, Animation } role;
    VekNode::Kind node; // for a node block
    // The figure that counts such blocks: its key in the report, and its names in the
    // summary for one block and for several.
    const char* figure;
    const char* one;
    const char* many;
};

struct BlockEvent {
    const BlockKind* kind; // null for an unknown keyword: a block followed only to balance its braces
    std::string_view name;
    long line;
    // When it closes: the vertex lines and the four- and three-vertex face lines it
    // held itself.
    long long vertices = 0, quads = 0, triangles = 0;
};

// The texture coordinates of a face line, read only for a consumer that asks for them
// (most do not): u and v of each corner in turn, of the first mapping channel, as the
// file writes them.
class FaceUvs {
public:
    virtual void Read(std::array<int32_t, 8>& uvs) const = 0;

protected:
    ~FaceUvs() = default;
};

// A face line of a mesh or topology block, read as far as its vertex indices are whole
// numbers within the vertices the face can use (`usable`); it is counted either way.
struct FaceEvent {
    bool quad = false;
    bool usable = false;
    std::array<int32_t, 4> corners{-1, -1, -1, -1};
    const FaceUvs* uvs = nullptr; // of a usable face written with texture coordinates; valid during the event
};

class VekConsumer {
public:
    VekConsumer() = default;
    VekConsumer(const VekConsumer&) = delete;
    VekConsumer& operator=(const VekConsumer&) = delete;
    virtual ~VekConsumer() = default;

    // Whether the consumer takes the Vertex and Face events, which come once for each
    // line of the bulk of a file: one that does not is not called for them.
    virtual bool TakesGeometry() const { return true; }

    // A fault of the file at `line` (0 for the whole file).
    virtual void Finding(long /*line*/, const std::string& /*text*/) {}
    // A fault that the file explains when it ends with failure marker `marker`.
    virtual void Explained(int /*marker*/, long /*line*/, const std::string& /*text*/) {}
    // The first lines are not those of a Vek file: nothing else is read.
    virtual void NotVek() {}

    virtual void BlockOpened(const BlockEvent&) {}
    virtual void BlockClosed(const BlockEvent&) {}
    // The transform line of a node block: position, angles, scale, as written.
    virtual void Transform(const std::array<float, 7>&) {}
    // A camera's projection line: its first number and its third (the half width).
    virtual void Projection(float /*focal*/, float /*halfWidth*/) {}
    // A line of a material block that the file spells well: its key and its value (the
    // six digits of a colour, the rest of the line otherwise).
    virtual void MaterialLine(std::string_view /*key*/, std::string_view /*value*/) {}
    // A topology block that a mesh block uses as its body.
    virtual void TopologyReference(std::string_view /*name*/) {}
    // A vertex of a mesh or topology block; all zero when the numbers are not read.
    virtual void Vertex(const VekVector&) {}
    // The material of the face lines that follow, by name.
    virtual void FaceMaterial(long /*line*/, std::string_view /*name*/) {}
    virtual void Face(const FaceEvent&) {}
    // A result marker: `resultMarkers` index, or -1 for EXPORT_OK_MARKER.
    virtual void Marker(long /*line*/, int /*marker*/) {}
    // The end of a Vek file, after its last line.
    virtual void End(long /*lastLine*/) {}

    // ".box" files: the count of boxes, then each box's id and planes.
    virtual void BoxCount(long long) {}
    virtual void Box(int /*id*/) {}
    virtual void BoxPlane(size_t /*index*/, const std::array<float, 4>&) {}
};

// Every event passed on to each consumer, in the order given.
class ConsumerList final : public VekConsumer {
public:
    explicit ConsumerList(std::vector<VekConsumer*> all) : to(std::move(all))
    {
        for (VekConsumer* c : to)
            if (c->TakesGeometry())
                geometry.push_back(c);
    }

    void Finding(long line, const std::string& text) override
    {
        for (VekConsumer* c : to)
            c->Finding(line, text);
    }
    void Explained(int marker, long line, const std::string& text) override
    {
        for (VekConsumer* c : to)
            c->Explained(marker, line, text);
    }
    bool TakesGeometry() const override { return !geometry.empty(); }
    void NotVek() override { Each(&VekConsumer::NotVek); }
    void BlockOpened(const BlockEvent& e) override { Each(&VekConsumer::BlockOpened, e); }
    void BlockClosed(const BlockEvent& e) override { Each(&VekConsumer::BlockClosed, e); }
    void Transform(const std::array<float, 7>& t) override { Each(&VekConsumer::Transform, t); }
    void Projection(float focal, float halfWidth) override { Each(&VekConsumer::Projection, focal, halfWidth); }
    void MaterialLine(std::string_view key, std::string_view value) override
    {
        Each(&VekConsumer::MaterialLine, key, value);
    }
    void TopologyReference(std::string_view name) override { Each(&VekConsumer::TopologyReference, name); }
    void Vertex(const VekVector& v) override
    {
        for (VekConsumer* c : geometry)
            c->Vertex(v);
    }
    void FaceMaterial(long line, std::string_view name) override { Each(&VekConsumer::FaceMaterial, line, name); }
    void Face(const FaceEvent& f) override
    {
        for (VekConsumer* c : geometry)
            c->Face(f);
    }
    void Marker(long line, int marker) override { Each(&VekConsumer::Marker, line, marker); }
    void End(long lastLine) override { Each(&VekConsumer::End, lastLine); }
    void BoxCount(long long count) override { Each(&VekConsumer::BoxCount, count); }
    void Box(int id) override { Each(&VekConsumer::Box, id); }
    void BoxPlane(size_t index, const std::array<float, 4>& plane) override
    {
        Each(&VekConsumer::BoxPlane, index, plane);
    }

private:
    std::vector<VekConsumer*> to, geometry;

    template <typename Event, typename... Args> void Each(Event event, const Args&... args)
    {
        for (VekConsumer* c : to)
            (c->*event)(args...);
    }
};

} // namespace vek

// Running the mesh and geometry writers on a scene in memory and reading what they wrote.
#pragma once

#include "plugin_test_util.h"
#include "scene_test_util.h"
#include "writers/GeometryWriter.h"
#include "writers/PositionCache.h"

#include <string>

namespace vek::test {

// The node pass's settings of a geometry writer.
struct MeshOptions {
    int geometry = 1, animation = 0, topology = 0, materials = 1, merge = 0, precision = 1, quads = 1, legacy = 0;
    int decimals = 6, indentation = 1, depth = 0;
    TimeValue time = 0;
};

template <class Writer> void Configure(Writer& w, const MeshOptions& o)
{
    w.SetTime(o.time);
    w.SetDecimals(o.decimals);
    w.SetMerge(o.merge, o.precision);
    w.SetIndentation(o.indentation);
    w.SetMaterials(o.materials);
    w.SetLegacyFormat(o.legacy);
    w.SetQuadFaces(o.quads);
}

// What a GeometryWriter writes for node, configured as the node pass does it.
struct GeometryRun {
    std::string text;
    ErrorFlags errors = 0;
    bool opened = false;
};

inline GeometryRun RunGeometry(Scene& scene, INode* node, const MeshOptions& o = {},
                               const InstanceNodeList& instances = InstanceNodeList())
{
    LinkedModule();
    scene.Activate();
    MemoryFile out;
    GeometryWriter w(out.Get(), &scene, o.depth, instances);
    w.SetGeometry(o.geometry);
    Configure(w, o);
    w.SetTopology(o.topology);
    w.SetAnimation(o.animation);
    GeometryRun run;
    run.errors = w.Export(node);
    run.opened = w.OpenedBlock();
    run.text = out.Text();
    return run;
}

// A mesh writer that writes only the node's mesh body.
class BodyWriter : public MeshWriter {
public:
    using MeshWriter::MeshWriter;
    ErrorFlags Export(INode* node) override { return WriteMeshBody(node); }
};

// The mesh body of node: its vertex lines, the empty line, material and face lines.
inline std::string MeshBody(Scene& scene, INode* node, const MeshOptions& o = {}, ErrorFlags* errors = nullptr,
                            PositionCache* cache = nullptr)
{
    scene.Activate();
    MemoryFile out;
    BodyWriter w(out.Get(), &scene, o.depth, InstanceNodeList());
    Configure(w, o);
    w.SetPositionCache(cache);
    ErrorFlags e = w.Export(node);
    if (errors)
        *errors = e;
    return out.Text();
}

// The lines of text after the first `skip` ones.
inline std::string LinesAfter(const std::string& text, int skip)
{
    size_t at = 0;
    for (int k = 0; k < skip && at != std::string::npos; k++) {
        at = text.find('\n', at);
        if (at != std::string::npos)
            at++;
    }
    return at == std::string::npos ? std::string() : text.substr(at);
}

} // namespace vek::test

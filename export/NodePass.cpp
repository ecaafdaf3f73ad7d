// The node pass: one block per exported node, nested as the scene is nested.
#include "export/SceneExporter.h"
#include "writers/CameraWriter.h"
#include "writers/DummyWriter.h"
#include "writers/GeometryWriter.h"
#include "writers/LightWriter.h"
#include "writers/NumberFormat.h"

#include <algorithm>
#include <climits>

namespace {

// Sets up a light, camera or dummy writer as the node pass wants it, writes the node's
// block and frees the writer. opened tells whether the block's brace is still open.
ErrorFlags WriteNodeBlock(NodeWriter* writer, INode* node, TimeValue t, const ExportOptions& options, bool& opened)
{
    writer->SetTime(t);
    writer->SetDecimals(options.decimals);
    writer->SetIndentation(options.indentation);
    ErrorFlags errors = writer->Export(node);
    opened = writer->OpenedBlock();
    delete writer;
    return errors;
}

} // namespace

TimeValue SceneExporter::ExportTime()
{
    if (options.exportAnimation)
        return 0;
    if (options.currentFrame)
        return ip ? ip->GetTime() : 0;
    // The frame comes from the configuration file and may be anything: a product
    // beyond the tick range saturates instead of overflowing.
    long long ticks = static_cast<long long>(options.frameNumber) * GetTicksPerFrame();
    return TimeValue(std::clamp<long long>(ticks, INT_MIN, INT_MAX));
}

ErrorFlags SceneExporter::ExportNode(INode* node, Interface* i, int depth)
{
    ErrorFlags errors = 0;
    bool blockWritten = false;

    if (!IsExportedNode(node)) {
        depth--;
    } else {
        errors = WriteOwnBlock(node, i, depth, blockWritten);
        LogFailures(i, errors, node->GetName());
    }

    for (int c = 0; c < node->NumberOfChildren(); c++)
        errors |= ExportNode(node->GetChildNode(c), i, depth + 1);
    positions.Forget(node);

    if (blockWritten) {
        long long n = static_cast<long long>(ClampIndentation(options.indentation)) * depth;
        for (long long k = 0; k < n; k++)
            std::fputc(' ', outFile);
        std::fprintf(outFile, "}\n");
    }
    return errors;
}

ErrorFlags SceneExporter::WriteOwnBlock(INode* node, Interface* i, int& depth, bool& opened)
{
    const TimeValue t = ExportTime();
    Object* obj = node->EvalWorldState(t, TRUE).obj;
    // A node without an object is treated like one of an unexported kind.
    switch (obj ? obj->SuperClassID() : 0) {
    case GEOMOBJECT_CLASS_ID: {
        const GeometryRole role = GeometryRoleOf(node, obj);
        if (role == GeometryRole::None || (!options.exportGeometry && !options.exportAnimation))
            depth--;
        else if (role == GeometryRole::Mesh)
            return WriteGeometryBlock(node, i, depth, t, opened);
        // Collision boxes go to the box file only.
        return 0;
    }
    case LIGHT_CLASS_ID: {
        if (!options.exportLights) {
            depth--;
            return 0;
        }
        GenLight* light = static_cast<GenLight*>(obj);
        int type = light->Type();
        if ((type == OMNI_LIGHT || type == TSPOT_LIGHT || type == FSPOT_LIGHT) && light->GetUseLight())
            return WriteNodeBlock(new LightWriter(outFile, i, depth), node, t, options, opened);
        return 0;
    }
    case CAMERA_CLASS_ID:
        if (options.exportCameras)
            return WriteNodeBlock(new CameraWriter(outFile, i, depth), node, t, options, opened);
        depth--;
        return 0;
    case HELPER_CLASS_ID:
        if (obj->ClassID() == Class_ID(DUMMY_CLASS_ID, 0) && options.exportDummies)
            return WriteNodeBlock(new DummyWriter(outFile, i, depth), node, t, options, opened);
        if (obj->ClassID() == Class_ID(BONE_CLASS_ID, 0))
            std::fprintf(outFile, "BONE\n");
        else
            depth--;
        return 0;
    default:
        return 0;
    }
}

ErrorFlags SceneExporter::WriteGeometryBlock(INode* node, Interface* i, int depth, TimeValue t, bool& opened)
{
    GeometryWriter writer(outFile, i, depth, instanceNodes);
    writer.SetGeometry(options.exportGeometry);
    ConfigureMeshWriter(writer, t);
    writer.SetTopology(options.exportTopology);
    writer.SetAnimation(options.exportAnimation);
    writer.SetInstanceIndex(&instanceIndex);
    writer.SetPositionCache(&positions);
    const ErrorFlags errors = writer.Export(node);
    opened = writer.OpenedBlock();
    return errors;
}

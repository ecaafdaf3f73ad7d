// The collection pass: before anything is written, gathers the materials (or wire
// colours), one representative node per shared object, and the collision boxes.
#include "export/SceneExporter.h"
#include "lists/BoxList.h"
#include "lists/MaterialList.h"
#include "writers/NodeWriter.h"

ErrorFlags SceneExporter::CollectNode(INode* node, Interface* i)
{
    ErrorFlags errors = 0;
    const TimeValue t = ExportTime();
    switch (GeometryRoleOf(node, t)) {
    case GeometryRole::Mesh: {
        bool first = instanceIndex.emplace(node->GetObjectRef(), node).second;
        // A later instance writes its own mesh, naming its own material, unless its
        // object's topology block stands in for it: that name needs its block too.
        bool ownMesh = !options.exportTopology || options.legacyFormat;
        if (first || ownMesh)
            CollectNodeMaterial(node);
        if (first)
            instanceNodes.Append(1, &node, 25);
        break;
    }
    case GeometryRole::CollisionBox: {
        int mustDelete = 0;
        TriObject* tri = NodeWriter::AcquireTriObject(node, t, mustDelete);
        if (!tri) {
            // The box fails, but its children are still written by the node pass:
            // their materials and topologies are gathered all the same.
            errors = ERROR_BOX;
        } else {
            Mesh& mesh = tri->GetMesh();
            if (mesh.getNumVerts() == 8 || mesh.getNumFaces() == 12)
                errors = boxList->AddBox(node, &mesh);
            if (mustDelete)
                delete tri;
        }
        LogFailures(i, errors, node->GetName());
        break;
    }
    case GeometryRole::None:
        break;
    }

    for (int c = 0; c < node->NumberOfChildren(); c++)
        errors |= CollectNode(node->GetChildNode(c), i);
    return errors;
}

void SceneExporter::CollectNodeMaterial(INode* node)
{
    Mtl* mtl = node->GetMtl();
    if (options.exportMaterials && mtl) {
        CollectMaterial(mtl);
    } else {
        Color* color = new Color(node->GetWireColor());
        if (!materialList->AddColor(node->GetName(), color))
            delete color;
    }
}

ErrorFlags SceneExporter::CollectMaterial(Mtl* mtl)
{
    // Empty sub-material slots are passed over.
    if (!mtl)
        return 0;
    int numSubs = mtl->NumSubMtls();
    if (mtl->ClassID() == Class_ID(MIXMAT_CLASS_ID, 0) || numSubs == 0) {
        materialList->AddMaterial(mtl);
        return 0;
    }
    ErrorFlags errors = 0;
    for (int k = 0; k < numSubs; k++)
        errors |= CollectMaterial(mtl->GetSubMtl(k));
    return errors;
}

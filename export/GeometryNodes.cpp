#include "export/GeometryNodes.h"

#include "export/SceneExporter.h"

#include <cctype>

bool IsExportedNode(INode* node) { return !GetExportSelectedOnly() || node->Selected() == 1; }

bool IsCollisionBoxName(const TCHAR* name)
{
    static const char PREFIX[] = "BOX_";
    if (!name)
        return false;
    for (int k = 0; k < 4; k++)
        if (std::toupper(static_cast<unsigned char>(name[k])) != PREFIX[k])
            return false;
    return true;
}

GeometryRole GeometryRoleOf(INode* node, Object* obj)
{
    if (!node || node->IsRootNode() || !IsExportedNode(node))
        return GeometryRole::None;
    if (!obj || obj->SuperClassID() != GEOMOBJECT_CLASS_ID || obj->ClassID() == Class_ID(TARGET_CLASS_ID, 0))
        return GeometryRole::None;
    return IsCollisionBoxName(node->GetName()) ? GeometryRole::CollisionBox : GeometryRole::Mesh;
}

GeometryRole GeometryRoleOf(INode* node, TimeValue t)
{
    // The cheap questions first: evaluating the object may build its mesh.
    if (!node || node->IsRootNode() || !IsExportedNode(node))
        return GeometryRole::None;
    return GeometryRoleOf(node, node->EvalWorldState(t, TRUE).obj);
}

// Which nodes write geometry. The collection pass gathers the instances and materials
// of these nodes, the node pass writes their "mesh" blocks, and a mesh body merges its
// vertices with its parent's only when the parent is one of them. The three must
// agree: a merged face refers to parent vertices by their place in the parent's mesh,
// which would not be in the file if the parent wrote none.
#pragma once

#include "max.h"

// Whether the export takes the node: every node, or in selection mode only the nodes
// whose selection state is exactly 1 (the others write no block of their own).
bool IsExportedNode(INode* node);

// Whether a geometry node is a collision box: its name starts with "BOX_" in any case.
bool IsCollisionBoxName(const TCHAR* name);

// The part a node plays in the geometry of an export.
enum class GeometryRole {
    None,         // not geometry (a target included), the scene root, or not exported
    Mesh,         // writes its own mesh
    CollisionBox, // geometry that goes to the ".box" file only
};

// The role of node, whose object evaluated at the export's time is obj (null when it
// has none). A node is geometry when it is exported, is not the scene root, and obj is
// of the geometry kind but not a camera's or light's target; it is a collision box by
// its name. Whether the options export geometry at all is left to the caller.
GeometryRole GeometryRoleOf(INode* node, Object* obj);
// The same, with the node's object evaluated at t (only when the node is exported).
GeometryRole GeometryRoleOf(INode* node, TimeValue t);

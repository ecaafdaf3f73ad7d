// Gathering collision boxes from scenes written as text, for the box tests.
#pragma once

#include "lists/BoxList.h"
#include "scene_test_util.h"
#include "writers/NodeWriter.h"

#include <string>
#include <vector>

namespace vek::test {

// A top-level node with a box object (length along y, width along x, height along z,
// base at z = 0) and an optional transform (JSON object body).
inline std::string BoxNodeText(const std::string& name, const std::string& object, const std::string& transform = "")
{
    std::string text = R"({"name": ")" + name + R"(", "object": ")" + object + R"(")";
    if (!transform.empty())
        text += R"(, "transform": {)" + transform + "}";
    return text + "}";
}

inline std::string BoxObjectText(const std::string& id, float length, float width, float height)
{
    return "\"" + id + R"(": {"type": "box", "length": )" + std::to_string(length) + R"(, "width": )" +
           std::to_string(width) + R"(, "height": )" + std::to_string(height) + "}";
}

// Hands the mesh of node (taken at time 0) to the list; the result of AddBox.
inline ErrorFlags AddNodeBox(BoxList& list, INode* node)
{
    int mustDelete = 0;
    TriObject* tri = NodeWriter::AcquireTriObject(node, 0, mustDelete);
    if (!tri)
        return -1;
    ErrorFlags result = list.AddBox(node, &tri->GetMesh());
    if (mustDelete)
        delete tri;
    return result;
}

// Adds every top-level node of the scene, in order; the results of AddBox.
inline std::vector<ErrorFlags> AddAllBoxes(BoxList& list, Scene& scene)
{
    std::vector<ErrorFlags> results;
    results.reserve(size_t(scene.GetRootNode()->NumberOfChildren()));
    for (int i = 0; i < scene.GetRootNode()->NumberOfChildren(); i++)
        results.push_back(AddNodeBox(list, TopNode(scene, i)));
    return results;
}

} // namespace vek::test

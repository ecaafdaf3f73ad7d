// Helpers shared by the scene tests.
#pragma once

#include "scene/Scene.h"

#include <gtest/gtest.h>

#include <string>

namespace vek::test {

// Loads a scene from text named "t.json".
inline std::unique_ptr<Scene> Load(const std::string& text) { return LoadSceneJson(text, "t.json"); }

// A scene with the given objects (JSON object body) and top-level nodes (JSON array body).
inline std::string SceneText(const std::string& objects, const std::string& nodes, const std::string& extra = "")
{
    return R"({"format": "vek-scene/1", "objects": {)" + objects + R"(}, "nodes": [)" + nodes + "]" +
           (extra.empty() ? "" : ", " + extra) + "}";
}

// The message of the SceneError that loading `text` throws, or "" when it loads.
inline std::string LoadError(const std::string& text)
{
    try {
        Load(text);
    } catch (const SceneError& e) {
        return e.what();
    }
    return "";
}

inline INode* TopNode(Scene& s, int i) { return s.GetRootNode()->GetChildNode(i); }

inline void ExpectNear(const Point3& a, const Point3& b, float eps = 1e-4f)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

inline void ExpectNear(const Matrix3& a, const Matrix3& b, float eps = 1e-4f)
{
    for (int i = 0; i < 4; i++)
        ExpectNear(a.GetRow(i), b.GetRow(i), eps);
}

// Same rotation (q and -q are the same).
inline void ExpectSameRotation(const Quat& a, const Quat& b, float eps = 1e-4f)
{
    float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    EXPECT_NEAR(std::fabs(d), 1.0f, eps);
}

} // namespace vek::test

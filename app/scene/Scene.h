// The application's in-memory scene: the concrete host objects behind the SDK's
// abstract Interface, INode, objects, materials and controllers.
#pragma once

#include "max.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vek {

// A scene that could not be loaded. The message names the file, the place in it
// and what is wrong, e.g. "scene.json: nodes[0].children[2].object: unknown object \"crate2\"".
class SceneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SceneNode;

// Owns every host object of one scene and answers the host Interface for it.
class Scene : public Interface {
public:
    Scene();
    ~Scene() override;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Interface
    HWND GetMAXHWnd() override;
    INode* GetRootNode() override;
    TimeValue GetTime() override;
    Interval GetAnimRange() override;
    const MCHAR* GetDir(int which) override;
    int GetRendWidth() override;
    int GetRendHeight() override;
    Point3 GetAmbient(TimeValue t, Interval& valid) override;
    BOOL GetRendAtmosphere() override;
    int NumAtmospheric() override;

    // The directory GetDir(APP_PLUGCFG_DIR) answers.
    void SetPluginConfigDir(const std::string& dir);
    // Makes this scene's frame rate the host's (GetTicksPerFrame).
    void Activate();
    int TicksPerFrame() const;

    struct Impl;
    Impl& impl() { return *d; }

private:
    std::unique_ptr<Impl> d;
};

// Loads a scene description file (the JSON scene format). Throws SceneError.
std::unique_ptr<Scene> LoadSceneFile(const std::string& path);
// Loads a scene description from text; `fileName` names it in error messages.
std::unique_ptr<Scene> LoadSceneJson(const std::string& text, const std::string& fileName);

} // namespace vek

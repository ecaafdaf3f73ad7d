// The application's in-memory scene: the concrete host objects behind the SDK's
// abstract Interface, INode, objects, materials and controllers.
#pragma once

#include "max.h"

#include <functional>
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
    // The application's log (log.h): entries go to its handler.
    LogSys* Log() override;

    // The directory GetDir(APP_PLUGCFG_DIR) answers.
    void SetPluginConfigDir(const std::string& dir);
    // The directory GetDir(APP_TEXTURE_ROOT_DIR) answers; none by default.
    void SetTextureRootDir(const std::string& dir);
    // Makes this scene the one the application holds: its frame rate is the host's
    // (GetTicksPerFrame) and it answers GetCOREInterface until it is destroyed.
    void Activate();
    int TicksPerFrame() const;
    // How far an export through the scene has come since Activate, from 0 to 0.99:
    // the bytes written against those expected from the scene's nodes and faces, so
    // that one large mesh moves the bar as smoothly as many small nodes. May be read
    // from another thread.
    double ExportProgress() const;
    // Files that came with the scene (embedded textures), to be written beside the
    // output: path and bytes.
    const std::vector<std::pair<std::string, std::string>>& ExtraFiles() const;
    // False for a scene from a file format that records no selection (a model):
    // nothing in it is selected, and an export of the selection can mean nothing.
    bool HoldsSelection() const;
    // What the loader could not bring in as the file means it, one sentence each
    // ("2 textures not found: ..."), for the user.
    const std::vector<std::string>& Warnings() const;

private:
    friend class SceneBuilder;
    struct Impl;
    std::unique_ptr<Impl> d;
};

// How models of other formats are brought in.
struct ImportOptions {
    // The up axis of the file; Auto follows its format's convention.
    enum class Up { Auto, Y, Z } up = Up::Auto;
    // Multiplies a model's whole scene once it is in metres (or its own unit), for
    // levels built in other units. Positive and finite.
    double scale = 1;
    // Textures embedded in a model are written as "<base>_tex<k>.<ext>".
    std::string embeddedTextureBase = "embedded";
    // The texture root directory of the export (absolute), "" for none: embedded
    // textures written under it are named by their path, others by their name alone.
    std::string textureRoot{};
    // A progress line on standard error (when it is a terminal) for large files.
    bool progress = false;
    // Called on the calling thread before a model is read through Assimp (never for
    // the formats read here), with no other thread of the loader running: the host
    // may move the rest of its run into a process of its own there. What it throws
    // ends the load.
    std::function<void()> beforeModelImport = nullptr;
};

// Loads a scene file: a JSON scene description (recognised by its content, or by
// the extension .json), or else any model Assimp reads. Throws SceneError naming
// the file and what is wrong.
std::unique_ptr<Scene> LoadSceneFile(const std::string& path, const ImportOptions& options = {});
// Whether LoadSceneFile would take a file for a scene, judged as it chooses the reader
// (the content of a scene description or an ASCII scene export; otherwise an extension a
// model reader claims) without reading the scene: for finding the scenes in a folder,
// where everything else (textures, material libraries, other JSON) is no scene.
bool IsSceneFile(const std::string& path);
// The formats LoadSceneFile reads: "name (*.ext;*.ext)" lines, the scene
// description first, then every model format Assimp reads.
std::vector<std::string> ReadableFormats();
// Loads a model through Assimp. Throws SceneError.
std::unique_ptr<Scene> LoadModelFile(const std::string& path, const ImportOptions& options);
// Loads a scene description from text; `fileName` names it in error messages.
std::unique_ptr<Scene> LoadSceneJson(const std::string& text, const std::string& fileName);

} // namespace vek

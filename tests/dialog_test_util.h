// Runs the plug-in's export in this process with a scripted dialog front end, so that
// tests drive the preferences dialog as a user would and read what was saved.
#pragma once

#include "export/SceneExporter.h"
#include "export_run.h"
#include "plugin_test_util.h"
#include "resources/resource.h"
#include "scene_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

// What the module exports, linked in here.
extern "C" const TCHAR* LibDescription();
extern "C" int LibNumberClasses();
extern "C" ClassDesc* LibClassDesc(int i);
extern "C" ULONG LibVersion();

namespace vek::test {

// The values stored by one export, and what it left behind.
struct DialogRun {
    int result = -1;       // DoExport's result
    bool opened = false;   // the front end ran
    bool exported = false; // the Vek file exists
    std::string cfgBefore, cfgAfter;
    ExportOptions saved{};
};

inline ExportOptions ReadOptionsBytes(const std::string& bytes)
{
    ExportOptions o{}; // the values the bytes do not hold are 0
    DecodeOptionsFile(bytes, o);
    return o;
}

// Exports sceneJson with the configuration file holding the defaults changed by
// `options`, showing the preferences dialog to `script`.
inline DialogRun RunWithDialog(const std::string& name, const std::string& sceneJson,
                               const std::map<std::string, int>& options,
                               const std::function<void(DialogSession&)>& script)
{
    LinkedModule();
    namespace fs = std::filesystem;
    fs::path dir = ScratchDir(name);
    WriteOptionsFile(dir / "cfg", options);
    auto scene = Load(sceneJson);
    scene->SetPluginConfigDir((dir / "cfg").string());
    scene->Activate();

    DialogRun run;
    run.cfgBefore = ReadFile(dir / "cfg" / OPTIONS_FILE_NAME);
    SetDialogFrontEnd([&](DialogSession& s) {
        run.opened = true;
        script(s);
    });
    SetMessageBoxHandler([](HWND, const char*, const char*, UINT) { return IDOK; });
    SceneExporter exporter;
    ExpInterface ei;
    run.result = exporter.DoExport((dir / "out.vek").string().c_str(), &ei, scene.get(), FALSE, 0);
    SetDialogFrontEnd(nullptr);
    SetMessageBoxHandler(nullptr);
    run.exported = fs::exists(dir / "out.vek");
    run.cfgAfter = ReadFile(dir / "cfg" / OPTIONS_FILE_NAME);
    run.saved = ReadOptionsBytes(run.cfgAfter);
    return run;
}

inline bool Enabled(const DialogSession& s, int id) { return IsWindowEnabled(GetDlgItem(s.dialog, id)); }
inline bool Checked(const DialogSession& s, int id) { return IsDlgButtonChecked(s.dialog, id) == BST_CHECKED; }

inline std::string EditText(const DialogSession& s, int id)
{
    char buf[64];
    int n = GetWindowText(GetDlgItem(s.dialog, id), buf, int(sizeof(buf)));
    return std::string(buf, size_t(n));
}

inline const std::string& OneNodeScene()
{
    static const std::string text = SceneText(R"("d": {"type": "dummy"})", R"({"name": "D", "object": "d"})");
    return text;
}

} // namespace vek::test

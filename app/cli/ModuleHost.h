// Loads an export module and runs exports through it, as the modelling application does.
#pragma once

#include "max.h"

#include <memory>
#include <string>

namespace vek {

// One loaded module and the scene exporter class it offers.
class ExportModule {
public:
    // Loads the module at path; throws AppError naming the file and the reason.
    explicit ExportModule(const std::string& path);
    ~ExportModule();
    ExportModule(const ExportModule&) = delete;
    ExportModule& operator=(const ExportModule&) = delete;

    // A new exporter object from the module's class descriptor; the caller deletes it
    // before the module is unloaded.
    std::unique_ptr<SceneExport> CreateExporter();
    HINSTANCE Handle() const { return module; }

private:
    HMODULE module = nullptr;
    ClassDesc* desc = nullptr;
};

// The module of the running executable: beside it, as in the build tree, or in the
// library directory of the installed tree (VEK_INSTALLED_MODULE_DIR, relative to the
// executable's directory), whichever holds one; beside it when neither does. Found
// from the executable's own place, so that a moved or copied tree keeps working.
std::string DefaultModulePath();

} // namespace vek

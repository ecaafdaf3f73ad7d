#include "cli/ModuleHost.h"

#include "cli/AppError.h"

#include <limits.h>
#include <unistd.h>

#ifndef VEK_INSTALLED_MODULE_DIR
#define VEK_INSTALLED_MODULE_DIR "../lib/vekexport"
#endif

namespace vek {

namespace {
constexpr char ModuleFileName[] = "ExportToVek.dle";
}

ExportModule::ExportModule(const std::string& path)
{
    module = LoadLibrary(path.c_str());
    if (!module)
        throw AppError(std::string("cannot load the export module: ") + GetLastErrorText(), path);
    auto numberClasses = reinterpret_cast<LibNumberClassesFn>(GetProcAddress(module, "LibNumberClasses"));
    auto classDesc = reinterpret_cast<LibClassDescFn>(GetProcAddress(module, "LibClassDesc"));
    if (!numberClasses || !classDesc) {
        FreeLibrary(module);
        throw AppError("not an export module (LibNumberClasses or LibClassDesc missing)", path);
    }
    int n = numberClasses();
    for (int k = 0; k < n && !desc; k++) {
        ClassDesc* cd = classDesc(k);
        if (cd && cd->SuperClassID() == SCENE_EXPORT_CLASS_ID)
            desc = cd;
    }
    if (!desc) {
        FreeLibrary(module);
        throw AppError("the module offers no scene exporter", path);
    }
}

ExportModule::~ExportModule() { FreeLibrary(module); }

std::unique_ptr<SceneExport> ExportModule::CreateExporter()
{
    return std::unique_ptr<SceneExport>(static_cast<SceneExport*>(desc->Create(FALSE)));
}

std::string DefaultModulePath()
{
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    std::string dir = ".";
    if (n > 0) {
        std::string exe(buf, size_t(n));
        size_t slash = exe.rfind('/');
        if (slash != std::string::npos)
            dir = exe.substr(0, slash);
    }
    const std::string beside = dir + "/" + ModuleFileName;
    const std::string installed = dir + "/" VEK_INSTALLED_MODULE_DIR "/" + ModuleFileName;
    return access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0 ? installed : beside;
}

} // namespace vek

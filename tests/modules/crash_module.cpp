// An export module that stages the beginning of its output and then crashes: what a
// fault of the exporter after the scene was read looks like to the command-line host.
#include "crt.h"
#include "plugapi.h"

#include <csignal>
#include <cstdio>

namespace {

class CrashingExport : public SceneExport {
public:
    int ExtCount() override { return 1; }
    const MCHAR* Ext(int) override { return "vek"; }
    const MCHAR* LongDesc() override { return "crashes"; }
    const MCHAR* ShortDesc() override { return "crashes"; }
    const MCHAR* AuthorName() override { return ""; }
    const MCHAR* CopyrightMessage() override { return ""; }
    const MCHAR* OtherMessage1() override { return ""; }
    const MCHAR* OtherMessage2() override { return ""; }
    unsigned int Version() override { return 100; }
    void ShowAbout(HWND) override {}
    int DoExport(const MCHAR* name, ExpInterface*, Interface*, BOOL, DWORD) override
    {
        std::FILE* f = _tfopen(name, "wt");
        std::fputs("partial", f);
        std::fflush(f);
        std::raise(SIGSEGV);
        return 1;
    }
};

class CrashingDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return new CrashingExport; }
    const MCHAR* ClassName() override { return "CrashingExport"; }
    SClass_ID SuperClassID() override { return SCENE_EXPORT_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(1, 2); }
    const MCHAR* Category() override { return ""; }
};

} // namespace

DLLEXPORT int LibNumberClasses() { return 1; }

DLLEXPORT ClassDesc* LibClassDesc(int)
{
    static CrashingDesc desc;
    return &desc;
}

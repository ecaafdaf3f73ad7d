// What the host sees of the module: exported functions, class descriptor, exporter
// metadata, the string table, the about box and the resource templates.
#include "dialog_test_util.h"
#include "terminal/DialogView.h"

#include <cstring>
#include <set>

namespace vek::test {
namespace {

TEST(PluginRegistration, ExportedFunctions)
{
    LinkedModule();
    EXPECT_EQ(LibNumberClasses(), 1);
    EXPECT_EQ(LibClassDesc(1), nullptr);
    ClassDesc* desc = LibClassDesc(0);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(LibClassDesc(0), desc);
    EXPECT_EQ(LibVersion(), 0x0C1C0700u);
    ASSERT_NE(LibDescription(), nullptr);
    EXPECT_EQ(std::strncmp(LibDescription(), "Export To Vek Plug-in for 3DS Max 3.0", 37), 0);
}

TEST(PluginRegistration, ClassDescriptor)
{
    HINSTANCE module = LinkedModule();
    auto* desc = static_cast<ClassDesc2*>(LibClassDesc(0));
    EXPECT_EQ(desc->IsPublic(), TRUE);
    EXPECT_STREQ(desc->ClassName(), "ExportToVek");
    EXPECT_EQ(desc->SuperClassID(), SClass_ID(0xA20));
    EXPECT_EQ(desc->ClassID(), Class_ID(0x49071776, 0x4D534130));
    EXPECT_STREQ(desc->Category(), "");
    EXPECT_STREQ(desc->InternalName(), "ExportToVek");
    EXPECT_EQ(desc->HInstance(), module);
    for (BOOL loading : {FALSE, TRUE}) {
        auto* exporter = static_cast<SceneExport*>(desc->Create(loading));
        ASSERT_NE(exporter, nullptr);
        EXPECT_EQ(exporter->ExtCount(), 1);
        delete exporter;
    }
}

TEST(PluginRegistration, ExporterMetadata)
{
    LinkedModule();
    SceneExporter e;
    EXPECT_STREQ(e.Ext(0), "Vek");
    ASSERT_NE(e.Ext(1), nullptr);
    EXPECT_STREQ(e.Ext(1), "");
    EXPECT_STREQ(e.OtherMessage1(), "");
    EXPECT_STREQ(e.OtherMessage2(), "");
    EXPECT_EQ(e.Version(), 400u);
    EXPECT_TRUE(e.InstanceNodes().Count() == 0);
    EXPECT_TRUE(e.SupportsOptions(0, SCENE_EXPORT_SELECTED));
    EXPECT_TRUE(e.SupportsOptions(0, SCENE_EXPORT_SELECTED | 0x10));
    EXPECT_FALSE(e.SupportsOptions(0, 0));
    EXPECT_FALSE(e.SupportsOptions(0, 0x10));
    EXPECT_FALSE(e.SupportsOptions(1, SCENE_EXPORT_SELECTED));
    EXPECT_STREQ(e.AuthorName(), GetString(IDS_AUTHOR));
    EXPECT_STREQ(e.CopyrightMessage(), GetString(IDS_COPYRIGHT));

    // Both descriptions come from the one buffer of the string table lookup.
    const TCHAR* longDesc = e.LongDesc();
    EXPECT_STREQ(longDesc, "File format for the KELM 3d engine.");
    const TCHAR* shortDesc = e.ShortDesc();
    EXPECT_EQ(longDesc, shortDesc);
    EXPECT_STREQ(longDesc, "KELM 3d file format.");
}

TEST(StringTable, LookupAndMissingEntries)
{
    LinkedModule();
    EXPECT_STREQ(GetString(IDS_CLASS_NAME), "ExportToVek");
    EXPECT_STREQ(GetString(IDS_EXTENSION), "Vek");
    EXPECT_EQ(GetString(18), nullptr);
    EXPECT_EQ(GetString(19), nullptr);
    EXPECT_EQ(GetString(25), nullptr);
    EXPECT_EQ(GetString(36), nullptr);
    EXPECT_STREQ(GetString(IDS_TRANSPARENCY), "TRANSPARENCY");

    // Until the entry point has given the module handle no string can be loaded.
    HINSTANCE saved = hInstance;
    hInstance = nullptr;
    EXPECT_EQ(GetString(IDS_EXTENSION), nullptr);
    hInstance = saved;
}

TEST(PluginRegistration, EntryPointInitialisesTheControlsOnce)
{
    HINSTANCE module = LinkedModule();
    int inits = CustomControlsInitCount();
    EXPECT_GE(inits, 1);
    HINSTANCE other = CreateModuleInstance(&ResourceDirectory);
    EXPECT_EQ(DllMain(other, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(hInstance, other); // the handle is stored on every call
    EXPECT_EQ(CustomControlsInitCount(), inits);
    DllMain(module, DLL_THREAD_ATTACH, nullptr);
    EXPECT_EQ(hInstance, module);
    FreeLibrary(other);
}

TEST(AboutBox, OnlyOkClosesIt)
{
    LinkedModule();
    bool ran = false;
    SetDialogFrontEnd([&](DialogSession& s) {
        ran = true;
        char caption[32];
        GetWindowText(s.dialog, caption, int(sizeof(caption)));
        EXPECT_STREQ(caption, "About");
        s.Cancel();
        EXPECT_FALSE(s.Ended());
        s.Click(IDC_ABOUT_OK);
        EXPECT_TRUE(s.Ended());
    });
    SceneExporter e;
    e.ShowAbout(GetApplicationWindow());
    SetDialogFrontEnd(nullptr);
    EXPECT_TRUE(ran);
}

// ---- templates ----

struct ExpectedControl {
    const char* className;
    int id;
    const char* text;
};

const DLGITEMRESOURCE* FindItem(const DLGRESOURCE& d, const char* className, const char* text)
{
    for (int i = 0; i < d.itemCount; i++)
        if (std::strcmp(d.items[i].className, className) == 0 && std::strcmp(d.items[i].text, text) == 0)
            return &d.items[i];
    return nullptr;
}

// The preferences dialog's controls: class, identifier and text.
const ExpectedControl prefsControls[] = {
    {"CheckBox", 1026, "Exporter pour les versions 3.5 et inf. de KELM"},
    {"GroupBox", 1004, "Types d'objets"},
    {"CheckBox", 1005, "Dummys"},
    {"CheckBox", 1003, "G\xc3\xa9om\xc3\xa9tries"},
    {"CheckBox", 1023, "Face 4 vertices"},
    {"CheckBox", 1016, "Topologies"},
    {"CheckBox", 1006, "Lumi\xc3\xa8res"},
    {"CheckBox", 1007, "Cam\xc3\xa9ras"},
    {"CheckBox", 1022, "Boites de collision"},
    {"GroupBox", -1, "Animation"},
    {"CheckBox", 1017, "Animation"},
    {"GroupBox", -1, "Exporter la frame"},
    {"CheckBox", 1018, "actuelle"},
    {"Static", -1, "N\xc2\xb0"},
    {"GroupBox", 1021, "Fusion"},
    {"CheckBox", 1015, "Fusion des vertices p\xc3\xa8res/fils"},
    {"Static", -1,
     "Pr\xc3\xa9"
     "cision fusion:"},
    {"GroupBox", -1, "Mat\xc3\xa9riaux"},
    {"CheckBox", 1012, "Mat\xc3\xa9riaux"},
    {"CheckBox", 1024, "Gouraud"},
    {"CheckBox", 1025, "Light"},
    {"GroupBox", -1,
     "Pr\xc3\xa9"
     "f\xc3\xa9rences"},
    {"Static", -1,
     "D\xc3\xa9"
     "cimales: "},
    {"Static", -1, "Indentation:"},
    {"Static", -1, "Plug-in d'Exportation Max 3 et 4 -> Vek"},
    {"Static", -1, "Version: 4.0"},
    {"Button", 1000, "OK"},
    {"Button", 1001, "Annuler"},
};

TEST(DialogTemplates, PreferencesDialogControls)
{
    const DLGRESOURCE* d = FindDialogResource(LinkedModule(), MAKEINTRESOURCE(IDD_PREFS));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->id, 101);
    EXPECT_STREQ(d->caption, "Export To Vek Pr\xc3\xa9"
                             "f\xc3\xa9rences");
    EXPECT_STREQ(d->font, "MS Sans Serif");
    EXPECT_EQ(d->pointSize, 8);
    EXPECT_EQ(d->cx, 314);
    EXPECT_EQ(d->cy, 244);
    EXPECT_EQ(d->style & (DS_MODALFRAME | WS_CAPTION | WS_SYSMENU), DWORD(DS_MODALFRAME | WS_CAPTION | WS_SYSMENU));

    for (const ExpectedControl& c : prefsControls) {
        const DLGITEMRESOURCE* item = FindItem(*d, c.className, c.text);
        ASSERT_NE(item, nullptr) << c.text;
        EXPECT_EQ(item->id, c.id) << c.text;
    }
    EXPECT_TRUE(FindItem(*d, "Button", "OK")->style & BS_DEFPUSHBUTTON);
    EXPECT_FALSE(FindItem(*d, "Button", "Annuler")->style & BS_DEFPUSHBUTTON);

    int checkBoxes = 0, spinners = 0;
    std::set<std::pair<int, int>> iconIds, edits;
    for (int i = 0; i < d->itemCount; i++) {
        const DLGITEMRESOURCE& item = d->items[i];
        checkBoxes += std::strcmp(item.className, "CheckBox") == 0;
        if (std::strcmp(item.className, "Spinner") == 0) {
            spinners++;
            // Each spinner follows its edit.
            ASSERT_GT(i, 0);
            edits.insert({d->items[i - 1].id, item.id});
        }
        if (std::strcmp(item.className, "Icon") == 0)
            iconIds.insert({item.id, item.imageId});
        if (std::strcmp(item.className, "Bitmap") == 0) {
            EXPECT_EQ(item.imageId, 127);
        }
    }
    EXPECT_EQ(checkBoxes, 14);
    EXPECT_EQ(spinners, 4);
    EXPECT_EQ(edits, (std::set<std::pair<int, int>>{{1019, 1020}, {1008, 1009}, {1010, 1011}, {1013, 1014}}));
    EXPECT_EQ(
        iconIds,
        (std::set<std::pair<int, int>>{
            {1027, 115}, {1031, 116}, {1032, 117}, {1034, 118}, {1036, 120}, {1037, 123}, {1035, 119}, {1038, 128}}));
}

TEST(DialogTemplates, AboutBoxAndVersion)
{
    HINSTANCE module = LinkedModule();
    const DLGRESOURCE* d = FindDialogResource(module, MAKEINTRESOURCE(IDD_ABOUT));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->cx, 188);
    EXPECT_EQ(d->cy, 137);
    EXPECT_STREQ(d->caption, "About");
    EXPECT_STREQ(d->font, "MS Sans Serif");
    EXPECT_NE(FindItem(*d, "Static", "Plug-in d'Exportation Max -> Vek"), nullptr);
    EXPECT_NE(FindItem(*d, "Static", "Version: Beta 01"), nullptr);
    const DLGITEMRESOURCE* ok = FindItem(*d, "Button", "OK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->id, 1002);
    EXPECT_TRUE(ok->style & BS_DEFPUSHBUTTON);

    const VERSIONRESOURCE* v = FindVersionResource(module);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::vector<int>(v->fileVersion, v->fileVersion + 4), (std::vector<int>{1, 0, 0, 1}));
    EXPECT_EQ(std::vector<int>(v->productVersion, v->productVersion + 4), (std::vector<int>{1, 0, 0, 1}));
    EXPECT_STREQ(v->fileDescription, "ExportToVek");
    EXPECT_STREQ(v->internalName, "ExportToVek");
    EXPECT_STREQ(v->originalFilename, "ExportToVek.dle");
    for (int id : {127, 115, 116, 117, 118, 119, 120, 123, 128})
        EXPECT_NE(FindImageResource(module, id), nullptr) << id;
}

// On the character grid every control lies inside the client area, and no two
// controls that a user clicks share a cell.
TEST(DialogTemplates, ControlsFitTheCharacterGrid)
{
    for (int id : {IDD_PREFS, IDD_ABOUT}) {
        const DLGRESOURCE* d = FindDialogResource(LinkedModule(), MAKEINTRESOURCE(id));
        ASSERT_NE(d, nullptr);
        const int rows = term::ClientRows(*d), cols = term::ClientCols(*d);
        std::set<std::pair<int, int>> taken;
        for (int i = 0; i < d->itemCount; i++) {
            const DLGITEMRESOURCE& item = d->items[i];
            term::CellRect r = term::ControlCells(item);
            EXPECT_GE(r.row, 0) << item.text;
            EXPECT_GE(r.col, 0) << item.text;
            EXPECT_LE(r.row + r.height, rows) << item.className << " " << item.text;
            EXPECT_LE(r.col + r.width, cols) << item.className << " " << item.text;
            std::string cls = item.className;
            if (cls == "GroupBox" || cls == "Bitmap")
                continue;
            for (int y = r.row; y < r.row + r.height; y++) {
                for (int x = r.col; x < r.col + r.width; x++) {
                    EXPECT_TRUE(taken.insert({y, x}).second)
                        << item.className << " " << item.text << " at " << y << "," << x;
                }
            }
        }
    }
}

} // namespace
} // namespace vek::test

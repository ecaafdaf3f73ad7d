// The plug-in's resources: string table, dialog templates and images.
#include "resources/resource.h"
#include "win32.h"

#include <iterator>

namespace {

const STRINGRESOURCE stringTable[] = {
    {IDS_LIBDESCRIPTION, "Export To Vek Plug-in for 3DS Max 3.0 - by the vekexport developers"},
    {IDS_CLASS_NAME, "ExportToVek"},
    {IDS_EXTENSION, "Vek"},
    {IDS_LONG_DESCRIPTION, "File format for the KELM 3d engine."},
    {IDS_SHORT_DESCRIPTION, "KELM 3d file format."},
    {IDS_AUTHOR, "The vekexport developers"},
    {IDS_COPYRIGHT, "Copyright (c) 2026 the vekexport developers"},
    {IDS_SHELL, "shell"},
    {IDS_MESH, "mesh"},
    {IDS_COLORLIGHT, "colorlight"},
    {IDS_CAMERA, "camera"},
    {IDS_MATERIAL, "material"},
    {IDS_COLOR, "color"},
    {IDS_TEXTURE, "texture"},
    {IDS_TEXTUREBIS, "texturebis"},
    {IDS_FACECOLOR1, "facecolor1"},
    {IDS_FACECOLOR2, "facecolor2"},
    {IDS_TOPO, "topo"},
    {IDS_ANIM, "anim"},
    {IDS_ROTATION, "rotation"},
    {IDS_POSITION, "position"},
    {IDS_LENGTH, "length"},
    {IDS_TYPE, "type"},
    {IDS_FLAT, "FLAT"},
    {IDS_GOURAUD, "GOURAUD"},
    {IDS_LIGHT, "LIGHT"},
    {IDS_NOLIGHT, "NOLIGHT"},
    {IDS_TEXTURED, "TEXTURED"},
    {IDS_TEXTURED_BIS, "TEXTURED_BIS"},
    {IDS_COLOR1, "COLOR1"},
    {IDS_COLOR2, "COLOR2"},
    {IDS_TRANSPARENCY, "TRANSPARENCY"},
};
// Seven descriptive texts and the 25 keywords of ids 8 to 35 (18, 19 and 25 unused).
static_assert(std::size(stringTable) == 7 + 25);

constexpr DWORD CHECK = WS_TABSTOP;
constexpr DWORD DIALOG_STYLE = DS_MODALFRAME | WS_CAPTION | WS_SYSMENU;

// Laid out on a grid of character cells four dialog units wide and eleven high, so
// that a character display shows the dialog as its template describes it.
const DLGITEMRESOURCE prefsItems[] = {
    // Left column: object types, then animation with the frame and the merge inside its frame.
    {"GroupBox", "Types d'objets", IDC_OBJECT_TYPES, 4, 1, 152, 98, 0, 0},
    {"Icon", "", IDC_ICON_DUMMY, 12, 12, 8, 10, 0, IDI_DUMMY},
    {"CheckBox", "Dummys", IDC_DUMMIES, 24, 12, 96, 10, CHECK | WS_GROUP, 0},
    {"Icon", "", IDC_ICON_GEOMETRY, 12, 23, 8, 10, 0, IDI_GEOMETRY},
    {"CheckBox", "G\xc3\xa9om\xc3\xa9tries", IDC_GEOMETRY, 24, 23, 96, 10, CHECK, 0},
    {"CheckBox", "Face 4 vertices", IDC_QUAD_FACES, 40, 34, 96, 10, CHECK, 0},
    {"CheckBox", "Topologies", IDC_TOPOLOGY, 40, 45, 96, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_LIGHT, 12, 56, 8, 10, 0, IDI_LIGHT},
    {"CheckBox", "Lumi\xc3\xa8res", IDC_LIGHTS, 24, 56, 96, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_CAMERA, 12, 67, 8, 10, 0, IDI_CAMERA},
    {"CheckBox", "Cam\xc3\xa9ras", IDC_CAMERAS, 24, 67, 96, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_BOX, 12, 78, 8, 10, 0, IDI_BOX},
    {"CheckBox", "Boites de collision", IDC_BOXES, 24, 78, 96, 10, CHECK, 0},
    {"GroupBox", "Animation", IDC_STATIC, 4, 111, 152, 120, 0, 0},
    {"Icon", "", IDC_ICON_ANIMATION, 12, 122, 8, 10, 0, IDI_ANIMATION},
    {"CheckBox", "Animation", IDC_ANIMATION, 24, 122, 96, 10, CHECK | WS_GROUP, 0},
    {"GroupBox", "Exporter la frame", IDC_STATIC, 8, 133, 144, 32, 0, 0},
    {"CheckBox", "actuelle", IDC_CURRENT_FRAME, 16, 144, 52, 10, CHECK, 0},
    {"Static", "N\xc2\xb0", IDC_STATIC, 76, 144, 12, 10, 0, 0},
    {"Edit", "", IDC_FRAME_EDIT, 92, 144, 28, 10, CHECK, 0},
    {"Spinner", "", IDC_FRAME_SPIN, 120, 144, 8, 10, 0, 0},
    {"GroupBox", "Fusion", IDC_MERGE_GROUP, 8, 177, 144, 43, 0, 0},
    {"CheckBox", "Fusion des vertices p\xc3\xa8res/fils", IDC_MERGE, 12, 188, 136, 10, CHECK, 0},
    {"Static",
     "Pr\xc3\xa9"
     "cision fusion:",
     IDC_STATIC, 16, 199, 72, 10, 0, 0},
    {"Edit", "", IDC_MERGE_PRECISION_EDIT, 92, 199, 28, 10, CHECK, 0},
    {"Spinner", "", IDC_MERGE_PRECISION_SPIN, 120, 199, 8, 10, 0, 0},
    // Right column.
    {"CheckBox", "Exporter pour les versions 3.5 et inf. de KELM", IDC_LEGACY, 160, 1, 148, 21,
     CHECK | WS_GROUP | BS_MULTILINE, 0},
    {"Bitmap", "", IDC_STATIC, 160, 23, 148, 43, 0, IDB_LOGO},
    {"GroupBox", "", IDC_STATIC, 160, 67, 148, 54, 0, 0},
    {"Static", "Plug-in d'Exportation Max 3 et 4 -> Vek", IDC_STATIC, 168, 78, 132, 21, 0, 0},
    {"Static", "Version: 4.0", IDC_STATIC, 168, 100, 132, 10, 0, 0},
    {"GroupBox", "Mat\xc3\xa9riaux", IDC_STATIC, 160, 122, 148, 54, 0, 0},
    {"Icon", "", IDC_ICON_MATERIAL, 168, 133, 8, 10, 0, IDI_MATERIAL},
    {"CheckBox", "Mat\xc3\xa9riaux", IDC_MATERIALS, 180, 133, 96, 10, CHECK, 0},
    {"CheckBox", "Gouraud", IDC_GOURAUD, 196, 144, 96, 10, CHECK, 0},
    {"CheckBox", "Light", IDC_LIGHTING, 196, 155, 96, 10, CHECK, 0},
    {"GroupBox",
     "Pr\xc3\xa9"
     "f\xc3\xa9rences",
     IDC_STATIC, 160, 177, 148, 43, 0, 0},
    {"Icon", "", IDC_ICON_PREFERENCES, 168, 188, 8, 10, 0, IDI_PREFERENCES},
    {"Static",
     "D\xc3\xa9"
     "cimales: ",
     IDC_STATIC, 180, 188, 52, 10, 0, 0},
    {"Edit", "", IDC_DECIMALS_EDIT, 236, 188, 28, 10, CHECK, 0},
    {"Spinner", "", IDC_DECIMALS_SPIN, 264, 188, 8, 10, 0, 0},
    {"Static", "Indentation:", IDC_STATIC, 180, 199, 52, 10, 0, 0},
    {"Edit", "", IDC_INDENT_EDIT, 236, 199, 28, 10, CHECK, 0},
    {"Spinner", "", IDC_INDENT_SPIN, 264, 199, 8, 10, 0, 0},
    {"Button", "OK", IDC_OK, 208, 221, 44, 10, CHECK | BS_DEFPUSHBUTTON, 0},
    {"Button", "Annuler", IDC_CANCEL, 260, 221, 44, 10, CHECK, 0},
};
// Fourteen check boxes, four edits with their spinners, the frames, labels, images and buttons.
static_assert(std::size(prefsItems) == 46);

const DLGITEMRESOURCE aboutItems[] = {
    {"Bitmap", "", IDC_STATIC, 4, 1, 180, 43, 0, IDB_LOGO},
    {"GroupBox", "", IDC_STATIC, 4, 56, 180, 43, 0, 0},
    {"Static", "Plug-in d'Exportation Max -> Vek", IDC_STATIC, 12, 67, 164, 10, 0, 0},
    {"Static", "Version: Beta 01", IDC_STATIC, 12, 78, 164, 10, 0, 0},
    {"Button", "OK", IDC_ABOUT_OK, 72, 111, 44, 10, CHECK | BS_DEFPUSHBUTTON, 0},
};

const DLGRESOURCE dialogs[] = {
    {IDD_PREFS,
     "Export To Vek Pr\xc3\xa9"
     "f\xc3\xa9rences",
     "MS Sans Serif", 8, 314, 244, DIALOG_STYLE, prefsItems, int(std::size(prefsItems))},
    {IDD_ABOUT, "About", "MS Sans Serif", 8, 188, 137, DIALOG_STYLE, aboutItems, int(std::size(aboutItems))},
};

// The logo and the icons, drawn for a character display.
const char* const logoRows[] = {
    "__     __ _____ _  __     ",
    "\\ \\   / /| ____| |/ /     ",
    " \\ \\_/ / |  _| | ' /  3D  ",
    "  \\___/  |_____|_|\\_\\ KELM",
};
const char* const dummyRows[] = {"[]"};
const char* const geometryRows[] = {"/\\"};
const char* const lightRows[] = {"*"};
const char* const cameraRows[] = {"[o"};
const char* const materialRows[] = {"##"};
const char* const boxRows[] = {"[]"};
const char* const animationRows[] = {">>"};
const char* const preferencesRows[] = {"::"};

const IMAGERESOURCE images[] = {
    {IDB_LOGO, 26, 4, logoRows},  {IDI_DUMMY, 2, 1, dummyRows},         {IDI_GEOMETRY, 2, 1, geometryRows},
    {IDI_LIGHT, 1, 1, lightRows}, {IDI_CAMERA, 2, 1, cameraRows},       {IDI_MATERIAL, 2, 1, materialRows},
    {IDI_BOX, 2, 1, boxRows},     {IDI_ANIMATION, 2, 1, animationRows}, {IDI_PREFERENCES, 2, 1, preferencesRows},
};

const VERSIONRESOURCE version = {
    {1, 0, 0, 1},
    {1, 0, 0, 1},
    "The vekexport developers",
    "ExportToVek",
    "1, 0, 0, 1",
    "ExportToVek",
    "Copyright (c) 2026 the vekexport developers",
    "ExportToVek.dle",
    "vekexport",
    "1, 0, 0, 1",
};

} // namespace

extern "C" __attribute__((visibility("default"))) const RESOURCEDIRECTORY ResourceDirectory = {
    stringTable, int(std::size(stringTable)), dialogs,  int(std::size(dialogs)),
    images,      int(std::size(images)),      &version,
};

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

const DLGITEMRESOURCE prefsItems[] = {
    // Left column: object types.
    {"GroupBox", "Types d'objets", IDC_OBJECT_TYPES, 7, 7, 146, 112, 0, 0},
    {"Icon", "", IDC_ICON_DUMMY, 14, 19, 14, 12, 0, IDI_DUMMY},
    {"CheckBox", "Dummys", IDC_DUMMIES, 34, 20, 100, 10, CHECK | WS_GROUP, 0},
    {"Icon", "", IDC_ICON_GEOMETRY, 14, 33, 14, 12, 0, IDI_GEOMETRY},
    {"CheckBox", "G\xc3\xa9om\xc3\xa9tries", IDC_GEOMETRY, 34, 34, 100, 10, CHECK, 0},
    {"CheckBox", "Face 4 vertices", IDC_QUAD_FACES, 46, 46, 90, 10, CHECK, 0},
    {"CheckBox", "Topologies", IDC_TOPOLOGY, 46, 58, 90, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_LIGHT, 14, 71, 14, 12, 0, IDI_LIGHT},
    {"CheckBox", "Lumi\xc3\xa8res", IDC_LIGHTS, 34, 72, 100, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_CAMERA, 14, 85, 14, 12, 0, IDI_CAMERA},
    {"CheckBox", "Cam\xc3\xa9ras", IDC_CAMERAS, 34, 86, 100, 10, CHECK, 0},
    {"Icon", "", IDC_ICON_BOX, 14, 99, 14, 12, 0, IDI_BOX},
    {"CheckBox", "Boites de collision", IDC_BOXES, 34, 100, 100, 10, CHECK, 0},
    // Left column: animation, with the frame and the merge inside its frame.
    {"GroupBox", "Animation", IDC_STATIC, 7, 124, 146, 113, 0, 0},
    {"Icon", "", IDC_ICON_ANIMATION, 14, 136, 14, 12, 0, IDI_ANIMATION},
    {"CheckBox", "Animation", IDC_ANIMATION, 34, 137, 100, 10, CHECK | WS_GROUP, 0},
    {"GroupBox", "Exporter la frame", IDC_STATIC, 14, 151, 132, 34, 0, 0},
    {"CheckBox", "actuelle", IDC_CURRENT_FRAME, 20, 165, 50, 10, CHECK, 0},
    {"Static", "N\xc2\xb0", IDC_STATIC, 76, 166, 12, 8, 0, 0},
    {"Edit", "", IDC_FRAME_EDIT, 90, 164, 30, 12, CHECK, 0},
    {"Spinner", "", IDC_FRAME_SPIN, 121, 164, 8, 12, 0, 0},
    {"GroupBox", "Fusion", IDC_MERGE_GROUP, 14, 189, 132, 42, 0, 0},
    {"CheckBox", "Fusion des vertices p\xc3\xa8res/fils", IDC_MERGE, 20, 201, 122, 10, CHECK, 0},
    {"Static", "Pr\xc3\xa9" "cision fusion:", IDC_STATIC, 20, 216, 66, 8, 0, 0},
    {"Edit", "", IDC_MERGE_PRECISION_EDIT, 90, 214, 30, 12, CHECK, 0},
    {"Spinner", "", IDC_MERGE_PRECISION_SPIN, 121, 214, 8, 12, 0, 0},
    // Right column.
    {"CheckBox", "Exporter pour les versions 3.5 et inf. de KELM", IDC_LEGACY, 160, 7, 147, 18, CHECK | WS_GROUP, 0},
    {"Bitmap", "", IDC_STATIC, 160, 28, 147, 40, 0, IDB_LOGO},
    {"GroupBox", "", IDC_STATIC, 160, 70, 147, 30, 0, 0},
    {"Static", "Plug-in d'Exportation Max 3 et 4 -> Vek", IDC_STATIC, 166, 78, 136, 8, 0, 0},
    {"Static", "Version: 4.0", IDC_STATIC, 166, 88, 136, 8, 0, 0},
    {"GroupBox", "Mat\xc3\xa9riaux", IDC_STATIC, 160, 104, 147, 50, 0, 0},
    {"Icon", "", IDC_ICON_MATERIAL, 166, 115, 14, 12, 0, IDI_MATERIAL},
    {"CheckBox", "Mat\xc3\xa9riaux", IDC_MATERIALS, 186, 116, 100, 10, CHECK, 0},
    {"CheckBox", "Gouraud", IDC_GOURAUD, 198, 128, 90, 10, CHECK, 0},
    {"CheckBox", "Light", IDC_LIGHTING, 198, 140, 90, 10, CHECK, 0},
    {"GroupBox", "Pr\xc3\xa9" "f\xc3\xa9rences", IDC_STATIC, 160, 158, 147, 46, 0, 0},
    {"Icon", "", IDC_ICON_PREFERENCES, 166, 169, 14, 12, 0, IDI_PREFERENCES},
    {"Static", "D\xc3\xa9" "cimales: ", IDC_STATIC, 186, 171, 56, 8, 0, 0},
    {"Edit", "", IDC_DECIMALS_EDIT, 246, 169, 30, 12, CHECK, 0},
    {"Spinner", "", IDC_DECIMALS_SPIN, 277, 169, 8, 12, 0, 0},
    {"Static", "Indentation:", IDC_STATIC, 186, 187, 56, 8, 0, 0},
    {"Edit", "", IDC_INDENT_EDIT, 246, 185, 30, 12, CHECK, 0},
    {"Spinner", "", IDC_INDENT_SPIN, 277, 185, 8, 12, 0, 0},
    {"Button", "OK", IDC_OK, 160, 222, 70, 14, CHECK | BS_DEFPUSHBUTTON, 0},
    {"Button", "Annuler", IDC_CANCEL, 237, 222, 70, 14, CHECK, 0},
};
// Fourteen check boxes, four edits with their spinners, the frames, labels, images and buttons.
static_assert(std::size(prefsItems) == 46);

const DLGITEMRESOURCE aboutItems[] = {
    {"Bitmap", "", IDC_STATIC, 7, 7, 174, 50, 0, IDB_LOGO},
    {"GroupBox", "", IDC_STATIC, 7, 60, 174, 45, 0, 0},
    {"Static", "Plug-in d'Exportation Max -> Vek", IDC_STATIC, 14, 72, 160, 8, 0, 0},
    {"Static", "Version: Beta 01", IDC_STATIC, 14, 86, 160, 8, 0, 0},
    {"Button", "OK", IDC_ABOUT_OK, 69, 113, 50, 14, CHECK | BS_DEFPUSHBUTTON, 0},
};

const DLGRESOURCE dialogs[] = {
    {IDD_PREFS, "Export To Vek Pr\xc3\xa9" "f\xc3\xa9rences", "MS Sans Serif", 8, 314, 244, DIALOG_STYLE, prefsItems,
     int(std::size(prefsItems))},
    {IDD_ABOUT, "About", "MS Sans Serif", 8, 188, 137, DIALOG_STYLE, aboutItems, int(std::size(aboutItems))},
};

// The logo and the icons, drawn for a character display.
const char* const logoRows[] = {
    "                         ",
    " \\  / |--  |/   --+--    ",
    "  \\/  |--  |\\     |  3D  ",
    "              KELM engine ",
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
    {IDB_LOGO, 25, 4, logoRows},
    {IDI_DUMMY, 2, 1, dummyRows},
    {IDI_GEOMETRY, 2, 1, geometryRows},
    {IDI_LIGHT, 1, 1, lightRows},
    {IDI_CAMERA, 2, 1, cameraRows},
    {IDI_MATERIAL, 2, 1, materialRows},
    {IDI_BOX, 2, 1, boxRows},
    {IDI_ANIMATION, 2, 1, animationRows},
    {IDI_PREFERENCES, 2, 1, preferencesRows},
};

} // namespace

extern "C" __attribute__((visibility("default"))) const RESOURCEDIRECTORY ResourceDirectory = {
    stringTable, int(std::size(stringTable)), dialogs, int(std::size(dialogs)), images, int(std::size(images)),
};

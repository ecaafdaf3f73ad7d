// The configuration file: eighteen 32-bit two's-complement values, least significant
// byte first, no header. A short file gives the fields it fully holds; the others
// keep their defaults (reading them as -1, the end-of-file value, would turn on every
// flag and ask for -1 decimals, and the next save would keep them). Bytes beyond the
// 72nd are ignored.
#include "export/SceneExporter.h"

namespace {

const char* const CANNOT_CREATE = "Cr\xc3\xa9"
                                  "ation du fichier de configuration impossible";

// One value; false once the end of the file is reached.
bool ReadWord(FILE* f, int32_t& v)
{
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4)
        return false;
    v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
}

void WriteWord(FILE* f, int32_t v)
{
    uint32_t u = uint32_t(v);
    unsigned char b[4] = {BYTE(u), BYTE(u >> 8), BYTE(u >> 16), BYTE(u >> 24)};
    std::fwrite(b, 1, 4, f);
}

void WriteOptionsTo(Interface* ip, const CStr& path, const ExportOptions& values)
{
    FILE* f = _tfopen(path, "wb");
    if (!f) {
        MessageBox(ip ? ip->GetMAXHWnd() : nullptr, CANNOT_CREATE, "Erreur", MB_OK);
        return;
    }
    for (int i = 0; i < ExportOptions::Count; i++)
        WriteWord(f, values[i]);
    std::fclose(f);
}

} // namespace

CStr SceneExporter::OptionsFilePath()
{
    // The platform's directory separator: a backslash would become part of the file name here.
    CStr path = ip ? ip->GetDir(APP_PLUGCFG_DIR) : "";
    if (path.Length() > 0 && path[path.Length() - 1] != '/')
        path += "/";
    path += OPTIONS_FILE_NAME;
    return path;
}

int SceneExporter::LoadOptions()
{
    CStr path = OptionsFilePath();
    if (!DoesFileExist(path))
        WriteDefaultOptions();
    FILE* f = _tfopen(path, "rb");
    if (!f)
        return 0;
    options = DefaultExportOptions;
    int i = 0;
    while (i < ExportOptions::Count && ReadWord(f, options[i]))
        i++;
    std::fclose(f);
    return 1;
}

void SceneExporter::SaveOptions() { WriteOptionsTo(ip, OptionsFilePath(), options); }

void SceneExporter::WriteDefaultOptions() { WriteOptionsTo(ip, OptionsFilePath(), DefaultExportOptions); }

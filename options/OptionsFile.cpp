// The configuration file (its layout is EncodeOptionsFile's). A short file gives the fields it fully holds; the others
// keep their defaults (reading them as -1, the end-of-file value, would turn on every
// flag and ask for -1 decimals, and the next save would keep them). Bytes beyond the
// 72nd are ignored.
#include "export/SceneExporter.h"

namespace {

const char* const CANNOT_CREATE = "Cr\xc3\xa9"
                                  "ation du fichier de configuration impossible";

void WriteOptionsTo(Interface* ip, const CStr& path, const ExportOptions& values)
{
    FILE* f = _tfopen(path, "wb");
    if (!f) {
        MessageBox(ip ? ip->GetMAXHWnd() : nullptr, CANNOT_CREATE, "Erreur", MB_OK);
        return;
    }
    const std::string bytes = EncodeOptionsFile(values);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
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
    char bytes[OptionsFileSize];
    DecodeOptionsFile(std::string_view(bytes, std::fread(bytes, 1, sizeof(bytes), f)), options);
    std::fclose(f);
    return 1;
}

void SceneExporter::SaveOptions() { WriteOptionsTo(ip, OptionsFilePath(), options); }

void SceneExporter::WriteDefaultOptions() { WriteOptionsTo(ip, OptionsFilePath(), DefaultExportOptions); }

#include "cli/Info.h"

#include "check/VekCheck.h"
#include "cli/ExportSession.h"
#include "cli/ModuleHost.h"
#include "terminal/Terminal.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace vek {

namespace {

const char* OrEmpty(const char* s) { return s ? s : ""; }

// Warns on standard error for each "texture" and "texturebis" line of the Vek file
// whose file is not there: paths relative to the texture root, as the exporter writes
// those under it, or absolute. Returns how many.
int WarnMissingTextures(const std::string& vek, const std::string& root)
{
    std::ifstream in(vek, std::ios::binary);
    int missing = 0, number = 0;
    for (std::string line; std::getline(in, line);) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        std::string word = line.substr(start, line.find(' ', start) - start);
        if (word != "texture" && word != "texturebis")
            continue;
        std::string file = line.substr(std::min(line.size(), start + word.size() + 1));
        if (word == "texturebis") // the blend amount follows the path
            file = file.substr(0, file.find_last_of(' ') == std::string::npos ? file.size() : file.find_last_of(' '));
        const std::filesystem::path p(file);
        std::error_code ec;
        if (file.empty() || std::filesystem::is_regular_file(p.is_absolute() ? p : root / p, ec))
            continue;
        std::string reason = word;
        reason.append(" ").append(file).append(": no such file under ").append(root);
        Tell(AppError(reason, vek, std::to_string(number), EXIT_EXPORTED));
        missing++;
    }
    return missing;
}

// The static texts of a dialog, its caption first; the default button is pressed.
std::vector<std::string> DialogTexts(DialogSession& session)
{
    char buf[256];
    GetWindowText(session.dialog, buf, int(sizeof(buf)));
    std::vector<std::string> texts = {buf};
    for (HWND c : session.controls)
        if (std::string(GetWindowClassName(c)) == "Static" && GetWindowText(c, buf, int(sizeof(buf))) > 0)
            texts.push_back(buf);
    PressDefaultButton(session);
    return texts;
}

// The about box's texts, read without drawing it.
std::vector<std::string> AboutTexts(SceneExport& exporter)
{
    std::vector<std::string> texts;
    SetDialogFrontEnd([&texts](DialogSession& session) { texts = DialogTexts(session); });
    exporter.ShowAbout(GetApplicationWindow());
    SetDialogFrontEnd(nullptr);
    return texts;
}

std::string FileVersion(const ExportModule& module)
{
    const VERSIONRESOURCE* v = FindVersionResource(module.Handle());
    if (!v)
        return "(no version information)";
    return std::to_string(v->fileVersion[0]) + "." + std::to_string(v->fileVersion[1]) + "." +
           std::to_string(v->fileVersion[2]) + "." + std::to_string(v->fileVersion[3]);
}

// What the module and its exporter say of their versions, in one story: the module's
// file version (vekexport is built with it and carries the same), the exporter's
// version that every file's header repeats, and the about box's own words.
std::string VersionLines(const std::string& modulePath, const ExportModule& module, SceneExport& exporter)
{
    // The module's texts share one buffer: each is copied before the next is asked for.
    unsigned version = exporter.Version();
    std::string shortDesc = OrEmpty(exporter.ShortDesc());
    std::string ext = OrEmpty(exporter.Ext(0));
    char exporterVersion[16];
    std::snprintf(exporterVersion, sizeof(exporterVersion), "%u.%02u", version / 100, version % 100);
    std::string about;
    for (const std::string& text : AboutTexts(exporter))
        if (text.rfind("Version", 0) == 0)
            about = text;
    std::string name = std::filesystem::path(modulePath).filename().string();
    return "vekexport " + FileVersion(module) + ", with the export module " + name + " " + FileVersion(module) + "\n" +
           shortDesc + " (." + ext + ") exporter version " + exporterVersion + " (the \"# Version: " + exporterVersion +
           "\" line of every file; its about box says \"" + about + "\")\n";
}

} // namespace

int RunCheck(const Request& request)
{
    CheckReport report = CheckVekFile(request.checkPath);
    if (report.unreadable) { // an error of the run, not a finding in a file
        std::string text = FormatReport(report);
        if (text.ends_with('\n'))
            text.pop_back();
        return Told(AppError(text));
    }
    std::fputs(FormatReport(report).c_str(), stdout);
    if (!request.textureRoot.empty())
        if (int missing = WarnMissingTextures(request.checkPath, request.textureRoot))
            Tell(Warning(std::to_string(missing) + (missing == 1 ? " texture" : " textures") + " not found",
                         request.checkPath));
    if (report.Clean())
        std::printf("%s: no finding\n", request.checkPath.c_str());
    return report.Clean() ? 0 : 1;
}

int ShowOptions(const Request& request)
{
    const std::string path = request.OptionsPath();
    ExportOptions options = DefaultExportOptions;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        Tell(Warning(path + " does not exist yet: the first export creates it with these defaults"));
    } else if (!ReadOptionsFile(path, options)) {
        return Told(AppError(std::string("cannot read the options: ") + std::strerror(errno), path));
    } else if (std::string note =
                   OptionsFileLengthNote(path, static_cast<long long>(std::filesystem::file_size(path, ec)));
               !note.empty()) {
        Tell(Warning(note));
    }
    std::fputs(FormatOptions(options).c_str(), stdout);
    return EXIT_EXPORTED;
}

int ShowAbout(const Request& request)
{
    ExportModule module(request.modulePath);
    std::unique_ptr<SceneExport> exporter = module.CreateExporter();
    if (term::HaveTerminal() && !request.noPrompt) {
        HeldTerminal screen;
        SetDialogFrontEnd(TerminalFrontEnd);
        exporter->ShowAbout(GetApplicationWindow());
        SetDialogFrontEnd(nullptr);
        return EXIT_EXPORTED;
    }
    // Without a terminal the box is not drawn: its texts are printed, with what the
    // module says of itself.
    std::vector<std::string> texts = AboutTexts(*exporter);
    for (size_t k = 0; k < texts.size(); k++)
        std::printf("%s%s\n", k ? "  " : "", texts[k].c_str());
    std::printf("%s\n", OrEmpty(exporter->LongDesc()));
    std::printf("%s\n", OrEmpty(exporter->AuthorName()));
    std::printf("%s\n", OrEmpty(exporter->CopyrightMessage()));
    std::fputs(VersionLines(request.modulePath, module, *exporter).c_str(), stdout);
    return EXIT_EXPORTED;
}

int ShowVersion(const Request& request)
{
    ExportModule module(request.modulePath);
    std::unique_ptr<SceneExport> exporter = module.CreateExporter();
    std::fputs(VersionLines(request.modulePath, module, *exporter).c_str(), stdout);
    return EXIT_EXPORTED;
}

int ListFormats()
{
    for (const std::string& format : ReadableFormats())
        std::printf("%s\n", format.c_str());
    return EXIT_EXPORTED;
}

} // namespace vek

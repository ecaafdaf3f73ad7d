#include "cli/BatchPlan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

namespace vek {

namespace fs = std::filesystem;

namespace {

std::string Stem(const fs::path& scene)
{
    std::string stem = scene.stem().string();
    if (scene.extension() == ".json" && stem.ends_with(".scene"))
        stem.resize(stem.size() - 6);
    return stem;
}

PlannedScene Planned(std::string scene, std::string output)
{
    PlannedScene p;
    p.scene = std::move(scene);
    p.output = std::move(output);
    return p;
}

bool Hidden(const fs::path& p) { return p.filename().string().starts_with("."); }

// The regular files under root, in name order, leaving out hidden entries and `skip`
// (the output directory, whose files would otherwise be found by the next batch).
std::vector<fs::path> FilesUnder(const fs::path& root, const fs::path& skip)
{
    std::vector<fs::path> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        const bool dir = it->is_directory(kind);
        if (Hidden(it->path()) || (dir && fs::equivalent(it->path(), skip, kind))) {
            if (dir)
                it.disable_recursion_pending();
            continue;
        }
        if (!dir && it->is_regular_file(kind))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The scenes of a folder, each with its output under outputDir.
void AddFolder(const Request& r, const fs::path& root, std::vector<PlannedScene>& plan)
{
    std::vector<fs::path> scenes;
    for (const fs::path& file : FilesUnder(root, r.outputDir))
        if (IsSceneFile(file.string()))
            scenes.push_back(file);
    if (scenes.empty())
        Tell(Warning("no scene in this folder", root.string()));
    // Scenes of one folder sharing a stem keep their whole names, so that they cannot
    // be written to one file.
    std::map<std::pair<fs::path, std::string>, int> stems;
    for (const fs::path& scene : scenes)
        stems[{scene.parent_path(), Stem(scene)}]++;
    for (const fs::path& scene : scenes) {
        const bool shared = stems[{scene.parent_path(), Stem(scene)}] > 1;
        const fs::path place = scene.parent_path().lexically_relative(root) /
                               ((shared ? scene.filename().string() : Stem(scene)) + ".vek");
        plan.push_back(Planned(scene.string(), (fs::path(r.outputDir) / place).lexically_normal().string()));
    }
}

// The time after which an output must have been written to be up to date: the later
// of the options file's and the module's; none when the options of this batch are not
// those of the file (its values are changed by --set, or it is missing).
std::optional<fs::file_time_type> OptionsTime(const Request& r, bool& boxes)
{
    ExportOptions saved;
    if (!ReadOptionsFile(r.OptionsPath(), saved))
        return std::nullopt;
    for (const OptionSetting& s : r.settings)
        if (saved[s.field] != s.value)
            return std::nullopt;
    boxes = saved.exportBoxes != 0;
    std::error_code ec, moduleEc;
    fs::file_time_type options = fs::last_write_time(r.OptionsPath(), ec);
    fs::file_time_type module = fs::last_write_time(r.modulePath, moduleEc);
    if (ec || moduleEc)
        return std::nullopt;
    return std::max(options, module);
}

// Whether every file of the scene that is wanted is newer than the scene and `since`.
// A ".box" file is wanted only when it exists: an export with no collision box writes none.
bool UpToDate(const PlannedScene& p, fs::file_time_type since, bool boxes)
{
    std::error_code ec;
    since = std::max(since, fs::last_write_time(p.scene, ec));
    if (ec)
        return false;
    auto newer = [since](const std::string& path, bool needed) {
        std::error_code missing;
        fs::file_time_type t = fs::last_write_time(path, missing);
        return missing ? !needed : t > since;
    };
    return newer(p.output, true) && (!boxes || newer(BoxFileOf(p.output), false)) &&
           (p.preview.empty() || newer(p.preview, true));
}

} // namespace

std::string BoxFileOf(const std::string& output)
{
    size_t slash = output.rfind('/');
    size_t dot = output.rfind('.');
    bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return output.substr(0, extension ? dot : output.size()) + ".box";
}

std::vector<PlannedScene> PlanBatch(const Request& r)
{
    std::vector<PlannedScene> plan;
    for (const std::string& input : r.scenes) {
        std::error_code ec;
        if (fs::is_directory(input, ec))
            AddFolder(r, input, plan);
        else
            plan.push_back(Planned(input, (fs::path(r.outputDir) / (Stem(input) + ".vek")).string()));
    }
    std::map<std::string, std::string> taken; // output -> scene
    for (PlannedScene& p : plan)
        if (auto [it, fresh] = taken.emplace(p.output, p.scene); !fresh)
            p.refusal = p.output + " is the output of " + it->second + " already";
    if (!r.render.preview.empty())
        for (PlannedScene& p : plan)
            p.preview = (fs::path(r.render.preview) / fs::path(p.output).lexically_normal().lexically_relative(
                                                          fs::path(r.outputDir).lexically_normal()))
                            .string() +
                        ".png";
    bool boxes = false;
    std::optional<fs::file_time_type> since = r.force ? std::nullopt : OptionsTime(r, boxes);
    if (since)
        for (PlannedScene& p : plan)
            p.upToDate = p.refusal.empty() && UpToDate(p, *since, boxes);
    return plan;
}

} // namespace vek

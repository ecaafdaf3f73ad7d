// A request turned back into arguments parses to itself, so that a batch passes every
// option on to the exports it runs.
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <set>

namespace vek {
namespace {

std::optional<Request> Parse(std::vector<std::string> args, int& status)
{
    args.insert(args.begin(), "vekexport");
    std::vector<char*> argv;
    argv.reserve(args.size());
    for (std::string& a : args)
        argv.push_back(a.data());
    return ParseCommandLine(int(argv.size()), argv.data(), status);
}

// The options --help lists.
std::set<std::string> HelpOptions()
{
    int status = -1;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Parse({"--help"}, status));
    std::string help = testing::internal::GetCapturedStdout();
    std::set<std::string> names;
    std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    names.erase("--help");
    return names;
}

OptionSetting Setting(const std::string& text)
{
    OptionSetting s;
    std::string error;
    EXPECT_TRUE(ParseOptionSetting(text, s, error)) << error;
    return s;
}

// A request for another action than an export, which names no scene.
Request& Action(Request& r, Request::Action action)
{
    r.action = action;
    r.scenes.clear();
    r.output.clear();
    return r;
}

// Each option set to a value other than its default. An action's row makes a request of
// its own; the others all go into each request.
struct Case {
    const char* option;
    bool action;
    std::function<void(Request&)> set;
};

const Case Cases[] = {
    {"--no-prompt", false, [](Request& r) { r.noPrompt = true; }},
    {"--selected-only", false, [](Request& r) { r.selectedOnly = true; }},
    {"--set", false,
     [](Request& r) {
         r.settings = {Setting("decimals=3"), Setting("exportLights=1")};
     }},
    {"--no-save", false, [](Request& r) { r.noSave = true; }},
    {"--quiet", false, [](Request& r) { r.quiet = true; }},
    {"--report", false, [](Request& r) { r.reportPath = "run report.json"; }},
    {"--force", false, [](Request& r) { r.force = true; }},
    {"--config-dir", false, [](Request& r) { r.configDir = "/tmp/some config"; }},
    {"--module", false, [](Request& r) { r.modulePath = "/opt/vek/Other.dle"; }},
    {"--texture-root", false, [](Request& r) { r.textureRoot = r.render.settings.textureRoot = "/data/textures"; }},
    {"--up", false, [](Request& r) { r.up = ImportOptions::Up::Z; }},
    {"--scale", false, [](Request& r) { r.scale = 0.1 + 0.2; }}, // no short decimal form
    {"--max-memory", false, [](Request& r) { r.maxMemory = 3ull << 30; }},
    {"--max-output", false, [](Request& r) { r.maxOutput = 0; }},
    {"--import-timeout", false, [](Request& r) { r.importTimeout = 7; }},
    {"--preview", false, [](Request& r) { r.render.preview = "view.png"; }},
    {"--size", false, [](Request& r) { r.render.settings.width = 640, r.render.settings.height = 4000; }},
    {"--camera", false, [](Request& r) { r.render.settings.camera = "Camera 01"; }},
    {"--wire", false, [](Request& r) { r.render.settings.outlines = true; }},
    {"--output-dir", true,
     [](Request& r) {
         Action(r, Request::Action::Batch).outputDir = "out";
         r.scenes = {"a.json", "-b.obj", "folder"};
     }},
    {"--jobs", true,
     [](Request& r) {
         Action(r, Request::Action::Batch).outputDir = "out";
         r.scenes = {"a.json"};
         r.jobs = 1000;
     }},
    {"--check", true, [](Request& r) { Action(r, Request::Action::Check).checkPath = "c.vek"; }},
    {"--render", true,
     [](Request& r) {
         Action(r, Request::Action::Render).render.files = {"r.vek", "r.png"};
     }},
    {"--recover", true, [](Request& r) { Action(r, Request::Action::Recover).recoverDir = "out"; }},
    {"--show-options", true, [](Request& r) { Action(r, Request::Action::ShowOptions); }},
    {"--about", true, [](Request& r) { Action(r, Request::Action::About); }},
    {"--version", true, [](Request& r) { Action(r, Request::Action::Version); }},
    {"--list-formats", true, [](Request& r) { Action(r, Request::Action::ListFormats); }},
};

TEST(CommandLine, EveryOptionOfARequestSurvivesItsArguments)
{
    int status = -1;
    std::optional<Request> plain = Parse({"scene.json", "out.vek"}, status);
    ASSERT_TRUE(plain);
    std::set<std::string> covered;
    for (const Case& c : Cases) {
        covered.insert(c.option);
        if (!c.action)
            c.set(*plain);
    }
    EXPECT_EQ(covered, HelpOptions()) << "an option of the parser has no case here";
    std::vector<Request> requests = {*plain};
    for (const Case& c : Cases)
        if (c.action)
            c.set(requests.emplace_back(*plain));
    for (const Request& r : requests) {
        std::vector<std::string> args = ToArguments(r);
        std::optional<Request> parsed = Parse(args, status);
        std::string line;
        for (const std::string& a : args)
            line += " " + a;
        ASSERT_TRUE(parsed) << line;
        EXPECT_TRUE(*parsed == r) << line;
    }
}

} // namespace
} // namespace vek

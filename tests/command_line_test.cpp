// A request turned back into arguments parses to itself, so that a batch passes every
// option on to the exports it runs. The options and the kinds of their values are read
// from --help, so that an option added to the parser is tried here without a word of
// this test changing (unless its value is of a kind none has had before).
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

namespace vek {
namespace {

std::optional<Request> Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "vekexport");
    std::vector<char*> argv;
    argv.reserve(args.size());
    for (std::string& a : args)
        argv.push_back(a.data());
    int status = -1;
    testing::internal::CaptureStderr();
    std::optional<Request> r;
    try {
        r = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), status);
    } catch (const AppError&) { // a mistake of the command line
    }
    testing::internal::GetCapturedStderr();
    return r;
}

std::string Line(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& a : args)
        line += " " + a;
    return line;
}

// A value, other than the default, for each kind of value --help names ("DIR",
// "SIZE:SIZE [b, kb(=1024b), ...]", "FILE.vek IMAGE.png x 2"): the word before any colon.
const std::map<std::string, std::string> Samples = {
    {"NAME=VALUE", "decimals=3"},
    {"FILE.json", "run report.json"},
    {"DIR", "/tmp/some dir"},
    {"INT", "1000"},
    {"TEXT", "/opt/vek/Other.dle"},
    {"FACTOR", "0.3"},
    {"FILE.vek", "c.vek"},
    {"IMAGE.png", "view.png"},
    {"WxH", "640x4000"},
    {"NAME", "Camera 01"},
    {"SIZE", "3G"},
    {"SECONDS", "7"},
};

// An option of --help with the arguments that give it a value: "--up" with "z" (the
// last of its choices), "--render" with "c.vek" and "view.png".
struct Option {
    std::string name;
    std::vector<std::string> args;
};

std::vector<Option> HelpOptions()
{
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Parse({"--help"}));
    std::istringstream help(testing::internal::GetCapturedStdout());
    std::vector<Option> options;
    const std::regex row(R"(^  (-\w,)?(--[a-z][a-z-]*)( [^ ].*?)?(  .*)?$)"), choices(R"(\{(?:[^,}]*,)*([^,}]*)\})");
    bool inOptions = false;
    for (std::string line; std::getline(help, line);) {
        std::smatch m;
        if (line.starts_with("Options"))
            inOptions = line == "Options:";
        if (!inOptions || !std::regex_match(line, m, row) || m[2] == "--help")
            continue;
        Option o{m[2], {}};
        std::smatch choice;
        std::string kinds = m[3].str();
        if (std::regex_search(kinds, choice, choices))
            o.args.push_back(choice[1]);
        else
            for (std::istringstream words(kinds.substr(0, kinds.find(':'))); words;) {
                std::string word;
                if (words >> word && Samples.count(word))
                    o.args.push_back(Samples.at(word));
            }
        options.push_back(o);
    }
    return options;
}

// Arguments an option is tried among, in turn: an action of its own, a batch, an export.
// The option goes before them.
const std::vector<std::string> Contexts[] = {
    {}, {"--output-dir", "out", "--", "a.json", "-b.obj"}, {"scene.json", "out.vek"}};

TEST(CommandLine, EveryOptionOfARequestSurvivesItsArguments)
{
    const std::vector<Option> options = HelpOptions();
    ASSERT_GT(options.size(), 25u);
    std::vector<std::string> together;
    for (const Option& o : options) {
        std::optional<Request> r;
        size_t c = 0;
        for (; c < std::size(Contexts) && !r; c++) {
            std::vector<std::string> args = {o.name};
            args.insert(args.end(), o.args.begin(), o.args.end());
            args.insert(args.end(), Contexts[c].begin(), Contexts[c].end());
            r = Parse(args);
        }
        ASSERT_TRUE(r) << o.name << " parses in none of its contexts";
        std::optional<Request> without = Parse(Contexts[c - 1]);
        EXPECT_FALSE(without && *without == *r) << o.name << " changes nothing in the request";
        std::vector<std::string> back = ToArguments(*r);
        std::optional<Request> again = Parse(back);
        ASSERT_TRUE(again) << o.name << ":" << Line(back);
        EXPECT_TRUE(*again == *r) << o.name << ":" << Line(back);
        if (c == 2) { // an option of a batch's exports: all of them in one request as well
            together.push_back(o.name);
            together.insert(together.end(), o.args.begin(), o.args.end());
        }
    }
    together.insert(together.end(), Contexts[1].begin(), Contexts[1].end());
    std::optional<Request> all = Parse(together);
    ASSERT_TRUE(all) << Line(together);
    std::optional<Request> again = Parse(ToArguments(*all));
    ASSERT_TRUE(again) << Line(ToArguments(*all));
    EXPECT_TRUE(*again == *all) << Line(ToArguments(*all));
}

} // namespace
} // namespace vek

// What a batch is to do: the scenes of its inputs, where each one's files go, and which
// of them are already up to date.
#pragma once

#include "cli/CommandLine.h"

#include <string>
#include <vector>

namespace vek {

struct PlannedScene {
    std::string scene;
    std::string output;  // the Vek file
    std::string preview; // its picture, "" for none
    std::string refusal; // why it is not exported, known before it would start; "" for none
    bool upToDate = false;
};

// The scenes of the request's inputs, in order. A file is exported to
// outputDir/<stem>.vek (its name without its extension, and without ".scene" for
// NAME.scene.json). A folder is walked, in name order and without its hidden entries or
// the output directory, for the files that are scenes (IsSceneFile); each is exported
// to the same place under outputDir as it has under the folder, named by its stem, or
// by its whole name when another scene of its folder has the same stem (Wuson.ac and
// Wuson.acc give Wuson.ac.vek and Wuson.acc.vek). A scene whose output another one
// already takes is refused. With --preview DIR, each picture is DIR/<the output's place
// under outputDir>.png. Unless --force, a scene whose files are all newer than it, than
// the options file and than the module (and made with the options in force: no --set
// value changes them) is up to date. A folder holding no scene is noted on standard error.
std::vector<PlannedScene> PlanBatch(const Request& request);

// The ".box" file of an output: its extension replaced, or ".box" added.
std::string BoxFileOf(const std::string& output);

} // namespace vek

// What vekexport tells without exporting: the check of a file, the saved options,
// the about box, the versions, the readable formats. Each returns the exit status.
#pragma once

#include "cli/CommandLine.h"

namespace vek {

int RunCheck(const Request& request);
int ShowOptions(const Request& request);
int ShowAbout(const Request& request);
int ShowVersion(const Request& request);
int ListFormats();

} // namespace vek

// A batch: many scenes exported to one directory, each by its own vekexport process,
// so that a fault in one model cannot take the others down.
#pragma once

#include "cli/CommandLine.h"

namespace vek {

// Exports every scene of the request's files and folders where PlanBatch (BatchPlan.h)
// puts it, `jobs` at once, without the dialog, leaving out those up to date. Prints a
// line per scene as it ends: status, triangles, seconds and failed nodes on standard
// output, or, for a scene not exported, why on standard error (with --quiet, only
// those); then a total line. The options are read once before and saved once after
// (not with --no-save). Returns the worst status of the scenes.
int RunBatch(const Request& request);

// Stops the running exports of the batch with the signal (an interrupt of the batch).
void StopBatch(int signal);

} // namespace vek

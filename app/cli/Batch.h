// A batch: many scenes exported to one directory, each by its own vekexport process,
// so that a fault in one model cannot take the others down.
#pragma once

#include "cli/CommandLine.h"

namespace vek {

// Exports every scene of the request to outputDir/<stem>.vek (the scene's file name
// without its extension, and without ".scene" for NAME.scene.json), `jobs` at once,
// without the dialog. Prints a line per scene as it ends (status, triangles, seconds,
// and what went wrong) and a total line; the options are read once before and saved
// once after. Returns the worst status of the scenes.
int RunBatch(const Request& request);

// Stops the running exports of the batch with the signal (an interrupt of the batch).
void StopBatch(int signal);

} // namespace vek

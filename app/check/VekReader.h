// The reader of Vek files: one pass over the lines through a bounded line buffer,
// telling a consumer (VekEvents.h) what each line holds and every fault it finds in
// it. Damaged or hostile input (truncated, binary, enormous lines, huge counts) only
// gives findings; nothing per vertex or face is kept, whatever the file's size.
#pragma once

#include "check/VekEvents.h"

#include <cstdio>
#include <vector>

namespace vek {

// Reads the Vek stream `in` to its end and tells `to` what it holds, line by line,
// then End; Vertex and Face events only when one of them takes them. A stream whose first lines are not a Vek header
// gives NotVek and is read no further. With `skim`, vertex and face lines shaped as the exporter writes them are
// counted by their shape, their numbers not read (the Vertex events are zero, the Face events not usable): the figures
// of a file this program has just written, at a fraction of the cost, with the findings about those lines left out.
void ReadVek(std::FILE* in, ConsumerList& to, bool skim = false);

// The kinds of block the reader knows, in the order of its table.
std::vector<const BlockKind*> BlockKinds();

} // namespace vek

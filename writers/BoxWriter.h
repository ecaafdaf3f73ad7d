// The ".box" file: the collision boxes in fixed point and their overlapping pairs.
//
// A plain sequence of numbers read by position: the box count; for each box a line
// " <id> <inner radius>", its centre and its six planes (in the order 0, 5, 2, 3, 4,
// 1), each line starting with two blanks; one "<i> <j>" line per overlapping pair of
// list positions (i > j); and "-1 -1". Fixed-point values are 32-bit integers with
// 1.0 as 0x4000, in lower-case hexadecimal, negative ones as their two's complement:
// - a centre component is truncated to a whole number before the scaling (2.7 gives
//   8000); components beyond what 32 bits hold give 7fffc000 or 80000000;
// - a plane's a, b and c are scaled, truncated and cut to their low 16 bits (-1.0
//   gives c000), its d is scaled and truncated to 32 bits (-5.0 gives fffec000),
//   saturating at 7fffffff and 80000000; a value that is not a number gives 0.
#pragma once

#include "writers/NodeWriter.h"

class BoxList;
class BoxRecord;

class BoxWriter : public NodeWriter {
public:
    // The writer neither owns nor closes the file, and only reads the list.
    BoxWriter(FILE* boxFile, Interface* ip, BoxList* boxList);
    ~BoxWriter() override;
    // Writes the whole file; node is ignored. 0, or ERROR_BOX without a file.
    // Nothing is written for an empty (or missing) list. Nothing either, ERROR_BOX and
    // the file transaction failed with a message naming the count of pairs, when the
    // file would be larger than the host's output limit (OutputLimit, transaction.h).
    ErrorFlags Export(INode* node) override;
    // 1 when a corner of one box lies inside the other (on a face counts), else 0.
    // Boxes crossing without either holding a corner of the other do not overlap.
    int BoxesOverlap(BoxRecord* a, BoxRecord* b);

private:
    // Bytes of the count line, the box lines and the terminator.
    long long BoxLinesBytes(int n);
    // Whether the whole file fits the output limit; says why not to the transaction.
    bool FitsLimit(int n);

    BoxList* boxList;
};

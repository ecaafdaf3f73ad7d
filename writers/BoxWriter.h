// The ".box" file: the collision boxes in fixed point and their overlapping pairs.
#pragma once

#include "writers/NodeWriter.h"

class BoxList;
class BoxRecord;

class BoxWriter : public NodeWriter {
public:
    BoxWriter(FILE* boxFile, Interface* ip, BoxList* boxList);
    ~BoxWriter() override;
    // 0, or ERROR_BOX without a file.
    ErrorFlags Export(INode* node) override;
    // 1 when a corner of one box lies inside the other (on a face counts).
    int BoxesOverlap(BoxRecord* a, BoxRecord* b);

private:
    BoxList* boxList;
};

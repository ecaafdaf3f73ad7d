// The reader of ".box" collision files: the number of boxes, each box (head line,
// centre, six planes), then the pairs of boxes that touch, in order, ended by "-1 -1".
#pragma once

#include "check/VekEvents.h"

#include <cstdio>

namespace vek {

// Reads the ".box" stream `in` and tells `to` what it holds (BoxCount, then Box and
// its BoxPlane events for each box) and every fault it finds.
void ReadBox(std::FILE* in, VekConsumer& to);

} // namespace vek

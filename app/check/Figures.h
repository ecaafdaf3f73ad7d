// The consumer that counts what a Vek file and its ".box" file hold: the figures of
// the export summary and of --check.
#pragma once

#include "check/VekEvents.h"

#include <cstddef>

namespace vek {

class FigureCounter final : public VekConsumer {
public:
    explicit FigureCounter(VekFigures& f);

    bool TakesGeometry() const override { return false; } // counted by the blocks that hold them
    void BlockOpened(const BlockEvent& e) override;
    void BlockClosed(const BlockEvent& e) override;
    void Marker(long line, int marker) override;
    void BoxCount(long long count) override;

private:
    VekFigures& figures;
    size_t vertices, quads, triangles, boxes; // their places in the figures
};

} // namespace vek

// The consumer that counts what a Vek file and its ".box" file hold: the figures of
// the export summary and of --check.
#pragma once

#include "check/VekEvents.h"

namespace vek {

class FigureCounter final : public VekConsumer {
public:
    explicit FigureCounter(VekFigures& f) : figures(f) {}

    void BlockOpened(const BlockEvent& e) override;
    void Vertex(const VekVector&) override { figures.vertices++; }
    void Face(const FaceEvent& f) override { (f.quad ? figures.quads : figures.triangles)++; }
    void Marker(long line, int marker) override;
    void BoxCount(long long count) override { figures.boxes = count; }

private:
    VekFigures& figures;
};

} // namespace vek

// A deliberately plain second implementation of block replication and the
// four slope passes, written line by line from the description of each pass,
// to check the engine's single orientation-driven algorithm against.
#pragma once

#include "engine/ScaleJob.h"

#include <cstdint>
#include <vector>

namespace gridmint::test {

struct ReferenceInput {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // row-major source indices
    std::vector<Colour> palette;
    int factor = 1;
    double threshold = 20;
    int transparent = -1;
};

// How often the random images reach the rarer branches.
struct ReferenceCoverage {
    long similarModeRuns = 0;
    long lighterSideStarts = 0;
    long farSideStarts = 0;
    long bulges = 0;
    long notches = 0;
    long notchesIntoNextBlock = 0; // far-side notch reaching depth f + 1
};

struct ReferenceResult {
    std::vector<std::uint8_t> output; // (factor x width) x (factor x height)
    std::vector<std::uint8_t> marks;  // width x height
    ReferenceCoverage coverage;
};

ReferenceResult referenceRun(const ReferenceInput& in);

} // namespace gridmint::test

// The four slope passes of a scale job. Internal to the engine.
#pragma once

#include "engine/ScaleJob.h"

namespace gridmint {

class SlopePassRunner {
public:
    explicit SlopePassRunner(ScaleJob& job) : job_(job) {}

    // The passes against the left, right, upper and lower neighbour, in that
    // order (later passes' pixels stand where strips overlap). Needs the
    // job's block replication and relation table of the current run.
    void runAll();
    void runOne(MarkBit pass);

private:
    template <class Orientation> void runPass();

    ScaleJob& job_;
};

} // namespace gridmint

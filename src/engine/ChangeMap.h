// Which output pixels the slope passes changed, and which pass changed them
// last, for showing the engine's work apart from the plain enlargement.
//
// Definition: a pixel of the map is marked exactly where the finished result
// differs from the plain block enlargement; its code names the last pass
// whose run changed the pixel's value. A pass that writes the colour a pixel
// already has leaves no trace, and a pixel that a later pass put back to its
// block colour is unmarked: the map shows what the artist sees change.
#pragma once

#include "engine/ScaleJob.h"
#include "image/Containers.h"

#include <array>
#include <cstdint>

namespace gridmint {

// One byte per output pixel; the codes are also the palette indices of the
// map as a file (see changeMapColours()).
enum ChangeCode : std::uint8_t {
    kUnchanged = 0,
    kChangedByLeft = 1,
    kChangedByRight = 2,
    kChangedByTop = 3,
    kChangedByBottom = 4,
};
constexpr std::size_t kChangeCodeCount = 5;

// Runs the job's whole pipeline with the slope passes, giving exactly the
// output of job.run(true), but one pass at a time so that each pass's changes
// can be seen; `changes` is (re)allocated to the output's size and filled
// with ChangeCode values. Afterwards job.slopePasses() reads false, since the
// job ran its passes one by one. Throws what ScaleJob::run throws, and
// std::bad_alloc when the map's memory cannot be had.
void runTracingChanges(ScaleJob& job, IndexedImage& changes);

// The images runTracingChanges works in besides the map. A caller that traces
// many runs of one size keeps them, and `changes`, from run to run, so that
// only the first run allocates.
struct ChangeTraceScratch {
    IndexedImage plain;  // the plain blocks
    IndexedImage before; // the output before the current pass
};
void runTracingChanges(ScaleJob& job, IndexedImage& changes, ChangeTraceScratch& scratch);

// The map's colours for a palette file: kUnchanged fully transparent, then
// one opaque colour per pass (left vermilion, right blue, top bluish green,
// bottom reddish purple: the Okabe-Ito colours, which stay apart for the
// common forms of colour blindness).
std::array<Colour, kChangeCodeCount> changeMapColours();

} // namespace gridmint

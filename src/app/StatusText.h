#pragma once

#include "engine/ScaleJob.h"

#include <array>
#include <string>

namespace gridmint {

// The status-bar line for one source pixel (UTF-8), counts in the order
// left, right, up, down for each record.
std::string FormatStatusText(const NeighbourStats& stats);
// The twelve counts in the order the line shows them, for callers that
// word the line themselves (the desktop program in another language).
std::array<int, 12> StatusCounts(const NeighbourStats& stats);

} // namespace gridmint

#pragma once

#include "engine/ScaleJob.h"

#include <string>

namespace gridmint {

// The status-bar line for one source pixel (UTF-8), counts in the order
// left, right, up, down for each record.
std::string FormatStatusText(const NeighbourStats& stats);

} // namespace gridmint

// One zlib stream compressed in bands of rows on several threads.
//
// Each band is a raw deflate run primed with the last 32 KiB of the rows
// before it, so matches still reach across band edges, and ends on a byte
// boundary (a sync flush; the last band finishes the stream). The pieces are
// written in order as they complete, so the whole stream is never held in
// memory, and the bands' Adler-32 sums are combined into the stream's.
#pragma once

#include "image/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace gridmint {

struct DeflateSettings {
    int level = 9;             // zlib level
    int libdeflateLevel = 0;   // non-zero: libdeflate at this level (1..12) instead of zlib
    unsigned threads = 0;      // 0: one per core
    std::size_t bandBytes = 0; // 0: the compressor's own choice (tests use small bands)
};

// Appends the bytes that row `y` puts into the stream. Called from several
// threads at once, for different rows.
using RowEncoder = std::function<void(std::int32_t y, std::vector<std::uint8_t>& out)>;

// Writes the zlib stream of rows 0 .. rows-1, each `rowBytes` long, to `out`
// in order. `progress(rowsDone)` follows each piece written, on the calling
// thread. False when compressing failed or `out` refused a piece.
bool deflateRows(std::int32_t rows, std::size_t rowBytes, const RowEncoder& encodeRow,
                 const DeflateSettings& settings, const platform::ByteSink& out,
                 const std::function<void(std::int32_t)>& progress);

} // namespace gridmint

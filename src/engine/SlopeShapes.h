// The four shapes a slope pass paints into the strip of a run, as a depth
// (number of strip pixels, counted from the edge that faces the lighter
// neighbour) for every along-run line r = 0 .. f x len - 1.
//
// Two variants of the bulge and the notch exist. The passes that look left
// and up use the near-side variant; the passes that look right and down use
// the far-side one, whose notch starts a pixel deeper and whose counter is
// not reset on the last line of the first half, so that it can reach one
// pixel into the block beyond the run (depth f + 1).
#pragma once

#include <cstdint>
#include <vector>

namespace gridmint {

enum class SlopeShape : std::uint8_t { StartWedge, EndWedge, Bulge, Notch };
enum class SlopeVariant : std::uint8_t { NearSide, FarSide };

// Calls fn(r, depth) for r = rBegin .. rEnd - 1 (clamped to 0 .. f x len - 1)
// in order: the lines of one output band. Depths may be 0 or negative
// (nothing to paint on that line); they never exceed f, except the far-side
// notch, which reaches f + 1 for odd f.
template <class Fn>
inline void forEachDepthIn(SlopeShape shape, SlopeVariant variant, int f, int len, int rBegin,
                           int rEnd, Fn&& fn)
{
    const int lines = f * len;
    if (rEnd > lines)
        rEnd = lines;
    if (rBegin < 0)
        rBegin = 0;
    switch (shape) {
    case SlopeShape::StartWedge:
    case SlopeShape::EndWedge: {
        // The depth moves by one every len lines; walk it in blocks of len
        // instead of dividing per line, from the block that holds rBegin.
        const bool start = shape == SlopeShape::StartWedge;
        int q = rBegin / len;
        int r = rBegin;
        for (; r < rEnd; ++q) {
            const int depth = start ? f - 1 - q : q;
            const int blockEnd = (q + 1) * len < rEnd ? (q + 1) * len : rEnd;
            for (; r < blockEnd; ++r)
                fn(r, depth);
        }
        return;
    }
    case SlopeShape::Bulge:
    case SlopeShape::Notch: {
        // A counter, not a formula: the lines before rBegin are walked
        // without painting.
        const bool bulge = shape == SlopeShape::Bulge;
        const bool far = variant == SlopeVariant::FarSide;
        const int grow = bulge ? 1 : -1; // depth change while in the first half
        const int h = lines / 2;
        int counter = len / 2;
        int depth = bulge ? 0 : (far ? f : f - 1);
        for (int r = 0; r < rEnd; ++r) {
            if (r >= rBegin)
                fn(r, depth);
            ++counter;
            if (r < h) {
                if (counter >= len && !(far && r == h - 1)) {
                    counter = 0;
                    depth += grow;
                }
            } else if (counter >= len) {
                counter = 0;
                depth -= grow;
            }
        }
        return;
    }
    }
}

// Calls fn(r, depth) for every line r = 0 .. f x len - 1 in order.
template <class Fn>
inline void forEachDepth(SlopeShape shape, SlopeVariant variant, int f, int len, Fn&& fn)
{
    forEachDepthIn(shape, variant, f, len, 0, f * len, static_cast<Fn&&>(fn));
}

// The whole depth sequence, for tests and tools.
std::vector<int> depthSequence(SlopeShape shape, SlopeVariant variant, int f, int len);

} // namespace gridmint

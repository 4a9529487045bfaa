// Generated pixel-art-like palette images for the engine's benchmark and
// preview tool: outlined sprites with flat areas, 1-pixel diagonals and
// curves, and an ordered-dither gradient.
#pragma once

#include "image/Containers.h"

#include <memory>
#include <string>

namespace gridmint::bench {

enum class ArtKind { Sprites, Lines, Dither };

std::string kindName(ArtKind kind);

// A set of `size` x `size` pixels; the palette holds ramps of dark-to-light
// shades (32 colours for sprites and lines, 64 for the dither).
std::unique_ptr<ImageSet> makePixelArt(ArtKind kind, int size, unsigned seed = 1);

} // namespace gridmint::bench

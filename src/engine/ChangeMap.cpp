#include "engine/ChangeMap.h"

#include <cstring>

namespace gridmint {

namespace {

// Gives `image` the size of `model`, keeping a store of that size.
void allocateLike(const IndexedImage& model, IndexedImage& image)
{
    if (image.hasStore() && image.width() == model.width() && image.height() == model.height())
        return;
    image.allocate(static_cast<std::uint32_t>(model.width()),
                   static_cast<std::uint32_t>(model.height()));
}

} // namespace

void runTracingChanges(ScaleJob& job, IndexedImage& changes)
{
    ChangeTraceScratch scratch;
    runTracingChanges(job, changes, scratch);
}

void runTracingChanges(ScaleJob& job, IndexedImage& changes, ChangeTraceScratch& scratch)
{
    // The passes' inner loops stay untouched: each pass runs alone through
    // the job's public entry point, in run()'s order, and its effect is read
    // off by comparing the output before and after it.
    static constexpr MarkBit kOrder[] = {MarkLeft, MarkRight, MarkTop, MarkBottom};
    static constexpr ChangeCode kCodes[] = {kChangedByLeft, kChangedByRight, kChangedByTop,
                                            kChangedByBottom};

    // Everything is allocated before the job runs, so that a lack of memory
    // leaves the job's output as it was.
    const IndexedImage& out = job.outputImage();
    const std::size_t count =
        static_cast<std::size_t>(out.width()) * static_cast<std::size_t>(out.height());
    IndexedImage& plain = scratch.plain;
    IndexedImage& before = scratch.before;
    allocateLike(out, changes);
    allocateLike(out, plain);
    allocateLike(out, before);
    job.run(false); // cleared marks, plain blocks, Lab table
    if (count == 0)
        return;
    std::memcpy(plain.store(), out.store(), count);
    std::memcpy(before.store(), out.store(), count);
    std::uint8_t* map = changes.store();
    std::memset(map, kUnchanged, count);
    std::uint8_t* prev = before.store();
    const std::uint8_t* now = out.store();
    for (std::size_t p = 0; p < 4; ++p) {
        job.runSlopePass(kOrder[p]);
        for (std::size_t i = 0; i < count; ++i) {
            if (now[i] != prev[i]) {
                map[i] = kCodes[p];
                prev[i] = now[i];
            }
        }
    }
    const std::uint8_t* blocks = plain.store();
    for (std::size_t i = 0; i < count; ++i) {
        if (now[i] == blocks[i])
            map[i] = kUnchanged;
    }
}

std::array<Colour, kChangeCodeCount> changeMapColours()
{
    return {0x00000000u, 0xFFD55E00u, 0xFF0072B2u, 0xFF009E73u, 0xFFCC79A7u};
}

} // namespace gridmint

// Development tool: enlarges crops of the generated pixel art at factors 2, 4
// and 8, with and without the slope passes, and writes them as PNG files
// into the directory given as the only argument, for looking at.
#include "PixelArtImages.h"
#include "engine/ScaleJob.h"
#include "image/Codecs.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace gridmint;

namespace {

// The top-left `side` x `side` pixels of a set, with its palette.
std::unique_ptr<ImageSet> crop(const ImageSet& set, int side)
{
    auto image = std::make_unique<IndexedImage>();
    image->allocate(static_cast<std::uint32_t>(side), static_cast<std::uint32_t>(side));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image->row(y)[x] = set.image->row(y)[x];
    auto palette = std::make_unique<Palette>(*set.palette);
    return std::make_unique<ImageSet>(nullptr, std::move(image), std::move(palette),
                                      ImageSet::kIndexedKind);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s output-directory\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (auto kind : {bench::ArtKind::Sprites, bench::ArtKind::Lines, bench::ArtKind::Dither}) {
        const auto full = bench::makePixelArt(kind, 256);
        const auto source = crop(*full, 48);
        const auto& pal = source->palette->colours;
        const auto name = bench::kindName(kind);
        writePng(dir / (name + "_source.png"), source->image->store(), 48, 48, 48, pal.data(),
                 static_cast<std::int32_t>(pal.size()));
        for (int factor : {2, 4, 8}) {
            ScaleJob job(*source, factor, 20, -1);
            for (bool passes : {false, true}) {
                job.run(passes);
                const auto& out = job.outputImage();
                const auto file = dir / (name + "_x" + std::to_string(factor) +
                                         (passes ? "_slopes.png" : "_blocks.png"));
                if (!writePng(file, out.store(), out.width(), out.height(), out.width(), pal.data(),
                              static_cast<std::int32_t>(pal.size())))
                    std::fprintf(stderr, "cannot write %s\n", file.c_str());
            }
        }
    }
    return 0;
}

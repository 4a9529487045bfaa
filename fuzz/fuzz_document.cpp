// The document from image to saved file: a random picture, palette, factor,
// threshold (NaN and infinities included) and transparent index, then up to
// 64 random edits, undone and redone. Every result pixel must be one of the
// source's indices or a plotted colour, the plain enlargement must be exact
// block replication, and each format must give back the pixels and palette.
#include "app/ScaleDocument.h"
#include "image/Codecs.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <vector>

namespace {

using namespace gridmint;

// The fuzz input read as a stream of choices; zeros once it runs out.
class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t u32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | byte();
        return v;
    }
    std::int32_t below(std::int32_t n)
    {
        return static_cast<std::int32_t>(u32() % static_cast<std::uint32_t>(n));
    }
    double threshold()
    {
        switch (byte() % 8) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return -below(50);
        default:
            return below(15000) / 100.0;
        }
    }
    bool done() const { return pos_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::filesystem::path g_scratch;

void removeScratch()
{
    std::error_code ec;
    std::filesystem::remove_all(g_scratch, ec);
}

// The document loads from a file: each picture goes through this one.
std::filesystem::path scratchFile()
{
    static const std::filesystem::path file = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "gridmint-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        g_scratch = pattern;
        std::atexit(removeScratch);
        return g_scratch / "source.png";
    }();
    return file;
}

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// Writes the result as the document does and reads it back.
void roundTrip(const IndexedBitmap& result, const std::vector<Colour>& palette)
{
    const PixelBlock pixels{result.bits(), result.width(), result.height(), result.stride()};
    const std::span<const Colour> colours(palette.data(),
                                          std::min<std::size_t>(palette.size(), 256));
    using Encode =
        std::optional<std::vector<std::uint8_t>> (*)(const PixelBlock&, std::span<const Colour>);
    using Decode = std::unique_ptr<ImageSet> (*)(std::span<const std::uint8_t>);
    const struct {
        Encode encode;
        Decode decode;
        bool alpha;
    } formats[] = {
        {encodePng, decodePng, true}, {encodeBmp, decodeBmp, false}, {encodePcx, decodePcx, false}};
    for (const auto& f : formats) {
        const auto bytes = f.encode(pixels, colours);
        check(bytes.has_value());
        const auto back = f.decode(*bytes);
        check(back && back->image->width() == result.width() &&
              back->image->height() == result.height());
        for (std::int32_t y = 0; y < result.height(); ++y)
            check(std::equal(result.row(y), result.row(y) + result.width(), back->image->row(y)));
        check(back->palette->count() >= colours.size());
        const Colour mask = f.alpha ? 0xFFFFFFFFu : 0x00FFFFFFu;
        for (std::size_t i = 0; i < colours.size(); ++i)
            check((back->palette->at(i) & mask) == (colours[i] & mask));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Choices in(data, size);
    // Large factors on small pictures keep each run quick.
    const std::int32_t factor = 1 + in.below(32);
    const std::int32_t side = factor > 8 ? 4 : 12;
    const std::int32_t w = 1 + in.below(side);
    const std::int32_t h = 1 + in.below(side);
    const std::int32_t colourCount = 1 + in.below(256);
    std::vector<Colour> palette(static_cast<std::size_t>(colourCount));
    for (Colour& c : palette)
        c = in.u32();
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w * h));
    std::set<std::uint8_t> allowed;
    // Mostly indices inside the palette, sometimes one beyond it.
    for (std::uint8_t& p : pixels) {
        p = static_cast<std::uint8_t>(in.below(std::min(colourCount + 2, 256)));
        allowed.insert(p);
    }
    // Written plainly: the atomic replace's flush to disk would dominate.
    const auto png = encodePng({pixels.data(), w, h, w}, palette);
    check(png.has_value());
    std::ofstream(scratchFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(png->data()),
               static_cast<std::streamsize>(png->size()));
    const double threshold = in.threshold();
    const std::int32_t transparent = in.below(257) - 1;

    ScaleDocument plain;
    check(plain.Load(scratchFile()));
    const IndexedBitmap* blocks = plain.Apply(factor, threshold, false, transparent, false);
    check(blocks != nullptr);
    for (std::int32_t y = 0; y < h * factor; ++y)
        for (std::int32_t x = 0; x < w * factor; ++x)
            check(blocks->row(y)[x] ==
                  pixels[static_cast<std::size_t>((y / factor) * w + x / factor)]);

    ScaleDocument doc;
    // A small budget, so that dropping the oldest steps is exercised too.
    doc.history().setBudget(std::size_t{1} << (10 + in.below(12)));
    check(doc.Load(scratchFile()));
    check(doc.Apply(factor, threshold, false, transparent) != nullptr);
    const std::int32_t rw = w * factor;
    const std::int32_t rh = h * factor;
    const auto x = [&] { return in.below(rw + 4) - 2; };
    const auto y = [&] { return in.below(rh + 4) - 2; };
    for (int op = 0; op < 64 && !in.done(); ++op) {
        if (in.byte() % 4 == 0)
            doc.setSnapshotPending(true); // a press, as the frame does
        switch (in.byte() % 12) {
        case 0:
            doc.PaintNearest(x(), y(), 1 + in.below(6));
            break;
        case 1:
            doc.PaintAuto(x(), y(), 1 + in.below(6));
            break;
        case 2:
            doc.SetCornerFirst(x(), y());
            doc.SetCornerAnchor(x(), y());
            doc.DragCorner(x(), y());
            break;
        case 3:
            doc.SetLineStart(x(), y());
            doc.FinishLine(x(), y());
            break;
        case 4: {
            const auto colour = in.byte();
            if (doc.PlotDots(x(), y(), colour, in.below(5)))
                allowed.insert(colour);
            break;
        }
        case 5:
            doc.Undo();
            break;
        case 6:
            check(doc.Apply(factor, in.threshold(), in.byte() % 2 == 0, transparent) != nullptr);
            break;
        case 7: {
            std::vector<Colour> colours(static_cast<std::size_t>(in.below(300)));
            for (Colour& c : colours)
                c = in.u32();
            doc.SetPalette(colours.data(), static_cast<std::int32_t>(colours.size()));
            break;
        }
        case 8:
            doc.BeginStroke();
            break;
        case 9:
            doc.EndStroke();
            break;
        case 10:
            doc.UndoStep();
            break;
        default:
            doc.RedoStep();
            break;
        }
    }

    const IndexedBitmap& result = *doc.resultBitmap();
    check(result.width() == rw && result.height() == rh);
    for (std::int32_t yy = 0; yy < rh; ++yy)
        for (std::int32_t xx = 0; xx < rw; ++xx)
            check(allowed.count(result.row(yy)[xx]) == 1);
    roundTrip(result, doc.source()->palette->colours);
    return 0;
}

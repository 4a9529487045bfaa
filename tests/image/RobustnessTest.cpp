// Damaged input: every reader must end in its error (or, for PCX, a shorter
// picture), never in a crash or a read outside its input. The sanitizer
// build turns any stray access here into a failure.
#include "TestSupport.h"

namespace gridmint::test {
namespace {

using tarn::CErrCodeException;

TEST(Truncation, BmpAndPngFailAtEveryShorterLength)
{
    for (const char* name : {"bmp_1bit_40.bmp", "bmp_4bit_124.bmp", "bmp_8bit_40_pillow.bmp"}) {
        const Bytes whole = readBytes(fixture(name));
        ASSERT_NO_THROW(decodeBmp(whole));
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const std::span<const std::uint8_t> part(whole.data(), n);
            ASSERT_EQ(errorCode([&] { decodeBmp(part); }), CErrCodeException::ReadError)
                << name << " at " << n;
        }
    }
    for (const char* name :
         {"png_d1.png", "png_d4_interlaced_trns.png", "png_d8_gamma05.png", "png_d8.png"}) {
        const Bytes whole = readBytes(fixture(name));
        ASSERT_NO_THROW(decodePng(whole));
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const std::span<const std::uint8_t> part(whole.data(), n);
            const int code = errorCode([&] { decodePng(part); });
            ASSERT_TRUE(code == CErrCodeException::NoSupport ||
                        code == CErrCodeException::ReadError)
                << name << " at " << n << ": " << code;
        }
    }
}

TEST(Truncation, PcxReadsWhatIsThereOrFails)
{
    for (const char* name :
         {"pcx_rle_trailer.pcx", "pcx_raw_notrailer.pcx", "pcx_rle_crossing.pcx"}) {
        const Bytes whole = readBytes(fixture(name));
        const auto full = decodePcx(whole);
        ASSERT_TRUE(full);
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const std::span<const std::uint8_t> part(whole.data(), n);
            if (n < 128) {
                ASSERT_EQ(errorCode([&] { decodePcx(part); }), CErrCodeException::ReadError);
                continue;
            }
            const auto set = decodePcx(part);
            ASSERT_TRUE(set);
            ASSERT_EQ(set->image->width(), full->image->width());
            ASSERT_LE(set->palette->count(), 256u);
        }
    }
}

// Inputs that once crashed a fuzz target stay here as regression tests.
TEST(CrashInputs, ReplayWithoutCrashing)
{
    const std::filesystem::path root(GRIDMINT_CRASH_DIR);
    int replayed = 0;
    for (const char* target : {"bmp", "png", "pcx", "palette"}) {
        const auto folder = root / target;
        if (!std::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.' ||
                entry.path().extension() == ".md")
                continue;
            const Bytes input = readBytes(entry.path());
            const std::string which = target;
            try {
                if (which == "bmp")
                    decodeBmp(input);
                else if (which == "png")
                    decodePng(input);
                else if (which == "pcx")
                    decodePcx(input);
                else {
                    decodeActPalette(input, true);
                    decodePalPalette(input, false);
                }
            } catch (const tarn::CErrCodeException&) {
            }
            ++replayed;
        }
    }
    SUCCEED() << replayed << " crash inputs replayed";
}

} // namespace
} // namespace gridmint::test

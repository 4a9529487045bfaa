#include "image/BandDeflate.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <libdeflate.h>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <zlib.h>

namespace gridmint {

namespace {

constexpr std::size_t kWindow = 32768;
// Large enough that the few bytes each band edge costs do not show, small
// enough that two cores share even a modest image and progress moves.
// libdeflate's bands are cut where zlib's are: each keeps the smaller of
// the two segments, and zlib's are then exactly those of level 9, so the
// deepest setting is never larger than the default. Larger libdeflate bands
// lose less to its empty window at band edges (0.912 against 0.919 of level
// 9 on sprites at x4) but lost that guarantee (blobs at x8: 1.03).
constexpr std::size_t kBandBytes = std::size_t{256} << 10;

struct Band {
    std::int32_t first = 0;
    std::int32_t end = 0;
    std::vector<std::uint8_t> out;
    uLong adler = 1; // of the band's own bytes
    std::size_t length = 0;
    bool ok = false;
    bool done = false;
};

// libdeflate ends every stream with a final block. To let the next band
// follow, clear that block's BFINAL bit and close the band on a byte
// boundary with an empty stored block, as a sync flush would. zlib's inflate
// finds the final block: it stops at every block boundary and says where.
bool continueAfterFinalBlock(std::vector<std::uint8_t>& out)
{
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return false;
    std::vector<std::uint8_t> scratch(std::size_t{64} << 10);
    z.next_in = out.data();
    z.avail_in = static_cast<uInt>(out.size());
    std::uint64_t lastStart = 0; // bit position of the latest block header
    int unused = -1;             // padding bits after the final block's end
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = scratch.data();
        z.avail_out = static_cast<uInt>(scratch.size());
        rc = inflate(&z, Z_BLOCK);
        // Stopped at a block's end (128): of the final block (64) or of
        // another, which the next header follows.
        if (rc == Z_OK && (z.data_type & 128) != 0) {
            if ((z.data_type & 64) != 0)
                unused = z.data_type & 7;
            else
                lastStart = z.total_in * 8 - static_cast<std::uint64_t>(z.data_type & 7);
        }
    }
    const bool ended = rc == Z_STREAM_END && z.total_in == out.size() && unused >= 0;
    inflateEnd(&z);
    if (!ended)
        return false;
    out[lastStart / 8] &= static_cast<std::uint8_t>(~(1u << (lastStart % 8)));
    // The stored block's three header bits go into the padding (zero) when
    // it has room, otherwise into one more byte; then LEN 0, NLEN 0xFFFF.
    if (unused < 3)
        out.push_back(0);
    out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

// One worker's compressor, reused from band to band.
class BandCompressor {
public:
    explicit BandCompressor(const DeflateSettings& settings) : settings_(settings)
    {
        // With libdeflate, zlib at level 9 stands by for the bands where the
        // rows before the band matter more than libdeflate's deeper search.
        const int zlibLevel = settings.libdeflateLevel != 0 ? 9 : settings.level;
        // Memory level 8, as libpng uses: 9 buys next to nothing here and
        // doubles each worker's hash table.
        zlibReady_ = deflateInit2(&z_, zlibLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        ready_ = zlibReady_;
        if (settings.libdeflateLevel != 0) {
            libdeflate_ = libdeflate_alloc_compressor(settings.libdeflateLevel);
            ready_ = zlibReady_ && libdeflate_ != nullptr;
        }
    }
    BandCompressor(const BandCompressor&) = delete;
    BandCompressor& operator=(const BandCompressor&) = delete;
    ~BandCompressor()
    {
        if (libdeflate_ != nullptr)
            libdeflate_free_compressor(libdeflate_);
        if (zlibReady_)
            deflateEnd(&z_);
    }

    void compress(Band& band, bool last, std::size_t rowBytes, const RowEncoder& encodeRow)
    {
        band.ok = false;
        if (!ready_)
            return;
        raw_.clear();
        const auto windowRows = static_cast<std::int32_t>((kWindow + rowBytes - 1) / rowBytes);
        const std::int32_t from = std::max(0, band.first - windowRows);
        // Sized once, for the band and its window: grown by doubling, the
        // buffer would be up to twice that on every worker. One spare row
        // lets a filter pack the row above beside its own.
        raw_.reserve(static_cast<std::size_t>(band.end - from + 1) * rowBytes);
        for (std::int32_t y = from; y < band.end; ++y)
            encodeRow(y, raw_);
        const std::size_t own = static_cast<std::size_t>(band.end - band.first) * rowBytes;
        if (raw_.size() < own)
            return;
        const std::size_t dictionary = raw_.size() - own;
        const std::uint8_t* data = raw_.data() + dictionary;
        band.length = own;
        band.adler = adler32_z(1, data, own);
        if (libdeflate_ == nullptr) {
            band.ok = withZlib(band, data, dictionary, own, last);
            return;
        }
        // Either segment continues the stream at this band, so the smaller
        // one is kept: on large flat areas an empty window at every band
        // edge cost libdeflate more than its search won (3% above zlib on
        // blobs at x8), which must not make the smallest setting bigger.
        if (!withLibdeflate(band, data, own, last))
            return;
        if (dictionary == 0) {
            band.ok = true;
            return;
        }
        std::vector<std::uint8_t> deep = std::move(band.out);
        if (!withZlib(band, data, dictionary, own, last) || band.out.size() >= deep.size())
            band.out = std::move(deep);
        band.ok = true;
    }

private:
    bool withZlib(Band& band, const std::uint8_t* data, std::size_t dictionary, std::size_t own,
                  bool last)
    {
        if (deflateReset(&z_) != Z_OK)
            return false;
        if (dictionary > 0) {
            const std::size_t n = std::min(dictionary, kWindow);
            if (deflateSetDictionary(&z_, data - n, static_cast<uInt>(n)) != Z_OK)
                return false;
        }
        scratch_.resize(deflateBound(&z_, own) + 16);
        z_.next_in = const_cast<Bytef*>(data); // zlib's API is not const-correct
        z_.avail_in = static_cast<uInt>(own);
        std::size_t produced = 0;
        for (;;) {
            if (produced == scratch_.size())
                scratch_.resize(scratch_.size() * 2);
            z_.next_out = scratch_.data() + produced;
            z_.avail_out = static_cast<uInt>(scratch_.size() - produced);
            const int rc = deflate(&z_, last ? Z_FINISH : Z_SYNC_FLUSH);
            produced = scratch_.size() - z_.avail_out;
            if (rc == Z_STREAM_END || (!last && rc == Z_OK && z_.avail_out != 0))
                break;
            if (rc != Z_OK && rc != Z_BUF_ERROR)
                return false;
        }
        keep(band, produced, 0);
        return true;
    }

    // A finished band waits for the writer holding only its own bytes (plus
    // `spare` for what is still to be appended), not the worst-case buffer.
    void keep(Band& band, std::size_t produced, std::size_t spare)
    {
        band.out.reserve(produced + spare);
        band.out.assign(scratch_.begin(), scratch_.begin() + static_cast<std::ptrdiff_t>(produced));
    }

    bool withLibdeflate(Band& band, const std::uint8_t* data, std::size_t own, bool last)
    {
        scratch_.resize(libdeflate_deflate_compress_bound(libdeflate_, own));
        const std::size_t n =
            libdeflate_deflate_compress(libdeflate_, data, own, scratch_.data(), scratch_.size());
        if (n == 0)
            return false;
        keep(band, n, 8);
        return last || continueAfterFinalBlock(band.out);
    }

    DeflateSettings settings_;
    z_stream z_{};
    libdeflate_compressor* libdeflate_ = nullptr;
    bool zlibReady_ = false;
    bool ready_ = false;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> scratch_;
};

// The two-byte zlib header for a 32 KiB window at `level`.
std::array<std::uint8_t, 2> zlibHeader(const DeflateSettings& s)
{
    const int level = s.libdeflateLevel != 0 ? 9 : s.level;
    const unsigned flevel = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = 0x78u << 8 | flevel << 6;
    header += 31 - header % 31;
    return {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
}

} // namespace

bool deflateRows(std::int32_t rows, std::size_t rowBytes, const RowEncoder& encodeRow,
                 const DeflateSettings& settings, const platform::ByteSink& out,
                 const std::function<void(std::int32_t)>& progress)
{
    if (rows <= 0 || rowBytes == 0)
        return false;
    const std::size_t target = settings.bandBytes != 0 ? settings.bandBytes : kBandBytes;
    const auto rowsPerBand =
        static_cast<std::int32_t>(std::clamp<std::size_t>(target / rowBytes, 1, INT32_MAX));
    std::vector<Band> bands(static_cast<std::size_t>((rows + rowsPerBand - 1) / rowsPerBand));
    for (std::size_t i = 0; i < bands.size(); ++i) {
        bands[i].first = static_cast<std::int32_t>(i) * rowsPerBand;
        bands[i].end = std::min(rows, bands[i].first + rowsPerBand);
    }
    unsigned threads =
        settings.threads != 0 ? settings.threads : std::thread::hardware_concurrency();
    threads = std::clamp<unsigned>(threads, 1,
                                   static_cast<unsigned>(std::min<std::size_t>(bands.size(), 64)));

    const auto header = zlibHeader(settings);
    if (!out(header))
        return false;

    // Workers take bands in order but stay at most a few ahead of the
    // writer, so that finished bands waiting for an earlier one stay few.
    const std::size_t ahead = std::size_t{2} * threads;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;
    std::size_t written = 0;
    bool stop = false;
    const auto work = [&] {
        BandCompressor compressor(settings);
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock,
                         [&] { return stop || next == bands.size() || next < written + ahead; });
            if (stop || next == bands.size())
                return;
            Band& band = bands[next++];
            const bool last = &band == &bands.back();
            lock.unlock();
            try {
                compressor.compress(band, last, rowBytes, encodeRow);
            } catch (...) {
                band.ok = false; // out of memory: the write fails below
            }
            lock.lock();
            band.done = true;
            changed.notify_all();
        }
    };

    bool ok = true;
    uLong adler = 1;
    {
        std::vector<std::jthread> workers;
        std::unique_ptr<BandCompressor> inline_;
        if (threads > 1) {
            workers.reserve(threads);
            // The helpers compress at the writer's priority, lowered when a
            // window saves in the background.
            const int priority = platform::threadPriority();
            try {
                for (unsigned t = 0; t < threads; ++t)
                    workers.emplace_back([&work, priority] {
                        (void)platform::setThreadPriority(priority);
                        work();
                    });
            } catch (const std::system_error&) {
                // Fewer threads than asked for: those that started suffice.
            }
        }
        if (workers.empty())
            inline_ = std::make_unique<BandCompressor>(settings);
        for (std::size_t i = 0; i < bands.size() && ok; ++i) {
            Band& band = bands[i];
            try {
                if (inline_) {
                    inline_->compress(band, i + 1 == bands.size(), rowBytes, encodeRow);
                } else {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return band.done; });
                }
                ok = band.ok && out(band.out);
                if (ok && progress)
                    progress(band.end);
            } catch (...) {
                ok = false; // the workers must still be told to stop
            }
            adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
            std::vector<std::uint8_t>().swap(band.out);
            {
                const std::lock_guard lock(mutex);
                written = i + 1;
                stop = !ok;
            }
            changed.notify_all();
        }
    } // the workers are joined here
    const std::uint8_t trailer[4] = {
        static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
        static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
    return ok && out(trailer);
}

} // namespace gridmint

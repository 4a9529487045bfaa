#include "cli/Commands.h"

#include "app/SaveNaming.h"
#include "app/ScaleDocument.h"
#include "app/StatusText.h"
#include "image/Codecs.h"
#include "image/ErrCodeException.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <io.h>
#define GRIDMINT_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define GRIDMINT_ISATTY(fd) ::isatty(fd)
#endif

namespace gridmint::cli {

namespace fs = std::filesystem;

namespace {

void usageError(const std::string& message)
{
    std::cerr << "gridmint-cli: " << message << "\nRun with --help for more information.\n";
}

void fileError(const std::string& file, const std::string& reason)
{
    std::cerr << "gridmint-cli: " << file << ": " << reason << '\n';
}

bool writableExtension(const fs::path& path)
{
    const std::string ext = LowerExtension(path);
    return ext == ".png" || ext == ".bmp" || ext == ".pcx";
}

bool sameFile(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    const bool same = fs::equivalent(a, b, ec);
    return !ec && same;
}

// Two outputs that do not exist yet can only be compared by name.
fs::path comparable(const fs::path& p)
{
    std::error_code ec;
    fs::path full = fs::weakly_canonical(fs::absolute(p, ec), ec);
    return ec ? p.lexically_normal() : full;
}

std::string hexColour(Colour c)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(c));
    return text;
}

double millis(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Planned {
    fs::path output;
    fs::path folderToCreate; // the "OUTPUT" folder, made (one level) before writing
};

struct Outcome {
    bool done = false;
    bool ok = false;
    std::string message; // the stdout line, or the error reason
    double readMs = 0, enlargeMs = 0, encodeMs = 0;
};

// Prints finished files in input order, whichever worker finishes first, and
// keeps a progress line on a terminal's stderr.
class Reporter {
public:
    Reporter(const std::vector<std::string>& inputs, std::vector<Outcome>& outcomes, bool timings)
        : inputs_(inputs), outcomes_(outcomes), timings_(timings),
          progress_(inputs.size() > 1 && GRIDMINT_ISATTY(2) != 0)
    {
    }

    void finished(std::size_t index, Outcome outcome)
    {
        const std::lock_guard lock(mutex_);
        outcomes_[index] = std::move(outcome);
        outcomes_[index].done = true;
        ++count_;
        clearProgress();
        for (; next_ < outcomes_.size() && outcomes_[next_].done; ++next_) {
            const Outcome& o = outcomes_[next_];
            if (o.ok) {
                std::cout << o.message << '\n' << std::flush;
            } else {
                fileError(inputs_[next_], o.message);
            }
            if (timings_ && o.ok) {
                std::fprintf(stderr, "%s: read %.2f ms, enlarge %.2f ms, encode %.2f ms\n",
                             inputs_[next_].c_str(), o.readMs, o.enlargeMs, o.encodeMs);
            }
        }
        if (progress_ && count_ < outcomes_.size())
            std::fprintf(stderr, "gridmint-cli: %zu/%zu done", count_, outcomes_.size());
        std::fflush(stderr);
    }

private:
    void clearProgress()
    {
        if (progress_)
            std::fputs("\r\x1b[K", stderr);
    }

    const std::vector<std::string>& inputs_;
    std::vector<Outcome>& outcomes_;
    bool timings_;
    bool progress_;
    std::mutex mutex_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

// A single file's progress on a terminal's stderr, as batches show theirs:
// once the file has taken about a second, a line saying what is being done
// ("enlarging", then the rows written), refreshed a few times a second and
// cleared when the file is done.
class FileProgress {
public:
    explicit FileProgress(std::string input)
        : input_(std::move(input)), ticker_([this](std::stop_token stop) { run(stop); })
    {
    }
    FileProgress(const FileProgress&) = delete;
    FileProgress& operator=(const FileProgress&) = delete;
    ~FileProgress()
    {
        ticker_.request_stop();
        ticker_.join();
    }

    // From the writing thread.
    void rowsWritten(std::int32_t done, std::int32_t rows)
    {
        rows_ = rows;
        done_ = done;
    }

private:
    void run(const std::stop_token& stop)
    {
        using namespace std::chrono_literals;
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        // Sleeps until the time is up or the file is done; true for the former.
        const auto pause = [&](std::chrono::milliseconds time) {
            wake.wait_for(lock, stop, time, [] { return false; });
            return !stop.stop_requested();
        };
        if (!pause(1s))
            return;
        do {
            const std::int32_t rows = rows_;
            if (rows == 0) {
                std::fprintf(stderr, "\r\x1b[Kgridmint-cli: %s: enlarging", input_.c_str());
            } else {
                std::fprintf(stderr, "\r\x1b[Kgridmint-cli: %s: writing, %d of %d rows",
                             input_.c_str(), static_cast<int>(done_), static_cast<int>(rows));
            }
            std::fflush(stderr);
        } while (pause(250ms));
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }

    std::string input_;
    std::atomic<std::int32_t> done_{0};
    std::atomic<std::int32_t> rows_{0};
    std::jthread ticker_; // last: it reads the members above
};

Outcome scaleOne(const std::string& input, const Planned& plan, const ScaleOptions& options,
                 const std::vector<Colour>& palette, std::int32_t engineThreads, bool showProgress,
                 unsigned writerThreads)
{
    using Clock = std::chrono::steady_clock;
    Outcome o;
    if (plan.output.empty()) {
        o.message = "no output name that would not overwrite the input";
        return o;
    }
    std::optional<FileProgress> progress;
    if (showProgress)
        progress.emplace(input);
    ScaleDocument doc;
    doc.SetEngineThreads(engineThreads);
    const auto t0 = Clock::now();
    if (!doc.Load(PathFromUtf8(input))) {
        o.message = doc.lastError();
        return o;
    }
    if (!applyCellOptions(options.cells, doc, o.message))
        return o;
    const auto t1 = Clock::now();
    // No display raster: the job's output is written as it is.
    if (!doc.Enlarge(options.scale, options.threshold, options.transparent, !options.nearest)) {
        o.message = doc.lastError();
        return o;
    }
    if (!palette.empty())
        doc.SetPalette(palette.data(), static_cast<std::int32_t>(palette.size()));
    const auto t2 = Clock::now();
    if (!plan.folderToCreate.empty()) {
        std::error_code ec; // a failure shows as a failed write below
        fs::create_directory(plan.folderToCreate, ec);
    }
    WriteOptions write;
    write.compression = options.compression;
    write.threads = writerThreads;
    if (progress) {
        write.progress = [&progress](std::int32_t done, std::int32_t rows) {
            progress->rowsWritten(done, rows);
        };
    }
    if (!doc.Save(plan.output, write)) {
        o.message = "cannot write " + Utf8(plan.output);
        return o;
    }
    if (!options.cells.changeMap.empty() &&
        (doc.changeMap() == nullptr ||
         !writeChangeMap(PathFromUtf8(options.cells.changeMap), *doc.changeMap()))) {
        o.message = "cannot write the change map " + options.cells.changeMap;
        return o;
    }
    const auto t3 = Clock::now();
    o.ok = true;
    o.message = input + " -> " + Utf8(plan.output);
    o.readMs = millis(t1 - t0);
    o.enlargeMs = millis(t2 - t1);
    o.encodeMs = millis(t3 - t2);
    return o;
}

// The palette given with --palette; nullopt (after a message) when it
// cannot be used.
std::optional<std::vector<Colour>> readPaletteOption(const ScaleOptions& options, int& status)
{
    const fs::path path = PathFromUtf8(options.palette);
    const std::string ext = LowerExtension(path);
    if (ext != ".act" && ext != ".pal") {
        usageError("--palette: " + options.palette + " is not an ACT or PAL file");
        status = kExitUsage;
        return std::nullopt;
    }
    std::unique_ptr<Palette> pal;
    try {
        if (ext == ".act")
            pal = readActPalette(path, options.reversePalette.value_or(true));
        else
            pal = readPalPalette(path, options.reversePalette.value_or(false));
    } catch (const tarn::CErrCodeException& e) {
        fileError(options.palette, e.message());
        status = kExitFailed;
        return std::nullopt;
    } catch (const std::exception& e) {
        fileError(options.palette, e.what());
        status = kExitFailed;
        return std::nullopt;
    }
    if (!pal || pal->count() == 0) {
        fileError(options.palette, "not a palette Gridmint can read");
        status = kExitFailed;
        return std::nullopt;
    }
    std::vector<Colour> colours = pal->colours;
    if (colours.size() > 256)
        colours.resize(256);
    return colours;
}

} // namespace

std::optional<std::int32_t> parseTransparent(const std::string& text)
{
    if (text == "none")
        return -1;
    if (text.empty() || text.size() > 3 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    if (value > 255)
        return std::nullopt;
    return value;
}

int runScale(const ScaleOptions& options)
{
    const std::vector<std::string>& inputs = options.inputs;
    if (!options.output.empty() && inputs.size() != 1) {
        usageError("-o names one output: give exactly one input");
        return kExitUsage;
    }
    if (!options.output.empty() && !writableExtension(PathFromUtf8(options.output))) {
        usageError("-o: " + options.output + ": an output name must end in .png, .bmp or .pcx");
        return kExitUsage;
    }

    std::vector<Colour> palette;
    if (!options.palette.empty()) {
        int status = kExitOk;
        auto read = readPaletteOption(options, status);
        if (!read)
            return status;
        palette = std::move(*read);
    }

    // Every output is decided before anything is written, so that a clash
    // is a usage error instead of a half-done batch.
    std::vector<Planned> plans(inputs.size());
    const fs::path outDir = PathFromUtf8(options.outDir);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const fs::path input = PathFromUtf8(inputs[i]);
        if (!options.output.empty()) {
            plans[i].output = PathFromUtf8(options.output);
        } else if (!options.outDir.empty() && !fs::exists(outDir)) {
            // Made below, once the arguments are known to be sound; nothing
            // in it can be an input yet.
            const std::string name = SplitName(input).base + SaveExtension(input);
            plans[i].output = outDir / PathFromUtf8(name);
        } else {
            // The automatic save's rule: the default folder (here --out-dir)
            // unless that would be the source itself, else "OUTPUT" beside it.
            const AutoSaveTarget target = AutoSavePath(input, outDir);
            plans[i].output = target.file;
            plans[i].folderToCreate = target.folderToCreate;
        }
    }
    if (const std::string& mapName = options.cells.changeMap; !mapName.empty()) {
        const fs::path map = PathFromUtf8(mapName);
        for (const std::string& input : inputs) {
            const fs::path inputPath = PathFromUtf8(input);
            if (sameFile(map, inputPath) || comparable(map) == comparable(inputPath)) {
                usageError("--change-map " + mapName + " would overwrite the input " + input);
                return kExitUsage;
            }
        }
        if (!plans.empty() && comparable(map) == comparable(plans[0].output)) {
            usageError("--change-map " + mapName + " is the output file");
            return kExitUsage;
        }
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (plans[i].output.empty())
            continue;
        for (std::size_t j = 0; j < inputs.size(); ++j) {
            if (sameFile(plans[i].output, PathFromUtf8(inputs[j]))) {
                usageError(Utf8(plans[i].output) + " would overwrite the input " + inputs[j]);
                return kExitUsage;
            }
            if (j > i && !plans[j].output.empty() &&
                comparable(plans[i].output) == comparable(plans[j].output)) {
                usageError(inputs[i] + " and " + inputs[j] + " would both write " +
                           Utf8(plans[i].output));
                return kExitUsage;
            }
        }
    }

    if (!options.outDir.empty()) {
        std::error_code ec;
        fs::create_directories(outDir, ec);
        if (!fs::is_directory(outDir, ec)) {
            fileError(options.outDir, "cannot create the output folder");
            return kExitFailed;
        }
    }

    unsigned jobs = options.jobs != 0 ? options.jobs : std::thread::hardware_concurrency();
    jobs = std::clamp<unsigned>(jobs, 1, static_cast<unsigned>(inputs.size()));
    // Files in parallel already use the cores; cell mode and the engine then
    // keep to one, and each file's PNG compression takes its share.
    ScaleOptions perFile = options;
    perFile.cells.threads = jobs > 1 ? 1 : 0;
    const std::int32_t engineThreads = jobs > 1 ? 1 : 0;
    const unsigned writerThreads = std::max(1u, std::thread::hardware_concurrency() / jobs);
    const bool fileProgress = inputs.size() == 1 && GRIDMINT_ISATTY(2) != 0;

    std::vector<Outcome> outcomes(inputs.size());
    Reporter reporter(inputs, outcomes, options.timings);
    std::atomic<std::size_t> nextInput{0};
    const auto worker = [&] {
        for (std::size_t i = nextInput++; i < inputs.size(); i = nextInput++) {
            Outcome o;
            try {
                o = scaleOne(inputs[i], plans[i], perFile, palette, engineThreads, fileProgress,
                             writerThreads);
            } catch (const std::exception& e) {
                o = Outcome{};
                o.message = e.what();
            } catch (...) {
                o = Outcome{};
                o.message = "unexpected failure";
            }
            reporter.finished(i, std::move(o));
        }
    };
    if (jobs == 1) {
        worker();
    } else {
        std::vector<std::jthread> threads;
        threads.reserve(jobs);
        for (unsigned t = 0; t < jobs; ++t)
            threads.emplace_back(worker);
    }
    const bool allOk =
        std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.ok; });
    return allOk ? kExitOk : kExitFailed;
}

int runConvert(const std::string& input, const std::string& output)
{
    const fs::path inputPath = PathFromUtf8(input);
    const fs::path outputPath = PathFromUtf8(output);
    if (!writableExtension(outputPath)) {
        usageError(output + ": an output name must end in .png, .bmp or .pcx");
        return kExitUsage;
    }
    if (sameFile(outputPath, inputPath) || comparable(outputPath) == comparable(inputPath)) {
        usageError(output + " would overwrite the input " + input);
        return kExitUsage;
    }
    ScaleDocument doc;
    if (!doc.Load(inputPath)) {
        fileError(input, doc.lastError());
        return kExitFailed;
    }
    // Factor 1 without the slope passes: the indices come through unchanged.
    if (doc.Apply(1, 0, false, -1, false) == nullptr) {
        fileError(input, doc.lastError());
        return kExitFailed;
    }
    if (!doc.Save(outputPath)) {
        fileError(input, "cannot write " + output);
        return kExitFailed;
    }
    std::cout << input << " -> " << output << '\n';
    return kExitOk;
}

int runInfo(const std::vector<std::string>& inputs, bool json)
{
    nlohmann::json list = nlohmann::json::array();
    bool allOk = true;
    for (const std::string& input : inputs) {
        ScaleDocument doc;
        if (!doc.Load(PathFromUtf8(input))) {
            allOk = false;
            fileError(input, doc.lastError());
            if (json)
                list.push_back({{"file", input}, {"error", doc.lastError()}});
            continue;
        }
        const ImageSet& set = *doc.source();
        const std::vector<Colour>& colours = set.palette->colours;
        if (json) {
            nlohmann::json hex = nlohmann::json::array();
            for (Colour c : colours)
                hex.push_back(hexColour(c));
            list.push_back({{"file", input},
                            {"width", set.width()},
                            {"height", set.height()},
                            {"colours", std::move(hex)}});
            continue;
        }
        std::cout << input << ": " << set.width() << " x " << set.height() << ", " << colours.size()
                  << (colours.size() == 1 ? " colour" : " colours") << '\n';
        for (std::size_t i = 0; i < colours.size(); ++i) {
            std::cout << (i % 8 == 0 ? "  " : " ") << hexColour(colours[i]);
            if (i % 8 == 7 || i + 1 == colours.size())
                std::cout << '\n';
        }
    }
    if (json)
        std::cout << list.dump(2) << '\n';
    return allOk ? kExitOk : kExitFailed;
}

int runStats(const std::string& input, std::int32_t x, std::int32_t y, double threshold,
             std::int32_t transparent)
{
    ScaleDocument doc;
    if (!doc.Load(PathFromUtf8(input))) {
        fileError(input, doc.lastError());
        return kExitFailed;
    }
    // The statistics look at the source only; factor 1 without the passes
    // builds the colour table they need at the least cost.
    if (doc.Apply(1, threshold, false, transparent, false) == nullptr) {
        fileError(input, doc.lastError());
        return kExitFailed;
    }
    const ImageSet& set = *doc.source();
    if (x < 0 || y < 0 || x >= set.width() || y >= set.height()) {
        fileError(input, "position (" + std::to_string(x) + ", " + std::to_string(y) +
                             ") is outside the image (" + std::to_string(set.width()) + " x " +
                             std::to_string(set.height()) + ")");
        return kExitFailed;
    }
    std::cout << FormatStatusText(doc.job()->neighbourStats(x, y)) << '\n';
    return kExitOk;
}

} // namespace gridmint::cli

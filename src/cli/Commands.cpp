#include "cli/Commands.h"

#include "app/SaveNaming.h"
#include "app/ScaleDocument.h"
#include "app/StatusText.h"
#include "image/Codecs.h"
#include "image/ErrCodeException.h"
#include "image/FileInput.h"
#include "image/Platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>
#include <thread>
#include <unordered_map>

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
    const auto ia = platform::fileIdentity(a);
    return ia && ia == platform::fileIdentity(b);
}

struct IdentityHash {
    std::size_t operator()(const platform::FileIdentity& id) const
    {
        return std::hash<std::uint64_t>{}(id.file * 0x9E3779B97F4A7C15u ^ id.device);
    }
};

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

// Why a name that the readers could not open cannot be opened, as far as
// the file system tells.
std::string whyUnopenable(const fs::path& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec)
        return ec.message();
    switch (status.type()) {
    case fs::file_type::directory:
        return "it is a folder";
    case fs::file_type::fifo:
        return "it is a pipe";
    case fs::file_type::block:
    case fs::file_type::character:
        return "it is a device";
    case fs::file_type::socket:
        return "it is a socket";
    default:
        break;
    }
    errno = 0;
    const std::ifstream probe(path, std::ios::binary);
    if (!probe)
        return std::generic_category().message(errno != 0 ? errno : EACCES);
    return "it could not be read";
}

// The reader's own text, with what the command line can add about why.
std::string loadError(const fs::path& input, const std::string& readerText)
{
    using tarn::CErrCodeException;
    if (readerText == CErrCodeException(CErrCodeException::CannotOpen).message())
        return readerText + " (" + whyUnopenable(input) + ")";
    if (readerText == CErrCodeException(CErrCodeException::NoSupport).message()) {
        if (const auto size = readImageSize(input)) {
            const std::string problem = imageSizeProblem(size->width, size->height);
            if (!problem.empty())
                return readerText + " (" + std::to_string(size->width) + " x " +
                       std::to_string(size->height) + " is " + problem + ")";
        }
    }
    return readerText;
}

// Files in the wild end early; such a picture is kept, with this warning.
std::string missingRowsWarning(const ScaleDocument& doc)
{
    if (doc.missingRows() == 0)
        return {};
    const std::int32_t height = doc.source()->height();
    return "warning: the file ends early: " + std::to_string(doc.missingRows()) + " of " +
           std::to_string(height) + " rows are missing (left at index 0)";
}

// Why enlarging `doc` by `factor` cannot give a file `output` can hold and
// Gridmint can open again; empty when it can.
std::string outputSizeProblem(const ScaleDocument& doc, std::int32_t factor, const fs::path& output)
{
    const std::int64_t w = std::int64_t{doc.source()->width()} * factor;
    const std::int64_t h = std::int64_t{doc.source()->height()} * factor;
    const std::string problem = writeSizeProblem(SaveFormat(output), w, h);
    if (problem.empty())
        return {};
    return "x" + std::to_string(factor) + " gives " + std::to_string(w) + " x " +
           std::to_string(h) + ": " + problem;
}

struct Planned {
    fs::path output;
    fs::path folderToCreate; // the "OUTPUT" folder, made (one level) before writing
};

struct Outcome {
    bool done = false;
    bool ok = false;
    std::string message; // the stdout line, or the error reason
    std::string warning; // printed on stderr before the line, success or not
    double readMs = 0, enlargeMs = 0, encodeMs = 0;
};

// Lets a file start only while the memory estimates of the files in
// progress fit the budget, so that --jobs never asks for jobs x the memory
// of the largest file. A file larger than the whole budget runs alone.
class MemoryGate {
public:
    explicit MemoryGate(std::uint64_t budget) : budget_(budget) {}

    void acquire(std::uint64_t need)
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [&] { return inUse_ == 0 || inUse_ + need <= budget_; });
        inUse_ += need;
    }

    void release(std::uint64_t need)
    {
        {
            const std::lock_guard lock(mutex_);
            inUse_ -= need;
        }
        freed_.notify_all();
    }

private:
    std::uint64_t budget_;
    std::uint64_t inUse_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
};

// What enlarging one file costs at its peak, from its header: the file, the
// source with the engine's tables and pass lists (some 14 bytes a source
// pixel), the output once, again for a cell-mode result and for a change
// map, and the writer's buffers, which stay a few MiB whatever the size.
std::uint64_t memoryEstimate(const fs::path& input, std::int32_t factor, const CellOptions& cells)
{
    constexpr std::uint64_t kOverhead = std::uint64_t{4} << 20;
    constexpr std::uint64_t kPerSourcePixel = 16;
    std::error_code ec;
    const std::uintmax_t fileBytes = fs::file_size(input, ec);
    const std::uint64_t base = kOverhead + (ec ? 0 : static_cast<std::uint64_t>(fileBytes));
    const auto size = readImageSize(input);
    if (!size || !imageSizeProblem(size->width, size->height).empty())
        return base; // refused by the reader before it allocates
    const auto pixels =
        static_cast<std::uint64_t>(size->width) * static_cast<std::uint64_t>(size->height);
    const auto f2 = static_cast<std::uint64_t>(factor) * static_cast<std::uint64_t>(factor);
    const std::uint64_t outputs =
        1 + (cells.layout.enabled() ? 1 : 0) + (cells.changeMap.empty() ? 0 : 1);
    return base + kPerSourcePixel * pixels + outputs * f2 * pixels;
}

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
            if (!o.warning.empty())
                fileError(inputs_[next_], o.warning);
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
// (`before` the rows, such as "enlarging", then the rows written), refreshed
// a few times a second and cleared when the file is done.
class FileProgress {
public:
    FileProgress(std::string input, const char* before)
        : input_(std::move(input)), before_(before),
          ticker_([this](std::stop_token stop) { run(stop); })
    {
    }
    FileProgress(const FileProgress&) = delete;
    FileProgress& operator=(const FileProgress&) = delete;
    ~FileProgress()
    {
        ticker_.request_stop();
        ticker_.join();
    }

    // Hands the rows written on from the writing thread.
    void follow(WriteOptions& write)
    {
        write.progress = [this](std::int32_t done, std::int32_t rows) {
            rows_ = rows;
            done_ = done;
        };
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
                std::fprintf(stderr, "\r\x1b[Kgridmint-cli: %s: %s", input_.c_str(), before_);
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
    const char* before_;
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
        progress.emplace(input, "enlarging");
    ScaleDocument doc;
    doc.SetEngineThreads(engineThreads);
    const auto t0 = Clock::now();
    if (!doc.Load(PathFromUtf8(input))) {
        o.message = loadError(PathFromUtf8(input), doc.lastError());
        return o;
    }
    o.warning = missingRowsWarning(doc);
    if (!applyCellOptions(options.cells, doc, o.message))
        return o;
    // Refused before the engine runs: an output the format cannot hold or
    // Gridmint could not open again would only fail after all the work.
    o.message = outputSizeProblem(doc, options.scale, plan.output);
    if (!o.message.empty())
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
    // Folders are made only now that a file is about to go into them.
    std::error_code ec; // a failure shows as a failed write below
    if (!options.outDir.empty())
        fs::create_directories(PathFromUtf8(options.outDir), ec);
    if (!plan.folderToCreate.empty())
        fs::create_directory(plan.folderToCreate, ec);
    WriteOptions write;
    write.compression = options.compression;
    write.threads = writerThreads;
    if (progress)
        progress->follow(write);
    if (!doc.Save(plan.output, write)) {
        o.message = doc.lastError();
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
    if (!pal) {
        fileError(options.palette, "not a palette Gridmint can read");
        status = kExitFailed;
        return std::nullopt;
    }
    // A very short ACT file is an empty palette, not a broken one.
    if (pal->count() == 0)
        fileError(options.palette,
                  "note: no colours in this palette; the colours stay as they are");
    std::vector<Colour> colours = pal->colours;
    if (colours.size() > 256)
        colours.resize(256);
    return colours;
}

// Loads `input` for a one-file command, printing the failure or the
// warning about a file that ends early.
bool loadForCommand(ScaleDocument& doc, const std::string& input)
{
    if (!doc.Load(PathFromUtf8(input))) {
        fileError(input, loadError(PathFromUtf8(input), doc.lastError()));
        return false;
    }
    if (const std::string warning = missingRowsWarning(doc); !warning.empty())
        fileError(input, warning);
    return true;
}

// Decides every output before anything is written, so that a clash is a
// usage error instead of a half-done batch. Each name is resolved once and
// compared through hash tables: a batch of thousands plans in linear time.
int planOutputs(const ScaleOptions& options, std::vector<Planned>& plans)
{
    const std::vector<std::string>& inputs = options.inputs;
    plans.assign(inputs.size(), Planned{});
    std::error_code ec;
    const fs::path outDir = PathFromUtf8(options.outDir);
    const bool outDirExists = !options.outDir.empty() && fs::exists(outDir, ec);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const fs::path input = PathFromUtf8(inputs[i]);
        if (!options.output.empty()) {
            plans[i].output = PathFromUtf8(options.output);
        } else if (!options.outDir.empty() && !outDirExists) {
            // Made when the first file is written; nothing in it can be an
            // input yet.
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

    // One change map, compared once with each input: linear as well.
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

    std::unordered_map<platform::FileIdentity, std::size_t, IdentityHash> inputIds;
    for (std::size_t j = 0; j < inputs.size(); ++j) {
        if (const auto id = platform::fileIdentity(PathFromUtf8(inputs[j])))
            inputIds.emplace(*id, j);
    }
    std::unordered_map<fs::path::string_type, std::size_t> outputNames;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (plans[i].output.empty())
            continue;
        if (const auto id = platform::fileIdentity(plans[i].output)) {
            if (const auto hit = inputIds.find(*id); hit != inputIds.end()) {
                usageError(Utf8(plans[i].output) + " would overwrite the input " +
                           inputs[hit->second]);
                return kExitUsage;
            }
        }
        const auto [first, fresh] = outputNames.emplace(comparable(plans[i].output).native(), i);
        if (!fresh) {
            usageError(inputs[first->second] + " and " + inputs[i] + " would both write " +
                       Utf8(plans[i].output));
            return kExitUsage;
        }
    }
    return kExitOk;
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

    std::vector<Planned> plans;
    if (const int status = planOutputs(options, plans); status != kExitOk)
        return status;

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
    std::uint64_t budget = std::uint64_t{options.memoryBudgetMiB} << 20;
    if (budget == 0)
        budget = platform::usableMemoryBytes() / 2;
    MemoryGate gate(budget != 0 ? budget : std::uint64_t{1} << 31);
    const auto worker = [&] {
        for (std::size_t i = nextInput++; i < inputs.size(); i = nextInput++) {
            // One file at a time needs no estimate: it runs whatever it costs.
            const std::uint64_t need =
                jobs > 1 ? memoryEstimate(PathFromUtf8(inputs[i]), options.scale, options.cells)
                         : 0;
            gate.acquire(need);
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
            gate.release(need);
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

int runConvert(const std::string& input, const std::string& output, Compression compression)
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
    std::optional<FileProgress> progress;
    if (GRIDMINT_ISATTY(2) != 0)
        progress.emplace(input, "reading");
    ScaleDocument doc;
    std::string warning;
    std::string failure;
    if (!doc.Load(inputPath)) {
        failure = loadError(inputPath, doc.lastError());
    } else {
        warning = missingRowsWarning(doc);
        failure = outputSizeProblem(doc, 1, outputPath);
    }
    if (failure.empty()) {
        WriteOptions write;
        write.compression = compression;
        if (progress)
            progress->follow(write);
        // The picture as read, written once: no engine run, no display copy.
        if (!doc.SaveSource(outputPath, write))
            failure = doc.lastError();
    }
    progress.reset(); // its line goes before anything else is printed
    if (!warning.empty())
        fileError(input, warning);
    if (!failure.empty()) {
        fileError(input, failure);
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
            const std::string why = loadError(PathFromUtf8(input), doc.lastError());
            fileError(input, why);
            if (json)
                list.push_back({{"file", input}, {"error", why}});
            continue;
        }
        if (const std::string warning = missingRowsWarning(doc); !warning.empty())
            fileError(input, warning);
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
    // File names need not be UTF-8: invalid bytes become U+FFFD rather than
    // losing the whole list.
    if (json)
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return allOk ? kExitOk : kExitFailed;
}

int runStats(const std::string& input, std::int32_t x, std::int32_t y, double threshold,
             std::int32_t transparent)
{
    ScaleDocument doc;
    if (!loadForCommand(doc, input))
        return kExitFailed;
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

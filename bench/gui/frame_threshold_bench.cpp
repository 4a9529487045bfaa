// Times the threshold slider through the real main window: from a slider
// change to the end of the image view's repaint.
//
//  1. A 256 x 256 source at factor 8: one slider step at a time, each
//     followed by the event processing that applies it and a repaint; prints
//     the median and the 95th percentile over 100 steps (target: under
//     16 ms at the 95th percentile).
//  2. A 1024 x 1024 source at factor 4, dragged quickly: slider moves arrive
//     in bursts faster than the engine runs; after the release the final
//     position must be in effect within one further engine run.
//  3. The window during long jobs (1024 x 1024 at factor 8, or 32 with
//     --x32): a forced re-run and a save, each once in place and once on
//     the worker thread, in two rounds of alternating order. A 10 ms timer repaints the
//     image view and opens and closes the File menu; the longest wait for a
//     tick, a repaint or a menu is what a user would feel (target: under
//     100 ms). The same timer with no job gives the machine's baseline: a
//     menu that takes a millisecond of the window thread's processor time
//     but tens of milliseconds on the clock waited for the processor. Resident
//     memory after the open, an edit and a re-run, and the peak during the
//     re-run, show where the copies of the result are; with --x32 also the
//     peak of a factor change from 16 to 32.
//
// Run offscreen in a Release build:
//   build/release/bench/gui/gridmint-frame-bench [--x32] [--jobs-only] [--shot FILE.png]
// (--shot saves the window during the first re-run on the worker, and as
// FILE-save.png during the first save on the worker).
#include "desktop/CMainFrame.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CTopPanelView.h"
#include "ui/UiResources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using namespace gridmint;
using Clock = std::chrono::steady_clock;

class QuietDialogs : public UserDialogs {
public:
    QString saveAs;
    void message(QWidget*, const QString& text, const QString&) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return saveAs;
    }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
};

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Bands, blobs and a checker over 16 colours of rising lightness: plenty of
// staircases for the slope passes, and colours near each other so that the
// threshold matters.
std::filesystem::path WriteSource(const QString& dir, int side)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(side) * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            std::uint8_t v = static_cast<std::uint8_t>(((x / 9) + (y / 13)) % 2 ? 2 : 11);
            if ((x + 2 * y) % 23 < 6) {
                v = 7;
            } else if (((x % 31) - 15) * ((x % 31) - 15) + ((y % 29) - 14) * ((y % 29) - 14) < 40) {
                v = static_cast<std::uint8_t>(3 + (x / 31 + y / 29) % 4);
            }
            pixels[static_cast<std::size_t>(y) * side + x] = v;
        }
    }
    std::vector<Colour> colours;
    for (int i = 0; i < 16; ++i) {
        const auto c = static_cast<Colour>(i * 16);
        colours.push_back(kOpaque | (c << 16) | (((c + 40) % 256) << 8) | ((c * 3) % 256));
    }
    const auto path = std::filesystem::path((dir + QStringLiteral("/source.png")).toStdU16String());
    writePng(path, pixels.data(), side, side, side, colours.data(), 16);
    return path;
}

struct Window {
    AppSettings settings;
    QuietDialogs* dialogs = new QuietDialogs; // owned by the frame
    CMainFrame frame;
    Window(int factor, const std::filesystem::path& source)
        : settings(MakeSettings(factor)), frame(settings, std::unique_ptr<UserDialogs>(dialogs))
    {
        frame.resize(1280, 800);
        frame.show();
        QApplication::processEvents();
        frame.Open(source);
        QApplication::processEvents();
    }
    static AppSettings MakeSettings(int factor)
    {
        AppSettings s;
        s.ImageScale = factor;
        return s;
    }
    QSlider* slider() { return frame.toolPanel()->thresholdSlider(); }
};

bool SteadySteps(const std::filesystem::path& source)
{
    Window w(8, source);
    std::vector<double> ms;
    constexpr int kSteps = 100;
    for (int i = 0; i < kSteps; ++i) {
        const int value = 10 + (i % 2 == 0 ? i % 60 : 60 - i % 60);
        if (value == w.slider()->value()) {
            continue;
        }
        const int runs = w.frame.engineRuns();
        const auto t0 = Clock::now();
        w.slider()->setValue(value);
        while (w.frame.engineRuns() == runs) {
            QApplication::processEvents();
        }
        w.frame.view()->viewport()->repaint();
        ms.push_back(Ms(Clock::now() - t0));
    }
    const double p95 = Percentile(ms, 0.95);
    std::printf("256x256 at factor 8 (2048x2048 result), %zu slider steps: median %.2f ms, "
                "p95 %.2f ms (target p95 < 16 ms)\n",
                ms.size(), Percentile(ms, 0.5), p95);
    // The same threshold changes on the document alone, without the window,
    // to tell the engine's share from the window's.
    std::vector<double> engine;
    for (int i = 0; i < kSteps; ++i) {
        const int value = 10 + (i % 2 == 0 ? i % 60 : 60 - i % 60);
        const auto t0 = Clock::now();
        w.frame.document().Apply(8, value, false, w.settings.TransColorIndex);
        engine.push_back(Ms(Clock::now() - t0));
    }
    std::printf("  engine and display conversion alone: median %.2f ms, p95 %.2f ms\n",
                Percentile(engine, 0.5), Percentile(engine, 0.95));
    return p95 < 16.0;
}

bool QuickDrag(const std::filesystem::path& source)
{
    Window w(4, source);
    // One full run for scale.
    auto t0 = Clock::now();
    w.frame.toolPanel()->reapplyButton()->click();
    const double oneRun = Ms(Clock::now() - t0);

    // A drag from 20 to 83: the mouse delivers eight slider positions for
    // every chance the event loop gets, as it does while a run is busy.
    const int before = w.frame.engineRuns();
    int moves = 0;
    for (int value = 21; value <= 83; ++value) {
        w.slider()->setValue(value);
        ++moves;
        if (value % 8 == 0) {
            QApplication::processEvents();
        }
    }
    const int duringDrag = w.frame.engineRuns() - before;
    // Release: the final position is handled by the event loop.
    const int atRelease = w.frame.engineRuns();
    t0 = Clock::now();
    while (w.frame.document().job()->threshold() != 83.0) {
        QApplication::processEvents();
    }
    w.frame.view()->viewport()->repaint();
    const double settle = Ms(Clock::now() - t0);
    QApplication::processEvents();
    const int afterRelease = w.frame.engineRuns() - atRelease;
    std::printf("1024x1024 at factor 4 (4096x4096 result): one run %.1f ms; drag of %d moves "
                "gave %d runs; after release %d run(s), final value in effect after %.1f ms\n",
                oneRun, moves, duringDrag, afterRelease, settle);
    return afterRelease <= 1;
}

// Resident and peak memory in MiB, from /proc (Linux only; 0 elsewhere).
struct Memory {
    double rss = 0;
    double peak = 0;
};

Memory ReadMemory()
{
    Memory m;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return m;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == "VmRSS:") {
            m.rss = parts[1].toDouble() / 1024.0;
        } else if (parts.size() >= 2 && parts[0] == "VmHWM:") {
            m.peak = parts[1].toDouble() / 1024.0;
        }
    }
    return m;
}

void ResetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

// The longest waits a user meets while `job` runs from the event loop.
struct Stalls {
    double tick = 0;      // between two 10 ms timer ticks
    double repaint = 0;   // one repaint of the image view
    double menu = 0;      // opening and closing the File menu
    double job = 0;       // the job itself
    double menuP95 = 0;   // the 95th percentile of the menu's openings
    double windowCpu = 0; // processor time the window's thread took, in % of the job's time
    double menuCpu = 0;   // the processor time of the slowest menu opening
};

// Processor time the calling thread has used so far.
Clock::duration ThreadCpu()
{
#ifdef _WIN32
    return {};
#else
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
#endif
}

Stalls Measure(Window& w, const std::function<void()>& job)
{
    Stalls s;
    QMenu* file = w.frame.menuBar()->actions().constFirst()->menu();
    QTimer ticker;
    ticker.setInterval(10);
    auto last = Clock::now();
    int ticks = 0;
    std::vector<double> menus;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        s.tick = std::max(s.tick, Ms(now - last));
        auto t0 = Clock::now();
        w.frame.view()->viewport()->repaint();
        s.repaint = std::max(s.repaint, Ms(Clock::now() - t0));
        if (++ticks % 5 == 0) {
            t0 = Clock::now();
            const auto cpu0 = ThreadCpu();
            file->popup(w.frame.mapToGlobal(QPoint(10, 10)));
            QApplication::processEvents();
            file->hide();
            menus.push_back(Ms(Clock::now() - t0));
            if (menus.back() > s.menu) {
                s.menu = menus.back();
                s.menuCpu = Ms(ThreadCpu() - cpu0);
            }
        }
        last = Clock::now();
    });
    bool done = false;
    QTimer::singleShot(0, [&] {
        last = Clock::now();
        ticker.start();
        const auto t0 = Clock::now();
        const auto cpu0 = ThreadCpu();
        job();
        s.job = Ms(Clock::now() - t0);
        s.windowCpu = 100.0 * Ms(ThreadCpu() - cpu0) / std::max(1.0, s.job);
        done = true;
    });
    while (!done) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // A job run in place blocks every tick until it ends.
    s.tick = std::max(s.tick, Ms(Clock::now() - last));
    ticker.stop();
    if (!menus.empty()) {
        s.menuP95 = Percentile(menus, 0.95);
    }
    return s;
}

bool LongJobs(const std::filesystem::path& source, const QString& dir, int factor, bool saves,
              const QString& shot)
{
    Window w(factor, source);
    w.dialogs->saveAs = dir + QStringLiteral("/saved.png");
    const IndexedBitmap* result = w.frame.document().resultBitmap();
    std::printf("1024x1024 at factor %d (%dx%d result):\n", factor, result->width(),
                result->height());
    const Memory opened = ReadMemory();
    // One dot: an edit, so that the memory an edit keeps shows.
    w.frame.toolPanel()->toolButton(5)->click();
    emit w.frame.view()->UWM_VIEW_LBUTTONDOWN(40, 40);
    emit w.frame.view()->UWM_VIEW_LBUTTONUP(40, 40);
    const Memory edited = ReadMemory();

    constexpr int kRounds = 2;
    std::vector<Stalls> inPlace;
    std::vector<Stalls> worker;
    std::vector<Stalls> saveInPlace;
    std::vector<Stalls> saveWorker;
    std::vector<Stalls> quiet;
    Memory rerun;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool background : {round % 2 == 0, round % 2 != 0}) {
            w.frame.setBackgroundFrom(background ? 0 : INT64_MAX);
            if (background && round == 0 && !shot.isEmpty()) {
                // The window as the user sees it while the run works.
                QTimer::singleShot(300, &w.frame, [&] { w.frame.grab().save(shot); });
            }
            ResetPeak();
            (background ? worker : inPlace).push_back(Measure(w, [&] {
                w.frame.toolPanel()->reapplyButton()->click();
            }));
            if (background && rerun.peak == 0) {
                rerun = ReadMemory();
            }
            if (saves) {
                if (background && round == 0 && !shot.isEmpty()) {
                    // ... and while the save works.
                    QString saving = shot;
                    saving.insert(saving.lastIndexOf(QLatin1Char('.')), QStringLiteral("-save"));
                    QTimer::singleShot(1000, &w.frame,
                                       [&w, saving] { w.frame.grab().save(saving); });
                }
                (background ? saveWorker : saveInPlace).push_back(Measure(w, [&] {
                    w.frame.files().OnFileSaveAs();
                }));
            }
        }
        // The same timer with no job at all, as long as a save: what the
        // machine's other load and the timer's own work cost the window.
        quiet.push_back(Measure(w, [] {
            QEventLoop wait;
            QTimer::singleShot(3000, &wait, &QEventLoop::quit);
            wait.exec();
        }));
    }
    auto median = [](const std::vector<Stalls>& v, double Stalls::*field) {
        std::vector<double> values;
        for (const Stalls& s : v) {
            values.push_back(s.*field);
        }
        return Percentile(values, 0.5);
    };
    auto report = [&](const char* what, const std::vector<Stalls>& before,
                      const std::vector<Stalls>& after) {
        std::printf("  %s: job %.0f ms in place, %.0f ms on the worker; longest wait for a "
                    "tick %.0f -> %.0f ms (%.1fx shorter), repaint %.1f ms, menu %.1f ms\n",
                    what, median(before, &Stalls::job), median(after, &Stalls::job),
                    median(before, &Stalls::tick), median(after, &Stalls::tick),
                    median(before, &Stalls::tick) / std::max(1.0, median(after, &Stalls::tick)),
                    median(after, &Stalls::repaint), median(after, &Stalls::menu));
        std::printf("    menu p95 %.1f ms, the slowest took %.1f ms of processor time; the "
                    "window's thread busy %.0f%% of the time (in place %.0f%%)\n",
                    median(after, &Stalls::menuP95), median(after, &Stalls::menuCpu),
                    median(after, &Stalls::windowCpu), median(before, &Stalls::windowCpu));
        return median(after, &Stalls::tick) < 100.0 && median(after, &Stalls::menu) < 100.0;
    };
    std::printf("  no job, 3 s: longest wait for a tick %.0f ms, repaint %.1f ms, menu %.1f ms "
                "(p95 %.1f ms, the slowest took %.1f ms of processor time); the window's "
                "thread busy %.0f%% of the time\n",
                median(quiet, &Stalls::tick), median(quiet, &Stalls::repaint),
                median(quiet, &Stalls::menu), median(quiet, &Stalls::menuP95),
                median(quiet, &Stalls::menuCpu), median(quiet, &Stalls::windowCpu));
    const bool run = report("forced re-run", inPlace, worker);
    const bool save = !saves || report("save as PNG", saveInPlace, saveWorker);
    const IndexedBitmap* last = w.frame.document().resultBitmap(); // the runs replaced `result`
    const double mib =
        static_cast<double>(last->stride()) * static_cast<double>(last->height()) / 1048576.0;
    std::printf("  memory (result raster %.0f MiB): after open %.0f MiB, after an edit %.0f MiB, "
                "after a re-run on the worker %.0f MiB, peak during it %.0f MiB\n",
                mib, opened.rss, edited.rss, rerun.rss, rerun.peak);
    return run && save;
}

// A factor change from 16 to 32 on the worker: the peak memory against two
// results of the new size, the most a run at the largest factor may hold.
void FactorChange(const std::filesystem::path& source)
{
    Window w(16, source);
    w.frame.setBackgroundFrom(0);
    const Memory before = ReadMemory();
    ResetPeak();
    w.settings.ImageScale = 32;
    w.frame.ReapplyIfChanged();
    const Memory after = ReadMemory();
    const IndexedBitmap* result = w.frame.document().resultBitmap();
    const double mib = result ? static_cast<double>(result->stride()) *
                                    static_cast<double>(result->height()) / 1048576.0
                              : 0.0;
    std::printf("  factor 16 -> 32 on the worker: %.0f MiB before, peak %.0f MiB (%.2fx the "
                "result raster of %.0f MiB), after %.0f MiB\n",
                before.rss, after.peak, after.peak / std::max(1.0, mib), mib, after.rss);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The slider saves the settings on every move; keep them away from the user's.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    initUiResources();
    const QStringList args = QCoreApplication::arguments();
    QTemporaryDir dir;
    bool ok = true;
    if (!args.contains(QStringLiteral("--jobs-only"))) {
        ok = SteadySteps(WriteSource(dir.path(), 256)) && ok;
        ok = QuickDrag(WriteSource(dir.path(), 1024)) && ok;
    }
    // At factor 32 the result is a gigabyte; its PNG takes minutes to write,
    // so only the re-runs are timed there.
    const bool x32 = args.contains(QStringLiteral("--x32"));
    const qsizetype shot = args.indexOf(QStringLiteral("--shot"));
    ok = LongJobs(WriteSource(dir.path(), 1024), dir.path(), x32 ? 32 : 8, !x32,
                  shot >= 0 && shot + 1 < args.size() ? args[shot + 1] : QString()) &&
         ok;
    if (x32) {
        FactorChange(WriteSource(dir.path(), 1024));
    }
    return ok ? 0 : 1;
}

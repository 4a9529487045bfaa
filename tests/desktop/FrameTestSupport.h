// Shared pieces of the main-window tests: a dialog stand-in that records
// what the frame asks, a frame wrapper with isolated settings, and small
// palette images written to a temporary folder.
#pragma once

#include "app/AppSettings.h"
#include "app/desktop/CMainFrame.h"
#include "image/Containers.h"
#include "image/IndexedBitmap.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace gridmint::test {

struct Message {
    QString text;
    QString caption;
};

class RecordingDialogs : public UserDialogs {
public:
    std::vector<Message> messages;
    QStringList openAnswers; // taken front first; empty = cancel
    QStringList saveAnswers;
    QStringList proposedSaveNames;
    QStringList saveSuffixes;
    int openAsked = 0;
    int settingsShown = 0;
    std::function<bool(AppSettings&)> onSettings;
    std::vector<QUrl> urls;

    void message(QWidget*, const QString& text, const QString& caption) override;
    QString openFileName(QWidget*, const QString& filter) override;
    QString saveFileName(QWidget*, const QString& proposed, const QString& filter,
                         const QString& suffix) override;
    bool editSettings(QWidget*, AppSettings& settings) override;
    void showAbout(QWidget*) override {}
    void openUrl(const QUrl& url) override { urls.push_back(url); }
};

std::filesystem::path toPath(const QString& text);

// A palette image of `width` x `height` whose index at (x, y) is
// `pixel(x, y)`, with `colours` distinct opaque colours.
void writeImage(const std::filesystem::path& path, int width, int height, int colours,
                const std::function<std::uint8_t(int, int)>& pixel);
// Diagonal bands and blobs: plenty of edges for the slope passes.
std::uint8_t patternPixel(int x, int y);
// Every pixel row of the raster, stride padding left out.
std::vector<std::uint8_t> pixelsOf(const IndexedBitmap& bitmap);
// A .act file of 256 colours, colour i = (i, 255 - i, i * 7).
void writeAct(const std::filesystem::path& path);

class FrameHarness {
public:
    explicit FrameHarness(int factor = 4);
    ~FrameHarness();

    QTemporaryDir dir;
    AppSettings settings;
    RecordingDialogs* dialogs = nullptr; // owned by the frame
    std::unique_ptr<CMainFrame> frame;

    std::filesystem::path file(const QString& name) const;
    // Writes a pattern image and opens it through the frame.
    std::filesystem::path openPattern(const QString& name, int width, int height, int colours = 16);
    void selectZoomChoice(int choice); // 0..6 = x1 .. x32
    void selectTool(int mode);
};

} // namespace gridmint::test

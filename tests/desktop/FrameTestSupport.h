// Shared pieces of the main-window tests: a dialog stand-in that records
// what the frame asks, and a shown frame with its own settings record and
// a temporary folder for images.
#pragma once

#include "app/AppSettings.h"
#include "desktop/CMainFrame.h"
#include "image/IndexedBitmap.h"

#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace gridmint::test {

class RecordingDialogs : public UserDialogs {
public:
    QStringList messages;    // "caption: text"
    QStringList saveAnswers; // taken front first; none left = cancel
    QStringList proposedSaveNames;
    std::function<bool(AppSettings&)> onSettings;
    QList<QUrl> openedUrls;
    bool urlsOpen = true;                 // whether a program takes the address
    QList<SaveAnswer> saveChangesAnswers; // taken front first; none left = cancel
    int saveChangesQuestions = 0;
    QList<bool> confirmAnswers; // taken front first; none left = no
    QStringList confirmations;  // "caption: text"

    void message(QWidget*, const QString& text, const QString& caption) override
    {
        messages << caption + QStringLiteral(": ") + text;
    }
    SaveAnswer askSaveChanges(QWidget*) override
    {
        ++saveChangesQuestions;
        return saveChangesAnswers.isEmpty() ? SaveAnswer::Cancel : saveChangesAnswers.takeFirst();
    }
    bool confirm(QWidget*, const QString& text, const QString& caption) override
    {
        confirmations << caption + QStringLiteral(": ") + text;
        return !confirmAnswers.isEmpty() && confirmAnswers.takeFirst();
    }
    QString saveFileName(QWidget*, const QString& proposed, const QString&, const QString&) override
    {
        proposedSaveNames << proposed;
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    bool editSettings(QWidget*, AppSettings& settings) override
    {
        return onSettings && onSettings(settings);
    }
    void showAbout(QWidget*) override {}
    bool openUrl(const QUrl& url) override
    {
        openedUrls << url;
        return urlsOpen;
    }
};

// Diagonal bands and blobs over indices 1..12: plenty of slope edges.
std::uint8_t patternPixel(int x, int y);
// A PNG of the pattern with `colours` opaque colours of rising lightness.
void writeImage(const std::filesystem::path& path, int width, int height, int colours = 16);
// A .act file of 256 colours, colour i = (i, 255 - i, i * 7).
void writeAct(const std::filesystem::path& path);
// The raster's pixel rows without stride padding.
std::vector<std::uint8_t> pixelsOf(const IndexedBitmap& bitmap);

struct FrameHarness {
    explicit FrameHarness(int factor);

    QTemporaryDir dir;
    AppSettings settings;
    RecordingDialogs* dialogs = nullptr; // owned by the frame
    std::unique_ptr<CMainFrame> frame;

    std::filesystem::path file(const QString& name) const;
    std::filesystem::path openPattern(const QString& name, int width, int height);
    void selectZoomChoice(int choice); // 0..6 = x1 .. x32
    void selectTool(int mode);
};

} // namespace gridmint::test

// The commands that move files in and out of the frame: open (menu, drop),
// save, save as and the automatic save after an image is opened, with the
// messages and questions they show. They remember the open image's path and
// the target of save; reading, enlarging and writing are the document's.
// Hand edits are never thrown away without the question whether to save
// them, and the source image is never replaced without a question of its own.
#pragma once

#include "app/AppSettings.h"
#include "app/ScaleDocument.h"
#include "desktop/UserDialogs.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <string>

class QWidget;

namespace gridmint {

class CPaletteToolView;

// What the file commands need from the window that holds them.
class FileCommandHost {
public:
    // Runs the engine on the image the document has just loaded and shows
    // the result; false when there is none to show.
    virtual bool ShowLoadedImage() = 0;
    // True when the document's result is the one on screen (only that one
    // may be saved).
    virtual bool ResultOnScreen() const = 0;
    // Load and Save of the document, run where the host decides (a large
    // file or result on a worker thread, with the window kept alive).
    virtual bool LoadDocument(const std::filesystem::path& path) = 0;
    virtual bool SaveDocument(const std::filesystem::path& path) = 0;
    // The document was loaded or saved: its modified state may differ.
    virtual void DocumentStateChanged() = 0;

protected:
    ~FileCommandHost() = default;
};

class FileCommands {
    Q_DECLARE_TR_FUNCTIONS(FileCommands)

public:
    // Everything passed in must outlive the commands; `owner` parents the
    // dialogs and message boxes.
    FileCommands(QWidget& owner, FileCommandHost& host, ScaleDocument& document,
                 AppSettings& settings, UserDialogs& dialogs, CPaletteToolView& palettes);

    // The caption of every error box.
    static QString errorCaption();
    // The message of a failed enlargement.
    static QString enlargeFailedText();
    // The open and save dialogs' filter list; the first entry is preselected.
    static QString fileFilter();

    // Opens an image, or (once an image is open) an ACT or PAL palette file
    // into the palette pane. Messages report every failure. Before an image
    // replaces unsaved changes, OfferToSave asks.
    void Open(const std::filesystem::path& path);
    void OnFileOpen();
    // Opens the first local file of a drop; the rest is ignored.
    void OnDrop(const QList<QUrl>& urls);
    // Both true when the result was written.
    bool OnFileSave();
    bool OnFileSaveAs();
    // With unsaved changes asks whether to save them: true when the caller
    // may go on (saved, not wanted, or nothing to save), false for
    // キャンセル and for a save that did not happen.
    bool OfferToSave();

    const std::filesystem::path& loadedPath() const { return loadedPath_; }
    const std::filesystem::path& savePath() const { return savePath_; }

private:
    void openPalette(const std::filesystem::path& path, const std::string& ext);
    void openImage(const std::filesystem::path& path);
    void autoSave();
    // Writes the result; a failure is reported.
    bool save(const std::filesystem::path& path);
    // False when `chosen` is the open source and the user does not want it
    // replaced.
    bool mayReplace(const std::filesystem::path& chosen);
    bool hasSavableResult() const;
    void reportSaveFailure();

    QWidget& owner_;
    FileCommandHost& host_;
    ScaleDocument& document_;
    AppSettings& settings_;
    UserDialogs& dialogs_;
    CPaletteToolView& palettes_;
    std::filesystem::path loadedPath_;
    std::filesystem::path savePath_;
};

} // namespace gridmint

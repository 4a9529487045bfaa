#include "desktop/FileCommands.h"

#include "app/SaveNaming.h"
#include "image/Codecs.h"
#include "image/ErrCodeException.h"
#include "ui/CPaletteToolView.h"

#include <QDir>
#include <exception>
#include <memory>
#include <system_error>

namespace gridmint {

namespace {

std::filesystem::path toPath(const QString& text)
{
    return std::filesystem::path(text.toStdU16String());
}

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdU16String(path.u16string());
}

// The settings keep the folder as UTF-8 whatever the platform's path encoding.
std::filesystem::path folderPath(const std::string& utf8)
{
    return toPath(QString::fromStdString(utf8));
}

} // namespace

FileCommands::FileCommands(QWidget& owner, FileCommandHost& host, ScaleDocument& document,
                           AppSettings& settings, UserDialogs& dialogs, CPaletteToolView& palettes)
    : owner_(owner), host_(host), document_(document), settings_(settings), dialogs_(dialogs),
      palettes_(palettes)
{
}

QString FileCommands::errorCaption()
{
    return tr("エラー");
}

QString FileCommands::enlargeFailedText()
{
    return tr("画像を拡大できませんでした");
}

QString FileCommands::fileFilter()
{
    return tr("PNGファイル (*.png);;BMPファイル (*.bmp);;PCXファイル (*.pcx);;"
              "すべてのファイル (*.*)");
}

void FileCommands::OnFileOpen()
{
    const QString chosen = dialogs_.openFileName(&owner_, fileFilter());
    if (!chosen.isEmpty()) {
        Open(toPath(chosen));
    }
}

void FileCommands::OnDrop(const QList<QUrl>& urls)
{
    if (!urls.isEmpty() && urls.constFirst().isLocalFile()) {
        Open(toPath(urls.constFirst().toLocalFile()));
    }
}

void FileCommands::Open(const std::filesystem::path& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == ".act" || ext == ".pal") {
        openPalette(path, ext); // adds to the pane, keeps every edit
    } else if (OfferToSave()) {
        openImage(path);
        host_.DocumentStateChanged();
    }
}

bool FileCommands::OfferToSave()
{
    if (!document_.IsModified()) {
        return true;
    }
    switch (dialogs_.askSaveChanges(&owner_)) {
    case UserDialogs::SaveAnswer::Save:
        return OnFileSave();
    case UserDialogs::SaveAnswer::Discard:
        return true;
    case UserDialogs::SaveAnswer::Cancel:
        break;
    }
    return false;
}

void FileCommands::openPalette(const std::filesystem::path& path, const std::string& ext)
{
    if (!document_.source()) {
        dialogs_.message(&owner_,
                         tr("画像が読み込まれていません。\n"
                            "パレットは画像読み込み後追加読み込みのみ対応しています。"),
                         errorCaption());
        return;
    }
    std::unique_ptr<Palette> palette;
    try {
        palette = ext == ".act" ? readActPalette(path, settings_.IsReverseACT)
                                : readPalPalette(path, settings_.IsReversePAL);
    } catch (const tarn::CErrCodeException&) {
        palette.reset();
    } catch (const std::exception&) {
        palette.reset();
    }
    if (!palette) {
        dialogs_.message(&owner_, tr("パレットが読み込めませんでした"), errorCaption());
        return;
    }
    // The document's colours change only when the user picks the new block.
    palettes_.AddPalette(palette.get(), path);
    palettes_.Redraw();
}

void FileCommands::openImage(const std::filesystem::path& path)
{
    // A failed read leaves the document, both paths, the pane and the view
    // exactly as they were.
    if (!host_.LoadDocument(path)) {
        dialogs_.message(&owner_, tr("画像が読み込めませんでした"), errorCaption());
        return;
    }
    loadedPath_ = path;
    savePath_.clear();
    const ImageSet* source = document_.source();
    palettes_.ResetPalettes(source ? source->palette.get() : nullptr, path);
    palettes_.Redraw();

    if (!host_.ShowLoadedImage()) {
        dialogs_.message(&owner_, enlargeFailedText(), errorCaption());
        return;
    }
    if (settings_.IsAutoSave) {
        autoSave();
    }
}

bool FileCommands::hasSavableResult() const
{
    // Only the result on screen is saved: after a failed enlargement the
    // document may still hold the previous image's result.
    return document_.resultBitmap() && document_.source() && host_.ResultOnScreen();
}

void FileCommands::reportSaveFailure()
{
    dialogs_.message(&owner_, tr("画像を保存できませんでした"), errorCaption());
}

bool FileCommands::OnFileSave()
{
    if (!hasSavableResult()) {
        return false;
    }
    if (savePath_.empty()) {
        return OnFileSaveAs();
    }
    return save(savePath_);
}

bool FileCommands::OnFileSaveAs()
{
    if (!hasSavableResult()) {
        return false;
    }
    // The proposal is where the automatic save would write, never the
    // source itself. The file dialog opens only in an existing folder, so an
    // "OUTPUT" folder is made for it and taken away again (only while
    // empty) unless the file went there.
    const AutoSaveTarget target =
        AutoSavePath(loadedPath_, folderPath(settings_.DefaultSaveFolder));
    std::error_code ec;
    bool madeFolder = false;
    if (!target.folderToCreate.empty() && !std::filesystem::exists(target.folderToCreate, ec)) {
        madeFolder = std::filesystem::create_directory(target.folderToCreate, ec);
    }
    const auto dropUnusedFolder = [&] {
        if (madeFolder) {
            std::filesystem::remove(target.folderToCreate, ec); // fails while not empty
        }
    };
    // Without a safe name (an "OUTPUT" link back to the source's folder)
    // only the folder is proposed.
    const std::filesystem::path proposed =
        target.file.empty() ? loadedPath_.parent_path() / "" : target.file;
    const std::string ext = SaveExtension(loadedPath_);
    const QString suffix = QString::fromStdString(ext.size() > 1 ? ext.substr(1) : "png");
    const QString chosen =
        dialogs_.saveFileName(&owner_, toQString(proposed), fileFilter(), suffix);
    if (chosen.isEmpty() || !mayReplace(toPath(chosen))) {
        dropUnusedFolder();
        return false;
    }
    savePath_ = toPath(chosen);
    const bool saved = save(savePath_);
    dropUnusedFolder();
    return saved;
}

bool FileCommands::mayReplace(const std::filesystem::path& chosen)
{
    if (!SameFile(chosen, loadedPath_)) {
        return true;
    }
    const QString text = tr("「%1」は開いている元の画像です。\n"
                            "元の画像が拡大結果で置き換えられます。よろしいですか？")
                             .arg(QDir::toNativeSeparators(toQString(loadedPath_)));
    return dialogs_.confirm(&owner_, text, tr("名前をつけて保存"));
}

bool FileCommands::save(const std::filesystem::path& path)
{
    const bool saved = host_.SaveDocument(path);
    if (!saved) {
        reportSaveFailure();
    }
    host_.DocumentStateChanged();
    return saved;
}

void FileCommands::autoSave()
{
    if (!hasSavableResult()) {
        return;
    }
    const AutoSaveTarget target =
        AutoSavePath(loadedPath_, folderPath(settings_.DefaultSaveFolder));
    if (!target.folderToCreate.empty()) {
        // One level only; a failure shows up as a failed save below.
        std::error_code ignored;
        std::filesystem::create_directory(target.folderToCreate, ignored);
    }
    save(target.file);
}

} // namespace gridmint

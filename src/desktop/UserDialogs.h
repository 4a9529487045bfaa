// Everything the frame asks the user or hands to the desktop: message boxes,
// file dialogs, the settings and about dialogs, and opening documents and
// web pages. Tests replace it to answer without modal windows.
#pragma once

#include "app/AppSettings.h"

#include <QString>
#include <QUrl>

class QWidget;

namespace gridmint {

class UserDialogs {
public:
    enum class SaveAnswer { Save, Discard, Cancel };

    virtual ~UserDialogs();

    // A modal box with an OK button and no icon.
    virtual void message(QWidget* owner, const QString& text, const QString& caption);
    // "変更を保存しますか？" with 保存, 保存しない and キャンセル; closing the
    // box is キャンセル.
    virtual SaveAnswer askSaveChanges(QWidget* owner);
    // A yes-or-no question whose default (and Escape) is no.
    virtual bool confirm(QWidget* owner, const QString& text, const QString& caption);
    // The chosen file, or an empty string when the user cancelled.
    virtual QString openFileName(QWidget* owner, const QString& filter);
    // `proposed` is the initial file name; `defaultSuffix` has no dot. Asks
    // before overwriting an existing file.
    virtual QString saveFileName(QWidget* owner, const QString& proposed, const QString& filter,
                                 const QString& defaultSuffix);
    // Shows the settings dialog; true only when a setting changed (the new
    // values are then in `settings`).
    virtual bool editSettings(QWidget* owner, AppSettings& settings);
    virtual void showAbout(QWidget* owner);
    // Hands a local document or a web address to the system's default handler.
    // False when no program took it.
    virtual bool openUrl(const QUrl& url);
};

} // namespace gridmint

#include "desktop/UserDialogs.h"

#include "ui/CAboutDlg.h"
#include "ui/COptionDlg.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace gridmint {

UserDialogs::~UserDialogs() = default;

void UserDialogs::message(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString UserDialogs::openFileName(QWidget* owner, const QString& filter)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("png"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString UserDialogs::saveFileName(QWidget* owner, const QString& proposed, const QString& filter,
                                  const QString& defaultSuffix)
{
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

bool UserDialogs::editSettings(QWidget* owner, AppSettings& settings)
{
    COptionDlg dialog(settings, owner);
    return dialog.exec() == QDialog::Accepted;
}

void UserDialogs::showAbout(QWidget* owner)
{
    CAboutDlg dialog(owner);
    dialog.exec();
}

void UserDialogs::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

} // namespace gridmint

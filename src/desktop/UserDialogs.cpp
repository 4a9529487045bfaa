#include "desktop/UserDialogs.h"

#include "ui/CAboutDlg.h"
#include "ui/COptionDlg.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace gridmint {

UserDialogs::~UserDialogs() = default;

void UserDialogs::message(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

UserDialogs::SaveAnswer UserDialogs::askSaveChanges(QWidget* owner)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Gridmint"),
                    QStringLiteral("変更を保存しますか？"), QMessageBox::NoButton, owner);
    QPushButton* save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("保存しない"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) {
        return SaveAnswer::Save;
    }
    return box.clickedButton() == discard ? SaveAnswer::Discard : SaveAnswer::Cancel;
}

bool UserDialogs::confirm(QWidget* owner, const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::NoButton, owner);
    QPushButton* yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
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

bool UserDialogs::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace gridmint

// The settings dialog ("設定").
#pragma once

#include "app/AppSettings.h"

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QAbstractButton;

namespace gridmint {

class COptionDlg : public QDialog {
    Q_OBJECT
public:
    // `settings` must outlive the dialog; it is written only on OK.
    COptionDlg(AppSettings& settings, QWidget* parent = nullptr);

    // exec() returns QDialog::Accepted only when at least one setting changed
    // (the new values are then stored in `settings`); Rejected otherwise,
    // with `settings` untouched. The folder is taken exactly as typed.

    // Replaces the folder browser behind "参照..." (tests); the picker returns
    // the chosen folder or an empty string when cancelled. An empty function
    // restores the standard browser.
    static void setFolderPicker(std::function<QString(QWidget*)> picker);

    QCheckBox* autoSaveCheck() const { return autoSave_; }
    QCheckBox* reverseActCheck() const { return reverseAct_; }
    QCheckBox* reversePalCheck() const { return reversePal_; }
    QComboBox* scaleCombo() const { return scale_; }
    QComboBox* transparentCombo() const { return trans_; }
    QLineEdit* folderEdit() const { return folder_; }
    // Automatic, Japanese, English: AppSettings' kLanguage values in order.
    QComboBox* languageCombo() const { return language_; }
    // Cell mode: a side of 0 shows "オフ" and turns cell mode off.
    QSpinBox* cellWidthSpin() const { return cellWidth_; }
    QSpinBox* cellHeightSpin() const { return cellHeight_; }
    QSpinBox* cellMarginSpin() const { return cellMargin_; }
    QSpinBox* cellSpacingSpin() const { return cellSpacing_; }
    QCheckBox* cellWrapCheck() const { return cellWrap_; }
    QAbstractButton* browseButton() const { return browse_; }
    QAbstractButton* okButton() const { return ok_; }
    QAbstractButton* cancelButton() const { return cancel_; }

    static constexpr int kScaleFactors[] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 16, 32};

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onOk();
    void onBrowse();
    // The cell-mode group, under the language row; returns its bottom.
    int buildCellGroup(int top);
    // One side set keeps the other from staying 0 (square cells are the
    // common case); one side cleared turns cell mode off.
    void onCellSideChanged(QSpinBox* changed, QSpinBox* other);

    AppSettings& settings_;
    QCheckBox* autoSave_ = nullptr;
    QCheckBox* reverseAct_ = nullptr;
    QCheckBox* reversePal_ = nullptr;
    QComboBox* scale_ = nullptr;
    QComboBox* trans_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QComboBox* language_ = nullptr;
    QSpinBox* cellWidth_ = nullptr;
    QSpinBox* cellHeight_ = nullptr;
    QSpinBox* cellMargin_ = nullptr;
    QSpinBox* cellSpacing_ = nullptr;
    QCheckBox* cellWrap_ = nullptr;
    QAbstractButton* browse_ = nullptr;
    QAbstractButton* ok_ = nullptr;
    QAbstractButton* cancel_ = nullptr;
};

} // namespace gridmint

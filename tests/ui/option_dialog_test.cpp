#include "ui/COptionDlg.h"
#include "ui/UiResources.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QtTest>

using namespace gridmint;

namespace {

AppSettings stored()
{
    AppSettings s;
    s.IsAutoSave = false;
    s.IsReverseACT = true;
    s.IsReversePAL = false;
    s.ImageScale = 8;
    s.TransColorIndex = 255;
    s.DefaultSaveFolder = "/home/User/Out";
    return s;
}

bool same(const AppSettings& a, const AppSettings& b)
{
    return a.IsAutoSave == b.IsAutoSave && a.IsReverseACT == b.IsReverseACT &&
           a.IsReversePAL == b.IsReversePAL && a.ImageScale == b.ImageScale &&
           a.TransColorIndex == b.TransColorIndex && a.DefaultSaveFolder == b.DefaultSaveFolder &&
           a.Language == b.Language;
}

} // namespace

class OptionDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initUiResources(); }
    void cleanup() { COptionDlg::setFolderPicker({}); }

    void showsTheStoredSettings()
    {
        AppSettings s = stored();
        COptionDlg dlg(s);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("設定"));
        QCOMPARE(dlg.scaleCombo()->count(), 12);
        QCOMPARE(dlg.scaleCombo()->currentText(), QStringLiteral("x 8"));
        QCOMPARE(dlg.transparentCombo()->currentText(), QStringLiteral("255番"));
        QVERIFY(dlg.reverseActCheck()->isChecked());
        QVERIFY(!dlg.autoSaveCheck()->isChecked());
        QCOMPARE(dlg.folderEdit()->text(), QStringLiteral("/home/User/Out"));
        QCOMPARE(dlg.folderEdit()->maxLength(), 2599);
    }

    void okWithoutChangesIsRejected_data()
    {
        QTest::addColumn<int>("trans");
        QTest::newRow("none") << -1;
        QTest::newRow("zero") << 0;
        QTest::newRow("255") << 255;
    }
    void okWithoutChangesIsRejected()
    {
        QFETCH(int, trans);
        AppSettings s = stored();
        s.TransColorIndex = trans;
        const AppSettings before = s;
        COptionDlg dlg(s);
        // ticking and unticking is no change either
        dlg.reversePalCheck()->click();
        dlg.reversePalCheck()->click();
        dlg.okButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(same(s, before));
    }

    void eachChangeIsStoredAndAccepted()
    {
        {
            AppSettings s = stored();
            COptionDlg dlg(s);
            dlg.autoSaveCheck()->click();
            dlg.scaleCombo()->setCurrentIndex(11);
            dlg.transparentCombo()->setCurrentIndex(2);
            dlg.okButton()->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QVERIFY(s.IsAutoSave);
            QCOMPARE(s.ImageScale, 32);
            QCOMPARE(s.TransColorIndex, -1);
        }
        {
            // Only the letter case of the folder differs.
            AppSettings s = stored();
            COptionDlg dlg(s);
            dlg.folderEdit()->setText(QStringLiteral("/home/user/out"));
            dlg.okButton()->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(s.DefaultSaveFolder, std::string("/home/user/out"));
        }
        {
            AppSettings s = stored();
            COptionDlg dlg(s);
            dlg.folderEdit()->clear();
            dlg.okButton()->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(s.DefaultSaveFolder, std::string());
        }
        {
            AppSettings s = stored();
            COptionDlg dlg(s);
            QCOMPARE(dlg.languageCombo()->currentText(), QStringLiteral("自動"));
            dlg.languageCombo()->setCurrentIndex(2);
            dlg.okButton()->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(s.Language, AppSettings::kLanguageEnglish);
        }
    }

    void cellSidesGoOnAndOffTogether()
    {
        AppSettings s = stored();
        COptionDlg dlg(s);
        QCOMPARE(dlg.cellWidthSpin()->text(), QStringLiteral("オフ"));
        QVERIFY(!dlg.cellMarginSpin()->isEnabled());
        dlg.cellWidthSpin()->setValue(16); // the height follows from 0
        QCOMPARE(dlg.cellHeightSpin()->value(), 16);
        QVERIFY(dlg.cellWrapCheck()->isEnabled());
        dlg.cellHeightSpin()->setValue(8); // but not once set
        QCOMPARE(dlg.cellWidthSpin()->value(), 16);
        dlg.cellSpacingSpin()->setValue(2);
        dlg.cellWrapCheck()->click();
        dlg.okButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(s.cellLayout(), (CellLayout{16, 8, 0, 2, true}));

        COptionDlg again(s);
        again.cellHeightSpin()->setValue(0); // one side off turns both off
        QCOMPARE(again.cellWidthSpin()->value(), 0);
        QVERIFY(!again.cellSpacingSpin()->isEnabled());
        again.okButton()->click();
        QVERIFY(!s.cellLayout().enabled());
        QCOMPARE(s.CellSpacing, 2); // kept for the next time
    }

    void unlistedStoredValuesBecomeTheFirstChoiceOnOk()
    {
        AppSettings s = stored();
        s.ImageScale = 11;
        s.TransColorIndex = 7;
        COptionDlg dlg(s);
        QCOMPARE(dlg.scaleCombo()->currentText(), QStringLiteral("x 2"));
        QCOMPARE(dlg.transparentCombo()->currentText(), QStringLiteral("0番"));
        dlg.okButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(s.ImageScale, 2);
        QCOMPARE(s.TransColorIndex, 0);
    }

    void browsingFillsTheEditButOnlyOkStores()
    {
        AppSettings s = stored();
        const AppSettings before = s;
        QString answer;
        int asked = 0;
        COptionDlg::setFolderPicker([&](QWidget*) {
            ++asked;
            return answer;
        });
        COptionDlg dlg(s);
        dlg.browseButton()->click(); // cancelled
        QCOMPARE(asked, 1);
        QCOMPARE(dlg.folderEdit()->text(), QStringLiteral("/home/User/Out"));
        answer = QStringLiteral("/data/pictures");
        dlg.browseButton()->click();
        QCOMPARE(dlg.folderEdit()->text(), QStringLiteral("/data/pictures"));
        dlg.cancelButton()->click();
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(same(s, before));
    }
};

QTEST_MAIN(OptionDialogTest)
#include "option_dialog_test.moc"

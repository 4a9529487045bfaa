// The program in English and in Japanese: every text the frame and its
// dialogs show goes through the translation, the Japanese texts stay as
// written, Qt's own dialogs follow, and the language is chosen as the user
// set it.
#include "FrameTestSupport.h"
#include "app/ToolMode.h"
#include "desktop/FileCommands.h"
#include "desktop/UiLanguage.h"
#include "ui/CAboutDlg.h"
#include "ui/COptionDlg.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

namespace gridmint::test {

namespace {

bool hasJapanese(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        // Kana, CJK punctuation and ideographs, full-width forms.
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) ||
            (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

// Every text a user can see or hear in `root` and below it: captions,
// labels, list items, tips, window titles, menus and their items.
QStringList visibleTexts(QWidget* root)
{
    QStringList texts;
    auto add = [&texts](const QObject* from, const QString& text) {
        if (!text.isEmpty()) {
            texts << QString::fromLatin1(from->metaObject()->className()) + QStringLiteral(": ") +
                         text;
        }
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        add(w, w->windowTitle());
        add(w, w->toolTip());
        add(w, w->statusTip());
        add(w, w->accessibleName());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            add(w, label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            add(w, button->text());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i) {
                add(w, combo->itemText(i));
            }
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            add(w, box->title());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            add(w, edit->placeholderText());
        } else if (auto* menu = qobject_cast<QMenu*>(w)) {
            add(w, menu->title());
        }
    }
    for (const QAction* action : root->findChildren<QAction*>()) {
        add(action, action->text());
        add(action, action->statusTip());
        add(action, action->toolTip());
    }
    return texts;
}

// Labels, push buttons and check boxes narrower than their text needs.
QStringList cutOff(QWidget* root)
{
    root->show(); // lays out what layouts hold
    QStringList cut;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) {
            continue;
        }
        QString text;
        int needed = 0;
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
            text = label->text();
            needed = label->sizeHint().width();
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            text = check->text();
            needed = check->sizeHint().width();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            // A push button's size hint has a minimum width of its own;
            // the text with a little room each side is what must fit.
            text = button->text();
            needed = button->fontMetrics().horizontalAdvance(QString(text).remove(u'&')) + 8;
        }
        if (!text.isEmpty() && w->width() < needed) {
            cut << QStringLiteral("%1 (%2 < %3)").arg(text).arg(w->width()).arg(needed);
        }
    }
    return cut;
}

QStringList japaneseAmong(const QStringList& texts)
{
    QStringList found;
    for (const QString& t : texts) {
        if (hasJapanese(t)) {
            found << t;
        }
    }
    return found;
}

// The letter after the single '&' of a caption, or 0 when there is none.
QChar mnemonic(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (caption[i + 1] != u'&') {
                return caption[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

} // namespace

class FrameLanguageTest : public QObject {
    Q_OBJECT
private slots:
    void choosingTheLanguage()
    {
        const QStringList japaneseSystem{QStringLiteral("ja-JP"), QStringLiteral("en-US")};
        const QStringList otherSystem{QStringLiteral("de-DE"), QStringLiteral("ja-JP")};
        // Automatic follows the first of the system's languages.
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageAuto, {}, japaneseSystem),
                 UiLanguage::Japanese);
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageAuto, {}, otherSystem),
                 UiLanguage::English);
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageAuto, {}, {}), UiLanguage::English);
        // The setting wins over the system, the environment over both; an
        // unknown override is ignored.
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageEnglish, {}, japaneseSystem),
                 UiLanguage::English);
        QCOMPARE(
            ChooseUiLanguage(AppSettings::kLanguageJapanese, QStringLiteral("fr"), otherSystem),
            UiLanguage::Japanese);
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageJapanese, QStringLiteral("en"), {}),
                 UiLanguage::English);
        QCOMPARE(ChooseUiLanguage(AppSettings::kLanguageEnglish, QStringLiteral("ja"), {}),
                 UiLanguage::Japanese);
    }

    void englishShowsNoJapanese()
    {
        QVERIFY(InstallUiLanguage(UiLanguage::English));
        FrameHarness h(2);
        QStringList texts = visibleTexts(h.frame.get());
        QCOMPARE(h.frame->statusText(), QStringLiteral("Ready"));

        // Every message box the file commands show, and the pane's name for
        // no image.
        texts << h.frame->palettePane()->entries().front().name << FileCommands::fileFilter();
        h.frame->Open(h.file(QStringLiteral("early.act")));
        h.frame->Open(h.file(QStringLiteral("missing.png")));
        h.openPattern(QStringLiteral("art.png"), 8, 8);
        h.frame->Open(h.file(QStringLiteral("missing.act")));
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("no/such/folder/out.png"));
        h.frame->saveAsAction()->trigger();
        h.frame->helpAction()->trigger(); // no help page beside the tests
        QCOMPARE(h.dialogs->messages.size(), 5);
        texts << h.dialogs->messages;

        // The real boxes' own questions and buttons, read while they wait.
        UserDialogs real;
        auto readModal = [&texts] {
            QTimer::singleShot(0, [&texts] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    texts << visibleTexts(box);
                    box->close();
                }
            });
        };
        readModal();
        QCOMPARE(real.askSaveChanges(h.frame.get()), UserDialogs::SaveAnswer::Cancel);
        readModal();
        QVERIFY(!real.confirm(h.frame.get(), QStringLiteral("?"), QStringLiteral("Gridmint")));

        // The pane's context menu on an added palette (block 1).
        writeAct(h.file(QStringLiteral("added.act")));
        h.frame->Open(h.file(QStringLiteral("added.act")));
        QStringList menuTexts;
        QTimer::singleShot(0, [&menuTexts] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuTexts = visibleTexts(popup);
                popup->close();
            }
        });
        QWidget* pane = h.frame->palettePane()->viewport();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(60, 300),
                                    pane->mapToGlobal(QPoint(60, 300)));
        QApplication::sendEvent(pane, &menuEvent);
        QVERIFY(!menuTexts.isEmpty());
        texts << menuTexts;

        // The statistics line under the pointer.
        h.frame->OnViewHover(1, 1);
        QVERIFY(h.frame->statusText().startsWith(QStringLiteral("Same index")));
        texts << h.frame->statusText();

        AppSettings settings;
        COptionDlg options(settings, h.frame.get());
        texts << visibleTexts(&options);
        CAboutDlg about(h.frame.get());
        texts << visibleTexts(&about);

        QVERIFY2(japaneseAmong(texts).isEmpty(),
                 qPrintable(japaneseAmong(texts).join(QLatin1Char('\n'))));
        QVERIFY(texts.size() > 60);
        QVERIFY(CMainFrame::helpDocumentPath().isEmpty() ||
                CMainFrame::helpDocumentPath().endsWith(QStringLiteral("index_en.html")));
    }

    void textsFitTheirControls_data()
    {
        QTest::addColumn<bool>("english");
        QTest::newRow("ja") << false;
        QTest::newRow("en") << true;
    }
    void textsFitTheirControls()
    {
        QFETCH(bool, english);
        QVERIFY(InstallUiLanguage(english ? UiLanguage::English : UiLanguage::Japanese));
        FrameHarness h(2);
        h.frame->toolPanel()->thresholdSlider()->setValue(100); // the widest label
        QStringList cut = cutOff(h.frame.get());
        AppSettings settings;
        COptionDlg options(settings, h.frame.get());
        cut << cutOff(&options);
        CAboutDlg about(h.frame.get());
        cut << cutOff(&about);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    void everyTextHasItsTranslation()
    {
        // Texts the walk cannot reach (rare questions) must not fall back to
        // Japanese either: the translation file holds none unfinished.
        QFile file(QStringLiteral(GRIDMINT_TS_FILE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString ts = QString::fromUtf8(file.readAll());
        QVERIFY(ts.count(QStringLiteral("<source>")) > 80);
        QCOMPARE(ts.count(QStringLiteral("type=\"unfinished\"")), 0);
        QCOMPARE(ts.count(QStringLiteral("<translation></translation>")), 0);
    }

    void englishMnemonicsAreUniquePerMenu()
    {
        QVERIFY(InstallUiLanguage(UiLanguage::English));
        FrameHarness h(2);
        QList<QList<QAction*>> menus{h.frame->menuBar()->actions()};
        for (const QAction* top : h.frame->menuBar()->actions()) {
            menus << top->menu()->actions();
        }
        for (const QList<QAction*>& actions : menus) {
            QSet<QChar> seen;
            for (const QAction* action : actions) {
                if (action->isSeparator()) {
                    continue;
                }
                const QChar key = mnemonic(action->text());
                QVERIFY2(!key.isNull(), qPrintable(action->text()));
                QVERIFY2(!seen.contains(key), qPrintable(action->text()));
                seen.insert(key);
            }
        }
    }

    void japaneseKeepsItsTextsAndQtFollows()
    {
        QVERIFY(InstallUiLanguage(UiLanguage::Japanese));
        FrameHarness h(2);
        const QList<QAction*> menus = h.frame->menuBar()->actions();
        QCOMPARE(menus.size(), 4);
        QCOMPARE(menus[0]->text(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(menus[3]->text(), QStringLiteral("ヘルプ(&H)"));
        QCOMPARE(h.frame->openAction()->text(), QStringLiteral("開く(&O)...\tCtrl+O"));
        QCOMPARE(h.frame->saveAsAction()->text(), QStringLiteral("名前をつけて保存(&A)..."));
        QCOMPARE(h.frame->exitAction()->text(), QStringLiteral("終了(&x)"));
        QCOMPARE(h.frame->aboutAction()->text(), QStringLiteral("Gridmint について(&A)"));
        QCOMPARE(h.frame->statusText(), QStringLiteral("レディ"));
        QCOMPARE(CTopPanelView::thresholdText(5), QStringLiteral("近似色判定閾値 :   5"));
        QCOMPARE(h.frame->toolPanel()->toolButton(ToolDot)->toolTip(),
                 QStringLiteral("ドット打ち"));
        QCOMPARE(FileCommands::errorCaption(), QStringLiteral("エラー"));

        // Qt's own texts: a standard button and the file dialog's labels.
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QVERIFY2(hasJapanese(buttons.button(QDialogButtonBox::Cancel)->text()),
                 qPrintable(buttons.button(QDialogButtonBox::Cancel)->text()));
        QFileDialog dialog(h.frame.get());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
            const auto* label = dialog.findChild<QLabel*>(QLatin1String(name));
            QVERIFY2(label && hasJapanese(label->text()), name);
        }
    }
};

std::unique_ptr<QObject> makeFrameLanguageTest()
{
    return std::make_unique<FrameLanguageTest>();
}

} // namespace gridmint::test

#include "FrameLanguageTest.moc"

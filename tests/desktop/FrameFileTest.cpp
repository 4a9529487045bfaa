// File commands of the main window: open, drop, palette files, save, save as,
// automatic save, and the messages they show.
#include "FrameTestSupport.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>

namespace gridmint::test {

namespace {

QString error(const char* text)
{
    return QStringLiteral("エラー: ") + QString::fromUtf8(text);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class FrameFileTest : public QObject {
    Q_OBJECT
private slots:
    void openShowsTheResultAtItsSize()
    {
        FrameHarness h(4);
        const auto path = h.openPattern(QStringLiteral("art.png"), 16, 12);
        const IndexedBitmap* shown = h.frame->view()->displayedBitmap();
        QVERIFY(shown && shown == h.frame->document().resultBitmap());
        QCOMPARE(QSize(shown->width(), shown->height()), QSize(64, 48));
        QCOMPARE(h.frame->view()->resultScale(), 4);
        QCOMPARE(h.frame->files().loadedPath(), path);
        const auto& entries = h.frame->palettePane()->entries();
        QCOMPARE(entries.size(), std::size_t{1});
        QCOMPARE(entries[0].name, QStringLiteral("art"));
        QCOMPARE(entries[0].count, 16);
        QVERIFY(h.dialogs->messages.isEmpty());

        // The zoomed image and its closing grid line can be scrolled to.
        h.selectZoomChoice(3);
        auto* view = h.frame->view();
        QCOMPARE(view->horizontalScrollBar()->maximum(),
                 std::max(0, 8 * 64 + 1 - view->viewport()->width()));
    }

    void failedOpenLeavesEverythingAsItWas()
    {
        FrameHarness h(2);
        const auto good = h.openPattern(QStringLiteral("good.png"), 8, 8);
        writeBytes(h.dir.filePath(QStringLiteral("broken.png")), "not a png");
        writeBytes(h.dir.filePath(QStringLiteral("old.gif")), "GIF89a");
        const IndexedBitmap* shown = h.frame->view()->displayedBitmap();
        for (const char* name : {"broken.png", "old.gif", "missing.bmp"}) {
            h.frame->Open(h.file(QString::fromLatin1(name)));
            QCOMPARE(h.frame->files().loadedPath(), good);
            QCOMPARE(h.frame->view()->displayedBitmap(), shown);
            QCOMPARE(h.frame->palettePane()->entries()[0].name, QStringLiteral("good"));
        }
        QCOMPARE(h.dialogs->messages, QStringList(3, error("画像が読み込めませんでした")));
        // What is on screen can still be saved.
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("kept.png"));
        h.frame->files().OnFileSaveAs();
        QVERIFY(QFile::exists(h.dir.filePath(QStringLiteral("kept.png"))));
    }

    void failedEnlargementIsReportedAndNothingStaleIsSaved()
    {
        FrameHarness h(32);
        h.openPattern(QStringLiteral("small.png"), 8, 8);
        // 1100 x 1000 at factor 32 is more than the engine builds.
        const auto big = h.openPattern(QStringLiteral("big.png"), 1100, 1000);
        QCOMPARE(h.dialogs->messages, QStringList{error("画像を拡大できませんでした")});
        QCOMPARE(h.frame->files().loadedPath(), big);
        QCOMPARE(h.frame->view()->displayedBitmap(), nullptr);
        QCOMPARE(h.frame->palettePane()->entries().size(), std::size_t{1});
        QCOMPARE(h.frame->palettePane()->entries()[0].name, QStringLiteral("big"));
        h.frame->files().OnFileSave();
        h.frame->files().OnFileSaveAs();
        h.frame->OnReapply(); // fails again: still nothing stale on screen
        QCOMPARE(h.frame->view()->displayedBitmap(), nullptr);
        QVERIFY(h.dialogs->proposedSaveNames.isEmpty());

        // A smaller factor from the settings makes it fit.
        h.dialogs->onSettings = [](AppSettings& st) {
            st.ImageScale = 2;
            return true;
        };
        h.frame->settingsAction()->trigger();
        QVERIFY(h.frame->view()->displayedBitmap());
        QCOMPARE(h.frame->view()->displayedBitmap()->width(), 2200);
    }

    void fileThatEndsEarlyOpensWithANote()
    {
        FrameHarness h(2);
        std::vector<std::uint8_t> pixels(8 * 8);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(i % 3);
        const Colour colours[3] = {0xFF000000, 0xFFFF0000, 0xFF00FF00};
        const auto bytes = encodePcx(PixelBlock{pixels.data(), 8, 8, 8}, colours);
        QVERIFY(bytes.has_value());
        // The header and the first rows only.
        writeBytes(QString::fromStdU16String(h.file(QStringLiteral("cut.pcx")).u16string()),
                   QByteArray(reinterpret_cast<const char*>(bytes->data()), 128 + 12));
        h.frame->Open(h.file(QStringLiteral("cut.pcx")));
        QVERIFY(h.dialogs->messages.isEmpty());
        QVERIFY(h.frame->document().missingRows() > 0);
        QVERIFY(h.frame->statusBar()->currentMessage().contains(QStringLiteral("行がありません")));
    }

    void saveAsThenSave()
    {
        FrameHarness h(2);
        const auto src = h.openPattern(QStringLiteral("sprite.png"), 8, 6);
        // The first Ctrl+S asks, proposing the automatic save's target; its
        // folder does not stay behind when the file goes elsewhere.
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("out.bmp"));
        h.frame->saveAction()->trigger();
        QCOMPARE(h.dialogs->proposedSaveNames,
                 QStringList{h.dir.filePath(QStringLiteral("OUTPUT/sprite.png"))});
        QVERIFY(!QFile::exists(h.dir.filePath(QStringLiteral("OUTPUT"))));
        QCOMPARE(readBmp(h.file(QStringLiteral("out.bmp")))->width(), 16);
        // The second writes the same file without asking.
        QVERIFY(QFile::remove(h.dir.filePath(QStringLiteral("out.bmp"))));
        h.frame->saveAction()->trigger();
        QCOMPARE(h.dialogs->proposedSaveNames.size(), 1);
        QVERIFY(QFile::exists(h.dir.filePath(QStringLiteral("out.bmp"))));
        // A new open forgets the target.
        h.frame->Open(src);
        QVERIFY(h.frame->files().savePath().empty());
        QVERIFY(h.dialogs->messages.isEmpty());
    }

    void failedSavesAreReported()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("a.png"), 8, 8);
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("no/such/folder/a.png"));
        h.frame->files().OnFileSaveAs();
        h.frame->files().OnFileSave(); // the same failing target, no dialog
        QCOMPARE(h.dialogs->messages, QStringList(2, error("画像を保存できませんでした")));

        // Automatic save whose "OUTPUT" folder cannot be made.
        FrameHarness a(2);
        a.settings.IsAutoSave = true;
        writeBytes(a.dir.filePath(QStringLiteral("OUTPUT")), "a file, not a folder");
        a.openPattern(QStringLiteral("b.png"), 8, 8);
        QCOMPARE(a.dialogs->messages, QStringList{error("画像を保存できませんでした")});
        QVERIFY(a.frame->view()->displayedBitmap());
    }

    void automaticSave()
    {
        // Beside the source in "OUTPUT", made first; an upper-case extension
        // is saved as PNG; the save target stays unset.
        FrameHarness h(2);
        h.settings.IsAutoSave = true;
        h.openPattern(QStringLiteral("b.PNG"), 8, 8);
        QCOMPARE(readPng(h.file(QStringLiteral("OUTPUT/b.png")))->width(), 16);
        QVERIFY(h.frame->files().savePath().empty());

        // Into the default folder, never over the source.
        QTemporaryDir out;
        h.settings.DefaultSaveFolder = (out.path() + QStringLiteral("/")).toStdString();
        h.openPattern(QStringLiteral("c.png"), 8, 8);
        QVERIFY(QFile::exists(out.filePath(QStringLiteral("c.png"))));
        h.settings.DefaultSaveFolder = h.dir.path().toStdString();
        const auto self = h.openPattern(QStringLiteral("self.png"), 8, 8);
        QCOMPARE(readPng(self)->width(), 8);
        QVERIFY(h.dialogs->messages.isEmpty());
    }

    void dropOpensOnlyTheFirstFile()
    {
        FrameHarness h(2);
        QList<QUrl> urls;
        for (const QString name : {"one.png", "two.png", "three.png"}) {
            writeImage(h.file(name), 6, 6);
            urls << QUrl::fromLocalFile(h.dir.filePath(name));
        }
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter({50, 50}, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.frame.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop({50, 50}, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QCoreApplication::sendEvent(h.frame.get(), &drop);
        QCOMPARE(h.frame->files().loadedPath(), h.file(QStringLiteral("one.png")));
        QCOMPARE(h.frame->engineRuns(), 1);
    }

    void paletteFiles()
    {
        FrameHarness h(2);
        writeAct(h.file(QStringLiteral("x.act")));
        h.frame->Open(h.file(QStringLiteral("x.act"))); // before any image
        QCOMPARE(h.dialogs->messages,
                 QStringList{error("画像が読み込まれていません。\nパレットは画像読み込み後追加"
                                   "読み込みのみ対応しています。")});
        QCOMPARE(h.frame->palettePane()->entries().size(), std::size_t{1});

        h.openPattern(QStringLiteral("img.png"), 8, 8);
        const auto table = h.frame->document().resultBitmap()->colourTable()[1];
        h.frame->Open(h.file(QStringLiteral("x.act"))); // reversed by default
        h.settings.IsReverseACT = false;
        QFile::copy(h.dir.filePath(QStringLiteral("x.act")),
                    h.dir.filePath(QStringLiteral("y.ACT")));
        h.frame->Open(h.file(QStringLiteral("y.ACT")));
        const auto& entries = h.frame->palettePane()->entries();
        QCOMPARE(entries.size(), std::size_t{3});
        QCOMPARE(entries[1].name, QStringLiteral("x"));
        QCOMPARE(entries[1].colours[0] & 0xFFFFFFu, 0xFF00F9u); // the file's last colour
        QCOMPARE(entries[2].colours[0] & 0xFFFFFFu, 0x00FF00u);
        // The document's colours wait until the user picks a block.
        QCOMPARE(h.frame->document().resultBitmap()->colourTable()[1], table);

        h.dialogs->messages.clear();
        writeBytes(h.dir.filePath(QStringLiteral("bad.PAL")), "RIFX....garbage");
        h.frame->Open(h.file(QStringLiteral("bad.PAL")));
        h.frame->Open(h.file(QStringLiteral("gone.act")));
        QCOMPARE(h.dialogs->messages, QStringList(2, error("パレットが読み込めませんでした")));
        QCOMPARE(entries.size(), std::size_t{3});
        QCOMPARE(h.frame->files().loadedPath(), h.file(QStringLiteral("img.png")));
    }
};

std::unique_ptr<QObject> makeFrameFileTest()
{
    return std::make_unique<FrameFileTest>();
}

} // namespace gridmint::test

#include "FrameFileTest.moc"

// File commands of the main window: open, drop, palette files, save, save as,
// automatic save, and every message they show.
#include "FrameTestSupport.h"
#include "app/SaveNaming.h"
#include "image/Codecs.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

namespace gridmint::test {

namespace {

const QString kCaption = QStringLiteral("エラー");
const QString kImageNotRead = QStringLiteral("画像が読み込めませんでした");
const QString kNotEnlarged = QStringLiteral("画像を拡大できませんでした");
const QString kNotSaved = QStringLiteral("画像を保存できませんでした");
const QString kPaletteNotRead = QStringLiteral("パレットが読み込めませんでした");
const QString kNoImageForPalette =
    QStringLiteral("画像が読み込まれていません。\nパレットは画像読み込み後追加読み込みのみ対応"
                   "しています。");

QString q(const std::filesystem::path& path)
{
    return QString::fromStdU16String(path.u16string());
}

void expectOnlyMessage(const RecordingDialogs& dialogs, const QString& text)
{
    QCOMPARE(dialogs.messages.size(), std::size_t{1});
    QCOMPARE(dialogs.messages[0].text, text);
    QCOMPARE(dialogs.messages[0].caption, kCaption);
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
        QVERIFY(shown);
        QCOMPARE(shown, h.frame->document().resultBitmap());
        QCOMPARE(shown->width(), 64);
        QCOMPARE(shown->height(), 48);
        QCOMPARE(h.frame->view()->resultScale(), 4);
        QCOMPARE(h.frame->loadedPath(), path);
        QVERIFY(h.frame->savePath().empty());
        const auto& entries = h.frame->palettePane()->entries();
        QCOMPARE(entries.size(), std::size_t{1});
        QCOMPARE(entries[0].name, QStringLiteral("art"));
        QCOMPARE(entries[0].count, 16);
        QVERIFY(h.dialogs->messages.empty());

        // The whole zoomed image plus the closing grid line can be scrolled to.
        h.selectZoomChoice(3);
        auto* view = h.frame->view();
        QCOMPARE(view->horizontalScrollBar()->maximum(),
                 std::max(0, 8 * 64 + 1 - view->viewport()->width()));
        QCOMPARE(view->verticalScrollBar()->maximum(),
                 std::max(0, 8 * 48 + 1 - view->viewport()->height()));
    }

    void failedOpenLeavesEverythingAsItWas()
    {
        FrameHarness h(2);
        const auto good = h.openPattern(QStringLiteral("good.png"), 8, 8);
        QFile broken(h.dir.filePath(QStringLiteral("broken.png")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a png at all");
        broken.close();
        QFile gif(h.dir.filePath(QStringLiteral("old.gif")));
        QVERIFY(gif.open(QIODevice::WriteOnly));
        gif.write("GIF89a");
        gif.close();

        const IndexedBitmap* shown = h.frame->view()->displayedBitmap();
        const ImageSet* source = h.frame->document().source();
        for (const QString& name : {QStringLiteral("broken.png"), QStringLiteral("old.gif"),
                                    QStringLiteral("missing.bmp")}) {
            h.dialogs->messages.clear();
            h.frame->Open(h.file(name));
            expectOnlyMessage(*h.dialogs, kImageNotRead);
            QCOMPARE(h.frame->loadedPath(), good);
            QCOMPARE(h.frame->view()->displayedBitmap(), shown);
            QCOMPARE(h.frame->document().source(), source);
            QCOMPARE(h.frame->palettePane()->entries()[0].name, QStringLiteral("good"));
        }
        // The image on screen can still be saved.
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("kept.png"));
        h.frame->OnFileSaveAs();
        QVERIFY(QFile::exists(h.dir.filePath(QStringLiteral("kept.png"))));
    }

    void failedEnlargementIsReportedAndNothingStale()
    {
        FrameHarness h(32);
        h.openPattern(QStringLiteral("small.png"), 8, 8);
        QVERIFY(h.frame->view()->displayedBitmap());

        // 1100 x 1000 at factor 32 exceeds what the engine builds.
        const auto big = h.file(QStringLiteral("big.png"));
        writeImage(big, 1100, 1000, 4, [](int x, int y) { return std::uint8_t((x ^ y) & 3); });
        h.frame->Open(big);
        expectOnlyMessage(*h.dialogs, kNotEnlarged);
        QCOMPARE(h.frame->loadedPath(), big);
        QCOMPARE(h.frame->view()->displayedBitmap(), nullptr);
        QCOMPARE(h.frame->palettePane()->entries().size(), std::size_t{1});
        QCOMPARE(h.frame->palettePane()->entries()[0].name, QStringLiteral("big"));
        QCOMPARE(h.frame->palettePane()->entries()[0].count, 4);

        // The previous image's result is not saved under the new name.
        h.frame->OnFileSave();
        h.frame->OnFileSaveAs();
        QVERIFY(h.dialogs->proposedSaveNames.isEmpty());
    }

    void saveAsThenSaveWritesTheSameFileSilently()
    {
        FrameHarness h(2);
        const auto src = h.openPattern(QStringLiteral("sprite.png"), 8, 6);
        // Ctrl+S right after an open asks for a name, proposed beside the source.
        h.dialogs->saveAnswers << h.dir.filePath(QStringLiteral("out.bmp"));
        h.frame->saveAction()->trigger();
        QCOMPARE(h.dialogs->proposedSaveNames, QStringList{q(src)});
        QCOMPARE(h.dialogs->saveSuffixes, QStringList{QStringLiteral("png")});
        QCOMPARE(h.frame->savePath(), h.file(QStringLiteral("out.bmp")));
        auto saved = readBmp(h.file(QStringLiteral("out.bmp")));
        QCOMPARE(saved->width(), 16);

        // The second save asks nothing and rewrites the same file.
        QVERIFY(QFile::remove(h.dir.filePath(QStringLiteral("out.bmp"))));
        h.frame->saveAction()->trigger();
        QCOMPARE(h.dialogs->proposedSaveNames.size(), 1);
        QVERIFY(QFile::exists(h.dir.filePath(QStringLiteral("out.bmp"))));
        QVERIFY(h.dialogs->messages.empty());

        // Opening again forgets the save target.
        h.frame->Open(src);
        QVERIFY(h.frame->savePath().empty());
    }

    void failedSavesAreReported()
    {
        FrameHarness h(2);
        h.openPattern(QStringLiteral("a.png"), 8, 8);
        const QString unwritable = h.dir.filePath(QStringLiteral("no/such/folder/a.png"));
        h.dialogs->saveAnswers << unwritable;
        h.frame->OnFileSaveAs();
        expectOnlyMessage(*h.dialogs, kNotSaved);
        h.dialogs->messages.clear();
        h.frame->OnFileSave(); // to the same failing target, without a dialog
        expectOnlyMessage(*h.dialogs, kNotSaved);
        QCOMPARE(h.dialogs->proposedSaveNames.size(), 1);

        // Automatic save whose "OUTPUT" folder cannot be made: a file holds the name.
        FrameHarness a(2);
        a.settings.IsAutoSave = true;
        QFile blocker(a.dir.filePath(QStringLiteral("OUTPUT")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        a.openPattern(QStringLiteral("b.png"), 8, 8);
        expectOnlyMessage(*a.dialogs, kNotSaved);
        QVERIFY(a.frame->view()->displayedBitmap()); // the open itself succeeded
    }

    void automaticSaveNaming()
    {
        // No default folder: the "OUTPUT" folder beside the source, made first;
        // an upper-case extension is saved as PNG.
        {
            FrameHarness h(2);
            h.settings.IsAutoSave = true;
            const auto src = h.file(QStringLiteral("b.PCX"));
            writeImage(h.file(QStringLiteral("tmp.png")), 8, 8, 16, patternPixel);
            auto set = readPng(h.file(QStringLiteral("tmp.png")));
            QVERIFY(writePcx(src, set->image->row(0), 8, 8, 8, set->palette->colours.data(),
                             static_cast<std::int32_t>(set->palette->count())));
            h.frame->Open(src);
            QVERIFY(h.dialogs->messages.empty());
            auto saved = readPng(h.file(QStringLiteral("OUTPUT/b.png")));
            QCOMPARE(saved->width(), 16);
            QVERIFY(h.frame->savePath().empty());
        }
        // A default folder, with or without a trailing separator.
        for (const QString& tail : {QString(), QStringLiteral("/")}) {
            FrameHarness h(2);
            QTemporaryDir out;
            h.settings.IsAutoSave = true;
            h.settings.DefaultSaveFolder = (out.path() + tail).toStdString();
            h.openPattern(QStringLiteral("a.png"), 8, 8);
            QVERIFY(QFile::exists(out.filePath(QStringLiteral("a.png"))));
            QVERIFY(!QFile::exists(h.dir.filePath(QStringLiteral("OUTPUT"))));
        }
        // The default folder is the source's own: the source stays untouched.
        {
            FrameHarness h(2);
            h.settings.IsAutoSave = true;
            h.settings.DefaultSaveFolder = h.dir.path().toStdString();
            const auto src = h.openPattern(QStringLiteral("self.png"), 8, 8);
            QCOMPARE(readPng(src)->width(), 8);
            QVERIFY(h.dialogs->messages.empty());
        }
    }

    void dropOpensOnlyTheFirstFile()
    {
        FrameHarness h(2);
        QList<QUrl> urls;
        for (const QString& name :
             {QStringLiteral("one.png"), QStringLiteral("two.png"), QStringLiteral("three.png")}) {
            writeImage(h.file(name), 6, 6, 16, patternPixel);
            urls << QUrl::fromLocalFile(h.dir.filePath(name));
        }
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(h.frame.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(h.frame.get(), &drop);
        QCOMPARE(h.frame->loadedPath(), h.file(QStringLiteral("one.png")));
        QCOMPARE(h.frame->engineRuns(), 1);
    }

    void paletteFiles()
    {
        FrameHarness h(2);
        writeAct(h.file(QStringLiteral("x.act")));
        // Before any image: the message, and the pane is not touched.
        h.frame->Open(h.file(QStringLiteral("x.act")));
        expectOnlyMessage(*h.dialogs, kNoImageForPalette);
        QCOMPARE(h.frame->palettePane()->entries().size(), std::size_t{1});

        h.dialogs->messages.clear();
        h.openPattern(QStringLiteral("img.png"), 8, 8);
        const auto before = pixelsOf(*h.frame->document().resultBitmap());
        const auto coloursBefore = h.frame->document().resultBitmap()->colourTable()[0];

        // ACT files are reversed by default: the first colour is the file's last.
        h.frame->Open(h.file(QStringLiteral("x.act")));
        h.settings.IsReverseACT = false;
        QFile::copy(h.dir.filePath(QStringLiteral("x.act")),
                    h.dir.filePath(QStringLiteral("y.ACT")));
        h.frame->Open(h.file(QStringLiteral("y.ACT")));
        const auto& entries = h.frame->palettePane()->entries();
        QCOMPARE(entries.size(), std::size_t{3});
        QCOMPARE(entries[1].name, QStringLiteral("x"));
        QCOMPARE(entries[1].colours[0] & 0xFFFFFFu, 0xFF00F9u); // (255, 0, 255*7 % 256)
        QCOMPARE(entries[2].colours[0] & 0xFFFFFFu, 0x00FF00u);
        // Adding palettes leaves the document's colours and pixels alone.
        QCOMPARE(h.frame->document().resultBitmap()->colourTable()[0], coloursBefore);
        QCOMPARE(pixelsOf(*h.frame->document().resultBitmap()), before);
        QVERIFY(h.dialogs->messages.empty());

        // Unreadable palettes: not RIFF, and a file that is not there.
        QFile bad(h.dir.filePath(QStringLiteral("bad.PAL")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("RIFX....garbage");
        bad.close();
        h.frame->Open(h.file(QStringLiteral("bad.PAL")));
        h.frame->Open(h.file(QStringLiteral("gone.act")));
        QCOMPARE(h.dialogs->messages.size(), std::size_t{2});
        for (const auto& m : h.dialogs->messages) {
            QCOMPARE(m.text, kPaletteNotRead);
            QCOMPARE(m.caption, kCaption);
        }
        QCOMPARE(h.frame->palettePane()->entries().size(), std::size_t{3});
        QCOMPARE(h.frame->loadedPath(), h.file(QStringLiteral("img.png")));
    }

    void openDialogFeedsOpen()
    {
        FrameHarness h(2);
        writeImage(h.file(QStringLiteral("c.png")), 4, 4, 16, patternPixel);
        h.frame->openAction()->trigger(); // cancelled: nothing
        QVERIFY(h.frame->loadedPath().empty());
        h.dialogs->openAnswers << h.dir.filePath(QStringLiteral("c.png"));
        h.frame->openAction()->trigger();
        QCOMPARE(h.dialogs->openAsked, 2);
        QCOMPARE(h.frame->loadedPath(), h.file(QStringLiteral("c.png")));
    }
};

std::unique_ptr<QObject> makeFrameFileTest()
{
    return std::make_unique<FrameFileTest>();
}

} // namespace gridmint::test

#include "FrameFileTest.moc"

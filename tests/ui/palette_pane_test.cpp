#include "ui/CPaletteToolView.h"
#include "ui/PaletteLayout.h"
#include "ui/UiResources.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace gridmint;

namespace {

Palette makePalette(int count, Colour seed)
{
    Palette p;
    for (int i = 0; i < count; ++i) {
        p.colours.push_back(kOpaque | ((seed + static_cast<Colour>(i) * 0x010203u) & 0xFFFFFF));
    }
    return p;
}

QPoint centreOf(const PaletteRect& r)
{
    return {r.x + r.w / 2, r.y + r.h / 2};
}

} // namespace

class PalettePaneTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CPaletteToolView> makePane(int height = 600)
    {
        auto pane = std::make_unique<CPaletteToolView>();
        pane->resize(246, height);
        pane->show();
        return pane;
    }

    // Image palette plus added palettes named A, B, C ...
    void fill(CPaletteToolView& pane, int added)
    {
        const Palette image = makePalette(16, 0x100000);
        pane.ResetPalettes(&image, "/pictures/sprite.png");
        for (int i = 0; i < added; ++i) {
            const Palette extra = makePalette(256, 0x000100u * static_cast<Colour>(i + 1));
            pane.AddPalette(&extra, std::string("/pal/") + char('A' + i) + ".act");
        }
    }

    void click(CPaletteToolView& pane, QPoint logical)
    {
        const QPoint scroll(pane.horizontalScrollBar()->value(), pane.verticalScrollBar()->value());
        QTest::mousePress(pane.viewport(), Qt::LeftButton, {}, logical - scroll);
    }

private slots:
    void initTestCase() { initUiResources(); }

    void layoutHitTestingFindsWhatIsDrawn()
    {
        for (int hb : {14, 20, 23}) {
            const PaletteLayout lay(hb);
            QCOMPARE(lay.pitch(), hb + 229);
            QCOMPARE(lay.swatch(0, 0).x, 1);
            QCOMPARE(lay.swatch(0, 0).y, hb + 1);
            QCOMPARE(lay.swatch(2, 17).y, 2 * (hb + 229) + hb + 1 + 14);
            for (int block : {0, 3}) {
                for (int k = 0; k < 256; ++k) {
                    const PaletteRect s = lay.swatch(block, k);
                    QCOMPARE(lay.blockAt(s.y), block);
                    // the swatch and the gap to its left and below it
                    QCOMPARE(lay.colourAt(s.x, s.y), k);
                    QCOMPARE(lay.colourAt(s.x + 12, s.y + 12), k);
                    QCOMPARE(lay.colourAt(s.x - 1, s.y + 13), k);
                }
                const int top = lay.blockTop(block);
                QCOMPARE(lay.colourAt(100, top), -1);              // bar
                QCOMPARE(lay.colourAt(100, top + hb), -1);         // the line under it
                QCOMPARE(lay.colourAt(224, top + hb + 1), -1);     // right of the grid
                QCOMPARE(lay.colourAt(5, top + hb + 1 + 224), -1); // the gap to the next block
            }
        }
    }

    void startsWithOneUntitledEmptyPalette()
    {
        auto pane = makePane();
        QCOMPARE(pane->entries().size(), std::size_t(1));
        QCOMPARE(pane->entries()[0].name, QStringLiteral("無題"));
        QCOMPARE(pane->entries()[0].count, 0);
        QCOMPARE(pane->selectedPalette(), 0);
        QCOMPARE(pane->chosenColour(), 0);

        const QImage shot = pane->viewport()->grab().toImage();
        const PaletteLayout lay = pane->layout();
        // Slots without a colour show the background inside an outline.
        const PaletteRect slot = lay.swatch(0, 200);
        QCOMPARE(shot.pixel(centreOf(slot)), pane->palette().color(QPalette::Base).rgb());
        QCOMPARE(shot.pixel(slot.x, slot.y + 5), pane->palette().color(QPalette::Mid).rgb());
        QCOMPARE(shot.pixel(5, 2),
                 pane->palette().color(QPalette::Active, QPalette::Highlight).rgb());
    }

    void entriesTakeNameAndColoursFromThePalette()
    {
        auto pane = makePane();
        const Palette image = makePalette(16, 0x112233);
        pane->ResetPalettes(&image, "/pictures/my.sprite.png");
        const PaletteEntry& e = pane->entries()[0];
        QCOMPARE(e.name, QStringLiteral("my.sprite"));
        QCOMPARE(e.count, 16);
        QCOMPARE(e.colours[15], image.colours[15]);
        QCOMPARE(e.colours[16], Colour(0));

        const Palette big = makePalette(300, 0x000001);
        pane->AddPalette(&big, "");
        QCOMPARE(pane->entries().size(), std::size_t(2));
        QCOMPARE(pane->entries()[1].name, QStringLiteral("無題"));
        QCOMPARE(pane->entries()[1].count, 256);
        QCOMPARE(pane->entries()[1].colours[255], big.colours[255]);

        pane->AddPalette(nullptr, "/pal/x.act");
        QCOMPARE(pane->entries().size(), std::size_t(2));

        pane->ResetPalettes(nullptr, "/pictures/other.png");
        QCOMPARE(pane->entries().size(), std::size_t(1));
        QCOMPARE(pane->entries()[0].name, QStringLiteral("無題"));
    }

    void swatchesShowTheirColourAndTheChosenOneIsFramed()
    {
        auto pane = makePane();
        Palette image;
        image.colours = {kOpaque | 0xFF0000, kOpaque | 0x0000FF, 0x0000FF00};
        pane->ResetPalettes(&image, "/p/a.png");
        pane->setChosenColour(1);
        const QImage shot = pane->viewport()->grab().toImage();
        const PaletteLayout lay = pane->layout();
        QCOMPARE(shot.pixel(centreOf(lay.swatch(0, 0))), QColor(255, 0, 0).rgb());
        QCOMPARE(shot.pixel(centreOf(lay.swatch(0, 2))), QColor(0, 255, 0).rgb()); // alpha ignored
        const PaletteRect s = lay.swatch(0, 1);
        QCOMPARE(shot.pixel(s.x + 6, s.y + 6), QColor(0, 0, 255).rgb());
        const QColor light = pane->palette().color(QPalette::Light);
        const QColor dark = pane->palette().color(QPalette::Dark);
        QCOMPARE(shot.pixel(s.x, s.y), light.rgb());
        QCOMPARE(shot.pixel(s.x + 12, s.y + 12), dark.rgb());
        QCOMPARE(shot.pixel(s.x + 1, s.y + 1), dark.rgb());
        QCOMPARE(shot.pixel(s.x + 11, s.y + 11), light.rgb());
    }

    void clicksSelectABlockOrAColour()
    {
        auto pane = makePane(200);
        fill(*pane, 2);
        QSignalSpy spy(pane.get(), &CPaletteToolView::UWM_PALETTE_SELECTED);
        const PaletteLayout lay = pane->layout();

        click(*pane, centreOf(lay.swatch(0, 37))); // past the image's 16 colours
        QCOMPARE(pane->chosenColour(), 0);
        click(*pane, centreOf(lay.swatch(0, 7)));
        QCOMPARE(pane->chosenColour(), 7);
        QCOMPARE(spy.count(), 0);

        click(*pane, centreOf(lay.bar(0))); // bar of the selected block
        QCOMPARE(pane->chosenColour(), 7);
        QCOMPARE(pane->selectedPalette(), 0);

        click(*pane, centreOf(lay.swatch(1, 5))); // another block: selection only
        QCOMPARE(pane->selectedPalette(), 1);
        QCOMPARE(pane->chosenColour(), 7);
        QCOMPARE(spy.count(), 1);

        click(*pane, centreOf(lay.bar(1))); // already selected: no message
        QCOMPARE(spy.count(), 1);

        // After scrolling the click still lands in the block drawn there.
        pane->verticalScrollBar()->setValue(lay.blockTop(2) - 10);
        QCOMPARE(pane->verticalScrollBar()->value(), lay.blockTop(2) - 10);
        click(*pane, centreOf(lay.bar(2)));
        QCOMPARE(pane->selectedPalette(), 2);
        click(*pane, centreOf(lay.swatch(2, 255)));
        QCOMPARE(pane->chosenColour(), 255);
        QCOMPARE(spy.count(), 2);

        // Below the last block nothing happens.
        click(*pane, {10, lay.extentHeight(3) + 2});
        QCOMPARE(pane->selectedPalette(), 2);
    }

    void emptySlotsAndEmptyPalettesOfferNothing()
    {
        auto pane = makePane();
        fill(*pane, 1); // 16-colour image, then A
        const Palette none;
        pane->AddPalette(&none, "/pal/empty.act");
        QSignalSpy spy(pane.get(), &CPaletteToolView::UWM_PALETTE_SELECTED);
        const PaletteLayout lay = pane->layout();

        pane->setChosenColour(200); // the eyedropper on an index past the palette
        QCOMPARE(pane->chosenColour(), 0);
        click(*pane, centreOf(lay.bar(2))); // the empty palette stays unselected
        QCOMPARE(pane->selectedPalette(), 0);
        QCOMPARE(spy.count(), 0);

        // Going from a full palette back to the image's keeps the chosen
        // index inside the image's colours.
        click(*pane, centreOf(lay.bar(1)));
        click(*pane, centreOf(lay.swatch(1, 100)));
        QCOMPARE(pane->chosenColour(), 100);
        click(*pane, centreOf(lay.bar(0)));
        QCOMPARE(pane->chosenColour(), 0);
        QCOMPARE(spy.count(), 2);
        const QImage shot = pane->viewport()->grab().toImage();
        QCOMPARE(shot.pixel(centreOf(lay.swatch(0, 16))),
                 pane->palette().color(QPalette::Base).rgb());
        QVERIFY(shot.pixel(centreOf(lay.swatch(0, 15))) !=
                pane->palette().color(QPalette::Base).rgb());
    }

    void contextMenuOnlyForAddedUnselectedPalettes()
    {
        auto pane = makePane(300);
        fill(*pane, 2);
        const PaletteLayout lay = pane->layout();
        QCOMPARE(pane->contextTarget(centreOf(lay.bar(0))), -1);
        QCOMPARE(pane->contextTarget(centreOf(lay.swatch(1, 0))), 1);
        pane->verticalScrollBar()->setValue(lay.pitch());
        QCOMPARE(pane->contextTarget({5, 5}), 1);
        QCOMPARE(pane->contextTarget({5, lay.pitch() + 5}), 2);
        QCOMPARE(pane->contextTarget({5, -5}), -1); // outside the pane
        pane->verticalScrollBar()->setValue(0);
        click(*pane, centreOf(lay.bar(1)));
        QCOMPARE(pane->contextTarget(centreOf(lay.bar(1))), -1);
        QVERIFY(!pane->removePalette(0));
        QVERIFY(!pane->removePalette(1));
        QVERIFY(!pane->removePalette(3));
    }

    void removingBeforeTheSelectionKeepsItOnItsPalette()
    {
        auto pane = makePane();
        fill(*pane, 3); // sprite, A, B, C
        click(*pane, centreOf(pane->layout().bar(2)));
        QCOMPARE(pane->selectedPalette(), 2);
        QVERIFY(pane->removePalette(1));
        QCOMPARE(pane->entries().size(), std::size_t(3));
        QCOMPARE(pane->selectedPalette(), 1);
        QCOMPARE(pane->entries()[1].name, QStringLiteral("B"));
        QVERIFY(pane->removePalette(2));
        QCOMPARE(pane->selectedPalette(), 1);
        QCOMPARE(pane->entries().back().name, QStringLiteral("B"));
    }

    void removalShrinksTheExtentAndScrollsToTop()
    {
        auto pane = makePane(300);
        fill(*pane, 2);
        const PaletteLayout lay = pane->layout();
        const int view = pane->viewport()->height();
        QCOMPARE(pane->verticalScrollBar()->maximum(), 3 * lay.pitch() - view);
        pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
        QVERIFY(pane->removePalette(2));
        QCOMPARE(pane->verticalScrollBar()->maximum(), 2 * lay.pitch() - view);
        QCOMPARE(pane->verticalScrollBar()->value(), 0);
    }
};

QTEST_MAIN(PalettePaneTest)
#include "palette_pane_test.moc"

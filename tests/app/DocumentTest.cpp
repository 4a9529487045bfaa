// The document's life: load, apply, save, palette switching and undo.
#include "DocTestUtil.h"
#include "app/ScaleDocument.h"
#include "image/Codecs.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace gridmint::testing {
namespace {

namespace fs = std::filesystem;

const Rows kSmall = {"0120", "1201", "2012"};

std::string firstBytes(const fs::path& file, std::size_t n)
{
    std::ifstream in(file, std::ios::binary);
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TEST(ScaleDocument, EmptyDocumentRefusesEverything)
{
    ScaleDocument doc;
    ScratchDir dir;
    doc.setSnapshotPending(true);
    EXPECT_EQ(doc.Apply(2, 20, false, 0), nullptr);
    EXPECT_FALSE(doc.Save(dir / "out.png"));
    EXPECT_FALSE(fs::exists(dir / "out.png"));
    EXPECT_FALSE(doc.Undo());
    EXPECT_EQ(doc.ReadResultIndex(0, 0), -1);
    EXPECT_FALSE(doc.PaintNearest(0, 0, 1));
    EXPECT_FALSE(doc.PaintAuto(0, 0, 1));
    EXPECT_FALSE(doc.DragCorner(0, 0));
    EXPECT_FALSE(doc.FinishLine(0, 0));
    EXPECT_FALSE(doc.PlotDots(0, 0, 1, 1));
    const Colour c[1] = {0xFF123456};
    doc.SetPalette(c, 1); // nothing to recolour; must not crash
}

TEST(ScaleDocument, StatesFromLoadedToEdited)
{
    ScaleDocument doc;
    ScratchDir dir;
    writeImage(dir / "a.png", kSmall);

    ASSERT_TRUE(doc.Load(dir / "a.png"));
    EXPECT_NE(doc.source(), nullptr);
    EXPECT_EQ(doc.job(), nullptr);
    EXPECT_EQ(doc.resultBitmap(), nullptr);
    EXPECT_FALSE(doc.Save(dir / "early.png")); // nothing enlarged yet

    IndexedBitmap* result = doc.Apply(3, 20, false, 0);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->width(), 12);
    EXPECT_EQ(result->height(), 9);
    EXPECT_EQ(doc.undoBitmap(), nullptr);
    EXPECT_FALSE(doc.Undo()); // no snapshot right after apply

    // Colour table: the source colours made opaque, padded to 256.
    ASSERT_EQ(result->colourCount(), 256);
    EXPECT_EQ(result->colourTable()[2], testPalette()[2]);
    EXPECT_EQ(result->colourTable()[255], 0xFF000000u);

    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(0, 0, 9, 1));
    ASSERT_NE(doc.undoBitmap(), nullptr);
    EXPECT_FALSE(doc.snapshotPending());
    EXPECT_EQ(doc.ReadResultIndex(0, 0), 9);
    EXPECT_TRUE(doc.Undo());
    EXPECT_EQ(doc.ReadResultIndex(0, 0), 0);

    EXPECT_EQ(doc.ReadResultIndex(-1, 0), -1);
    EXPECT_EQ(doc.ReadResultIndex(12, 0), -1);
    EXPECT_EQ(doc.ReadResultIndex(0, 9), -1);
    EXPECT_EQ(doc.ReadResultIndex(11, 8), 2);

    // A new apply drops the snapshot.
    ASSERT_NE(doc.Apply(3, 25, false, 0), nullptr);
    EXPECT_FALSE(doc.Undo());
}

TEST(ScaleDocument, FailedLoadKeepsEditsUndoAndSave)
{
    ScaleDocument doc;
    ScratchDir dir;
    writeImage(dir / "a.png", kSmall);
    loadApplied(doc, dir, kSmall, 2);
    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(0, 0, 7, 1));
    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(1, 0, 8, 1));

    const ImageSet* source = doc.source();
    const ScaleJob* job = doc.job();
    const IndexedBitmap* result = doc.resultBitmap();

    std::ofstream(dir / "junk.png") << "not a png at all";
    writeImage(dir / "real-png-content.gif", kSmall);
    for (const char* name : {"missing.png", "junk.png", "real-png-content.gif", "noext"}) {
        EXPECT_FALSE(doc.Load(dir / name)) << name;
        EXPECT_FALSE(doc.lastError().empty()) << name;
        EXPECT_EQ(doc.source(), source) << name;
        EXPECT_EQ(doc.job(), job) << name;
        EXPECT_EQ(doc.resultBitmap(), result) << name;
    }
    EXPECT_EQ(doc.lastError(), "not an image Gridmint can read");

    ASSERT_TRUE(doc.Undo()); // back to the state before the second stroke
    ASSERT_TRUE(doc.Save(dir / "saved.png")) << doc.lastError();
    const auto back = readPng(dir / "saved.png");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(picture(*back->image)[0], "70112200");
    EXPECT_EQ(back->palette->colours, testPalette());
}

TEST(ScaleDocument, ExtensionRulesOnLoadAndSave)
{
    ScaleDocument doc;
    ScratchDir dir;
    writeImage(dir / "picture.PNG", kSmall);
    ASSERT_TRUE(doc.Load(dir / "picture.PNG")); // compared after lower-casing
    ASSERT_NE(doc.Apply(2, 20, false, 0), nullptr);

    const std::string png = "\x89PNG";
    ASSERT_TRUE(doc.Save(dir / "out.BMP"));
    EXPECT_EQ(firstBytes(dir / "out.BMP", 2), "BM");
    ASSERT_TRUE(doc.Save(dir / "out.Pcx"));
    EXPECT_EQ(firstBytes(dir / "out.Pcx", 1), "\x0A");
    ASSERT_TRUE(doc.Save(dir / "out.tga")); // anything else is PNG data
    EXPECT_EQ(firstBytes(dir / "out.tga", 4), png);
    ASSERT_TRUE(doc.Save(dir / "noext"));
    EXPECT_EQ(firstBytes(dir / "noext", 4), png);

    // Each written format reads back with the same pixels.
    const auto bmp = readBmp(dir / "out.BMP");
    const auto pcx = readPcx(dir / "out.Pcx");
    ASSERT_TRUE(bmp && pcx);
    EXPECT_EQ(picture(*bmp->image), picture(*doc.resultBitmap()));
    EXPECT_EQ(picture(*pcx->image), picture(*doc.resultBitmap()));

    EXPECT_EQ(LowerExtension("a/b.TaR.Gz"), ".gz");
    EXPECT_EQ(LowerExtension("dir.PNG/file"), "");
    EXPECT_EQ(LowerExtension("dir/.PNG"), ".png"); // a name that is all extension
}

TEST(ScaleDocument, SaveReportsWriterFailureAndKeepsAlpha)
{
    ScaleDocument doc;
    ScratchDir dir;
    std::vector<Colour> palette = testPalette(4);
    palette[0] = 0x00FFFFFF; // see-through background, as a tRNS chunk gives
    palette[3] = 0x80E04040;
    writeImage(dir / "alpha.png", kSmall, palette);
    ASSERT_TRUE(doc.Load(dir / "alpha.png"));
    ASSERT_NE(doc.Apply(2, 20, false, 0), nullptr);

    EXPECT_FALSE(doc.Save(dir / "no-such-folder" / "out.png"));
    EXPECT_NE(doc.lastError().find("cannot write"), std::string::npos);

    ASSERT_TRUE(doc.Save(dir / "out.png"));
    const auto back = readPng(dir / "out.png");
    ASSERT_NE(back, nullptr);
    ASSERT_GE(back->palette->count(), 4u);
    EXPECT_EQ(back->palette->at(0), 0x00FFFFFFu);
    EXPECT_EQ(back->palette->at(3), 0x80E04040u);
    // The screen still shows every colour opaque.
    EXPECT_EQ(doc.resultBitmap()->colourTable()[0], 0xFFFFFFFFu);
}

// File-to-file work: Enlarge writes exactly what Apply would show, also when
// a re-run reuses a job whose scratch was let go, and SaveSource writes the
// picture as read without touching the result or the unsaved-changes mark.
TEST(ScaleDocument, EnlargeAndSaveSourceWriteWhatWasAsked)
{
    ScratchDir dir;
    const Rows sprite = {"00000000", "00111100", "01122110", "01222210",
                         "01222210", "01122110", "00111100", "00000000"};
    std::vector<Colour> palette = testPalette(3);
    palette[0] = 0x00FFFFFF;
    writeImage(dir / "a.png", sprite, palette);

    ScaleDocument shown;
    ASSERT_TRUE(shown.Load(dir / "a.png"));
    ASSERT_NE(shown.Apply(4, 20, false, 0), nullptr);
    ASSERT_TRUE(shown.Save(dir / "shown.png"));

    ScaleDocument file;
    ASSERT_TRUE(file.Load(dir / "a.png"));
    ASSERT_TRUE(file.Enlarge(4, 20, 0));
    EXPECT_EQ(file.resultBitmap(), nullptr);
    ASSERT_TRUE(file.Save(dir / "enlarged.png"));
    ASSERT_TRUE(file.Enlarge(4, 60, 0)); // the same job, run again
    ASSERT_TRUE(file.Enlarge(4, 20, 0));
    ASSERT_TRUE(file.Save(dir / "again.png"));
    const std::string expected = firstBytes(dir / "shown.png", 1 << 20);
    EXPECT_EQ(firstBytes(dir / "enlarged.png", 1 << 20), expected);
    EXPECT_EQ(firstBytes(dir / "again.png", 1 << 20), expected);

    const bool modified = shown.IsModified();
    for (const char* name : {"source.png", "source.bmp", "source.pcx"}) {
        ASSERT_TRUE(shown.SaveSource(dir / name)) << name;
        std::string error;
        const auto back = ScaleDocument::ReadImage(dir / name, error);
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(picture(*back->image), sprite) << name;
        EXPECT_EQ(back->palette->at(2) & 0xFFFFFFu, palette[2] & 0xFFFFFFu) << name;
    }
    EXPECT_EQ(readPng(dir / "source.png")->palette->at(0), 0x00FFFFFFu);
    EXPECT_EQ(shown.IsModified(), modified);
    EXPECT_EQ(shown.resultBitmap()->width(), 32);

    EXPECT_FALSE(shown.SaveSource(dir / "no-such-folder" / "out.png"));
    EXPECT_NE(shown.lastError().find("cannot write"), std::string::npos);
    ScaleDocument empty;
    EXPECT_FALSE(empty.SaveSource(dir / "empty.png"));
    EXPECT_FALSE(fs::exists(dir / "empty.png"));
}

TEST(ScaleDocument, ApplyReusesJobOnlyForSameFactorIndexAndSwitch)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kSmall, 2, true);
    ASSERT_NE(doc.Apply(2, 20, false, 0), nullptr);
    const ScaleJob* job = doc.job();
    IndexedBitmap* result = doc.resultBitmap();

    ASSERT_EQ(doc.Apply(2, 35, false, 0), result); // same raster memory
    EXPECT_EQ(doc.job(), job);
    EXPECT_EQ(doc.job()->threshold(), 35);

    ASSERT_NE(doc.Apply(2, 35, false, 1), nullptr);
    EXPECT_NE(doc.job(), job);
    job = doc.job();
    ASSERT_NE(doc.Apply(2, 35, true, 1), nullptr); // forced
    EXPECT_NE(doc.job(), job);
    job = doc.job();
    ASSERT_NE(doc.Apply(2, 35, false, 1, false), nullptr); // slope switch
    EXPECT_NE(doc.job(), job);
    EXPECT_FALSE(doc.job()->slopePasses());
    job = doc.job();
    IndexedBitmap* bigger = doc.Apply(3, 35, false, 1, false);
    ASSERT_NE(bigger, nullptr);
    EXPECT_NE(doc.job(), job);
    EXPECT_EQ(bigger->width(), 12);
}

TEST(ScaleDocument, FailedApplyKeepsJobResultAndUndo)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, kSmall, 2);
    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(0, 0, 5, 1));
    const ScaleJob* job = doc.job();
    const Rows before = picture(*doc.resultBitmap());

    EXPECT_EQ(doc.Apply(33, 20, false, 0), nullptr);
    EXPECT_EQ(doc.Apply(0, 20, true, 0), nullptr);
    EXPECT_EQ(doc.job(), job);
    EXPECT_EQ(picture(*doc.resultBitmap()), before);
    EXPECT_TRUE(doc.Undo());

    // A source whose enlargement the engine refuses: 2048 x 2048 at 32.
    const std::vector<std::uint8_t> zeros(2048 * 2048, 0);
    const auto pal = testPalette(2);
    ASSERT_TRUE(writePng(dir / "big.png", zeros.data(), 2048, 2048, 2048, pal.data(), 2));
    ASSERT_TRUE(doc.Load(dir / "big.png"));
    EXPECT_EQ(doc.Apply(32, 20, false, 0), nullptr);
    EXPECT_EQ(doc.lastError(), "too large to enlarge");
    EXPECT_EQ(doc.job(), nullptr);                // the new source never had one
    EXPECT_FALSE(doc.Save(dir / "mismatch.png")); // old pixels, new palette: refused
}

TEST(ScaleDocument, UndoRestoresOnlyTheLastStroke)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"00", "00"}, 2);
    doc.setSnapshotPending(true);
    doc.PlotDots(0, 0, 1, 1);
    doc.PlotDots(1, 0, 1, 1); // same stroke
    doc.setSnapshotPending(true);
    doc.PlotDots(3, 3, 2, 1);
    const IndexedBitmap* undo = doc.undoBitmap();

    ASSERT_TRUE(doc.Undo());
    const Rows afterFirst = {"1100", "0000", "0000", "0000"};
    EXPECT_EQ(picture(*doc.resultBitmap()), afterFirst);
    ASSERT_TRUE(doc.Undo()); // one level: the same snapshot again
    EXPECT_EQ(picture(*doc.resultBitmap()), afterFirst);

    doc.setSnapshotPending(true);
    doc.PlotDots(2, 2, 3, 1);
    EXPECT_EQ(doc.undoBitmap(), undo); // rows copied in place, no new raster
}

TEST(ScaleDocument, StrayPressDoesNotSpoilUndo)
{
    ScaleDocument doc;
    ScratchDir dir;
    loadApplied(doc, dir, {"012", "345", "678"}, 2);
    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(0, 0, 9, 1));
    const Rows afterStroke = picture(*doc.resultBitmap());

    // Presses that change nothing: beside the image, inside the anchor's
    // column, a line that is not 45 degrees, a thickness of 0.
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.PaintNearest(6, 0, 1));
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.PaintAuto(0, 6, 3));
    doc.SetCornerFirst(0, 0);
    doc.SetCornerAnchor(2, 2);
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.DragCorner(3, 2));
    doc.SetLineStart(0, 0);
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.FinishLine(2, 5));
    doc.setSnapshotPending(true);
    EXPECT_FALSE(doc.PlotDots(1, 1, 4, 0));
    EXPECT_EQ(picture(*doc.resultBitmap()), afterStroke);

    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.ReadResultIndex(0, 0), 0); // the real stroke is still undoable
}

TEST(ScaleDocument, SetPaletteMergesAndKeepsJobAndScreenInStep)
{
    ScaleDocument doc;
    ScratchDir dir;
    // Lightness steps between indices that the new palette does not cover.
    const Rows rows = {"0000", "0012", "0123", "1233"};
    loadApplied(doc, dir, rows, 3, true);
    doc.setSnapshotPending(true);
    ASSERT_TRUE(doc.PlotDots(0, 0, 3, 1));

    const Colour two[2] = {0xFF102030, 0x00405060};
    doc.SetPalette(two, 2);
    std::vector<Colour> merged = testPalette();
    merged[0] = two[0];
    merged[1] = two[1];
    EXPECT_EQ(doc.source()->palette->colours, merged);
    EXPECT_EQ(doc.job()->palette(), merged);
    const auto table = doc.resultBitmap()->colourTable();
    ASSERT_EQ(table.size(), 256u);
    EXPECT_EQ(table[1], 0xFF405060u);
    EXPECT_EQ(table[2], merged[2]);
    EXPECT_EQ(table[200], 0xFF000000u);

    // Undo brings back indices, not colours.
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.ReadResultIndex(0, 0), 0);
    EXPECT_EQ(doc.resultBitmap()->colourTable()[1], 0xFF405060u);

    // A reused job (new threshold) and a new one agree on every pixel.
    ASSERT_NE(doc.Apply(3, 30, false, -1, true), nullptr);
    const Rows reused = picture(*doc.resultBitmap());
    ASSERT_NE(doc.Apply(3, 30, true, -1, true), nullptr);
    EXPECT_EQ(picture(*doc.resultBitmap()), reused);

    const Rows before = picture(*doc.resultBitmap());
    doc.SetPalette(two, 0); // no colours: nothing changes
    EXPECT_EQ(doc.source()->palette->colours, merged);
    EXPECT_EQ(picture(*doc.resultBitmap()), before);
}

} // namespace
} // namespace gridmint::testing

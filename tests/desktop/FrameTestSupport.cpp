#include "FrameTestSupport.h"

#include "image/Codecs.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <stdexcept>

namespace gridmint::test {

std::uint8_t patternPixel(int x, int y)
{
    if ((x + 2 * y) % 11 < 4) {
        return 9;
    }
    if ((x - 5) * (x - 5) + (y - 6) * (y - 6) < 12) {
        return 3;
    }
    return static_cast<std::uint8_t>(((x / 5) + (y / 7)) % 2 ? 1 : 12);
}

void writeImage(const std::filesystem::path& path, int width, int height, int colours)
{
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(static_cast<std::uint8_t>(patternPixel(x, y) % colours));
        }
    }
    std::vector<Colour> table;
    for (int i = 0; i < colours; ++i) {
        const auto v = static_cast<Colour>(i * 255 / std::max(1, colours - 1));
        table.push_back(kOpaque | (v << 16) | (((v * 3) % 256) << 8) | (255 - v));
    }
    if (!writePng(path, pixels.data(), width, height, width, table.data(), colours)) {
        throw std::runtime_error("cannot write test image");
    }
}

void writeAct(const std::filesystem::path& path)
{
    QFile file(QString::fromStdU16String(path.u16string()));
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write act file");
    }
    for (int i = 0; i < 256; ++i) {
        const char rgb[3] = {char(i), char(255 - i), char(i * 7 % 256)};
        file.write(rgb, 3);
    }
}

std::vector<std::uint8_t> pixelsOf(const IndexedBitmap& bitmap)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < bitmap.height(); ++y) {
        out.insert(out.end(), bitmap.row(y), bitmap.row(y) + bitmap.width());
    }
    return out;
}

FrameHarness::FrameHarness(int factor)
{
    settings.ImageScale = factor;
    auto recording = std::make_unique<RecordingDialogs>();
    dialogs = recording.get();
    frame = std::make_unique<CMainFrame>(settings, std::move(recording));
    frame->resize(900, 640);
    frame->show();
}

std::filesystem::path FrameHarness::file(const QString& name) const
{
    return std::filesystem::path(dir.filePath(name).toStdU16String());
}

std::filesystem::path FrameHarness::openPattern(const QString& name, int width, int height)
{
    const auto path = file(name);
    writeImage(path, width, height);
    frame->Open(path);
    return path;
}

void FrameHarness::selectZoomChoice(int choice)
{
    frame->toolPanel()->zoomCombo()->setCurrentIndex(choice);
}

void FrameHarness::selectTool(int mode)
{
    frame->toolPanel()->toolButton(mode)->click();
}

} // namespace gridmint::test

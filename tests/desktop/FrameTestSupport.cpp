#include "FrameTestSupport.h"

#include "image/Codecs.h"
#include "ui/CTopPanelView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>

namespace gridmint::test {

void RecordingDialogs::message(QWidget*, const QString& text, const QString& caption)
{
    messages.push_back({text, caption});
}

QString RecordingDialogs::openFileName(QWidget*, const QString&)
{
    ++openAsked;
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString RecordingDialogs::saveFileName(QWidget*, const QString& proposed, const QString&,
                                       const QString& suffix)
{
    proposedSaveNames.push_back(proposed);
    saveSuffixes.push_back(suffix);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

bool RecordingDialogs::editSettings(QWidget*, AppSettings& settings)
{
    ++settingsShown;
    return onSettings ? onSettings(settings) : false;
}

std::filesystem::path toPath(const QString& text)
{
    return std::filesystem::path(text.toStdU16String());
}

void writeImage(const std::filesystem::path& path, int width, int height, int colours,
                const std::function<std::uint8_t(int, int)>& pixel)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[static_cast<std::size_t>(y * width + x)] = pixel(x, y);
        }
    }
    std::vector<Colour> table;
    for (int i = 0; i < colours; ++i) {
        // Lightness rises with the index so that the slope passes find edges.
        const auto v = static_cast<Colour>(i * 255 / std::max(1, colours - 1));
        table.push_back(kOpaque | (v << 16) | (((v * 3) % 256) << 8) | (255 - v));
    }
    if (!writePng(path, pixels.data(), width, height, width, table.data(),
                  static_cast<std::int32_t>(table.size()))) {
        throw std::runtime_error("cannot write test image");
    }
}

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

std::vector<std::uint8_t> pixelsOf(const IndexedBitmap& bitmap)
{
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(bitmap.width() * bitmap.height()));
    for (int y = 0; y < bitmap.height(); ++y) {
        out.insert(out.end(), bitmap.row(y), bitmap.row(y) + bitmap.width());
    }
    return out;
}

void writeAct(const std::filesystem::path& path)
{
    QFile file(QString::fromStdU16String(path.u16string()));
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write act file");
    }
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.append(static_cast<char>(i));
        bytes.append(static_cast<char>(255 - i));
        bytes.append(static_cast<char>(i * 7 % 256));
    }
    file.write(bytes);
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

FrameHarness::~FrameHarness() = default;

std::filesystem::path FrameHarness::file(const QString& name) const
{
    return toPath(dir.filePath(name));
}

std::filesystem::path FrameHarness::openPattern(const QString& name, int width, int height,
                                                int colours)
{
    const auto path = file(name);
    writeImage(path, width, height, colours, patternPixel);
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

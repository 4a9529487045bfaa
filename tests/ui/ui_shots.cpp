// Renders the tool strip, the palette pane and both dialogs offscreen into
// PNG files so that they can be looked at: ui_shots <output folder>.
#include "app/AppSettings.h"
#include "app/ToolMode.h"
#include "image/Containers.h"
#include "ui/CAboutDlg.h"
#include "ui/COptionDlg.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"
#include "ui/UiResources.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>

using namespace gridmint;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    initUiResources();
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    AppSettings settings;
    settings.NearestColorThreshold = 5;
    CTopPanelView panel(settings, [] {});
    panel.resize(panel.sizeHint());
    panel.show();
    panel.grab().save(out.filePath(QStringLiteral("panel.png")));
    panel.toolButton(ToolCorner)->click();
    panel.grab().save(out.filePath(QStringLiteral("panel_corner.png")));

    Palette image;
    for (int i = 0; i < 16; ++i) {
        image.colours.push_back(kOpaque | static_cast<Colour>(i * 0x101010));
    }
    Palette added;
    for (int i = 0; i < 256; ++i) {
        added.colours.push_back(kOpaque | static_cast<Colour>((i << 16) | ((255 - i) << 8) | 128));
    }
    CPaletteToolView pane;
    pane.resize(246, 600);
    pane.show();
    pane.grab().save(out.filePath(QStringLiteral("pane_start.png")));
    pane.ResetPalettes(&image, "/tmp/sprite.png");
    pane.AddPalette(&added, "/tmp/sunset.act");
    pane.setChosenColour(18);
    pane.grab().save(out.filePath(QStringLiteral("pane.png")));

    settings.DefaultSaveFolder = "/home/user/output";
    COptionDlg options(settings);
    options.show();
    options.grab().save(out.filePath(QStringLiteral("options.png")));

    CAboutDlg about;
    about.show();
    about.grab().save(out.filePath(QStringLiteral("about.png")));
    return 0;
}

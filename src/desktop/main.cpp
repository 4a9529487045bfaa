// The desktop program: settings first, then the one main window. The command
// line is not used.
#include "desktop/AppSettingsStore.h"
#include "desktop/CMainFrame.h"
#include "ui/UiResources.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("larchworkshop"));
    QApplication::setApplicationName(QStringLiteral("Gridmint"));
    gridmint::initUiResources();
    gridmint::LoadSettings();

    gridmint::CMainFrame frame(gridmint::appSettings());
    frame.RestoreWindowLayout(gridmint::LoadWindowLayout());
    frame.show();
    // A normal quit returns 0, which scripts and desktops read as success.
    const int code = QApplication::exec();
    gridmint::SaveWindowLayout(frame.windowLayout());
    return code;
}

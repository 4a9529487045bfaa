// The desktop program: settings and language first, then the one main
// window. The command line's only use is a file to open (the desktop's
// "Open With").
#include "desktop/AppSettingsStore.h"
#include "desktop/CMainFrame.h"
#include "desktop/UiLanguage.h"
#include "image/Platform.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QStringList>
#include <filesystem>

int main(int argc, char* argv[])
{
    // A save beyond the file-size limit must fail with the save-failed
    // message, not end the program with the artist's edits.
    gridmint::platform::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("larchworkshop"));
    QApplication::setApplicationName(QStringLiteral("Gridmint"));
    gridmint::initUiResources();
    gridmint::LoadSettings();
    // Before any window exists: texts are translated when widgets are made.
    // Qt's own texts (file dialogs, standard buttons) follow the same
    // language, from the translation compiled into the program.
    gridmint::InstallUiLanguage(gridmint::ChooseUiLanguage(gridmint::appSettings().Language));

    gridmint::CMainFrame frame(gridmint::appSettings());
    frame.RestoreWindowLayout(gridmint::LoadWindowLayout());
    frame.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        frame.Open(std::filesystem::path(args.at(1).toStdU16String()));
    // A normal quit returns 0, which scripts and desktops read as success.
    const int code = QApplication::exec();
    gridmint::SaveWindowLayout(frame.windowLayout());
    return code;
}

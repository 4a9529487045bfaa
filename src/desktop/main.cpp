// The desktop program: settings first, then the one main window. The command
// line's only use is a file to open (the desktop's "Open With").
#include "desktop/AppSettingsStore.h"
#include "desktop/CMainFrame.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>
#include <filesystem>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("larchworkshop"));
    QApplication::setApplicationName(QStringLiteral("Gridmint"));
    gridmint::initUiResources();
    // Every text of the program is Japanese; so are Qt's own (the file
    // dialogs' labels and buttons), from Qt's translations where installed:
    // beside the program on Windows, with Qt elsewhere.
    QTranslator qtTexts;
    for (const QString& folder :
         {QApplication::applicationDirPath() + QStringLiteral("/translations"),
          QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qt"),
                         QStringLiteral("_"), folder)) {
            QApplication::installTranslator(&qtTexts);
            break;
        }
    }
    gridmint::LoadSettings();

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

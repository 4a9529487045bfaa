// Runs the main-window test classes with settings kept away from the user's:
// a temporary HOME and configuration folder, and Qt's test mode for standard
// paths.
#include "ui/UiResources.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

std::vector<std::unique_ptr<QObject>> makeDesktopTests();

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    if (!home.isValid()) {
        return 2;
    }
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    gridmint::initUiResources();

    int failures = 0;
    for (const auto& test : makeDesktopTests()) {
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

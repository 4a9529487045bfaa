// Loading and saving the settings record (QSettings, organisation
// "larchworkshop", application "Gridmint": on Windows the registry key
// HKEY_CURRENT_USER\software\larchworkshop\Gridmint).
#pragma once

#include "app/AppSettings.h"

#include <QByteArray>

namespace gridmint {

// The process-wide record, initialised with the defaults.
AppSettings& appSettings();

// Overwrites each field whose stored value exists, has the right type and
// lies in range; every other field keeps its value.
void LoadSettings(AppSettings& settings = appSettings());
// Writes all seven values.
void SaveSettings(const AppSettings& settings = appSettings());

// The main window's place and panes at the last exit, kept beside the
// settings. Empty records when none was stored.
struct WindowLayout {
    QByteArray geometry; // QWidget::saveGeometry
    QByteArray state;    // QMainWindow::saveState
    bool paletteShown = true;
};
WindowLayout LoadWindowLayout();
void SaveWindowLayout(const WindowLayout& layout);

} // namespace gridmint

// Loading and saving the settings record (QSettings, organisation
// "larchworkshop", application "Gridmint": on Windows the registry key
// HKEY_CURRENT_USER\software\larchworkshop\Gridmint).
#pragma once

#include "app/AppSettings.h"

namespace gridmint {

// The process-wide record, initialised with the defaults.
AppSettings& appSettings();

// Overwrites each field whose stored value exists, has the right type and
// lies in range; every other field keeps its value.
void LoadSettings(AppSettings& settings = appSettings());
// Writes all seven values.
void SaveSettings(const AppSettings& settings = appSettings());

} // namespace gridmint

// The language the desktop program speaks. Japanese texts are the source
// texts in the code; English comes from a translation compiled into the
// program, and Qt's own dialogs follow with Qt's Japanese translation (also
// compiled in, so an installed program never depends on where a
// distribution keeps it).
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace gridmint {

enum class UiLanguage { Japanese, English };

// The language for one run. `override` is the value of GRIDMINT_LANG: "ja"
// or "en" win over the setting, anything else is ignored. The setting is
// one of AppSettings' kLanguage values; automatic means Japanese when the
// first of the system's UI languages is Japanese, English otherwise.
UiLanguage ChooseUiLanguage(std::int32_t setting, const QString& override,
                            const QStringList& systemLanguages);
// The same with the real environment and system locale.
UiLanguage ChooseUiLanguage(std::int32_t setting);

// Makes texts created from now on speak `language`, replacing the
// translations installed before (texts already shown keep theirs). Needs
// the application object. False when a translation could not be loaded.
bool InstallUiLanguage(UiLanguage language);
// The language last installed; Japanese before any.
UiLanguage CurrentUiLanguage();

} // namespace gridmint

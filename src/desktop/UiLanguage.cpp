#include "desktop/UiLanguage.h"

#include "app/AppSettings.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

namespace gridmint {

namespace {

UiLanguage& currentLanguage()
{
    static UiLanguage language = UiLanguage::Japanese;
    return language;
}

// Owned by the application object, so they go away with it.
QPointer<QTranslator>& installedTranslator()
{
    static QPointer<QTranslator> translator;
    return translator;
}

} // namespace

UiLanguage ChooseUiLanguage(std::int32_t setting, const QString& override,
                            const QStringList& systemLanguages)
{
    if (override == QLatin1String("ja")) {
        return UiLanguage::Japanese;
    }
    if (override == QLatin1String("en")) {
        return UiLanguage::English;
    }
    if (setting == AppSettings::kLanguageJapanese) {
        return UiLanguage::Japanese;
    }
    if (setting == AppSettings::kLanguageEnglish) {
        return UiLanguage::English;
    }
    const bool japanese = !systemLanguages.isEmpty() &&
                          QLocale(systemLanguages.constFirst()).language() == QLocale::Japanese;
    return japanese ? UiLanguage::Japanese : UiLanguage::English;
}

UiLanguage ChooseUiLanguage(std::int32_t setting)
{
    return ChooseUiLanguage(setting, qEnvironmentVariable("GRIDMINT_LANG"),
                            QLocale::system().uiLanguages());
}

bool InstallUiLanguage(UiLanguage language)
{
    QPointer<QTranslator>& installed = installedTranslator();
    if (!installed.isNull()) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    currentLanguage() = language;
    // Japanese needs Qt's translation for Qt's own texts; English needs the
    // program's, Qt's own texts being English already.
    const QString file = language == UiLanguage::Japanese ? QStringLiteral("qtbase_ja.qm")
                                                          : QStringLiteral("gridmint_en.qm");
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/gridmint/i18n/") + file)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

UiLanguage CurrentUiLanguage()
{
    return currentLanguage();
}

} // namespace gridmint

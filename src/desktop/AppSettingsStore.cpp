#include "desktop/AppSettingsStore.h"

#include <QByteArray>
#include <QMetaType>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace gridmint {

namespace {

const char* const kOrganisation = "larchworkshop";
const char* const kApplication = "Gridmint";

// On Windows the native format is the registry key
// HKEY_CURRENT_USER\Software\larchworkshop\Gridmint; elsewhere it is the
// per-user configuration file.
QSettings openStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
}

// A stored value counts as a number when it is an integer, or a text that
// is a whole decimal number (a configuration file keeps everything as text).
// Anything else, like a value of the wrong registry type, is ignored.
std::optional<std::int64_t> storedNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::ULongLong: {
        const qulonglong u = value.toULongLong();
        if (u > static_cast<qulonglong>(INT64_MAX))
            return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    case QMetaType::QString: {
        const QString text = value.toString();
        const qsizetype digitsFrom = text.startsWith(u'-') ? 1 : 0;
        if (text.size() <= digitsFrom || text.size() > 20)
            return std::nullopt;
        for (qsizetype i = digitsFrom; i < text.size(); ++i) {
            if (text[i] < u'0' || text[i] > u'9')
                return std::nullopt;
        }
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok, 10);
        if (!ok)
            return std::nullopt;
        return n;
    }
    default:
        return std::nullopt;
    }
}

std::optional<std::int64_t> readNumber(const QSettings& store, const char* key)
{
    if (!store.contains(QString::fromLatin1(key)))
        return std::nullopt;
    return storedNumber(store.value(QString::fromLatin1(key)));
}

void loadBool(const QSettings& store, const char* key, bool& field)
{
    if (const auto n = readNumber(store, key))
        field = *n != 0;
}

template <class Int>
void loadRange(const QSettings& store, const char* key, Int& field, std::int64_t lo,
               std::int64_t hi)
{
    if (const auto n = readNumber(store, key); n && *n >= lo && *n <= hi)
        field = static_cast<Int>(*n);
}

} // namespace

AppSettings& appSettings()
{
    static AppSettings settings;
    return settings;
}

void LoadSettings(AppSettings& settings)
{
    const QSettings store = openStore();
    loadBool(store, "IsAutoSave", settings.IsAutoSave);
    loadBool(store, "IsReverseACT", settings.IsReverseACT);
    loadBool(store, "IsReversePAL", settings.IsReversePAL);
    loadRange(store, "ImageScale", settings.ImageScale, AppSettings::kMinScale,
              AppSettings::kMaxScale);
    loadRange(store, "TransColorIndex", settings.TransColorIndex, -1, 255);
    loadRange(store, "NearestColorThreshold", settings.NearestColorThreshold, 0, 100);

    const QString folderKey = QStringLiteral("DefaultSaveFolder");
    if (store.contains(folderKey)) {
        const QVariant value = store.value(folderKey);
        if (value.typeId() == QMetaType::QString) {
            QString text = value.toString();
            // Like a registry string, the value ends at its first 0.
            const qsizetype nul = text.indexOf(QChar(u'\0'));
            if (nul >= 0)
                text.truncate(nul);
            if (static_cast<std::size_t>(text.size()) <= AppSettings::kMaxFolderLength) {
                const QByteArray utf8 = text.toUtf8();
                settings.DefaultSaveFolder.assign(utf8.constData(),
                                                  static_cast<std::size_t>(utf8.size()));
            }
        }
    }
}

void SaveSettings(const AppSettings& settings)
{
    QSettings store = openStore();
    // Booleans as the numbers 0 and 1, as the registry keeps them, not as
    // Qt's text "true".
    store.setValue(QStringLiteral("IsAutoSave"), settings.IsAutoSave ? 1 : 0);
    store.setValue(QStringLiteral("IsReverseACT"), settings.IsReverseACT ? 1 : 0);
    store.setValue(QStringLiteral("IsReversePAL"), settings.IsReversePAL ? 1 : 0);
    store.setValue(QStringLiteral("ImageScale"), static_cast<int>(settings.ImageScale));
    store.setValue(QStringLiteral("TransColorIndex"), static_cast<int>(settings.TransColorIndex));
    store.setValue(QStringLiteral("NearestColorThreshold"),
                   static_cast<uint>(settings.NearestColorThreshold));
    // Written even when empty: a folder the user cleared must not come back
    // at the next start.
    store.setValue(QStringLiteral("DefaultSaveFolder"),
                   QString::fromUtf8(settings.DefaultSaveFolder.data(),
                                     static_cast<qsizetype>(settings.DefaultSaveFolder.size())));
    store.sync();
}

WindowLayout LoadWindowLayout()
{
    const QSettings store = openStore();
    WindowLayout layout;
    layout.geometry = store.value(QStringLiteral("WindowGeometry")).toByteArray();
    layout.state = store.value(QStringLiteral("WindowState")).toByteArray();
    if (const auto n = readNumber(store, "PaletteShown"))
        layout.paletteShown = *n != 0;
    return layout;
}

void SaveWindowLayout(const WindowLayout& layout)
{
    QSettings store = openStore();
    store.setValue(QStringLiteral("WindowGeometry"), layout.geometry);
    store.setValue(QStringLiteral("WindowState"), layout.state);
    store.setValue(QStringLiteral("PaletteShown"), layout.paletteShown ? 1 : 0);
    store.sync();
}

} // namespace gridmint

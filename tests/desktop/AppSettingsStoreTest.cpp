// The settings store on a private configuration folder, never the user's.
#include "desktop/AppSettingsStore.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace gridmint {
namespace {

QSettings rawStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "larchworkshop", "Gridmint");
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { rawStore().clear(); }

    // Stores the values as given (number or text) and loads them into a
    // record holding the defaults.
    static AppSettings loadWith(std::initializer_list<std::pair<const char*, QVariant>> values)
    {
        {
            QSettings store = rawStore();
            for (const auto& [key, value] : values)
                store.setValue(QString::fromLatin1(key), value);
        }
        AppSettings s;
        LoadSettings(s);
        return s;
    }
};

TEST_F(SettingsStore, DefaultsWithoutStoredValuesAndFirstSave)
{
    AppSettings s;
    s.DefaultSaveFolder = "kept";
    LoadSettings(s);
    EXPECT_FALSE(s.IsAutoSave);
    EXPECT_TRUE(s.IsReverseACT);
    EXPECT_FALSE(s.IsReversePAL);
    EXPECT_EQ(s.ImageScale, 2);
    EXPECT_EQ(s.TransColorIndex, 0);
    EXPECT_EQ(s.NearestColorThreshold, 20u);
    EXPECT_EQ(s.DefaultSaveFolder, "kept");

    SaveSettings(AppSettings{});
    QSettings store = rawStore();
    EXPECT_EQ(store.allKeys().size(), 7);
    // Booleans as numbers, not Qt's "true"/"false".
    EXPECT_EQ(store.value("IsReverseACT").toString(), "1");
    EXPECT_EQ(store.value("IsAutoSave").toString(), "0");
}

TEST_F(SettingsStore, RoundTripIncludingAClearedFolder)
{
    AppSettings s;
    s.IsAutoSave = true;
    s.IsReverseACT = false;
    s.IsReversePAL = true;
    s.ImageScale = 32;
    s.TransColorIndex = -1;
    s.NearestColorThreshold = 0;
    s.DefaultSaveFolder = "/home/画像/出力, with comma";
    SaveSettings(s);
    AppSettings back;
    LoadSettings(back);
    EXPECT_TRUE(back.IsAutoSave);
    EXPECT_FALSE(back.IsReverseACT);
    EXPECT_TRUE(back.IsReversePAL);
    EXPECT_EQ(back.ImageScale, 32);
    EXPECT_EQ(back.TransColorIndex, -1);
    EXPECT_EQ(back.NearestColorThreshold, 0u);
    EXPECT_EQ(back.DefaultSaveFolder, s.DefaultSaveFolder);

    // Clearing the folder must survive the next start.
    s.DefaultSaveFolder.clear();
    SaveSettings(s);
    LoadSettings(back);
    EXPECT_EQ(back.DefaultSaveFolder, "");
}

TEST_F(SettingsStore, RangeChecksInNumberAndTextForm)
{
    for (const QVariant& bad : {QVariant(1), QVariant(33), QVariant("0"), QVariant("-3")})
        EXPECT_EQ(loadWith({{"ImageScale", bad}}).ImageScale, 2) << bad.toString().toStdString();
    EXPECT_EQ(loadWith({{"ImageScale", QVariant("32")}}).ImageScale, 32);
    EXPECT_EQ(loadWith({{"ImageScale", QVariant(5)}}).ImageScale, 5);

    EXPECT_EQ(loadWith({{"TransColorIndex", QVariant(-1)}}).TransColorIndex, -1);
    EXPECT_EQ(loadWith({{"TransColorIndex", QVariant("255")}}).TransColorIndex, 255);
    EXPECT_EQ(loadWith({{"TransColorIndex", QVariant(256)}}).TransColorIndex, 0);
    EXPECT_EQ(loadWith({{"TransColorIndex", QVariant("-2")}}).TransColorIndex, 0);

    EXPECT_EQ(loadWith({{"NearestColorThreshold", QVariant(101)}}).NearestColorThreshold, 20u);
    EXPECT_EQ(loadWith({{"NearestColorThreshold", QVariant("-1")}}).NearestColorThreshold, 20u);
    EXPECT_EQ(loadWith({{"NearestColorThreshold", QVariant(100u)}}).NearestColorThreshold, 100u);

    // Any non-zero number is true.
    EXPECT_TRUE(loadWith({{"IsAutoSave", QVariant("7")}}).IsAutoSave);
    EXPECT_FALSE(loadWith({{"IsReverseACT", QVariant(0)}}).IsReverseACT);
}

TEST_F(SettingsStore, WrongTypesAreIgnoredOneByOne)
{
    const AppSettings s = loadWith({{"IsReverseACT", QVariant("yes")},
                                    {"IsAutoSave", QVariant("true")},
                                    {"ImageScale", QVariant(4.5)},
                                    {"TransColorIndex", QVariant(" 3")},
                                    {"NearestColorThreshold", QVariant("99999999999999999999999")},
                                    {"IsReversePAL", QVariant("1")}});
    EXPECT_TRUE(s.IsReverseACT);
    EXPECT_FALSE(s.IsAutoSave);
    EXPECT_EQ(s.ImageScale, 2);
    EXPECT_EQ(s.TransColorIndex, 0);
    EXPECT_EQ(s.NearestColorThreshold, 20u);
    EXPECT_TRUE(s.IsReversePAL); // the good one beside them is taken
}

TEST_F(SettingsStore, FolderLengthAndEmbeddedZero)
{
    EXPECT_EQ(loadWith({{"DefaultSaveFolder", QString(2599, u'x')}}).DefaultSaveFolder.size(),
              2599u);
    EXPECT_EQ(loadWith({{"DefaultSaveFolder", QString(2600, u'x')}}).DefaultSaveFolder, "");
    QString withZero = QStringLiteral("/tmp/a");
    withZero.append(QChar(u'\0')).append(QStringLiteral("junk"));
    EXPECT_EQ(loadWith({{"DefaultSaveFolder", withZero}}).DefaultSaveFolder, "/tmp/a");
}

} // namespace
} // namespace gridmint

int main(int argc, char** argv)
{
    // Keep every write inside a folder of our own.
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

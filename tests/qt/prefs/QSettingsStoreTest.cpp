#include "platform/QSettingsStore.h"

#include "model/UserPreferences.h"
#include "support/TempDir.h"

#include <QSettings>
#include <QStandardPaths>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace
{
// Points the per-user settings of this process at a temporary folder for the
// duration of a test, so that the real user's settings are never touched.
class QSettingsStoreTest : public ::testing::Test
{
protected:
    void SetUp() override { UseFolder(m_dir.Path()); }

    void TearDown() override
    {
        UserPreferences::SetStore(nullptr);
        UseFolder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString());
    }

    static void UseFolder(const std::string& folder)
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(folder));
    }

    std::string SettingsFile() const { return m_dir.File("Nuvaro/Nuvaro.conf"); }

    testsupport::TempDir m_dir;
};
} // namespace

TEST_F(QSettingsStoreTest, ValuesPersistInTheUsersSettingsFile)
{
    const std::string awkward = "a,b; x=y [z] \"q\" \xc3\xa9";
    {
        QSettingsStore store;
        std::string value = "unchanged";
        EXPECT_FALSE(store.Read("Host", value));
        EXPECT_EQ(value, "unchanged");
        store.Write("Host", "http://atlas.example");
        store.Write("Odd", awkward);
        store.Write("Empty", "");
        ASSERT_TRUE(store.Read("Host", value));
        EXPECT_EQ(value, "http://atlas.example");
        EXPECT_TRUE(store.Sync());
    }
    EXPECT_NE(testsupport::ReadFileBytes(SettingsFile()).find("atlas.example"), std::string::npos);

    QSettingsStore reopened;
    std::string value;
    ASSERT_TRUE(reopened.Read("Host", value));
    EXPECT_EQ(value, "http://atlas.example");
    ASSERT_TRUE(reopened.Read("Odd", value));
    EXPECT_EQ(value, awkward);
    // An empty value is still a value of its own.
    ASSERT_TRUE(reopened.Read("Empty", value));
    EXPECT_EQ(value, "");
}

TEST_F(QSettingsStoreTest, PreferencesReadAndRepairTheSettingsFile)
{
    std::filesystem::create_directories(m_dir.File("Nuvaro"));
    ASSERT_TRUE(testsupport::WriteFileBytes(SettingsFile(), "[General]\n"
                                                            "Host=http://mirror.example/\n"
                                                            "Multisample=-2\n"
                                                            "VerticalSync=false\n"
                                                            "BookmarkAnimationSpeed=25\n"));
    UserPreferences::SetStore(std::make_shared<QSettingsStore>());
    UserPreferences* prefs = UserPreferences::GetPreferences();
    EXPECT_EQ(prefs->GetSearchHost(), "http://mirror.example/services/GeneSearchService");
    EXPECT_EQ(prefs->GetNumSamples(), 0);
    EXPECT_FALSE(prefs->GetVSync());
    EXPECT_FLOAT_EQ(prefs->GetBookmarkAnimationSpeed(), 10.0f);

    prefs->SetAutoRotate(false);
    prefs->SaveViewSettings(2, true, false);
    EXPECT_TRUE(prefs->GetDefaults().Synchronize());

    const std::string file = testsupport::ReadFileBytes(SettingsFile());
    EXPECT_NE(file.find("Multisample=0"), std::string::npos) << file;
    EXPECT_NE(file.find("AutoRotateView=false"), std::string::npos) << file;

    // A new store and preferences object read back what was saved.
    UserPreferences::SetStore(std::make_shared<QSettingsStore>());
    prefs = UserPreferences::GetPreferences();
    EXPECT_FALSE(prefs->GetAutoRotate());
    int mode = 0;
    bool expanded = false;
    bool controls = true;
    prefs->LoadViewSettings(mode, expanded, controls);
    EXPECT_EQ(mode, 2);
    EXPECT_TRUE(expanded);
    EXPECT_FALSE(controls);
}

TEST_F(QSettingsStoreTest, SyncReportsAFolderThatCannotBeWritten)
{
    // A plain file where the settings folder should be.
    ASSERT_TRUE(testsupport::WriteFileBytes(m_dir.File("blocked"), "not a folder"));
    UseFolder(m_dir.File("blocked"));
    QSettingsStore store;
    store.Write("Host", "http://atlas.example");
    EXPECT_FALSE(store.Sync());
}

// The multisampling table both ways, and the Preferences window bound to the
// preferences: what each control stores and tells, and that showing the
// window stores nothing.
#include "shell/MultisampleChoices.h"
#include "shell/PreferencesController.h"

#include "support/qt/Screenshot.h"
#include "model/UserPreferences.h"
#include "support/MemoryPreferenceStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using MultisampleChoices::ItemForStoredValue;
using MultisampleChoices::ItemTitles;
using MultisampleChoices::StoredValue;

TEST(MultisampleChoicesTest, ItemsTitlesAndStoredValuesMapBothWays)
{
    const int stored[] = {0, 1, 2, 4, 6};
    for (int item = 0; item < 5; ++item)
    {
        EXPECT_EQ(StoredValue(item), stored[item]) << item;
        EXPECT_EQ(ItemForStoredValue(stored[item], 5), item) << item;
    }
    EXPECT_EQ(StoredValue(-1), -1);
    // Odd values written by others land on the next item up; values past the
    // pop-up's items select the last one; nothing to select without items.
    EXPECT_EQ(ItemForStoredValue(3, 5), 2);
    EXPECT_EQ(ItemForStoredValue(6, 3), 2);
    EXPECT_EQ(ItemForStoredValue(40, 5), 4);
    EXPECT_EQ(ItemForStoredValue(-2, 5), 0);
    EXPECT_EQ(ItemForStoredValue(2, 0), -1);
    // A maximum between two items stops at the lower one (the window shows the others).
    EXPECT_EQ(ItemTitles(3), (std::vector<std::string>{"1x", "2x"}));
    EXPECT_TRUE(ItemTitles(-4).empty());
}

class RecordingPreferencesListener : public UserPreferencesListener
{
public:
    void PreferenceChanged(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

class PreferencesControllerTest : public ::testing::Test
{
protected:
    UserPreferences& Preferences() { return *UserPreferences::GetPreferences(); }
    testsupport::MemoryPreferenceStore& Store() { return m_preferences.Store(); }

    // Opens the window with a maximum sample count, starting to record
    // writes and codes after the preferences were read.
    void Open(int maxSamples)
    {
        Preferences().SetMaxSamples(maxSamples);
        Preferences().AddListener(&m_listener);
        m_writesBefore = Store().writeCount;
        m_controller.showPreferences();
        ASSERT_NE(m_controller.window(), nullptr);
    }
    void TearDown() override { Preferences().RemoveListener(&m_listener); }

    std::vector<std::string> PopupTitles() const
    {
        std::vector<std::string> titles;
        for (int i = 0; i < m_controller.multiSamplingPopup()->count(); ++i)
            titles.push_back(m_controller.multiSamplingPopup()->itemText(i).toStdString());
        return titles;
    }
    int NewWrites() { return m_preferences.Store().writeCount - m_writesBefore; }
    void Choose(int item)
    {
        QComboBox* popup = m_controller.multiSamplingPopup();
        popup->setCurrentIndex(item);
        emit popup->activated(item);
    }

    testsupport::ScopedPreferenceStore m_preferences;
    PreferencesController m_controller;
    RecordingPreferencesListener m_listener;
    int m_writesBefore = 0;
};

TEST_F(PreferencesControllerTest, ChoosingEightTimesStoresSixAndReopeningShowsItOnce)
{
    Open(8);
    testsupport::SaveScreenshot(m_controller.window(), "preferences");
    EXPECT_EQ(PopupTitles(), (std::vector<std::string>{"1x", "2x", "4x", "6x", "8x"}));
    Choose(4);
    EXPECT_EQ(Preferences().GetNumSamples(), 6);
    EXPECT_EQ(Store().values["Multisample"], "6");
    EXPECT_EQ(m_listener.codes, std::vector<int>{UserPreferences::kNumSamplesChanged});

    m_controller.window()->hide();
    m_controller.showPreferences();
    EXPECT_EQ(m_controller.multiSamplingPopup()->currentIndex(), 4);
    EXPECT_EQ(PopupTitles().size(), 5u);
}

TEST_F(PreferencesControllerTest, PopupFollowsTheMaximum)
{
    Store().values["Multisample"] = "6";
    Open(4);
    EXPECT_EQ(PopupTitles(), (std::vector<std::string>{"1x", "2x", "4x"}));
    EXPECT_EQ(m_controller.multiSamplingPopup()->currentIndex(), 2);

    Preferences().SetMaxSamples(1);
    m_controller.showPreferences();
    EXPECT_EQ(PopupTitles(), std::vector<std::string>{"1x"});
    EXPECT_TRUE(m_controller.multiSamplingPopup()->isEnabled());

    Preferences().SetMaxSamples(0);
    m_controller.showPreferences();
    EXPECT_TRUE(PopupTitles().empty());
    EXPECT_FALSE(m_controller.multiSamplingPopup()->isEnabled());
    m_controller.multiSamplingChanged();
    EXPECT_EQ(Preferences().GetNumSamples(), 6);
}

TEST_F(PreferencesControllerTest, SliderShowsTenMinusTheSpeedAndStoresItBack)
{
    Store().values["BookmarkAnimationSpeed"] = "2.0";
    Open(4);
    EXPECT_EQ(m_controller.bookmarkAnimationSlider()->value(), 80);
    m_controller.bookmarkAnimationSlider()->setValue(100);
    EXPECT_FLOAT_EQ(Preferences().GetBookmarkAnimationSpeed(), 0.0f);
    m_controller.bookmarkAnimationSlider()->setValue(75);
    EXPECT_FLOAT_EQ(Preferences().GetBookmarkAnimationSpeed(), 2.5f);
}

TEST_F(PreferencesControllerTest, ShowingAndRefreshingWritesNothing)
{
    Store().values["VerticalSync"] = "false";
    Store().values["AutoRotateView"] = "false";
    Open(8);
    m_controller.showPreferences();
    EXPECT_EQ(NewWrites(), 0);
    EXPECT_TRUE(m_listener.codes.empty());
    EXPECT_FALSE(m_controller.verticalSyncButton()->isChecked());
    EXPECT_FALSE(m_controller.autoRotateButton()->isChecked());
    EXPECT_FALSE(m_controller.fasterRenderingButton()->isChecked());
    EXPECT_TRUE(m_controller.window()->isVisible());
    EXPECT_FALSE(m_controller.window()->isModal());
}

// The grid-lines action is sent by name, before the window exists and while
// it is shown: it is there and changes nothing.
TEST_F(PreferencesControllerTest, TheGridLinesActionExistsAndChangesNothing)
{
    EXPECT_TRUE(QMetaObject::invokeMethod(&m_controller, "toggleAtlasGridLines"));
    Open(8);
    const auto controls = [&] {
        return std::vector<int>{m_controller.autoCheckForUpdatesButton()->isChecked(),
                                m_controller.autoRotateButton()->isChecked(),
                                m_controller.fasterRenderingButton()->isChecked(),
                                m_controller.verticalSyncButton()->isChecked(),
                                m_controller.multiSamplingPopup()->currentIndex(),
                                m_controller.bookmarkAnimationSlider()->value()};
    };
    const std::vector<int> before = controls();
    EXPECT_TRUE(QMetaObject::invokeMethod(&m_controller, "toggleAtlasGridLines"));
    EXPECT_EQ(controls(), before);
    EXPECT_EQ(NewWrites(), 0);
    EXPECT_TRUE(m_listener.codes.empty());
}

TEST_F(PreferencesControllerTest, EachCheckBoxWritesItsKeyAndCodeOnce)
{
    Open(4);
    struct Case
    {
        QCheckBox* box;
        const char* key;
        std::vector<int> codes;
    };
    const Case cases[] = {
        {m_controller.autoCheckForUpdatesButton(), "AutomaticVersionCheck", {}},
        {m_controller.autoRotateButton(), "AutoRotateView", {UserPreferences::kAutoRotateChanged}},
        {m_controller.fasterRenderingButton(), "FasterLowerQualityExpressorDrawing",
         {UserPreferences::kFasterDrawingChanged}},
        {m_controller.verticalSyncButton(), "VerticalSync", {UserPreferences::kVSyncChanged}},
    };
    for (const Case& c : cases)
    {
        m_listener.codes.clear();
        const int writes = Store().writeCount;
        const bool was = c.box->isChecked();
        QTest::mouseClick(c.box, Qt::LeftButton, {}, QPoint(8, c.box->height() / 2));
        EXPECT_NE(c.box->isChecked(), was) << c.key;
        EXPECT_EQ(Store().writeCount - writes, 1) << c.key;
        EXPECT_EQ(Store().values[c.key], was ? "false" : "true") << c.key;
        EXPECT_EQ(m_listener.codes, c.codes) << c.key;
    }
}
} // namespace

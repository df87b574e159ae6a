#include "model/UserPreferences.h"

#include "support/ErrorText.h"
#include "support/MemoryPreferenceStore.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <ctime>
#include <stdexcept>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::ScopedPreferenceStore;

namespace
{
class RecordingListener : public UserPreferencesListener
{
public:
    void PreferenceChanged(int code) override { codes.push_back(code); }
    std::vector<int> codes;
};

// Removes itself (and another listener) from the preferences when told.
class RemovingListener : public UserPreferencesListener
{
public:
    void PreferenceChanged(int code) override
    {
        codes.push_back(code);
        UserPreferences::GetPreferences()->RemoveListener(this);
        UserPreferences::GetPreferences()->RemoveListener(other);
    }
    UserPreferencesListener* other = nullptr;
    std::vector<int> codes;
};

std::string DaysAgo(double days)
{
    return UserPreferences::FormatDate(std::time(nullptr) - static_cast<std::time_t>(days * 86400.0));
}
} // namespace

TEST(UserPreferences, NeedsAnInstalledStore)
{
    UserPreferences::SetStore(nullptr);
    EXPECT_NE(testsupport::RuntimeErrorOf([] { UserPreferences::GetPreferences(); }).find("no preference store"),
              std::string::npos);
}

TEST(UserPreferences, EmptyStoreGivesTheRegisteredDefaultsAndWritesNothing)
{
    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    // "Nuvaro/1.0 (build 33; <OS name> <OS release>)"
    const std::string agent = prefs->GetUserAgent();
    const std::string head = "Nuvaro/1.0 (build 33; ";
    ASSERT_GT(agent.size(), head.size() + 1) << agent;
    EXPECT_EQ(agent.compare(0, head.size(), head), 0) << agent;
    EXPECT_EQ(agent.back(), ')') << agent;
    const std::string system = agent.substr(head.size(), agent.size() - head.size() - 1);
    const size_t space = system.find(' ');
    EXPECT_TRUE(space != std::string::npos && space > 0 && space + 1 < system.size()) << agent;

    int values[6] = { -1, -1, -1, -1, -1, -1 };
    prefs->LoadSettings(values[0], values[1], values[2], values[3], values[4], values[5]);
    int mode = -1;
    bool expanded = true;
    bool controls = true;
    prefs->LoadViewSettings(mode, expanded, controls);
    EXPECT_EQ(scope.Store().writeCount, 0);
    EXPECT_TRUE(scope.Store().values.empty());
}

TEST(UserPreferences, AnimationSpeedIsClampedWhenReadButNotWhenSet)
{
    struct Case
    {
        const char* stored;
        float expected;
    };
    const Case cases[] = {
        { "25", 10.0f }, { "10", 10.0f }, { "-3", 0.0f }, { "0.5", 0.5f },
        { "abc", 2.0f }, { "nan", 2.0f }, { "inf", 2.0f }, { "", 2.0f },
    };
    for (const Case& c : cases)
    {
        ScopedPreferenceStore scope;
        scope.Store().values["BookmarkAnimationSpeed"] = c.stored;
        EXPECT_FLOAT_EQ(UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed(), c.expected)
            << "stored \"" << c.stored << "\"";
    }

    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    RecordingListener listener;
    prefs->AddListener(&listener);
    prefs->SetBookmarkAnimationSpeed(25.0f);
    EXPECT_FLOAT_EQ(prefs->GetBookmarkAnimationSpeed(), 25.0f);
    EXPECT_EQ(scope.Store().values["BookmarkAnimationSpeed"], "25");
    EXPECT_TRUE(listener.codes.empty());
    UserPreferences::DeletePreferences();
    EXPECT_FLOAT_EQ(UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed(), 10.0f);
}

TEST(UserPreferences, NegativeSampleCountIsRepairedAndReported)
{
    ScopedPreferenceStore scope;
    scope.Store().values["Multisample"] = "-2";
    UserPreferences* prefs = UserPreferences::GetPreferences();
    EXPECT_EQ(prefs->GetNumSamples(), 0);
    EXPECT_EQ(scope.Store().values["Multisample"], "0");

    // Listeners registered when the settings are read again hear the repair.
    RecordingListener listener;
    prefs->AddListener(&listener);
    scope.Store().values["Multisample"] = "-2";
    prefs->Initialize();
    EXPECT_EQ(listener.codes, std::vector<int>{ UserPreferences::kNumSamplesChanged });
    EXPECT_EQ(prefs->GetNumSamples(), 0);
    EXPECT_EQ(scope.Store().values["Multisample"], "0");
    prefs->RemoveListener(&listener);
}

TEST(UserPreferences, RenderingSettersWriteAndNotifyOnlyOnChange)
{
    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    RecordingListener first;
    RecordingListener second;
    prefs->AddListener(&first);
    prefs->AddListener(&second);

    // The registered defaults again: silence and no write.
    prefs->SetAutoRotate(true);
    prefs->SetNumSamples(0);
    prefs->SetFasterDrawing(false);
    prefs->SetVSync(true);
    prefs->SetBookmarkAnimationSpeed(2.0f);
    prefs->SetAutoVersionCheck(false);
    EXPECT_TRUE(first.codes.empty());
    EXPECT_EQ(scope.Store().writeCount, 0);

    prefs->SetAutoRotate(false);
    prefs->SetNumSamples(8);
    prefs->SetFasterDrawing(true);
    prefs->SetVSync(false);
    prefs->SetAutoVersionCheck(true);
    EXPECT_EQ(first.codes, (std::vector<int>{ 1, 2, 3, 4 }));
    EXPECT_EQ(second.codes, first.codes);
    const std::map<std::string, std::string> written = {
        { "AutoRotateView", "false" }, { "Multisample", "8" }, { "FasterLowerQualityExpressorDrawing", "true" },
        { "VerticalSync", "false" },   { "AutomaticVersionCheck", "true" } };
    EXPECT_EQ(scope.Store().values, written);

    // Max samples is kept in memory only.
    const int writes = scope.Store().writeCount;
    prefs->SetMaxSamples(16);
    EXPECT_EQ(prefs->GetMaxSamples(), 16);
    EXPECT_EQ(scope.Store().writeCount, writes);

    // A new preferences object reads back what was written.
    UserPreferences::DeletePreferences();
    prefs = UserPreferences::GetPreferences();
    EXPECT_EQ(std::make_tuple(prefs->GetAutoRotate(), prefs->GetNumSamples(), prefs->GetFasterDrawing(),
                              prefs->GetVSync(), prefs->GetAutoVersionCheck()),
              std::make_tuple(false, 8, true, false, true));
}

TEST(UserPreferences, ListenerRegistration)
{
    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    RecordingListener a;
    RecordingListener b;
    prefs->AddListener(nullptr);
    prefs->AddListener(&a);
    prefs->AddListener(&a);
    prefs->AddListener(&b);
    prefs->NotifyListeners(3);
    EXPECT_EQ(a.codes, std::vector<int>{ 3 });
    EXPECT_EQ(b.codes, std::vector<int>{ 3 });

    prefs->RemoveListener(nullptr);
    prefs->RemoveListener(&a);
    prefs->NotifyListeners(4);
    EXPECT_EQ(a.codes, std::vector<int>{ 3 });
    EXPECT_EQ(b.codes, (std::vector<int>{ 3, 4 }));
    prefs->RemoveListener(&b);

    // A listener that removes itself and the next one while being told: the
    // removed one is not called afterwards.
    RemovingListener remover;
    RecordingListener next;
    remover.other = &next;
    prefs->AddListener(&remover);
    prefs->AddListener(&next);
    prefs->SetVSync(false);
    EXPECT_EQ(remover.codes, std::vector<int>{ 4 });
    EXPECT_TRUE(next.codes.empty());
    prefs->SetVSync(true);
    EXPECT_EQ(remover.codes, std::vector<int>{ 4 });
}

TEST(UserPreferences, OlderAlphabeticalSettingIsHonoured)
{
    struct Case
    {
        const char* alphabetical; // null: not stored
        const char* viewMode;     // null: not stored
        int expected;
    };
    const Case cases[] = {
        { "YES", nullptr, 0 }, { "NO", nullptr, 1 }, { nullptr, nullptr, 1 },
        { "YES", "2", 2 },     { "YES", "1", 1 },    { nullptr, "0", 0 },
    };
    for (const Case& c : cases)
    {
        ScopedPreferenceStore scope;
        if (c.alphabetical != nullptr)
            scope.Store().values["OntologyAlphabetical"] = c.alphabetical;
        if (c.viewMode != nullptr)
            scope.Store().values["OntologyViewMode"] = c.viewMode;
        int mode = -1;
        bool expanded = true;
        bool controls = true;
        UserPreferences::GetPreferences()->LoadViewSettings(mode, expanded, controls);
        EXPECT_EQ(mode, c.expected) << (c.alphabetical ? c.alphabetical : "-") << " "
                                    << (c.viewMode ? c.viewMode : "-");
    }
}

TEST(UserPreferences, ThresholdControlsFlagStoredAsAWordIsRead)
{
    // The flag is written as 0 or 1, but a version that kept it as a yes/no
    // setting left a word behind; either form must keep the user's choice.
    const std::pair<const char*, bool> cases[] = {
        { "1", true },     { "0", false }, { "true", true }, { "YES", true },
        { "false", false }, { "NO", false }, { "7", true },   { "junk", false },
    };
    for (const auto& c : cases)
    {
        ScopedPreferenceStore scope;
        scope.Store().values["GeneTresholdControlsVisible"] = c.first;
        int values[6] = { -1, -1, -1, -1, -1, -1 };
        UserPreferences::GetPreferences()->LoadSettings(values[0], values[1], values[2], values[3], values[4],
                                                        values[5]);
        EXPECT_EQ(values[5] != 0, c.second) << c.first;
    }
}

TEST(UserPreferences, VersionCheckTiming)
{
    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    // Automatic checks are off by default: never due.
    EXPECT_FALSE(prefs->ShouldQueryVersion());
    prefs->SetAutoVersionCheck(true);
    EXPECT_TRUE(prefs->ShouldQueryVersion()); // never checked

    struct Case
    {
        std::string stored;
        bool due;
    };
    const Case cases[] = {
        { DaysAgo(6), false },
        { DaysAgo(8), true },
        { DaysAgo(6.99), false },
        { DaysAgo(7.01), true },
        { DaysAgo(0), false },
        { DaysAgo(-1), true }, // a date in the future
        { "", true },
        { "yesterday", true },
        { "2026-13-01 00:00:00 +0000", true },
        { "2026-02-30 00:00:00 +0000", true },
    };
    for (const Case& c : cases)
    {
        scope.Store().values["LastVersionCheck"] = c.stored;
        EXPECT_EQ(prefs->ShouldQueryVersion(), c.due) << "\"" << c.stored << "\"";
    }

    scope.Store().values["LastVersionCheck"] = DaysAgo(30);
    prefs->UpdateVersionQueryDate();
    EXPECT_FALSE(prefs->ShouldQueryVersion());
    prefs->SetAutoVersionCheck(false);
    scope.Store().values["LastVersionCheck"] = DaysAgo(30);
    EXPECT_FALSE(prefs->ShouldQueryVersion());
}

TEST(UserPreferences, DateText)
{
    EXPECT_EQ(UserPreferences::FormatDate(0), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(UserPreferences::FormatDate(1796582103), "2026-12-06 18:35:03 +0000");
    EXPECT_EQ(UserPreferences::FormatDate(1709251199), "2024-02-29 23:59:59 +0000");
    EXPECT_EQ(UserPreferences::FormatDate(-1), "1969-12-31 23:59:59 +0000");

    std::time_t parsed = 0;
    ASSERT_TRUE(UserPreferences::ParseDate("2026-12-06 19:35:03 +0100", parsed));
    EXPECT_EQ(parsed, 1796582103);
    ASSERT_TRUE(UserPreferences::ParseDate("2026-12-06 13:05:03 -0530", parsed));
    EXPECT_EQ(parsed, 1796582103);
    for (long long t = -86400LL * 800; t < 86400LL * 365 * 200; t += 86400LL * 37 + 3671)
    {
        ASSERT_TRUE(UserPreferences::ParseDate(UserPreferences::FormatDate(static_cast<std::time_t>(t)), parsed));
        ASSERT_EQ(parsed, static_cast<std::time_t>(t));
    }
    for (const char* bad : { "2023-02-29 00:00:00 +0000", "2026-00-10 00:00:00 +0000",
                             "2026-01-10 24:00:00 +0000", "2026-01-10 00:60:00 +0000",
                             "2026-01-10 00:00:00 0000", "2026-01-10 00:00:00 +000x",
                             "2026-01-10T00:00:00 +0000", "2026-01-10 00:00:00", "" })
        EXPECT_FALSE(UserPreferences::ParseDate(bad, parsed)) << bad;
}

TEST(UserDefaults, TypedReadsOfStoredText)
{
    // What a read gives, or "bad" when it fails.
    auto readInt = [](const char* text) {
        int value = 0;
        return UserDefaults::ParseInt(text, value) ? std::to_string(value) : std::string("bad");
    };
    auto readBool = [](const char* text) {
        bool wasFalse = false, wasTrue = true;
        if (!UserDefaults::ParseBool(text, wasFalse) || !UserDefaults::ParseBool(text, wasTrue))
            return std::string("bad");
        return wasFalse != wasTrue ? std::string("unset") : std::string(wasTrue ? "yes" : "no");
    };
    const std::pair<const char*, const char*> ints[] = {
        {"12", "12"},    {" 7 ", "7"},   {"+5", "5"},   {"-2", "-2"},    {"2.9", "2"},
        {"-2.9", "-2"},  {"1e12", "bad"}, {"abc", "bad"}, {"", "bad"},    {"+-5", "bad"},
        {"12abc", "bad"}, {"2147483647", "2147483647"}, {"2147483648", "bad"}, {"nan", "bad"}};
    for (const auto& c : ints)
        EXPECT_EQ(readInt(c.first), c.second) << c.first;
    const std::pair<const char*, const char*> bools[] = {
        {"YES", "yes"}, {"true", "yes"}, {"1", "yes"}, {"-3", "yes"},   {"NO", "no"},
        {"False", "no"}, {"0", "no"},    {"maybe", "bad"}, {"", "bad"}};
    for (const auto& c : bools)
        EXPECT_EQ(readBool(c.first), c.second) << c.first;

    float f = 0.0f;
    EXPECT_TRUE(UserDefaults::ParseFloat("2.5", f));
    EXPECT_FLOAT_EQ(f, 2.5f);
    EXPECT_FALSE(UserDefaults::ParseFloat("2,5", f));
    EXPECT_FALSE(UserDefaults::ParseFloat("1e99", f));
    EXPECT_EQ(UserDefaults::FormatFloat(2.5f), "2.5");
    EXPECT_EQ(UserDefaults::FormatFloat(0.1f), "0.1");
}

TEST(UserDefaults, UnreadableStoredTextFallsBackToTheRegisteredDefault)
{
    auto store = std::make_shared<testsupport::MemoryPreferenceStore>();
    UserDefaults defaults(store);
    defaults.RegisterDefault("Count", "5");
    defaults.RegisterDefault("Flag", "true");
    EXPECT_EQ(defaults.GetInt("Count"), 5);
    EXPECT_FALSE(defaults.HasValue("Count"));
    store->values["Count"] = "many";
    store->values["Flag"] = "perhaps";
    EXPECT_EQ(defaults.GetInt("Count"), 5);
    EXPECT_TRUE(defaults.GetBool("Flag"));
    EXPECT_TRUE(defaults.HasValue("Count"));
    EXPECT_EQ(defaults.GetInt("Unknown"), 0);
    EXPECT_FALSE(defaults.GetBool("Unknown"));
    EXPECT_EQ(defaults.GetString("Unknown"), "");
    defaults.SetFloat("Speed", 0.25f);
    EXPECT_EQ(store->values["Speed"], "0.25");
    EXPECT_FLOAT_EQ(defaults.GetFloat("Speed"), 0.25f);
    EXPECT_TRUE(defaults.Synchronize());
    EXPECT_EQ(store->syncCount, 1);
}

TEST(UserPreferences, ServiceAddressesFromHost)
{
    struct Case
    {
        const char* host; // null: not stored
        const char* base;
    };
    const Case cases[] = {
        { nullptr, "http://127.0.0.1:8640" },
        { "", "http://127.0.0.1:8640" },
        { "  ", "http://127.0.0.1:8640" },
        { "https://atlas.example.org", "https://atlas.example.org" },
        { "https://atlas.example.org/", "https://atlas.example.org" },
        { " http://10.0.0.2:9000/mirror/ ", "http://10.0.0.2:9000/mirror" },
    };
    for (const Case& c : cases)
    {
        ScopedPreferenceStore scope;
        if (c.host != nullptr)
            scope.Store().values["Host"] = c.host;
        UserPreferences* prefs = UserPreferences::GetPreferences();
        const std::string base = c.base;
        EXPECT_EQ(prefs->GetSearchHost(), base + "/services/GeneSearchService");
        EXPECT_EQ(prefs->GetGridFileHost(), base + "/GridFile");
        EXPECT_EQ(prefs->GetImageTileHost(), base + "/pyramid/");
        EXPECT_EQ(prefs->GetSingleImageViewerUrl(), base + "/viewImage.do?imageId=");
        EXPECT_EQ(prefs->GetImageSeriesInfoUrl(), base + "/viewSeriesInfo.do?imageSeriesId=");
        EXPECT_EQ(prefs->GetVersionCheckUrl(), base + "/Nuvaro/versions.xml");
        EXPECT_EQ(prefs->GetSearchDomainListUrl(), base + "/Nuvaro/SearchDomains.xml");
        EXPECT_TRUE(prefs->GetInternalGridFileHost().empty());
    }

    // A changed "Host" takes effect at the next start only.
    ScopedPreferenceStore scope;
    UserPreferences* prefs = UserPreferences::GetPreferences();
    scope.Store().values["Host"] = "http://other.example";
    prefs->Initialize();
    EXPECT_EQ(prefs->GetVersionCheckUrl(), "http://127.0.0.1:8640/Nuvaro/versions.xml");
    UserPreferences::DeletePreferences();
    EXPECT_EQ(UserPreferences::GetPreferences()->GetVersionCheckUrl(), "http://other.example/Nuvaro/versions.xml");
}

TEST(UserPreferences, TheServicePortOfTheEnvironmentServesWithoutAHost)
{
    // scripts/run.sh starts the sample service on NUVARO_SERVICE_PORT; the
    // application asked port 8640 all the same.
    const std::pair<const char*, const char*> ports[] = {
        {"9123", "http://127.0.0.1:9123"}, {" 9124\n", "http://127.0.0.1:9124"}, {"0", "http://127.0.0.1:8640"},
        {"65536", "http://127.0.0.1:8640"}, {"80a", "http://127.0.0.1:8640"},     {"", "http://127.0.0.1:8640"}};
    for (const auto& [port, base] : ports)
    {
        testsupport::ScopedEnv variable("NUVARO_SERVICE_PORT", port);
        ScopedPreferenceStore scope;
        EXPECT_EQ(UserPreferences::GetPreferences()->GetVersionCheckUrl(), std::string(base) + "/Nuvaro/versions.xml")
            << port;
    }
    // A stored "Host" still wins, and stays as it was.
    testsupport::ScopedEnv variable("NUVARO_SERVICE_PORT", "9123");
    ScopedPreferenceStore scope;
    scope.Store().values["Host"] = "http://other.example";
    EXPECT_EQ(UserPreferences::GetPreferences()->GetVersionCheckUrl(), "http://other.example/Nuvaro/versions.xml");
    EXPECT_EQ(scope.Store().values["Host"], "http://other.example");
}

TEST(UserPreferences, GridFileAndPageAddresses)
{
    ScopedPreferenceStore scope;
    scope.Store().values["Host"] = "http://atlas.example";
    UserPreferences* prefs = UserPreferences::GetPreferences();

    EXPECT_EQ(prefs->FormGridFileUrl(71, 5, 9, "0310", "a.xpr", 0),
              "http://atlas.example/GridFile?imageseriesid=71&level=0");
    EXPECT_EQ(prefs->FormGridFileUrl(0xFFFFFFFFu, 0, 0, "0310", "", 2),
              "http://atlas.example/GridFile?imageseriesid=4294967295&level=2");
    EXPECT_EQ(prefs->FormGridFileUrl(0, 0, 9, "0310", "a.xpr", 2),
              "http://atlas.example/GridFile?geneid=9&project=0310&level=2");
    EXPECT_EQ(prefs->FormGridFileUrl(0, 0, 0, "0310", "grids/a.xpr?v=1", 0),
              "http://atlas.example/GridFile/grids/a.xpr?v=1&level=0");
    EXPECT_EQ(prefs->FormGridFileUrl(3, 0, 0, "0310", "", -1),
              "http://atlas.example/GridFile?imageseriesid=3&level=-1");

    auto message = [&](std::uint32_t experiment, std::uint32_t gene, const char* path) {
        return testsupport::RuntimeErrorOf([&] { prefs->FormGridFileUrl(0, experiment, gene, "0310", path, 0); });
    };
    // The experiment lookup is not available without its host, even when a
    // gene id could have served.
    EXPECT_EQ(message(5, 9, "a.xpr"), "Server not available for gene lookup by experiment ID.");
    EXPECT_EQ(message(0, 0, ""), "Not enough information to retrieve the gene thumbnail.");

    EXPECT_EQ(prefs->FormImageSeriesInfoUrl(1234), "http://atlas.example/viewSeriesInfo.do?imageSeriesId=1234");
    EXPECT_EQ(prefs->FormSingleImageViewerUrl(12, -0.25f, 0.123456789f, 80),
              "http://atlas.example/viewImage.do?imageId=12&x=-0.25&y=0.123457&z=80");
    EXPECT_EQ(prefs->FormSingleImageViewerUrl(12, 0.0f, 1e-7f, 50),
              "http://atlas.example/viewImage.do?imageId=12&x=0&y=1e-07&z=50");

    UserPreferences::DeletePreferences();
    scope.Store().values["ExperimentGridLookupHost"] = "http://lookup.example/grid/";
    prefs = UserPreferences::GetPreferences();
    EXPECT_EQ(prefs->GetInternalGridFileHost(), "http://lookup.example/grid");
    EXPECT_EQ(prefs->FormGridFileUrl(0, 5, 9, "0310", "", 2), "http://lookup.example/grid?experimentid=5&level=2");
}

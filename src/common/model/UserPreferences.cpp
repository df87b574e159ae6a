#include "model/UserPreferences.h"

#include "utility/StringUtils.h"
#include "utility/TextParsing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <type_traits>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/utsname.h>
#endif

namespace
{
// Keys of the user defaults.
const char* const kAutoRotateKey = "AutoRotateView";
const char* const kFasterDrawingKey = "FasterLowerQualityExpressorDrawing";
const char* const kVSyncKey = "VerticalSync";
const char* const kMultisampleKey = "Multisample";
const char* const kAnimationSpeedKey = "BookmarkAnimationSpeed";
const char* const kCompassLocationKey = "CompassLocation";
const char* const kToolModeKey = "ToolMode";
const char* const kImageAlphaKey = "ImageAlpha";
const char* const kMeshDisplayStyleKey = "MeshDisplayStyle";
const char* const kGeneColorModeKey = "GeneColorMode";
const char* const kThresholdControlsKey = "GeneTresholdControlsVisible";
const char* const kHostKey = "Host";
const char* const kExperimentLookupKey = "ExperimentGridLookupHost";
const char* const kExpandedDisplayModeKey = "ExpandedDisplayMode";
const char* const kImageControlsVisibleKey = "ImageControlsVisible";
const char* const kOntologyViewModeKey = "OntologyViewMode";
const char* const kOntologyAlphabeticalKey = "OntologyAlphabetical";
const char* const kLastVersionCheckKey = "LastVersionCheck";
const char* const kAutoVersionCheckKey = "AutomaticVersionCheck";
const char* const kRecentDocumentsLimitKey = "NSRecentDocumentsLimit";

const float kMaxAnimationSpeed = 10.0f;

std::shared_ptr<PreferenceStore>& InstalledStore()
{
    static std::shared_ptr<PreferenceStore> store;
    return store;
}

UserPreferences*& Instance()
{
    static UserPreferences* instance = nullptr;
    return instance;
}

// A service address as the user typed it: surrounding blanks and one
// trailing "/" removed (the paths appended to it begin with "/").
std::string CleanAddress(const std::string& text)
{
    std::string address = std::string(TrimBlanks(text));
    if (!address.empty() && address.back() == '/')
        address.pop_back();
    return address;
}

std::string UnsignedText(std::uint32_t value)
{
    return std::to_string(value);
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

bool IsLeapYear(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(long long year, unsigned month)
{
    static const unsigned kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads exactly count decimal digits at text[pos].
bool ReadDigits(const std::string& text, size_t pos, size_t count, int& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "<OS name> <OS release>" of the running system, printable ASCII only so
// that it is safe inside an HTTP header.
std::string OperatingSystemText()
{
    std::string text;
#if defined(__unix__) || defined(__APPLE__)
    utsname names;
    if (uname(&names) == 0)
        text = std::string(names.sysname) + " " + names.release;
#endif
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return c < 0x20 || c > 0x7e || c == '(' || c == ')'; }),
               text.end());
    return std::string(TrimBlanks(text));
}
} // namespace

// ---------------------------------------------------------------------------
// UserDefaults

UserDefaults::UserDefaults(std::shared_ptr<PreferenceStore> store)
    : m_store(std::move(store))
{
    if (!m_store)
        throw std::invalid_argument("The user defaults need a preference store.");
}

void UserDefaults::RegisterDefault(const std::string& key, const std::string& value)
{
    m_registered[key] = value;
}

bool UserDefaults::HasValue(const std::string& key) const
{
    std::string ignored;
    return m_store->Read(key, ignored);
}

bool UserDefaults::Lookup(const std::string& key, bool fromStore, std::string& text) const
{
    if (fromStore)
        return m_store->Read(key, text);
    auto it = m_registered.find(key);
    if (it == m_registered.end())
        return false;
    text = it->second;
    return true;
}

template <typename T>
T UserDefaults::ReadTyped(const std::string& key, bool (*parse)(const std::string&, T&)) const
{
    std::string text;
    T value{};
    if (Lookup(key, true, text) && parse(text, value))
        return value;
    if (Lookup(key, false, text) && parse(text, value))
        return value;
    return T{};
}

bool UserDefaults::GetBool(const std::string& key) const
{
    return ReadTyped<bool>(key, &UserDefaults::ParseBool);
}

int UserDefaults::GetInt(const std::string& key) const
{
    return ReadTyped<int>(key, &UserDefaults::ParseInt);
}

float UserDefaults::GetFloat(const std::string& key) const
{
    return ReadTyped<float>(key, &UserDefaults::ParseFloat);
}

std::string UserDefaults::GetString(const std::string& key) const
{
    std::string text;
    if (Lookup(key, true, text) || Lookup(key, false, text))
        return text;
    return std::string();
}

void UserDefaults::SetBool(const std::string& key, bool value)
{
    m_store->Write(key, value ? "true" : "false");
}

void UserDefaults::SetInt(const std::string& key, int value)
{
    m_store->Write(key, std::to_string(value));
}

void UserDefaults::SetFloat(const std::string& key, float value)
{
    m_store->Write(key, FormatFloat(value));
}

void UserDefaults::SetString(const std::string& key, const std::string& value)
{
    m_store->Write(key, value);
}

bool UserDefaults::Synchronize()
{
    return m_store->Sync();
}

bool UserDefaults::ParseBool(const std::string& text, bool& value)
{
    const std::string word = std::string(TrimBlanks(text));
    if (StringUtils::EqualsIgnoringCase(word, "true") || StringUtils::EqualsIgnoringCase(word, "yes"))
    {
        value = true;
        return true;
    }
    if (StringUtils::EqualsIgnoringCase(word, "false") || StringUtils::EqualsIgnoringCase(word, "no"))
    {
        value = false;
        return true;
    }
    int number = 0;
    if (!ParseInt(word, number))
        return false;
    value = number != 0;
    return true;
}

bool UserDefaults::ParseInt(const std::string& text, int& value)
{
    const std::string_view trimmed = TrimBlanks(text);
    if (ParseInteger(trimmed, value))
        return true;
    double number = 0.0;
    if (!::ParseFloat(trimmed, number))
        return false;
    number = std::trunc(number);
    if (number < -2147483648.0 || number > 2147483647.0)
        return false;
    value = static_cast<int>(number);
    return true;
}

bool UserDefaults::ParseFloat(const std::string& text, float& value)
{
    return ::ParseFloat(TrimBlanks(text), value);
}

std::string UserDefaults::FormatFloat(float value)
{
    return ::FormatFloat(value);
}

// ---------------------------------------------------------------------------
// UserPreferences

const char* const UserPreferences::kDefaultServer = "http://127.0.0.1:8640";

std::string UserPreferences::LocalServer()
{
    const char* port = std::getenv("NUVARO_SERVICE_PORT");
    int value = 0;
    if (port != nullptr && ParseInteger(TrimBlanks(port), value) && value >= 1 && value <= 65535)
        return "http://127.0.0.1:" + std::to_string(value);
    return kDefaultServer;
}

void UserPreferences::SetStore(std::shared_ptr<PreferenceStore> store)
{
    DeletePreferences();
    InstalledStore() = std::move(store);
}

UserPreferences* UserPreferences::GetPreferences()
{
    UserPreferences*& instance = Instance();
    if (instance == nullptr)
    {
        if (!InstalledStore())
            throw std::runtime_error("The preferences cannot be read because no preference store has been set up.");
        instance = new UserPreferences(InstalledStore());
    }
    return instance;
}

void UserPreferences::DeletePreferences()
{
    UserPreferences*& instance = Instance();
    delete instance;
    instance = nullptr;
}

UserPreferences::UserPreferences(std::shared_ptr<PreferenceStore> store)
    : m_baseAddress(LocalServer())
    , m_defaults(std::move(store))
{
    Initialize();
    FormServiceAddresses();
}

void UserPreferences::FormServiceAddresses()
{
    m_searchServiceUrl = m_baseAddress + "/services/GeneSearchService";
    m_gridFileUrl = m_baseAddress + "/GridFile";
    m_imageTileUrl = m_baseAddress + "/pyramid/";
    m_singleImageViewerUrl = m_baseAddress + "/viewImage.do?imageId=";
    m_imageSeriesInfoUrl = m_baseAddress + "/viewSeriesInfo.do?imageSeriesId=";
    m_versionCheckUrl = m_baseAddress + "/Nuvaro/versions.xml";
    m_searchDomainListUrl = m_baseAddress + "/Nuvaro/SearchDomains.xml";
}

void UserPreferences::AddListener(UserPreferencesListener* listener)
{
    m_listeners.Add(listener);
}

void UserPreferences::RemoveListener(UserPreferencesListener* listener)
{
    m_listeners.Remove(listener);
}

void UserPreferences::NotifyListeners(int code)
{
    m_listeners.ForEach([code](UserPreferencesListener* listener) { listener->PreferenceChanged(code); });
}

void UserPreferences::Initialize()
{
    m_defaults.RegisterDefault(kAutoRotateKey, "true");
    m_defaults.RegisterDefault(kFasterDrawingKey, "false");
    m_defaults.RegisterDefault(kVSyncKey, "true");
    m_defaults.RegisterDefault(kMultisampleKey, "0");
    m_defaults.RegisterDefault(kAnimationSpeedKey, "2.0");
    m_defaults.RegisterDefault(kCompassLocationKey, "0");
    m_defaults.RegisterDefault(kToolModeKey, "0");
    m_defaults.RegisterDefault(kImageAlphaKey, "50");
    m_defaults.RegisterDefault(kMeshDisplayStyleKey, "0");
    m_defaults.RegisterDefault(kGeneColorModeKey, "0");
    m_defaults.RegisterDefault(kThresholdControlsKey, "0");
    m_defaults.RegisterDefault(kHostKey, "");
    m_defaults.RegisterDefault(kExperimentLookupKey, "");
    m_defaults.RegisterDefault(kExpandedDisplayModeKey, "false");
    m_defaults.RegisterDefault(kImageControlsVisibleKey, "false");
    m_defaults.RegisterDefault(kOntologyViewModeKey, "1");
    m_defaults.RegisterDefault(kLastVersionCheckKey, "");
    m_defaults.RegisterDefault(kAutoVersionCheckKey, "false");

    m_autoRotate = m_defaults.GetBool(kAutoRotateKey);
    m_fasterDrawing = m_defaults.GetBool(kFasterDrawingKey);
    m_vsync = m_defaults.GetBool(kVSyncKey);
    m_autoVersionCheck = m_defaults.GetBool(kAutoVersionCheckKey);

    // A negative sample count cannot come from the dialog; replace it and
    // write the repair back, telling the listeners like any other change.
    m_numSamples = m_defaults.GetInt(kMultisampleKey);
    if (m_numSamples < 0)
        SetNumSamples(0);

    m_bookmarkAnimationSpeed = std::clamp(m_defaults.GetFloat(kAnimationSpeedKey), 0.0f, kMaxAnimationSpeed);

    const std::string host = CleanAddress(m_defaults.GetString(kHostKey));
    if (!host.empty())
        m_baseAddress = host;
    m_internalGridFileHost = CleanAddress(m_defaults.GetString(kExperimentLookupKey));

    m_version = NUVARO_VERSION_STRING;
    m_build = NUVARO_BUILD_NUMBER;
    m_userAgent = "Nuvaro/" + m_version + " (build " + std::to_string(m_build);
    const std::string system = OperatingSystemText();
    if (!system.empty())
        m_userAgent += "; " + system;
    m_userAgent += ")";

    m_initialized = true;
}

std::string UserPreferences::FormGridFileUrl(std::uint32_t imageSeriesId, std::uint32_t experimentId,
                                             std::uint32_t geneId, const std::string& project,
                                             const std::string& path, int level) const
{
    std::string url;
    if (imageSeriesId != 0)
        url = m_gridFileUrl + "?imageseriesid=" + UnsignedText(imageSeriesId);
    else if (experimentId != 0)
    {
        if (m_internalGridFileHost.empty())
            throw std::runtime_error("Server not available for gene lookup by experiment ID.");
        url = m_internalGridFileHost + "?experimentid=" + UnsignedText(experimentId);
    }
    else if (geneId != 0)
        url = m_gridFileUrl + "?geneid=" + UnsignedText(geneId) + "&project=" + project;
    else if (!path.empty())
        url = m_gridFileUrl + "/" + path;
    else
        throw std::runtime_error("Not enough information to retrieve the gene thumbnail.");
    return url + "&level=" + std::to_string(level);
}

std::string UserPreferences::FormSingleImageViewerUrl(std::uint32_t imageId, float x, float y, int z) const
{
    // Six significant digits, as a default-formatted stream writes them, but
    // with a decimal point whatever the locale.
    return m_singleImageViewerUrl + UnsignedText(imageId) + "&x=" + ::FormatFloat(x, 6) + "&y=" + ::FormatFloat(y, 6) +
           "&z=" + std::to_string(z);
}

std::string UserPreferences::FormImageSeriesInfoUrl(std::uint32_t imageSeriesId) const
{
    return m_imageSeriesInfoUrl + UnsignedText(imageSeriesId);
}

template <typename T>
void UserPreferences::ChangeSetting(T& member, T value, const char* key, int code)
{
    if (value == member)
        return;
    member = value;
    if constexpr (std::is_same_v<T, bool>)
        m_defaults.SetBool(key, value);
    else if constexpr (std::is_same_v<T, int>)
        m_defaults.SetInt(key, value);
    else
        m_defaults.SetFloat(key, value);
    if (code != 0)
        NotifyListeners(code);
}

void UserPreferences::SetAutoRotate(bool value)
{
    ChangeSetting(m_autoRotate, value, kAutoRotateKey, kAutoRotateChanged);
}

void UserPreferences::SetNumSamples(int value)
{
    ChangeSetting(m_numSamples, value, kMultisampleKey, kNumSamplesChanged);
}

void UserPreferences::SetFasterDrawing(bool value)
{
    ChangeSetting(m_fasterDrawing, value, kFasterDrawingKey, kFasterDrawingChanged);
}

void UserPreferences::SetVSync(bool value)
{
    ChangeSetting(m_vsync, value, kVSyncKey, kVSyncChanged);
}

void UserPreferences::SetBookmarkAnimationSpeed(float value)
{
    ChangeSetting(m_bookmarkAnimationSpeed, value, kAnimationSpeedKey, 0);
}

void UserPreferences::SetAutoVersionCheck(bool value)
{
    ChangeSetting(m_autoVersionCheck, value, kAutoVersionCheckKey, 0);
}

void UserPreferences::LoadSettings(int& compassLocation, int& toolMode, int& imageAlpha, int& meshDisplayStyle,
                                   int& geneColorMode, int& thresholdControlsVisible) const
{
    compassLocation = m_defaults.GetInt(kCompassLocationKey);
    toolMode = m_defaults.GetInt(kToolModeKey);
    imageAlpha = m_defaults.GetInt(kImageAlphaKey);
    meshDisplayStyle = m_defaults.GetInt(kMeshDisplayStyleKey);
    geneColorMode = m_defaults.GetInt(kGeneColorModeKey);
    // Written as 0 or 1, but read as a flag so that a stored "true" or "YES"
    // also counts (a plain number still reads as before: non-zero is shown).
    thresholdControlsVisible = m_defaults.GetBool(kThresholdControlsKey) ? 1 : 0;
}

void UserPreferences::SaveSettings(int compassLocation, int toolMode, int imageAlpha, int meshDisplayStyle,
                                   int geneColorMode, int thresholdControlsVisible)
{
    m_defaults.SetInt(kCompassLocationKey, compassLocation);
    m_defaults.SetInt(kToolModeKey, toolMode);
    m_defaults.SetInt(kImageAlphaKey, imageAlpha);
    m_defaults.SetInt(kMeshDisplayStyleKey, meshDisplayStyle);
    m_defaults.SetInt(kGeneColorModeKey, geneColorMode);
    m_defaults.SetInt(kThresholdControlsKey, thresholdControlsVisible);
    m_defaults.SetInt(kRecentDocumentsLimitKey, 4);
}

void UserPreferences::LoadViewSettings(int& ontologyViewMode, bool& expandedDisplayMode,
                                       bool& imageControlsVisible) const
{
    // The store is asked directly: the registered default of
    // "OntologyViewMode" must not hide an older stored setting.
    if (m_defaults.HasValue(kOntologyViewModeKey) || !m_defaults.HasValue(kOntologyAlphabeticalKey))
        ontologyViewMode = m_defaults.GetInt(kOntologyViewModeKey);
    else
        ontologyViewMode = m_defaults.GetBool(kOntologyAlphabeticalKey) ? 0 : 1;
    expandedDisplayMode = m_defaults.GetBool(kExpandedDisplayModeKey);
    imageControlsVisible = m_defaults.GetBool(kImageControlsVisibleKey);
}

void UserPreferences::SaveViewSettings(int ontologyViewMode, bool expandedDisplayMode, bool imageControlsVisible)
{
    m_defaults.SetInt(kOntologyViewModeKey, ontologyViewMode);
    m_defaults.SetBool(kExpandedDisplayModeKey, expandedDisplayMode);
    m_defaults.SetBool(kImageControlsVisibleKey, imageControlsVisible);
}

bool UserPreferences::ShouldQueryVersion() const
{
    if (!m_autoVersionCheck)
        return false;
    std::time_t last = 0;
    if (!ParseDate(m_defaults.GetString(kLastVersionCheckKey), last))
        return true;
    const std::time_t now = std::time(nullptr);
    // A date in the future (a clock set back, a copied settings file) would
    // otherwise stop the checks until that date has passed.
    if (last > now)
        return true;
    return static_cast<double>(now) - static_cast<double>(last) > static_cast<double>(kVersionCheckInterval);
}

void UserPreferences::UpdateVersionQueryDate()
{
    m_defaults.SetString(kLastVersionCheckKey, FormatDate(std::time(nullptr)));
}

std::string UserPreferences::FormatDate(std::time_t time)
{
    const long long seconds = static_cast<long long>(time);
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0)
    {
        rest += 86400;
        --days;
    }
    long long year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02lld:%02lld:%02lld +0000", year, month, day,
                  rest / 3600, rest / 60 % 60, rest % 60);
    return buffer;
}

bool UserPreferences::ParseDate(const std::string& text, std::time_t& time)
{
    // "YYYY-MM-DD HH:MM:SS +HHMM"
    const std::string trimmed = std::string(TrimBlanks(text));
    if (trimmed.size() != 25 || trimmed[4] != '-' || trimmed[7] != '-' || trimmed[10] != ' ' ||
        trimmed[13] != ':' || trimmed[16] != ':' || trimmed[19] != ' ' ||
        (trimmed[20] != '+' && trimmed[20] != '-'))
        return false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offsetHours = 0, offsetMinutes = 0;
    if (!ReadDigits(trimmed, 0, 4, year) || !ReadDigits(trimmed, 5, 2, month) ||
        !ReadDigits(trimmed, 8, 2, day) || !ReadDigits(trimmed, 11, 2, hour) ||
        !ReadDigits(trimmed, 14, 2, minute) || !ReadDigits(trimmed, 17, 2, second) ||
        !ReadDigits(trimmed, 21, 2, offsetHours) || !ReadDigits(trimmed, 23, 2, offsetMinutes))
        return false;
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 60 || offsetHours > 23 || offsetMinutes > 59)
        return false;
    long long seconds = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                        hour * 3600 + minute * 60 + second;
    const long long offset = offsetHours * 3600 + offsetMinutes * 60;
    seconds += trimmed[20] == '+' ? -offset : offset;
    time = static_cast<std::time_t>(seconds);
    return true;
}

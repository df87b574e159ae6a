#ifndef NUVARO_MODEL_USERPREFERENCES_H
#define NUVARO_MODEL_USERPREFERENCES_H

#include "utility/ListenerList.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Per-user storage of text values under keys, supplied by the platform layer
// (settings file, registry, ...). Values are kept as text; the typed reading
// and writing lives in UserDefaults so that every platform reads the same
// text the same way.
class PreferenceStore
{
public:
    virtual ~PreferenceStore() = default;

    // True, with the stored text in value, when the key has a value of its own.
    virtual bool Read(const std::string& key, std::string& value) const = 0;
    // Stores text under the key, replacing what was there.
    virtual void Write(const std::string& key, const std::string& value) = 0;
    // Writes pending changes to permanent storage; false when that failed.
    virtual bool Sync() = 0;
};

// Typed access to a PreferenceStore with registered defaults. A read looks at
// the store first and then at the registered default; text that does not read
// as the asked type counts as missing, so the registered default (or else
// false, 0, 0.0 or "") is returned. Numbers are read and written
// independently of the C locale.
class UserDefaults
{
public:
    explicit UserDefaults(std::shared_ptr<PreferenceStore> store);

    // Registers the value returned for a key that has none in the store.
    // Registered defaults are kept in memory only and never written.
    void RegisterDefault(const std::string& key, const std::string& value);

    // True when the store itself holds a value for the key (registered
    // defaults do not count).
    bool HasValue(const std::string& key) const;

    // "true"/"yes" and non-zero integers read as true; "false"/"no" and 0 as false.
    bool GetBool(const std::string& key) const;
    // Integers; a decimal number is truncated toward zero when it fits.
    int GetInt(const std::string& key) const;
    // Finite decimal numbers.
    float GetFloat(const std::string& key) const;
    std::string GetString(const std::string& key) const;

    void SetBool(const std::string& key, bool value);
    void SetInt(const std::string& key, int value);
    void SetFloat(const std::string& key, float value);
    void SetString(const std::string& key, const std::string& value);

    // Writes pending changes to disk; false when the store could not.
    bool Synchronize();

    // The text conversions used above, for callers that hold text themselves.
    static bool ParseBool(const std::string& text, bool& value);
    static bool ParseInt(const std::string& text, int& value);
    static bool ParseFloat(const std::string& text, float& value);
    static std::string FormatFloat(float value);

private:
    // The store's text for the key, else the registered default; false when neither.
    bool Lookup(const std::string& key, bool fromStore, std::string& text) const;
    template <typename T>
    T ReadTyped(const std::string& key, bool (*parse)(const std::string&, T&)) const;

    std::shared_ptr<PreferenceStore> m_store;
    std::map<std::string, std::string> m_registered;
};

// Told about the preferences that change rendering.
class UserPreferencesListener
{
public:
    virtual ~UserPreferencesListener() = default;
    // code: UserPreferences::kAutoRotateChanged ... kVSyncChanged.
    virtual void PreferenceChanged(int code) = 0;
};

// The process-wide preferences and the addresses of the atlas web service.
// Every setting is kept in memory and written at once to the user defaults.
// Main thread only.
class UserPreferences
{
public:
    enum ChangeCode
    {
        kAutoRotateChanged = 1,
        kNumSamplesChanged = 2,
        kFasterDrawingChanged = 3,
        kVSyncChanged = 4
    };

    // Service address used when the "Host" preference is empty: the local
    // sample atlas service.
    static const char* const kDefaultServer;
    // The local sample service's address in use: kDefaultServer, or port
    // NUVARO_SERVICE_PORT on 127.0.0.1 when that environment variable names a
    // port (the one scripts/run.sh starts the service on).
    static std::string LocalServer();
    // Seconds after which the automatic version check is due again (7 days).
    static const long kVersionCheckInterval = 604800;

    // Installs the storage the preferences are kept in; the platform does this
    // once at start-up, before the first GetPreferences. Deletes the current
    // preferences object, if any, since it reads the old store.
    static void SetStore(std::shared_ptr<PreferenceStore> store);
    // The process-wide preferences, created (and read) on first call.
    // Throws std::runtime_error when no store has been installed.
    static UserPreferences* GetPreferences();
    // Destroys the preferences object; a later GetPreferences makes a new one.
    static void DeletePreferences();

    UserPreferences(const UserPreferences&) = delete;
    UserPreferences& operator=(const UserPreferences&) = delete;

    // Null and already registered listeners are ignored.
    void AddListener(UserPreferencesListener* listener);
    void RemoveListener(UserPreferencesListener* listener);
    // Calls PreferenceChanged(code) on each listener in registration order.
    void NotifyListeners(int code);

    // Registers the defaults of every key and reads the settings, the service
    // base address and the program's version. Run by construction; running it
    // again re-reads the settings but does not re-form the service addresses.
    void Initialize();

    bool GetAutoRotate() const { return m_autoRotate; }
    bool GetFasterDrawing() const { return m_fasterDrawing; }
    bool GetVSync() const { return m_vsync; }
    bool GetAutoVersionCheck() const { return m_autoVersionCheck; }
    int GetNumSamples() const { return m_numSamples; }
    int GetMaxSamples() const { return m_maxSamples; }
    float GetBookmarkAnimationSpeed() const { return m_bookmarkAnimationSpeed; }
    const std::string& GetVersion() const { return m_version; }
    int GetBuild() const { return m_build; }
    const std::string& GetUserAgent() const { return m_userAgent; }

    // Address prefixes of the atlas web service, formed once from the base address.
    const std::string& GetSearchHost() const { return m_searchServiceUrl; }
    const std::string& GetGridFileHost() const { return m_gridFileUrl; }
    const std::string& GetImageTileHost() const { return m_imageTileUrl; }
    const std::string& GetSingleImageViewerUrl() const { return m_singleImageViewerUrl; }
    const std::string& GetImageSeriesInfoUrl() const { return m_imageSeriesInfoUrl; }
    const std::string& GetVersionCheckUrl() const { return m_versionCheckUrl; }
    const std::string& GetSearchDomainListUrl() const { return m_searchDomainListUrl; }
    // The experiment lookup address; empty when that lookup is not available.
    const std::string& GetInternalGridFileHost() const { return m_internalGridFileHost; }

    // The address of a grid file at a level (0 thumbnail, 2 full grid), by the
    // first of: image series id, experiment id (needs the internal grid host),
    // gene id with the project code, the record's own file path. Throws
    // std::runtime_error when the experiment lookup is not available or when
    // none of them is given.
    std::string FormGridFileUrl(std::uint32_t imageSeriesId, std::uint32_t experimentId,
                                std::uint32_t geneId, const std::string& project,
                                const std::string& path, int level) const;
    // The web viewer page of one section image centred at (x, y) at zoom z.
    std::string FormSingleImageViewerUrl(std::uint32_t imageId, float x, float y, int z) const;
    // The information page of an image series.
    std::string FormImageSeriesInfoUrl(std::uint32_t imageSeriesId) const;

    // Setters of the rendering settings: nothing happens when the value is
    // unchanged; otherwise store, write the key and tell the listeners.
    void SetAutoRotate(bool value);
    void SetNumSamples(int value);
    void SetFasterDrawing(bool value);
    void SetVSync(bool value);
    // Unchanged test, store and write; no listener is told. The speed is
    // clamped only when read at start-up.
    void SetBookmarkAnimationSpeed(float value);
    void SetAutoVersionCheck(bool value);
    // The largest sample count the graphics hardware offers; kept in memory only.
    void SetMaxSamples(int value) { m_maxSamples = value; }

    // The document model's persistent settings, unchecked (the model checks ranges).
    void LoadSettings(int& compassLocation, int& toolMode, int& imageAlpha, int& meshDisplayStyle,
                      int& geneColorMode, int& thresholdControlsVisible) const;
    void SaveSettings(int compassLocation, int toolMode, int imageAlpha, int meshDisplayStyle,
                      int geneColorMode, int thresholdControlsVisible);
    // The window's view settings; an older "OntologyAlphabetical" setting is
    // honoured when "OntologyViewMode" was never stored.
    void LoadViewSettings(int& ontologyViewMode, bool& expandedDisplayMode,
                          bool& imageControlsVisible) const;
    void SaveViewSettings(int ontologyViewMode, bool expandedDisplayMode, bool imageControlsVisible);

    // True when automatic checks are on and no readable date of a last check
    // exists, that date is more than 7 days old, or it lies in the future.
    bool ShouldQueryVersion() const;
    // Records now as the date of the last version check.
    void UpdateVersionQueryDate();

    // The typed store, for the shell's own keys ("LastVersionRun", window state).
    UserDefaults& GetDefaults() { return m_defaults; }

    // Dates as stored under "LastVersionCheck": "YYYY-MM-DD HH:MM:SS +0000"
    // (UTC). ParseDate accepts any "+HHMM"/"-HHMM" offset and returns false
    // for anything else.
    static std::string FormatDate(std::time_t time);
    static bool ParseDate(const std::string& text, std::time_t& time);

private:
    explicit UserPreferences(std::shared_ptr<PreferenceStore> store);

    void FormServiceAddresses();
    // Unchanged test, store, write of the key and, when code is not 0, the change code.
    template <typename T>
    void ChangeSetting(T& member, T value, const char* key, int code);

    ListenerList<UserPreferencesListener> m_listeners;
    bool m_autoRotate = true;
    bool m_fasterDrawing = false;
    bool m_initialized = false;
    bool m_vsync = true;
    bool m_autoVersionCheck = true;
    std::string m_baseAddress;
    std::string m_versionCheckUrl;
    std::string m_searchDomainListUrl;
    std::string m_searchServiceUrl;
    std::string m_gridFileUrl;
    std::string m_internalGridFileHost;
    std::string m_imageTileUrl;
    std::string m_imageSeriesInfoUrl;
    std::string m_singleImageViewerUrl;
    std::string m_userAgent = "Nuvaro";
    int m_numSamples = 0;
    int m_maxSamples = 0;
    float m_bookmarkAnimationSpeed = 2.0f;
    std::string m_version = "1.0";
    int m_build = 1;
    UserDefaults m_defaults;
};

#endif

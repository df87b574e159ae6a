#ifndef NUVARO_QT_PLATFORM_QSETTINGSSTORE_H
#define NUVARO_QT_PLATFORM_QSETTINGSSTORE_H

#include "model/UserPreferences.h"

#include <QSettings>

// The user's preferences in the platform's per-user settings (organisation
// and application "Nuvaro"). Values are kept as text. Main thread only.
class QSettingsStore : public PreferenceStore
{
public:
    QSettingsStore();
    // Writes what is still pending.
    ~QSettingsStore() override;

    bool Read(const std::string& key, std::string& value) const override;
    void Write(const std::string& key, const std::string& value) override;
    bool Sync() override;

private:
    QSettings m_settings;
};

#endif

#ifndef NUVARO_TESTS_SUPPORT_MEMORYPREFERENCESTORE_H
#define NUVARO_TESTS_SUPPORT_MEMORYPREFERENCESTORE_H

#include "model/UserPreferences.h"

#include <map>
#include <memory>
#include <string>

namespace testsupport
{
// Preferences kept in a map, counting writes and syncs so that tests can see
// what the code under test stored.
class MemoryPreferenceStore : public PreferenceStore
{
public:
    bool Read(const std::string& key, std::string& value) const override;
    void Write(const std::string& key, const std::string& value) override;
    bool Sync() override;

    std::map<std::string, std::string> values;
    int writeCount = 0;
    int syncCount = 0;
};

// Installs a fresh MemoryPreferenceStore for the process-wide preferences and,
// when it goes away, deletes the preferences and removes the store again.
// Values put into Store() before the first UserPreferences::GetPreferences are
// what the preferences read at start-up.
class ScopedPreferenceStore
{
public:
    ScopedPreferenceStore();
    ~ScopedPreferenceStore();
    ScopedPreferenceStore(const ScopedPreferenceStore&) = delete;
    ScopedPreferenceStore& operator=(const ScopedPreferenceStore&) = delete;

    MemoryPreferenceStore& Store() { return *m_store; }

private:
    std::shared_ptr<MemoryPreferenceStore> m_store;
};
} // namespace testsupport

#endif

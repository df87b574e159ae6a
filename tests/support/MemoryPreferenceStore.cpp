#include "support/MemoryPreferenceStore.h"

namespace testsupport
{
bool MemoryPreferenceStore::Read(const std::string& key, std::string& value) const
{
    auto it = values.find(key);
    if (it == values.end())
        return false;
    value = it->second;
    return true;
}

void MemoryPreferenceStore::Write(const std::string& key, const std::string& value)
{
    values[key] = value;
    ++writeCount;
}

bool MemoryPreferenceStore::Sync()
{
    ++syncCount;
    return true;
}

ScopedPreferenceStore::ScopedPreferenceStore()
    : m_store(std::make_shared<MemoryPreferenceStore>())
{
    UserPreferences::SetStore(m_store);
}

ScopedPreferenceStore::~ScopedPreferenceStore()
{
    UserPreferences::SetStore(nullptr);
}
} // namespace testsupport

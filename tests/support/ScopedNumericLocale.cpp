#include "support/ScopedNumericLocale.h"

#include <clocale>

namespace testsupport
{
ScopedNumericLocale::ScopedNumericLocale(const char* name)
{
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    m_saved = current != nullptr ? current : "C";
    m_active = std::setlocale(LC_NUMERIC, name) != nullptr;
}

ScopedNumericLocale::~ScopedNumericLocale()
{
    std::setlocale(LC_NUMERIC, m_saved.c_str());
}
} // namespace testsupport

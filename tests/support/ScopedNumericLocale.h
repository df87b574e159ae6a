#ifndef NUVARO_TESTS_SUPPORT_SCOPEDNUMERICLOCALE_H
#define NUVARO_TESTS_SUPPORT_SCOPEDNUMERICLOCALE_H

#include <string>

namespace testsupport
{
// The locale with a decimal comma that tests of locale-independent number
// reading and writing switch to.
constexpr const char* kDecimalCommaLocale = "de_DE.UTF-8";

// Switches LC_NUMERIC to the named locale for its lifetime and always puts
// the previous one back. Active() is false when the locale is not installed
// (LC_NUMERIC is then unchanged): tests GTEST_SKIP then rather than test the
// "C" locale by mistake.
class ScopedNumericLocale
{
public:
    explicit ScopedNumericLocale(const char* name = kDecimalCommaLocale);
    ~ScopedNumericLocale();
    ScopedNumericLocale(const ScopedNumericLocale&) = delete;
    ScopedNumericLocale& operator=(const ScopedNumericLocale&) = delete;

    bool Active() const { return m_active; }

private:
    std::string m_saved;
    bool m_active;
};
} // namespace testsupport

#endif

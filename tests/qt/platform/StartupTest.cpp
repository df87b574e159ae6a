// The numeric locale the program starts with.

#include "platform/Startup.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace
{
// Puts the whole locale back as it was when the test began.
class LocaleRestorer
{
public:
    LocaleRestorer() : m_saved(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleRestorer() { std::setlocale(LC_ALL, m_saved.c_str()); }

private:
    std::string m_saved;
};

TEST(StartupTest, AGermanUserStillReadsNumbersWithADecimalPoint)
{
    LocaleRestorer restorer;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed.";
    // The German locale stops at the point.
    ASSERT_EQ(0.0, std::atof("0.5"));

    UseCNumericLocale();
    EXPECT_EQ(0.5, std::atof("0.5"));
    EXPECT_EQ(1.25, std::strtod("1.25", nullptr));
    // Only the numbers change: text stays in the user's encoding.
    EXPECT_EQ(std::string("de_DE.UTF-8"), std::setlocale(LC_CTYPE, nullptr));
}
} // namespace

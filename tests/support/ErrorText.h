#ifndef NUVARO_TESTS_SUPPORT_ERRORTEXT_H
#define NUVARO_TESTS_SUPPORT_ERRORTEXT_H

#include <functional>
#include <stdexcept>
#include <string>

namespace testsupport
{
// The message of the std::runtime_error that f throws; empty when it throws none.
inline std::string ErrorOf(const std::function<void()>& f)
{
    try
    {
        f();
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "";
}
} // namespace testsupport

#endif

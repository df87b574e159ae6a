#include "support/ErrorText.h"

#include <stdexcept>

namespace testsupport
{
std::string RuntimeErrorOf(const std::function<void()>& f)
{
    try
    {
        f();
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return std::string();
}

std::string InvalidArgumentOf(const std::function<void()>& f)
{
    try
    {
        f();
    }
    catch (const std::invalid_argument& e)
    {
        return e.what();
    }
    return "";
}
} // namespace testsupport

#ifndef NUVARO_TESTS_SUPPORT_ERRORTEXT_H
#define NUVARO_TESTS_SUPPORT_ERRORTEXT_H

#include <functional>
#include <string>

namespace testsupport
{
// Runs f and returns the text of the std::runtime_error it throws; empty when
// it throws nothing.
std::string RuntimeErrorOf(const std::function<void()>& f);
// Likewise for std::invalid_argument.
std::string InvalidArgumentOf(const std::function<void()>& f);
} // namespace testsupport

#endif

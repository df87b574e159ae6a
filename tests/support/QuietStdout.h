#ifndef NUVARO_TESTS_SUPPORT_QUIETSTDOUT_H
#define NUVARO_TESTS_SUPPORT_QUIETSTDOUT_H

#include <string>

namespace testsupport
{
// Captures standard output (the program's log lines) for its lifetime and
// prints it only when the running test has failed, where it may explain why.
// Outside a test (in a benchmark) the captured lines are dropped.
class QuietStdout
{
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

    // What was printed since construction or the last Take; capturing goes on.
    std::string Take();

private:
    std::string m_taken; // printed again, with the rest, when the test fails
};
} // namespace testsupport

#endif

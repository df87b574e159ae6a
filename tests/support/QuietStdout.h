#ifndef NUVARO_TESTS_SUPPORT_QUIETSTDOUT_H
#define NUVARO_TESTS_SUPPORT_QUIETSTDOUT_H

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
};
} // namespace testsupport

#endif

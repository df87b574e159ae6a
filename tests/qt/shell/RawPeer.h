#ifndef NUVARO_TESTS_QT_SHELL_RAWPEER_H
#define NUVARO_TESTS_QT_SHELL_RAWPEER_H

// A peer of the application's socket on a raw connection, for a server
// running in the test process: sends what it is told (or nothing) and reads
// what the server answers while the test serves events.

#include "support/LocalPeer.h"

#include <QTest>

#include <string>

namespace apptest
{
struct RawPeer : testsupport::LocalPeer
{
    using LocalPeer::LocalPeer;

    // Serves events until the server closes the connection; what it sent.
    bool ClosedByServer(std::string& answer, int ms)
    {
        return QTest::qWaitFor([&] { return ReadNow(answer); }, ms);
    }
};
} // namespace apptest

#endif

#ifndef NUVARO_TESTS_SUPPORT_FAKENETFILE_H
#define NUVARO_TESTS_SUPPORT_FAKENETFILE_H

#include "network/NetFile.h"

#include <string>
#include <vector>

class NetEventListener;

namespace testsupport
{
// A transfer that the test drives by hand: once installed, NetFile::Create
// records the request and returns a FakeNetFile that calls its listener only
// when the test tells it to. Like a real transfer it deletes itself after its
// final callback and when aborted.
class FakeNetFile : public NetFile
{
public:
    struct Request
    {
        std::string url;
        bool post = false;
        std::string body; // the POST body
        bool storeData = false;
    };

    // Makes NetFile::Create use fakes; clears the request log and the
    // abort count.
    static void Install();
    // Takes the fakes out again (NetFile::Create then fails).
    static void Uninstall();
    // While refusing, NetFile::Create throws "Could not open connection."
    // and records nothing.
    static void RefuseConnections(bool refuse);

    // Every request made since Install, oldest first.
    static const std::vector<Request>& Requests();
    // The newest transfer that still exists, or null.
    static FakeNetFile* Latest();
    // Transfers that exist (neither finished nor aborted).
    static int LiveCount();
    // Transfers ended by Abort since Install.
    static int AbortCount();

    // Each of these calls the listener; they return false when the transfer
    // was aborted from inside the callback (the object is gone then).
    bool Respond(const std::string& mimeType = "text/xml", unsigned long expectedLength = 0xFFFFFFFFul);
    // Delivers the bytes in DataReceived calls of at most chunkSize bytes.
    bool Deliver(const std::string& bytes, size_t chunkSize = 0);
    // DownloadComplete (with the delivered bytes when storing), then the
    // object deletes itself.
    void Complete();
    // DownloadFailed(message), then the object deletes itself.
    void Fail(const std::string& message);
    // Respond, Deliver in chunks, Complete; false when aborted on the way.
    bool Reply(const std::string& bytes, size_t chunkSize = 0);

    // What this transfer asked for.
    const Request& GetRequest() const { return m_request; }

    void Abort() override;
    ~FakeNetFile() override;
    void Done() override;

private:
    FakeNetFile(Request request, NetEventListener* listener);
    // Whether the transfer that had the serial still exists; asked by serial
    // as a callback may delete the transfer and a new one take its address.
    static bool StillLive(unsigned long serial);

    Request m_request;
    NetEventListener* m_listener;
    std::string m_received;
    const unsigned long m_serial;
};
} // namespace testsupport

#endif

#include "support/FakeNetFile.h"

#include "network/NetEventListener.h"

#include <algorithm>

namespace testsupport
{
namespace
{
std::vector<FakeNetFile::Request> sRequests;
std::vector<FakeNetFile*> sLive;
int sAborts = 0;
unsigned long sNextSerial = 0;
bool sRefuse = false;
} // namespace

void FakeNetFile::Install()
{
    sRequests.clear();
    sAborts = 0;
    sRefuse = false;
    NetFile::SetFactory([](const std::string& url, const std::string* postData, NetEventListener* listener,
                           bool storeData) -> NetFile* {
        if (sRefuse)
            return nullptr;
        Request request;
        request.url = url;
        request.post = postData != nullptr;
        request.body = postData != nullptr ? *postData : std::string();
        request.storeData = storeData;
        sRequests.push_back(request);
        return new FakeNetFile(request, listener);
    });
}

void FakeNetFile::Uninstall()
{
    NetFile::SetFactory(nullptr);
    while (!sLive.empty())
        delete sLive.back();
}

void FakeNetFile::RefuseConnections(bool refuse)
{
    sRefuse = refuse;
}

const std::vector<FakeNetFile::Request>& FakeNetFile::Requests()
{
    return sRequests;
}

FakeNetFile* FakeNetFile::Latest()
{
    return sLive.empty() ? nullptr : sLive.back();
}

int FakeNetFile::LiveCount()
{
    return static_cast<int>(sLive.size());
}

int FakeNetFile::AbortCount()
{
    return sAborts;
}

FakeNetFile::FakeNetFile(Request request, NetEventListener* listener)
    : m_request(std::move(request)), m_listener(listener), m_serial(++sNextSerial)
{
    sLive.push_back(this);
}

FakeNetFile::~FakeNetFile()
{
    sLive.erase(std::remove(sLive.begin(), sLive.end(), this), sLive.end());
}

bool FakeNetFile::StillLive(unsigned long serial)
{
    return std::any_of(sLive.begin(), sLive.end(),
                       [serial](const FakeNetFile* transfer) { return transfer->m_serial == serial; });
}

void FakeNetFile::Abort()
{
    ++sAborts;
    delete this;
}

void FakeNetFile::Done()
{
    delete this;
}

bool FakeNetFile::Respond(const std::string& mimeType, unsigned long expectedLength)
{
    m_received.clear();
    const unsigned long serial = m_serial;
    m_listener->ResponseReceived(mimeType, expectedLength);
    return StillLive(serial);
}

bool FakeNetFile::Deliver(const std::string& bytes, size_t chunkSize)
{
    if (chunkSize == 0)
        chunkSize = std::max<size_t>(bytes.size(), 1);
    for (size_t at = 0; at < bytes.size(); at += chunkSize)
    {
        const std::string chunk = bytes.substr(at, chunkSize);
        if (m_request.storeData)
            m_received += chunk;
        const unsigned long serial = m_serial;
        m_listener->DataReceived(chunk.data(), chunk.size());
        if (!StillLive(serial))
            return false;
    }
    return true;
}

void FakeNetFile::Complete()
{
    if (m_request.storeData)
        m_listener->DownloadComplete(m_received.data(), m_received.size());
    else
        m_listener->DownloadComplete(nullptr, 0);
    Done();
}

void FakeNetFile::Fail(const std::string& message)
{
    m_listener->DownloadFailed(message);
    Done();
}

bool FakeNetFile::Reply(const std::string& bytes, size_t chunkSize)
{
    if (!Respond() || !Deliver(bytes, chunkSize))
        return false;
    Complete();
    return true;
}
} // namespace testsupport

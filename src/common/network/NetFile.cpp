#include "network/NetFile.h"

#include <stdexcept>

namespace
{
// Both are set on the main thread before the first transfer and only read
// there afterwards.
NetFile::Factory& InstalledFactory()
{
    static NetFile::Factory factory;
    return factory;
}

std::string& UserAgent()
{
    static std::string userAgent = "Nuvaro/" NUVARO_VERSION_STRING;
    return userAgent;
}

NetFile* CreateTransfer(const std::string& url, const std::string* postData, NetEventListener* listener,
                        bool storeData)
{
    const NetFile::Factory& factory = InstalledFactory();
    NetFile* transfer = factory ? factory(url, postData, listener, storeData) : nullptr;
    if (transfer == nullptr)
        throw std::runtime_error("Could not open connection.");
    return transfer;
}
} // namespace

NetFile::~NetFile() = default;

void NetFile::AbortAndClear(NetFile*& transfer)
{
    NetFile* const held = transfer;
    transfer = nullptr;
    if (held != nullptr)
        held->Abort();
}

NetFile* NetFile::Create(const std::string& url, NetEventListener* listener, bool storeData)
{
    return CreateTransfer(url, nullptr, listener, storeData);
}

NetFile* NetFile::Create(const std::string& url, const std::string& postData, NetEventListener* listener,
                         bool storeData)
{
    return CreateTransfer(url, &postData, listener, storeData);
}

void NetFile::SetFactory(Factory factory)
{
    InstalledFactory() = std::move(factory);
}

void NetFile::SetUserAgent(const std::string& userAgent)
{
    UserAgent() = userAgent;
}

const std::string& NetFile::GetUserAgent()
{
    return UserAgent();
}

std::string NetFile::TooLargeMessage(unsigned long limit)
{
    return "The server's reply is larger than the limit of " + std::to_string(limit) + " bytes.";
}

#ifndef NUVARO_NETWORK_NETFILE_H
#define NUVARO_NETWORK_NETFILE_H

#include <functional>
#include <string>

class NetEventListener;

// One HTTP transfer: a GET, or a POST of a SOAP body. The transfer starts at
// once, reports to its listener on the main thread and deletes itself after
// its final callback (DownloadComplete or DownloadFailed). Its creator never
// deletes it: it drops the pointer in the final callback and may only Abort
// the transfer before then (never from inside that final callback).
//
// The platform supplies the transport through SetFactory; the portable code
// sees only this class and NetEventListener.
class NetFile
{
public:
    // Bodies larger than this fail the transfer. Grid files are the largest
    // replies; XML replies are far smaller and their readers lower the limit.
    static constexpr unsigned long kDefaultMaxBodySize = 256ul * 1024 * 1024;
    static constexpr unsigned long kMaxXMLBodySize = 16ul * 1024 * 1024;

    // Makes the platform transfer. `postData` is null for a GET. Throws
    // std::runtime_error("Could not open connection.") when no connection can
    // be made; never returns null.
    using Factory = std::function<NetFile*(const std::string& url, const std::string* postData,
                                           NetEventListener* listener, bool storeData)>;

    // Ends the transfer at once; no callback follows and the object is gone.
    virtual void Abort() = 0;
    // Sets transfer to null, then aborts the transfer it held (if any). The
    // holder forgets it first because the abort deletes it, and code reached
    // from the abort must not see a pointer to a dying transfer.
    static void AbortAndClear(NetFile*& transfer);
    virtual ~NetFile();
    // Called by the transport after the final callback; deletes the object.
    virtual void Done() = 0;

    // GET. With storeData the body is collected and handed to DownloadComplete.
    static NetFile* Create(const std::string& url, NetEventListener* listener, bool storeData);
    // POST of `postData` as "text/xml" with an empty SOAPAction.
    static NetFile* Create(const std::string& url, const std::string& postData, NetEventListener* listener,
                           bool storeData);

    // Installed once by the platform layer at start-up, on the main thread.
    static void SetFactory(Factory factory);
    // The "User-Agent" of every request; set once by the application shell.
    static void SetUserAgent(const std::string& userAgent);
    static const std::string& GetUserAgent();
    // The failure message of a reply beyond a body size limit.
    static std::string TooLargeMessage(unsigned long limit);

    // The largest body this transfer accepts; set right after Create, before
    // control returns to the event loop.
    void SetMaxBodySize(unsigned long bytes) { m_maxBodySize = bytes; }
    unsigned long GetMaxBodySize() const { return m_maxBodySize; }

protected:
    NetFile() = default;
    NetFile(const NetFile&) = delete;
    NetFile& operator=(const NetFile&) = delete;

private:
    unsigned long m_maxBodySize = kDefaultMaxBodySize;
};

#endif

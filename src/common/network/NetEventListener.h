#ifndef NUVARO_NETWORK_NETEVENTLISTENER_H
#define NUVARO_NETWORK_NETEVENTLISTENER_H

#include <string>

// Receives the callbacks of one NetFile, always on the main thread, in the
// order: (ResponseReceived, DataReceived*)*, then exactly one of
// DownloadComplete or DownloadFailed. The transfer is gone right after that
// final callback.
class NetEventListener
{
public:
    NetEventListener() = default;
    NetEventListener(const NetEventListener&) {}
    NetEventListener& operator=(const NetEventListener&) { return *this; }
    virtual ~NetEventListener() = default;

    // `data` is the whole body when the transfer stores data, else null with
    // length 0.
    virtual void DownloadComplete(const void* data, unsigned long length) = 0;
    virtual void DownloadFailed(const std::string& message) = 0;
    // An unknown length arrives as 0xFFFFFFFF; it is a hint, never a size to
    // reserve.
    virtual void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) = 0;
    virtual void DataReceived(const void* data, unsigned long length) = 0;
};

#endif

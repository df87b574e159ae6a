#ifndef NUVARO_NETWORK_GENEFETCHER_H
#define NUVARO_NETWORK_GENEFETCHER_H

#include "network/NetEventListener.h"

#include <string>
#include <vector>

class GeneFetcher;
class GeneThumbnailFetcher;
class NetFile;

// Receives the outcome and progress of a GeneFetcher's download.
class GeneFetchCompletionListener
{
public:
    virtual ~GeneFetchCompletionListener() = default;

    // The whole grid file; the bytes are valid only during this call.
    virtual void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long length) = 0;
    virtual void GeneLoadError(GeneFetcher* fetcher, const std::string& message) = 0;
    // Progress from 0 to 1; it stays at its last value while the length of
    // the reply is unknown.
    virtual void GeneDataReceived(GeneFetcher* fetcher, float progress) = 0;
};

// Downloads one full gene grid file at a time into memory and reports it,
// with progress, to its listener. The caller keeps any queue of downloads.
// The listener may start the next download (Load) or Reset the fetcher from
// inside any of its callbacks.
class GeneFetcher : public NetEventListener
{
public:
    // Lengths at or above this are the transport's "unknown length" mark.
    static constexpr unsigned long kUnknownLength = 0xFFFFFFFFul;

    GeneFetcher();
    ~GeneFetcher() override;
    GeneFetcher(const GeneFetcher&) = delete;
    GeneFetcher& operator=(const GeneFetcher&) = delete;

    // NetEventListener: the transfer's callbacks.
    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Starts downloading url for the gene called name, abandoning a download
    // still running without a callback. userData is kept for the caller.
    // Throws std::runtime_error("Could not open connection.") when the
    // transfer cannot start; the fetcher is then idle.
    virtual void Load(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener,
                      void* userData);
    // True while a download runs.
    virtual bool IsActive() const;
    // Abandons a running download without a callback and forgets the
    // name, user data and listener.
    virtual void Reset();
    virtual float GetProgress() const;
    virtual void* GetUserData() const;
    virtual const char* GetName() const;

private:
    void AbortTransfer();

    std::string m_name;
    GeneFetchCompletionListener* m_listener;
    NetFile* m_transfer;
    void* m_userData;
    unsigned long m_expectedLength;
    unsigned long m_receivedBytes;
    float m_progress;
};

// Hears how a GeneThumbnailFetcher's download ended.
class GeneThumbnailCompletionListener
{
public:
    virtual ~GeneThumbnailCompletionListener() = default;

    // The bytes are the fetcher's (GetData, GetDataLength) until its next
    // LoadThumbnail or Reset.
    virtual void GeneThumbnailLoaded(GeneThumbnailFetcher* fetcher) = 0;
    virtual void GeneThumbnailLoadError(GeneThumbnailFetcher* fetcher, const std::string& message) = 0;
};

// Downloads one thumbnail grid at a time, collecting the body itself, with
// the grid fetcher's body size bound (the transport's default). Active from
// LoadThumbnail until Reset; transfer callbacks that arrive while inactive
// are ignored. The listener may load again, Reset or delete the fetcher from
// inside its callbacks.
class GeneThumbnailFetcher : public NetEventListener
{
public:
    GeneThumbnailFetcher();
    ~GeneThumbnailFetcher() override;
    GeneThumbnailFetcher(const GeneThumbnailFetcher&) = delete;
    GeneThumbnailFetcher& operator=(const GeneThumbnailFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Abandons a download still running, without a callback, and starts
    // fetching url. Throws std::runtime_error("Could not open connection.")
    // when the transfer cannot start; the fetcher is then idle.
    virtual void LoadThumbnail(const std::string& url, GeneThumbnailCompletionListener* listener, void* userData);
    // Idle again: aborts the transfer, forgets the listener, user data and bytes.
    virtual void Reset();
    // The bytes received so far (the whole grid once loaded).
    virtual const unsigned char* GetData() const;
    virtual unsigned long GetDataLength() const;
    virtual void* GetUserData() const;
    virtual bool IsActive() const;

private:
    GeneThumbnailCompletionListener* m_listener;
    NetFile* m_transfer;
    void* m_userData;
    bool m_active;
    std::vector<unsigned char> m_data;
};

#endif

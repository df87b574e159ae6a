#ifndef NUVARO_QT_NETWORK_QTNETFILE_H
#define NUVARO_QT_NETWORK_QTNETFILE_H

#include "network/NetFile.h"

#include <QByteArray>
#include <QMetaObject>
#include <QPointer>

#include <string>

class NetEventListener;
class QNetworkReply;

// The platform transfer behind NetFile: one QNetworkReply of the process's
// single QNetworkAccessManager, on the main thread. Requests always go to the
// network (no cache), ask for uncompressed bodies, carry the user agent and
// give up after 60 s without progress.
class QtNetFile : public NetFile
{
public:
    // Makes this transport the one NetFile::Create uses. Call on the main
    // thread once the application object exists.
    static void Install();
    // The factory Install registers: starts a GET (postData null) or a POST.
    static NetFile* Start(const std::string& url, const std::string* postData, NetEventListener* listener,
                          bool storeData);
    // Tests only: the time without progress after which a transfer fails
    // (60 000 ms unless changed). Applies to transfers started afterwards.
    static void SetTransferTimeoutForTesting(int milliseconds);

    void Abort() override;
    ~QtNetFile() override;
    void Done() override;

private:
    QtNetFile(NetEventListener* listener, bool storeData);

    void Connect(QNetworkReply* reply);
    void OnResponse();
    // False when the transfer ended (and this object is gone).
    bool OnData();
    void OnFinished();

    // Reports the failure, ends the transfer and deletes this object.
    void Fail(const std::string& message);
    // Runs one listener call; false when this object was deleted meanwhile
    // (the listener aborted the transfer), in which case nothing of it may be
    // touched any more. Listener calls are skipped while it is null.
    template <typename Call>
    bool Notify(Call&& call);
    // Disconnects the reply and has it deleted, which stops its transfer; no
    // signal reaches us after.
    void ReleaseReply();

    QPointer<QNetworkReply> m_reply;
    QMetaObject::Connection m_connections[3];
    NetEventListener* m_listener;
    bool m_storeData;
    QByteArray m_data;
    // Body bytes of the current response, stored or not.
    unsigned long long m_received = 0;
    // True while the current response is a redirect that Qt follows.
    bool m_inRedirect = false;
    // Points at a flag of the running callback that the destructor sets.
    bool* m_deletedFlag = nullptr;
};

#endif

#ifndef NUVARO_QT_SHELL_VERSIONUPDATEHANDLER_H
#define NUVARO_QT_SHELL_VERSIONUPDATEHANDLER_H

#include "network/SearchDomainUpdater.h"
#include "network/VersionQuery.h"

#include <QObject>
#include <QPointer>

#include <string>

class QMessageBox;
class VersionUpdateHandler;

// Ends a running version check when the application quits first. Owned by
// its handler; the handler ends by scheduling the delegate's deletion, and
// the delegate takes the handler with it, so neither is deleted while one of
// its own calls still runs.
class VersionQueryDelegate : public QObject
{
public:
    VersionQueryDelegate() = default;
    ~VersionQueryDelegate() override;

    // Keeps the handler and calls applicationWillTerminate when the
    // application is about to quit.
    void initWithNotification(VersionUpdateHandler* handler);
    // Aborts the handler's work, when a handler is set.
    void applicationWillTerminate();

private:
    friend class VersionUpdateHandler;
    VersionUpdateHandler* handler = nullptr;
};

// Acts on the outcome of the start-up version check: tells the user about a
// newer release ("Upgrade Nuvaro"), offers its information page, chains to
// the search-domain list update when a newer list exists, records the date
// of a check that fully succeeded and then ends itself. Failures are only
// printed; the next start tries again. Main thread only.
class VersionUpdateHandler : public VersionQueryListener, public SearchDomainUpdateListener
{
public:
    VersionUpdateHandler();
    ~VersionUpdateHandler() override;
    VersionUpdateHandler(const VersionUpdateHandler&) = delete;
    VersionUpdateHandler& operator=(const VersionUpdateHandler&) = delete;

    // Starts the query; a query that cannot start is reported to
    // VersionQueryError (with "Unable to connect to server for version
    // check." when the failure carries no text).
    void Start();

    void VersionQueryComplete(const VersionQuery* query) override;
    void VersionQueryError(const VersionQuery* query, const std::string& message) override;
    // Ends the running query or update and an open "Upgrade Nuvaro" box;
    // nothing is reported or opened afterwards.
    virtual void Abort();
    void SearchDomainUpdateComplete(const SearchDomainUpdater* updater) override;
    void SearchDomainUpdateError(const SearchDomainUpdater* updater, const std::string& message) override;

    // Handlers that exist (for tests).
    static int InstanceCount();

private:
    friend class VersionQueryDelegate;

    // The answer to "Upgrade Nuvaro".
    void UpgradeAnswered(bool moreInformation);
    // Starts the list update when one is due, else records the check.
    void DomainStep();
    // Ends the running query and update without a report.
    void AbortTransfers();
    // Schedules the end of this handler; nothing more happens after it.
    void Finish();

    VersionQueryDelegate* m_delegate;
    VersionQuery* m_query = nullptr;
    SearchDomainUpdater* m_updater = nullptr;
    // What the query said, kept past its deletion.
    std::string m_infoUrl;
    bool m_newDomainList = false;
    QPointer<QMessageBox> m_box;
    bool m_finished = false;
};

// A handler that starts a check; the handler ends itself. Never throws.
void StartVersionCheck();
// The same when the preferences say a check is due.
void StartVersionCheckIfDue();

#endif

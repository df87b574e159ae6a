#ifndef NUVARO_IO_SQLDATABASE_H
#define NUVARO_IO_SQLDATABASE_H

#include <functional>
#include <string>

struct sqlite3;

// One SQLite connection. A writable database is opened (or created) with the
// program's fixed pragmas and a one-row schema-version table; a read-only
// database (shipped data) is opened as it is and never written to.
// Failures are std::runtime_error; a failed Open leaves the object closed.
class SqlDatabase
{
public:
    enum class Access
    {
        ReadWrite, // created when missing; pragmas and version table applied
        ReadOnly   // must exist; nothing is ever written
    };

    // How long SQLite waits for another connection's lock before a statement
    // reports the database as busy, unless SetBusyTimeout says otherwise.
    static constexpr int kDefaultBusyTimeoutMs = 2000;

    SqlDatabase();
    explicit SqlDatabase(const std::string& path, Access access = Access::ReadWrite);
    // A new connection to the source's file with the source's access, or a
    // closed database when the source is closed.
    SqlDatabase(const SqlDatabase& other);
    SqlDatabase& operator=(const SqlDatabase&) = delete;
    virtual ~SqlDatabase();

    // Opens or creates the file for reading and writing, closing any
    // connection held before.
    virtual void Open(const std::string& path);
    virtual bool TableExists(const std::string& name);
    // Replaces the version table by one holding the current schema number.
    virtual void CreateVersionTable();

    // Opens an existing file without ever writing to it: no pragma that
    // changes the file and no version table. A missing file or one that is
    // not a database fails.
    void OpenReadOnly(const std::string& path);
    void Close();
    // Abandons the transaction left open by a failed script, if any.
    void RollBack();
    // Runs body between BEGIN and COMMIT; rolls back and rethrows when it throws.
    void RunInTransaction(const std::function<void()>& body);
    // Runs the schema script when the table is missing (rolled back when it fails).
    void CreateTableIfMissing(const std::string& table, const char* schema);
    // status SQLITE_OK does nothing; otherwise throws message, a line feed
    // and SQLite's message.
    void CheckStatus(int status, const char* message) const;

    bool IsOpen() const { return m_db != nullptr; }
    bool IsReadOnly() const { return m_access == Access::ReadOnly; }
    // The path of the open file; empty while closed.
    const std::string& GetPath() const { return m_path; }

    // Applies now and to every later Open of this object.
    void SetBusyTimeout(int ms);
    int GetBusyTimeout() const { return m_busyTimeoutMs; }

    // SQLite's message for the last failure on this connection.
    std::string LastErrorMessage() const;

    operator sqlite3*() const { return m_db; }

private:
    void OpenWithAccess(const std::string& path, Access access);
    // The schema number stored in the version table, 0 when there is none.
    int ReadVersion(const std::string& path);

    sqlite3* m_db;
    std::string m_path;
    Access m_access;
    int m_busyTimeoutMs;
};

#endif

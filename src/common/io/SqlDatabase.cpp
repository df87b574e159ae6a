#include "io/SqlDatabase.h"

#include "io/SqlStatement.h"

#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>

namespace
{
// The schema number kept in the version table of every writable database.
const int kSchemaVersion = 1;

const char* const kPragmas =
    "PRAGMA auto_vacuum=1;PRAGMA page_size=4096;PRAGMA synchronous=OFF;PRAGMA temp_store=MEMORY";
// Only connection settings: they change nothing in the file.
const char* const kReadOnlyPragmas = "PRAGMA temp_store=MEMORY";
} // namespace

SqlDatabase::SqlDatabase()
    : m_db(nullptr), m_access(Access::ReadWrite), m_busyTimeoutMs(kDefaultBusyTimeoutMs)
{
}

SqlDatabase::SqlDatabase(const std::string& path, Access access)
    : SqlDatabase()
{
    OpenWithAccess(path, access);
}

SqlDatabase::SqlDatabase(const SqlDatabase& other)
    : SqlDatabase()
{
    m_busyTimeoutMs = other.m_busyTimeoutMs;
    if (other.m_db != nullptr)
        OpenWithAccess(other.m_path, other.m_access);
}

SqlDatabase::~SqlDatabase()
{
    Close();
}

void SqlDatabase::Open(const std::string& path)
{
    OpenWithAccess(path, Access::ReadWrite);
}

void SqlDatabase::OpenReadOnly(const std::string& path)
{
    OpenWithAccess(path, Access::ReadOnly);
}

void SqlDatabase::OpenWithAccess(const std::string& path, Access access)
{
    Close();

    const int flags = access == Access::ReadOnly ? SQLITE_OPEN_READONLY
                                                 : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK)
    {
        // SQLite hands out a connection even when opening fails.
        sqlite3_close_v2(db);
        throw std::runtime_error("Could not open database.");
    }
    m_db = db;
    m_access = access;
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);

    try
    {
        if (access == Access::ReadOnly)
        {
            SqlStatement(this, kReadOnlyPragmas).ExecuteAll();
            // Reading the schema also proves that the file is a database.
            ReadVersion(path);
        }
        else
        {
            SqlStatement(this, kPragmas).ExecuteAll();
            if (ReadVersion(path) != kSchemaVersion)
                CreateVersionTable();
        }
    }
    catch (...)
    {
        Close();
        throw;
    }
    m_path = path;
}

int SqlDatabase::ReadVersion(const std::string& path)
{
    if (!TableExists("version"))
        return 0;

    int version = 0;
    SqlStatement query(this, "SELECT version from version;");
    if (!query.PrepareNext())
        throw std::runtime_error("Failed to check database version.");
    if (query.Step())
        version = sqlite3_column_int(query, 0);
    query.Finalize();
    std::printf("Opening database %s version %d found\n", path.c_str(), version);
    return version;
}

void SqlDatabase::Close()
{
    if (m_db != nullptr)
    {
        // Deferred close: a statement still prepared on this connection
        // can be finalized later without touching freed memory.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path.clear();
}

bool SqlDatabase::TableExists(const std::string& name)
{
    SqlStatement query(this, "SELECT count(*) from sqlite_master WHERE type = 'table' AND name = ?;");
    if (!query.PrepareNext())
        throw std::runtime_error("Could not check for table " + name);
    // Bound rather than pasted into the text, so any name is looked up as it is.
    if (sqlite3_bind_text(query, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT) !=
        SQLITE_OK)
        throw std::runtime_error("Could not check for table " + name);
    return query.Step() && sqlite3_column_int(query, 0) > 0;
}

void SqlDatabase::CreateVersionTable()
{
    if (IsOpen() && IsReadOnly())
        throw std::runtime_error("The database was opened read-only and cannot be changed.");

    std::string script = "BEGIN TRANSACTION;";
    if (TableExists("version"))
        script += "DROP TABLE version;";
    script += "CREATE TABLE version (version INTEGER PRIMARY KEY DEFAULT 0);INSERT into version VALUES (" +
              std::to_string(kSchemaVersion) + ");COMMIT;";
    try
    {
        SqlStatement(this, script).ExecuteAll();
    }
    catch (...)
    {
        RollBack();
        throw;
    }
}

void SqlDatabase::RollBack()
{
    if (m_db != nullptr && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
}

void SqlDatabase::RunInTransaction(const std::function<void()>& body)
{
    try
    {
        SqlStatement(this, "BEGIN TRANSACTION;").ExecuteAll();
        body();
        SqlStatement(this, "COMMIT;").ExecuteAll();
    }
    catch (...)
    {
        RollBack();
        throw;
    }
}

void SqlDatabase::CreateTableIfMissing(const std::string& table, const char* schema)
{
    if (TableExists(table))
        return;
    try
    {
        SqlStatement(this, schema).ExecuteAll();
    }
    catch (...)
    {
        RollBack();
        throw;
    }
}

void SqlDatabase::CheckStatus(int status, const char* message) const
{
    if (status == SQLITE_OK)
        return;
    throw std::runtime_error(std::string(message) + "\n" + LastErrorMessage());
}

void SqlDatabase::SetBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms < 0 ? 0 : ms;
    if (m_db != nullptr)
        sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
}

std::string SqlDatabase::LastErrorMessage() const
{
    if (m_db == nullptr)
        return "The database is not open.";
    return sqlite3_errmsg(m_db);
}

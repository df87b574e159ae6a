#include "io/SqlStatement.h"

#include "io/SqlDatabase.h"

#include <sqlite3.h>

#include <cstring>
#include <stdexcept>

SqlStatement::SqlStatement(SqlDatabase* db, const std::string& sql)
    : m_db(db), m_stmt(nullptr), m_sql(sql.begin(), sql.end()), m_tail(0)
{
    m_sql.push_back('\0');
}

SqlStatement::~SqlStatement()
{
    Finalize();
}

void SqlStatement::Finalize()
{
    if (m_stmt != nullptr)
    {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

bool SqlStatement::PrepareNext()
{
    Finalize();
    while (m_stmt == nullptr)
    {
        if (m_sql[m_tail] == '\0')
            return false;
        sqlite3* connection = m_db != nullptr ? static_cast<sqlite3*>(*m_db) : nullptr;
        if (connection == nullptr)
            throw std::runtime_error("The database is not open.");

        const char* start = m_sql.data() + m_tail;
        const char* next = nullptr;
        if (sqlite3_prepare_v2(connection, start, -1, &m_stmt, &next) != SQLITE_OK)
        {
            m_stmt = nullptr;
            throw std::runtime_error(sqlite3_errmsg(connection));
        }
        // SQLite always consumes something; guard anyway against walking in place.
        m_tail = next != nullptr && next > start ? static_cast<std::size_t>(next - m_sql.data())
                                                 : m_sql.size() - 1;
    }
    return true;
}

bool SqlStatement::Step()
{
    if (m_stmt == nullptr)
        return false;

    int busyRetries = 0;
    for (;;)
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
        {
            while (m_sql[m_tail] != '\0' && std::strchr(" \t\r\n\f\v", m_sql[m_tail]) != nullptr)
                ++m_tail;
            return false;
        }
        // Another connection holds a lock: SQLite has already waited for the
        // busy timeout; try a few more times, then give up with its message.
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && busyRetries < kMaxBusyRetries)
        {
            ++busyRetries;
            continue;
        }
        throw std::runtime_error(sqlite3_errmsg(sqlite3_db_handle(m_stmt)));
    }
}

void SqlStatement::ExecuteAll()
{
    try
    {
        while (Step() || PrepareNext())
        {
        }
    }
    catch (...)
    {
        Finalize();
        throw;
    }
    Finalize();
}

std::string SqlStatement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    if (text == nullptr)
        return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
}

#ifndef NUVARO_IO_SQLSTATEMENT_H
#define NUVARO_IO_SQLSTATEMENT_H

#include <cstddef>
#include <string>
#include <vector>

class SqlDatabase;
struct sqlite3_stmt;

// Walks a text of one or more SQL statements one statement at a time.
// Nothing is prepared until PrepareNext. Callers bind parameters and read
// columns through the raw statement handle. Errors are std::runtime_error
// carrying SQLite's message.
class SqlStatement
{
public:
    // How many times a step that finds the database busy is tried again
    // (each try waits up to the connection's busy timeout) before failing.
    static constexpr int kMaxBusyRetries = 3;

    // db is not owned and must outlive the statement.
    SqlStatement(SqlDatabase* db, const std::string& sql);
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;
    virtual ~SqlStatement();

    virtual void Finalize();
    // Prepares the next statement of the text, skipping text that prepares
    // to nothing (white space, comments, empty statements). False at the end.
    virtual bool PrepareNext();
    // True when a result row is ready; false when the statement is done or
    // none is prepared.
    virtual bool Step();
    // Runs every remaining statement to completion, discarding result rows.
    virtual void ExecuteAll();

    // The text of a column of the current row; empty for NULL.
    std::string Text(int column) const;

    operator sqlite3_stmt*() const { return m_stmt; }

private:
    SqlDatabase* m_db;
    sqlite3_stmt* m_stmt;
    std::vector<char> m_sql; // the text with a terminating NUL
    std::size_t m_tail;      // where the next statement starts in m_sql
};

#endif

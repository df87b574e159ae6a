#ifndef NUVARO_TESTS_IO_SQLTESTSUPPORT_H
#define NUVARO_TESTS_IO_SQLTESTSUPPORT_H

#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"

#include <sqlite3.h>

#include <stdexcept>
#include <string>

namespace sqltest
{
// Runs a query expected to give one integer.
inline int QueryInt(SqlDatabase& db, const std::string& sql)
{
    SqlStatement query(&db, sql);
    if (!query.PrepareNext() || !query.Step())
        throw std::runtime_error("The query gave no row: " + sql);
    return sqlite3_column_int(query, 0);
}

inline void Execute(SqlDatabase& db, const std::string& sql)
{
    SqlStatement(&db, sql).ExecuteAll();
}
} // namespace sqltest

#endif

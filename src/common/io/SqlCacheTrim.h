#ifndef NUVARO_IO_SQLCACHETRIM_H
#define NUVARO_IO_SQLCACHETRIM_H

#include <cstddef>
#include <functional>

class SqlDatabase;
struct sqlite3_stmt;

// The selection step of trimming an SQLite cache table, least recently used
// first. totalsSql gives one row: the sum and the average of the entry sizes.
// When the sum has reached threshold, "Cleaning cache." is printed and
// byAgeSql (oldest first, the entry's size in column sizeColumn) is stepped,
// each row handed to take, until the remaining sum is at most target.
// reserve receives a capped guess of how many rows will be taken. Returns
// false when the table is below the threshold. Failures throw message.
bool SelectEntriesToTrim(SqlDatabase& database, const char* totalsSql, const char* byAgeSql, int sizeColumn,
                         long long threshold, long long target, const char* message,
                         const std::function<void(std::size_t)>& reserve,
                         const std::function<void(sqlite3_stmt*)>& take);

#endif

#include "io/SqlCacheTrim.h"

#include "io/SqlStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace
{
// Rows reserved up front are capped so that a cache of tiny entries cannot
// ask for a huge allocation.
const std::size_t kMaxReservedRows = 65536;
} // namespace

bool SelectEntriesToTrim(SqlDatabase& database, const char* totalsSql, const char* byAgeSql, int sizeColumn,
                         long long threshold, long long target, const char* message,
                         const std::function<void(std::size_t)>& reserve,
                         const std::function<void(sqlite3_stmt*)>& take)
{
    SqlStatement totals(&database, totalsSql);
    if (!totals.PrepareNext())
        throw std::runtime_error(message);
    sqlite3_int64 total = 0;
    double average = 0.0;
    if (totals.Step())
    {
        total = sqlite3_column_int64(totals, 0);
        average = sqlite3_column_double(totals, 1);
    }
    totals.Finalize();
    if (total < threshold)
        return false;

    std::printf("Cleaning cache.\n");
    if (average > 0.0)
        reserve(std::min(kMaxReservedRows, static_cast<std::size_t>(target / average * 3.0 / 2.0)));
    SqlStatement byAge(&database, byAgeSql);
    if (!byAge.PrepareNext())
        throw std::runtime_error(message);
    while (total > target && byAge.Step())
    {
        take(byAge);
        total -= sqlite3_column_int64(byAge, sizeColumn);
    }
    return true;
}

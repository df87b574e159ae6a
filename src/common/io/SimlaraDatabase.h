#ifndef NUVARO_IO_SIMLARADATABASE_H
#define NUVARO_IO_SIMLARADATABASE_H

#include "io/SqlDatabase.h"

#include <string>

class PagedGeneList;

// The local correlation database "GLM.db" of the data folder: the
// experiments most correlated with a seed image series within one correlation
// domain. It is shipped, read-only data: it is opened read-only and never
// written to.
//
// Tables read:
//  - Experiments (name, symbol, experimentId, imageSeriesId, geneId);
//  - one table per correlation domain, "S" + the domain id (e.g. S8), with
//    experiment1, experiment2 (experiment ids) and correlation (real).
class SimlaraDatabase
{
public:
    // Opens the database at GetPath(). Throws std::runtime_error naming the
    // file when it is missing, unreadable or not a database.
    SimlaraDatabase();
    // Opens the database at path, likewise.
    explicit SimlaraDatabase(const std::string& path);
    SimlaraDatabase(const SimlaraDatabase&) = delete;
    SimlaraDatabase& operator=(const SimlaraDatabase&) = delete;
    virtual ~SimlaraDatabase();

    // Appends the experiments correlated with the seed image series in the
    // domain to the list, most correlated first (at most limit rows when
    // limit > 0), then sizes the list. Failures go to the list's
    // GeneQueryError with a null query; nothing is thrown. True when every
    // row reached the list; false after a failure, or when a listener of the
    // list started other content while the rows were being added.
    virtual bool FindSimilar(int seed, int domain, PagedGeneList* list, int limit);
    // Nothing for rc 0; else std::runtime_error(message, a line feed and
    // SQLite's message of the connection).
    virtual void CheckSqlStatus(int rc, const char* message);

    // The data folder + "GLM.db", or the path set by OverridePathForTesting.
    static std::string GetPath();
    // Whether the database file can be read. Only the first call looks at
    // the file; later calls give the same answer.
    static bool IsAvailable();
    // Tests only: uses path instead of the data folder's file (empty: back
    // to the data folder) and forgets the recorded availability.
    static void OverridePathForTesting(const std::string& path);

    // The statement FindSimilar runs.
    static std::string FormQuery(int domain, int limit);

private:
    SqlDatabase m_database;

    static bool sAvailableChecked;
    static bool sIsAvailable;
};

#endif

#include "io/SimlaraDatabase.h"

#include "io/SqlStatement.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

bool SimlaraDatabase::sAvailableChecked = false;
bool SimlaraDatabase::sIsAvailable = false;

namespace
{
const char* const kLookupFailure = "Error looking up similar genes.";

std::string& PathOverride()
{
    static std::string path;
    return path;
}
} // namespace

SimlaraDatabase::SimlaraDatabase()
    : SimlaraDatabase(GetPath())
{
}

SimlaraDatabase::SimlaraDatabase(const std::string& path)
{
    try
    {
        m_database.OpenReadOnly(path);
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error("The local correlation database " + path + " could not be opened. " + e.what());
    }
}

SimlaraDatabase::~SimlaraDatabase() = default;

std::string SimlaraDatabase::GetPath()
{
    const std::string& path = PathOverride();
    if (!path.empty())
        return path;
    return ResourcePath::GetResourcePath() + "GLM.db";
}

bool SimlaraDatabase::IsAvailable()
{
    if (!sAvailableChecked)
    {
        try
        {
            sIsAvailable = OSUtils::FileExists(GetPath().c_str());
        }
        catch (const std::exception&)
        {
            // No data folder: no database either.
            sIsAvailable = false;
        }
        sAvailableChecked = true;
    }
    return sIsAvailable;
}

void SimlaraDatabase::OverridePathForTesting(const std::string& path)
{
    PathOverride() = path;
    sAvailableChecked = false;
    sIsAvailable = false;
}

void SimlaraDatabase::CheckSqlStatus(int rc, const char* message)
{
    if (rc != SQLITE_OK)
        throw std::runtime_error(std::string(message) + "\n" + m_database.LastErrorMessage());
}

std::string SimlaraDatabase::FormQuery(int domain, int limit)
{
    const std::string table = "S" + std::to_string(domain);
    std::string sql = "SELECT Experiments.name, Experiments.symbol, Experiments.experimentId, "
                      "Experiments.imageSeriesId, Experiments.geneId, " +
                      table + ".correlation " + "FROM " + table + " INNER JOIN Experiments on " + table +
                      ".experiment2 = Experiments.experimentId " + "WHERE " + table +
                      ".experiment1 = (select experimentId from Experiments where imageSeriesId = ?) " +
                      "order by " + table + ".correlation desc";
    if (limit > 0)
        sql += " LIMIT " + std::to_string(limit);
    return sql + ";";
}

bool SimlaraDatabase::FindSimilar(int seed, int domain, PagedGeneList* list, int limit)
{
    std::printf("Performing local Simlara query seed %d, domain %d\n", seed, domain);
    if (list == nullptr)
        return false;

    const unsigned generation = list->GetContentGeneration();
    try
    {
        // Every row is read before any reaches the list, so that a listener
        // may start another search (even a local one) from inside the list's
        // events.
        std::vector<std::unique_ptr<GeneExpression>> genes;
        {
            SqlStatement statement(&m_database, FormQuery(domain, limit));
            if (!statement.PrepareNext())
                throw std::runtime_error(kLookupFailure);
            CheckSqlStatus(sqlite3_bind_int(statement, 1, seed), kLookupFailure);
            while (statement.Step())
            {
                const std::string name = statement.Text(0);
                const std::string symbol = statement.Text(1);
                genes.push_back(std::make_unique<GeneExpression>(
                    name.c_str(), symbol.c_str(), sqlite3_column_int(statement, 2), sqlite3_column_int(statement, 3),
                    sqlite3_column_int(statement, 4), static_cast<float>(sqlite3_column_double(statement, 5))));
            }
            statement.Finalize();
        }

        for (std::unique_ptr<GeneExpression>& gene : genes)
        {
            list->AddGene(gene.release());
            if (list->GetContentGeneration() != generation)
                return false;
        }
        list->Resize(list->GetNumGenes());
        return list->GetContentGeneration() == generation;
    }
    catch (const std::exception& e)
    {
        if (list->GetContentGeneration() == generation)
            list->GeneQueryError(nullptr, e.what());
    }
    catch (...)
    {
        if (list->GetContentGeneration() == generation)
            list->GeneQueryError(nullptr, "Unexpected error while querying local Simlara database.");
    }
    return false;
}

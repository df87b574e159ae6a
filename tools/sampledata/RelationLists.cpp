#include "RelationLists.h"

#include "GeneCatalogue.h"
#include "TextFiles.h"

#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"
#include "model/generelation/RelationGraph.h"

#include <sqlite3.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>

namespace sampledata
{
namespace
{
constexpr int kPartners = 3;
// A series no catalogue holds.
constexpr int kUnknownSeries = 999999;

struct Relation
{
    int series[2];
    int gene[2];
    std::string symbol[2];
    std::string name[2];
    double weight;
};

// Each experiment's top positive partners in the first similar-gene domain.
std::vector<Relation> TopPartners(const std::string& databasePath)
{
    SqlDatabase db(databasePath, SqlDatabase::Access::ReadOnly);
    const std::string table = "S" + std::to_string(SimilarGeneDomainIds().front());
    SqlStatement query(&db, "SELECT a.imageSeriesId, a.geneId, a.symbol, a.name, b.imageSeriesId, b.geneId, b.symbol, "
                            "b.name, t.correlation FROM " + table + " t "
                            "JOIN Experiments a ON t.experiment1 = a.experimentId "
                            "JOIN Experiments b ON t.experiment2 = b.experimentId "
                            "WHERE t.experiment1 != t.experiment2 AND t.correlation > 0 "
                            "ORDER BY a.imageSeriesId, t.correlation DESC, b.imageSeriesId;");
    if (!query.PrepareNext())
        throw std::runtime_error("The correlation database cannot be queried.");
    std::vector<Relation> relations;
    int current = 0;
    int taken = 0;
    while (query.Step())
    {
        Relation r;
        for (int i = 0; i < 2; ++i)
        {
            r.series[i] = sqlite3_column_int(query, 4 * i);
            r.gene[i] = sqlite3_column_int(query, 4 * i + 1);
            r.symbol[i] = query.Text(4 * i + 2);
            r.name[i] = query.Text(4 * i + 3) + ", series " + std::to_string(r.series[i]);
        }
        r.weight = sqlite3_column_double(query, 8);
        if (r.series[0] != current)
        {
            current = r.series[0];
            taken = 0;
        }
        if (taken++ < kPartners)
            relations.push_back(r);
    }
    return relations;
}

std::string Weight(double weight)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out.precision(4);
    out << weight;
    return out.str();
}
} // namespace

void WriteRelationLists(const std::string& serviceFolder, const std::string& correlationDatabase)
{
    const std::vector<Relation> relations = TopPartners(correlationDatabase);
    if (relations.size() < 20)
        throw std::runtime_error("The correlation database relates too few series.");
    const std::filesystem::path folder = std::filesystem::path(serviceFolder) / "relations";
    std::filesystem::create_directories(folder);

    std::string families = "seriesId1,geneId1,symbol1,name1,seriesId2,geneId2,symbol2,name2,weight\r\n";
    for (const Relation& r : relations)
    {
        for (int i = 0; i < 2; ++i)
            families += std::to_string(r.series[i]) + "," + std::to_string(r.gene[i]) + "," + r.symbol[i] + ",\"" +
                        r.name[i] + "\",";
        families += Weight(r.weight) + "\r\n";
    }
    WriteFile((folder / "families.csv").string(), families);

    std::string shortForm;
    for (size_t k = 0; k < 20; ++k)
        shortForm += std::to_string(relations[k].series[0]) + "," + relations[k].symbol[0] + "," +
                     std::to_string(relations[k].series[1]) + "," + relations[k].symbol[1] + "," +
                     Weight(relations[k].weight) + "\n";
    WriteFile((folder / "short.csv").string(), shortForm);

    const Relation& a = relations[0];
    const Relation& b = relations[1];
    auto line = [](int s1, const std::string& y1, int s2, const std::string& y2, const std::string& weight) {
        return std::to_string(s1) + "," + y1 + "," + std::to_string(s2) + "," + y2 + "," + weight + "\n";
    };
    std::string edges = "\xEF\xBB\xBF";
    edges += line(a.series[0], a.symbol[0], a.series[1], a.symbol[1], "0.9");     // read first: its weight stays
    edges += line(a.series[0], a.symbol[0], a.series[1], a.symbol[1], "0.5");     // repeated
    edges += line(a.series[1], a.symbol[1], a.series[0], a.symbol[0], "0.1");     // reversed
    edges += line(b.series[1], b.symbol[1], b.series[1], b.symbol[1], "1");       // self-relation
    edges += line(0, "Zero", b.series[1], b.symbol[1], "1");                      // series id 0
    edges += "x12," + b.symbol[0] + "," + std::to_string(b.series[0]) + "," + b.symbol[0] + ",1\n"; // not a number
    edges += line(b.series[0], b.symbol[0], b.series[1], b.symbol[1], "0");       // weight 0
    edges += line(b.series[0], b.symbol[0], a.series[0], a.symbol[0], "-0.4");    // below 0: skipped
    edges += line(a.series[1], a.symbol[1], kUnknownSeries, "Unknown1", "0.3");  // not served
    WriteFile((folder / "edge-cases.csv").string(), edges);
}

void CheckRelationLists(const std::string& serviceFolder, std::vector<std::string>& problems)
{
    const std::filesystem::path folder = std::filesystem::path(serviceFolder) / "relations";
    const sampleservice::GeneCatalogue catalogue = sampleservice::GeneCatalogue::ReadFile((std::filesystem::path(serviceFolder) / "catalogue.txt").string());
    std::set<int> served;
    for (const sampleservice::ImageSeries& series : catalogue.series)
        if (!series.thumbnailGrid.empty())
            served.insert(series.imageSeriesId);

    GeneRelation::RelationGraph graph;
    graph.ReadFile((folder / "families.csv").string().c_str());
    if (graph.GetNumNodes() < 100)
        problems.push_back("relations/families.csv relates only " + std::to_string(graph.GetNumNodes()) + " series.");
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        if (!served.count(it->first))
        {
            problems.push_back("relations/families.csv names series " + std::to_string(it->first) +
                               ", which has no served thumbnail.");
            break;
        }
        if (it->second->GetName().find(',') == std::string::npos || it->second->GetGeneId() == 0)
        {
            problems.push_back("relations/families.csv lost the name or gene id of series " +
                               std::to_string(it->first) + ".");
            break;
        }
    }
    graph.ReadFile((folder / "short.csv").string().c_str());
    if (graph.GetNumNodes() < 5)
        problems.push_back("relations/short.csv reads as too few series.");
    graph.ReadFile((folder / "edge-cases.csv").string().c_str());
    // The first weight of the repeated pair stays, the self-relation is one
    // edge, the unknown series is read like any other.
    std::multiset<float> weights;
    bool self = false;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
        {
            weights.insert(edge->second);
            self = self || edge->first == it->second;
        }
    if (graph.GetNumNodes() < 4 || graph.GetNode(kUnknownSeries) == nullptr || !self ||
        weights.count(0.9f) != 2 || weights.count(0.5f) != 0 || weights.count(0.1f) != 0)
        problems.push_back("relations/edge-cases.csv does not read as its edge cases.");
}
} // namespace sampledata

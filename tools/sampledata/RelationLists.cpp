#include "RelationLists.h"

#include "GeneCatalogue.h"
#include "TextFiles.h"

#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"
#include "model/generelation/RelationGraph.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sampledata
{
namespace
{
// A series no catalogue holds.
constexpr int kUnknownSeries = 999999;

// The families of families.csv: forebrain families, whose expression
// overlaps in places, so that they relate to each other as well.
const char* const kFamilies[] = {"Crtx", "Lmn", "Hpcm", "Dgrf", "Amgn", "Olbr"};
// Genes per family: the first of them by member number.
constexpr size_t kMembers = 12;
// Each family's genes form a cycle in member order; a gene is related to the
// genes one, two and three places on with these falling similarities...
const char* const kWithinFamily[] = {"0.875", "0.5", "0.25"};
// ...and to every gene of each neighbouring family with this weaker one.
const char* const kAcrossFamilies = "0.125";
// A family's neighbours: the families it correlates with most.
constexpr size_t kNeighbours = 3;

struct Gene
{
    int series = 0;
    int gene = 0;
    std::string symbol;
    std::string name;
};

struct Relation
{
    int series[2];
    int gene[2];
    std::string symbol[2];
    std::string name[2];
    std::string weight;
};

// The symbol without its member number: the family.
std::string FamilyOf(const std::string& symbol)
{
    return symbol.substr(0, symbol.find_last_not_of("0123456789") + 1);
}

int MemberNumber(const std::string& symbol)
{
    return std::atoi(symbol.c_str() + FamilyOf(symbol).size());
}

bool IsListedFamily(const std::string& family)
{
    return std::find(std::begin(kFamilies), std::end(kFamilies), family) != std::end(kFamilies);
}

// The first kMembers genes of each listed family, each by its first series.
std::map<std::string, std::vector<Gene>> ReadFamilies(SqlDatabase& db)
{
    SqlStatement query(&db, "SELECT imageSeriesId, geneId, symbol, name FROM Experiments ORDER BY imageSeriesId;");
    if (!query.PrepareNext())
        throw std::runtime_error("The correlation database cannot be queried.");
    std::set<int> seen;
    std::map<std::string, std::vector<Gene>> families;
    while (query.Step())
    {
        Gene g;
        g.series = sqlite3_column_int(query, 0);
        g.gene = sqlite3_column_int(query, 1);
        g.symbol = query.Text(2);
        g.name = query.Text(3) + ", series " + std::to_string(g.series);
        if (seen.insert(g.gene).second && IsListedFamily(FamilyOf(g.symbol)))
            families[FamilyOf(g.symbol)].push_back(g);
    }
    for (const char* family : kFamilies)
    {
        std::vector<Gene>& genes = families[family];
        if (genes.size() < kMembers)
            throw std::runtime_error(std::string("The correlation database holds too few genes of the family ") +
                                     family + ".");
        std::sort(genes.begin(), genes.end(),
                  [](const Gene& a, const Gene& b) { return MemberNumber(a.symbol) < MemberNumber(b.symbol); });
        genes.resize(kMembers);
    }
    return families;
}

// Pairs of neighbouring families: each family with the kNeighbours others
// whose series it correlates with most in the first similar-gene domain.
std::set<std::pair<std::string, std::string>> NeighbouringFamilies(SqlDatabase& db)
{
    const std::string table = "S" + std::to_string(SimilarGeneDomainIds().front());
    SqlStatement query(&db, "SELECT a.symbol, b.symbol, t.correlation FROM " + table + " t "
                            "JOIN Experiments a ON t.experiment1 = a.experimentId "
                            "JOIN Experiments b ON t.experiment2 = b.experimentId;");
    if (!query.PrepareNext())
        throw std::runtime_error("The correlation database cannot be queried.");
    std::map<std::pair<std::string, std::string>, double> strength;
    while (query.Step())
    {
        std::string a = FamilyOf(query.Text(0));
        std::string b = FamilyOf(query.Text(1));
        if (a == b || !IsListedFamily(a) || !IsListedFamily(b))
            continue;
        strength[std::minmax(a, b)] += sqlite3_column_double(query, 2);
    }
    std::set<std::pair<std::string, std::string>> pairs;
    for (const char* family : kFamilies)
    {
        std::vector<std::pair<double, std::pair<std::string, std::string>>> ranked;
        for (const auto& [pair, sum] : strength)
            if (pair.first == family || pair.second == family)
                ranked.emplace_back(-sum, pair);
        std::sort(ranked.begin(), ranked.end());
        for (size_t k = 0; k < ranked.size() && k < kNeighbours; ++k)
            pairs.insert(ranked[k].second);
    }
    return pairs;
}

Relation Relate(const Gene& a, const Gene& b, const std::string& weight)
{
    Relation r;
    const Gene* genes[2] = {&a, &b};
    for (int i = 0; i < 2; ++i)
    {
        r.series[i] = genes[i]->series;
        r.gene[i] = genes[i]->gene;
        r.symbol[i] = genes[i]->symbol;
        r.name[i] = genes[i]->name;
    }
    r.weight = weight;
    return r;
}

// Every weight is a multiple of 1/8, so a gene's weights add up to the same
// float in any order: all genes of a family have one size in the view, and
// none loses its label to a larger family member next to it.
std::vector<Relation> FamilyRelations(const std::string& correlationDatabase)
{
    SqlDatabase db(correlationDatabase, SqlDatabase::Access::ReadOnly);
    const std::map<std::string, std::vector<Gene>> families = ReadFamilies(db);
    std::vector<Relation> relations;
    for (const char* family : kFamilies)
    {
        const std::vector<Gene>& genes = families.at(family);
        for (size_t i = 0; i < genes.size(); ++i)
            for (size_t step = 1; step <= std::size(kWithinFamily); ++step)
                relations.push_back(Relate(genes[i], genes[(i + step) % genes.size()], kWithinFamily[step - 1]));
    }
    for (const auto& [first, second] : NeighbouringFamilies(db))
        for (const Gene& a : families.at(first))
            for (const Gene& b : families.at(second))
                relations.push_back(Relate(a, b, kAcrossFamilies));
    return relations;
}
} // namespace

void WriteRelationLists(const std::string& serviceFolder, const std::string& correlationDatabase)
{
    const std::vector<Relation> relations = FamilyRelations(correlationDatabase);
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
        families += r.weight + "\r\n";
    }
    WriteFile((folder / "families.csv").string(), families);

    std::string shortForm;
    for (size_t k = 0; k < 20; ++k)
        shortForm += std::to_string(relations[k].series[0]) + "," + relations[k].symbol[0] + "," +
                     std::to_string(relations[k].series[1]) + "," + relations[k].symbol[1] + "," +
                     relations[k].weight + "\n";
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
    // Weights that are no finite float: skipped as the negative one is.
    const char* const nonFinite[] = {"nan", "inf", "1e39"};
    for (int k = 0; k < 3; ++k)
        edges += line(kUnknownSeries + 1 + k, "Unread" + std::to_string(k + 1), a.series[0], a.symbol[0], nonFinite[k]);
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
    const size_t expected = std::size(kFamilies) * kMembers;
    if (static_cast<size_t>(graph.GetNumNodes()) != expected)
        problems.push_back("relations/families.csv relates " + std::to_string(graph.GetNumNodes()) +
                           " series instead of " + std::to_string(expected) + ".");
    std::map<std::string, double> familyWeight;
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
        // One size for every gene of a family (see FamilyRelations).
        const double weight = it->second->GetWeightSum();
        const auto known = familyWeight.emplace(FamilyOf(it->second->GetSymbol()), weight).first;
        if (known->second != weight)
        {
            problems.push_back("relations/families.csv gives the genes of " + known->first +
                               " different total weights.");
            break;
        }
    }
    // All in one piece: the layout drives unrelated parts far apart.
    std::set<const GeneRelation::GraphNode*> reached;
    std::vector<const GeneRelation::GraphNode*> pending;
    if (graph.GetNumNodes() > 0)
        pending.push_back(graph.Begin()->second);
    while (!pending.empty())
    {
        const GeneRelation::GraphNode* node = pending.back();
        pending.pop_back();
        if (!reached.insert(node).second)
            continue;
        for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
            pending.push_back(edge->first);
    }
    if (reached.size() != static_cast<size_t>(graph.GetNumNodes()))
        problems.push_back("relations/families.csv falls apart into unrelated parts.");
    graph.ReadFile((folder / "short.csv").string().c_str());
    if (graph.GetNumNodes() < 5)
        problems.push_back("relations/short.csv reads as too few series.");
    graph.ReadFile((folder / "edge-cases.csv").string().c_str());
    // The first weight of the repeated pair stays, the self-relation is one
    // edge, the unknown series is read like any other, weights that are no
    // finite float are not.
    std::multiset<float> weights;
    bool self = false;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
        {
            weights.insert(edge->second);
            self = self || edge->first == it->second;
        }
    bool nonFiniteRead = false;
    for (int k = 1; k <= 3; ++k)
        nonFiniteRead = nonFiniteRead || graph.GetNode(kUnknownSeries + k) != nullptr;
    if (graph.GetNumNodes() < 4 || graph.GetNode(kUnknownSeries) == nullptr || !self || nonFiniteRead ||
        weights.count(0.9f) != 2 || weights.count(0.5f) != 0 || weights.count(0.1f) != 0)
        problems.push_back("relations/edge-cases.csv does not read as its edge cases.");
}
} // namespace sampledata

// Reading gene relation files into a RelationGraph.

#include "model/generelation/RelationGraph.h"

#include "utility/AlertBox.h"
#include "utility/LineReader.h"
#include "utility/StringUtils.h"
#include "utility/TextParsing.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace GeneRelation
{
namespace
{
// Relations read before the user is asked whether to go on.
const int kRelationsBeforeQuestion = 5000;

// One relation as read from a line.
struct RelationLine
{
    int seriesId[2] = {0, 0};
    int geneId[2] = {0, 0};
    std::string name[2];
    std::string symbol[2];
    float weight = 0.0f;
};

// A weight as the graph stores it: "nan", "inf" and numbers beyond the range
// of float stay infinite or NaN, so that the import refuses them instead of
// taking them as 0.
float ReadWeight(const std::string& field)
{
    return RoundToFloat(ParseLeadingDouble(field));
}

// Fills relation from the fields of a line; false when the line holds no
// relation (too few fields, or a series id that does not read as non-zero).
bool ReadRelation(const std::vector<std::string>& fields, RelationLine& relation)
{
    if (fields.size() >= 9)
    {
        for (int i = 0; i < 2; ++i)
        {
            relation.seriesId[i] = ParseLeadingInt(fields[4 * i], IntOverflow::Zero);
            relation.geneId[i] = ParseLeadingInt(fields[4 * i + 1], IntOverflow::Zero);
            relation.symbol[i] = fields[4 * i + 2];
            relation.name[i] = fields[4 * i + 3];
        }
        relation.weight = ReadWeight(fields[8]);
    }
    else if (fields.size() >= 5)
    {
        for (int i = 0; i < 2; ++i)
        {
            relation.seriesId[i] = ParseLeadingInt(fields[2 * i], IntOverflow::Zero);
            relation.geneId[i] = 0;
            relation.symbol[i] = fields[2 * i + 1];
            relation.name[i] = fields[2 * i + 1];
        }
        relation.weight = ReadWeight(fields[4]);
    }
    else
        return false;
    return relation.seriesId[0] != 0 && relation.seriesId[1] != 0;
}
} // namespace

void RelationGraph::ImportFile(const char* path)
{
    ReadFile(path);
    ComputeLayout();
}

void RelationGraph::ReadFile(const char* path)
{
    DeleteNodes();
    const std::string failure = std::string("Gene relation file could not be opened: ") + (path ? path : "");
    LineReader reader(path);
    if (!reader.IsOpen())
        throw std::runtime_error(failure);

    std::string line;
    bool tooLong = false;
    std::vector<std::string> fields;
    RelationLine relation;
    int count = 0;
    int relations = 0;
    int badWeights = 0;
    bool asked = false;
    bool first = true;
    while (reader.ReadLine(line, tooLong))
    {
        if (first)
        {
            first = false;
            // A byte order mark would make the first series id unreadable.
            line = std::string(WithoutByteOrderMark(line));
        }
        if (tooLong)
            continue;
        StringUtils::SplitLine(line, fields);
        if (!ReadRelation(fields, relation))
            continue;
        if (++count > kRelationsBeforeQuestion && !asked)
        {
            asked = true;
            if (!ShowConfirmationBox("5000 rows have been imported so far. Do you want to continue?"))
                break;
        }
        if (!IsUsableWeight(relation.weight))
        {
            ++badWeights;
            continue;
        }
        const int newNodes = (GetNode(relation.seriesId[0]) == nullptr ? 1 : 0) +
                             (relation.seriesId[1] != relation.seriesId[0] && GetNode(relation.seriesId[1]) == nullptr
                                  ? 1
                                  : 0);
        if (relations >= kMaxRelations || GetNumNodes() + newNodes > kMaxGenes)
        {
            ShowAlertBox("The gene relation file is too large to show whole: only its first " +
                         std::to_string(relations) + " relations between " + std::to_string(GetNumNodes()) +
                         " genes are shown.");
            break;
        }
        ++relations;
        AddRelation(relation.seriesId[0], relation.geneId[0], relation.name[0].c_str(), relation.symbol[0].c_str(),
                    relation.seriesId[1], relation.geneId[1], relation.name[1].c_str(),
                    relation.symbol[1].c_str(), relation.weight);
    }
    if (badWeights != 0)
        std::printf("Skipped %d gene relations with a negative or non-finite weight.\n", badWeights);
}
} // namespace GeneRelation

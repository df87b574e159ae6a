#ifndef NUVARO_TESTS_GENERELATION_GRAPHTESTSUPPORT_H
#define NUVARO_TESTS_GENERELATION_GRAPHTESTSUPPORT_H

#include "model/generelation/RelationGraph.h"

#include <string>

namespace graphtest
{
inline void Place(GeneRelation::GraphNode* node, float x, float y)
{
    node->GetPosition()[0] = x;
    node->GetPosition()[1] = y;
}

// Relates series a and b (symbols "S<id>", no names or gene ids).
inline void Relate(GeneRelation::RelationGraph& graph, int a, int b, float weight)
{
    std::string first = "S" + std::to_string(a);
    std::string second = "S" + std::to_string(b);
    graph.AddRelation(a, 0, "", first.c_str(), b, 0, "", second.c_str(), weight);
}
} // namespace graphtest

#endif

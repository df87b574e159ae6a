// Gene relation files (CSV), imported and laid out.
#include "FuzzTarget.h"

#include "model/generelation/RelationGraph.h"

NUVARO_FUZZ_TARGET(RelationFile)
{
    const std::string path = fuzz::ScratchFile("relations.csv", data, size);
    fuzz::Expected([&] {
        GeneRelation::RelationGraph graph;
        graph.ImportFile(path.c_str());
    });
}

// The structure ontology (CSV).
#include "FuzzTarget.h"

#include "model/BrainOntology.h"

NUVARO_FUZZ_TARGET(Ontology)
{
    const std::string path = fuzz::ScratchFile("ontology.csv", data, size);
    fuzz::Expected([&] { ImageGrid::BrainOntology ontology(path.c_str()); });
}

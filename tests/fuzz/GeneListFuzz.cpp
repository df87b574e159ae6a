// Gene list files (CSV) imported into a result list.
#include "FuzzTarget.h"

#include "model/PagedGeneList.h"

NUVARO_FUZZ_TARGET(GeneList)
{
    const std::string path = fuzz::ScratchFile("genes.csv", data, size);
    fuzz::Expected([&] {
        PagedGeneList list("0310", 10);
        list.LoadFile(path.c_str());
    });
}

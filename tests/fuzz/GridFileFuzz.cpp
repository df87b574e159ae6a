// Grid files of every version, thumbnails included, as they come from the
// service or the disk.
#include "FuzzTarget.h"

#include "io/MemoryStream.h"
#include "model/GeneExpression.h"

#include <cstring>

NUVARO_FUZZ_TARGET(GridFile)
{
    MemoryStream stream(static_cast<unsigned>(size));
    if (size > 0)
        std::memcpy(stream.GetBuffer(), data, size);
    fuzz::Expected([&] { GeneExpression gene(stream); });
}

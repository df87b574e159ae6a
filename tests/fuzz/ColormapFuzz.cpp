// Colormap files.
#include "FuzzTarget.h"

#include "display/Colormap.h"

NUVARO_FUZZ_TARGET(Colormap)
{
    const std::string path = fuzz::ScratchFile("colours.map", data, size);
    fuzz::Expected([&] { Colormap map(path.c_str()); });
}

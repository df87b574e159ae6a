// A packed slice stack (an offset table and greyscale JPEG planes) of an
// 8 x 8 x 8 volume.
#include "FuzzTarget.h"

#include "io/Image3d.h"

NUVARO_FUZZ_TARGET(PackedSlices)
{
    const std::string path = fuzz::ScratchFile("slices.comp", data, size);
    fuzz::Expected([&] {
        Image3d volume;
        volume.ImportSlices(path.c_str(), 8, 8, 8, 25.0f, nullptr, nullptr, nullptr);
    });
}

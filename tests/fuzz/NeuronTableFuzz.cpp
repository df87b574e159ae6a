// The neuron table that links voxels to the neuron archive.
#include "FuzzTarget.h"

#include "display/NeuronArchiveLink.h"

#include <string_view>

NUVARO_FUZZ_TARGET(NeuronTable)
{
    fuzz::Expected([&] { NeuronArchive::ParseTable(std::string_view(reinterpret_cast<const char*>(data), size)); });
}

#ifndef NUVARO_SAMPLEDATA_NEURONCLASSES_H
#define NUVARO_SAMPLEDATA_NEURONCLASSES_H

#include "Volumes.h"

#include <array>
#include <string>
#include <vector>

namespace sampledata
{
// The three neuron classes that ship as grid files.
enum NeuronClass
{
    kNonPyramidalPrincipal = 0,
    kPyramidal = 1,
    kInterneuron = 2,
    kNeuronClassCount = 3
};

// "Non_Pyr_Principal", "Pyramidal", "Interneuron".
const char* NeuronClassName(int neuronClass);

// One view-grid voxel standing for a reconstructed neuron.
struct NeuronVoxel
{
    int x, y, z;
    int value; // annotation value of the voxel
};

// The voxels of each class (a few thousand each, no voxel in two classes),
// chosen from the structures where such neurons live, in voxel order.
std::array<std::vector<NeuronVoxel>, kNeuronClassCount> ChooseNeuronVoxels(const Volume& view);

// The grid-to-neuron table: "x,y,z,neuron,archive" lines sorted by position,
// some naming "unknown_cell", some ending in CR LF, and some voxels left
// without a line. Every line's key "x,y,z," first occurs at that line.
std::string NeuronTable(const std::array<std::vector<NeuronVoxel>, kNeuronClassCount>& voxels);

// A well-mixed 64-bit hash, the source of every random choice in the sample data.
uint64_t Hash64(uint64_t x);
// A uniform number in [0, 1) from the hash of the inputs.
double Uniform(uint64_t seed, uint64_t a, uint64_t b = 0, uint64_t c = 0);
} // namespace sampledata

#endif

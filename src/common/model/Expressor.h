#ifndef NUVARO_MODEL_EXPRESSOR_H
#define NUVARO_MODEL_EXPRESSOR_H

#include <cstdint>

namespace ImageGrid
{
class AnnotationLabel;
}

// One 100-micrometre view-grid voxel with expression. A plain value.
struct Expressor
{
    // 1-based voxel number in the view grid: x + 1 + nx*y + nx*ny*z.
    uint32_t gridId = 0;
    // First size measure of the voxel's expression.
    float a = 0.0f;
    // Second expression measure.
    float b = 0.0f;
    float score = 0.0f;
    // Key of the section image that holds the voxel's expression, and the
    // pixel position in that image.
    uint16_t imageKey = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    // Number of expressing objects in the voxel; 0 marks an empty record.
    uint16_t count = 0;
    // The voxel's grid coordinates, derived from gridId when a file is read.
    float gridX = 0.0f;
    float gridY = 0.0f;
    float gridZ = 0.0f;
    // The structure at the voxel centre, or null.
    const ImageGrid::AnnotationLabel* label = nullptr;
};

// Orders expressors by grid id.
struct LessExpressor
{
    bool operator()(const Expressor& left, const Expressor& right) const { return left.gridId < right.gridId; }
};

// Compares an expressor's grid id with a bare grid id, for binary searches.
struct LessExpressorGridId
{
    bool operator()(const Expressor& left, uint32_t gridId) const { return left.gridId < gridId; }
    bool operator()(uint32_t gridId, const Expressor& right) const { return gridId < right.gridId; }
};

#endif

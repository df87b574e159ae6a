#ifndef NUVARO_MODEL_BRAINFEATURE_H
#define NUVARO_MODEL_BRAINFEATURE_H

#include "model/Expressor.h"

#include <cstdint>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
}

// The expressors of one data set that lie in one structure. The pointers point
// into the owning data set's expressor list, which rebuilds its features
// whenever that list changes.
struct BrainFeature
{
    const ImageGrid::AnnotationLabel* label = nullptr;
    // Summary values kept for each structure; nothing fills them yet.
    uint32_t value = 0;
    float measures[3] = {0.0f, 0.0f, 0.0f};
    std::vector<const Expressor*> expressors;
};

#endif

#include "io/GeneExpressionCache.h"

#include <climits>
#include <cstdio>
#include <stdexcept>

GeneExpressionCache::~GeneExpressionCache() {}

void GeneExpressionCache::CheckAdding(unsigned int geneId, GeneIdType type, const unsigned char* data,
                                      unsigned long size)
{
    // A stream cannot hand back more than this, so such an entry would be useless.
    if (size > UINT_MAX)
        throw std::runtime_error("The grid file is too large to be kept in the cache.");
    if (data == nullptr && size > 0)
        throw std::runtime_error("No grid file data was given to the cache.");
    std::printf("Adding gene %d type %d to cache, %dk\n", static_cast<int>(geneId), static_cast<int>(type),
                static_cast<int>(size / 1024));
}

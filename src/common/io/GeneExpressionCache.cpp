#include "io/GeneExpressionCache.h"

#include <cstdio>

GeneExpressionCache::~GeneExpressionCache() {}

void GeneExpressionCache::LogAdding(unsigned int geneId, GeneIdType type, unsigned long size)
{
    std::printf("Adding gene %d type %d to cache, %dk\n", static_cast<int>(geneId), static_cast<int>(type),
                static_cast<int>(size / 1024));
}

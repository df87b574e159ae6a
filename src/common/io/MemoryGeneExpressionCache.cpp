#include "io/MemoryGeneExpressionCache.h"

#include "io/MemoryStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

MemoryGeneExpressionCache::MemoryGeneExpressionCache() : m_totalBytes(0) {}

MemoryGeneExpressionCache::MemoryGeneExpressionCache(Clock clock) : m_totalBytes(0), m_clock(std::move(clock)) {}

MemoryGeneExpressionCache::~MemoryGeneExpressionCache() {}

MemoryGeneExpressionCache::GeneMap::iterator MemoryGeneExpressionCache::Find(unsigned int geneId,
                                                                             GeneIdType type)
{
    auto range = m_genes.equal_range(geneId);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->second.type == type)
            return it;
    }
    return m_genes.end();
}

void MemoryGeneExpressionCache::Touch(GeneInfo& info)
{
    const CacheAge age = m_clock.Stamp();
    info.lastAccess = age.time;
    info.accessOrder = age.order;
}

void MemoryGeneExpressionCache::AddGene(unsigned int geneId, int /*level*/, GeneIdType type,
                                        const unsigned char* data, unsigned long size)
{
    CheckAdding(geneId, type, data, size);
    std::vector<unsigned char> bytes(data, data + size);

    auto it = Find(geneId, type);
    if (it == m_genes.end())
        it = m_genes.insert({geneId, GeneInfo{0, type, {}, 0}});
    else
        m_totalBytes -= static_cast<unsigned long>(it->second.data.size());
    it->second.data.swap(bytes);
    Touch(it->second);
    m_totalBytes += size;

    CleanCache();
}

bool MemoryGeneExpressionCache::GetGene(unsigned int geneId, int /*level*/, GeneIdType type,
                                        MemoryStream& out)
{
    auto it = Find(geneId, type);
    if (it == m_genes.end())
        return false;

    const std::vector<unsigned char>& data = it->second.data;
    out.Resize(static_cast<unsigned int>(data.size()));
    if (!data.empty())
        std::memcpy(out.GetBuffer(), data.data(), data.size());
    Touch(it->second);
    return true;
}

void MemoryGeneExpressionCache::RemoveGene(unsigned int geneId, int /*level*/, GeneIdType type)
{
    auto it = Find(geneId, type);
    if (it == m_genes.end())
        return;
    m_totalBytes -= static_cast<unsigned long>(it->second.data.size());
    m_genes.erase(it);
}

void MemoryGeneExpressionCache::CleanCache()
{
    if (m_totalBytes < kCleanThreshold)
        return;
    std::printf("Cleaning cache.\n");

    std::vector<GeneAccessInfo> order;
    order.reserve(m_genes.size());
    for (const auto& entry : m_genes)
        order.emplace_back(entry.first, entry.second.type, static_cast<long>(entry.second.lastAccess),
                           entry.second.accessOrder);
    std::sort(order.begin(), order.end());

    for (const GeneAccessInfo& info : order)
    {
        if (m_totalBytes <= kCleanTarget)
            break;
        auto it = Find(info.geneId, info.type);
        if (it == m_genes.end())
            continue;
        const unsigned long size = static_cast<unsigned long>(it->second.data.size());
        m_totalBytes -= size;
        std::printf("Removing gene %d type %d (%dk)\n", static_cast<int>(info.geneId), static_cast<int>(info.type),
                    static_cast<int>(size / 1024));
        m_genes.erase(it);
    }
}

GeneAccessInfo::GeneAccessInfo(unsigned int geneId_, GeneExpressionCache::GeneIdType type_, long lastAccess_,
                               unsigned long long accessOrder_)
    : geneId(geneId_), type(type_), lastAccess(lastAccess_), accessOrder(accessOrder_)
{
}

bool GeneAccessInfo::operator<(const GeneAccessInfo& other) const
{
    return CacheAge{static_cast<time_t>(lastAccess), accessOrder} <
           CacheAge{static_cast<time_t>(other.lastAccess), other.accessOrder};
}

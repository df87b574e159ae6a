#ifndef NUVARO_MODEL_ANNOTATIONSELECTOR_H
#define NUVARO_MODEL_ANNOTATIONSELECTOR_H

#include <cstdint>

namespace ImageGrid
{
// A set of up to 256 structures. Bit b stands for the structure at position b
// of the ontology file (counted from 1, see BrainOntology), not for its
// annotation value; it lives in word b / 64 at bit b % 64. A plain value.
class AnnotationSelector
{
public:
    // The empty set.
    AnnotationSelector() : AnnotationSelector(false) {}
    // Every bit set (true) or none (false).
    explicit AnnotationSelector(bool all)
    {
        const uint64_t word = all ? ~uint64_t(0) : uint64_t(0);
        for (uint64_t& w : m_words)
            w = word;
    }

    // Sets or clears one bit.
    void Set(unsigned char bit, bool on)
    {
        const uint64_t mask = uint64_t(1) << (bit % 64);
        if (on)
            m_words[bit / 64] |= mask;
        else
            m_words[bit / 64] &= ~mask;
    }

    // on: adds every bit of other (union); off: removes them (difference).
    void Set(AnnotationSelector other, bool on)
    {
        for (int i = 0; i < 4; ++i)
        {
            if (on)
                m_words[i] |= other.m_words[i];
            else
                m_words[i] &= ~other.m_words[i];
        }
    }

    // Union with other.
    void Merge(AnnotationSelector other) { Set(other, true); }

    // Inverts all 256 bits.
    void Toggle()
    {
        for (uint64_t& w : m_words)
            w = ~w;
    }

    // True when the two sets share at least one bit.
    bool Intersects(AnnotationSelector other) const
    {
        for (int i = 0; i < 4; ++i)
        {
            if ((m_words[i] & other.m_words[i]) != 0)
                return true;
        }
        return false;
    }

    // True when the bit is in the set.
    bool IsSet(unsigned char bit) const { return ((m_words[bit / 64] >> (bit % 64)) & 1u) != 0; }

    bool operator==(const AnnotationSelector& other) const
    {
        for (int i = 0; i < 4; ++i)
        {
            if (m_words[i] != other.m_words[i])
                return false;
        }
        return true;
    }
    bool operator!=(const AnnotationSelector& other) const { return !(*this == other); }

private:
    uint64_t m_words[4];
};
} // namespace ImageGrid

#endif

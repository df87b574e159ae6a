#ifndef NUVARO_TESTS_SUPPORT_LITTLEENDIANBYTES_H
#define NUVARO_TESTS_SUPPORT_LITTLEENDIANBYTES_H

// Bytes of binary test files written field by field. Header-only.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace testsupport
{
// Appends little-endian numbers and length-prefixed strings.
class LittleEndianBytes
{
public:
    LittleEndianBytes& U8(uint8_t v)
    {
        m_bytes += static_cast<char>(v);
        return *this;
    }
    LittleEndianBytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    LittleEndianBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    LittleEndianBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    LittleEndianBytes& F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof(bits));
        return U32(bits);
    }
    // One length byte, then the bytes.
    LittleEndianBytes& Str(const std::string& s)
    {
        U8(static_cast<uint8_t>(s.size()));
        m_bytes += s;
        return *this;
    }
    LittleEndianBytes& Raw(const std::string& bytes)
    {
        m_bytes += bytes;
        return *this;
    }
    LittleEndianBytes& Zeros(size_t count)
    {
        m_bytes.append(count, '\0');
        return *this;
    }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};
} // namespace testsupport

#endif

#include "utility/ByteSwapper.h"

#include <cstring>

namespace
{
constexpr bool IsBigEndianHost()
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return true;
#else
    return false;
#endif
}

template <typename T>
void SwapEach(T* values, int count)
{
    if (!IsBigEndianHost() || values == nullptr)
        return;
    for (int i = 0; i < count; ++i)
    {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &values[i], sizeof(T));
        for (std::size_t k = 0; k < sizeof(T) / 2; ++k)
        {
            const unsigned char t = bytes[k];
            bytes[k] = bytes[sizeof(T) - 1 - k];
            bytes[sizeof(T) - 1 - k] = t;
        }
        std::memcpy(&values[i], bytes, sizeof(T));
    }
}
} // namespace

void SwapByteRange(int16_t* values, int count) { SwapEach(values, count); }
void SwapByteRange(uint16_t* values, int count) { SwapEach(values, count); }
void ReverseLongWordRange(int32_t* values, int count) { SwapEach(values, count); }
void ReverseLongWordRange(uint32_t* values, int count) { SwapEach(values, count); }
void ReverseLongWordRange(float* values, int count) { SwapEach(values, count); }

uint32_t LittleEndianToHost(uint32_t value)
{
    ReverseLongWordRange(&value, 1);
    return value;
}

#ifndef NUVARO_UTILITY_BYTESWAPPER_H
#define NUVARO_UTILITY_BYTESWAPPER_H

#include <cstdint>

// Every number wider than one byte in our own files is little-endian. These
// convert consecutive values in place between little-endian and host order;
// each is its own inverse and does nothing on a little-endian host.
// (The 32-bit one keeps its historical name; it works on fixed 32-bit values.)
void SwapByteRange(int16_t* values, int count);
void SwapByteRange(uint16_t* values, int count);
void ReverseLongWordRange(int32_t* values, int count);
void ReverseLongWordRange(uint32_t* values, int count);
void ReverseLongWordRange(float* values, int count);

// Convenience forms for one value.
uint32_t LittleEndianToHost(uint32_t value);
inline uint32_t HostToLittleEndian(uint32_t value) { return LittleEndianToHost(value); }

#endif

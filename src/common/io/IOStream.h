#ifndef NUVARO_IO_IOSTREAM_H
#define NUVARO_IO_IOSTREAM_H

#include <string>

// A byte stream over a file or a memory buffer. Every failure is a
// std::runtime_error carrying a sentence for the user; operations never
// report failure by return value. Positions and counts are 32-bit byte counts.
class IOStream
{
public:
    virtual ~IOStream() = 0;

    virtual void Read(void* dest, unsigned int count) = 0;
    virtual void Write(const void* src, unsigned int count) = 0;
    virtual unsigned int Tell() = 0;
    virtual void Seek(unsigned int position) = 0;
    virtual void Skip(unsigned int count) = 0;

    // Length-prefixed string: one byte L (0..255), then L bytes, no terminator.
    virtual void WriteString(const std::string& s);
    // Reading an empty string leaves s as it was.
    virtual void ReadString(std::string& s);

    // Move sizeof(T) bytes exactly as they lie in host memory. Multi-byte
    // values are little-endian on disk: pass them through the byte-order
    // functions (ByteSwapper.h) after reading and before writing.
    template <typename T>
    T ReadValue()
    {
        T value;
        Read(&value, sizeof(T));
        return value;
    }

    template <typename T>
    void WriteValue(const T& value)
    {
        Write(&value, sizeof(T));
    }
};

#endif

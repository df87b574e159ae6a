#ifndef NUVARO_IO_MEMORYSTREAM_H
#define NUVARO_IO_MEMORYSTREAM_H

#include "io/IOStream.h"

#include <vector>

// A stream over a fixed-size, zero-initialised byte buffer. Writing never
// grows the buffer; only Resize does. A failed operation changes nothing.
class MemoryStream : public IOStream
{
public:
    explicit MemoryStream(unsigned int size);
    ~MemoryStream() override;

    void Read(void* dest, unsigned int count) override;
    void Write(const void* src, unsigned int count) override;
    unsigned int Tell() override;
    void Seek(unsigned int position) override;
    void Skip(unsigned int count) override;

    virtual unsigned char* GetBuffer();
    virtual unsigned int GetBufferSize();
    virtual unsigned char* GetCurrentPosition();
    // New bytes are zero; the cursor keeps its offset, clamped to the new size.
    virtual void Resize(unsigned int size);

private:
    // True when count bytes remain after the cursor (no wrap-around).
    bool Fits(unsigned int count) const;

    std::vector<unsigned char> m_buffer;
    unsigned int m_offset;
};

#endif

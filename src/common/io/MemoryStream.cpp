#include "io/MemoryStream.h"

#include <cstring>
#include <stdexcept>

MemoryStream::MemoryStream(unsigned int size)
    : m_buffer(size, 0), m_offset(0)
{
}

MemoryStream::~MemoryStream() {}

bool MemoryStream::Fits(unsigned int count) const
{
    // Compare against the remaining bytes so that huge counts cannot wrap.
    return count <= m_buffer.size() - m_offset;
}

void MemoryStream::Read(void* dest, unsigned int count)
{
    if (!Fits(count))
        throw std::runtime_error("Unexpected end of stream while reading.");
    if (count > 0)
        std::memcpy(dest, m_buffer.data() + m_offset, count);
    m_offset += count;
}

void MemoryStream::Write(const void* src, unsigned int count)
{
    if (!Fits(count))
        throw std::runtime_error("Unexpected end of stream while writing.");
    if (count > 0)
        std::memcpy(m_buffer.data() + m_offset, src, count);
    m_offset += count;
}

unsigned int MemoryStream::Tell()
{
    return m_offset;
}

void MemoryStream::Seek(unsigned int position)
{
    if (position > m_buffer.size())
        throw std::runtime_error("Cannot seek past end of stream.");
    m_offset = position;
}

void MemoryStream::Skip(unsigned int count)
{
    if (!Fits(count))
        throw std::runtime_error("Cannot seek past end of stream.");
    m_offset += count;
}

unsigned char* MemoryStream::GetBuffer()
{
    return m_buffer.data();
}

unsigned int MemoryStream::GetBufferSize()
{
    return static_cast<unsigned int>(m_buffer.size());
}

unsigned char* MemoryStream::GetCurrentPosition()
{
    return m_buffer.data() + m_offset;
}

void MemoryStream::Resize(unsigned int size)
{
    m_buffer.resize(size, 0);
    if (m_offset > size)
        m_offset = size;
}

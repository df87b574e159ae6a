#include "io/IOStream.h"

#include <stdexcept>
#include <vector>

IOStream::~IOStream() {}

void IOStream::WriteString(const std::string& s)
{
    if (s.size() > 255)
        throw std::runtime_error("Could not write string to stream. The string was too long: " + s);
    WriteValue<unsigned char>(static_cast<unsigned char>(s.size()));
    if (!s.empty())
        Write(s.data(), static_cast<unsigned int>(s.size()));
}

void IOStream::ReadString(std::string& s)
{
    const unsigned char length = ReadValue<unsigned char>();
    if (length == 0)
        return;
    char buffer[255];
    Read(buffer, length);
    s.assign(buffer, length);
}

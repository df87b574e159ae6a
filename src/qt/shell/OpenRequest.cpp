#include "shell/OpenRequest.h"

#include <algorithm>
#include <cstdint>

namespace OpenRequest
{
const std::string kTaking = "NVTK";
const std::string kGo = "NVGO";

namespace
{
const std::string kMagic = "NVOF";
constexpr unsigned kVersion = 2;

void PutU16(std::string& out, std::size_t value)
{
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

std::size_t GetU16(const std::string& bytes, std::size_t at)
{
    return (static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) << 8) |
           static_cast<unsigned char>(bytes[at + 1]);
}
} // namespace

bool CanCarry(const std::string& path)
{
    return !path.empty() && path[0] == '/' && path.size() <= kMaxPathBytes &&
           path.find('\0') == std::string::npos;
}

std::vector<std::string> Encode(const std::vector<std::string>& files)
{
    std::vector<std::string> requests;
    std::size_t next = 0;
    do
    {
        const std::size_t count = std::min(kMaxFiles, files.size() - next);
        std::string request = kMagic;
        PutU16(request, kVersion);
        PutU16(request, count);
        for (std::size_t i = next; i < next + count; ++i)
        {
            PutU16(request, files[i].size());
            request += files[i];
        }
        requests.push_back(std::move(request));
        next += count;
    } while (next < files.size());
    return requests;
}

Decoder::State Decoder::Refuse(const std::string& why)
{
    m_state = State::Refused;
    m_error = why;
    m_field.clear();
    m_files.clear();
    return m_state;
}

Decoder::State Decoder::Feed(const char* data, std::size_t size)
{
    if (size > 0 && m_state != State::NeedMore)
        return Refuse(m_state == State::Complete ? "bytes after the end of the request" : m_error);
    while (size > 0 && m_state == State::NeedMore)
    {
        const std::size_t take = std::min(size, m_need - m_field.size());
        m_field.append(data, take);
        data += take;
        size -= take;
        if (m_field.size() == m_need)
            TakeField();
    }
    if (size > 0 && m_state == State::Complete)
        return Refuse("bytes after the end of the request");
    return m_state;
}

void Decoder::TakeField()
{
    switch (m_part)
    {
    case Part::Header:
        if (m_field.compare(0, kMagic.size(), kMagic) != 0)
        {
            Refuse("not an open request");
            return;
        }
        if (GetU16(m_field, 4) != kVersion)
        {
            Refuse("open request version " + std::to_string(GetU16(m_field, 4)) + " is not understood");
            return;
        }
        m_count = GetU16(m_field, 6);
        if (m_count > kMaxFiles)
        {
            Refuse("too many files in one open request");
            return;
        }
        m_part = Part::Length;
        m_need = 2;
        break;
    case Part::Length:
        m_need = GetU16(m_field, 0);
        if (m_need == 0 || m_need > kMaxPathBytes)
        {
            Refuse("a path of " + std::to_string(m_need) + " bytes in an open request");
            return;
        }
        m_part = Part::Path;
        break;
    case Part::Path:
        if (!CanCarry(m_field))
        {
            Refuse("a path in an open request is not absolute or holds a NUL");
            return;
        }
        m_files.push_back(m_field);
        m_part = Part::Length;
        m_need = 2;
        break;
    }
    m_field.clear();
    if (m_part == Part::Length && m_files.size() == m_count)
        m_state = State::Complete;
}
} // namespace OpenRequest

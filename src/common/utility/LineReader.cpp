#include "utility/LineReader.h"

#include "utility/OSUtils.h"

LineReader::LineReader(const char* path)
{
    // Only a readable file opens: a folder opens like a file on Linux but
    // holds no lines, and a null path stays closed.
    if (OSUtils::FileExists(path))
        m_file.open(path, std::ios::in | std::ios::binary);
}

bool LineReader::ReadLine(std::string& line, bool& tooLong)
{
    typedef std::filebuf::traits_type Traits;
    line.clear();
    tooLong = false;
    int c = m_file.sbumpc();
    if (c == Traits::eof())
        return false;
    for (; c != Traits::eof(); c = m_file.sbumpc())
    {
        if (c == '\n')
            break;
        if (c == '\r')
        {
            if (m_file.sgetc() == '\n')
                m_file.sbumpc();
            break;
        }
        if (tooLong)
            continue;
        if (line.size() == kMaxLineLength)
        {
            tooLong = true;
            line.clear();
            line.shrink_to_fit();
            continue;
        }
        line += static_cast<char>(c);
    }
    return true;
}

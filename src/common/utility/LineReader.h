#ifndef NUVARO_UTILITY_LINEREADER_H
#define NUVARO_UTILITY_LINEREADER_H

#include <cstddef>
#include <fstream>
#include <string>

// Reads a text file line by line. Lines end with LF, CR LF or a lone CR (as
// written by older Mac spreadsheets); the ends are not part of the line.
class LineReader
{
public:
    // Longer lines are not kept in memory (see ReadLine).
    static constexpr std::size_t kMaxLineLength = 64 * 1024;

    // Opens the file at path; IsOpen() is false when path is null, a
    // folder, or no readable file.
    explicit LineReader(const char* path);

    bool IsOpen() const { return m_file.is_open(); }

    // The next line in line; false at the end of the file. A line longer
    // than kMaxLineLength comes back empty with tooLong set.
    bool ReadLine(std::string& line, bool& tooLong);

private:
    std::filebuf m_file;
};

#endif

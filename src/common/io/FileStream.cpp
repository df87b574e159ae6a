#include "io/FileStream.h"

#include "io/UnicodeFileHelper.h"

#include <filesystem>
#include <stdexcept>

FileStream::FileStream(const char* path, std::ios_base::openmode mode)
{
    // A folder opens like a file on Linux; it is never a valid stream here.
    // Nor, to read from, is anything else that is not a regular file: opening
    // a named pipe waits for a writer, for ever if none comes.
    if (path == nullptr)
        throw std::runtime_error("File could not be opened.");
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status) ||
        ((mode & std::ios_base::in) != 0 && std::filesystem::exists(status) &&
         !std::filesystem::is_regular_file(status)))
        throw std::runtime_error("File could not be opened.");
    OpenStream(m_stream, path, mode);
    if (m_stream.fail())
        throw std::runtime_error("File could not be opened.");
}

FileStream::~FileStream()
{
    try
    {
        Close();
    }
    catch (const std::exception&)
    {
        // A caller that needs to know closes the stream itself.
    }
}

void FileStream::Read(void* dest, unsigned int count)
{
    m_stream.read(static_cast<char*>(dest), static_cast<std::streamsize>(count));
    if (m_stream.fail())
        throw std::runtime_error("Error while reading file.");
}

void FileStream::Write(const void* src, unsigned int count)
{
    m_stream.write(static_cast<const char*>(src), static_cast<std::streamsize>(count));
    if (m_stream.fail())
        throw std::runtime_error("File could not be written.");
}

unsigned int FileStream::Tell()
{
    return static_cast<unsigned int>(static_cast<std::streamoff>(m_stream.tellp()));
}

void FileStream::Seek(unsigned int position)
{
    m_stream.seekp(static_cast<std::streamoff>(position), std::ios_base::beg);
    if (m_stream.fail())
        throw std::runtime_error("File seek failed.");
}

void FileStream::Skip(unsigned int count)
{
    m_stream.seekg(static_cast<std::streamoff>(count), std::ios_base::cur);
    if (m_stream.fail())
        throw std::runtime_error("File seek failed.");
}

void FileStream::Close()
{
    if (!m_stream.is_open())
        return;
    // Buffered bytes reach the file only now; a full disk can show here.
    // (The buffer's own answer: the stream may be failed from an earlier read.)
    if (m_stream.rdbuf()->close() == nullptr)
        throw std::runtime_error("File could not be written.");
}

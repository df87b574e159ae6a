#ifndef NUVARO_IO_FILESTREAM_H
#define NUVARO_IO_FILESTREAM_H

#include "io/IOStream.h"

#include <fstream>

// A stream over a file on disk. Reading and writing share one position.
class FileStream : public IOStream
{
public:
    // Throws "File could not be opened." when the file cannot be opened.
    FileStream(const char* path, std::ios_base::openmode mode);
    ~FileStream() override;

    void Read(void* dest, unsigned int count) override;
    void Write(const void* src, unsigned int count) override;
    unsigned int Tell() override;
    void Seek(unsigned int position) override;
    void Skip(unsigned int count) override;
    // Throws "File could not be written." when bytes still buffered cannot
    // be written; the destructor closes without reporting that.
    virtual void Close();

private:
    std::fstream m_stream;
};

#endif

#include "io/UnicodeFileHelper.h"

void OpenStream(std::fstream& stream, const char* path, std::ios_base::openmode mode)
{
    stream.open(path, mode);
}

void OpenStream(std::ifstream& stream, const char* path, std::ios_base::openmode mode)
{
    stream.open(path, mode);
}

void OpenStream(std::ofstream& stream, const char* path, std::ios_base::openmode mode)
{
    stream.open(path, mode);
}

FILE* OpenFile(const char* path, const char* mode)
{
    return std::fopen(path, mode);
}

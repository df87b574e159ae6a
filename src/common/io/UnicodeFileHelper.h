#ifndef NUVARO_IO_UNICODEFILEHELPER_H
#define NUVARO_IO_UNICODEFILEHELPER_H

#include <cstdio>
#include <fstream>

// Opening files by a UTF-8 path. On Linux paths are bytes, so these are thin.
void OpenStream(std::fstream& stream, const char* path, std::ios_base::openmode mode);
void OpenStream(std::ifstream& stream, const char* path, std::ios_base::openmode mode);
void OpenStream(std::ofstream& stream, const char* path, std::ios_base::openmode mode);
FILE* OpenFile(const char* path, const char* mode);

#endif

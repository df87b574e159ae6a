#ifndef NUVARO_IO_PNGIO_H
#define NUVARO_IO_PNGIO_H

struct png_struct_def;
struct png_info_def;

#include <cstdio>
#include <string>

// Writes an image read back from OpenGL (width x height pixels of red, green,
// blue and a fourth byte, bottom row first) to a PNG file as RGB, top row
// first. Throws std::runtime_error on any failure.
void WritePNG(const char* path, unsigned char* pixels, int width, int height);

// One PNG file being written. Owns the libpng structures and the open file
// and releases them in every case; a partly written file stays on disk.
class PNGWriter
{
public:
    // Opens path for writing: "PNG file not found." when it cannot be created.
    explicit PNGWriter(const char* path);
    ~PNGWriter();
    PNGWriter(const PNGWriter&) = delete;
    PNGWriter& operator=(const PNGWriter&) = delete;

    // Writes the whole image with zlib compression level 1.
    void WriteImage(int width, int height, unsigned char* pixels);

private:
    void Release();

    png_struct_def* m_png;
    png_info_def* m_info;
    FILE* m_file;
    std::string m_error; // libpng's message, kept until the failing call has returned
};

#endif

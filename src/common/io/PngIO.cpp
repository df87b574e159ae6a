#include "io/PngIO.h"

#include "io/UnicodeFileHelper.h"

#include <csetjmp>
#include <stdexcept>
#include <vector>

#include <png.h>

// libpng reports errors through a handler that must not return. The handler
// keeps the message in the writer and jumps back into the function that
// called libpng; the exception is thrown there, after libpng's frames are
// gone. Functions that call setjmp hold only trivially destructible locals.
namespace
{
void PNGWriteErrorFunction(png_structp png, png_const_charp message)
{
    std::string* error = static_cast<std::string*>(png_get_error_ptr(png));
    try
    {
        *error = message != nullptr ? message : "Unknown PNG error.";
    }
    catch (...)
    {
        // Out of memory for the message: the generic text below still reports the failure.
    }
    png_longjmp(png, 1);
}

void PNGWriteWarningFunction(png_structp, png_const_charp) {}

bool WriteHeader(png_structp png, png_infop info, int width, int height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    return true;
}

// Writes the rows top first from bottom-first RGBX pixels through row (width x 3 bytes).
bool WriteRows(png_structp png, png_infop info, int width, int height, const unsigned char* pixels, png_bytep row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    const size_t sourceStride = static_cast<size_t>(width) * 4u;
    for (int r = 0; r < height; ++r)
    {
        const unsigned char* src = pixels + sourceStride * static_cast<size_t>(height - 1 - r);
        for (int x = 0; x < width; ++x)
        {
            row[3 * x] = src[4 * x];
            row[3 * x + 1] = src[4 * x + 1];
            row[3 * x + 2] = src[4 * x + 2];
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}
} // namespace

void WritePNG(const char* path, unsigned char* pixels, int width, int height)
{
    PNGWriter writer(path);
    writer.WriteImage(width, height, pixels);
}

PNGWriter::PNGWriter(const char* path) : m_png(nullptr), m_info(nullptr), m_file(nullptr)
{
    m_file = path != nullptr ? OpenFile(path, "wb") : nullptr;
    if (m_file == nullptr)
        throw std::runtime_error("PNG file not found.");
    m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_error, PNGWriteErrorFunction, PNGWriteWarningFunction);
    if (m_png == nullptr)
    {
        Release();
        throw std::runtime_error("Could not initialize libpng for file writing.");
    }
    m_info = png_create_info_struct(m_png);
    if (m_info == nullptr)
    {
        Release();
        throw std::runtime_error("Could not initialize libpng for file header writing.");
    }
    png_init_io(m_png, m_file);
}

PNGWriter::~PNGWriter()
{
    Release();
}

void PNGWriter::Release()
{
    if (m_png != nullptr)
        png_destroy_write_struct(&m_png, m_info != nullptr ? &m_info : nullptr);
    m_png = nullptr;
    m_info = nullptr;
    if (m_file != nullptr)
        std::fclose(m_file);
    m_file = nullptr;
}

void PNGWriter::WriteImage(int width, int height, unsigned char* pixels)
{
    if (width <= 0 || height <= 0 || pixels == nullptr)
        throw std::runtime_error("There is no image to write as PNG.");
    std::vector<png_byte> row(static_cast<size_t>(width) * 3u);
    m_error = "Could not write the PNG file.";
    if (!WriteHeader(m_png, m_info, width, height) || !WriteRows(m_png, m_info, width, height, pixels, row.data()))
        throw std::runtime_error(m_error);
    // libpng's writes only fill the stdio buffer; a full disk shows when it is flushed.
    if (std::fflush(m_file) != 0 || std::ferror(m_file))
        throw std::runtime_error("Could not write the PNG file.");
}

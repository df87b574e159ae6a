#include "JpegProbe.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace servicetest
{
namespace
{
struct ProbeError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ProbeError*>(info->err)->jump, 1);
}

void Quiet(j_common_ptr, int) {}

bool Decode(const unsigned char* data, unsigned long size, int* width, int* height, unsigned char* rgb,
            unsigned long capacity)
{
    jpeg_decompress_struct info;
    ProbeError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnError;
    error.manager.emit_message = Quiet;
    if (setjmp(error.jump))
    {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    const unsigned long rowBytes = info.output_width * 3ul;
    while (info.output_scanline < info.output_height)
    {
        unsigned char scratch[3 * 4096];
        JSAMPROW row = rgb && (info.output_scanline + 1) * rowBytes <= capacity ? rgb + info.output_scanline * rowBytes
                                                                               : scratch;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
} // namespace

bool DecodeJpeg(const std::string& bytes, int& width, int& height, std::vector<unsigned char>& rgb)
{
    if (bytes.empty())
        return false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    // First pass for the size, second into a buffer of that size.
    if (!Decode(data, bytes.size(), &width, &height, nullptr, 0) || width > 4096)
        return false;
    rgb.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3u, 0);
    return Decode(data, bytes.size(), &width, &height, rgb.data(), rgb.size());
}
} // namespace servicetest

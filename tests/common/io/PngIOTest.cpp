#include "io/PngIO.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
// Reads a PNG back with libpng as 8-bit RGB.
std::vector<unsigned char> ReadRGB(const std::string& path, int* width, int* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return pixels;
}
} // namespace

TEST(WritePNG, BottomRowFirstInMemoryAsEightBitRGB)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("grid.png");
    const int width = 5, height = 3;
    std::vector<unsigned char> pixels(width * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            unsigned char* p = &pixels[(y * width + x) * 4];
            p[0] = static_cast<unsigned char>(x * 40);
            p[1] = static_cast<unsigned char>(y * 70);
            p[2] = static_cast<unsigned char>(x + 10 * y);
            p[3] = 99; // dropped
        }
    WritePNG(path.c_str(), pixels.data(), width, height);

    int w = 0, h = 0;
    const std::vector<unsigned char> rgb = ReadRGB(path, &w, &h);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(width * height * 3));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x)
        {
            const unsigned char* got = &rgb[(r * width + x) * 3];
            const unsigned char* want = &pixels[((height - 1 - r) * width + x) * 4];
            EXPECT_EQ(std::vector<unsigned char>(got, got + 3), std::vector<unsigned char>(want, want + 3))
                << x << "," << r;
        }

    // The header says 8-bit RGB: three channels, no alpha.
    const std::string bytes = testsupport::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[24], 8);
    EXPECT_EQ(bytes[25], PNG_COLOR_TYPE_RGB);
}

TEST(WritePNG, Failures)
{
    testsupport::TempDir dir;
    unsigned char pixel[4] = {};
    const std::string missing = dir.File("missing/folder/frame.png");
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { WritePNG(missing.c_str(), pixel, 1, 1); }), "PNG file not found.");

    // A bad size fails cleanly; the writer still releases the file.
    const std::string bad = dir.File("bad.png");
    EXPECT_THROW(WritePNG(bad.c_str(), pixel, 0, 1), std::runtime_error);
    EXPECT_THROW(WritePNG(bad.c_str(), pixel, 1, -3), std::runtime_error);
    // libpng's own limit, reported with its message.
    EXPECT_THROW(WritePNG(bad.c_str(), pixel, 1, 0x7FFFFFFF), std::runtime_error);

    // A full disk is not reported as success.
    if (std::filesystem::exists("/dev/full"))
    {
        EXPECT_EQ(testsupport::RuntimeErrorOf([&] { WritePNG("/dev/full", pixel, 1, 1); }), "Could not write the PNG file.");
    }
}

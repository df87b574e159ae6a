#include "gl/GLTexture.h"
#include "image/Image2d.h"
#include "image/JpegIO.h"
#include "support/ErrorText.h"
#include "support/JpegSamples.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::EncodeJpeg;
using testsupport::RuntimeErrorOf;

namespace
{
// An 8 x 8 RGB image with a distinct colour per quadrant.
std::vector<unsigned char> QuadrantPixels()
{
    std::vector<unsigned char> rgb(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
        {
            unsigned char* p = &rgb[(y * 8 + x) * 3];
            p[0] = x < 4 ? 250 : 10;
            p[1] = y < 4 ? 200 : 30;
            p[2] = (x < 4) == (y < 4) ? 60 : 180;
        }
    return rgb;
}

std::string QuadrantJpeg()
{
    return EncodeJpeg(QuadrantPixels().data(), 8, 8, 3, 100);
}

// Decodes into a 1 x 1 marker image and returns the error ("" on success);
// a failure must leave the marker as it was.
std::string DecodeError(const std::string& jpeg)
{
    Image2d image(1, 1);
    image.GetBuffer()[0] = 42;
    const std::string error = RuntimeErrorOf([&] {
        DecodeJPEGImage(reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned int>(jpeg.size()),
                        &image);
    });
    if (!error.empty())
    {
        EXPECT_EQ(image.GetWidth(), 1);
        EXPECT_EQ(image.GetHeight(), 1);
        EXPECT_EQ(image.GetBuffer()[0], 42);
    }
    return error;
}

bool Decode(const std::string& jpeg, Image2d& image)
{
    return DecodeJPEGImage(reinterpret_cast<const unsigned char*>(jpeg.data()),
                           static_cast<unsigned int>(jpeg.size()), &image);
}

struct FileCloser
{
    void operator()(FILE* f) const { std::fclose(f); }
};
using TempFile = std::unique_ptr<FILE, FileCloser>;

TempFile FileWith(const std::string& bytes)
{
    TempFile file(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    std::rewind(file.get());
    return file;
}
} // namespace

TEST(DecodeJPEGImage, MissingInputReturnsFalseAndLeavesTheImage)
{
    Image2d image(1, 1);
    image.GetBuffer()[0] = 42;
    const unsigned char byte = 0xFF;
    EXPECT_FALSE(DecodeJPEGImage(nullptr, 10, &image));
    EXPECT_FALSE(DecodeJPEGImage(&byte, 0, &image));
    EXPECT_EQ(image.GetBuffer()[0], 42);
}

TEST(DecodeJPEGImage, RowsFromTheTopAsOpaqueBGRAAlsoWhenProgressive)
{
    const std::vector<unsigned char> rgb = QuadrantPixels();
    for (bool progressive : {false, true})
    {
        SCOPED_TRACE(progressive);
        Image2d image;
        ASSERT_TRUE(Decode(EncodeJpeg(rgb.data(), 8, 8, 3, 100, progressive), image));
        ASSERT_EQ(image.GetWidth(), 8);
        ASSERT_EQ(image.GetHeight(), 8);
        for (int i = 0; i < 64; ++i)
        {
            const unsigned char* got = image.GetBuffer() + i * 4;
            EXPECT_NEAR(got[2], rgb[i * 3 + 0], 12) << i;
            EXPECT_NEAR(got[1], rgb[i * 3 + 1], 12) << i;
            EXPECT_NEAR(got[0], rgb[i * 3 + 2], 12) << i;
            EXPECT_EQ(got[3], 255) << i;
        }
    }
}

TEST(DecodeJPEGImage, BadInputFailsWithTheReasonAndLeavesTheImage)
{
    const unsigned char grey[4] = {0, 80, 160, 240};
    EXPECT_EQ(DecodeError(EncodeJpeg(grey, 2, 2, 1)), "Unexpected image format.");
    const std::string garbage = DecodeError("this is no JPEG at all");
    EXPECT_NE(garbage.find("Not a JPEG file"), std::string::npos) << garbage;

    const std::string jpeg = QuadrantJpeg();
    for (size_t cut = 1; cut < jpeg.size(); ++cut)
        EXPECT_NE(DecodeError(jpeg.substr(0, cut)), "") << "cut at " << cut;

    // The scan data ended halfway by an end-of-image marker leaves the image short of data.
    const size_t scanStart = jpeg.rfind("\xFF\xDA");
    ASSERT_NE(scanStart, std::string::npos);
    EXPECT_NE(DecodeError(jpeg.substr(0, (scanStart + jpeg.size()) / 2 + 4) + "\xFF\xD9"), "");

    // Absurd frame sizes are rejected before any decoding.
    const std::string huge = DecodeError(testsupport::WithFrameSize(jpeg, 60000, 60000));
    EXPECT_NE(huge.find("out of range"), std::string::npos) << huge;
    std::vector<unsigned char> flat(8 * 8 * 3, 128);
    EXPECT_NE(DecodeError(testsupport::WithFrameSize(EncodeJpeg(flat.data(), 8, 8, 3, 90, true), 30000, 30000)), "");
}

TEST(DecodeJPEGImage, TextureFormFillsABGRATextureAndFailsAlike)
{
    const std::string jpeg = EncodeJpeg(QuadrantPixels().data(), 8, 8, 3, 100, true);
    Image2d image;
    ASSERT_TRUE(Decode(jpeg, image));
    GLTexture texture;
    ASSERT_TRUE(DecodeJPEGImage(reinterpret_cast<const unsigned char*>(jpeg.data()),
                                static_cast<unsigned int>(jpeg.size()), &texture));
    ASSERT_EQ(texture.GetWidth(), 8);
    ASSERT_EQ(texture.GetHeight(), 8);
    EXPECT_EQ(texture.GetFormat(), static_cast<unsigned>(GL_BGRA));
    EXPECT_EQ(std::vector<unsigned char>(texture.GetBuffer(), texture.GetBuffer() + 8 * 8 * 4),
              std::vector<unsigned char>(image.GetBuffer(), image.GetBuffer() + 8 * 8 * 4));

    // Failures leave the texture as it was; a frame wider than any texture is
    // one of them, caught before the buffer is sized.
    const unsigned char grey[4] = {0, 80, 160, 240};
    for (const std::string& bad : {EncodeJpeg(grey, 2, 2, 1), jpeg.substr(0, jpeg.size() / 2),
                                   testsupport::WithFrameSize(jpeg, GLTexture::kMaxSize + 1, 8)})
    {
        GLTexture marked(1, 1, GL_RGBA);
        marked.GetBuffer()[0] = 42;
        EXPECT_NE(RuntimeErrorOf([&] {
                      DecodeJPEGImage(reinterpret_cast<const unsigned char*>(bad.data()),
                                      static_cast<unsigned int>(bad.size()), &marked);
                  }),
                  "");
        EXPECT_EQ(marked.GetWidth(), 1);
        EXPECT_EQ(marked.GetBuffer()[0], 42);
    }
    EXPECT_FALSE(DecodeJPEGImage(nullptr, 4, &texture));
}

TEST(EncodeRGBJPEG, ColourImagesDecodeToTheirPixels)
{
    // Red over blue, 16 x 16: rows from the top.
    std::vector<unsigned char> rgb(16 * 16 * 3, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            rgb[static_cast<size_t>((y * 16 + x) * 3 + (y < 8 ? 0 : 2))] = 255;
    const std::string jpeg = EncodeRGBJPEG(rgb.data(), 16, 16, 95);
    EXPECT_EQ(jpeg.compare(0, 2, "\xFF\xD8"), 0);
    Image2d image;
    ASSERT_TRUE(Decode(jpeg, image));
    ASSERT_EQ(image.GetWidth(), 16);
    ASSERT_EQ(image.GetHeight(), 16);
    EXPECT_NEAR(image.GetBuffer()[2], 255, 8);               // top: red (BGRA)
    EXPECT_NEAR(image.GetBuffer()[15 * 16 * 4 + 0], 255, 8); // bottom: blue

    // Noise compresses badly: the output outgrows the first blocks and still
    // decodes to its pixels.
    std::vector<unsigned char> noise(512 * 512 * 3);
    unsigned state = 12345;
    for (unsigned char& byte : noise)
    {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    const std::string large = EncodeRGBJPEG(noise.data(), 512, 512, 100);
    EXPECT_GT(large.size(), 4u * 64u * 1024u);
    Image2d decoded;
    ASSERT_TRUE(Decode(large, decoded));
    EXPECT_EQ(decoded.GetWidth(), 512);
    EXPECT_EQ(large.compare(large.size() - 2, 2, "\xFF\xD9"), 0);

    EXPECT_THROW(EncodeRGBJPEG(nullptr, 1, 1, 90), std::runtime_error);
    EXPECT_THROW(EncodeRGBJPEG(rgb.data(), 0, 16, 90), std::runtime_error);
    EXPECT_THROW(EncodeRGBJPEG(rgb.data(), 70000, 1, 90), std::runtime_error);
}

TEST(GreyscalePlanes, WriteThenReadRoundTrip)
{
    const int width = 37, height = 23;
    std::vector<unsigned char> plane(width * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane[y * width + x] = static_cast<unsigned char>(20 + 4 * x + 3 * y);

    TempFile file(std::tmpfile());
    std::fputs("header", file.get());
    WriteJPEG(file.get(), plane.data(), width, height);
    std::fseek(file.get(), 6, SEEK_SET);
    std::vector<unsigned char> back(width * height, 0);
    ReadJPEG(file.get(), back.data(), width, height);
    long total = 0;
    for (size_t i = 0; i < plane.size(); ++i)
    {
        EXPECT_NEAR(back[i], plane[i], 16) << i;
        total += std::abs(back[i] - plane[i]);
    }
    EXPECT_LT(static_cast<double>(total) / plane.size(), 2.0);

    // Appended at the position given, as a baseline (SOF0) stream.
    std::rewind(file.get());
    std::string bytes(4096, '\0');
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file.get()));
    EXPECT_EQ(bytes.compare(0, 8, "header\xFF\xD8"), 0);
    EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos);
    EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos);
}

TEST(GreyscalePlanes, WrongKindSizeTruncatedOrCorruptFilesFail)
{
    const unsigned char rgb[12] = {};
    unsigned char out[16];
    TempFile colour = FileWith(EncodeJpeg(rgb, 2, 2, 3));
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(colour.get(), out, 2, 2); }), "Unexpected image format.");
    const unsigned char grey[16] = {};
    TempFile small = FileWith(EncodeJpeg(grey, 4, 4, 1));
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(small.get(), out, 4, 3); }), "Unexpected image size.");
    TempFile forged = FileWith(testsupport::WithFrameSize(EncodeJpeg(grey, 4, 4, 1), 65000, 65000));
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(forged.get(), out, 4, 4); }), "Unexpected image size.");

    std::vector<unsigned char> plane(16 * 16);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<unsigned char>(i * 7);
    const std::string jpeg = EncodeJpeg(plane.data(), 16, 16, 1);
    for (const std::string& bad : {jpeg.substr(0, 0), jpeg.substr(0, 3), jpeg.substr(0, jpeg.size() / 2),
                                   jpeg.substr(0, jpeg.size() - 1), std::string(500, 'x')})
    {
        TempFile file = FileWith(bad);
        EXPECT_NE(RuntimeErrorOf([&] { ReadJPEG(file.get(), plane.data(), 16, 16); }), "") << bad.size();
    }
}

TEST(GreyscalePlanes, WriteFailuresAndBadSizes)
{
    const unsigned char pixels[64] = {};
    TempFile file(std::tmpfile());
    EXPECT_NE(RuntimeErrorOf([&] { WriteJPEG(file.get(), pixels, 0, 8); }), "");
    EXPECT_NE(RuntimeErrorOf([&] { WriteJPEG(file.get(), pixels, 8, -1); }), "");

    // A stream opened for reading refuses every write.
    TempFile readOnly(std::fopen("/proc/self/exe", "rb"));
    ASSERT_TRUE(readOnly);
    EXPECT_NE(RuntimeErrorOf([&] { WriteJPEG(readOnly.get(), pixels, 8, 8); }), "");
}

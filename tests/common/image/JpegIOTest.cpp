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
const unsigned char* Bytes(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

unsigned int Length(const std::string& s)
{
    return static_cast<unsigned int>(s.size());
}

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

// A marker image: one byte at the start of the pixels shows it was not touched.
Image2d Untouched()
{
    Image2d image(1, 1);
    image.GetBuffer()[0] = 42;
    return image;
}

void ExpectUntouched(const Image2d& image)
{
    EXPECT_EQ(image.GetWidth(), 1);
    EXPECT_EQ(image.GetHeight(), 1);
    EXPECT_EQ(image.GetBuffer()[0], 42);
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

TEST(DecodeJPEGImage, MissingInputReturnsFalse)
{
    Image2d image = Untouched();
    const unsigned char byte = 0xFF;
    EXPECT_FALSE(DecodeJPEGImage(nullptr, 10, &image));
    EXPECT_FALSE(DecodeJPEGImage(&byte, 0, &image));
    ExpectUntouched(image);
}

TEST(DecodeJPEGImage, RedAndBlueBecomeBGRA)
{
    const unsigned char rgb[] = {255, 0, 0, 0, 0, 255};
    const std::string jpeg = EncodeJpeg(rgb, 2, 1, 3, 100);
    Image2d image;
    ASSERT_TRUE(DecodeJPEGImage(Bytes(jpeg), Length(jpeg), &image));
    ASSERT_EQ(image.GetWidth(), 2);
    ASSERT_EQ(image.GetHeight(), 1);
    const unsigned char expected[8] = {0, 0, 255, 255, 255, 0, 0, 255};
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(image.GetBuffer()[i], expected[i], 6) << i;
    EXPECT_EQ(image.GetBuffer()[3], 255);
    EXPECT_EQ(image.GetBuffer()[7], 255);
}

TEST(EncodeRGBJPEG, ColourImagesDecodeToTheirPixels)
{
    // Red over blue, 16 x 16: rows from the top.
    std::vector<unsigned char> rgb(16 * 16 * 3, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            rgb[static_cast<size_t>((y * 16 + x) * 3 + (y < 8 ? 0 : 2))] = 255;
    const std::string jpeg = EncodeRGBJPEG(rgb.data(), 16, 16, 95);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
    Image2d image;
    ASSERT_TRUE(DecodeJPEGImage(Bytes(jpeg), Length(jpeg), &image));
    ASSERT_EQ(image.GetWidth(), 16);
    ASSERT_EQ(image.GetHeight(), 16);
    EXPECT_NEAR(image.GetBuffer()[2], 255, 8);                // top: red (BGRA)
    EXPECT_NEAR(image.GetBuffer()[15 * 16 * 4 + 0], 255, 8);  // bottom: blue

    EXPECT_THROW(EncodeRGBJPEG(nullptr, 1, 1, 90), std::runtime_error);
    EXPECT_THROW(EncodeRGBJPEG(rgb.data(), 0, 16, 90), std::runtime_error);
    EXPECT_THROW(EncodeRGBJPEG(rgb.data(), 70000, 1, 90), std::runtime_error);
}

TEST(DecodeJPEGImage, RowsFromTheTopAndProgressiveImages)
{
    const std::vector<unsigned char> rgb = QuadrantPixels();
    for (bool progressive : {false, true})
    {
        const std::string jpeg = EncodeJpeg(rgb.data(), 8, 8, 3, 100, progressive);
        Image2d image;
        ASSERT_TRUE(DecodeJPEGImage(Bytes(jpeg), Length(jpeg), &image));
        ASSERT_EQ(image.GetWidth(), 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
            {
                const unsigned char* want = &rgb[(y * 8 + x) * 3];
                const unsigned char* got = image.GetBuffer() + (y * 8 + x) * 4;
                EXPECT_NEAR(got[2], want[0], 12) << x << "," << y;
                EXPECT_NEAR(got[1], want[1], 12) << x << "," << y;
                EXPECT_NEAR(got[0], want[2], 12) << x << "," << y;
            }
    }
}

TEST(DecodeJPEGImage, GreyscaleIsNotAColourImage)
{
    const unsigned char grey[4] = {0, 80, 160, 240};
    const std::string jpeg = EncodeJpeg(grey, 2, 2, 1);
    Image2d image = Untouched();
    EXPECT_EQ(RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(jpeg), Length(jpeg), &image); }), "Unexpected image format.");
    ExpectUntouched(image);
}

TEST(DecodeJPEGImage, GarbageFailsWithLibjpegsMessage)
{
    const std::string garbage = "this is no JPEG at all";
    Image2d image = Untouched();
    const std::string error = RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(garbage), Length(garbage), &image); });
    EXPECT_NE(error.find("Not a JPEG file"), std::string::npos) << error;
    ExpectUntouched(image);
}

TEST(DecodeJPEGImage, EveryTruncationFails)
{
    const std::string jpeg = QuadrantJpeg();
    for (size_t cut = 1; cut < jpeg.size(); ++cut)
    {
        Image2d image = Untouched();
        const std::string part = jpeg.substr(0, cut);
        EXPECT_FALSE(RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(part), Length(part), &image); }).empty()) << cut;
        ExpectUntouched(image);
    }
}

TEST(DecodeJPEGImage, EndMarkerInsideTheScanFails)
{
    std::string jpeg = QuadrantJpeg();
    // The entropy-coded data ends right before the final end-of-image marker;
    // ending it halfway leaves the image short of data.
    const size_t scanStart = jpeg.rfind("\xFF\xDA");
    ASSERT_NE(scanStart, std::string::npos);
    const size_t middle = (scanStart + jpeg.size()) / 2 + 4;
    jpeg = jpeg.substr(0, middle) + "\xFF\xD9";
    Image2d image = Untouched();
    const std::string error = RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(jpeg), Length(jpeg), &image); });
    EXPECT_FALSE(error.empty());
    ExpectUntouched(image);
}

TEST(DecodeJPEGImage, AbsurdSizeIsRejectedBeforeDecoding)
{
    const std::string huge = testsupport::WithFrameSize(QuadrantJpeg(), 60000, 60000);
    Image2d image = Untouched();
    EXPECT_NE(RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(huge), Length(huge), &image); }).find("out of range"),
              std::string::npos);
    ExpectUntouched(image);

    std::vector<unsigned char> rgb(8 * 8 * 3, 128);
    const std::string progressive =
        testsupport::WithFrameSize(EncodeJpeg(rgb.data(), 8, 8, 3, 90, true), 30000, 30000);
    EXPECT_FALSE(RuntimeErrorOf([&] { DecodeJPEGImage(Bytes(progressive), Length(progressive), &image); }).empty());
    ExpectUntouched(image);
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

TEST(GreyscalePlanes, WrongKindOrSizeOfImage)
{
    const unsigned char rgb[12] = {};
    TempFile colour = FileWith(EncodeJpeg(rgb, 2, 2, 3));
    unsigned char out[16];
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(colour.get(), out, 2, 2); }), "Unexpected image format.");

    const unsigned char grey[16] = {};
    TempFile small = FileWith(EncodeJpeg(grey, 4, 4, 1));
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(small.get(), out, 4, 3); }), "Unexpected image size.");

    TempFile forged = FileWith(testsupport::WithFrameSize(EncodeJpeg(grey, 4, 4, 1), 65000, 65000));
    EXPECT_EQ(RuntimeErrorOf([&] { ReadJPEG(forged.get(), out, 4, 4); }), "Unexpected image size.");
}

TEST(GreyscalePlanes, TruncatedOrCorruptFilesFail)
{
    std::vector<unsigned char> plane(16 * 16);
    for (size_t i = 0; i < plane.size(); ++i)
        plane[i] = static_cast<unsigned char>(i * 7);
    const std::string jpeg = EncodeJpeg(plane.data(), 16, 16, 1);
    std::vector<unsigned char> out(plane.size());
    for (size_t cut : {size_t(0), size_t(3), jpeg.size() / 2, jpeg.size() - 1})
    {
        TempFile file = FileWith(jpeg.substr(0, cut));
        EXPECT_FALSE(RuntimeErrorOf([&] { ReadJPEG(file.get(), out.data(), 16, 16); }).empty()) << cut;
    }
    TempFile garbage = FileWith(std::string(500, 'x'));
    EXPECT_FALSE(RuntimeErrorOf([&] { ReadJPEG(garbage.get(), out.data(), 16, 16); }).empty());
}

TEST(GreyscalePlanes, WriteFailuresAndBadSizes)
{
    const unsigned char pixels[64] = {};
    TempFile file(std::tmpfile());
    EXPECT_FALSE(RuntimeErrorOf([&] { WriteJPEG(file.get(), pixels, 0, 8); }).empty());
    EXPECT_FALSE(RuntimeErrorOf([&] { WriteJPEG(file.get(), pixels, 8, -1); }).empty());

    // A stream opened for reading refuses every write.
    const char* path = "/proc/self/exe";
    TempFile readOnly(std::fopen(path, "rb"));
    ASSERT_TRUE(readOnly);
    EXPECT_FALSE(RuntimeErrorOf([&] { WriteJPEG(readOnly.get(), pixels, 8, 8); }).empty());
}

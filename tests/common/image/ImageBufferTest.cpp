#include "image/Image2d.h"
#include "image/Rectangle.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

TEST(Image2d, InitializeKeepsBytesOfTheSameSizeAndZeroesGrowth)
{
    Image2d image(3, 2);
    for (int i = 0; i < 24; ++i)
    {
        EXPECT_EQ(image.GetBuffer()[i], 0) << "a new image is zero-filled at " << i;
        image.GetBuffer()[i] = static_cast<unsigned char>(i + 1);
    }
    const unsigned char* before = image.GetBuffer();

    image.Initialize(2, 3);
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetHeight(), 3);
    EXPECT_EQ(image.GetBuffer(), before); // same 24-byte array
    image.Initialize(4, 4);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(image.GetBuffer()[i], i < 24 ? i + 1 : 0) << i;
}

TEST(Image2d, CopiesOwnTheirPixels)
{
    Image2d a(2, 2);
    a.GetBuffer()[5] = 77;
    Image2d b(a);
    Image2d c;
    c = a;
    a.GetBuffer()[5] = 1;
    EXPECT_EQ(b.GetWidth(), 2);
    EXPECT_EQ(b.GetBuffer()[5], 77);
    EXPECT_EQ(c.GetHeight(), 2);
    EXPECT_EQ(c.GetBuffer()[5], 77);
}

TEST(Image2d, AbsurdSizesAreRejectedWithoutChange)
{
    Image2d image(2, 2);
    image.GetBuffer()[0] = 9;
    EXPECT_THROW(image.Initialize(-1, 4), std::runtime_error);
    EXPECT_THROW(image.Initialize(4, -1), std::runtime_error);
    EXPECT_THROW(image.Initialize(Image2d::kMaxDimension + 1, 1), std::runtime_error);
    // Each side acceptable, but the product would be gigabytes.
    EXPECT_THROW(image.Initialize(30000, 30000), std::runtime_error);
    EXPECT_THROW(Image2d(46341, 46341), std::runtime_error); // int overflow of width x height
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.GetBuffer()[0], 9);

    image.Initialize(0, 0);
    EXPECT_EQ(image.GetWidth(), 0);
}

TEST(Rectangle, ContainsEveryEdgeAndShrinksOnAllSides)
{
    Nuvaro::Rectangle r(0, 0, 10, 10);
    EXPECT_TRUE(r.Contains(10, 10));
    EXPECT_TRUE(r.Contains(0, 0));
    EXPECT_FALSE(r.Contains(11, 5));
    EXPECT_FALSE(r.Contains(5, -1));

    const auto edges = [&r] { return std::vector<int>{r.left, r.top, r.right, r.bottom}; };
    r.Shrink(2);
    EXPECT_EQ(edges(), (std::vector<int>{2, 2, 8, 8}));
    EXPECT_EQ(r.GetWidth(), 6);
    r.Shrink(-3);
    EXPECT_EQ(edges(), (std::vector<int>{-1, -1, 11, 11}));
    EXPECT_EQ(r.GetHeight(), 12);
}

#include "gl/GLTexture.h"
#include "gl/Icons.h"
#include "gl/TintState.h"
#include "support/FakeGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

namespace
{
// A bitmap of 2 x 2 pixels given as R, G, B(, A) per pixel, rows padded to bytesPerRow.
PlatformBitmap MakeBitmap(bool alpha, std::vector<std::vector<unsigned char>> pixels, int padding = 0)
{
    PlatformBitmap b;
    const int n = alpha ? 4 : 3;
    b.width = 2;
    b.height = 2;
    b.hasAlpha = alpha;
    b.bitsPerPixel = n * 8;
    b.samplesPerPixel = n;
    b.bytesPerRow = 2 * n + padding;
    b.bytes.assign(static_cast<size_t>(b.bytesPerRow) * 2, 0xEE);
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < n; ++c)
            b.bytes[(i / 2) * b.bytesPerRow + (i % 2) * n + c] = pixels[i][c];
    return b;
}

std::vector<int> PixelOf(const GLTexture& t, int x, int y)
{
    const unsigned char* p = t.GetBuffer() + (static_cast<size_t>(y) * t.GetWidth() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

struct TintGuard
{
    ~TintGuard() { gTintState = TintState(); }
};
} // namespace

TEST(GLTexture, SizesRoundUpToPowersOfTwoAndTheBufferStartsZeroed)
{
    GLTexture t(100, 30, GL_RGBA);
    EXPECT_EQ(t.GetGLWidth(), 128);
    EXPECT_EQ(t.GetGLHeight(), 32);
    for (size_t i = 0; i < 100 * 30 * 4; ++i)
        ASSERT_EQ(t.GetBuffer()[i], 0);
    for (const auto& [n, power] : {std::pair{1, 1}, {5, 8}, {64, 64}, {65, 128}, {4097, 8192}})
        EXPECT_EQ(GLTexture::NextPower2(n), power) << n;

    // No GL object exists before the first draw; Fill clears the buffer.
    t.GetBuffer()[0] = 9;
    t.LoadTexture();
    EXPECT_EQ(t.GetTextureName(), 0u);
    t.Fill();
    EXPECT_EQ(t.GetBuffer()[0], 0);
}

TEST(GLTexture, BadSizesLeaveAnEmptyTexture)
{
    testing::internal::CaptureStdout();
    GLTexture t(10, 10, GL_BGRA);
    t.Initialize(0, 5, GL_BGRA);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.GetGLWidth(), 0);
    t.Initialize(5, -1, GL_BGRA);
    t.Initialize(GLTexture::kMaxSize + 1, 4, GL_BGRA);
    EXPECT_TRUE(t.IsEmpty());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Bad texture size.\nBad texture size.\nBad texture size.\n");
    // Nothing to upload, nothing made: no GL call happens without a context.
    t.LoadTexture();
    EXPECT_EQ(t.GetTextureName(), 0u);
}

TEST(GLTexture, TintRuleFollowsTheClickState)
{
    TintGuard guard;
    gTintState = TintState();
    const struct
    {
        int clicked, moused;
        std::vector<float> tint;
    } cases[] = {
        {0, 0, {1, 1, 1, 1}},
        {1, 5, {0.0f, 0.341f, 0.157f, 1.0f}},
        // Any larger click value darkens everything, whatever the hover state.
        {3, -1, {0.009f, 0.009f, 0.009f, 0.75f}},
        {3, 0, {0.009f, 0.009f, 0.009f, 0.75f}},
        {3, 8, {0.009f, 0.009f, 0.009f, 0.75f}},
        {-4, 2, {0.682f, 0.737f, 0.333f, 0.75f}},
        {-4, 1, {0.6f, 1.0f, 0.7f, 1.0f}},
        {-4, -1, {1, 1, 1, 1}},
    };
    for (const auto& c : cases)
    {
        gTintState.QMB_expressor_clicked = c.clicked;
        gTintState.QMB_moused_known = c.moused;
        float tint[4];
        GLTexture::GetTintColor(tint);
        EXPECT_EQ(std::vector<float>(tint, tint + 4), c.tint) << c.clicked << ", " << c.moused;
    }
}

TEST(IconConversion, ColoursBecomeBGRAWithRowZeroAtTheTop)
{
    GLTexture t;
    PlatformBitmap b = MakeBitmap(true, {{10, 20, 30, 40}, {50, 60, 70, 80}, {1, 2, 3, 4}, {5, 6, 7, 8}}, 4);
    ASSERT_TRUE(ConvertIconBitmap(b, t, false));
    EXPECT_EQ(t.GetFormat(), static_cast<unsigned>(GL_BGRA));
    EXPECT_EQ(PixelOf(t, 0, 0), (std::vector<int>{30, 20, 10, 40}));
    EXPECT_EQ(PixelOf(t, 1, 0), (std::vector<int>{70, 60, 50, 80}));
    EXPECT_EQ(PixelOf(t, 0, 1), (std::vector<int>{3, 2, 1, 4}));
    EXPECT_EQ(PixelOf(t, 1, 1), (std::vector<int>{7, 6, 5, 8}));

    PlatformBitmap opaque = MakeBitmap(false, {{10, 20, 30}, {0, 0, 0}, {1, 2, 3}, {4, 5, 6}}, 2);
    ASSERT_TRUE(ConvertIconBitmap(opaque, t, false));
    EXPECT_EQ(PixelOf(t, 0, 0), (std::vector<int>{30, 20, 10, 255}));
    EXPECT_EQ(PixelOf(t, 1, 1), (std::vector<int>{6, 5, 4, 255}));
}

TEST(IconConversion, InvertedIconsAreOpaqueExactlyWhereRedIsZero)
{
    GLTexture t;
    PlatformBitmap b = MakeBitmap(false, {{0, 0, 0}, {0, 40, 90}, {1, 0, 0}, {255, 255, 255}});
    ASSERT_TRUE(ConvertIconBitmap(b, t, true));
    EXPECT_EQ(PixelOf(t, 0, 0), (std::vector<int>{255, 255, 255, 255}));
    // No swap of red and blue: byte 1 and 2 are the complements of green and blue.
    EXPECT_EQ(PixelOf(t, 1, 0), (std::vector<int>{255, 215, 165, 255}));
    EXPECT_EQ(PixelOf(t, 0, 1)[3], 0);
    EXPECT_EQ(PixelOf(t, 1, 1), (std::vector<int>{0, 0, 0, 0}));
}

TEST(IconConversion, UnsuitableBitmapsLeaveTheTextureAlone)
{
    GLTexture t(3, 3, GL_BGRA);
    t.GetBuffer()[0] = 77;
    PlatformBitmap wrongDepth = MakeBitmap(true, {{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}});
    wrongDepth.bitsPerPixel = 24;
    EXPECT_FALSE(ConvertIconBitmap(wrongDepth, t, false));
    PlatformBitmap truncated = MakeBitmap(false, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}});
    truncated.bytes.resize(7);
    EXPECT_FALSE(ConvertIconBitmap(truncated, t, false));
    PlatformBitmap huge = MakeBitmap(false, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}});
    huge.height = 1 << 20;
    EXPECT_FALSE(ConvertIconBitmap(huge, t, false));
    EXPECT_EQ(t.GetWidth(), 3);
    EXPECT_EQ(t.GetBuffer()[0], 77);
}

TEST(IconConversion, BrightenSaturatesInsteadOfWrapping)
{
    GLTexture t(4, 1, GL_BGRA);
    unsigned char* p = t.GetBuffer();
    const unsigned char pixels[4][4] = {{204, 10, 230, 33}, {205, 0, 0, 44}, {0, 100, 100, 55}, {1, 250, 2, 66}};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c)
            p[i * 4 + c] = pixels[i][c];
    BrightenIcon(t);
    EXPECT_EQ(PixelOf(t, 0, 0), (std::vector<int>{254, 60, 255, 33}));
    EXPECT_EQ(PixelOf(t, 1, 0), (std::vector<int>{255, 255, 255, 44}));
    EXPECT_EQ(PixelOf(t, 2, 0), (std::vector<int>{0, 100, 100, 55}));
    EXPECT_EQ(PixelOf(t, 3, 0), (std::vector<int>{51, 255, 52, 66}));
}

TEST(IconMakers, LoadTheirNamedImagesAndFailQuietlyWithoutASource)
{
    {
        ScopedIconImageSource none(nullptr);
        GLTexture t;
        EXPECT_FALSE(LoadIconTexture("CloseTab", t, false));
        MakeCloseTabIcon(t);
        EXPECT_TRUE(t.IsEmpty());
    }
    FakeIconImageSource source(12);
    ScopedIconImageSource installed(&source);
    GLTexture plain, active, arrow;
    MakeCloseTabIcon(plain);
    MakeActiveCloseTabIcon(active);
    MakePrevArrow(arrow);
    EXPECT_EQ(source.requested, (std::vector<std::string>{"CloseTab", "CloseTab", "LeftArrow"}));
    EXPECT_EQ(plain.GetWidth(), 12);
    // Grey 128 brightened to 178; the black centre stays black.
    EXPECT_EQ(PixelOf(plain, 0, 0), (std::vector<int>{128, 128, 128, 255}));
    EXPECT_EQ(PixelOf(active, 0, 0), (std::vector<int>{178, 178, 178, 255}));
    EXPECT_EQ(PixelOf(active, 6, 6), (std::vector<int>{0, 0, 0, 255}));
    // Inverted: only the black centre pixel is opaque.
    EXPECT_EQ(PixelOf(arrow, 6, 6), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(PixelOf(arrow, 0, 0)[3], 0);
}

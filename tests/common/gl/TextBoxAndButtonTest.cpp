#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/TextRasterizer.h"
#include "gl/TextureTextBox.h"
#include "support/ErrorText.h"
#include "support/FakeGLDisplay.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
// Measures 10 pixels per byte, 12-pixel lines; fills the bitmap with the
// text length so tests can see which rendering a texture holds.
class FakeRasterizer : public TextRasterizer
{
public:
    int GetLineHeight(bool smallFont) override { return smallFont ? 10 : 12; }
    void Render(const std::string& text, bool, GLTextBox::Alignment, int width, int height, PlatformBitmap& bitmap,
                int& textWidth, int& textHeight) override
    {
        ++renders;
        textWidth = 10 * static_cast<int>(text.size());
        textHeight = 12;
        bitmap = PlatformBitmap();
        bitmap.width = width;
        bitmap.height = height;
        bitmap.bitsPerPixel = 32;
        bitmap.samplesPerPixel = 4;
        bitmap.hasAlpha = true;
        bitmap.bytesPerRow = breakLayout ? width * 4 + 4 : width * 4;
        bitmap.bytes.assign(static_cast<size_t>(bitmap.bytesPerRow) * height, static_cast<unsigned char>(text.size()));
    }
    bool breakLayout = false;
    int renders = 0;
};
} // namespace

TEST(TextureTextBox, SizesFollowTheFontAndTheLineCount)
{
    FakeRasterizer raster;
    TextureTextBox none(&raster, 80, 0, false, GLTextBox::LEFT);
    EXPECT_EQ(none.GetHeight(), 12);
    TextureTextBox three(&raster, 80, 3, true, GLTextBox::CENTER);
    EXPECT_EQ(three.GetLineHeight(), 10);
    EXPECT_EQ(three.GetHeight(), 30);
    EXPECT_EQ(three.GetWidth(), 80);
}

TEST(TextureTextBox, KeepsPixelsOnTheCpuUntilDrawn)
{
    FakeRasterizer raster;
    TextureTextBox box(&raster, 200, 1, false, GLTextBox::LEFT);
    box.SetText(std::string(25, 'x'));
    EXPECT_EQ(box.GetTextWidth(), 250); // wider than the box
    EXPECT_EQ(box.GetWidth(), 200);
    EXPECT_EQ(box.GetTexture().GetWidth(), 200);
    EXPECT_EQ(box.GetTexture().GetHeight(), 12);
    EXPECT_EQ(box.GetTexture().GetBuffer()[0], 25);
    EXPECT_EQ(box.GetTexture().GetTextureName(), 0u);
}

TEST(TextureTextBox, EmptyTextMeasuresZero)
{
    FakeRasterizer raster;
    TextureTextBox box(&raster, 100, 1, false, GLTextBox::LEFT);
    box.SetText("abc");
    box.SetText("");
    EXPECT_EQ(box.GetTextWidth(), 0);
    EXPECT_TRUE(box.GetText().empty());
    box.Draw(0, 0); // nothing to draw: no GL call is made
    EXPECT_EQ(raster.renders, 1);
}

TEST(TextureTextBox, AnUnexpectedBitmapKeepsThePreviousText)
{
    FakeRasterizer raster;
    TextureTextBox box(&raster, 60, 1, false, GLTextBox::RIGHT);
    box.SetText("four");
    raster.breakLayout = true;
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { box.SetText("sixsix"); }),
              "Cannot render text. Unexpected bitmap format.");
    EXPECT_EQ(box.GetText(), "four");
    EXPECT_EQ(box.GetTextWidth(), 40);
    EXPECT_EQ(box.GetTexture().GetBuffer()[0], 4);
}

TEST(TextureTextBox, ABoxWithoutAreaStillMeasures)
{
    FakeRasterizer raster;
    testing::internal::CaptureStdout();
    TextureTextBox box(&raster, 0, 1, false, GLTextBox::LEFT);
    box.SetText("ab");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(box.GetTextWidth(), 20);
    EXPECT_TRUE(box.GetTexture().IsEmpty());
}

TEST(GLTextureButton, TextButtonsMeasureTheirPlateFromTheRenderedText)
{
    FakeGLDisplay display;
    display.textAdvance = 9;
    GLTextureButton button(&display, "Next", 20, 30);
    ASSERT_EQ(display.textBoxes.size(), 1u);
    FakeTextBox* label = display.textBoxes[0];
    EXPECT_EQ(label->width, 60); // 15 pixels per character
    EXPECT_EQ(label->height, FakeTextBox::kLineHeight);
    EXPECT_EQ(label->text, "Next");
    EXPECT_EQ(label->alignment, GLTextBox::LEFT);
    EXPECT_FALSE(label->smallFont);
    EXPECT_EQ(button.GetWidth(), 36 + 12);
    EXPECT_EQ(button.GetHeight(), FakeTextBox::kLineHeight + 6);
    EXPECT_EQ(button.GetTextBaseline(), 33);

    // Inclusive bounds: x 20..68, y 29..50.
    EXPECT_TRUE(button.PointInside(20, 29));
    EXPECT_TRUE(button.PointInside(68, 50));
    EXPECT_FALSE(button.PointInside(69, 40));
    EXPECT_FALSE(button.PointInside(19, 40));
    EXPECT_FALSE(button.PointInside(30, 51));
    EXPECT_FALSE(button.PointInside(30, 28));
    // Width counts characters, not bytes.
    GLTextureButton accented(&display, "Zo\xC3\xAB");
    EXPECT_EQ(display.textBoxes.back()->width, 45);
}

TEST(GLTextureButton, IconButtonsHitTestTheirIconWithAMargin)
{
    GLTextureButton button(10, 10, 16, 16);
    EXPECT_TRUE(button.PointInside(28, 26));
    EXPECT_TRUE(button.PointInside(10, 9));
    EXPECT_FALSE(button.PointInside(29, 10));
    EXPECT_FALSE(button.PointInside(10, 27));
    EXPECT_FALSE(button.PointInside(9, 12));
    EXPECT_FALSE(button.PointInside(12, 8));
    // The explicit position overrides the button's own.
    EXPECT_TRUE(button.PointInside(100, 100, 90, 90));
    EXPECT_FALSE(button.PointInside(28, 26, 50, 50));
    EXPECT_EQ(button.GetWidth(), 0);
    EXPECT_EQ(button.GetHeight(), 0);
    button.MoveButton(0, 0);
    EXPECT_TRUE(button.PointInside(18, 16));
    EXPECT_FALSE(button.PointInside(28, 26));
    EXPECT_TRUE(button.IsEnabled());
    button.SetEnabled(false);
    EXPECT_FALSE(button.IsEnabled());
}

TEST(GLTextureButton, GettingTheIconTurnsATextButtonIntoAnIconButton)
{
    FakeGLDisplay display;
    GLTextureButton button(&display, "Go", 5, 5);
    GLTexture* icon = button.GetIconTexture();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->IsEmpty());
    EXPECT_EQ(button.GetIconTexture(), icon);
    icon->Initialize(8, 8, GL_BGRA);
    EXPECT_EQ(button.GetWidth(), 0);
    EXPECT_TRUE(button.PointInside(15, 13));
    EXPECT_FALSE(button.PointInside(16, 13));

    GLTextureButton empty;
    EXPECT_FALSE(empty.PointInside(0, 0));
    empty.Create(1, 2, 3, 4);
    EXPECT_EQ(empty.GetIconTexture()->GetWidth(), 3);
    EXPECT_EQ(empty.GetIconTexture()->GetFormat(), static_cast<unsigned>(GL_BGRA));
    EXPECT_EQ(empty.GetX(), 1);
    EXPECT_EQ(empty.GetY(), 2);
}

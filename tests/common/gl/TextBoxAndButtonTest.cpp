#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/TextRasterizer.h"
#include "gl/TextureTextBox.h"
#include "support/ErrorText.h"
#include "support/FakeGLDisplay.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

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

TEST(TextureTextBox, SizesFollowTheFontAndKeepPixelsOnTheCpuUntilDrawn)
{
    FakeRasterizer raster;
    EXPECT_EQ(TextureTextBox(&raster, 80, 0, false, GLTextBox::LEFT).GetHeight(), 12);
    TextureTextBox three(&raster, 80, 3, true, GLTextBox::CENTER);
    EXPECT_EQ(three.GetHeight(), 30);

    TextureTextBox box(&raster, 200, 1, false, GLTextBox::LEFT);
    box.SetText(std::string(25, 'x'));
    EXPECT_EQ(box.GetTextWidth(), 250); // wider than the box
    const GLTexture& texture = box.GetTexture();
    EXPECT_EQ(std::make_tuple(texture.GetWidth(), texture.GetHeight(), int(texture.GetBuffer()[0]), texture.GetTextureName()),
              std::make_tuple(200, 12, 25, 0u));

    // Empty text measures zero and draws nothing: no GL call is made.
    box.SetText("");
    EXPECT_EQ(box.GetTextWidth(), 0);
    box.Draw(0, 0);
    EXPECT_EQ(raster.renders, 1);

    // A box without area still measures.
    testing::internal::CaptureStdout();
    TextureTextBox empty(&raster, 0, 1, false, GLTextBox::LEFT);
    empty.SetText("ab");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(empty.GetTextWidth(), 20);
    EXPECT_TRUE(empty.GetTexture().IsEmpty());
}

TEST(TextureTextBox, TheSameTextIsRenderedOnlyOnce)
{
    FakeRasterizer raster;
    TextureTextBox box(&raster, 60, 1, false, GLTextBox::LEFT);
    box.SetText("same");
    box.SetText("same");
    EXPECT_EQ(raster.renders, 1);
    box.SetText("other");
    box.SetText("same");
    EXPECT_EQ(raster.renders, 3);
    EXPECT_EQ(box.GetTexture().GetBuffer()[0], 4);
    EXPECT_EQ(box.GetTextWidth(), 40);
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

TEST(GLTextureButton, TextButtonsMeasureTheirPlateFromTheRenderedText)
{
    FakeGLDisplay display;
    display.textAdvance = 9;
    GLTextureButton button(&display, "Next", 20, 30);
    ASSERT_EQ(display.textBoxes.size(), 1u);
    // 15 pixels per character for the label; the plate is the text's 36 plus 12.
    FakeTextBox* label = display.textBoxes[0];
    EXPECT_EQ(std::make_tuple(label->width, label->height, label->text),
              std::make_tuple(60, FakeTextBox::kLineHeight, "Next"));
    EXPECT_EQ(std::make_tuple(button.GetWidth(), button.GetHeight(), button.GetTextBaseline()),
              std::make_tuple(36 + 12, FakeTextBox::kLineHeight + 6, 33));

    // Inclusive bounds: x 20..68, y 29..50.
    for (const auto& [x, y, inside] : {std::tuple{20, 29, true}, {68, 50, true}, {69, 40, false}, {19, 40, false},
                                       {30, 51, false}, {30, 28, false}})
        EXPECT_EQ(button.PointInside(x, y), inside) << x << ", " << y;
    // Width counts characters, not bytes.
    GLTextureButton accented(&display, "Zo\xC3\xAB");
    EXPECT_EQ(display.textBoxes.back()->width, 45);
}

TEST(GLTextureButton, IconButtonsHitTestTheirIconWithAMargin)
{
    GLTextureButton button(10, 10, 16, 16);
    for (const auto& [x, y, inside] : {std::tuple{28, 26, true}, {10, 9, true}, {29, 10, false}, {10, 27, false},
                                       {9, 12, false}, {12, 8, false}})
        EXPECT_EQ(button.PointInside(x, y), inside) << x << ", " << y;
    // The explicit position overrides the button's own.
    EXPECT_TRUE(button.PointInside(100, 100, 90, 90));
    EXPECT_FALSE(button.PointInside(28, 26, 50, 50));
    button.MoveButton(0, 0);
    EXPECT_TRUE(button.PointInside(18, 16));
    EXPECT_FALSE(button.PointInside(28, 26));
}

TEST(GLTextureButton, GettingTheIconTurnsATextButtonIntoAnIconButton)
{
    FakeGLDisplay display;
    GLTextureButton button(&display, "Go", 5, 5);
    GLTexture* icon = button.GetIconTexture();
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->IsEmpty());
    icon->Initialize(8, 8, GL_BGRA);
    EXPECT_EQ(button.GetWidth(), 0);
    EXPECT_TRUE(button.PointInside(15, 13));
    EXPECT_FALSE(button.PointInside(16, 13));

    GLTextureButton empty;
    EXPECT_FALSE(empty.PointInside(0, 0));
    empty.Create(1, 2, 3, 4);
    EXPECT_EQ(std::make_tuple(empty.GetX(), empty.GetIconTexture()->GetWidth(), empty.GetIconTexture()->GetFormat()),
              std::make_tuple(1, 3, static_cast<unsigned>(GL_BGRA)));
}

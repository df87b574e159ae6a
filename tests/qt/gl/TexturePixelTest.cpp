#include "gl/GLTexture.h"
#include "gl/GLTextureButton.h"
#include "gl/TextAtlas.h"
#include "gl/TextureTextBox.h"
#include "gl/TintState.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>

namespace
{
void SetPixel(GLTexture& t, int x, int y, unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    unsigned char* p = t.GetBuffer() + (static_cast<size_t>(y) * t.GetWidth() + x) * 4;
    p[0] = a;
    p[1] = b;
    p[2] = c;
    p[3] = d;
}

void FillTexture(GLTexture& t, unsigned char a, unsigned char b, unsigned char c, unsigned char d)
{
    for (int y = 0; y < t.GetHeight(); ++y)
        for (int x = 0; x < t.GetWidth(); ++x)
            SetPixel(t, x, y, a, b, c, d);
    t.LoadTexture();
}

class TexturePixelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        display.SetRenderer(&renderer);
    }
    void TearDown() override
    {
        gTintState = TintState();
        display.MakeCurrent(); // textures die with the context current
    }
    // Draws one frame over a black ground, blending with the given source
    // factor over one minus source alpha (0: no blending).
    void Frame(std::function<void()> draw, GLenum blendSource = 0)
    {
        renderer.draw = [this, draw, blendSource]() {
            display.BeginPixelFrame(0.0f);
            glDisable(GL_BLEND);
            if (blendSource != 0)
            {
                glEnable(GL_BLEND);
                glBlendFunc(blendSource, GL_ONE_MINUS_SRC_ALPHA);
            }
            draw();
        };
        display.Display();
    }
    // The pixel at (x, y up) has this colour, give or take the tolerance.
    testing::AssertionResult PixelIs(int x, int y, int r, int g, int b, int tolerance = 2)
    {
        const std::array<int, 4> p = display.PixelAt(x, y);
        if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance)
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "pixel " << x << "," << y << " is " << p[0] << "," << p[1] << ","
                                           << p[2] << "," << p[3];
    }

    HeadlessGLDisplay display{200, 120};
    GLTestRenderer renderer;
};
} // namespace

TEST_F(TexturePixelTest, BufferRowZeroLandsAtTheTopAndFormatsOrderTheBytes)
{
    GLTexture rgba(2, 2, GL_RGBA);
    GLTexture bgra(2, 2, GL_BGRA);
    for (GLTexture* t : {&rgba, &bgra})
    {
        SetPixel(*t, 0, 0, 255, 0, 0, 255);
        SetPixel(*t, 1, 0, 0, 255, 0, 255);
        SetPixel(*t, 0, 1, 0, 0, 255, 255);
        SetPixel(*t, 1, 1, 255, 255, 255, 255);
        t->LoadTexture();
    }
    Frame([&]() {
        rgba.Draw(10, 10);
        bgra.Draw(20, 10);
    });
    EXPECT_TRUE(PixelIs(10, 11, 255, 0, 0));
    EXPECT_TRUE(PixelIs(11, 11, 0, 255, 0));
    EXPECT_TRUE(PixelIs(10, 10, 0, 0, 255));
    EXPECT_TRUE(PixelIs(11, 10, 255, 255, 255));
    // The same bytes as blue, green, red.
    EXPECT_TRUE(PixelIs(20, 11, 0, 0, 255));
    EXPECT_TRUE(PixelIs(20, 10, 255, 0, 0));
    EXPECT_TRUE(PixelIs(12, 11, 0, 0, 0)); // nothing beyond the texture
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(TexturePixelTest, TexturesAreTintedByTheClickState)
{
    GLTexture white(4, 4, GL_RGBA);
    FillTexture(white, 255, 255, 255, 255);
    struct Case
    {
        int clicked, moused, r, g, b;
    };
    const Case cases[] = {{0, 0, 255, 255, 255}, {1, 0, 0, 87, 40},    {3, 1, 2, 2, 2},
                          {0, 1, 153, 255, 178}, {0, 4, 174, 188, 85}, {-7, -1, 255, 255, 255}};
    for (const Case& c : cases)
    {
        gTintState.QMB_expressor_clicked = c.clicked;
        gTintState.QMB_moused_known = c.moused;
        Frame([&]() { white.Draw(5, 5); });
        EXPECT_TRUE(PixelIs(6, 6, c.r, c.g, c.b)) << c.clicked << "/" << c.moused;
    }
}

TEST_F(TexturePixelTest, TexturesMadeWithoutAContextAppearAtTheFirstDraw)
{
    display.DoneCurrent();
    GLTexture t(3, 2, GL_BGRA);
    FillTexture(t, 0, 200, 0, 255);
    EXPECT_EQ(t.GetTextureName(), 0u);

    Frame([&]() { t.Draw(30, 30); });
    EXPECT_NE(t.GetTextureName(), 0u);
    EXPECT_TRUE(PixelIs(31, 31, 0, 200, 0));

    // New pixels reach the same texture object at the next draw.
    const GLuint name = t.GetTextureName();
    FillTexture(t, 90, 0, 0, 255);
    Frame([&]() { t.Draw(30, 30); });
    EXPECT_EQ(t.GetTextureName(), name);
    EXPECT_TRUE(PixelIs(31, 31, 0, 0, 90));

    // Resized and refilled without a context: the same texture object gets
    // new storage at the next draw.
    display.DoneCurrent();
    t.Initialize(20, 3, GL_RGBA);
    FillTexture(t, 0, 0, 250, 255);
    Frame([&]() { t.Draw(30, 30); });
    EXPECT_EQ(t.GetTextureName(), name);
    EXPECT_EQ(t.GetGLWidth(), 32);
    EXPECT_TRUE(PixelIs(48, 32, 0, 0, 250));
    EXPECT_TRUE(PixelIs(50, 32, 0, 0, 0));

    // An empty texture draws nothing.
    GLTexture empty;
    Frame([&]() { empty.Draw(30, 30); });
    EXPECT_TRUE(PixelIs(31, 31, 0, 0, 0));
}

TEST_F(TexturePixelTest, PaddingBeyondTheBufferIsTransparentBlack)
{
    GLTexture t(3, 3, GL_RGBA);
    FillTexture(t, 255, 255, 255, 255);
    // Source rectangle over the whole power-of-two storage (4 x 4), scaled by 10.
    Frame([&]() { t.Draw(0, 0, 4, 4, 0, 0, 40, 40); });
    EXPECT_TRUE(PixelIs(5, 5, 255, 255, 255));
    EXPECT_TRUE(PixelIs(37, 5, 0, 0, 0));
    EXPECT_TRUE(PixelIs(5, 37, 0, 0, 0));
}

TEST_F(TexturePixelTest, BadCoordinatesAreReportedButDrawn)
{
    GLTexture t(2, 2, GL_RGBA);
    FillTexture(t, 255, 255, 255, 255);
    testing::internal::CaptureStdout();
    Frame([&]() { t.Draw(2, 0, 0, 2, 10, 10, 12, 10); });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Bad texture coordinates 2 0 0 2.\nBad destination coordinates.\n");
}

TEST_F(TexturePixelTest, TextBoxesDrawLightTextAtTheTopOfTheBoxOnAnOptionalBacking)
{
    std::unique_ptr<GLTextBox> box(display.CreateTextBox(120, 2, false, GLTextBox::LEFT));
    box->SetText("Hello world");
    auto* textureBox = static_cast<TextureTextBox*>(box.get());
    ASSERT_GT(box->GetTextWidth(), 30);
    ASSERT_GT(textureBox->GetTextHeight(), 5);
    const int x = 40, y = 30, h = box->GetHeight();
    Frame([&]() { box->Draw(x, y); }, GL_ONE);
    auto brightest = [&](int y0, int y1) {
        int best = 0;
        for (int yy = y0; yy < y1; ++yy)
            for (int xx = x; xx < x + box->GetTextWidth(); ++xx)
                best = std::max(best, display.PixelAt(xx, yy)[0]);
        return best;
    };
    // Two lines high: the one-line text fills the upper line only.
    EXPECT_GT(brightest(y + h / 2, y + h), 180);
    EXPECT_EQ(brightest(y, y + h / 2 - 2), 0);
    EXPECT_LE(brightest(y, y + h), 232); // white at alpha 0.9

    box->ShowBackground(true);
    Frame([&]() { box->Draw(x, y); }, GL_ONE);
    // Backing: 6 pixels left of the box, 4 below the text, grey 0.1.
    const int textBottom = y + h - textureBox->GetTextHeight();
    EXPECT_TRUE(PixelIs(x - 5, textBottom - 3, 26, 26, 26));
    EXPECT_TRUE(PixelIs(x - 7, textBottom, 0, 0, 0));
    EXPECT_TRUE(PixelIs(x, textBottom - 5, 0, 0, 0));
}

TEST_F(TexturePixelTest, AClickedExpressorGivesEveryTextBoxATintedBacking)
{
    std::unique_ptr<GLTextBox> box(display.CreateTextBox(100, 1, false, GLTextBox::LEFT));
    box->SetText("Label");
    const int x = 40, y = 30;
    const int textBottom = y + box->GetHeight() - static_cast<TextureTextBox*>(box.get())->GetTextHeight();
    // No background asked for, yet the backing shows, raised by 8 pixels.
    const int clicked[] = {1, 2, 0};
    const int grey[][3] = {{174, 188, 85}, {232, 232, 232}, {0, 0, 0}};
    for (int i = 0; i < 3; ++i)
    {
        gTintState.QMB_expressor_clicked = clicked[i];
        Frame([&]() { box->Draw(x, y); }, GL_ONE);
        EXPECT_TRUE(PixelIs(x - 5, textBottom + 5, grey[i][0], grey[i][1], grey[i][2])) << clicked[i];
        EXPECT_TRUE(PixelIs(x - 5, textBottom + 3, 0, 0, 0)) << clicked[i];
    }
}

TEST_F(TexturePixelTest, TextBoxesClipLongTextToTheirWidth)
{
    std::unique_ptr<GLTextBox> box(display.CreateTextBox(40, 1, true, GLTextBox::LEFT));
    box->SetText("A rather long text for a narrow box");
    EXPECT_GT(box->GetTextWidth(), 100);
    EXPECT_EQ(box->GetWidth(), 40);
    Frame([&]() { box->Draw(10, 10); });
    int lit = 0;
    for (int xx = 50; xx < 120; ++xx)
        for (int yy = 10; yy < 10 + box->GetHeight(); ++yy)
            lit += display.PixelAt(xx, yy)[0] > 0;
    EXPECT_EQ(lit, 0);
}

TEST_F(TexturePixelTest, AnAtlasDrawsItsTextsAsTheirTextBoxesWould)
{
    // Enough texts for several shelves, overlapping, clipped to the box,
    // partly and wholly outside the view.
    std::vector<std::string> texts = {"Gfap", "Ä-ß ÿ", "A rather long text for a narrow box", ""};
    for (int i = 0; i < 60; ++i)
        texts.push_back("G" + std::to_string(i * 37));
    auto place = [](size_t i) {
        return std::make_pair(static_cast<int>(i % 8) * 27 - 20, static_cast<int>(i / 8) * 9 - 5);
    };
    TextAtlas atlas(display.GetTextRasterizer(), 60, false);
    std::vector<std::unique_ptr<GLTextBox>> boxes;
    for (const std::string& text : texts)
    {
        ASSERT_EQ(atlas.Add(text), static_cast<int>(boxes.size()));
        boxes.emplace_back(display.CreateTextBox(60, 1, false, GLTextBox::LEFT));
        boxes.back()->SetText(text);
        EXPECT_EQ(atlas.GetTextWidth(static_cast<int>(boxes.size()) - 1), boxes.back()->GetTextWidth());
    }
    for (const int clicked : {0, 1})
    {
        gTintState.QMB_expressor_clicked = clicked;
        Frame([&]() {
            for (size_t i = 0; i < boxes.size(); ++i)
                boxes[i]->Draw(place(i).first, place(i).second);
        }, GL_ONE);
        const QImage expected = display.GrabImage();
        Frame([&]() {
            for (size_t i = 0; i < texts.size(); ++i)
                atlas.Queue(static_cast<int>(i), place(i).first, place(i).second, 200, 120);
            atlas.DrawQueued();
        }, GL_ONE);
        EXPECT_TRUE(display.GrabImage() == expected) << clicked;
    }
    display.MakeCurrent();
    atlas.Clear();
}

TEST_F(TexturePixelTest, IconButtonsShowDisabledAndPressedStates)
{
    GLTextureButton button(20, 20, 16, 16);
    FillTexture(*button.GetIconTexture(), 200, 100, 50, 255); // BGRA: red 50, green 100, blue 200
    auto draw = [&](bool pressed) { Frame([&]() { button.Draw(pressed); }, GL_SRC_ALPHA); };
    draw(false);
    EXPECT_TRUE(PixelIs(25, 25, 50, 100, 200));
    EXPECT_TRUE(PixelIs(19, 19, 0, 0, 0));
    draw(true);
    EXPECT_TRUE(PixelIs(25, 25, 205, 155, 55));
    EXPECT_TRUE(PixelIs(19, 19, 255, 255, 255)); // the one-pixel margin is inverted too
    EXPECT_TRUE(PixelIs(18, 18, 0, 0, 0));

    button.SetEnabled(false);
    draw(false);
    EXPECT_TRUE(PixelIs(25, 25, 13, 25, 50, 3));
    draw(true);
    EXPECT_TRUE(PixelIs(25, 25, 242, 230, 205, 3));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_LOGIC_OP));
}

TEST_F(TexturePixelTest, TextButtonsDrawAGreyPlateThatLightensWhenPressed)
{
    GLTextureButton button(&display, "OK", 30, 30);
    const int plateRight = 30 + button.GetWidth();
    Frame([&]() { button.Draw(false); });
    EXPECT_TRUE(PixelIs(31, 31, 64, 64, 64));
    EXPECT_TRUE(PixelIs(plateRight - 1, 31, 64, 64, 64));
    EXPECT_TRUE(PixelIs(plateRight + 1, 31, 0, 0, 0));
    Frame([&]() { button.Draw(true); });
    EXPECT_TRUE(PixelIs(31, 31, 128, 128, 128));
}

// The Qt pieces behind the drawing layer: icon images, cursors and text.
#include "gl/Cursors.h"
#include "gl/GLTexture.h"
#include "gl/Icons.h"
#include "gl/QtCursors.h"
#include "gl/QtIconImages.h"
#include "gl/QtTextRasterizer.h"

#include <QCursor>
#include <QWidget>

#include <gtest/gtest.h>

#include <GL/gl.h>

TEST(QtIconImages, EveryIconMakerFindsItsImage)
{
    QtIconImages::Install();
    using Maker = void (*)(GLTexture&);
    for (Maker make : {MakeCloseTabIcon, MakeActiveCloseTabIcon, MakeShowBrowserImageIcon,
                       MakeActiveShowBrowserImageIcon, MakeISHImageIcon, MakeSagittalPlaneIcon, MakeCoronalPlaneIcon})
    {
        GLTexture t;
        make(t);
        EXPECT_FALSE(t.IsEmpty());
        EXPECT_EQ(t.GetFormat(), static_cast<unsigned>(GL_BGRA));
    }
    // Inverted icons: black ink becomes opaque white, the rest clear.
    for (Maker make : {MakeFindSimilarIcon, MakeFindMoreIcon, MakePauseIcon, MakePrevArrow, MakeNextArrow,
                       MakeEndArrow, MakeStartArrow})
    {
        GLTexture t;
        make(t);
        ASSERT_FALSE(t.IsEmpty());
        int opaque = 0, clear = 0;
        for (int i = 0; i < t.GetWidth() * t.GetHeight(); ++i)
        {
            const unsigned char* p = t.GetBuffer() + i * 4;
            opaque += p[3] == 255 && p[0] == 255;
            clear += p[3] == 0;
        }
        EXPECT_EQ(opaque + clear, t.GetWidth() * t.GetHeight());
        EXPECT_GT(opaque, 10);
        EXPECT_GT(clear, opaque / 2);
    }
    // The tab bar lays out its close icon 12 pixels wide; an unknown name
    // leaves the texture alone.
    GLTexture close;
    MakeCloseTabIcon(close);
    EXPECT_EQ(close.GetWidth(), 12);
    EXPECT_FALSE(LoadIconTexture("NoSuchImage", close, false));
    EXPECT_EQ(close.GetWidth(), 12);
}

TEST(QtCursors, CursorsMapToQtShapesAndTheApplicationsImages)
{
    const std::pair<Cursors::Cursor, Qt::CursorShape> shapes[] = {
        {Cursors::ARROW, Qt::ArrowCursor},
        {Cursors::CROSSHAIR, Qt::CrossCursor},
        {Cursors::RESIZE_UP_DOWN, Qt::SizeVerCursor},
        {Cursors::RESIZE_LEFT_RIGHT, Qt::SizeHorCursor}};
    for (const auto& [cursor, shape] : shapes)
        EXPECT_EQ(QtCursors::GetCursor(cursor)->shape(), shape) << cursor;
    for (Cursors::Cursor c : {Cursors::RESIZE_NE, Cursors::RESIZE_NW, Cursors::MOVE})
    {
        const QCursor* cursor = QtCursors::GetCursor(c);
        ASSERT_NE(cursor, nullptr);
        EXPECT_EQ(cursor->shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor->hotSpot(), QPoint(7, 7));
        EXPECT_EQ(QtCursors::GetCursor(c), cursor); // made once
    }
    EXPECT_NE(QtCursors::GetCursor(Cursors::RESIZE_NE), QtCursors::GetCursor(Cursors::RESIZE_NW));
    EXPECT_EQ(QtCursors::GetCursor(static_cast<Cursors::Cursor>(7)), nullptr);

    // Unknown cursors and a missing target leave the widget's cursor alone.
    QWidget widget;
    QtCursors::SetCursorTarget(&widget);
    Cursors::SetCursor(Cursors::CROSSHAIR);
    EXPECT_EQ(widget.cursor().shape(), Qt::CrossCursor);
    Cursors::SetCursor(static_cast<Cursors::Cursor>(9));
    EXPECT_EQ(widget.cursor().shape(), Qt::CrossCursor);
    QtCursors::SetCursorTarget(nullptr);
    Cursors::SetCursor(Cursors::ARROW);
    EXPECT_EQ(widget.cursor().shape(), Qt::CrossCursor);
}

TEST(QtTextRasterizer, RendersPremultipliedWhiteTextAlignedInTheBox)
{
    QtTextRasterizer& raster = *QtTextRasterizer::Instance();
    EXPECT_GT(raster.GetLineHeight(false), raster.GetLineHeight(true));
    EXPECT_GE(raster.GetLineHeight(true), 9);

    // The first and last columns with ink; the width of the text.
    auto inkColumns = [&](GLTextBox::Alignment alignment, int& first, int& last) {
        PlatformBitmap bitmap;
        int w = 0, h = 0;
        raster.Render("Mid", false, alignment, 100, 20, bitmap, w, h);
        EXPECT_EQ(bitmap.width, 100);
        EXPECT_EQ(bitmap.bytesPerRow, 400);
        EXPECT_TRUE(bitmap.hasAlpha);
        first = 100;
        last = -1;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 100; ++x)
            {
                const unsigned char* p = bitmap.bytes.data() + y * 400 + x * 4;
                EXPECT_LE(p[0], p[3]); // premultiplied
                EXPECT_LE(p[3], 230);  // alpha 0.9 at most
                if (p[3] > 0)
                {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        return w;
    };
    int l0, l1, c0, c1, r0, r1;
    EXPECT_GT(inkColumns(GLTextBox::LEFT, l0, l1), 10);
    inkColumns(GLTextBox::CENTER, c0, c1);
    inkColumns(GLTextBox::RIGHT, r0, r1);
    EXPECT_LT(l0, 3);
    EXPECT_GT(r1, 96);
    EXPECT_NEAR((c0 + c1) / 2.0, 50.0, 3.0);

    // A box without width measures the text and draws nothing.
    PlatformBitmap none;
    int w = 0, h = 0;
    raster.Render("Wide text", true, GLTextBox::LEFT, 0, 12, none, w, h);
    EXPECT_TRUE(none.bytes.empty());
    EXPECT_GT(w, 20);
}

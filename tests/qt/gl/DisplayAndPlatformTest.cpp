#include "gl/Cursors.h"
#include "gl/GLTexture.h"
#include "gl/Icons.h"
#include "gl/QtCursors.h"
#include "gl/QtIconImages.h"
#include "gl/QtTextRasterizer.h"
#include "gl/TimerListener.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <QCursor>
#include <QWidget>

#include <gtest/gtest.h>

#include <GL/gl.h>

namespace
{
class CountingTimer : public TimerListener
{
public:
    void TimerElapsed() override { ++ticks; }
    int ticks = 0;
};
} // namespace

TEST(HeadlessGLDisplay, SetsUpRenderersLikeTheApplicationView)
{
    HeadlessGLDisplay display(320, 200);
    ASSERT_TRUE(display.IsValid());
    GLTestRenderer renderer;
    const GLubyte* version = nullptr;
    renderer.draw = [&]() { version = glGetString(GL_VERSION); };
    CountingTimer timer;
    display.StartTimer(40, &timer);
    display.SetRenderer(&renderer);
    EXPECT_FALSE(display.timerListener); // setting a renderer stops the timer
    EXPECT_EQ(renderer.calls, (std::vector<std::string>{"Initialize", "Reshape 320 200"}));
    display.Display();
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(display.swapCount, 0);
    display.Resize(100, 80);
    EXPECT_EQ(renderer.calls.back(), "Reshape 100 80");
    EXPECT_EQ(display.GrabImage().size(), QSize(100, 80));
}

TEST(HeadlessGLDisplay, TimersTickOnlyWhenAskedAndOneAtATime)
{
    HeadlessGLDisplay display;
    CountingTimer first, second;
    display.StartTimer(40, &first);
    display.Tick(3);
    display.StartTimer(50, &second);
    display.Tick();
    EXPECT_EQ(first.ticks, 3);
    EXPECT_EQ(second.ticks, 1);
    EXPECT_EQ(display.timerInterval, 50u);
    display.StopTimer();
    display.StopTimer();
    display.Tick();
    EXPECT_EQ(second.ticks, 1);
}

TEST(HeadlessGLDisplay, InputFollowsTheListenerConventions)
{
    HeadlessGLDisplay display;
    GLTestRenderer listener;
    EXPECT_FALSE(display.Press(0, 1, 1)); // no listener: dropped
    display.SetMouseListener(&listener);
    display.DoubleClick(2, 399, 299, 5);
    display.Wheel(10, 20, -0.014);
    display.Wheel(10, 20, 0.25);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"down 2 399 299 5", "up 2 399 299 5", "down 2 399 299 5",
                                                        "double 2 399 299 5", "wheel -1 10 20 0", "wheel 25 10 20 0"}));
    listener.cursors = [&]() { display.AddCursorRect(1, 2, 3, 4, Cursors::MOVE); };
    display.SetRenderer(&listener);
    display.RebuildCursorRects();
    display.RebuildCursorRects();
    ASSERT_EQ(display.cursorRects.size(), 1u);
    EXPECT_EQ(display.cursorRects[0].cursor, Cursors::MOVE);
    EXPECT_EQ(display.cursorRects[0].height, 4);
}

TEST(QtIconImages, EveryIconMakerFindsItsImage)
{
    QtIconImages::Install();
    using Maker = void (*)(GLTexture&);
    const Maker colour[] = {
        MakeCloseTabIcon, MakeActiveCloseTabIcon, MakeShowBrowserImageIcon, MakeActiveShowBrowserImageIcon,
        MakeISHImageIcon, MakeSagittalPlaneIcon,  MakeCoronalPlaneIcon};
    const Maker inverted[] = {MakeFindSimilarIcon, MakeFindMoreIcon, MakePauseIcon, MakePrevArrow,
                              MakeNextArrow,       MakeEndArrow,     MakeStartArrow};
    for (Maker make : colour)
    {
        GLTexture t;
        make(t);
        EXPECT_FALSE(t.IsEmpty());
        EXPECT_EQ(t.GetFormat(), static_cast<unsigned>(GL_BGRA));
    }
    for (Maker make : inverted)
    {
        GLTexture t;
        make(t);
        ASSERT_FALSE(t.IsEmpty());
        int opaque = 0, clear = 0;
        for (int i = 0; i < t.GetWidth() * t.GetHeight(); ++i)
        {
            const unsigned char* p = t.GetBuffer() + i * 4;
            if (p[3] == 255)
            {
                ++opaque;
                EXPECT_EQ(p[0], 255); // black ink becomes white
            }
            else
            {
                ++clear;
                EXPECT_EQ(p[3], 0);
            }
        }
        EXPECT_GT(opaque, 10);
        EXPECT_GT(clear, opaque / 2);
    }
    GLTexture close, active;
    MakeCloseTabIcon(close);
    MakeActiveCloseTabIcon(active);
    EXPECT_EQ(close.GetWidth(), 12);
    // The brightened close icon is lighter wherever the plain one has colour.
    const unsigned char* c = close.GetBuffer() + (1 * 12 + 6) * 4;
    const unsigned char* a = active.GetBuffer() + (1 * 12 + 6) * 4;
    EXPECT_GT(c[0], 0);
    EXPECT_GT(a[0], c[0]);
    EXPECT_FALSE(LoadIconTexture("NoSuchImage", close, false));
    EXPECT_EQ(close.GetWidth(), 12);
}

TEST(QtCursors, CursorsMapToQtShapesAndTheApplicationsImages)
{
    EXPECT_EQ(QtCursors::GetCursor(Cursors::ARROW)->shape(), Qt::ArrowCursor);
    EXPECT_EQ(QtCursors::GetCursor(Cursors::CROSSHAIR)->shape(), Qt::CrossCursor);
    EXPECT_EQ(QtCursors::GetCursor(Cursors::RESIZE_UP_DOWN)->shape(), Qt::SizeVerCursor);
    EXPECT_EQ(QtCursors::GetCursor(Cursors::RESIZE_LEFT_RIGHT)->shape(), Qt::SizeHorCursor);
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
    const int width = inkColumns(GLTextBox::LEFT, l0, l1);
    inkColumns(GLTextBox::CENTER, c0, c1);
    inkColumns(GLTextBox::RIGHT, r0, r1);
    EXPECT_GT(width, 10);
    EXPECT_LT(l0, 3);
    EXPECT_GT(r1, 96);
    EXPECT_NEAR((c0 + c1) / 2.0, 50.0, 3.0);

    PlatformBitmap none;
    int w = 0, h = 0;
    raster.Render("Wide text", true, GLTextBox::LEFT, 0, 12, none, w, h);
    EXPECT_TRUE(none.bytes.empty());
    EXPECT_GT(w, 20);
}

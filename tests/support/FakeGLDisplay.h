#ifndef NUVARO_TESTS_FAKEGLDISPLAY_H
#define NUVARO_TESTS_FAKEGLDISPLAY_H

// A display without GL for logic tests: it records what renderers ask of it
// and makes text boxes that measure text by a fixed advance per character.

#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/Icons.h"

#include <string>
#include <vector>

class TimerListener;

// Text measured as `advance` pixels per character (code point), kLineHeight
// pixels per line. Draw only records the position.
class FakeTextBox : public GLTextBox
{
public:
    static constexpr int kLineHeight = 14;

    FakeTextBox(int width, int lines, bool smallFont, Alignment alignment, int advance = 7);

    void SetText(const std::string& text) override;
    void Draw(int x, int y) override;
    void ShowBackground(bool show) override { showBackground = show; }
    int GetLineHeight() override { return kLineHeight; }
    int GetTextWidth() override { return textWidth; }
    int GetWidth() override { return width; }
    int GetHeight() override { return height; }

    std::string text;
    int width;
    int height;
    bool smallFont;
    Alignment alignment;
    int advance;
    int textWidth = 0;
    bool showBackground = false;
    int drawCount = 0;
    int lastX = 0;
    int lastY = 0;
};

class FakeGLDisplay : public GLDisplay
{
public:
    struct CursorRect
    {
        int x, y, width, height;
        Cursors::Cursor cursor;
    };

    void Display() override;
    void Invalidate() override { ++invalidateCount; }
    void SwapBuffers() override { ++swapCount; }
    bool MakeCurrent() override { return true; }
    void SetVSync(bool on) override { vsync = on; }
    void SetSendMouseMoved(bool on) override { sendMouseMoved = on; }
    int GetWidth() override { return width; }
    int GetHeight() override { return height; }
    void CaptureMouse() override { captured = true; }
    void ReleaseMouse() override { captured = false; }
    void StartTimer(unsigned milliseconds, TimerListener* listener) override;
    void StopTimer() override;
    GLTextBox* CreateTextBox(int width, int lines, bool smallFont, GLTextBox::Alignment alignment) override;
    TextRasterizer* GetTextRasterizer() override { return nullptr; }
    void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) override;
    void InvalidateCursorRects() override { ++cursorInvalidations; }

    // Calls the running timer's listener n times.
    void Tick(int n = 1);

    int width = 400;
    int height = 300;
    int textAdvance = 7; // pixels per character of the text boxes made here
    int displayCount = 0;
    int invalidateCount = 0;
    int swapCount = 0;
    int cursorInvalidations = 0;
    bool vsync = false;
    bool sendMouseMoved = false;
    bool captured = false;
    unsigned timerInterval = 0;
    TimerListener* timerListener = nullptr;
    int timerStarts = 0;
    int timerStops = 0;
    std::vector<CursorRect> cursorRects;
    std::vector<FakeTextBox*> textBoxes; // made here, owned by the callers
    // Called from Display (for example to look at a renderer's state mid-frame).
    void (*onDisplay)(void* context) = nullptr;
    void* onDisplayContext = nullptr;
};

// Named images for the icon makers: every name gives a size x size image,
// opaque mid-grey with a black centre pixel.
class FakeIconImageSource : public IconImageSource
{
public:
    explicit FakeIconImageSource(int size = 12) : size(size) {}
    bool GetIconBitmap(const char* name, PlatformBitmap& bitmap) override;

    int size;
    std::vector<std::string> requested;
};

// Installs an image source for one scope and removes it afterwards.
class ScopedIconImageSource
{
public:
    explicit ScopedIconImageSource(IconImageSource* source);
    ~ScopedIconImageSource();

private:
    IconImageSource* m_previous;
};

#endif

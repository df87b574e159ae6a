#include "support/FakeGLDisplay.h"

#include "gl/TimerListener.h"
#include "gl/Utf8.h"

FakeTextBox::FakeTextBox(int width, int lines, bool smallFont, Alignment alignment, int advance)
    : width(width),
      height(kLineHeight * (lines < 1 ? 1 : lines)),
      smallFont(smallFont),
      alignment(alignment),
      advance(advance)
{}

void FakeTextBox::SetText(const std::string& newText)
{
    text = newText;
    textWidth = advance * static_cast<int>(Utf8::CountCodePoints(text));
}

void FakeTextBox::Draw(int x, int y)
{
    ++drawCount;
    lastX = x;
    lastY = y;
}

void FakeGLDisplay::Display()
{
    ++displayCount;
    if (onDisplay)
        onDisplay(onDisplayContext);
}

void FakeGLDisplay::StartTimer(unsigned milliseconds, TimerListener* listener)
{
    StopTimer();
    ++timerStarts;
    timerInterval = milliseconds;
    timerListener = listener;
}

void FakeGLDisplay::StopTimer()
{
    if (timerListener)
        ++timerStops;
    timerListener = nullptr;
    timerInterval = 0;
}

void FakeGLDisplay::Tick(int n)
{
    for (int i = 0; i < n && timerListener; ++i)
        timerListener->TimerElapsed();
}

GLTextBox* FakeGLDisplay::CreateTextBox(int w, int lines, bool smallFont, GLTextBox::Alignment alignment)
{
    FakeTextBox* box = new FakeTextBox(w, lines, smallFont, alignment, textAdvance);
    textBoxes.push_back(box);
    return box;
}

void FakeGLDisplay::AddCursorRect(int x, int y, int w, int h, Cursors::Cursor cursor)
{
    cursorRects.push_back(CursorRect{x, y, w, h, cursor});
}

bool FakeIconImageSource::GetIconBitmap(const char* name, PlatformBitmap& bitmap)
{
    requested.push_back(name);
    bitmap = PlatformBitmap();
    bitmap.width = bitmap.height = size;
    bitmap.bitsPerPixel = 32;
    bitmap.samplesPerPixel = 4;
    bitmap.hasAlpha = true;
    bitmap.bytesPerRow = size * 4;
    bitmap.bytes.assign(static_cast<size_t>(size) * size * 4, 128);
    for (size_t i = 3; i < bitmap.bytes.size(); i += 4)
        bitmap.bytes[i] = 255;
    const size_t centre = (static_cast<size_t>(size / 2) * size + size / 2) * 4;
    bitmap.bytes[centre] = bitmap.bytes[centre + 1] = bitmap.bytes[centre + 2] = 0;
    return true;
}

ScopedIconImageSource::ScopedIconImageSource(IconImageSource* source) : m_previous(GetIconImageSource())
{
    SetIconImageSource(source);
}

ScopedIconImageSource::~ScopedIconImageSource()
{
    SetIconImageSource(m_previous);
}

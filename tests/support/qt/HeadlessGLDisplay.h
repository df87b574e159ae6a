#ifndef NUVARO_TESTS_QT_HEADLESSGLDISPLAY_H
#define NUVARO_TESTS_QT_HEADLESSGLDISPLAY_H

// A GLDisplay for tests: an OpenGL compatibility-profile context (sharing
// objects with the application's global share context) over an offscreen
// surface, rendering into a single-sample framebuffer object with colour and
// depth. What the fake display records (timer, cursor rectangles,
// invalidations, swaps) is recorded here too, and timers run only through
// Tick; text boxes are the real ones with the Qt rasteriser. Input helpers send
// listener calls in the system's conventions (top-left origin, double click
// replacing the second release). Needs a QGuiApplication and a GL-capable
// platform (Xvfb).

#include "support/FakeGLDisplay.h"

#include <QImage>

#include <array>
#include <memory>
#include <string>

class GLRenderer;
class KeyListener;
class MouseListener;
class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

// Keeps the loaded GL driver libraries in memory until the process ends. The
// driver is unloaded when the X connection closes, before the leak checker of
// the sanitizer build runs; its allocations would then show without a library
// name, out of reach of the suppressions for system libraries. Called at start
// and whenever a context is made (the driver loads with the first one).
void PinGLDrivers();

// The text of a box made by the headless display ("<no text box>" for one it
// did not make).
std::string TextOf(const GLTextBox* box);

class HeadlessGLDisplay : public FakeGLDisplay
{
public:
    HeadlessGLDisplay(int width = 400, int height = 300);
    ~HeadlessGLDisplay() override;

    HeadlessGLDisplay(const HeadlessGLDisplay&) = delete;
    HeadlessGLDisplay& operator=(const HeadlessGLDisplay&) = delete;

    // True when the context and the framebuffer were made.
    bool IsValid() const;

    void Display() override;
    bool MakeCurrent() override;
    GLTextBox* CreateTextBox(int width, int lines, bool smallFont, GLTextBox::Alignment alignment) override;
    TextRasterizer* GetTextRasterizer() override;

    // Like the application's view: stops the timer, makes the context
    // current, calls Initialize and Reshape with the current size.
    void SetRenderer(GLRenderer* renderer);
    void SetMouseListener(MouseListener* listener) { m_mouse = listener; }
    void SetKeyListener(KeyListener* listener) { m_keys = listener; }
    // New size: a new framebuffer (contents lost) and Reshape.
    void Resize(int width, int height);
    // Clears the recorded cursor rectangles and asks the renderer for new ones.
    void RebuildCursorRects();
    // Releases the context (to check code that must not need one).
    void DoneCurrent();

    // Input in listener coordinates (origin top left). Each event advances
    // the event clock by 10 ms. Return what the listener answered (false
    // when there is none).
    bool Press(int button, int x, int y, int flags = 0);
    bool Release(int button, int x, int y, int flags = 0);
    bool Move(int x, int y, int flags = 0);
    // A click: press then release.
    void Click(int button, int x, int y, int flags = 0);
    // Press, release, press, then the double click in place of the second release.
    void DoubleClick(int button, int x, int y, int flags = 0);
    // A wheel step of the given vertical scroll amount (delta 100 times it, truncated).
    bool Wheel(int x, int y, double scrollAmount, int flags = 0);
    bool Key(unsigned character, int flags = 0);
    bool SpecialKey(int key, int flags = 0);

    // Pixels of the last frame. Coordinates in GL convention: origin at the
    // bottom-left pixel. Channels red, green, blue, alpha.
    std::array<int, 4> PixelAt(int x, int yUp);
    // The whole frame, top row first.
    QImage GrabImage();
    // Clears colour (to the given grey, alpha 1) and depth, and sets an
    // orthographic projection in pixels with y upwards over the viewport.
    void BeginPixelFrame(float grey = 0.0f);

private:
    void MakeFramebuffer();

    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLContext> m_context;
    std::unique_ptr<QOpenGLFramebufferObject> m_fbo;
    GLRenderer* m_renderer = nullptr;
    MouseListener* m_mouse = nullptr;
    KeyListener* m_keys = nullptr;
    unsigned m_time = 1000;
};

#endif

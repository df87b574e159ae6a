#ifndef NUVARO_QT_SHELL_GLVIEW_H
#define NUVARO_QT_SHELL_GLVIEW_H

#include "gl/Cursors.h"

#include <QByteArray>
#include <QOpenGLWidget>
#include <QRect>

#include <memory>
#include <vector>

class GLRenderer;
class KeyListener;
class MouseListener;
class QOpenGLContext;
class QOpenGLFramebufferObject;

// The document's OpenGL view: draws the current renderer and turns Qt's
// mouse, wheel and key events into MouseListener and KeyListener calls with
// the toolkit's conventions (device pixels, origin at the top-left pixel,
// buttons 0 left, 1 middle, 2 right, flags 1 Shift, 2 Ctrl, 4 Alt, the
// release of a second click as a double click). It owns no drawing state.
//
// Every press it reports ends with a release. When the view does not get a
// button's release (a modal window opens while the button is down, the view
// loses focus or the mouse, or a mouse event says the button is no longer
// held) it sends the listener that button-up itself, at the last position it
// reported, so that no renderer stays in a drag that nothing ends. A release
// that then arrives after all is dropped.
class GLView : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit GLView(QWidget* parent = nullptr);
    ~GLView() override;

    // The process-wide context every view shares lists and textures with.
    static QOpenGLContext* SharedContext();
    // Reads GL_MAX_SAMPLES from a probe context, stores it as the largest
    // sample count and lowers the "Multisample" preference to it when it is
    // above. Returns the count (0 when no context can be made).
    static int testCapabilities();

    GLRenderer* renderer() const { return m_renderer; }
    void setRenderer(GLRenderer* renderer) { m_renderer = renderer; }
    MouseListener* mouseListener() const { return m_mouseListener; }
    void setMouseListener(MouseListener* listener) { m_mouseListener = listener; }
    KeyListener* keyListener() const { return m_keyListener; }
    void setKeyListener(KeyListener* listener) { m_keyListener = listener; }
    // Buttonless moves reach the listener only while this is on.
    void setSendMouseMoved(bool on) { m_sendMouseMoved = on; }
    bool sendMouseMoved() const { return m_sendMouseMoved; }
    // Swap interval for views made from now on (Qt fixes it per context).
    static void setVSync(bool on);
    // The sample count the view was made with ("Multisample").
    int samples() const { return m_samples; }

    // The drawable size in device pixels.
    int deviceWidth() const;
    int deviceHeight() const;
    // Draws the renderer's frame before returning.
    void drawNow();
    // True once the view has a GL context (first show or grab).
    bool hasContext() const;
    // Makes the context current; false while the view has none. With a
    // multisampled framebuffer (and outside paintGL) a resolved single-sample
    // copy is bound for reading, so depth reads work.
    bool makeCurrentForReading();

    // Cursor rectangles in view device pixels, origin at the bottom left.
    // Collected only while the renderer's ResetCursorRects runs.
    void addCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor);
    // Rebuilds the list on the next turn of the event loop.
    void invalidateCursorRects();
    // Rebuilds it now (also done on every resize).
    void resetCursorRects();
    // The cursor of the rectangle holding the listener point, arrow elsewhere.
    Cursors::Cursor cursorAt(int x, int y) const;

    // The current frame, alpha 255, as TIFF; empty when there is none.
    QByteArray getImageData();
    // Puts the frame on the clipboard as TIFF and as an image; false when
    // there is none.
    bool copyToPasteboard();
    // Writes the frame as a TIFF file, whole or not at all; false on failure.
    bool saveImage(const QString& path);

signals:
    // The context exists (first initializeGL).
    void contextReady();
    // A frame was drawn by a renderer.
    void frameDrawn();

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int w, int h) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct CursorRect
    {
        QRect rect;
        Cursors::Cursor cursor;
    };
    // The current frame with every pixel's alpha 255; null when there is none.
    QImage opaqueFrame();
    // Listener coordinates of a widget position.
    int listenerX(double x) const;
    int listenerY(double y) const;
    // A press; the release after a second click becomes the double click.
    void buttonDown(QMouseEvent* event, bool secondClick);
    void forwardMove(double x, double y, Qt::KeyboardModifiers modifiers, unsigned long time);
    void applyCursor(int x, int y);
    // Keeps what a mouse event reported to the listener carried.
    void noteReported(int x, int y, int flags, unsigned time);
    // Runs a listener call (guarded as every handler is). Releases found lost
    // meanwhile are sent once the outermost call has returned: a call may
    // open a window or run an event loop before it returns.
    template <typename Call>
    void callListener(Call&& call);
    // The presses of these buttons have lost their release: ends them.
    void endPresses(unsigned buttons);
    // Ends the pressed buttons that a mouse event reports as not held.
    void endPressesNotHeld(Qt::MouseButtons held);
    void sendLostReleases();

    GLRenderer* m_renderer = nullptr;
    MouseListener* m_mouseListener = nullptr;
    KeyListener* m_keyListener = nullptr;
    int m_samples = 0;
    bool m_sendMouseMoved = false;
    bool m_inPaint = false;
    bool m_paintFailed = false;
    bool m_collectingCursorRects = false;
    bool m_cursorRebuildQueued = false;
    // Buttons whose next release is the end of a double click.
    unsigned m_doubleClickPending = 0;
    // Buttons (bit 1 << listener button) reported down and not yet up.
    unsigned m_buttonsDown = 0;
    // Buttons whose release was lost, to be reported up.
    unsigned m_lostReleases = 0;
    // Listener calls under way.
    int m_listenerCalls = 0;
    // What the last event reported to the listener carried.
    int m_lastX = 0;
    int m_lastY = 0;
    int m_lastFlags = 0;
    unsigned m_lastTime = 0;
    std::vector<CursorRect> m_cursorRects;
    std::unique_ptr<QOpenGLFramebufferObject> m_resolved;
};

#endif

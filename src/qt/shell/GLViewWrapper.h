#ifndef NUVARO_QT_SHELL_GLVIEWWRAPPER_H
#define NUVARO_QT_SHELL_GLVIEWWRAPPER_H

#include "gl/GLDisplay.h"
#include "model/UserPreferences.h"

#include <QObject>
#include <QPointer>

class GLRenderer;
class GLView;
class KeyListener;
class MouseListener;
class QTimer;
class TimerListener;

// The GLDisplay over one GLView: renderers draw, time and take input through
// it. Display repaints at once, Invalidate schedules a repaint (from any
// thread), the one repeating timer calls the listener that started it last.
// Everything else is main thread only.
class GLViewWrapper : public QObject, public GLDisplay, public UserPreferencesListener
{
    Q_OBJECT
public:
    explicit GLViewWrapper(GLView* view);
    ~GLViewWrapper() override;
    GLViewWrapper(const GLViewWrapper&) = delete;
    GLViewWrapper& operator=(const GLViewWrapper&) = delete;

    // GLDisplay
    void Display() override;
    void Invalidate() override;
    void SwapBuffers() override;
    bool MakeCurrent() override;
    void SetVSync(bool on) override;
    void SetSendMouseMoved(bool on) override;
    int GetWidth() override;
    int GetHeight() override;
    void CaptureMouse() override;
    void ReleaseMouse() override;
    void StartTimer(unsigned milliseconds, TimerListener* listener) override;
    void StopTimer() override;
    GLTextBox* CreateTextBox(int width, int lines, bool smallFont, GLTextBox::Alignment alignment) override;
    TextRasterizer* GetTextRasterizer() override;
    void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) override;
    void InvalidateCursorRects() override;

    // Stops the timer and gives the view the renderer (null: none); a new
    // renderer is initialised and reshaped with the context current. Null
    // also clears both listeners.
    void SetRenderer(GLRenderer* renderer);
    void SetMouseListener(MouseListener* listener);
    void SetKeyListener(KeyListener* listener);

    // UserPreferencesListener: vertical sync follows the preference.
    void PreferenceChanged(int code) override;

    GLView* view() const { return m_view; }
    // True while a timer runs (for tests).
    bool timerRunning() const;

private:
    QPointer<GLView> m_view;
    QTimer* m_timer = nullptr;
    TimerListener* m_timerListener = nullptr;
};

#endif

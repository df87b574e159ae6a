#include "shell/GLViewWrapper.h"

#include "gl/GLRenderer.h"
#include "gl/QtTextRasterizer.h"
#include "gl/TextureTextBox.h"
#include "gl/TimerListener.h"
#include "shell/GLView.h"
#include "shell/HandlerGuard.h"

#include <QMetaObject>
#include <QTimer>


GLViewWrapper::GLViewWrapper(GLView* view) : m_view(view)
{
    UserPreferences::GetPreferences()->AddListener(this);
}

GLViewWrapper::~GLViewWrapper()
{
    StopTimer();
    UserPreferences::GetPreferences()->RemoveListener(this);
}

void GLViewWrapper::Display()
{
    if (m_view)
        m_view->drawNow();
}

void GLViewWrapper::Invalidate()
{
    // QWidget::update belongs to the main thread: a call from elsewhere is
    // queued to it.
    QMetaObject::invokeMethod(
        this,
        [view = m_view] {
            if (view)
                view->update();
        },
        Qt::AutoConnection);
}

void GLViewWrapper::SwapBuffers()
{
    // Qt presents the frame after paintGL returns.
}

bool GLViewWrapper::MakeCurrent()
{
    return m_view && m_view->makeCurrentForReading();
}

void GLViewWrapper::SetVSync(bool on)
{
    GLView::setVSync(on);
}

void GLViewWrapper::SetSendMouseMoved(bool on)
{
    if (m_view)
        m_view->setSendMouseMoved(on);
}

int GLViewWrapper::GetWidth()
{
    return m_view ? m_view->deviceWidth() : 0;
}

int GLViewWrapper::GetHeight()
{
    return m_view ? m_view->deviceHeight() : 0;
}

void GLViewWrapper::CaptureMouse()
{
}

void GLViewWrapper::ReleaseMouse()
{
}

void GLViewWrapper::StartTimer(unsigned milliseconds, TimerListener* listener)
{
    StopTimer();
    m_timerListener = listener;
    m_timer = new QTimer(this);
    m_timer->setInterval(static_cast<int>(milliseconds));
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_timerListener)
            RunAlerting([this] { m_timerListener->TimerElapsed(); });
    });
    m_timer->start();
}

void GLViewWrapper::StopTimer()
{
    if (!m_timer)
        return;
    m_timer->stop();
    // The timer may be stopped from its own tick.
    m_timer->deleteLater();
    m_timer = nullptr;
    m_timerListener = nullptr;
}

bool GLViewWrapper::timerRunning() const
{
    return m_timer != nullptr;
}

GLTextBox* GLViewWrapper::CreateTextBox(int width, int lines, bool smallFont, GLTextBox::Alignment alignment)
{
    return new TextureTextBox(QtTextRasterizer::Instance(), width, lines, smallFont, alignment);
}

TextRasterizer* GLViewWrapper::GetTextRasterizer()
{
    return QtTextRasterizer::Instance();
}

void GLViewWrapper::AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor)
{
    if (m_view)
        m_view->addCursorRect(x, y, width, height, cursor);
}

void GLViewWrapper::InvalidateCursorRects()
{
    if (m_view)
        m_view->invalidateCursorRects();
}

void GLViewWrapper::SetRenderer(GLRenderer* renderer)
{
    StopTimer();
    if (!m_view)
        return;
    m_view->setRenderer(renderer);
    if (!renderer)
    {
        m_view->setMouseListener(nullptr);
        m_view->setKeyListener(nullptr);
        return;
    }
    if (m_view->makeCurrentForReading())
    {
        renderer->Initialize();
        renderer->Reshape(GetWidth(), GetHeight());
    }
    m_view->resetCursorRects();
}

void GLViewWrapper::SetMouseListener(MouseListener* listener)
{
    if (m_view)
        m_view->setMouseListener(listener);
}

void GLViewWrapper::SetKeyListener(KeyListener* listener)
{
    if (m_view)
        m_view->setKeyListener(listener);
}

void GLViewWrapper::PreferenceChanged(int code)
{
    if (code == UserPreferences::kVSyncChanged)
        SetVSync(UserPreferences::GetPreferences()->GetVSync());
}

#include "shell/GLView.h"

#include "gl/GLRenderer.h"
#include "gl/InputConventions.h"
#include "gl/KeyListener.h"
#include "gl/MouseListener.h"
#include "gl/QtCursors.h"
#include "model/UserPreferences.h"
#include "shell/HandlerGuard.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPaintEvent>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QSaveFile>
#include <QTimer>
#include <QWheelEvent>


namespace
{
bool sVSync = true;

int ListenerButton(Qt::MouseButton button)
{
    switch (button)
    {
    case Qt::LeftButton:
        return 0;
    case Qt::MiddleButton:
        return 1;
    case Qt::RightButton:
        return 2;
    default:
        return -1;
    }
}

int Flags(Qt::KeyboardModifiers modifiers)
{
    return InputConventions::ModifierFlags(modifiers.testFlag(Qt::ShiftModifier),
                                           modifiers.testFlag(Qt::ControlModifier),
                                           modifiers.testFlag(Qt::AltModifier));
}

int SpecialKey(int key)
{
    switch (key)
    {
    case Qt::Key_Up:
        return KeyListener::KEY_UP;
    case Qt::Key_Down:
        return KeyListener::KEY_DOWN;
    case Qt::Key_Left:
        return KeyListener::KEY_LEFT;
    case Qt::Key_Right:
        return KeyListener::KEY_RIGHT;
    case Qt::Key_PageUp:
        return KeyListener::KEY_PAGE_UP;
    case Qt::Key_PageDown:
        return KeyListener::KEY_PAGE_DOWN;
    case Qt::Key_Home:
        return KeyListener::KEY_HOME;
    case Qt::Key_End:
        return KeyListener::KEY_END;
    default:
        return 0;
    }
}

} // namespace

GLView::GLView(QWidget* parent) : QOpenGLWidget(parent)
{
    QSurfaceFormat f = QSurfaceFormat::defaultFormat();
    // Qt reports 0 samples for the widget's framebuffer whatever it holds:
    // the count asked for is kept.
    m_samples = UserPreferences::GetPreferences()->GetNumSamples();
    f.setSamples(m_samples);
    f.setSwapInterval(sVSync ? 1 : 0);
    setFormat(f);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QtCursors::SetCursorTarget(this);
}

GLView::~GLView()
{
    if (QtCursors::GetCursorTarget() == this)
        QtCursors::SetCursorTarget(nullptr);
    if (m_resolved && context())
    {
        makeCurrent();
        m_resolved.reset();
        doneCurrent();
    }
}

QOpenGLContext* GLView::SharedContext()
{
    return QOpenGLContext::globalShareContext();
}

int GLView::testCapabilities()
{
    int samples = 0;
    QOpenGLContext probe;
    probe.setFormat(QSurfaceFormat::defaultFormat());
    QOffscreenSurface surface;
    surface.setFormat(probe.format());
    surface.create();
    if (probe.create() && probe.makeCurrent(&surface))
    {
        probe.functions()->glGetIntegerv(GL_MAX_SAMPLES, &samples);
        probe.doneCurrent();
    }
    UserPreferences* prefs = UserPreferences::GetPreferences();
    prefs->SetMaxSamples(samples);
    if (prefs->GetNumSamples() > samples)
        prefs->SetNumSamples(samples);
    return samples;
}

void GLView::setVSync(bool on)
{
    sVSync = on;
}

int GLView::deviceWidth() const
{
    return static_cast<int>(width() * devicePixelRatioF());
}

int GLView::deviceHeight() const
{
    return static_cast<int>(height() * devicePixelRatioF());
}

void GLView::drawNow()
{
    if (!hasContext() || !isVisible())
        return;
    // The window shows the widget's framebuffer only when it composes; a
    // caller that blocks after drawing (a tab flash) needs the frame on
    // screen now, so the window paints the view, composes and flushes at once.
    update();
    if (m_inPaint)
        return;
    QEvent compose(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window(), &compose);
}

bool GLView::hasContext() const
{
    return context() != nullptr && context()->isValid();
}

bool GLView::makeCurrentForReading()
{
    if (!hasContext())
        return false;
    makeCurrent();
    // Without samples the widget's own framebuffer reads fine.
    if (m_inPaint || m_samples <= 0)
        return true;
    const int w = deviceWidth(), h = deviceHeight();
    if (w <= 0 || h <= 0)
        return true;
    if (!m_resolved || m_resolved->size() != QSize(w, h))
        m_resolved = std::make_unique<QOpenGLFramebufferObject>(QSize(w, h), QOpenGLFramebufferObject::Depth);
    QOpenGLExtraFunctions* ef = context()->extraFunctions();
    ef->glBindFramebuffer(GL_READ_FRAMEBUFFER, defaultFramebufferObject());
    ef->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_resolved->handle());
    ef->glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    ef->glBindFramebuffer(GL_FRAMEBUFFER, m_resolved->handle());
    return true;
}

void GLView::initializeGL()
{
    emit contextReady();
}

void GLView::paintGL()
{
    if (!m_renderer)
        return;
    m_inPaint = true;
    // A frame that fails would fail again at every repaint: it is told once,
    // until a frame is drawn again.
    bool drawn = true;
    try
    {
        m_renderer->Display();
    }
    catch (...)
    {
        drawn = false;
        if (!m_paintFailed)
            RunAlerting([] { throw; });
    }
    m_paintFailed = !drawn;
    m_inPaint = false;
    emit frameDrawn();
}

void GLView::resizeGL(int, int)
{
    if (m_renderer)
        RunAlerting([&] { m_renderer->Reshape(deviceWidth(), deviceHeight()); });
    resetCursorRects();
}

int GLView::listenerX(double x) const
{
    return InputConventions::ListenerX(x * devicePixelRatioF());
}

int GLView::listenerY(double y) const
{
    return InputConventions::ListenerX(y * devicePixelRatioF());
}

namespace
{
unsigned ButtonBit(int button)
{
    return 1u << button;
}

unsigned HeldBits(Qt::MouseButtons held)
{
    unsigned bits = 0;
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton})
        if (held.testFlag(button))
            bits |= ButtonBit(ListenerButton(button));
    return bits;
}

// A release the view sends for a lost one is dated this long after the last
// event reported: later than a quick release that keeps the trackball
// spinning (25 ms) and than the press-release span of a click (500 ms), so
// ending a press that way never starts a spin or counts as a click.
constexpr unsigned kLostReleaseDelay = 1000;
} // namespace

void GLView::noteReported(int x, int y, int flags, unsigned time)
{
    m_lastX = x;
    m_lastY = y;
    m_lastFlags = flags;
    m_lastTime = time;
}

template <typename Call>
void GLView::callListener(Call&& call)
{
    ++m_listenerCalls;
    RunAlerting(call);
    --m_listenerCalls;
    sendLostReleases();
}

void GLView::endPresses(unsigned buttons)
{
    m_lostReleases |= buttons & m_buttonsDown;
    sendLostReleases();
}

void GLView::endPressesNotHeld(Qt::MouseButtons held)
{
    endPresses(m_buttonsDown & ~HeldBits(held));
}

void GLView::sendLostReleases()
{
    // Within a listener call the release waits until the call has returned:
    // the listener is still handling the press. A frame (whose failure is
    // told in an alert) is not interrupted either.
    if (m_inPaint && m_lostReleases != 0)
    {
        QMetaObject::invokeMethod(this, &GLView::sendLostReleases, Qt::QueuedConnection);
        return;
    }
    while (m_lostReleases != 0 && m_listenerCalls == 0)
    {
        int button = 0;
        while ((m_lostReleases & ButtonBit(button)) == 0)
            ++button;
        const unsigned bit = ButtonBit(button);
        m_lostReleases &= ~bit;
        m_buttonsDown &= ~bit;
        m_doubleClickPending &= ~bit;
        if (!m_mouseListener)
            continue;
        const int x = m_lastX, y = m_lastY, flags = m_lastFlags;
        const unsigned time = m_lastTime + kLostReleaseDelay;
        noteReported(x, y, flags, time);
        callListener([&] { m_mouseListener->OnButtonUp(button, x, y, flags, time); });
    }
}

void GLView::buttonDown(QMouseEvent* event, bool secondClick)
{
    const int button = ListenerButton(event->button());
    // Presses of the other buttons that are no longer held, and an earlier
    // press of this one, were released where the view did not see it.
    endPressesNotHeld(event->buttons() & ~event->button());
    if (button < 0 || !m_mouseListener)
        return;
    if (secondClick)
        m_doubleClickPending |= ButtonBit(button);
    else
        m_doubleClickPending &= ~ButtonBit(button);
    m_buttonsDown |= ButtonBit(button);
    const QPointF p = event->position();
    const int x = listenerX(p.x()), y = listenerY(p.y()), flags = Flags(event->modifiers());
    const unsigned time = static_cast<unsigned>(event->timestamp());
    noteReported(x, y, flags, time);
    callListener([&] { m_mouseListener->OnButtonDown(button, x, y, flags, time); });
}

void GLView::mousePressEvent(QMouseEvent* event)
{
    buttonDown(event, false);
}

void GLView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Qt gives press, release, double click, release; listeners expect down,
    // up, down and the double click in place of the second release.
    buttonDown(event, true);
}

void GLView::mouseReleaseEvent(QMouseEvent* event)
{
    const int button = ListenerButton(event->button());
    endPressesNotHeld(event->buttons() | event->button());
    // Only a press the listener was told of is released: the view may have
    // ended this one itself already.
    if (button < 0 || (m_buttonsDown & ButtonBit(button)) == 0)
        return;
    const bool isDouble = (m_doubleClickPending & ButtonBit(button)) != 0;
    m_doubleClickPending &= ~ButtonBit(button);
    m_buttonsDown &= ~ButtonBit(button);
    if (!m_mouseListener)
        return;
    const QPointF p = event->position();
    const int x = listenerX(p.x()), y = listenerY(p.y()), flags = Flags(event->modifiers());
    const unsigned time = static_cast<unsigned>(event->timestamp());
    noteReported(x, y, flags, time);
    callListener([&] {
        if (isDouble)
            m_mouseListener->OnDoubleClick(button, x, y, flags, time);
        else
            m_mouseListener->OnButtonUp(button, x, y, flags, time);
    });
}

void GLView::forwardMove(double x, double y, Qt::KeyboardModifiers modifiers, unsigned long time)
{
    const int lx = listenerX(x), ly = listenerY(y);
    applyCursor(lx, ly);
    if (!m_mouseListener)
        return;
    const int flags = Flags(modifiers);
    const unsigned t = static_cast<unsigned>(time);
    noteReported(lx, ly, flags, t);
    callListener([&] { m_mouseListener->OnMouseMove(lx, ly, flags, t); });
}

void GLView::mouseMoveEvent(QMouseEvent* event)
{
    endPressesNotHeld(event->buttons());
    const bool dragging = (event->buttons() & (Qt::LeftButton | Qt::MiddleButton | Qt::RightButton)) != 0;
    if (!dragging && !m_sendMouseMoved)
    {
        applyCursor(listenerX(event->position().x()), listenerY(event->position().y()));
        return;
    }
    forwardMove(event->position().x(), event->position().y(), event->modifiers(), event->timestamp());
}

void GLView::enterEvent(QEnterEvent* event)
{
    forwardMove(event->position().x(), event->position().y(), event->modifiers(), event->timestamp());
}

void GLView::leaveEvent(QEvent*)
{
    if (!m_mouseListener)
        return;
    callListener([&] { m_mouseListener->OnMouseLeave(0); });
}

void GLView::focusOutEvent(QFocusEvent* event)
{
    QOpenGLWidget::focusOutEvent(event);
    endPresses(m_buttonsDown);
}

bool GLView::event(QEvent* event)
{
    switch (event->type())
    {
    case QEvent::WindowBlocked: // a modal window opened: the releases go to it
    case QEvent::UngrabMouse:
        endPresses(m_buttonsDown);
        break;
    default:
        break;
    }
    return QOpenGLWidget::event(event);
}

void GLView::wheelEvent(QWheelEvent* event)
{
    event->accept();
    if (!m_mouseListener)
        return;
    const int delta = InputConventions::WheelDelta(event->angleDelta().y() / 120.0);
    const QPointF p = event->position();
    const int x = listenerX(p.x()), y = listenerY(p.y()), flags = Flags(event->modifiers());
    const unsigned time = static_cast<unsigned>(event->timestamp());
    noteReported(x, y, flags, time);
    callListener([&] { m_mouseListener->OnMouseWheel(x, y, flags, delta, time); });
}

void GLView::keyPressEvent(QKeyEvent* event)
{
    if (!m_keyListener)
    {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    const int flags = Flags(event->modifiers());
    const unsigned time = static_cast<unsigned>(event->timestamp());
    if (const int special = SpecialKey(event->key()))
    {
        callListener([&] { m_keyListener->OnSpecialKeyDown(special, flags, time); });
        return;
    }
    const QString text = event->text();
    if (text.isEmpty())
    {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    callListener([&] { m_keyListener->OnKeyDown(text.at(0).unicode(), flags, time); });
}

void GLView::addCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor)
{
    if (m_collectingCursorRects && Cursors::IsValid(cursor))
        m_cursorRects.push_back({QRect(x, y, width, height), cursor});
}

void GLView::invalidateCursorRects()
{
    if (m_cursorRebuildQueued)
        return;
    m_cursorRebuildQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_cursorRebuildQueued = false;
        resetCursorRects();
    });
}

void GLView::resetCursorRects()
{
    m_cursorRects.clear();
    if (!m_renderer)
        return;
    m_collectingCursorRects = true;
    RunAlerting([&] { m_renderer->ResetCursorRects(); });
    m_collectingCursorRects = false;
}

Cursors::Cursor GLView::cursorAt(int x, int y) const
{
    // Rectangles are kept with the origin at the bottom left.
    const QPoint p(x, deviceHeight() - 1 - y);
    for (auto it = m_cursorRects.rbegin(); it != m_cursorRects.rend(); ++it)
        if (it->rect.contains(p))
            return it->cursor;
    return Cursors::ARROW;
}

void GLView::applyCursor(int x, int y)
{
    if (const QCursor* c = QtCursors::GetCursor(cursorAt(x, y)))
        setCursor(*c);
}

QImage GLView::opaqueFrame()
{
    if (!hasContext() && !isVisible())
        return {};
    QImage frame = grabFramebuffer();
    if (frame.isNull())
        return {};
    // The pixels as read, each made opaque: whatever alpha the renderer
    // cleared with, the colour channels stand as they are.
    frame.reinterpretAsFormat(QImage::Format_RGB32);
    return frame.convertToFormat(QImage::Format_RGBA8888);
}

namespace
{
QByteArray Tiff(const QImage& frame)
{
    if (frame.isNull())
        return {};
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(frame))
        return {};
    return data;
}
} // namespace

QByteArray GLView::getImageData()
{
    return Tiff(opaqueFrame());
}

bool GLView::copyToPasteboard()
{
    const QImage frame = opaqueFrame();
    const QByteArray data = Tiff(frame);
    if (data.isEmpty())
        return false;
    // The TIFF bytes as they are, and the image for programs that take
    // other image types.
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("image/tiff"), data);
    mime->setImageData(frame);
    QApplication::clipboard()->setMimeData(mime);
    return true;
}

bool GLView::saveImage(const QString& path)
{
    const QByteArray data = getImageData();
    if (data.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size())
    {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

#include "support/qt/HeadlessGLDisplay.h"

#include "gl/GLRenderer.h"
#include "gl/InputConventions.h"
#include "gl/QtTextRasterizer.h"
#include "gl/TextureTextBox.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include <GL/gl.h>

#include <dlfcn.h>
#include <link.h>

#include <cstring>

std::string TextOf(const GLTextBox* box)
{
    const auto* text = dynamic_cast<const TextureTextBox*>(box);
    return text != nullptr ? text->GetText() : "<no text box>";
}

void PinGLDrivers()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) -> int {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium") ||
                         std::strstr(name, "libLLVM") || std::strstr(name, "libGLX_mesa")))
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

HeadlessGLDisplay::HeadlessGLDisplay(int w, int h)
{
    width = w;
    height = h;
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(0);
    m_surface = std::make_unique<QOffscreenSurface>();
    m_surface->setFormat(format);
    m_surface->create();
    m_context = std::make_unique<QOpenGLContext>();
    m_context->setFormat(format);
    m_context->setShareContext(QOpenGLContext::globalShareContext());
    if (!m_context->create() || !m_context->makeCurrent(m_surface.get()))
        return;
    PinGLDrivers();
    MakeFramebuffer();
}

HeadlessGLDisplay::~HeadlessGLDisplay()
{
    StopTimer();
    if (m_context && m_context->makeCurrent(m_surface.get()))
    {
        m_fbo.reset();
        m_context->doneCurrent();
    }
}

bool HeadlessGLDisplay::IsValid() const
{
    return m_fbo && m_fbo->isValid();
}

void HeadlessGLDisplay::MakeFramebuffer()
{
    m_fbo.reset();
    QOpenGLFramebufferObjectFormat fboFormat;
    fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
    fboFormat.setSamples(0);
    fboFormat.setInternalTextureFormat(GL_RGBA8);
    m_fbo = std::make_unique<QOpenGLFramebufferObject>(width, height, fboFormat);
    m_fbo->bind();
    glViewport(0, 0, width, height);
}

bool HeadlessGLDisplay::MakeCurrent()
{
    if (!m_context || !m_context->makeCurrent(m_surface.get()))
        return false;
    if (m_fbo)
        m_fbo->bind();
    return true;
}

void HeadlessGLDisplay::DoneCurrent()
{
    if (m_context)
        m_context->doneCurrent();
}

void HeadlessGLDisplay::Display()
{
    ++displayCount;
    if (!m_renderer || !MakeCurrent())
        return;
    m_renderer->Display();
    glFinish();
}

void HeadlessGLDisplay::SetRenderer(GLRenderer* renderer)
{
    StopTimer();
    m_renderer = renderer;
    if (renderer && MakeCurrent())
    {
        renderer->Initialize();
        renderer->Reshape(width, height);
    }
}

void HeadlessGLDisplay::Resize(int w, int h)
{
    width = w;
    height = h;
    if (!MakeCurrent())
        return;
    MakeFramebuffer();
    if (m_renderer)
        m_renderer->Reshape(w, h);
}

GLTextBox* HeadlessGLDisplay::CreateTextBox(int w, int lines, bool smallFont, GLTextBox::Alignment alignment)
{
    return new TextureTextBox(QtTextRasterizer::Instance(), w, lines, smallFont, alignment);
}

TextRasterizer* HeadlessGLDisplay::GetTextRasterizer()
{
    return QtTextRasterizer::Instance();
}

void HeadlessGLDisplay::RebuildCursorRects()
{
    cursorRects.clear();
    if (m_renderer)
        m_renderer->ResetCursorRects();
}

bool HeadlessGLDisplay::Press(int button, int x, int y, int flags)
{
    m_time += 10;
    return m_mouse && m_mouse->OnButtonDown(button, x, y, flags, m_time);
}

bool HeadlessGLDisplay::Release(int button, int x, int y, int flags)
{
    m_time += 10;
    return m_mouse && m_mouse->OnButtonUp(button, x, y, flags, m_time);
}

bool HeadlessGLDisplay::Move(int x, int y, int flags)
{
    m_time += 10;
    return m_mouse && m_mouse->OnMouseMove(x, y, flags, m_time);
}

void HeadlessGLDisplay::Click(int button, int x, int y, int flags)
{
    Press(button, x, y, flags);
    Release(button, x, y, flags);
}

void HeadlessGLDisplay::DoubleClick(int button, int x, int y, int flags)
{
    Click(button, x, y, flags);
    Press(button, x, y, flags);
    m_time += 10;
    if (m_mouse)
        m_mouse->OnDoubleClick(button, x, y, flags, m_time);
}

bool HeadlessGLDisplay::Wheel(int x, int y, double scrollAmount, int flags)
{
    m_time += 10;
    return m_mouse && m_mouse->OnMouseWheel(x, y, flags, InputConventions::WheelDelta(scrollAmount), m_time);
}

bool HeadlessGLDisplay::Key(unsigned character, int flags)
{
    m_time += 10;
    return m_keys && m_keys->OnKeyDown(character, flags, m_time);
}

bool HeadlessGLDisplay::SpecialKey(int key, int flags)
{
    m_time += 10;
    return m_keys && m_keys->OnSpecialKeyDown(key, flags, m_time);
}

std::array<int, 4> HeadlessGLDisplay::PixelAt(int x, int yUp)
{
    unsigned char p[4] = {0, 0, 0, 0};
    if (MakeCurrent())
    {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, yUp, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    }
    return {p[0], p[1], p[2], p[3]};
}

QImage HeadlessGLDisplay::GrabImage()
{
    if (!MakeCurrent())
        return QImage();
    return m_fbo->toImage();
}

void HeadlessGLDisplay::BeginPixelFrame(float grey)
{
    glViewport(0, 0, width, height);
    glClearColor(grey, grey, grey, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

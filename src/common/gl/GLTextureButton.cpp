#include "gl/GLTextureButton.h"

#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTexture.h"
#include "gl/Utf8.h"

GLTextureButton::GLTextureButton() : m_icon(nullptr), m_label(nullptr), m_x(0), m_y(0), m_enabled(true) {}

GLTextureButton::GLTextureButton(GLDisplay* display, const char* text) : GLTextureButton()
{
    MakeLabel(display, text);
}

GLTextureButton::GLTextureButton(GLDisplay* display, const char* text, int x, int y) : GLTextureButton()
{
    m_x = x;
    m_y = y;
    MakeLabel(display, text);
}

GLTextureButton::GLTextureButton(int x, int y, int width, int height) : GLTextureButton()
{
    Create(x, y, width, height);
}

GLTextureButton::~GLTextureButton()
{
    delete m_label;
    delete m_icon;
}

// The label is 15 pixels wide per character of the text, one line, normal font.
void GLTextureButton::MakeLabel(GLDisplay* display, const char* text)
{
    std::string s = text ? text : "";
    m_label = display->CreateTextBox(15 * static_cast<int>(Utf8::CountCodePoints(s)), 1, false, GLTextBox::LEFT);
    m_label->SetText(s);
}

void GLTextureButton::Create(int x, int y, int width, int height)
{
    delete m_icon;
    m_icon = nullptr;
    delete m_label;
    m_label = nullptr;
    m_x = x;
    m_y = y;
    m_icon = new GLTexture(width, height, GL_BGRA);
}

GLTexture* GLTextureButton::GetIconTexture()
{
    delete m_label;
    m_label = nullptr;
    if (!m_icon)
        m_icon = new GLTexture();
    return m_icon;
}

void GLTextureButton::Draw(bool pressed)
{
    Draw(pressed, m_x, m_y);
}

void GLTextureButton::Draw(bool pressed, int x, int y)
{
    if (m_label)
    {
        const float grey = pressed ? 0.5f : 0.25f;
        glColor4f(grey, grey, grey, 1.0f);
        GLFillRect(x, y, x + m_label->GetTextWidth() + 12, y + m_label->GetHeight() + 6);
        m_label->Draw(x + 6, y + 3);
    }
    else if (m_icon)
    {
        m_icon->Draw(x, y);
        const int w = m_icon->GetWidth();
        const int h = m_icon->GetHeight();
        if (!m_enabled)
        {
            glColor4f(0.0f, 0.0f, 0.0f, 0.75f);
            GLFillRect(x - 1, y - 1, x + w + 1, y + h + 1);
        }
        if (pressed)
        {
            // Inverts the pixels under the button.
            glEnable(GL_COLOR_LOGIC_OP);
            glLogicOp(GL_INVERT);
            glColor4f(1.0f, 1.0f, 1.0f, 0.75f);
            GLFillRect(x - 1, y - 1, x + w + 1, y + h + 1);
            glLogicOp(GL_COPY);
            glDisable(GL_COLOR_LOGIC_OP);
        }
    }
}

void GLTextureButton::DrawWithBorder(bool highlighted, bool selected, int x, int y)
{
    if (m_label)
    {
        Draw(highlighted, x, y);
        return;
    }
    if (!m_icon)
        return;
    m_icon->Draw(x, y);
    const int w = m_icon->GetWidth();
    const int h = m_icon->GetHeight();
    if (highlighted)
    {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.25f, 0.25f, 0.25f, 0.5f);
        GLFillRect(x - 1, y - 1, x + w + 1, y + h + 1);
    }
    if (selected)
    {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.15f, 0.15f, 0.75f, 0.5f);
        GLFillRect(x - 1, y - 1, x + w + 1, y + h + 1);
    }
    glColor4f(0.25f, 0.25f, 0.25f, 1.0f);
    GLBegin loop(GL_LINE_LOOP);
    glVertex2i(x - 1, y - 1);
    glVertex2i(x + w + 1, y - 1);
    glVertex2i(x + w + 1, y + h + 1);
    glVertex2i(x - 1, y + h + 1);
}

bool GLTextureButton::PointInside(int px, int py)
{
    return PointInside(px, py, m_x, m_y);
}

bool GLTextureButton::PointInside(int px, int py, int x, int y)
{
    if (m_label)
        return x <= px && px <= x + m_label->GetTextWidth() + 12 && y - 1 <= py && py <= y + m_label->GetHeight() + 6;
    if (m_icon)
        return x <= px && px <= x + m_icon->GetWidth() + 2 && y - 1 <= py && py <= y + m_icon->GetHeight();
    return false;
}

int GLTextureButton::GetWidth()
{
    return m_label ? m_label->GetTextWidth() + 12 : 0;
}

int GLTextureButton::GetHeight()
{
    return m_label ? m_label->GetHeight() + 6 : 0;
}

int GLTextureButton::GetTextBaseline()
{
    return m_y + 3;
}

void GLTextureButton::MoveButton(int x, int y)
{
    m_x = x;
    m_y = y;
}

void GLTextureButton::SetEnabled(bool enabled)
{
    m_enabled = enabled;
}

bool GLTextureButton::IsEnabled()
{
    return m_enabled;
}

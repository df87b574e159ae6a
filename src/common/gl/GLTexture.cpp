#include "gl/GLTexture.h"

#include "gl/GLBegin.h"
#include "gl/TintState.h"
#include "image/Rectangle.h"

#include <algorithm>
#include <cstdio>

GLTexture::GLTexture()
    : m_format(0),
      m_width(0),
      m_height(0),
      m_glWidth(0),
      m_glHeight(0),
      m_texture(0),
      m_filter(GL_LINEAR),
      m_needsUpload(false),
      m_needsStorage(false)
{}

GLTexture::GLTexture(int width, int height, unsigned format) : GLTexture()
{
    Initialize(width, height, format);
}

GLTexture::~GLTexture()
{
    Unload();
}

int GLTexture::NextPower2(int x)
{
    int p = 1;
    while (p < x)
        p *= 2;
    return p;
}

void GLTexture::Initialize(int width, int height, unsigned format)
{
    // An existing GL texture keeps its name and, when its size or format
    // changes, gets new storage at the next upload: no GL call is made here.
    const int oldGLWidth = m_glWidth;
    const int oldGLHeight = m_glHeight;
    const unsigned oldFormat = m_format;
    m_width = m_height = m_glWidth = m_glHeight = 0;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_needsUpload = false;
    if (width < 1 || height < 1 || width > kMaxSize || height > kMaxSize)
    {
        printf("Bad texture size.\n");
        return;
    }
    // The buffer first: when it cannot be had the texture stays empty.
    m_buffer.assign(static_cast<size_t>(width) * height * 4, 0);
    m_format = format;
    m_width = width;
    m_height = height;
    m_glWidth = NextPower2(width);
    m_glHeight = NextPower2(height);
    if (m_glWidth != oldGLWidth || m_glHeight != oldGLHeight || m_format != oldFormat)
        m_needsStorage = true;
    m_needsUpload = true;
}

void GLTexture::Unload()
{
    m_width = m_height = m_glWidth = m_glHeight = 0;
    if (m_texture != 0)
    {
        glDeleteTextures(1, &m_texture);
        m_texture = 0;
    }
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_needsUpload = false;
    m_needsStorage = false;
}

void GLTexture::SetFilter(GLint filter)
{
    if (filter == m_filter)
        return;
    m_filter = filter;
    if (!IsEmpty())
        m_needsStorage = m_needsUpload = true;
}

void GLTexture::Fill()
{
    std::fill(m_buffer.begin(), m_buffer.end(), 0);
}

void GLTexture::LoadTexture()
{
    if (!IsEmpty())
        m_needsUpload = true;
}

// Makes the texture name (when there is none) and its power-of-two storage,
// zero-filled so that the padding beyond the buffer never shows at the edges
// of a filtered draw.
void GLTexture::CreateTexture()
{
    if (m_texture == 0)
        glGenTextures(1, &m_texture);
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, m_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, m_filter);
    std::vector<unsigned char> zeros(static_cast<size_t>(m_glWidth) * m_glHeight * 4, 0);
    // The unsized internal format lets the driver store the pixels in the
    // buffer's own channel order: a BGRA upload is then a plain copy, not a
    // per-pixel swizzle (the sampled colours are the same either way).
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, m_glWidth, m_glHeight, 0, m_format, GL_UNSIGNED_BYTE, zeros.data());
    m_needsStorage = false;
}

void GLTexture::Upload()
{
    if (m_texture == 0 || m_needsStorage)
        CreateTexture();
    glBindTexture(GL_TEXTURE_2D, m_texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_width, m_height, m_format, GL_UNSIGNED_BYTE, m_buffer.data());
    GLenum error = glGetError();
    if (error == GL_INVALID_OPERATION)
    {
        printf("OpenGL error %d in TexSubImage2D %d -- trying to repair\n", static_cast<int>(error),
               static_cast<int>(m_texture));
        printf("Width %d Height %d\n", m_width, m_height);
        glDeleteTextures(1, &m_texture);
        m_texture = 0;
        CreateTexture();
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_width, m_height, m_format, GL_UNSIGNED_BYTE, m_buffer.data());
        CheckGLError("TexSubImage2D");
    }
    else if (error != GL_NO_ERROR)
    {
        printf("OpenGL error %d in TexSubImage2D\n", static_cast<int>(error));
    }
    m_needsUpload = false;
}

void GLTexture::BindTexture()
{
    if (IsEmpty())
        return;
    if (m_texture == 0 || m_needsUpload)
        Upload();
    glBindTexture(GL_TEXTURE_2D, m_texture);
}

void GLTexture::GetTintColor(float rgba[4])
{
    auto set = [rgba](float r, float g, float b, float a) {
        rgba[0] = r;
        rgba[1] = g;
        rgba[2] = b;
        rgba[3] = a;
    };
    if (gTintState.QMB_expressor_clicked == 1)
        set(0.0f, 0.341f, 0.157f, 1.0f);
    else if (gTintState.QMB_expressor_clicked >= 2)
        set(0.009f, 0.009f, 0.009f, 0.75f);
    else if (gTintState.QMB_moused_known >= 2)
        set(0.682f, 0.737f, 0.333f, 0.75f);
    else if (gTintState.QMB_moused_known < 1)
        set(1.0f, 1.0f, 1.0f, 1.0f);
    else
        set(0.6f, 1.0f, 0.7f, 1.0f);
}

void GLTexture::Draw(int sx0, int sy0, int sx1, int sy1, int dx0, int dy0, int dx1, int dy1)
{
    if (IsEmpty())
        return;
    if (sx1 <= sx0 || sy1 == sy0)
        printf("Bad texture coordinates %d %d %d %d.\n", sx0, sx1, sy0, sy1);
    if (dx1 <= dx0 || dy1 == dy0)
        printf("Bad destination coordinates.\n");

    bool enabledHere = !glIsEnabled(GL_TEXTURE_2D);
    if (enabledHere)
        glEnable(GL_TEXTURE_2D);
    BindTexture();

    float s0 = static_cast<float>(sx0) / m_glWidth;
    float t0 = static_cast<float>(sy0) / m_glHeight;
    float s1 = static_cast<float>(sx1) / m_glWidth;
    float t1 = static_cast<float>(sy1) / m_glHeight;

    float tint[4];
    GetTintColor(tint);
    glColor4fv(tint);
    {
        GLBegin quads(GL_QUADS);
        glTexCoord2f(s0, t0);
        glVertex2i(dx0, dy0);
        glTexCoord2f(s1, t0);
        glVertex2i(dx1, dy0);
        glTexCoord2f(s1, t1);
        glVertex2i(dx1, dy1);
        glTexCoord2f(s0, t1);
        glVertex2i(dx0, dy1);
    }
    CheckGLError("End");
    glBindTexture(GL_TEXTURE_2D, 0);
    if (enabledHere)
        glDisable(GL_TEXTURE_2D);
}

void GLTexture::Draw(const Nuvaro::Rectangle& source, const Nuvaro::Rectangle& destination)
{
    Draw(source.left, source.top, source.right, source.bottom, destination.left, destination.top, destination.right,
         destination.bottom);
}

void GLTexture::Draw(int x, int y)
{
    Draw(0, m_height, m_width, 0, x, y, x + m_width, y + m_height);
}

void GLTexture::CheckGLError(const char* where)
{
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        printf("OpenGL error %d in %s\n", static_cast<int>(error), where);
}

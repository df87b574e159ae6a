#ifndef NUVARO_GL_GLTEXTURE_H
#define NUVARO_GL_GLTEXTURE_H

#include <GL/gl.h>

#include <vector>

namespace Nuvaro
{
class Rectangle;
}

// A CPU-side pixel buffer (4 bytes per pixel, row 0 first) with one OpenGL
// texture of power-of-two size, drawn as a screen-aligned rectangle in the
// colour of the tint rule. The buffer stays with the texture so that changed
// pixels can be uploaded again with LoadTexture.
//
// GL work is done lazily: Initialize and LoadTexture touch no GL state, and
// the texture is created or resized (zero-filled, then given the buffer) at
// the next Draw or BindTexture, which run while a context is current. Unload
// and the destructor delete an existing texture and must run with a context
// current.
class GLTexture
{
public:
    GLTexture();
    GLTexture(int width, int height, unsigned format);
    ~GLTexture();

    GLTexture(const GLTexture&) = delete;
    GLTexture& operator=(const GLTexture&) = delete;

    // Sizes the buffer (zero-filled) for width x height pixels in the format
    // (GL_RGBA or GL_BGRA). A size below 1, or above kMaxSize, prints
    // "Bad texture size." and leaves an empty texture that draws nothing.
    // An existing GL texture is kept and resized at the next upload.
    void Initialize(int width, int height, unsigned format);
    // Deletes the texture and empties the buffer.
    void Unload();
    // The sampling filter (GL_LINEAR unless set); GL_NEAREST suits a texture
    // only ever drawn pixel for pixel, where it gives the same picture for less
    // work. A texture already made takes it at the next upload.
    void SetFilter(GLint filter);
    // Sets every buffer byte to 0.
    void Fill();
    // Marks the buffer for upload; the upload happens at the next Draw or
    // BindTexture, with the context current.
    void LoadTexture();
    // Binds the texture to GL_TEXTURE_2D, creating and uploading it first
    // when needed. Nothing is bound for an empty texture.
    void BindTexture();

    // Draws the source pixel rectangle onto the destination rectangle.
    void Draw(int sx0, int sy0, int sx1, int sy1, int dx0, int dy0, int dx1, int dy1);
    void Draw(const Nuvaro::Rectangle& source, const Nuvaro::Rectangle& destination);
    // The whole texture at its own size with its lower-left corner at (x, y);
    // buffer row 0 lands at the top.
    void Draw(int x, int y);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetGLWidth() const { return m_glWidth; }
    int GetGLHeight() const { return m_glHeight; }
    unsigned GetFormat() const { return m_format; }
    unsigned char* GetBuffer() { return m_buffer.data(); }
    const unsigned char* GetBuffer() const { return m_buffer.data(); }
    bool IsEmpty() const { return m_width <= 0 || m_height <= 0; }
    // The GL texture name, 0 until the texture has been created.
    GLuint GetTextureName() const { return m_texture; }

    // Prints "OpenGL error %d in %s\n" when glGetError reports an error.
    static void CheckGLError(const char* where);
    // The smallest power of two that is at least x (1 for x <= 1).
    static int NextPower2(int x);
    // The colour every textured rectangle is drawn with, from gTintState.
    static void GetTintColor(float rgba[4]);

    // Largest width or height accepted.
    static constexpr int kMaxSize = 8192;

private:
    void CreateTexture();
    void Upload();

    unsigned m_format;
    int m_width;
    int m_height;
    int m_glWidth;
    int m_glHeight;
    GLuint m_texture;
    GLint m_filter;
    std::vector<unsigned char> m_buffer;
    bool m_needsUpload;
    bool m_needsStorage;
};

#endif

#ifndef NUVARO_GL_GLTEXTUREBUTTON_H
#define NUVARO_GL_GLTEXTUREBUTTON_H

class GLDisplay;
class GLTextBox;
class GLTexture;

// A clickable element drawn in a GL view: an icon button (a GL_BGRA texture
// filled by an icon maker) or a text button (a one-line label on a grey
// plate). The owner places, draws and hit-tests it; the button takes no
// events. Positions are lower-left corners in pixels, y upwards.
//
// The class has no virtual destructor: owners delete it through its own type.
class GLTextureButton
{
public:
    GLTextureButton();
    GLTextureButton(GLDisplay* display, const char* text);
    GLTextureButton(GLDisplay* display, const char* text, int x, int y);
    GLTextureButton(int x, int y, int width, int height);
    // Deletes the label and the icon (GL objects: with the context current).
    ~GLTextureButton();

    GLTextureButton(const GLTextureButton&) = delete;
    GLTextureButton& operator=(const GLTextureButton&) = delete;

    // Drops any icon and label and makes an empty width x height icon at (x, y).
    virtual void Create(int x, int y, int width, int height);
    virtual void Draw(bool pressed);
    virtual void Draw(bool pressed, int x, int y);
    virtual void DrawWithBorder(bool highlighted, bool selected, int x, int y);
    virtual bool PointInside(int px, int py);
    virtual bool PointInside(int px, int py, int x, int y);
    // Plate size of a text button; 0 for an icon button.
    virtual int GetWidth();
    virtual int GetHeight();
    virtual int GetTextBaseline();
    virtual void MoveButton(int x, int y);
    virtual void SetEnabled(bool enabled);
    virtual bool IsEnabled();
    // Drops the label, makes an empty icon when there is none, and returns it
    // for an icon maker to fill.
    virtual GLTexture* GetIconTexture();

    int GetX() const { return m_x; }
    int GetY() const { return m_y; }

private:
    void MakeLabel(GLDisplay* display, const char* text);

    GLTexture* m_icon;
    GLTextBox* m_label;
    int m_x;
    int m_y;
    bool m_enabled;
};

#endif

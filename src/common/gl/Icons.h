#ifndef NUVARO_GL_ICONS_H
#define NUVARO_GL_ICONS_H

#include "gl/PlatformBitmap.h"

class GLTexture;

// The platform's named application images (icons and cursor images).
class IconImageSource
{
public:
    virtual ~IconImageSource() {}
    // Fills the bitmap for the named image; false when there is none.
    virtual bool GetIconBitmap(const char* name, PlatformBitmap& bitmap) = 0;
};

// Installs the process-wide image source (not owned; null removes it).
void SetIconImageSource(IconImageSource* source);
IconImageSource* GetIconImageSource();

// Converts a bitmap into a GL_BGRA texture. A bitmap with alpha must have 32
// bits per pixel, one without 24, and its rows must fit in its bytes;
// otherwise false and the texture is left as it was. Not inverted: the
// image's colours with its alpha (255 without alpha). Inverted: bytes 0-2 are
// the complements of source bytes 0-2, opaque where the red byte is 0 and
// transparent elsewhere, so dark shapes on a light ground become light shapes
// on a transparent ground.
bool ConvertIconBitmap(const PlatformBitmap& bitmap, GLTexture& texture, bool invert);

// The named image of the installed source as a texture; false when there is
// no source, no such image or an unsuitable bitmap.
bool LoadIconTexture(const char* name, GLTexture& texture, bool invert);

// Lightens every pixel whose byte 0 is not 0 by 50 per colour byte, saturating
// at 255 (byte 0 of 205 or more makes the pixel white). Alpha is untouched.
void BrightenIcon(GLTexture& texture);

void MakeCloseTabIcon(GLTexture& texture);
void MakeActiveCloseTabIcon(GLTexture& texture);
void MakeShowBrowserImageIcon(GLTexture& texture);
void MakeActiveShowBrowserImageIcon(GLTexture& texture);
void MakeISHImageIcon(GLTexture& texture);
void MakeSagittalPlaneIcon(GLTexture& texture);
void MakeCoronalPlaneIcon(GLTexture& texture);
void MakeFindSimilarIcon(GLTexture& texture);
void MakeFindMoreIcon(GLTexture& texture);
void MakePauseIcon(GLTexture& texture);
void MakePrevArrow(GLTexture& texture);
void MakeNextArrow(GLTexture& texture);
void MakeEndArrow(GLTexture& texture);
void MakeStartArrow(GLTexture& texture);

#endif

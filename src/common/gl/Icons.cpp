#include "gl/Icons.h"

#include "gl/GLTexture.h"

#include <GL/gl.h>

#include <cstddef>

namespace
{
IconImageSource* sIconImageSource = nullptr;

void MakeIcon(const char* name, GLTexture& texture, bool invert, bool brighten)
{
    if (LoadIconTexture(name, texture, invert) && brighten)
        BrightenIcon(texture);
}
} // namespace

void SetIconImageSource(IconImageSource* source)
{
    sIconImageSource = source;
}

IconImageSource* GetIconImageSource()
{
    return sIconImageSource;
}

bool ConvertIconBitmap(const PlatformBitmap& bitmap, GLTexture& texture, bool invert)
{
    const int sourceBytes = bitmap.hasAlpha ? 4 : 3;
    if (bitmap.bitsPerPixel != sourceBytes * 8)
        return false;
    if (bitmap.width < 1 || bitmap.height < 1 || bitmap.width > GLTexture::kMaxSize ||
        bitmap.height > GLTexture::kMaxSize || bitmap.bytesPerRow < bitmap.width * sourceBytes ||
        bitmap.bytes.size() < static_cast<size_t>(bitmap.bytesPerRow) * bitmap.height)
        return false;

    texture.Initialize(bitmap.width, bitmap.height, GL_BGRA);
    unsigned char* out = texture.GetBuffer();
    for (int row = 0; row < bitmap.height; ++row)
    {
        const unsigned char* in = bitmap.bytes.data() + static_cast<size_t>(row) * bitmap.bytesPerRow;
        for (int x = 0; x < bitmap.width; ++x, in += sourceBytes, out += 4)
        {
            if (invert)
            {
                out[0] = static_cast<unsigned char>(~in[0]);
                out[1] = static_cast<unsigned char>(~in[1]);
                out[2] = static_cast<unsigned char>(~in[2]);
                out[3] = in[0] == 0 ? 255 : 0;
            }
            else
            {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = bitmap.hasAlpha ? in[3] : 255;
            }
        }
    }
    texture.LoadTexture();
    return true;
}

bool LoadIconTexture(const char* name, GLTexture& texture, bool invert)
{
    if (!sIconImageSource || !name)
        return false;
    PlatformBitmap bitmap;
    if (!sIconImageSource->GetIconBitmap(name, bitmap))
        return false;
    return ConvertIconBitmap(bitmap, texture, invert);
}

void BrightenIcon(GLTexture& texture)
{
    unsigned char* p = texture.GetBuffer();
    const size_t count = static_cast<size_t>(texture.GetWidth()) * texture.GetHeight();
    for (size_t i = 0; i < count; ++i, p += 4)
    {
        if (p[0] == 0)
            continue;
        if (p[0] < 205)
        {
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<unsigned char>(p[c] > 205 ? 255 : p[c] + 50);
        }
        else
        {
            p[0] = p[1] = p[2] = 255;
        }
    }
    texture.LoadTexture();
}

void MakeCloseTabIcon(GLTexture& texture)
{
    MakeIcon("CloseTab", texture, false, false);
}
void MakeActiveCloseTabIcon(GLTexture& texture)
{
    MakeIcon("CloseTab", texture, false, true);
}
void MakeShowBrowserImageIcon(GLTexture& texture)
{
    MakeIcon("ShowImageInBrowser", texture, false, false);
}
void MakeActiveShowBrowserImageIcon(GLTexture& texture)
{
    MakeIcon("ShowImageInBrowser", texture, false, true);
}
void MakeISHImageIcon(GLTexture& texture)
{
    MakeIcon("ISHSectionMode", texture, false, false);
}
void MakeSagittalPlaneIcon(GLTexture& texture)
{
    MakeIcon("SagittalPlane", texture, false, false);
}
void MakeCoronalPlaneIcon(GLTexture& texture)
{
    MakeIcon("CoronalPlane", texture, false, false);
}
void MakeFindSimilarIcon(GLTexture& texture)
{
    MakeIcon("FindSimilarGenes", texture, true, false);
}
void MakeFindMoreIcon(GLTexture& texture)
{
    MakeIcon("FindMore", texture, true, false);
}
void MakePauseIcon(GLTexture& texture)
{
    MakeIcon("Pause", texture, true, false);
}
void MakePrevArrow(GLTexture& texture)
{
    MakeIcon("LeftArrow", texture, true, false);
}
void MakeNextArrow(GLTexture& texture)
{
    MakeIcon("RightArrow", texture, true, false);
}
void MakeEndArrow(GLTexture& texture)
{
    MakeIcon("EndArrow", texture, true, false);
}
void MakeStartArrow(GLTexture& texture)
{
    MakeIcon("StartArrow", texture, true, false);
}

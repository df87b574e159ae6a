#ifndef NUVARO_QT_GL_QTICONIMAGES_H
#define NUVARO_QT_GL_QTICONIMAGES_H

#include "gl/Icons.h"

#include <QImage>

#include <map>
#include <string>

// The application's named images (icons and cursor images), drawn with
// QPainter when the set is made. Icons that the toolkit inverts are black
// shapes on an opaque white ground; the others carry alpha.
class QtIconImages : public IconImageSource
{
public:
    QtIconImages();

    bool GetIconBitmap(const char* name, PlatformBitmap& bitmap) override;
    // The named image, or a null image.
    QImage GetImage(const char* name) const;

    // Makes the process-wide set on first call and installs it as the icon
    // image source. Needs a QGuiApplication.
    static QtIconImages* Install();

    // Every name the set holds.
    static const char* const kNames[];
    static const int kNameCount;

private:
    std::map<std::string, QImage> m_images;
};

#endif

#include "gl/QtIconImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cstring>

const char* const QtIconImages::kNames[] = {"CloseTab",       "ShowImageInBrowser", "ISHSectionMode", "SagittalPlane",
                                            "CoronalPlane",   "FindSimilarGenes",   "FindMore",       "Pause",
                                            "LeftArrow",      "RightArrow",         "EndArrow",       "StartArrow",
                                            "ResizeNECursor", "ResizeNWCursor",     "MoveCursor",
                                            "AxialPlane",     "ExpandView",         "RotateTool",     "PanTool",
                                            "SelectTool",     "CenterView",         "CuttingPlanes"};
const int QtIconImages::kNameCount = static_cast<int>(sizeof(kNames) / sizeof(kNames[0]));

namespace
{
// A transparent image for a colour icon.
QImage ColourCanvas(int size)
{
    QImage image(size, size, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    return image;
}

// An opaque white image for an icon drawn in pure black; shapes are drawn
// without antialiasing so that every shape pixel is exactly black.
QImage InkCanvas(int size)
{
    QImage image(size, size, QImage::Format_RGB888);
    image.fill(Qt::white);
    return image;
}

QImage CloseTab()
{
    QImage image = ColourCanvas(12);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(175, 175, 175));
    p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    // The cross is cut out of the disc: the tab shows through it, so it
    // stays a cross under the neuron tint, which darkens every icon pixel.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(8.5, 8.5));
    p.drawLine(QPointF(8.5, 3.5), QPointF(3.5, 8.5));
    return image;
}

QImage ShowImageInBrowser()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A globe: a blue disc with a meridian and the equator.
    p.setPen(QPen(QColor(30, 60, 120), 1.0));
    p.setBrush(QColor(90, 150, 220));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(230, 240, 255), 1.0));
    p.drawEllipse(QRectF(5.5, 1.5, 5, 13));
    p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
    return image;
}

QImage ISHSectionMode()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A section on a slide: a pale frame holding a purple oval.
    p.setPen(QPen(QColor(70, 70, 70), 1.0));
    p.setBrush(QColor(235, 230, 220));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 60, 150));
    p.drawEllipse(QRectF(3.5, 4.5, 9, 7));
    return image;
}

// A brain outline crossed by a plane seen edge-on (vertical) or face-on.
QImage Plane(bool sagittal)
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.0));
    p.setBrush(QColor(200, 190, 180));
    if (sagittal)
        p.drawEllipse(QRectF(1.5, 4.5, 13, 8));
    else
        p.drawEllipse(QRectF(3.5, 2.5, 9, 11));
    p.setPen(QPen(QColor(220, 60, 40), 2.0));
    if (sagittal)
        p.drawLine(QPointF(1.5, 8.5), QPointF(14.5, 8.5));
    else
        p.drawLine(QPointF(8, 1), QPointF(8, 15));
    return image;
}

// The horizontal section: the brain seen from the side with the cut plane
// drawn as a flat band across it.
QImage AxialPlane()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.0));
    p.setBrush(QColor(200, 190, 180));
    p.drawEllipse(QRectF(1.5, 4.5, 13, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 60, 40, 200));
    p.drawPolygon(QPolygonF({QPointF(3, 10), QPointF(6, 7), QPointF(15, 7), QPointF(12, 10)}));
    return image;
}

// Expand View: a frame whose side panel folds away, arrows pointing outwards.
QImage ExpandView()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.0));
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(QRectF(1.5, 2.5, 4, 11));
    p.setPen(QPen(QColor(40, 90, 200), 1.5));
    p.drawLine(QPointF(8, 8), QPointF(13, 8));
    p.drawLine(QPointF(11, 6), QPointF(13, 8));
    p.drawLine(QPointF(11, 10), QPointF(13, 8));
    return image;
}

// The mouse tools: a curved arrow (rotate), a cross of arrows (pan) and an
// arrow pointer (select).
QImage RotateTool()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(50, 50, 50), 1.5));
    p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
    p.setBrush(QColor(50, 50, 50));
    p.drawPolygon(QPolygonF({QPointF(13, 2), QPointF(13.5, 7), QPointF(9, 5)}));
    return image;
}

QImage PanTool()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(50, 50, 50), 1.5));
    p.drawLine(QPointF(8, 2), QPointF(8, 14));
    p.drawLine(QPointF(2, 8), QPointF(14, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 50, 50));
    p.drawPolygon(QPolygonF({QPointF(8, 0.5), QPointF(10.5, 3.5), QPointF(5.5, 3.5)}));
    p.drawPolygon(QPolygonF({QPointF(8, 15.5), QPointF(10.5, 12.5), QPointF(5.5, 12.5)}));
    p.drawPolygon(QPolygonF({QPointF(0.5, 8), QPointF(3.5, 10.5), QPointF(3.5, 5.5)}));
    p.drawPolygon(QPolygonF({QPointF(15.5, 8), QPointF(12.5, 10.5), QPointF(12.5, 5.5)}));
    return image;
}

QImage SelectTool()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 30, 30), 1.0));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(4, 1.5), QPointF(4, 13), QPointF(7, 10), QPointF(9.5, 15), QPointF(11.5, 14),
                             QPointF(9, 9.5), QPointF(13, 9.5)}));
    return image;
}

// Centre View: cross hairs on a target.
QImage CenterView()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(50, 50, 50), 1.2));
    p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
    p.drawLine(QPointF(8, 0.5), QPointF(8, 5.5));
    p.drawLine(QPointF(8, 10.5), QPointF(8, 15.5));
    p.drawLine(QPointF(0.5, 8), QPointF(5.5, 8));
    p.drawLine(QPointF(10.5, 8), QPointF(15.5, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 60, 40));
    p.drawEllipse(QRectF(6.5, 6.5, 3, 3));
    return image;
}

// Cutting Planes: a box with one face cut away.
QImage CuttingPlanes()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(50, 50, 50), 1.0));
    p.setBrush(QColor(200, 190, 180));
    p.drawRect(QRectF(1.5, 5.5, 9, 9));
    p.setBrush(QColor(120, 170, 230, 180));
    p.drawPolygon(QPolygonF({QPointF(1.5, 5.5), QPointF(6.5, 1.5), QPointF(14.5, 1.5), QPointF(10.5, 5.5)}));
    p.drawPolygon(QPolygonF({QPointF(10.5, 5.5), QPointF(14.5, 1.5), QPointF(14.5, 10.5), QPointF(10.5, 14.5)}));
    return image;
}

QImage FindSimilarGenes()
{
    QImage image = InkCanvas(16);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    // Two linked nodes.
    p.drawEllipse(QRect(1, 1, 6, 6));
    p.drawEllipse(QRect(9, 9, 6, 6));
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(QPoint(5, 5), QPoint(11, 11));
    return image;
}

QImage FindMore()
{
    QImage image = InkCanvas(16);
    QPainter p(&image);
    // A magnifying glass.
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRect(2, 2, 8, 8));
    p.drawLine(QPoint(9, 9), QPoint(14, 14));
    return image;
}

QImage Pause()
{
    QImage image = InkCanvas(16);
    QPainter p(&image);
    p.fillRect(QRect(4, 3, 3, 10), Qt::black);
    p.fillRect(QRect(9, 3, 3, 10), Qt::black);
    return image;
}

QImage Triangle(bool right, bool bar, bool barAfter)
{
    QImage image = InkCanvas(16);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    QPolygon triangle;
    if (right)
        triangle << QPoint(5, 3) << QPoint(11, 8) << QPoint(5, 13);
    else
        triangle << QPoint(10, 3) << QPoint(4, 8) << QPoint(10, 13);
    p.drawPolygon(triangle);
    if (bar)
        p.fillRect(QRect(barAfter ? 12 : 2, 3, 2, 11), Qt::black);
    return image;
}

// A double-headed diagonal arrow with its centre on the hot spot (7, 7).
QImage ResizeCursor(bool northEast)
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // Drawn for north-west / south-east, mirrored for north-east.
    path.moveTo(1, 1);
    path.lineTo(6, 1);
    path.lineTo(4.5, 2.5);
    path.lineTo(11.5, 9.5);
    path.lineTo(13, 8);
    path.lineTo(13, 13);
    path.lineTo(8, 13);
    path.lineTo(9.5, 11.5);
    path.lineTo(2.5, 4.5);
    path.lineTo(1, 6);
    path.closeSubpath();
    if (northEast)
    {
        QTransform mirror(-1, 0, 0, 1, 14, 0);
        path = mirror.map(path);
    }
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::black);
    p.drawPath(path);
    return image;
}

QImage MoveCursor()
{
    QImage image = ColourCanvas(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // A four-headed arrow centred on (7, 7).
    const QPointF points[] = {{7, 0},  {10, 3}, {8, 3},  {8, 6},   {11, 6}, {11, 4}, {14, 7}, {11, 10},
                              {11, 8}, {8, 8},  {8, 11}, {10, 11}, {7, 14}, {4, 11}, {6, 11}, {6, 8},
                              {3, 8},  {3, 10}, {0, 7},  {3, 4},   {3, 6},  {6, 6},  {6, 3},  {4, 3}};
    path.addPolygon(QPolygonF(QList<QPointF>(std::begin(points), std::end(points))));
    path.closeSubpath();
    p.setPen(QPen(Qt::white, 1.0));
    p.setBrush(Qt::black);
    p.drawPath(path);
    return image;
}
} // namespace

QtIconImages::QtIconImages()
{
    m_images["CloseTab"] = CloseTab();
    m_images["ShowImageInBrowser"] = ShowImageInBrowser();
    m_images["ISHSectionMode"] = ISHSectionMode();
    m_images["SagittalPlane"] = Plane(true);
    m_images["CoronalPlane"] = Plane(false);
    m_images["FindSimilarGenes"] = FindSimilarGenes();
    m_images["FindMore"] = FindMore();
    m_images["Pause"] = Pause();
    m_images["LeftArrow"] = Triangle(false, false, false);
    m_images["RightArrow"] = Triangle(true, false, false);
    m_images["StartArrow"] = Triangle(false, true, false);
    m_images["EndArrow"] = Triangle(true, true, true);
    m_images["ResizeNECursor"] = ResizeCursor(true);
    m_images["ResizeNWCursor"] = ResizeCursor(false);
    m_images["MoveCursor"] = MoveCursor();
    m_images["AxialPlane"] = AxialPlane();
    m_images["ExpandView"] = ExpandView();
    m_images["RotateTool"] = RotateTool();
    m_images["PanTool"] = PanTool();
    m_images["SelectTool"] = SelectTool();
    m_images["CenterView"] = CenterView();
    m_images["CuttingPlanes"] = CuttingPlanes();
}

QtIconImages* QtIconImages::Install()
{
    static QtIconImages sImages;
    SetIconImageSource(&sImages);
    return &sImages;
}

QImage QtIconImages::GetImage(const char* name) const
{
    auto it = m_images.find(name ? name : "");
    return it == m_images.end() ? QImage() : it->second;
}

bool QtIconImages::GetIconBitmap(const char* name, PlatformBitmap& bitmap)
{
    QImage image = GetImage(name);
    if (image.isNull())
        return false;
    const bool alpha = image.hasAlphaChannel();
    image = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int bytesPerPixel = alpha ? 4 : 3;
    bitmap = PlatformBitmap();
    bitmap.width = image.width();
    bitmap.height = image.height();
    bitmap.bitsPerPixel = bytesPerPixel * 8;
    bitmap.samplesPerPixel = bytesPerPixel;
    bitmap.hasAlpha = alpha;
    bitmap.bytesPerRow = static_cast<int>(image.bytesPerLine());
    bitmap.bytes.resize(static_cast<size_t>(bitmap.bytesPerRow) * bitmap.height);
    for (int y = 0; y < bitmap.height; ++y)
        std::memcpy(bitmap.bytes.data() + static_cast<size_t>(y) * bitmap.bytesPerRow, image.constScanLine(y),
                    static_cast<size_t>(bitmap.bytesPerRow));
    return true;
}

#include "gl/SurfaceFormat.h"

#include <QCoreApplication>
#include <QSurfaceFormat>

void ApplyDefaultSurfaceFormat(int samples)
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setDepthBufferSize(24);
    format.setAlphaBufferSize(8);
    format.setStencilBufferSize(0);
    format.setSamples(samples < 0 ? 0 : samples);
    QSurfaceFormat::setDefaultFormat(format);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

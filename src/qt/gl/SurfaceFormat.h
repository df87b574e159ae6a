#ifndef NUVARO_QT_GL_SURFACEFORMAT_H
#define NUVARO_QT_GL_SURFACEFORMAT_H

// The one OpenGL format every view shares: a compatibility-profile context
// (fixed-function pipeline, display lists, selection picking), 24-bit depth,
// 8-bit alpha, no stencil, with samples for multisampling (0 for none), and
// contexts that share lists and textures. Call before the application object
// exists.
void ApplyDefaultSurfaceFormat(int samples = 0);

#endif

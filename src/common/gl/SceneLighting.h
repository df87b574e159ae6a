#ifndef NUVARO_GL_SCENELIGHTING_H
#define NUVARO_GL_SCENELIGHTING_H

// The lighting of the 3D brain scene: two directional white lights from
// opposite corners, two-sided, with colour material, so that glyphs and
// meshes are shaded the same wherever they are drawn. Needs a context current.
namespace SceneLighting
{
// Light colours, light model, colour material and depth state; lights on.
void SetUp();
// The state both the scene and the thumbnails light with, whatever their
// light colours: colour material (front and back, ambient and diffuse),
// lighting with lights 0 and 1, normalised normals, depth test with
// less-or-equal, smooth shading.
void EnableLightingState();
// The directions of the two lights in the current model-view matrix.
void PositionLights();
} // namespace SceneLighting

#endif

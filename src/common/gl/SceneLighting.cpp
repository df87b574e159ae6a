#include "gl/SceneLighting.h"

#include <GL/gl.h>

#include <initializer_list>

namespace SceneLighting
{
void SetUp()
{
    const float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    const float diffuse[4] = {0.75f, 0.75f, 0.75f, 1.0f};
    const float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    for (GLenum light : {GL_LIGHT0, GL_LIGHT1})
    {
        glLightfv(light, GL_DIFFUSE, diffuse);
        glLightfv(light, GL_SPECULAR, specular);
    }
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    EnableLightingState();
}

void EnableLightingState()
{
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_NORMALIZE);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
}

void PositionLights()
{
    const float light0[4] = {1.0f, 1.0f, -1.0f, 0.0f};
    const float light1[4] = {-1.0f, -1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light0);
    glLightfv(GL_LIGHT1, GL_POSITION, light1);
}
} // namespace SceneLighting

#include "support/qt/GLFeedback.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

std::vector<std::vector<float>> FeedbackPolygons(const std::function<void()>& draw)
{
    std::vector<GLfloat> buffer(200000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<std::vector<float>> polygons;
    for (GLint i = 0; i < used;)
    {
        const GLint token = static_cast<GLint>(buffer[i++]);
        if (token == GL_POLYGON_TOKEN)
        {
            const int n = static_cast<int>(buffer[i++]);
            polygons.emplace_back(buffer.begin() + i, buffer.begin() + i + 3 * n);
            i += 3 * n;
        }
        else
        {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return polygons;
}

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

std::vector<GLuint> SelectedNames(const std::function<void()>& draw)
{
    std::vector<GLuint> buffer(4096);
    glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    draw();
    const GLint hits = glRenderMode(GL_RENDER);
    std::vector<GLuint> names;
    for (GLint h = 0, i = 0; h < hits; ++h)
    {
        const GLuint count = buffer[static_cast<size_t>(i)];
        names.insert(names.end(), buffer.begin() + i + 3, buffer.begin() + i + 3 + count);
        i += 3 + static_cast<GLint>(count);
    }
    return names;
}

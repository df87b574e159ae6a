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

std::vector<GLuint> SelectionRecords(const std::function<void()>& draw)
{
    std::vector<GLuint> buffer(1 << 16);
    glSelectBuffer(static_cast<GLsizei>(buffer.size()), buffer.data());
    glRenderMode(GL_SELECT);
    glInitNames();
    glPushName(0);
    draw();
    const GLint hits = glRenderMode(GL_RENDER);
    size_t used = 0;
    for (GLint h = 0; h < hits; ++h)
        used += 3 + buffer[used];
    EXPECT_GE(hits, 0) << "the selection buffer overflowed";
    buffer.resize(used);
    return buffer;
}

std::vector<GLuint> SelectedNames(const std::function<void()>& draw)
{
    const std::vector<GLuint> records = SelectionRecords(draw);
    std::vector<GLuint> names;
    for (size_t i = 0; i < records.size(); i += 3 + records[i])
        names.insert(names.end(), records.begin() + static_cast<std::ptrdiff_t>(i) + 3,
                     records.begin() + static_cast<std::ptrdiff_t>(i + 3 + records[i]));
    return names;
}

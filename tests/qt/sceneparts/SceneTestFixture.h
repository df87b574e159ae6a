#ifndef NUVARO_TESTS_QT_SCENE_SCENETESTFIXTURE_H
#define NUVARO_TESTS_QT_SCENE_SCENETESTFIXTURE_H

// Shared set-up of the scene drawer tests: a headless display whose frame is
// a function, fresh preferences, the test atlas with its 25-micrometre
// volumes, a model whose annotation alpha the test chooses, and a fake scene
// that hands the model to the drawers. The view is orthographic, looking down
// the z axis at a rectangle of view voxels.

#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "support/FakeBrainScene.h"
#include "support/FullTestAtlas.h"
#include "support/MemoryPreferenceStore.h"
#include "support/qt/GLFeedback.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <functional>
#include <memory>

class SceneTest : public testing::Test
{
protected:
    using Pixel = std::array<int, 4>;

    // A width x height display over view x left..right, y bottom..top.
    SceneTest(int width, int height, float left, float right, float bottom, float top)
        : display(width, height), m_view{left, right, bottom, top}
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        display.SetRenderer(&renderer);
        atlas = testsupport::EnsureFullTestAtlas();
        model = std::make_unique<testsupport::SceneTestModel>();
        scene = std::make_unique<testsupport::FakeBrainScene>(model.get());
    }

    void SetView()
    {
        glViewport(0, 0, display.width, display.height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(m_view[0], m_view[1], m_view[2], m_view[3], -200, 200);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // One frame: black background, the view, depth test (less); f draws.
    void Frame(const std::function<void()>& f)
    {
        renderer.draw = [&]() {
            glClearColor(0, 0, 0, 1);
            glClearDepth(1.0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            SetView();
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_LESS);
            f();
            glDisable(GL_DEPTH_TEST);
        };
        display.Display();
    }

    // The names hit by drawing with the view narrowed to x0..x1, y0..y1.
    std::vector<GLuint> Pick(float x0, float x1, float y0, float y1, const std::function<void()>& draw)
    {
        std::vector<GLuint> names;
        renderer.draw = [&]() {
            names = SelectedNames([&]() {
                glMatrixMode(GL_PROJECTION);
                glLoadIdentity();
                glOrtho(x0, x1, y0, y1, -200, 200);
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
                draw();
            });
        };
        display.Display();
        return names;
    }

    const ImageGrid::AnnotationLabel* Label(unsigned char value) const
    {
        return atlas->GetOntology()->GetAnnotationLabel(value);
    }

    HeadlessGLDisplay display;
    GLTestRenderer renderer;
    testsupport::ScopedPreferenceStore preferences;
    Atlas* atlas = nullptr;
    std::unique_ptr<testsupport::SceneTestModel> model;
    std::unique_ptr<testsupport::FakeBrainScene> scene;

private:
    float m_view[4];
};

#endif

#ifndef NUVARO_TESTS_SUPPORT_QT_GLTESTRENDERER_H
#define NUVARO_TESTS_SUPPORT_QT_GLTESTRENDERER_H

#include "gl/GLRenderer.h"

#include <functional>
#include <string>
#include <vector>

// A renderer whose frame is a function, recording the calls it receives.
class GLTestRenderer : public GLInteractiveRenderer
{
public:
    void Initialize() override { calls.push_back("Initialize"); }
    void Display() override
    {
        if (draw)
            draw();
    }
    void Reshape(int width, int height) override
    {
        calls.push_back("Reshape " + std::to_string(width) + " " + std::to_string(height));
    }
    void SetActive(bool) override {}
    void ResetCursorRects() override
    {
        if (cursors)
            cursors();
    }

    bool OnButtonDown(int b, int x, int y, int f, unsigned) override { return Record("down", b, x, y, f); }
    bool OnButtonUp(int b, int x, int y, int f, unsigned) override { return Record("up", b, x, y, f); }
    bool OnDoubleClick(int b, int x, int y, int f, unsigned) override { return Record("double", b, x, y, f); }
    bool OnMouseWheel(int x, int y, int f, int delta, unsigned) override { return Record("wheel", delta, x, y, f); }

    bool Record(const char* what, int a, int x, int y, int f)
    {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(x) + " " +
                        std::to_string(y) + " " + std::to_string(f));
        return true;
    }

    std::function<void()> draw;
    std::function<void()> cursors;
    std::vector<std::string> calls;
};

#endif

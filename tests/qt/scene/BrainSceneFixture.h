#ifndef NUVARO_TESTS_QT_SCENE_BRAINSCENEFIXTURE_H
#define NUVARO_TESTS_QT_SCENE_BRAINSCENEFIXTURE_H

// A scene over the sample atlas in a headless display, with helpers that make
// genes and find where a voxel lands on screen.

#include "display/BrainSceneRenderer.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "support/FakePlatformServices.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace scenetest
{
constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kNX = 133, kNY = 81, kNZ = 115;

// A voxel column of the sample atlas that lies in the brain for z 10..102.
constexpr int kColumnX = 80, kColumnY = 47;

inline unsigned GridId(int x, int y, int z)
{
    return static_cast<unsigned>(x + kNX * y + kNX * kNY * z + 1);
}

struct Voxel
{
    int x, y, z;
    uint16_t count;
    float score = 100.0f, b = 1.0f;
};

class BrainSceneFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        ASSERT_NE(nullptr, Atlas::GetAtlas());
        QMB_btn_mode = 0;
        QMB_user_hint = 0;
        model = std::make_unique<BrainExpressionModel>();
        model->SetCompassLocation(BrainExpressionModel::kNoCompass, false);
        model->SetMeshDisplayStyle(BrainExpressionModel::kOpaqueMeshes, false);
        scene = std::make_unique<BrainSceneRenderer>(&display, model.get(), nullptr);
        display.SetRenderer(scene.get());
        display.SetMouseListener(scene.get());
        display.SetKeyListener(scene.get());
    }

    void TearDown() override
    {
        display.MakeCurrent();
        display.SetMouseListener(nullptr);
        display.SetKeyListener(nullptr);
        scene.reset();
        model.reset();
    }

    // Adds a gene with one expressor per voxel; returns its index.
    int AddGene(const std::string& symbol, const std::vector<Voxel>& voxels)
    {
        testsupport::Grid20000 grid;
        grid.header[1] = 1000 + model->GetNumGenes();
        grid.strings[1] = symbol;
        for (const Voxel& v : voxels)
            grid.quadrats.push_back({GridId(v.x, v.y, v.z), 1.0f, v.b, v.score, 0, 0, 0, v.count});
        return AddGrid(grid);
    }

    // Adds the gene of a grid (its counts set from its lists); returns its index.
    int AddGrid(testsupport::Grid20000& grid)
    {
        grid.CountsFromLists();
        const std::string bytes = grid.File();
        MemoryStream stream(static_cast<unsigned>(bytes.size()));
        std::memcpy(stream.GetBuffer(), bytes.data(), bytes.size());
        model->AddGene(new GeneExpression(stream));
        return model->GetNumGenes() - 1;
    }

    // The window point (origin top left) where the voxel at grid x, y of the
    // gene with that index is drawn, for the unrotated view with origin 0.
    std::array<int, 2> ScreenPoint(float gx, float gy, int geneIndex = 0)
    {
        const float* offset = BrainSceneRenderer::offsets[geneIndex % 8];
        const float s = 2.0f * model->GetZoom() / 100.0f;
        const float ex = s * (gx + 0.1f * offset[0] - kNX / 2.0f);
        const float ey = -s * (gy + 0.1f * offset[1] - kNY / 2.0f);
        const float h = kNX / 2;
        const float a = static_cast<float>(kHeight) / kWidth;
        const float px = (ex + h) / (2.0f * h) * kWidth;
        const float pyUp = (ey + h * a) / (2.0f * h * a) * kHeight;
        return {static_cast<int>(px), static_cast<int>(kHeight - pyUp)};
    }

    // A press and release at the window point.
    void Click(int button, std::array<int, 2> at, int flags = 0)
    {
        display.Press(button, at[0], at[1], flags);
        display.Release(button, at[0], at[1], flags);
    }

    std::array<int, 4> PixelAtWindow(std::array<int, 2> p) { return display.PixelAt(p[0], kHeight - 1 - p[1]); }

    static bool IsBlack(const std::array<int, 4>& p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

    testsupport::ScopedPreferenceStore preferences;
    testsupport::FakePlatformServices services;
    HeadlessGLDisplay display{kWidth, kHeight};
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<BrainSceneRenderer> scene;
};
} // namespace scenetest

#endif

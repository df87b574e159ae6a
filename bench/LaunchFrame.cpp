// The frame the application shows at launch, on the headless display: the
// three shipped neuron-class grids of the sample atlas, the view settings a
// new user has (no stored preferences) and the scene view's size in the main
// window at its default size (1000 x 700, the scene view 552 x 614).
//   BM_LaunchFrame  a steady frame; counters "fps" (goal at least 10 on two
//                   cores with llvmpipe), "ratio" against a bare frame that
//                   calls the same glyph and mesh lists with no scene around
//                   them, and "raster_share", the part of the bare frame spent
//                   rasterising (the rest is the vertex front end, measured
//                   with a 1 x 1 viewport); "triangles" counts the mesh
//                   triangles shown. Argument 0: the structure meshes as the
//                   defaults show them (none: a new document shows no
//                   structure); 1: every structure mesh, in the default
//                   (opaque) style, as after checking the whole tree.
// Runs under Xvfb with LIBGL_ALWAYS_SOFTWARE=1.

#include "GLBenchmarkMain.h"
#include "SceneBench.h"

#include "display/BrainMeshSet.h"
#include "display/BrainSceneRenderer.h"
#include "gl/GLTriangleMesh.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/UserPreferences.h"
#include "support/MemoryPreferenceStore.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "utility/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <memory>
#include <string>

namespace
{
constexpr int kWidth = 552;
constexpr int kHeight = 614;

struct Launch
{
    HeadlessGLDisplay display{kWidth, kHeight};
    std::unique_ptr<BrainExpressionModel> model = std::make_unique<BrainExpressionModel>();
    std::unique_ptr<BrainSceneRenderer> scene;

    void Frame()
    {
        display.Display();
        glFinish();
    }
};

// Made once, on first use, and kept to the end of the process (the GL context
// must outlive no application object).
Launch& TheLaunch()
{
    static Launch* launch = [] {
        // The installer puts the Nissl volume into the user's atlas folder.
        EnsureNisslVolume();
        UserPreferences::SetStore(std::make_shared<testsupport::MemoryPreferenceStore>());
        if (!Atlas::GetAtlas()->FullAtlasIsLoaded())
            Atlas::GetAtlas()->LoadFullAtlas(nullptr, nullptr, nullptr);
        auto* made = new Launch;
        made->display.MakeCurrent();
        made->scene = std::make_unique<BrainSceneRenderer>(&made->display, made->model.get(), nullptr);
        for (const char* name : {"Non_Pyr_Principal", "Pyramidal", "Interneuron"})
            made->model->AddGene((ResourcePath::GetResourcePath() + "xprs/" + name + ".xpr").c_str());
        made->display.SetRenderer(made->scene.get());
        return made;
    }();
    return *launch;
}

// Clear, then only the glyph lists and the shown meshes through the scene's
// own calls, in the full view or (tinyViewport) in a 1 x 1 one.
void BareFrame(Launch& launch, bool tinyViewport)
{
    glViewport(0, 0, tinyViewport ? 1 : kWidth, tinyViewport ? 1 : kHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    launch.scene->DoViewTransforms();
    launch.scene->DrawExpression(0);
    Atlas::GetAtlas()->GetBrainMeshes()->Draw(launch.model->GetStructureSelector(), nullptr, 0);
    glPopMatrix();
    glFinish();
    glViewport(0, 0, kWidth, kHeight);
}

void BM_LaunchFrame(benchmark::State& state)
{
    Launch& launch = TheLaunch();
    launch.display.MakeCurrent();
    const ImageGrid::AnnotationSelector defaults = launch.model->GetStructureSelector();
    if (state.range(0) == 1)
        launch.model->SetStructureSelector(ImageGrid::AnnotationSelector(true), false);
    // Lists compiled and meshes read before timing.
    launch.Frame();
    double triangles = 0.0;
    const BrainMeshSet* meshes = Atlas::GetAtlas()->GetBrainMeshes();
    for (int i = 0; i < meshes->GetNumNodes(); ++i)
    {
        if (!launch.model->GetStructureSelector().Intersects(meshes->GetNode(i)->own))
            continue;
        GLTriangleMesh mesh;
        mesh.Load((ResourcePath::GetResourcePath() + "Mesh25/" + meshes->GetNode(i)->abbreviation + ".msh").c_str());
        triangles += static_cast<double>(mesh.GetTriangleCount());
    }
    TimeFramesAgainstBare(
        state, [&] { launch.Frame(); }, [&](bool tinyViewport) { BareFrame(launch, tinyViewport); });
    state.counters["triangles"] = triangles;
    launch.model->SetStructureSelector(defaults, false);
}
BENCHMARK(BM_LaunchFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
} // namespace

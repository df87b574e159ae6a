// Drawing every structure of the sample atlas as transparent meshes (the
// scene's transparent style: lit, blended with source alpha / one, no depth
// writes) on the headless display at 1024 x 768, against a bare program that
// draws the same triangles from one display list with the same state, timed in
// alternation in the same run. Counters: "ratio" (mesh set frame time / bare
// frame time; target at most 1.3), "fps" and "bare_fps", "triangles".
// BM_MeshSetCompile times reading and compiling every structure's list once.
// Runs under Xvfb with LIBGL_ALWAYS_SOFTWARE=1.

#include "BenchTiming.h"
#include "GLBenchmarkMain.h"

#include "display/BrainMeshSet.h"
#include "gl/GLTriangleMesh.h"
#include "gl/SceneLighting.h"
#include "model/BrainOntology.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "utility/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <memory>
#include <string>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// The display, the ontology of the data folder and the bare list, made once.
struct Scene
{
    Scene()
        : display(kWidth, kHeight),
          ontology((ResourcePath::GetResourcePath() + "ontology.csv").c_str())
    {
        display.MakeCurrent();
    }

    ~Scene()
    {
        display.MakeCurrent();
        if (bareList != 0)
            glDeleteLists(bareList, 1);
    }

    // All structures' meshes, scaled like the set's, in one list.
    void MakeBareList()
    {
        const unsigned before = GLTriangleMesh::sTriangleCount;
        bareList = glGenLists(1);
        glNewList(bareList, GL_COMPILE);
        for (uint32_t i = 1; i < ontology.GetNumStructures(); ++i)
        {
            GLTriangleMesh mesh;
            const std::string abbreviation = ontology.GetAnnotationLabelByIndex(static_cast<unsigned char>(i))->abbreviation;
            try
            {
                mesh.Load((ResourcePath::GetResourcePath() + "Mesh25/" + abbreviation + ".msh").c_str());
            }
            catch (const std::exception&)
            {
                continue;
            }
            mesh.Scale(0.25f);
            glColor4f(0.5f, 0.6f, 0.7f, 0.25f);
            mesh.Draw();
        }
        glEndList();
        triangles = GLTriangleMesh::sTriangleCount - before;
    }

    // The scene's lighting and transparent mesh style, looking at the whole
    // 133 x 81 x 115 view grid.
    void BeginFrame()
    {
        BeginViewGridFrame(kWidth, kHeight);
        // The scene's own lighting, so the meshes cost what they cost there.
        SceneLighting::SetUp();
        SceneLighting::PositionLights();
        glRotatef(20.0f, 1, 1, 0);
        glDepthMask(GL_FALSE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glEnable(GL_BLEND);
    }

    void EndFrame()
    {
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
        glFinish();
    }

    HeadlessGLDisplay display;
    ImageGrid::BrainOntology ontology;
    GLuint bareList = 0;
    unsigned triangles = 0;
};

// Kept until the process ends: the GL objects go with the application.
Scene& GetScene()
{
    static Scene* scene = new Scene;
    return *scene;
}

void BM_MeshSetCompile(benchmark::State& state)
{
    Scene& scene = GetScene();
    unsigned triangles = 0;
    for (auto _ : state)
    {
        scene.display.MakeCurrent();
        const unsigned before = GLTriangleMesh::sTriangleCount;
        const Clock::time_point start = Clock::now();
        BrainMeshSet set(&scene.ontology, scene.ontology.GetAnnotationLabel(1));
        scene.BeginFrame();
        set.Draw(ImageGrid::AnnotationSelector(true), nullptr, 0);
        scene.EndFrame();
        state.SetIterationTime(Seconds(start));
        triangles = GLTriangleMesh::sTriangleCount - before;
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_MeshSetCompile)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

void BM_MeshSetDrawTransparent(benchmark::State& state)
{
    Scene& scene = GetScene();
    scene.display.MakeCurrent();
    if (scene.bareList == 0)
        scene.MakeBareList();
    BrainMeshSet set(&scene.ontology, scene.ontology.GetAnnotationLabel(1));
    const ImageGrid::AnnotationSelector all(true);
    scene.BeginFrame();
    set.Draw(all, nullptr, 0); // compiles the lists
    scene.EndFrame();

    double setSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        Clock::time_point start = Clock::now();
        scene.BeginFrame();
        set.Draw(all, nullptr, 0);
        scene.EndFrame();
        const double seconds = Seconds(start);
        setSeconds += seconds;
        state.SetIterationTime(seconds);

        start = Clock::now();
        scene.BeginFrame();
        glCallList(scene.bareList);
        scene.EndFrame();
        bareSeconds += Seconds(start);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = setSeconds / bareSeconds;
    state.counters["fps"] = n / setSeconds;
    state.counters["bare_fps"] = n / bareSeconds;
    state.counters["triangles"] = scene.triangles;
}
BENCHMARK(BM_MeshSetDrawTransparent)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseManualTime();
} // namespace

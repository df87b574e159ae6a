// The scene's export and frame saving over the sample atlas.
#include "BrainSceneFixture.h"

#include "display/SceneExport.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "support/TempDir.h"
#include "utility/ResourcePath.h"

#include <QOpenGLFramebufferObject>

#include <cstdlib>
#include <filesystem>

using namespace scenetest;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

namespace
{
class SceneExportSceneTest : public BrainSceneFixture
{
protected:
    void Structures(std::initializer_list<const char*> abbreviations)
    {
        ImageGrid::AnnotationSelector s(false);
        for (const char* a : abbreviations)
            s.Merge(Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string(a))->own);
        model->SetStructureSelector(s, false);
    }

    TempDir dir;
};
} // namespace

TEST_F(SceneExportSceneTest, StructureNamesThatAreNoIdentifiersAreRenamedEverywhere)
{
    AddGene("S_int", {{kColumnX, kColumnY, 50, 20}});
    Structures({"ISO2-3", "int", "CB"});
    ASSERT_TRUE(display.MakeCurrent());
    // A folder that is not there: the export fails and leaves nothing.
    EXPECT_THROW(scene->ExportPOVRay(dir.File("scene").c_str()), std::runtime_error);
    const std::string folder = dir.File("out");
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(std::filesystem::exists(dir.File("scene")));
    scene->ExportPOVRay(folder.c_str());
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"CB.pov", "S_ISO2_3.pov", "S_int.pov", "S_int_1000.pov",
                                               "mesh_usage.pov"}));
    EXPECT_EQ(ReadFileBytes(folder + "/S_ISO2_3.pov").rfind("#declare S_ISO2_3 = object {\n", 0), 0u);
    const std::string usage = ReadFileBytes(folder + "/mesh_usage.pov");
    EXPECT_NE(usage.find("#include \"S_int.pov\"\nobject {\n\tS_int\n"), std::string::npos) << usage;
    EXPECT_EQ(ReadFileBytes(folder + "/S_int_1000.pov").rfind("DrawExpressor(80,47,50,1,", 0), 0u);
}

TEST_F(SceneExportSceneTest, FramesAreSavedAndAFailureIsToldOnceInsideDisplay)
{
    scene->SetSaveFrames(true, dir.File("frames"));
    display.Display();
    display.Display();
    EXPECT_FALSE(ReadFileBytes(dir.File("frames/00000.png")).empty());
    EXPECT_FALSE(ReadFileBytes(dir.File("frames/00001.png")).empty());
    EXPECT_TRUE(services.alerts.empty());

    testsupport::WriteFileBytes(dir.File("plain"), "x");
    scene->SetSaveFrames(true, dir.File("plain/frames"));
    display.Display();
    display.Display();
    EXPECT_EQ(services.alerts.size(), 1u);
}

TEST_F(SceneExportSceneTest, AMultisampledFrameIsReadThroughAResolvedCopy)
{
    ASSERT_TRUE(display.MakeCurrent());
    QOpenGLFramebufferObjectFormat format;
    format.setSamples(4);
    QOpenGLFramebufferObject fbo(8, 8, format);
    ASSERT_TRUE(fbo.bind());
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<unsigned char> pixels = SceneExport::ReadFramePixels(8, 8);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ASSERT_EQ(pixels.size(), 8u * 8u * 4u);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_NEAR(pixels[1], 128, 1);
    EXPECT_EQ(pixels[2], 0);
    fbo.release();
}

// The exported files as a ray tracer reads them: a scene that declares the
// names they use includes them and renders.
TEST_F(SceneExportSceneTest, TheRayTracerRendersASceneIncludingTheExport)
{
    if (std::system("command -v povray >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "povray is not installed";
    model->AddGene((ResourcePath::GetResourcePath() + "xprs/Pyramidal.xpr").c_str());
    Structures({"ISO2-3", "int"});
    ASSERT_TRUE(display.MakeCurrent());
    const std::string folder = dir.File("export folder");
    std::filesystem::create_directories(folder);
    scene->ExportPOVRay(folder.c_str());
    std::string includes;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        const std::string name = entry.path().filename().string();
        if (name != "mesh_usage.pov" && name.rfind("S_", 0) != 0)
            includes += "#include \"" + name + "\"\n";
    }
    ASSERT_FALSE(includes.empty());
    testsupport::WriteFileBytes(folder + "/scene.pov",
                                "#version 3.7;\n"
                                "global_settings { assumed_gamma 1.0 }\n"
                                "camera { location <66, 40, -250> look_at <66, 40, 57> }\n"
                                "light_source { <66, 300, -300> color rgb 1 }\n"
                                "#macro make_color(R, G, B) pigment { color rgb <R, G, B> } #end\n"
                                "#declare structFinish = finish { diffuse 0.6 }\n"
                                "#macro DrawExpressor(X, Y, Z, S, R, G, B)\n"
                                "  sphere { <X, Y, Z>, S * 0.5 + 0.01 pigment { color rgb <R, G, B> } }\n"
                                "#end\n"
                                "#include \"mesh_usage.pov\"\n" +
                                    includes);
    const std::string command = "cd '" + folder + "' && povray +Iscene.pov +Oscene.png +W16 +H16 -D -V +FN " +
                                "> povray.log 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(folder + "/povray.log");
    EXPECT_FALSE(ReadFileBytes(folder + "/scene.png").empty());
}

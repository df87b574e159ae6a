#include "SceneTestFixture.h"

#include "display/CuttingPlaneRenderer.h"
#include "display/MPRRenderer.h"
#include "display/MovePlaneMouseTool.h"

#include <memory>

namespace
{
constexpr int kWidth = 400, kHeight = 240;

// Views down the z axis over view x 0..50 and y 0..30 at 8 pixels per view
// voxel; the test atlas's CH lies at x 10..60, CB at 90..120, nothing at x < 10.
class SliceAndPlaneTest : public SceneTest
{
protected:
    SliceAndPlaneTest() : SceneTest(kWidth, kHeight, 0, 50, 0, 30) {}

    void SetUp() override
    {
        SceneTest::SetUp();
        slices = std::make_unique<MPRRenderer>(scene.get(), model.get());
        box = std::make_unique<CuttingPlaneRenderer>(scene.get(), model.get());
        tool = std::make_unique<MovePlaneMouseTool>(scene.get());
    }

    void TearDown() override
    {
        // The slice textures go with the context.
        if (display.MakeCurrent())
            slices.reset();
    }

    // Runs f with the context current and the view set, as the scene calls
    // its tools.
    template <typename F>
    auto InView(F f)
    {
        EXPECT_TRUE(display.MakeCurrent());
        SetView();
        return f();
    }

    // The window pixel (origin top left) over view point (x, y).
    static int WindowX(float x) { return static_cast<int>(x * 8); }
    static int WindowY(float y) { return kHeight - 1 - static_cast<int>(y * 8); }

    // A press and release at view point (x, y), the release after ms.
    bool Click(float x, float y, unsigned ms)
    {
        return InView([&] {
            tool->OnButtonDown(0, WindowX(x), WindowY(y), 0, 1000);
            return tool->OnButtonUp(0, WindowX(x), WindowY(y), 0, 1000 + ms);
        });
    }

    Pixel At(float x, float y) { return display.PixelAt(WindowX(x), static_cast<int>(y * 8)); }

    std::unique_ptr<MPRRenderer> slices;
    std::unique_ptr<CuttingPlaneRenderer> box;
    std::unique_ptr<MovePlaneMouseTool> tool;
};
} // namespace

TEST_F(SliceAndPlaneTest, ShownSlicesAreDrawnTexturedAndHiddenOnesNotLoaded)
{
    model->SetMPRSliceLocation(Image3d::kSagittal, 20.0f, false);
    Frame([&]() { slices->Display(7); });
    EXPECT_EQ(At(25, 15), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(slices->GetSliceIndex(2), -1);

    model->SetMPRPlaneVisible(Image3d::kSagittal, true, false);
    Frame([&]() { slices->Display(7); });
    EXPECT_EQ(slices->GetSliceIndex(2), 80);
    EXPECT_EQ(slices->GetSliceIndex(0), -1);
    // Alpha 0: the annotation colours of the test atlas, entry v = (v, 255 - v, v / 2).
    EXPECT_EQ(At(25.3f, 15.3f), (Pixel{5, 250, 2, 255}));  // CH
    EXPECT_EQ(At(5.3f, 20.3f), (Pixel{0, 255, 0, 255}));   // outside the brain: entry 0
    EXPECT_EQ(At(40.3f, 25.3f), (Pixel{7, 248, 3, 255}));  // HIP

    EXPECT_EQ(Pick(24.9f, 25.1f, 14.9f, 15.1f, [&]() { slices->Display(7); }), std::vector<GLuint>({9}));
}

TEST_F(SliceAndPlaneTest, CuttingBoxFacesAreOutlinesWithTheirPickNames)
{
    // Bounds in the middle of a pixel column or row, so that each line
    // falls on one pixel.
    model->SetCuttingPlaneLocation(Image3d::kCoronal, 10.0625f, true, false);
    model->SetCuttingPlaneLocation(Image3d::kCoronal, 40.0625f, false, false);
    model->SetCuttingPlaneLocation(Image3d::kHorizontal, 5.0625f, true, false);
    model->SetCuttingPlaneLocation(Image3d::kHorizontal, 25.0625f, false, false);
    Frame([&]() { box->Display(false, 1); });
    EXPECT_EQ(At(10.0625f, 15.0f), (Pixel{0, 128, 0, 255}));
    EXPECT_EQ(At(40.0625f, 15.0f), (Pixel{0, 128, 0, 255}));
    EXPECT_EQ(At(25.0f, 5.0625f), (Pixel{0, 128, 0, 255}));
    EXPECT_EQ(At(25.0f, 15.0f), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(At(45.0f, 15.0f), (Pixel{0, 0, 0, 255}));

    // Inside the box seen down z: the two sagittal faces, lower first.
    EXPECT_EQ(Pick(24.9f, 25.1f, 14.9f, 15.1f, [&]() { box->Display(true, 1); }), std::vector<GLuint>({3, 6}));
    EXPECT_TRUE(Pick(44.9f, 45.1f, 14.9f, 15.1f, [&]() { box->Display(true, 1); }).empty());
}

TEST_F(SliceAndPlaneTest, SliceDragAddsUpMovesBelowAQuarterVoxel)
{
    tool->SetMPRPlane(Image3d::kCoronal);
    const float start = model->GetMPRSliceLocation(Image3d::kCoronal);
    // One pixel is an eighth of a view voxel.
    InView([&] { return tool->OnButtonDown(0, 100, 100, 0, 1000); });
    InView([&] { return tool->OnMouseMove(101, 100, 0, 1010); });
    EXPECT_FLOAT_EQ(model->GetMPRSliceLocation(Image3d::kCoronal), start);
    InView([&] { return tool->OnMouseMove(102, 130, 0, 1020); });
    EXPECT_FLOAT_EQ(model->GetMPRSliceLocation(Image3d::kCoronal), start + 0.25f);
    InView([&] { return tool->OnMouseMove(103, 100, 0, 1030); });
    EXPECT_FLOAT_EQ(model->GetMPRSliceLocation(Image3d::kCoronal), start + 0.25f);
    InView([&] { return tool->OnMouseMove(90, 100, 0, 1040); });
    EXPECT_FLOAT_EQ(model->GetMPRSliceLocation(Image3d::kCoronal), start + 0.25f - 1.5f);
    // A moved slice is no click.
    EXPECT_FALSE(InView([&] { return tool->OnButtonUp(0, 90, 100, 0, 1050); }));
    EXPECT_EQ(model->GetSelectedStructure(), nullptr);
}

TEST_F(SliceAndPlaneTest, FaceDragMovesTheBoundInLiveUpdate)
{
    tool->SetCuttingPlane(Image3d::kHorizontal, false);
    EXPECT_TRUE(model->GetLiveUpdate());
    const float start = model->GetCuttingPlaneLocation(Image3d::kHorizontal, false);
    InView([&] { return tool->OnButtonDown(0, 100, 100, 0, 1000); });
    InView([&] { return tool->OnMouseMove(100, 116, 0, 1010); }); // 2 voxels down
    EXPECT_FLOAT_EQ(model->GetCuttingPlaneLocation(Image3d::kHorizontal, false), start - 2.0f);
    EXPECT_FALSE(InView([&] { return tool->OnButtonUp(0, 100, 116, 0, 1020); }));
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_EQ(scene->regenerateCount, 1);
}

TEST_F(SliceAndPlaneTest, QuickClickOnASliceSelectsTheStructureUnderTheMouse)
{
    model->SetMPRPlaneVisible(Image3d::kSagittal, true, false);
    model->SetMPRSliceLocation(Image3d::kSagittal, 30.0f, false);
    tool->SetMPRPlane(Image3d::kSagittal);
    Frame([&]() { slices->Display(7); });

    EXPECT_TRUE(Click(35.0f, 25.0f, 500)); // HIP
    EXPECT_EQ(model->GetSelectedStructure(), Label(7));
    EXPECT_TRUE(Click(20.0f, 10.0f, 100)); // CH
    EXPECT_EQ(model->GetSelectedStructure(), Label(5));
    // Too slow: nothing happens.
    EXPECT_FALSE(Click(35.0f, 25.0f, 501));
    EXPECT_EQ(model->GetSelectedStructure(), Label(5));
    // Unannotated tissue clears the selection.
    EXPECT_TRUE(Click(5.0f, 10.0f, 10));
    EXPECT_EQ(model->GetSelectedStructure(), nullptr);
}

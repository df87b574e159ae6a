// The scene draws its section image with the control bar above it, the
// tiles coming from the sample atlas service in the test process.
#include "qt/scene/BrainSceneFixture.h"
#include "tools/sampleservice/InProcessService.h"

#include "gl/QtIconImages.h"
#include "image/TiledImage.h"
#include "network/QtNetFile.h"
#include "support/QuietStdout.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>

#include <GL/gl.h>

#include <cstdlib>

using scenetest::GridId;
using scenetest::kColumnX;
using scenetest::kColumnY;
using scenetest::kHeight;

namespace
{
QtIconImages* AppIcons()
{
    static QtIconImages images;
    return &images;
}

class SectionImageSceneDrawTest : public servicetest::InProcessServiceSuite<scenetest::BrainSceneFixture>
{
protected:
    void SetUp() override
    {
        preferences.Store().values["Host"] = s_service->BaseUrl();
        QtNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
        BrainSceneFixture::SetUp();
    }
    void TearDown() override
    {
        BrainSceneFixture::TearDown();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    testsupport::QuietStdout quiet;
    // The application's icons, so that the bar has its real geometry.
    ScopedIconImageSource icons{AppIcons()};
};


bool Near(const std::array<int, 4>& p, int r, int g, int b)
{
    return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
}
} // namespace

TEST_F(SectionImageSceneDrawTest, TheSelectedVoxelsSectionShowsBelowTheBarWithItsModeCellLit)
{
    const sampleservice::SectionImage* section = nullptr;
    for (const auto& series : s_service->Catalogue().series)
        for (const auto& image : series.images)
            if (section == nullptr && !image.expressionPath.empty())
                section = &image;
    ASSERT_NE(nullptr, section);
    testsupport::Grid20000 grid;
    grid.header[1] = 3000;
    grid.strings[1] = "Sec";
    grid.images.push_back({1, static_cast<uint32_t>(section->imageId), static_cast<uint32_t>(section->width),
                           static_cast<uint32_t>(section->height), section->path, section->expressionPath});
    grid.quadrats.push_back({GridId(kColumnX, kColumnY, 50), 1.0f, 1.0f, 100.0f, 1,
                             static_cast<uint16_t>(section->width / 2), static_cast<uint16_t>(section->height / 2),
                             20});
    AddGrid(grid);
    model->SetImageAlpha(0.5f, false);
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, false);
    GeneExpression* gene = model->GetGene(0);
    model->SelectExpressor(gene, gene->GetExpressorAtGrid(GridId(kColumnX, kColumnY, 50)), true);
    ASSERT_NE(nullptr, scene->GetImage());
    ASSERT_TRUE(testsupport::RunEventsUntil([&] {
        return scene->GetImage()->GetPendingRequests() == 0 && scene->GetImage()->IsThumbnailLoaded();
    }));
    display.Display();
    // A look at the frame when asked for.
    if (const char* folder = std::getenv("NUVARO_TEST_FRAMES"))
        display.GrabImage().save(QString::fromUtf8(folder) + "/section-image-scene.png");

    // The bar: grey 0.3 at its right end, grey 0.45 under the section cell (mode 2).
    EXPECT_TRUE(Near(display.PixelAt(200, 262), 77, 77, 77));
    const int cellWidth = scene->GetImageControlBar().GetCellWidth();
    GLTexture close;
    MakeCloseTabIcon(close);
    const int sectionCellRight = close.GetWidth() + 10 + 3 * cellWidth - 1;
    EXPECT_TRUE(Near(display.PixelAt(sectionCellRight, 258), 115, 115, 115));
    // The image is opaque where it is drawn.
    EXPECT_EQ(255, display.PixelAt(128, 128)[3]);
    // What the overlay pass draws after the image blends as before it.
    display.MakeCurrent();
    GLint source = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    EXPECT_EQ(GL_ONE, source);
    EXPECT_TRUE(scene->CanShowImageInBrowser());
}

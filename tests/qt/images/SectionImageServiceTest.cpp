// The section image over the Qt transport against the sample atlas service
// (in the test process, on a free port), drawn on the headless display.
#include "SampleService.h"
#include "ZoomifyTiles.h"
#include "tools/sampleservice/InProcessService.h"

#include "image/TiledImage.h"
#include "network/QtNetFile.h"

#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/SampleServiceWaits.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

using testsupport::RunEventsUntil;

namespace
{
class DisplayOwner : public TiledImageOwner
{
public:
    explicit DisplayOwner(HeadlessGLDisplay* display) : m_display(display) {}
    GLDisplay* GetContext() const override { return m_display; }
    BrainExpressionModel* GetModel() const override { return nullptr; }

private:
    HeadlessGLDisplay* m_display;
};

class SectionImageServiceTest : public servicetest::InProcessServiceSuite<testing::Test>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        preferences.Store().values["Host"] = s_service->BaseUrl();
        s_service->ResetControls();
        QtNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
        display.SetRenderer(&renderer);
        image = std::make_unique<TiledImage>(256, 256, &owner);
    }
    void TearDown() override
    {
        display.MakeCurrent();
        image.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The first section image of the catalogue that has an overlay.
    static GeneExpression::ImageInfo Section()
    {
        GeneExpression::ImageInfo info;
        for (const auto& series : s_service->Catalogue().series)
            for (const auto& section : series.images)
                if (!section.expressionPath.empty() && info.imageId == 0)
                {
                    info.key = static_cast<uint32_t>(section.key);
                    info.imageId = static_cast<uint32_t>(section.imageId);
                    info.width = static_cast<uint32_t>(section.width);
                    info.height = static_cast<uint32_t>(section.height);
                    info.imagePath = section.path;
                    info.expressionPath = section.expressionPath;
                }
        return info;
    }

    bool WaitUntilLoaded()
    {
        return RunEventsUntil([this] { return image->GetPendingRequests() == 0 && image->IsThumbnailLoaded(); });
    }

    void Frame(float alpha)
    {
        renderer.draw = [this, alpha]() {
            display.BeginPixelFrame(0.0f);
            image->Display(alpha);
        };
        display.Display();
    }

    // Requests for one tile name ("4-5-4.jpg") in the service's log.
    static int RequestsFor(const std::string& name)
    {
        int n = 0;
        for (const std::string& line : s_service->RequestLog())
            if (line.find("/" + name + " ") != std::string::npos)
                ++n;
        return n;
    }
    static int TileRequests()
    {
        int n = 0;
        for (const std::string& line : s_service->RequestLog())
            if (line.find(".jpg") != std::string::npos)
                ++n;
        return n;
    }

    // Whether every byte of a view rectangle (x, y from the top) in the image texture is 255.
    bool AllWhite(int x0, int y0, int x1, int y1) const
    {
        const GLTexture& texture = image->GetImageTexture();
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int k = 0; k < 3; ++k)
                    if (texture.GetBuffer()[(static_cast<size_t>(y) * texture.GetWidth() + x) * 4 + k] != 255)
                        return false;
        return true;
    }

    testsupport::QuietStdout quiet;
    testsupport::ScopedPreferenceStore preferences;
    testsupport::FakePlatformServices services;
    HeadlessGLDisplay display{600, 300};
    GLTestRenderer renderer;
    DisplayOwner owner{&display};
    std::unique_ptr<TiledImage> image;
};


// Centred on the corner of four shown-tier tiles of an 11200 x 8000 section:
// tile 4-5-4 fills the view's lower right quarter.
const int kCornerX = 5120;
const int kCornerY = 4096;
} // namespace

TEST_F(SectionImageServiceTest, TheOverlayBlendsAtTheModelsAlphaWithTicksThumbnailAndOpaqueAlpha)
{
    const GeneExpression::ImageInfo info = Section();
    ASSERT_NE(0u, info.imageId) << "the sample catalogue has no section with an overlay";
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_EQ(8, image->GetLoadedParts());
    Frame(0.5f);

    // The view centre blends image and overlay half and half.
    const unsigned char* a = image->GetImageTexture().GetBuffer() + (static_cast<size_t>(127) * 256 + 100) * 4;
    const unsigned char* b = image->GetExpressionTexture().GetBuffer() + (static_cast<size_t>(127) * 256 + 100) * 4;
    const std::array<int, 4> p = display.PixelAt(100, 128);
    EXPECT_NEAR((a[2] + b[2]) / 2.0, p[0], 3.0);
    EXPECT_NEAR((a[1] + b[1]) / 2.0, p[1], 3.0);
    EXPECT_NEAR((a[0] + b[0]) / 2.0, p[2], 3.0);
    EXPECT_EQ(255, p[3]) << "the window must not turn see-through";
    EXPECT_EQ((std::array<int, 4>{0, 255, 255, 255}), display.PixelAt(0, 2)) << "a cyan tick";
    // The units that mixed image and overlay are off again for what is drawn next.
    display.MakeCurrent();
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    EXPECT_EQ(GL_TEXTURE0, unit);
    for (GLenum other : {GL_TEXTURE1, GL_TEXTURE2})
    {
        glActiveTexture(other);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    }
    glActiveTexture(GL_TEXTURE0);

    // The thumbnail box beside the view holds the red outline of the region.
    int red = 0;
    for (int x = 257; x < 257 + image->GetThumbnailBoxWidth(); ++x)
        for (int y = 0; y < image->GetThumbnailBoxHeight(); ++y)
        {
            const std::array<int, 4> q = display.PixelAt(x, y);
            red += (q[0] == 255 && q[1] == 0 && q[2] == 0) ? 1 : 0;
        }
    EXPECT_GT(red, 8);
}

TEST_F(SectionImageServiceTest, AMissingTileWhitensOnlyItsArea)
{
    sampleservice::FaultSettings faults;
    faults.errorStatus = 404;
    faults.match = "/4-5-4.jpg";
    s_service->SetFaults(faults);
    const GeneExpression::ImageInfo info = Section();
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_EQ(6, image->GetLoadedParts());
    EXPECT_TRUE(AllWhite(128, 128, 256, 256));
    EXPECT_FALSE(AllWhite(0, 0, 128, 128));
    EXPECT_FALSE(AllWhite(128, 0, 256, 128));
}

TEST_F(SectionImageServiceTest, ACorruptTileIsFetchedAgainByTheNextViewAndACachedViewAsksForNothing)
{
    sampleservice::FaultSettings faults;
    faults.corruptJpeg = true;
    faults.match = "/4-4-3.jpg";
    faults.count = 1;
    s_service->SetFaults(faults);
    const GeneExpression::ImageInfo info = Section();
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_TRUE(AllWhite(0, 0, 128, 128));

    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_FALSE(AllWhite(0, 0, 128, 128));
    // The bad part was asked again (and its twin too when the twin had been
    // dropped before arriving); the other tiles came from the caches.
    EXPECT_GE(RequestsFor("4-4-3.jpg"), 3);
    EXPECT_LE(RequestsFor("4-4-3.jpg"), 4);
    EXPECT_EQ(2, RequestsFor("4-5-4.jpg"));

    const int before = TileRequests();
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_EQ(before, TileRequests());
}

TEST_F(SectionImageServiceTest, ProgressShowsWhileTilesAreSlowAndNoOldTileLandsAfterASwitch)
{
    sampleservice::FaultSettings faults;
    faults.delayMs = 400;
    faults.match = "/production/";
    s_service->SetFaults(faults);
    const GeneExpression::ImageInfo info = Section();
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    EXPECT_EQ(8, image->GetPendingRequests());
    Frame(0.5f);
    EXPECT_EQ((std::array<int, 4>{0, 255, 0, 255}), display.PixelAt(4, 4)) << "the green progress row";

    const std::string plate = s_service->BaseUrl() + "/pyramid/" + sampleservice::CoronalPlatePaths()[60];
    image->LoadImage(plate.c_str(), 2845, 2209, 5690, 4418, GeneExpression::kCoronal, 1.9f, 130939);
    ASSERT_TRUE(WaitUntilLoaded());
    const int plateParts = image->GetLoadedParts();
    EXPECT_EQ(image->GetTileCount(), plateParts);
    // The section's replies arrive after the switch and are dropped.
    EXPECT_TRUE(testsupport::RunEventsPastTheServicesAnswers(*s_service));
    EXPECT_EQ(plateParts, image->GetLoadedParts());
    EXPECT_TRUE(image->GetExpressionPath().empty());
}

TEST_F(SectionImageServiceTest, MalformedPropertiesGiveOneAlertAndTilesWithoutLengthStillDraw)
{
    sampleservice::FaultSettings faults;
    faults.malformedXml = true;
    faults.match = "ImageProperties.xml";
    s_service->SetFaults(faults);
    GeneExpression::ImageInfo info = Section();
    info.width = info.height = 0;
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(RunEventsUntil([this] { return !image->IsWaitingForProperties(); }));
    EXPECT_EQ(std::vector<std::string>{"Unexpected data in image properties."}, services.alerts);
    EXPECT_EQ(0, TileRequests());

    s_service->ResetControls();
    faults = sampleservice::FaultSettings();
    faults.noContentLength = true;
    faults.match = ".jpg";
    s_service->SetFaults(faults);
    image->LoadImage(&info, kCornerX, kCornerY, GeneExpression::kCoronal, 1.0f);
    ASSERT_TRUE(WaitUntilLoaded());
    EXPECT_EQ(8, image->GetLoadedParts());
    EXPECT_FALSE(AllWhite(0, 0, 256, 256));
}

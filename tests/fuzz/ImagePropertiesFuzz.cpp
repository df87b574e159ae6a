// A tile pyramid's image properties ("/ImageProperties.xml") as a section
// image viewer receives them: the viewer asks for the document, reads the
// reply and lays out and asks for the tiles of the sizes it found. The first
// four bytes place the view's centre (two little-endian 16-bit values, in
// steps of 16 pixels); the rest is the reply.
#include "FuzzTarget.h"

#include "image/TiledImage.h"
#include "model/GeneExpression.h"
#include "support/FakeGLDisplay.h"
#include "support/FakeNetFile.h"

#include <string>

namespace
{
class Owner : public TiledImageOwner
{
public:
    GLDisplay* GetContext() const override { return &display; }
    BrainExpressionModel* GetModel() const override { return nullptr; }

    mutable FakeGLDisplay display;
};
} // namespace

NUVARO_FUZZ_TARGET(ImageProperties)
{
    if (size < 4)
        return;
    using testsupport::FakeNetFile;
    static Owner owner;
    FakeNetFile::Install();
    {
        TiledImage viewer(256, 256, &owner);
        GeneExpression::ImageInfo record;
        record.imageId = 7;
        record.imagePath = "/section/primary/image.aff";
        record.expressionPath = "/section/express/image.aff";
        const int centreX = (data[0] | data[1] << 8) * 16;
        const int centreY = (data[2] | data[3] << 8) * 16;
        fuzz::Expected([&] { viewer.LoadImage(&record, centreX, centreY, GeneExpression::kCoronal, 0.0f); });
        if (FakeNetFile* transfer = FakeNetFile::Latest())
            transfer->Reply(std::string(reinterpret_cast<const char*>(data + 4), size - 4));
        // The tiles asked for are abandoned with the viewer.
    }
    FakeNetFile::Uninstall();
}

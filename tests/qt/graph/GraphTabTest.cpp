// A graph tab of the document window: the bridge opens it with the relation
// graph view for a relation file, as the application registers it.
#include "qt/shell/ShellFixture.h"

#include "display/GeneRelationGraphRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/TextureTextBox.h"
#include "shell/BrainDocTab.h"
#include "shell/GraphTab.h"
#include "shell/NuvaroDocWrapper.h"
#include "support/qt/LoopbackServer.h"

using namespace shelltest;

namespace
{
class GraphTabTest : public ShellFixture
{
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        InstallGraphTabMaker();
    }
    void TearDown() override
    {
        ShellFixture::TearDown();
        SetGraphTabMaker(nullptr);
    }
};

TEST_F(GraphTabTest, ARelationFileOpensInAGraphTab)
{
    Launch();
    testsupport::TempDir dir;
    const std::string path = dir.File("relations.csv");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "1,A,2,B,1\n2,B,3,C,0.5\n"));
    doc->docWrapper()->LoadDirectedGraphFile(path.c_str());

    TabControlRenderer* tabs = doc->tabControlRenderer();
    ASSERT_EQ(tabs->GetNumTabs(), 2);
    ASSERT_EQ(tabs->GetActiveTab(), 1);
    auto* tab = static_cast<BrainDocTab*>(tabs->GetTabData(1));
    ASSERT_NE(tab->graph(), nullptr);
    auto* graph = dynamic_cast<GeneRelationGraphRenderer*>(tab->renderer());
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(dynamic_cast<const TextureTextBox*>(tabs->GetTabLabel(1))->GetText(), "relations.csv");
    // The layout runs on its thread and comes back through the event loop.
    EXPECT_TRUE(testsupport::RunEventsUntil([&] { return graph->IsReady(); }));
    EXPECT_EQ(graph->GetNodes().size(), 3u);
}
} // namespace

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

#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdlib>
#include <map>
#include <string>

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

namespace
{
std::string FamilyOf(const std::string& symbol)
{
    return symbol.substr(0, symbol.find_last_not_of("0123456789") + 1);
}

bool Overlap(const GeneRelationGraphRenderer::LabelPlacement& a, const GeneRelationGraphRenderer::LabelPlacement& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// The sample relation list as the user imports it, in the window at its
// first size: at the greatest zoom every gene of every family has its name
// drawn clear of all others. Screenshots of the whole graph and of one
// family, zoomed in, go to NUVARO_SCREENSHOT_DIR.
TEST_F(GraphTabTest, TheSampleFamiliesCanBeReadFamilyByFamily)
{
    Launch();
    // As in a fresh program: rand() from its first draw.
    std::srand(1);
    const std::string path = testsupport::SampleDataDir() + "../../../../sample-service/relations/families.csv";
    doc->docWrapper()->LoadDirectedGraphFile(path.c_str());
    auto* graph = dynamic_cast<GeneRelationGraphRenderer*>(
        static_cast<BrainDocTab*>(doc->tabControlRenderer()->GetTabData(1))->renderer());
    ASSERT_NE(graph, nullptr);
    ASSERT_TRUE(testsupport::RunEventsUntil([&] { return graph->IsReady(); }, 60000));
    SaveScreenshot(window, "graph-sample");

    const QPoint centre(view->width() / 2, view->height() / 2);
    for (int notch = 0; notch < 5; ++notch)
    {
        QWheelEvent wheel(QPointF(centre), view->mapToGlobal(QPointF(centre)), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
    }
    ASSERT_FLOAT_EQ(graph->GetZoom(), 2.0f);

    const auto labels = graph->PlaceLabels();
    std::map<std::string, int> members;
    std::map<std::string, int> labelled;
    for (const auto& node : graph->GetNodes())
        ++members[FamilyOf(node->GetGraphNode()->GetSymbol())];
    for (const auto& label : labels)
    {
        const std::string& symbol = label.node->GetGraphNode()->GetSymbol();
        ++labelled[FamilyOf(symbol)];
        for (const auto& other : labels)
            EXPECT_FALSE(&other != &label && Overlap(label, other))
                << symbol << " runs into " << other.node->GetGraphNode()->GetSymbol();
    }
    EXPECT_GE(members.size(), 4u);
    for (const auto& [family, count] : members)
        EXPECT_EQ(labelled[family], count) << family;

    // One family to the middle of the view, dragged there with the middle button.
    const std::string family = "Dgrf";
    float sumX = 0.0f;
    float sumY = 0.0f;
    int count = 0;
    for (const auto& node : graph->GetNodes())
    {
        if (FamilyOf(node->GetGraphNode()->GetSymbol()) != family)
            continue;
        float x = 0.0f;
        float y = 0.0f;
        graph->GetNodeCenter(node->GetGraphNode(), x, y);
        sumX += x;
        sumY += y;
        ++count;
    }
    ASSERT_GT(count, 0);
    const QPoint at(static_cast<int>(sumX / count * graph->GetZoom() + graph->GetPanX()),
                    view->height() - 1 - static_cast<int>(sumY / count * graph->GetZoom() + graph->GetPanY()));
    auto send = [&](QEvent::Type type, QPoint point, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(point), view->mapToGlobal(QPointF(point)), Qt::MiddleButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    };
    const QPoint to = centre + (centre - at);
    send(QEvent::MouseButtonPress, centre, Qt::MiddleButton);
    send(QEvent::MouseMove, to, Qt::MiddleButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    for (const auto& label : graph->PlaceLabels())
        if (FamilyOf(label.node->GetGraphNode()->GetSymbol()) == family)
        {
            EXPECT_GE(label.x, 0) << label.node->GetGraphNode()->GetSymbol();
            EXPECT_LE(label.x + label.width, view->width()) << label.node->GetGraphNode()->GetSymbol();
        }
    SaveScreenshot(window, "graph-sample-zoomed");
}
} // namespace

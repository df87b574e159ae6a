// The toolbar: its items in order, the plane segments (planes 2, 0, 1 with
// their tips) and the search field starting a gene search on Return.
#include "CommandsFixture.h"

#include "shell/AtlasPlaneToggleBar.h"
#include "shell/SelectionTools.h"
#include "shell/ShellMenus.h"
#include "shell/ShellToolbar.h"
#include "support/qt/Screenshot.h"

#include <QMenuBar>
#include <QToolButton>

using shell::CommandId;

namespace
{
class ToolbarTest : public commandstest::CommandsFixture
{
};
} // namespace

TEST_F(ToolbarTest, HoldsItsItemsAndStartsGeneSearches)
{
    auto* toolbar = new shell::ShellToolbar(*commands, nullptr, &window);
    window.addToolBar(toolbar);
    shell::AddCommandMenus(window.menuBar(), window.menuBar()->addMenu(QStringLiteral("&File")), nullptr, *commands);
    window.resize(900, 400);
    EXPECT_EQ(QStringLiteral("Main Window Toolbar Identifier"), toolbar->objectName());
    EXPECT_FALSE(toolbar->isMovable());
    EXPECT_EQ(Qt::ToolButtonIconOnly, toolbar->toolButtonStyle());

    shell::AtlasPlaneToggleBar* planes = toolbar->atlasPlaneToggleBar();
    const char* tips[3] = {"Sagittal Nissl", "Coronal Nissl", "Horizontal Nissl"};
    for (int segment = 0; segment < 3; ++segment)
    {
        EXPECT_EQ(QString::fromLatin1(tips[segment]), planes->segment(segment)->toolTip());
        EXPECT_EQ(27, planes->segment(segment)->width());
        EXPECT_FALSE(planes->segment(segment)->icon().isNull());
    }
    EXPECT_EQ(QStringLiteral("Toggle ontology and neuron list"), Action(CommandId::ToggleExpandedView)->toolTip());

    // Items in order: tools, planes, centre view, cutting planes, expand view, search.
    std::vector<int> x;
    x.push_back(toolbar->selectionTools()->geometry().x());
    x.push_back(planes->geometry().x());
    for (CommandId id : {CommandId::CenterViewOnSelection, CommandId::ToggleCuttingPlanes, CommandId::ToggleExpandedView})
        x.push_back(toolbar->widgetForAction(Action(id))->geometry().x());
    x.push_back(toolbar->searchField()->geometry().x());
    EXPECT_TRUE(std::is_sorted(x.begin(), x.end()));

    // The scene controls are enabled by the window, not the rules.
    toolbar->setSceneControlsEnabled(true, true);
    EXPECT_FALSE(planes->isEnabled());
    EXPECT_TRUE(toolbar->selectionTools()->isEnabled());
    toolbar->setSceneControlsEnabled(false, false);
    EXPECT_FALSE(toolbar->selectionTools()->isEnabled());
    toolbar->setSceneControlsEnabled(true, false);

    QTest::keyClick(toolbar->searchField(), Qt::Key_Return); // empty: nothing
    QTest::keyClicks(toolbar->searchField(), QStringLiteral("Gad1"));
    QTest::keyClick(toolbar->searchField(), Qt::Key_Return);
    EXPECT_EQ((std::vector<std::string>{"Gad1"}), context->searches);
    testsupport::SaveScreenshot(&window, "toolbar");
}

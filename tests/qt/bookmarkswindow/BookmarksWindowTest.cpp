// The bookmarks in the real document window: the outline on page 2 of the
// side panel, the Bookmarks menu, a click that applies a bookmark, and the
// file across a restart (the process-wide tree made anew).
#include "qt/shell/ShellFixture.h"

#include "bookmarks/BookmarkEditor.h"
#include "bookmarks/BookmarksController.h"
#include "bookmarks/BookmarksDataSource.h"
#include "bookmarks/BookmarksModel.h"
#include "model/BrainExpressionModel.h"
#include "shell/ShellCommands.h"
#include "shell/WindowCommands.h"
#include "utility/ResourcePath.h"

#include <QAction>
#include <QLineEdit>
#include <QTreeView>

#include <filesystem>

using shell::CommandId;

namespace
{
class BookmarksWindowTest : public shelltest::ShellFixture
{
protected:
    static void SetUpTestSuite()
    {
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 0);
        // The bookmarks file goes into a folder of this run.
        s_home = new testsupport::TempDir;
        setenv("XDG_DATA_HOME", s_home->Path().c_str(), 1);
    }
    static void TearDownTestSuite()
    {
        delete s_home;
        s_home = nullptr;
    }

    void TearDown() override
    {
        ShellFixture::TearDown();
        Restart();
        // Every test starts without a bookmarks file.
        for (const auto& entry : std::filesystem::directory_iterator(ResourcePath::GetUserSettingsPath()))
            if (entry.path().filename().string().rfind("Bookmarks", 0) == 0)
                std::filesystem::remove(entry.path());
    }

    // What a new process would have: no tree in memory.
    static void Restart() { delete BookmarksController::bookmarksController(); }

    static std::string FilePath() { return ResourcePath::GetUserSettingsPath() + "Bookmarks.xml"; }

    void LaunchActive()
    {
        Launch();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        ASSERT_NE(nullptr, doc->bookmarksDataSource());
        doc->setOntologyDisplayMode(2);
    }

    shell::ShellCommands& Commands() { return doc->commands()->commands(); }
    QAction* Action(CommandId id)
    {
        Commands().validateAll();
        return Commands().action(id);
    }
    BookmarkNode* Root() { return BookmarksController::rootNode(); }
    QModelIndex Index(const BookmarkNode* node) { return doc->bookmarksDataSource()->model()->indexForNode(node); }

    static testsupport::TempDir* s_home;
};

testsupport::TempDir* BookmarksWindowTest::s_home = nullptr;
} // namespace

TEST_F(BookmarksWindowTest, AddQuitRestartKeepsTreeAndExpansion)
{
    LaunchActive();
    QTreeView* outline = window->bookmarksView();
    ASSERT_EQ(Root()->numberOfChildren(), 2);
    BookmarkNode* views = Root()->firstChild();
    EXPECT_TRUE(outline->isExpanded(Index(views)));
    EXPECT_FALSE(doc->bookmarksDataSource()->userModified());

    ASSERT_TRUE(Action(CommandId::AddBookmark)->isEnabled());
    Action(CommandId::AddBookmark)->trigger();
    BookmarkEditor* editor = doc->bookmarkEditor();
    ASSERT_NE(nullptr, editor);
    EXPECT_TRUE(editor->isVisible());
    editor->nameField()->setText("Mine");
    editor->save();
    EXPECT_EQ(Root()->lastChild()->name(), "Mine");
    // A group whose name is still being typed when the window closes.
    Action(CommandId::AddBookmarkGroup)->trigger();
    EXPECT_EQ(Root()->lastChild()->name(), "New Group");
    auto* nameEditor = outline->findChild<QLineEdit*>();
    ASSERT_NE(nullptr, nameEditor);
    nameEditor->setText("Typed");
    outline->collapse(Index(views));
    shelltest::SaveScreenshot(window, "bookmarks-window");
    CloseWindow();
    EXPECT_NE(testsupport::ReadFileBytes(FilePath()).find("<Bookmark name=\"Mine\">"), std::string::npos);

    Restart();
    LaunchActive();
    ASSERT_EQ(Root()->numberOfChildren(), 4);
    EXPECT_EQ(Root()->childAtIndex(2)->name(), "Mine");
    EXPECT_EQ(Root()->childAtIndex(3)->name(), "Typed");
    EXPECT_FALSE(window->bookmarksView()->isExpanded(Index(Root()->firstChild())));
    EXPECT_TRUE(window->bookmarksView()->isExpanded(Index(Root()->childAtIndex(1))));
    EXPECT_TRUE(shelltest::Process().services.alerts.empty());
}

TEST_F(BookmarksWindowTest, AClickWithAltJumpsToTheBookmarkAndSortAndDeleteWork)
{
    LaunchActive();
    QTreeView* outline = window->bookmarksView();
    BookmarkNode* views = Root()->firstChild();
    outline->expand(Index(views));
    BookmarkNode* rightToLeft = views->childAtIndex(5);
    ASSERT_EQ(rightToLeft->name(), "Sagittal - Right to Left");
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, Qt::AltModifier,
                      outline->visualRect(Index(rightToLeft)).center());
    const float* rotation = Model()->GetRotation();
    EXPECT_EQ((std::vector<float>(rotation, rotation + 4)), (std::vector<float>{0, 1, 0, 0}));
    EXPECT_TRUE(Action(CommandId::GoToSnapbackBookmark)->isEnabled());

    Action(CommandId::SortBookmarks)->trigger();
    EXPECT_EQ(Root()->firstChild()->name(), "Views");
    EXPECT_EQ(views->firstChild()->name(), "Sagittal - Right to Left");

    outline->setFocus();
    doc->bookmarksDataSource()->selectItems({views}, false);
    ASSERT_TRUE(Action(CommandId::Delete)->isEnabled());
    Action(CommandId::Delete)->trigger();
    EXPECT_EQ(Root()->numberOfChildren(), 1);
}

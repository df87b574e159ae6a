// Keys pressed in an active window: the close keys as tabs come and go and
// as the window gains and loses key status, tab cycling at both ends, New
// Tab refused at five tabs; menus opened with keys validate their items.
#include "CommandsFixture.h"

#include "shell/ShellMenus.h"

#include <QMenu>
#include <QMenuBar>

using shell::CommandId;

namespace
{
class KeysAndMenusTest : public commandstest::CommandsFixture
{
protected:
    void SetUp() override
    {
        CommandsFixture::SetUp();
        QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
        closeWindow = file->addAction(QStringLiteral("Close Window"));
        QObject::connect(closeWindow, &QAction::triggered, [this] { ++windowCloses; });
        menus = shell::AddCommandMenus(window.menuBar(), file, closeWindow, *commands);
        Activate(window);
        commands->setCloseWindowAction(closeWindow);
    }

    static void Activate(QWidget& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 30000));
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers) { QTest::keyClick(&window, key, modifiers); }

    // Opens the menu with Alt and its mnemonic, returns its actions' states
    // as "e" enabled / "-" disabled, "x" when also checked, then closes it.
    std::string OpenedWithKeys(Qt::Key mnemonic, const std::vector<QAction*>& actions)
    {
        Key(mnemonic, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 30000));
        std::string states;
        for (QAction* action : actions)
            states += !action->isEnabled() ? '-' : action->isChecked() ? 'x' : 'e';
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        return states;
    }

    QAction* closeWindow = nullptr;
    int windowCloses = 0;
    shell::CommandMenus menus;
};

const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;
} // namespace

TEST_F(KeysAndMenusTest, CtrlWClosesTheTabOrTheWindowByTheTabsAndTheWindowsKeyStatus)
{
    Key(Qt::Key_W, kCtrl);
    EXPECT_EQ(1, windowCloses);

    Key(Qt::Key_T, kCtrl); // New Tab
    ASSERT_EQ(2, context->tabs);
    Key(Qt::Key_W, kCtrl);
    EXPECT_EQ(1, context->tabs);
    EXPECT_EQ(1, windowCloses);

    Key(Qt::Key_T, kCtrl);
    Key(Qt::Key_W, kCtrlShift);
    EXPECT_EQ(2, windowCloses);
    EXPECT_EQ(2, context->tabs);

    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_W), Action(CommandId::CloseTab)->shortcut());
    // Losing key status gives Ctrl+W back to Close Window.
    QWidget other;
    Activate(other);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.isActiveWindow(); }, 30000));
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::Key_W), closeWindow->shortcut());
    EXPECT_TRUE(Action(CommandId::CloseTab)->shortcut().isEmpty());

    Activate(window);
    EXPECT_EQ(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), closeWindow->shortcut());
    Key(Qt::Key_W, kCtrl); // back: closes the tab
    Key(Qt::Key_W, kCtrl); // and then the window
    EXPECT_EQ(1, context->tabs);
    EXPECT_EQ(3, windowCloses);
}

TEST_F(KeysAndMenusTest, TabsCycleAtBothEndsAndNewTabStopsAtFive)
{
    Key(Qt::Key_Tab, kCtrl);
    EXPECT_EQ(0, context->active); // one tab: nothing

    context->tabs = 3;
    context->active = 2;
    commands->validateAll(); // as the window does after a tab switch
    Key(Qt::Key_Tab, kCtrl);
    EXPECT_EQ(0, context->active);
    Key(Qt::Key_Backtab, kCtrlShift);
    EXPECT_EQ(2, context->active);

    context->tabs = 5;
    commands->validateAll();
    Key(Qt::Key_T, kCtrl);
    EXPECT_EQ(5, context->tabs);
}

TEST_F(KeysAndMenusTest, MenusOpenedWithKeysShowTheirRules)
{
    commandstest::AddTestGene(*model, "Gad1", 100, 11);
    commandstest::AddTestGene(*model, "Pvalb", 300, 33);
    const std::vector<QAction*> gene = {Action(CommandId::CopyGeneInfo), Action(CommandId::ExportGene),
                                        Action(CommandId::ComputeGeneIntersection)};
    // The selection changes without telling the commands: opening the menu validates.
    context->rows = {};
    EXPECT_EQ("---", OpenedWithKeys(Qt::Key_G, gene));
    context->rows = {1};
    EXPECT_EQ("ee-", OpenedWithKeys(Qt::Key_G, gene));
    context->rows = {0, 1};
    EXPECT_EQ("e-e", OpenedWithKeys(Qt::Key_G, gene));

    const std::vector<QAction*> view = {Action(CommandId::ResetView), Action(CommandId::ChangeToolMode, 0),
                                        Action(CommandId::ChangeAtlasPlaneVisibility, 2),
                                        Action(CommandId::CycleNextTab), Action(CommandId::ToggleExpandedView)};
    model->SetMPRPlaneVisible(Image3d::kSagittal, true, false);
    model->SetToolMode(BrainExpressionModel::kTrackballTool);
    EXPECT_EQ("exx-e", OpenedWithKeys(Qt::Key_V, view));
    context->atlasLoading = true;
    EXPECT_EQ("ex--e", OpenedWithKeys(Qt::Key_V, view));
    context->atlasLoading = false;
    context->tabs = 2;
    context->active = 1;
    context->sidePanelHidden = true;
    EXPECT_EQ("---ex", OpenedWithKeys(Qt::Key_V, view));
}

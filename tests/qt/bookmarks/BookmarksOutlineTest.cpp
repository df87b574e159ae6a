#include "bookmarks/BookmarkEditor.h"
#include "bookmarks/BookmarksController.h"
#include "bookmarks/BookmarksDataSource.h"
#include "bookmarks/BookmarksModel.h"
#include "bookmarks/BookmarksOutlineView.h"

#include "model/Atlas.h"
#include "support/FakePlatformServices.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"
#include "support/qt/Screenshot.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>


namespace
{
std::string Names(const BookmarkNode* node)
{
    std::string names;
    for (const BookmarkNode* child : node->children())
        names += (names.empty() ? "" : " ") + (child->isGroup() ? "[" + child->name() + "]" : child->name());
    return names;
}

// One window's outline: a view and its data source.
struct Window
{
    BookmarksOutlineView view;
    BookmarksDataSource source;

    Window()
    {
        source.registerOutlineView(&view, nullptr);
        view.resize(300, 400);
    }
    QModelIndex Index(const BookmarkNode* node) const { return source.model()->indexForNode(node); }
    void Show()
    {
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Opens the node's name for editing (F2) with all of it selected.
    QLineEdit* EditName(BookmarkNode* node)
    {
        source.selectItems({node}, false);
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_F2);
        auto* editor = view.findChild<QLineEdit*>();
        if (editor != nullptr)
            editor->selectAll();
        return editor;
    }
    // Ends the edit with Return; false when the editor stays open.
    static bool CommitWithReturn(QPointer<QLineEdit> editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        return QTest::qWaitFor([&] { return editor == nullptr || !editor->isVisible(); }, 30000);
    }
};

// Keeps what the view asks the style to draw for each item.
class RecordingStyle : public QProxyStyle
{
public:
    struct Item
    {
        QString text;
        QRect rect;
        QRect textRect;
        QFontMetrics metrics;
    };

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (const auto* item = qstyleoption_cast<const QStyleOptionViewItem*>(option);
            item != nullptr && element == CE_ItemViewItem)
            items.push_back({item->text, item->rect, subElementRect(SE_ItemViewItemText, item, widget), item->fontMetrics});
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    mutable std::vector<Item> items;
};

// The number of characters (code points) of the text; a surrogate left alone
// counts as one.
qsizetype Characters(const QString& text)
{
    return text.toUcs4().size();
}

} // namespace

// Two windows on one tree:
//   [A] { a1, [B] { b1 }, a2 }   x   [C] { }
class BookmarksOutlineTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        testsupport::QuietStdout quiet;
        Atlas::GetAtlas();
    }

    void SetUp() override
    {
        root = controller.root();
        model = controller.model();
        first = std::make_unique<Window>();
        second = std::make_unique<Window>();
        A = Group(root, "A");
        a1 = Leaf(A, "a1");
        B = Group(A, "B");
        b1 = Leaf(B, "b1");
        a2 = Leaf(A, "a2");
        x = Leaf(root, "x");
        C = Group(root, "C");
        controller.reloadData();
        first->source.clearUserModified();
        second->source.clearUserModified();
    }

    BookmarkNode* Group(BookmarkNode* parent, const char* name)
    {
        return parent->appendChild(BookmarkNode::bookmarkGroup(name));
    }
    BookmarkNode* Leaf(BookmarkNode* parent, const char* name)
    {
        return parent->appendChild(BookmarkNode::bookmarkNodeWithData(std::make_unique<Bookmark>(name, Bookmark::kZoom)));
    }

    BookmarksController controller;
    QAbstractItemModelTester tester{controller.model(), QAbstractItemModelTester::FailureReportingMode::Fatal};
    BookmarkNode* root = nullptr;
    BookmarksModel* model = nullptr;
    std::unique_ptr<Window> first, second;
    BookmarkNode *A, *a1, *B, *b1, *a2, *x, *C;
};

TEST_F(BookmarksOutlineTest, AddingGoesAfterABookmarkIntoAGroupOrToTheEnd)
{
    first->source.selectItems({a1}, false);
    BookmarkNode* afterLeaf = first->source.addBookmark(std::make_unique<Bookmark>("n1", 8));
    EXPECT_EQ(Names(A), "a1 n1 [B] a2");
    EXPECT_EQ(first->source.selectedNodes(), std::vector<BookmarkNode*>{afterLeaf});
    first->source.selectItems({B}, false);
    first->source.addGroup();
    EXPECT_EQ(Names(B), "b1 [New Group]");
    first->source.selectItems({}, false);
    first->source.addBookmark(std::make_unique<Bookmark>("n2", 8));
    EXPECT_EQ(Names(root), "[A] x [C] n2");
    EXPECT_TRUE(first->source.userModified());
    EXPECT_FALSE(second->source.userModified());
}

TEST_F(BookmarksOutlineTest, DeletingAGroupWithItsSelectedChildRemovesBoth)
{
    QSignalSpy changed(&controller, &BookmarksController::bookmarksChanged);
    first->source.selectItems({A, b1, x}, false);
    ASSERT_TRUE(first->source.canDelete());
    first->source.deleteSelection();
    EXPECT_EQ(Names(root), "[C]");
    EXPECT_FALSE(first->source.canDelete());
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(BookmarksOutlineTest, RenameRules)
{
    EXPECT_FALSE(model->setData(first->Index(a1), "  "));
    EXPECT_EQ(a1->name(), "a1");
    EXPECT_TRUE(first->source.renameNode(a1, "a1"));
    EXPECT_FALSE(first->source.userModified());
    // Duplicate names are fine; the bookmark follows its node.
    EXPECT_TRUE(first->source.renameNode(a1, "a2"));
    EXPECT_STREQ(a1->nodeData()->GetName(), "a2");
    EXPECT_TRUE(first->source.userModified());
    EXPECT_EQ(model->data(first->Index(a1)).toString(), "a2");
}

TEST_F(BookmarksOutlineTest, AGroupNeverGoesIntoItselfFromEitherWindow)
{
    std::unique_ptr<QMimeData> drag(first->source.writeItems({A}));
    for (Window* target : {first.get(), second.get()})
    {
        EXPECT_FALSE(target->source.validateDrop(drag.get(), Qt::MoveAction, B, -1));
        EXPECT_FALSE(target->source.validateDrop(drag.get(), Qt::CopyAction, A, 0));
        EXPECT_FALSE(target->source.acceptDrop(drag.get(), Qt::MoveAction, B, 0));
        EXPECT_TRUE(target->source.validateDrop(drag.get(), Qt::MoveAction, C, -1));
        // Onto a bookmark and onto the empty view: refused.
        EXPECT_FALSE(target->source.validateDrop(drag.get(), Qt::MoveAction, x, -1));
        EXPECT_FALSE(target->source.validateDrop(drag.get(), Qt::MoveAction, nullptr, -1));
    }
    EXPECT_EQ(Names(A), "a1 [B] a2");
}

TEST_F(BookmarksOutlineTest, AMoveKeepsSelectionAndExpansionInBothViews)
{
    first->view.expand(first->Index(A));
    first->view.expand(first->Index(B));
    second->view.expand(second->Index(B));
    first->source.selectItems({b1, a2}, false);
    second->source.selectItems({B}, false);
    first->source.clearUserModified();
    second->source.clearUserModified();

    // The group and its grandchild move once; the first child of A goes to
    // index 2 of A and ends at 1.
    std::unique_ptr<QMimeData> drag(first->source.writeItems({B, b1}));
    ASSERT_TRUE(second->source.acceptDrop(drag.get(), Qt::MoveAction, C, 0));
    EXPECT_EQ(Names(A), "a1 a2");
    EXPECT_EQ(Names(C), "[B]");
    EXPECT_EQ(Names(B), "b1");
    std::unique_ptr<QMimeData> again(first->source.writeItems({a1}));
    ASSERT_TRUE(first->source.acceptDrop(again.get(), Qt::MoveAction, A, 2));
    EXPECT_EQ(Names(A), "a2 a1");

    EXPECT_TRUE(first->view.isExpanded(first->Index(B)));
    EXPECT_TRUE(second->view.isExpanded(second->Index(B)));
    EXPECT_EQ(first->source.selectedNodes(), (std::vector<BookmarkNode*>{a2, b1}));
    EXPECT_EQ(second->source.selectedNodes(), std::vector<BookmarkNode*>{B});
    EXPECT_TRUE(second->source.userModified());
}

TEST_F(BookmarksOutlineTest, ACopyDuplicatesTheSubtreeAndItsExpansion)
{
    first->view.expand(first->Index(A));
    first->view.expand(first->Index(B));
    std::unique_ptr<QMimeData> drag(first->source.writeItems({A}));
    ASSERT_TRUE(first->source.acceptDrop(drag.get(), Qt::CopyAction, C, -1));
    BookmarkNode* copy = C->firstChild();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, A);
    EXPECT_EQ(Names(copy), "a1 [B] a2");
    EXPECT_TRUE(first->view.isExpanded(first->Index(copy->childAtIndex(1))));
    EXPECT_EQ(first->source.selectedNodes(), std::vector<BookmarkNode*>{copy});
    first->source.renameNode(copy->firstChild(), "changed");
    EXPECT_EQ(a1->name(), "a1");
    EXPECT_NE(copy->firstChild()->nodeData(), a1->nodeData());
}

TEST_F(BookmarksOutlineTest, NodesDeletedDuringADragAreSkipped)
{
    std::unique_ptr<QMimeData> drag(first->source.writeItems({b1, x}));
    second->source.selectItems({B}, false);
    second->source.deleteSelection();
    ASSERT_TRUE(first->source.acceptDrop(drag.get(), Qt::MoveAction, C, 0));
    EXPECT_EQ(Names(C), "x");
    std::unique_ptr<QMimeData> gone(first->source.writeItems({a1}));
    first->source.selectItems({a1}, false);
    first->source.deleteSelection();
    EXPECT_FALSE(first->source.validateDrop(gone.get(), Qt::MoveAction, C, 0));
}

TEST_F(BookmarksOutlineTest, SortingOrdersByDescendingNameAndKeepsTheSelection)
{
    first->source.selectItems({a2}, false);
    first->source.sortData();
    EXPECT_EQ(Names(root), "x [C] [A]");
    EXPECT_EQ(Names(A), "a2 a1 [B]");
    EXPECT_EQ(first->source.selectedNodes(), std::vector<BookmarkNode*>{a2});
}

TEST_F(BookmarksOutlineTest, UserExpansionMarksAChangeButExpansionByCodeDoesNot)
{
    first->source.expandItem(A);
    SynchronizeBookmarks(&first->source, &second->source, root);
    EXPECT_TRUE(second->view.isExpanded(second->Index(A)));
    EXPECT_FALSE(second->view.isExpanded(second->Index(B)));
    EXPECT_FALSE(first->source.userModified());
    EXPECT_FALSE(second->source.userModified());
    second->view.collapse(second->Index(A));
    EXPECT_TRUE(second->source.userModified());
    EXPECT_FALSE(first->source.userModified());
    EXPECT_TRUE(first->view.isExpanded(first->Index(A)));
}

TEST_F(BookmarksOutlineTest, ReturnEnterAndClicksApplyTheRowAsTheModifiersSay)
{
    first->Show();
    first->source.expandItem(A);
    QSignalSpy chosen(&first->source, &BookmarksDataSource::bookmarkChosen);
    first->source.selectItems({a1}, false);
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int count;
        bool immediate;
    } cases[] = {
        {Qt::Key_Return, Qt::NoModifier, 1, false}, {Qt::Key_Enter, Qt::KeypadModifier, 1, false},
        {Qt::Key_Return, Qt::AltModifier, 1, true},  {Qt::Key_Return, Qt::ShiftModifier, 0, false},
        {Qt::Key_Return, Qt::ControlModifier, 0, false}, {Qt::Key_Return, Qt::MetaModifier, 0, false},
    };
    for (const auto& c : cases)
    {
        chosen.clear();
        QTest::keyClick(&first->view, c.key, c.modifiers);
        ASSERT_EQ(chosen.count(), c.count) << c.key << " " << c.modifiers;
        if (c.count == 1)
        {
            EXPECT_EQ(chosen.at(0).at(1).toBool(), c.immediate);
        }
    }
    chosen.clear();
    first->source.selectItems({B}, false);
    QTest::keyClick(&first->view, Qt::Key_Return);
    EXPECT_EQ(chosen.count(), 0); // a group
    QTest::mouseClick(first->view.viewport(), Qt::LeftButton, {}, first->view.visualRect(first->Index(a2)).center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(qvariant_cast<Bookmark>(chosen.at(0).at(0)).m_name, "a2");
}

TEST_F(BookmarksOutlineTest, ReturnEndingANameEditOnlyCommits)
{
    first->Show();
    QSignalSpy chosen(&first->source, &BookmarksDataSource::bookmarkChosen);
    QLineEdit* editor = first->EditName(x);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "renamed");
    EXPECT_TRUE(Window::CommitWithReturn(editor));
    EXPECT_EQ(x->name(), "renamed");
    EXPECT_EQ(chosen.count(), 0);
    EXPECT_TRUE(first->source.userModified());
    EXPECT_EQ(first->source.selectedNodes(), std::vector<BookmarkNode*>{x});
}

TEST_F(BookmarksOutlineTest, RenamingInPlaceTakesNamesUpToTheBound)
{
    first->Show();
    const int bound = static_cast<int>(BookmarkNode::kMaxNameLength);
    // A bookmark and a group, as typed and as pasted.
    for (BookmarkNode* node : {x, C})
    {
        QLineEdit* editor = first->EditName(node);
        ASSERT_NE(editor, nullptr);
        editor->insert(QString(bound + 500, QChar(0xE9)));
        EXPECT_TRUE(editor->text() == QString(bound, QChar(0xE9))) << editor->text().size();
        QTest::keyClicks(editor, "z");
        EXPECT_TRUE(editor->text() == QString(bound, QChar(0xE9))) << editor->text().size();
        EXPECT_TRUE(Window::CommitWithReturn(editor));
        EXPECT_TRUE(QString::fromStdString(node->name()) == QString(bound, QChar(0xE9))) << node->name().size();
    }
    EXPECT_STREQ(x->nodeData()->GetName(), x->name().c_str());
}

TEST_F(BookmarksOutlineTest, ALongNameIsHandedToTheStyleElidedToItsRow)
{
    RecordingStyle style;
    first->view.setStyle(&style);
    first->Show();
    const QString name(static_cast<int>(BookmarkNode::kMaxNameLength), QChar('W'));
    ASSERT_TRUE(first->source.renameNode(x, name));
    style.items.clear();
    first->view.viewport()->repaint();
    const QRect row = first->view.visualRect(first->Index(x));
    bool found = false;
    for (const RecordingStyle::Item& item : style.items)
    {
        if (item.rect != row)
            continue;
        found = true;
        EXPECT_TRUE(item.text.startsWith("WWW")) << item.text.left(20).toStdString();
        EXPECT_TRUE(item.text.endsWith(QChar(0x2026))) << item.text.size();
        EXPECT_LE(item.metrics.horizontalAdvance(item.text), item.textRect.width());
    }
    EXPECT_TRUE(found);
    first->view.setStyle(nullptr);
}

TEST_F(BookmarksOutlineTest, RealMouseDragsMoveAndCopyWithCtrl)
{
    first->Show();
    for (const bool copy : {false, true})
    {
        SCOPED_TRACE(copy);
        QWidget* viewport = first->view.viewport();
        const QPoint from = first->view.visualRect(first->Index(x)).center();
        const QPoint to = first->view.visualRect(first->Index(C)).center();
        first->source.selectItems({x}, false);
        const Qt::KeyboardModifiers modifiers = copy ? Qt::ControlModifier : Qt::NoModifier;
        QObject timers;
        for (int ms : {100, 200, 300})
            QTimer::singleShot(ms, &timers, [&] { QTest::mouseMove(viewport, to); });
        QTimer::singleShot(400, &timers, [&] { QTest::mouseRelease(viewport, Qt::LeftButton, modifiers, to); });
        QTest::mousePress(viewport, Qt::LeftButton, modifiers, from);
        QTest::mouseMove(viewport, from + QPoint(0, 2));
        QTest::mouseMove(viewport, from + QPoint(0, 15));
        // The drag has run in a loop of its own until the timed release, and
        // dropped; what the drop posted runs now (the next drag starts only
        // after it), instead of within a wait of a guessed length.
        QCoreApplication::sendPostedEvents();
        if (!copy)
        {
            EXPECT_EQ(Names(root), "[A] [C]");
            EXPECT_EQ(Names(C), "x");
            x = C->firstChild();
            first->source.expandItem(C);
        }
    }
    // The copy of x in C went onto the group C itself (its first place).
    EXPECT_EQ(Names(C), "x x");
    EXPECT_NE(C->childAtIndex(0)->nodeData(), C->childAtIndex(1)->nodeData());
}

TEST(BookmarkEditor, RestrictionCancelAndIncompleteAlerts)
{
    QWidget window;
    window.show();
    BookmarkEditor editor(&window);
    editor.box(Bookmark::kThresholds)->setChecked(true);
    editor.cancel();
    const int saved = editor.savedBookmarkType();
    EXPECT_EQ(saved, Bookmark::kViewAngle | Bookmark::kZoom | Bookmark::kThresholds);

    editor.open();
    editor.restrictToFilterExpression(true);
    EXPECT_EQ(editor.bookmarkType(), Bookmark::kExpressionFilter);
    for (int bit = 1; bit <= 64; bit <<= 1)
        EXPECT_FALSE(editor.box(bit)->isEnabled()) << bit;
    editor.cancel();
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(editor.savedBookmarkType(), saved);
    editor.restrictToFilterExpression(false);
    EXPECT_EQ(editor.bookmarkType(), saved);
    EXPECT_TRUE(editor.box(Bookmark::kClippingPlanes)->isEnabled());

    editor.open();
    testsupport::SaveScreenshot(&editor, "bookmark-editor");
    editor.synchronize(0);
    editor.save();
    ASSERT_NE(editor.alert(), nullptr);
    EXPECT_EQ(editor.alert()->windowTitle(), "Incomplete Bookmark");
    EXPECT_EQ(editor.alert()->text(), "Please select at least 1 setting to bookmark.");
    EXPECT_TRUE(editor.isVisible());
    editor.alert()->button(QMessageBox::Ok)->click();
    editor.box(Bookmark::kZoom)->setChecked(true);
    editor.save();
    EXPECT_EQ(editor.alert()->text(), "Please enter a name for the bookmark.");
    editor.alert()->button(QMessageBox::Ok)->click();
    editor.nameField()->setText("Mine");
    editor.save();
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(editor.result(), 1);
    EXPECT_EQ(editor.savedBookmarkType(), Bookmark::kZoom);
}

TEST(BookmarkEditor, TheNameTakesUpToTheBoundWithoutSplittingACharacter)
{
    QWidget window;
    window.show();
    BookmarkEditor editor(&window);
    editor.open();
    QLineEdit* field = editor.nameField();
    const int bound = static_cast<int>(BookmarkNode::kMaxNameLength);
    const QString full(bound, QChar('a'));
    field->setText(full);
    QTest::keyClicks(field, "b");
    EXPECT_TRUE(field->text() == full) << field->text().size();
    // Typed in the middle of a full name: refused, the end of the name kept.
    field->setCursorPosition(10);
    QTest::keyClicks(field, "c");
    EXPECT_TRUE(field->text() == full) << field->text().size();

    // Pasted: taken up to the bound, a character of two UTF-16 units whole.
    const QString mouse = QString::fromUtf8("\xF0\x9F\x90\x81");
    field->clear();
    field->insert("x");
    field->insert(mouse.repeated(3000));
    EXPECT_EQ(Characters(field->text()), bound);
    EXPECT_TRUE(field->text() == "x" + mouse.repeated(bound - 1)) << field->text().size();
    field->setCursorPosition(1);
    field->insert(mouse);
    EXPECT_TRUE(field->text() == "x" + mouse.repeated(bound - 1)) << field->text().size();
    field->setText(mouse.repeated(bound) + "tail");
    EXPECT_TRUE(field->text() == mouse.repeated(bound)) << field->text().size();
    EXPECT_TRUE(QString::fromUtf8(editor.name().toUtf8()) == editor.name());
    editor.save();
    EXPECT_EQ(editor.result(), 1);
    EXPECT_TRUE(editor.name() == mouse.repeated(bound)) << editor.name().size();
}

// A window's life with the file: load, change, release, and a restart.
TEST(BookmarksWindowHooks, ChangesSurviveARestartAndAFailedSaveIsTold)
{
    testsupport::TempDir folder;
    testsupport::FakePlatformServices services;
    std::string saved;
    {
        BookmarksFile file(folder.Path());
        BookmarksController controller;
        Window window;
        EXPECT_FALSE(window.source.readBookmarks(&file));
        EXPECT_FALSE(window.source.userModified());
        BookmarkNode* views = controller.root()->firstChild();
        EXPECT_TRUE(window.view.isExpanded(window.Index(views)));
        window.view.collapse(window.Index(views));
        window.source.selectItems({views->firstChild()}, false);
        window.source.addBookmark(std::make_unique<Bookmark>("Mine", Bookmark::kZoom));
        // A second window copies the first one's expansion.
        Window later;
        later.source.synchronizeWith(window.source);
        EXPECT_FALSE(later.view.isExpanded(later.Index(views)));
        EXPECT_TRUE(later.view.isExpanded(later.Index(controller.root()->lastChild())));
        EXPECT_TRUE(window.source.saveIfModified(&file));
        EXPECT_FALSE(window.source.userModified());
        saved = BookmarksFile::Compose(&window.source, controller.root());
    }
    {
        BookmarksFile file(folder.Path());
        BookmarksController controller;
        Window window;
        EXPECT_TRUE(window.source.readBookmarks(&file));
        EXPECT_EQ(BookmarksFile::Compose(&window.source, controller.root()), saved);
        EXPECT_EQ(Names(controller.root()->firstChild()).rfind("Coronal - Caudal to Rostral Mine ", 0), 0u);
        EXPECT_TRUE(services.alerts.empty());

        testsupport::WriteFileBytes(folder.File("blocked"), "x");
        BookmarksFile blocked(folder.File("blocked/"));
        window.source.addGroup();
        EXPECT_FALSE(window.source.saveIfModified(&blocked));
        ASSERT_EQ(services.alerts.size(), 1u);
        EXPECT_TRUE(window.source.userModified());
    }
}

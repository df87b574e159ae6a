#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarksReader.h"

#include "BookmarkTreeSupport.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingModel.h"
#include "support/ScopedNumericLocale.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"
#include "utility/XMLUtils.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::FakePlatformServices;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
std::string Golden(const std::string& name)
{
    return ReadFileBytes(std::string(NUVARO_TEST_SOURCE_DIR) + "/common/bookmarks/golden/" + name);
}

std::vector<std::string> FilesIn(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Reads the text as the bookmarks file of a fresh folder.
struct ReadResult
{
    BookmarkNode::Owned root = MakeRoot();
    FakeOutline view;
    bool read = false;
    std::vector<std::string> alerts;
    std::string saved;
};

std::unique_ptr<ReadResult> ReadText(const std::string& text)
{
    auto result = std::make_unique<ReadResult>();
    TempDir dir;
    WriteFileBytes(dir.File("Bookmarks.xml"), text);
    FakePlatformServices services;
    BookmarksFile file(dir.Path());
    result->read = file.Read(&result->view, result->root.get());
    result->alerts = services.alerts;
    result->saved = BookmarksFile::Compose(&result->view, result->root.get());
    return result;
}

std::string Wrapped(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Bookmarks>\n" + body + "</Bookmarks>\n";
}

const Bookmark& OnlyBookmark(const ReadResult& r)
{
    const BookmarkNode* node = r.root->firstChild();
    if (node == nullptr || node->nodeData() == nullptr)
        throw std::runtime_error("no bookmark was read");
    return *node->nodeData();
}

// A random tree of every kind of bookmark, name and group.
class RandomTree
{
public:
    explicit RandomTree(unsigned seed) : m_random(seed) {}

    void Fill(BookmarkNode* group, FakeOutline& view, int depth)
    {
        const int count = Pick(0, depth == 0 ? 8 : 4);
        for (int i = 0; i < count; ++i)
        {
            if (depth < 3 && Pick(0, 3) == 0)
            {
                BookmarkNode* child = AddGroup(group, Name());
                if (child->name().empty())
                    child->setName("Bookmark Group"); // what an empty name reads back as
                if (Pick(0, 1) == 1)
                    view.expandItem(child);
                Fill(child, view, depth + 1);
            }
            else
                group->appendChild(BookmarkNode::bookmarkNodeWithData(MakeBookmark()));
        }
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    float Value() { return std::uniform_real_distribution<float>(-500.0f, 500.0f)(m_random); }

    std::string Name()
    {
        static const char* const pieces[] = {"\"", "&", "'", "<", ">", "\t", "\n", "\r", "Zo\xC3\xAB", "\xE2\x86\x92",
                                             "a b", "1.5", "x", "", "\xF0\x9F\x90\x81"};
        std::string name;
        for (int i = Pick(0, 4); i > 0; --i)
            name += pieces[Pick(0, 14)];
        return name;
    }

    std::unique_ptr<Bookmark> MakeBookmark()
    {
        const int type = Pick(0, 9) == 0 ? static_cast<int>(Bookmark::kSnapback) : Pick(0, 127);
        auto b = std::make_unique<Bookmark>(Name().c_str(), type);
        const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
        for (ImageGrid::AnnotationSelector* s : {&b->m_expressionFilter, &b->m_atlasStructures})
        {
            for (int i = Pick(0, 4); i > 0; --i)
                s->Merge(ontology->GetAnnotationLabelByIndex(static_cast<unsigned char>(Pick(1, 60)))->own);
        }
        for (float& r : b->m_rotation)
            r = Value() / 500.0f;
        for (float& o : b->m_origin)
            o = Value();
        b->m_zoom = Value() + 600.0f;
        const bool allHidden = Pick(0, 2) == 0;
        for (int p = 0; p < 3; ++p)
        {
            b->m_sliceVisible[p] = !allHidden && Pick(0, 1) == 1;
            b->m_sliceLocation[p] = b->m_sliceVisible[p] ? static_cast<float>(Pick(0, 1000)) / 7.0f : -1.0f;
            b->m_clip[p] = Bookmark::Range(static_cast<float>(Pick(0, 50)) / 3.0f, static_cast<float>(Pick(60, 132)));
        }
        b->m_expressionScore = Bookmark::Range(Pick(0, 1) ? Value() / 5.0f + 100.0f : 0.0f, Pick(0, 1) ? 255.0f : -1.0f);
        b->m_numExpressors = Bookmark::Range(Pick(0, 1) ? 3.0f : 0.0f, Pick(0, 1) ? Value() + 501.0f : -1.0f);
        return b;
    }

    std::mt19937 m_random;
};

// Every model call a tree's bookmarks make, in order, and the selectors
// they leave.
std::vector<std::string> RestoreCalls(const BookmarkNode* node)
{
    std::vector<std::string> calls;
    if (const Bookmark* b = node->nodeData())
    {
        testsupport::ScopedPreferenceStore preferences;
        testsupport::RecordingModel model;
        b->Restore(&model);
        calls = model.calls;
        calls.insert(calls.begin(), b->m_name);
        for (ImageGrid::AnnotationSelector s : {model.GetExpressionSelector(), model.GetStructureSelector()})
        {
            std::vector<const ImageGrid::AnnotationLabel*> labels;
            Atlas::GetAtlas()->GetOntology()->SelectorToLabelList(s, labels);
            std::string ids;
            for (const ImageGrid::AnnotationLabel* label : labels)
                ids += std::to_string(label->databaseId) + " ";
            calls.push_back(ids);
        }
    }
    for (const BookmarkNode* child : node->children())
    {
        std::vector<std::string> more = RestoreCalls(child);
        calls.insert(calls.end(), more.begin(), more.end());
    }
    return calls;
}
// The sample atlas, loaded quietly once.
class QuietAtlas : public ::testing::Environment
{
public:
    void SetUp() override
    {
        testsupport::QuietStdout quiet;
        Atlas::GetAtlas();
    }
};
const auto* const kAtlas = ::testing::AddGlobalTestEnvironment(new QuietAtlas);
} // namespace

TEST(BookmarkFile, FirstRunBuildsTheDefaultsSilentlyAndWritesTheGoldenFile)
{
    TempDir dir;
    FakePlatformServices services;
    BookmarksFile file(dir.Path());
    BookmarkNode::Owned root = MakeRoot();
    FakeOutline view;
    EXPECT_FALSE(file.Read(&view, root.get()));
    EXPECT_TRUE(services.alerts.empty());
    ASSERT_TRUE(file.Save(&view, root.get()));
    EXPECT_EQ(ReadFileBytes(dir.File("Bookmarks.xml")), Golden("first-run.xml"));
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"Bookmarks.xml"});
}

TEST(BookmarkFile, GoldenFilesReadAndSaveBackUnchanged)
{
    for (const char* name : {"first-run.xml", "every-element.xml"})
    {
        SCOPED_TRACE(name);
        const std::string text = Golden(name);
        ASSERT_FALSE(text.empty());
        auto r = ReadText(text);
        EXPECT_TRUE(r->read);
        EXPECT_TRUE(r->alerts.empty());
        EXPECT_EQ(r->saved, text);
    }
}

TEST(BookmarkFile, RandomTreesSurviveSaveAndRead)
{
    for (unsigned seed = 1; seed <= 40; ++seed)
    {
        SCOPED_TRACE(seed);
        BookmarkNode::Owned root = MakeRoot();
        FakeOutline view;
        RandomTree(seed).Fill(root.get(), view, 0);
        const std::string first = BookmarksFile::Compose(&view, root.get());
        auto r = ReadText(first);
        ASSERT_TRUE(r->read);
        EXPECT_EQ(r->saved, first);
        EXPECT_EQ(RestoreCalls(r->root.get()), RestoreCalls(root.get()));
    }
}

TEST(BookmarkFile, AllHiddenSlicesStillHideThePlanesAfterARead)
{
    Bookmark hidden("Hide", Bookmark::kAtlasSections);
    std::ostringstream text;
    hidden.SaveXML(text, 4);
    auto r = ReadText(Wrapped(text.str()));
    const Bookmark& b = OnlyBookmark(*r);
    EXPECT_EQ(b.m_type, Bookmark::kAtlasSections);
    testsupport::ScopedPreferenceStore preferences;
    testsupport::RecordingModel model;
    b.Restore(&model);
    EXPECT_EQ(model.calls, (std::vector<std::string>{"SetMPRPlaneVisible 0 hidden notify",
                                                     "SetMPRPlaneVisible 1 hidden notify",
                                                     "SetMPRPlaneVisible 2 hidden notify"}));
}

TEST(BookmarkFile, NumbersIgnoreADecimalCommaLocale)
{
    testsupport::ScopedNumericLocale german;
    if (!german.Active())
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const std::string text = Golden("every-element.xml");
    auto r = ReadText(text);
    EXPECT_EQ(r->saved, text);
}

TEST(BookmarkFile, ReaderEdgeCases)
{
    const auto bookmark = [](const std::string& parts) {
        return Wrapped("    <Bookmark name=\"b\">\n" + parts + "    </Bookmark>\n");
    };
    {
        auto r = ReadText(bookmark("<ClippingPlane orientation=\"axial\" lower=\"1\" upper=\"2\"/>"
                                   "<ClippingPlane lower=\"1\" upper=\"2\" orientation=\"sagittal\"/>"
                                   "<Rotation>1 2 3</Rotation>"));
        const Bookmark& b = OnlyBookmark(*r);
        EXPECT_EQ(b.m_type, Bookmark::kClippingPlanes | Bookmark::kViewAngle);
        EXPECT_EQ(b.m_clip[2], Bookmark::Range(1, 2));
        EXPECT_EQ(b.m_rotation[0], 0.0f);
    }
    {
        // Numbers that are no finite floats read as 0.
        auto r = ReadText(bookmark("<Zoom>inf</Zoom><Origin>nan 1e99 -3,5</Origin>"
                                   "<ExpressionScoreThreshold lower=\"1e40\" upper=\"-inf\"/>"));
        const Bookmark& b = OnlyBookmark(*r);
        EXPECT_EQ(b.m_zoom, 0.0f);
        EXPECT_EQ(b.m_origin[0], 0.0f);
        EXPECT_EQ(b.m_origin[1], 0.0f);
        EXPECT_EQ(b.m_origin[2], -3.0f);
        EXPECT_EQ(b.m_expressionScore, Bookmark::Range(0, 0));
    }
    {
        auto r = ReadText(Wrapped("<BookmarkGroup name=\"\" expanded=\"yes\"><BookmarkGroup name=\"&quot;q&quot;\" "
                                  "expanded=\"true\"/></BookmarkGroup>"));
        EXPECT_EQ(ChildNames(r->root.get()), "[Bookmark Group]");
        const BookmarkNode* inner = r->root->firstChild()->firstChild();
        EXPECT_EQ(inner->name(), "\"q\"");
        EXPECT_EQ(r->view.expanded, std::set<const BookmarkNode*>{inner});
    }
    {
        auto r = ReadText("<Bookmarks/>");
        EXPECT_TRUE(r->read);
        EXPECT_EQ(r->root->numberOfChildren(), 0);
    }
}

TEST(BookmarkFile, ExpandedGroupsAreShownWithOneReloadOfTheView)
{
    // A reload for each expanded group, each costing the whole tree, would
    // make a file of a few thousand groups take minutes.
    std::string groups;
    for (int i = 0; i < 50; ++i)
        groups += "<BookmarkGroup name=\"g" + std::to_string(i) + "\" expanded=\"true\"><BookmarkGroup/></BookmarkGroup>";
    auto r = ReadText(Wrapped(groups));
    ASSERT_TRUE(r->read);
    EXPECT_EQ(r->view.reloads, 1);
    EXPECT_EQ(r->view.expanded.size(), 50u);
    size_t written = 0;
    for (size_t at = r->saved.find("expanded"); at != std::string::npos; at = r->saved.find("expanded", at + 1))
        ++written;
    EXPECT_EQ(written, 50u) << r->saved;
}

TEST(BookmarkFile, AFileOfExactlyOneChunkEndsWithAnEmptyFinalChunk)
{
    std::string text = Wrapped("    <BookmarkGroup name=\"g\">\n    </BookmarkGroup>\n");
    text.insert(text.size() - 13, std::string(4096 - text.size(), ' '));
    ASSERT_EQ(text.size(), 4096u);
    auto r = ReadText(text);
    EXPECT_TRUE(r->read);
    EXPECT_EQ(ChildNames(r->root.get()), "[g]");
}

TEST(BookmarkFile, UnreadableFilesAreKeptAndReplacedByTheDefaults)
{
    std::string deep = "<Bookmarks>";
    for (int i = 0; i <= BookmarksReader::kMaxGroupDepth; ++i)
        deep += "<BookmarkGroup>";
    // Elements of a later version nested without end would all be kept by
    // the parser.
    std::string deepUnknown = "<Bookmarks>";
    for (int i = 1; i <= BookmarksReader::kMaxElementDepth; ++i)
        deepUnknown += "<Later>";
    // More nodes than anyone keeps: the tree would take gigabytes.
    std::string many = "<Bookmarks>";
    for (int i = 0; i <= BookmarksReader::kMaxNodes; ++i)
        many += "<BookmarkGroup/>";
    many += "</Bookmarks>";
    // The parser keeps every name it meets, and every attribute of a tag
    // until the tag ends.
    std::string manyNames = "<Bookmarks>";
    for (size_t i = 0; i <= BookmarksReader::kMaxUnknownNames; ++i)
        manyNames += "<Later" + std::to_string(i) + "/>";
    manyNames += "</Bookmarks>";
    std::string manyAttributes = "<Bookmarks";
    for (size_t i = 0; i <= BookmarksReader::kMaxAttributes; ++i)
        manyAttributes += " a" + std::to_string(i) + "=\"\"";
    manyAttributes += "/>";
    const std::string corrupt = Wrapped("    <BookmarkGroup name=\"g\">\n    <Bookmark name=\"cut");
    // A name one character beyond the bound, of a group or of a bookmark.
    const std::string tooLong = XMLUtils::EscapedAttribute(NameOfLength(BookmarkNode::kMaxNameLength + 1));
    const std::string longGroupName = Wrapped("<BookmarkGroup name=\"g\"/><BookmarkGroup name=\"" + tooLong + "\"/>");
    const std::string longBookmarkName =
        Wrapped("<BookmarkGroup name=\"g\"><Bookmark name=\"b\"/><Bookmark name=\"" + tooLong + "\"/></BookmarkGroup>");
    for (const std::string& text : {corrupt, std::string("<Other><Bookmark name=\"x\"/></Other>"), deep, deepUnknown,
                                    many, manyNames, manyAttributes, longGroupName, longBookmarkName})
    {
        TempDir dir;
        WriteFileBytes(dir.File("Bookmarks.xml"), text);
        FakePlatformServices services;
        BookmarksFile file(dir.Path());
        BookmarkNode::Owned root = MakeRoot();
        FakeOutline view;
        EXPECT_FALSE(file.Read(&view, root.get()));
        EXPECT_EQ(ChildNames(root.get()), "[Views] [Atlas Structures]");
        ASSERT_EQ(services.alerts.size(), 1u);
        std::vector<std::string> files = FilesIn(dir);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].rfind("Bookmarks-unreadable-", 0), 0u) << files[0];
        EXPECT_NE(services.alerts[0].find(dir.File(files[0])), std::string::npos) << services.alerts[0];
        ASSERT_TRUE(file.Save(&view, root.get()));
        ASSERT_TRUE(file.Save(&view, root.get()));
        EXPECT_EQ(ReadFileBytes(dir.File(files[0])), text);
    }
}

TEST(BookmarkFile, NamesAtTheBoundAreReadAndSavedWhole)
{
    const std::string name = NameOfLength(BookmarkNode::kMaxNameLength);
    BookmarkNode::Owned root = MakeRoot();
    AddLeaf(AddGroup(root.get(), name), name);
    const std::string text = BookmarksFile::Compose(nullptr, root.get());
    auto r = ReadText(text);
    ASSERT_TRUE(r->read);
    EXPECT_TRUE(r->alerts.empty());
    ASSERT_EQ(r->root->numberOfChildren(), 1);
    EXPECT_TRUE(r->root->firstChild()->name() == name);
    ASSERT_NE(r->root->firstChild()->firstChild(), nullptr);
    EXPECT_TRUE(r->root->firstChild()->firstChild()->nodeData()->m_name == name);
    EXPECT_TRUE(r->saved == text);
}

TEST(BookmarkFile, AFileBeyondTheSizeLimitOrAPipeIsSetAsideUnread)
{
    for (bool pipe : {false, true})
    {
        SCOPED_TRACE(pipe ? "pipe" : "too large");
        TempDir dir;
        std::unique_ptr<testsupport::FifoWatch> watch;
        if (pipe)
            watch = std::make_unique<testsupport::FifoWatch>(dir.File("Bookmarks.xml"));
        else
        {
            WriteFileBytes(dir.File("Bookmarks.xml"), Wrapped(""));
            // Sparse: nothing of it is ever read.
            std::filesystem::resize_file(dir.File("Bookmarks.xml"), BookmarksReader::kMaxFileBytes + 1);
        }
        FakePlatformServices services;
        BookmarksFile file(dir.Path());
        BookmarkNode::Owned root = MakeRoot();
        EXPECT_FALSE(file.Read(nullptr, root.get()));
        if (watch != nullptr)
        {
            EXPECT_FALSE(watch->ReaderWaited()) << "the start waited for a writer";
        }
        EXPECT_EQ(ChildNames(root.get()), "[Views] [Atlas Structures]");
        EXPECT_EQ(services.alerts.size(), 1u);
        const std::vector<std::string> files = FilesIn(dir);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].rfind("Bookmarks-unreadable-", 0), 0u) << files[0];
        if (!pipe)
        {
            EXPECT_EQ(std::filesystem::file_size(dir.File(files[0])), BookmarksReader::kMaxFileBytes + 1);
        }
        EXPECT_TRUE(file.Save(nullptr, root.get()));
    }
}

TEST(BookmarkFile, AnUnreadableFileThatCannotBeSetAsideIsNeverOverwritten)
{
    // Renaming never fails for root in a temporary folder; this file's does.
    class StuckFile : public BookmarksFile
    {
    public:
        using BookmarksFile::BookmarksFile;

    protected:
        bool SetAside(const std::string&, const std::string&) override { return false; }
    };
    TempDir dir;
    const std::string corrupt = "<Bookmarks><Bookmark name=\"cut";
    WriteFileBytes(dir.File("Bookmarks.xml"), corrupt);
    FakePlatformServices services;
    StuckFile file(dir.Path());
    BookmarkNode::Owned root = MakeRoot();
    EXPECT_FALSE(file.Read(nullptr, root.get()));
    EXPECT_EQ(ChildNames(root.get()), "[Views] [Atlas Structures]");
    ASSERT_EQ(services.alerts.size(), 1u);
    EXPECT_TRUE(file.SavingDisabled());
    std::string error;
    EXPECT_FALSE(file.Save(nullptr, root.get(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FilesIn(dir), std::vector<std::string>{"Bookmarks.xml"});
    EXPECT_EQ(ReadFileBytes(dir.File("Bookmarks.xml")), corrupt);
}

TEST(BookmarkFile, AMissingFolderGivesSilentDefaultsAndAFolderInPlaceOfTheFileIsSetAside)
{
    TempDir dir;
    WriteFileBytes(dir.File("plain"), "x");
    BookmarksFile blocked(dir.File("plain/"));
    FakePlatformServices services;
    BookmarkNode::Owned root = MakeRoot();
    EXPECT_FALSE(blocked.Read(nullptr, root.get()));
    EXPECT_TRUE(services.alerts.empty());
    EXPECT_FALSE(blocked.Save(nullptr, root.get()));

    std::filesystem::create_directories(dir.File("settings/Bookmarks.xml"));
    BookmarksFile file(dir.File("settings/"));
    BookmarkNode::Owned other = MakeRoot();
    EXPECT_FALSE(file.Read(nullptr, other.get()));
    ASSERT_EQ(services.alerts.size(), 1u);
    EXPECT_TRUE(file.Save(nullptr, other.get()));
}

TEST(BookmarkFile, SavingKeepsTheOldFileAsBackup)
{
    TempDir dir;
    BookmarksFile file(dir.Path());
    BookmarkNode::Owned root = MakeRoot();
    AddLeaf(root.get(), "one");
    ASSERT_TRUE(file.Save(nullptr, root.get()));
    const std::string first = ReadFileBytes(dir.File("Bookmarks.xml"));
    AddLeaf(root.get(), "two");
    ASSERT_TRUE(file.Save(nullptr, root.get()));
    AddLeaf(root.get(), "three");
    std::string error;
    ASSERT_TRUE(file.Save(nullptr, root.get(), &error)) << error;
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"Bookmarks.bak", "Bookmarks.xml"}));
    EXPECT_NE(ReadFileBytes(dir.File("Bookmarks.bak")).find("two"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dir.File("Bookmarks.bak")).find("three"), std::string::npos);
    EXPECT_NE(first, ReadFileBytes(dir.File("Bookmarks.xml")));
}

TEST(BookmarkFile, SavingIntoAnUnwritableFolderFailsAndChangesNothing)
{
    for (const char* folder : {"/proc/self/", "/proc/nonexistent-nuvaro/"})
    {
        BookmarksFile file(folder);
        BookmarkNode::Owned root = MakeRoot();
        std::string error;
        EXPECT_FALSE(file.Save(nullptr, root.get(), &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(BookmarkFile, ALaterVersionsFileIsCopiedOnceBeforeTheFirstSave)
{
    TempDir dir;
    const std::string text = Wrapped("    <Bookmark name=\"b\" colour=\"red\">\n        <Zoom>3</Zoom>\n"
                                     "        <Tilt>1</Tilt>\n    </Bookmark>\n");
    WriteFileBytes(dir.File("Bookmarks.xml"), text);
    BookmarksFile file(dir.Path());
    BookmarkNode::Owned root = MakeRoot();
    ASSERT_TRUE(file.Read(nullptr, root.get()));
    ASSERT_NE(root->firstChild(), nullptr);
    EXPECT_EQ(root->firstChild()->nodeData()->m_zoom, 3.0f);
    BookmarkNode::Owned again = MakeRoot();
    AddLeaf(again.get(), "new");
    ASSERT_TRUE(file.Save(nullptr, again.get()));
    ASSERT_TRUE(file.Save(nullptr, again.get()));
    std::vector<std::string> files = FilesIn(dir);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0], "Bookmarks-before-" + files[0].substr(17));
    EXPECT_EQ(ReadFileBytes(dir.File(files[0])), text);
}

TEST(BookmarkFile, ASaveKilledAtAnyMomentLeavesAReadableFile)
{
    TempDir dir;
    BookmarkNode::Owned root = MakeRoot();
    RandomTree tree(7);
    FakeOutline view;
    tree.Fill(root.get(), view, 0);
    BookmarksFile first(dir.Path());
    ASSERT_TRUE(first.Save(&view, root.get()));
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round)
    {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            BookmarksFile file(dir.Path());
            for (;;)
                file.Save(&view, root.get());
        }
        usleep(std::uniform_int_distribution<unsigned>(2000, 30000)(random));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        auto r = ReadText(ReadFileBytes(dir.File("Bookmarks.xml")));
        EXPECT_TRUE(r->read) << round;
        EXPECT_TRUE(r->alerts.empty());
    }
    // What the killed saves left behind goes with the next save.
    ASSERT_TRUE(first.Save(&view, root.get()));
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"Bookmarks.bak", "Bookmarks.xml"}));
}

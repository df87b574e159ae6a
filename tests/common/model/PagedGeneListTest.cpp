// The paged gene list: pages, records, events, and searches through its query
// over a transfer that the test drives by hand.
#include "model/PagedGeneList.h"

#include "io/SimlaraDatabase.h"
#include "model/GeneExpression.h"
#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingListListener.h"
#include "support/SoapText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using testsupport::FakeNetFile;
using testsupport::RecordingListListener;
using testsupport::SoapArgument;
using testsupport::StatusOf;
using Events = std::vector<std::string>;

namespace
{
const std::string kService = "http://atlas.test/services/GeneSearchService";

GeneExpression* Record(const char* symbol, int imageSeriesId)
{
    return new GeneExpression(symbol, symbol, 0, imageSeriesId, 0, -1.0f);
}

// A SOAP reply of the gene search service: the total, then records with
// image series ids first, first + 1, ...
std::string Reply(int total, int first, int count)
{
    std::string records;
    for (int i = first; i < first + count; ++i)
        records += "<Gene><id>" + std::to_string(500 + i) + "</id><geneSymbol>G" + std::to_string(i) +
                   "</geneSymbol><imageSeriesId>" + std::to_string(9000 + i) + "</imageSeriesId></Gene>";
    return "<?xml version=\"1.0\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body><out><totalResultsSize>" +
           std::to_string(total) + "</totalResultsSize><records>" + records +
           "</records></out></soap:Body></soap:Envelope>";
}

class PagedGeneListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FakeNetFile::Install();
        m_list.AddListener(&m_listener);
    }
    void TearDown() override
    {
        // The list's query must let go of its transfer before the fakes go.
        m_list.AbortSearch();
        FakeNetFile::Uninstall();
        SimlaraDatabase::OverridePathForTesting("");
    }

    // Starts a gene search and answers its first page with records 0-9 of 23.
    void SearchFirstPage()
    {
        m_list.Search(kService, "Pcp2", "Pcp2", "0310", false, true);
        ASSERT_TRUE(FakeNetFile::Latest()->Reply(Reply(23, 0, 10), 64));
    }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    PagedGeneList m_list{"0310", 10};
    RecordingListListener m_listener;
};
} // namespace

TEST_F(PagedGeneListTest, PageCountsFollowTheSize)
{
    EXPECT_EQ(testsupport::InvalidArgumentOf([] { PagedGeneList bad("0310", 0); }),
              "Page size cannot be less than or equal to zero.");
    EXPECT_EQ(m_list.GetNumPages(), 0);
    m_list.Resize(10);
    EXPECT_EQ(m_list.GetNumPages(), 1);
    m_list.Resize(11);
    EXPECT_EQ(m_list.GetNumPages(), 2);
    m_list.Resize(0);
    EXPECT_EQ(m_list.GetNumPages(), 0);
    m_listener.Take();

    // A list without pages does not change page.
    m_list.ChangePage(5);
    EXPECT_EQ(m_list.GetCurrentPage(), 0);
    EXPECT_TRUE(m_listener.Take().empty());
    EXPECT_TRUE(FakeNetFile::Requests().empty());
}

TEST_F(PagedGeneListTest, RecordsAreStoredByIndexAndOwned)
{
    m_list.AddGene(Record("A", 1), 3);
    EXPECT_EQ(m_list.GetNumGenes(), 4);
    EXPECT_EQ(m_list.GetGene(0), nullptr);
    EXPECT_EQ(m_list.GetGene(3)->GetSymbol(), "A");
    m_list.AddGene(Record("B", 2), 3); // replaces (and deletes) A
    EXPECT_EQ(m_list.GetGene(3)->GetSymbol(), "B");
    m_list.AddGene(Record("C", 3));
    EXPECT_EQ(m_list.GetGene(4)->GetSymbol(), "C");
    EXPECT_EQ(m_list.GetGene(5), nullptr);
    EXPECT_EQ(m_list.GetGene(-1), nullptr);
    EXPECT_EQ(m_listener.Take(), (Events{"0:3", "0:3", "0:4"}));

    // Bad indexes and sizes are refused; the record is not leaked.
    EXPECT_THROW(m_list.AddGene(Record("D", 4), -1), std::invalid_argument);
    EXPECT_THROW(m_list.AddGene(Record("E", 5), PagedGeneList::kMaxIndexedSize), std::invalid_argument);
    EXPECT_THROW(m_list.Resize(-1), std::invalid_argument);
    EXPECT_THROW(m_list.Resize(PagedGeneList::kMaxIndexedSize + 1), std::invalid_argument);
    EXPECT_EQ(m_list.GetNumGenes(), 5);
    EXPECT_TRUE(m_listener.Take().empty());

    // Shrinking deletes the records beyond the new end; growing adds empty slots.
    m_list.Resize(4);
    m_list.Resize(6);
    EXPECT_EQ(m_list.GetGene(4), nullptr);
    EXPECT_EQ(m_list.GetGene(3)->GetSymbol(), "B");
    EXPECT_EQ(m_listener.Take(), (Events{"4:0", "4:0"}));

    m_list.RemoveGenes(false);
    EXPECT_EQ(m_list.GetNumGenes(), 0);
    EXPECT_FALSE(m_list.IsSized());
    m_list.RemoveGenes(true);
    EXPECT_EQ(m_listener.Take(), (Events{"1:0", "3:0"}));
}

TEST_F(PagedGeneListTest, StatusStringShowsTheCountsOnceSized)
{
    EXPECT_EQ(StatusOf(m_list), "");
    for (int i = 0; i < 23; ++i)
        m_list.AddGene(Record("R", i + 1));
    EXPECT_EQ(StatusOf(m_list), "") << "not sized yet";
    m_list.Resize(23);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 1-10");
    m_list.ChangePage(1);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 11-20");
    m_list.ChangePage(7); // clamped to the last page
    EXPECT_EQ(m_list.GetCurrentPage(), 2);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 21-23");
    m_list.Resize(0);
    EXPECT_EQ(StatusOf(m_list), "     0 experiments");
}

TEST_F(PagedGeneListTest, AFullyPresentPageIsShownWithoutARequest)
{
    for (int i = 0; i < 25; ++i)
        m_list.AddGene(Record("R", i + 1));
    m_listener.Take();
    m_list.ChangePage(2);
    EXPECT_EQ(m_listener.Take(), (Events{"5:2", "0:20", "0:21", "0:22", "0:23", "0:24"}));
    m_list.ChangePage(2);
    m_list.ChangePage(-4);
    EXPECT_EQ(m_listener.Take(), (Events{"5:0", "0:0", "0:1", "0:2", "0:3", "0:4", "0:5", "0:6", "0:7", "0:8",
                                         "0:9"}));
    EXPECT_TRUE(FakeNetFile::Requests().empty());
}

TEST_F(PagedGeneListTest, ASearchReportsItsProgressInOrder)
{
    m_list.Search(kService, "Pcp2 & <x>", "Pcp2", "0310", false, true);
    EXPECT_EQ(m_listener.Take(), Events{"3:0"});
    EXPECT_EQ(StatusOf(m_list), "Searching...");
    ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
    const std::string body = FakeNetFile::Requests()[0].body;
    EXPECT_EQ(std::make_tuple(SoapArgument(body, "in0"), SoapArgument(body, "in2"), SoapArgument(body, "in6")),
              std::make_tuple("Pcp2 &amp; &lt;x&gt;", "0", "0310"));
    EXPECT_STREQ(m_list.GetName(), "Pcp2");
    EXPECT_TRUE(m_list.CanSearchByGeneId());

    FakeNetFile* transfer = FakeNetFile::Latest();
    ASSERT_TRUE(transfer->Respond());
    EXPECT_EQ(m_listener.statuses.back(), "Receiving results list...");
    ASSERT_TRUE(transfer->Deliver(Reply(23, 0, 10), 50));
    transfer->Complete();
    EXPECT_EQ(m_listener.Take(), (Events{"2:0", "4:0", "0:0", "0:1", "0:2", "0:3", "0:4", "0:5", "0:6", "0:7", "0:8",
                                         "0:9", "6:0"}));
    EXPECT_EQ(m_list.GetNumGenes(), 23);
    EXPECT_EQ(m_list.GetNumPages(), 3);
    EXPECT_EQ(m_list.GetGene(9)->GetSymbol(), "G9");
    EXPECT_EQ(m_list.GetGene(10), nullptr);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 1-10");
}

TEST_F(PagedGeneListTest, FailuresAreReportedWithTheirMessage)
{
    m_list.Search(kService, "Pcp2", "Pcp2", "0310", false, true);
    FakeNetFile::Latest()->Fail("Server returned error 404");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "7:0"}));
    EXPECT_EQ(StatusOf(m_list), "Error: Server returned error 404");

    // A reply that is not well-formed XML keeps the records read before the
    // fault and fails: the status tells it, beside the counts.
    m_list.Search(kService, "Pcp2", "Pcp2", "0310", false, true);
    const std::string reply = Reply(23, 0, 3);
    FakeNetFile::Latest()->Reply(reply.substr(0, reply.find("<Gene><id>502")) + "<Gene></Gen>");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "2:0", "4:0", "0:0", "0:1", "7:0"}));
    EXPECT_EQ(StatusOf(m_list), "Error: " + GeneQuery::MalformedReplyMessage() + "     23 experiments, displaying 1-10");
    EXPECT_NE(m_list.GetGene(1), nullptr);

    // A request that cannot start passes its error out; no search claims to run.
    FakeNetFile::RefuseConnections(true);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { m_list.Search(kService, "Pcp2", "x", "0310", false, true); }),
              "Could not open connection.");
    EXPECT_EQ(StatusOf(m_list), "");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "2:0"}));
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { m_list.Search(kService, "", "x", "0310", false, true); }),
              "Bad query.");
    FakeNetFile::RefuseConnections(false);
}

TEST_F(PagedGeneListTest, AMissingPageIsFetchedAtItsOffsetOrReportedWhenItCannotBe)
{
    SearchFirstPage();
    m_listener.Take();
    m_list.ChangePage(2);
    EXPECT_EQ(m_listener.Take(), (Events{"5:2", "2:2"}));
    EXPECT_EQ(StatusOf(m_list), "Searching...     23 experiments, displaying 21-23");
    ASSERT_EQ(FakeNetFile::Requests().size(), 2u);
    EXPECT_EQ(SoapArgument(FakeNetFile::Requests()[1].body, "in2"), "20");
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(Reply(23, 20, 3)));
    EXPECT_EQ(m_listener.Take(), (Events{"2:0", "4:0", "0:20", "0:21", "0:22", "6:0"}));
    EXPECT_EQ(m_list.GetGene(22)->GetImageSeriesId(), 9022);

    FakeNetFile::RefuseConnections(true);
    m_list.ChangePage(1);
    EXPECT_EQ(m_listener.Take(), (Events{"5:1", "2:1", "7:0"}));
    EXPECT_EQ(m_listener.statuses.back(), "Error: Could not open connection.     23 experiments, displaying 11-20");
    FakeNetFile::RefuseConnections(false);
}

TEST_F(PagedGeneListTest, ANewSearchOrAbortStopsTheRequestInFlight)
{
    m_list.Search(kService, "Old", "Old", "0310", false, true);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond());
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(Reply(40, 0, 10).substr(0, 200)));
    m_list.Search(kService, 4711, "series", "0310", true);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    EXPECT_FALSE(m_list.CanSearchByGeneId());
    EXPECT_EQ(SoapArgument(FakeNetFile::Requests().back().body, "in0"), "4711");
    EXPECT_EQ(m_list.GetNumGenes(), 0);

    m_listener.Take();
    m_list.AbortSearch();
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(m_listener.Take(), Events{"2:0"});
    EXPECT_EQ(StatusOf(m_list), "");
}

TEST_F(PagedGeneListTest, ARemoteSimilarGeneSearchSendsSeedAndDomain)
{
    SimlaraDatabase::OverridePathForTesting(testsupport::SampleDataDir() + "no such file.db");
    m_list.Simlara(kService, 1001, 8, "similar", "0310", 2, 11, true);
    ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
    const std::string body = FakeNetFile::Requests()[0].body;
    EXPECT_NE(body.find("<getSimlara1"), std::string::npos);
    EXPECT_EQ(std::make_tuple(SoapArgument(body, "in3"), SoapArgument(body, "in4"), SoapArgument(body, "in5")),
              std::make_tuple("8", "1001", "2"));
    EXPECT_EQ(StatusOf(m_list), "Searching...");
}

namespace
{
// A correlation database in which series 11 (A) finds series 12 (B) at 0.5
// in structure 8.
void WriteSimlaraDatabase(const std::string& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE Experiments (name TEXT, symbol TEXT, experimentId INTEGER,"
                           " imageSeriesId INTEGER, geneId INTEGER);"
                           "INSERT INTO Experiments VALUES ('a', 'A', 1, 11, 0);"
                           "INSERT INTO Experiments VALUES ('b', 'B', 2, 12, 0);"
                           "CREATE TABLE S8 (experiment1 INTEGER, experiment2 INTEGER, correlation REAL);"
                           "INSERT INTO S8 VALUES (1, 2, 0.5);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}
} // namespace

TEST_F(PagedGeneListTest, ALocalSimilarGeneSearchStopsTheRemoteOneFirst)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("GLM.db");
    WriteSimlaraDatabase(path);

    m_list.Search(kService, "Pcp2", "Pcp2", "0310", false, true);
    FakeNetFile* remote = FakeNetFile::Latest();
    ASSERT_TRUE(remote->Respond());
    m_listener.Take();

    SimlaraDatabase::OverridePathForTesting(path);
    m_list.Simlara(kService, 11, 8, "local", "0310", 0, 0, true);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "0:0", "4:0", "6:0"}));
    EXPECT_EQ(m_list.GetGene(0)->GetSymbol(), "B");
    EXPECT_EQ(m_list.GetGene(0)->GetScore(), 0.5f);
    EXPECT_EQ(StatusOf(m_list), "     1 experiments, displaying 1-1");
}

TEST_F(PagedGeneListTest, AListenerMayStartANewSearchFromInsideAnEvent)
{
    // Restart on the third record of the first reply.
    bool restarted = false;
    m_listener.onEvent = [&](int event, PagedGeneList* list, int arg) {
        if (event == 0 && arg == 2 && !restarted)
        {
            restarted = true;
            list->Search(kService, "Other", "Other", "0310", false, true);
        }
    };
    m_list.Search(kService, "Pcp2", "Pcp2", "0310", false, true);
    FakeNetFile* first = FakeNetFile::Latest();
    ASSERT_TRUE(first->Respond());
    // One chunk: the first transfer is gone after it (the new one may reuse
    // its address, so the fake cannot be asked).
    first->Deliver(Reply(23, 0, 10));
    EXPECT_TRUE(restarted);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(m_list.GetNumGenes(), 0) << "no record of the first search lands in the new one";
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);

    ASSERT_TRUE(FakeNetFile::Latest()->Reply(Reply(2, 0, 2)));
    EXPECT_EQ(m_list.GetNumGenes(), 2);
    EXPECT_EQ(m_list.GetGene(1)->GetSymbol(), "G1");
    EXPECT_STREQ(m_list.GetName(), "Other");

    // Paging through present records, a listener that empties the list
    // stops the walk.
    for (int i = 0; i < 20; ++i)
        m_list.AddGene(Record("R", i + 1), i);
    m_listener.onEvent = [&](int event, PagedGeneList* list, int arg) {
        if (event == 0 && arg == 11)
            list->RemoveGenes(true);
    };
    m_listener.Take();
    m_list.ChangePage(1);
    EXPECT_EQ(m_listener.Take(), (Events{"5:1", "0:10", "0:11", "3:0"}));
}

TEST_F(PagedGeneListTest, OtherContentStartedWhileTheListEmptiesStands)
{
    testsupport::TempDir dir;
    const std::string outerFile = dir.File("outer.csv"), innerFile = dir.File("inner.csv");
    ASSERT_TRUE(testsupport::WriteFileBytes(outerFile, "symbol,series\nA,1\nB,2\n"));
    ASSERT_TRUE(testsupport::WriteFileBytes(innerFile, "symbol,series\nC,3\n"));
    WriteSimlaraDatabase(dir.File("GLM.db"));
    SimlaraDatabase::OverridePathForTesting(dir.File("GLM.db"));

    using Action = std::function<void(PagedGeneList&)>;
    const Action search = [](PagedGeneList& l) { l.Search(kService, "Pcp2", "Pcp2", "0310", false, true); };
    const Action similar = [](PagedGeneList& l) { l.Simlara(kService, 11, 8, "local", "0310", 0, 0, true); };
    const Action abort = [](PagedGeneList& l) { l.AbortSearch(); };
    const Action importOuter = [&](PagedGeneList& l) { l.LoadFile(outerFile.c_str()); };
    const Action importInner = [&](PagedGeneList& l) { l.LoadFile(innerFile.c_str()); };
    struct Case
    {
        const char* what;
        Action outer, inner;
        std::vector<std::string> symbols;
        const char* name;
        int live;
    };
    const Case cases[] = {
        {"search, aborted", search, abort, {}, "Pcp2", 0},
        {"search, then an import", search, importInner, {"C"}, "inner.csv", 0},
        {"import, then an import", importOuter, importInner, {"C"}, "inner.csv", 0},
        {"import, then a search", importOuter, search, {}, "Pcp2", 1},
        {"local similar search, then an import", similar, importInner, {"C"}, "inner.csv", 0},
    };
    for (const Case& c : cases)
    {
        // The listener acts when the list first empties for the outer content.
        bool acted = false;
        m_listener.onEvent = [&](int event, PagedGeneList* list, int) {
            if (event == PagedGeneList::kEmptiedForNewContent && !acted)
            {
                acted = true;
                c.inner(*list);
            }
        };
        c.outer(m_list);
        m_listener.onEvent = nullptr;
        std::vector<std::string> symbols;
        for (int i = 0; i < m_list.GetNumGenes(); ++i)
            if (m_list.GetGene(i) != nullptr)
                symbols.push_back(m_list.GetGene(i)->GetSymbol());
        EXPECT_EQ(symbols, c.symbols) << c.what;
        EXPECT_STREQ(m_list.GetName(), c.name) << c.what;
        EXPECT_EQ(FakeNetFile::LiveCount(), c.live) << c.what;
        m_list.AbortSearch();
    }
}

TEST_F(PagedGeneListTest, AListenerMayDeleteTheListOrRemoveListenersFromInsideAnEvent)
{
    auto list = std::make_unique<PagedGeneList>("0310", 10);
    RecordingListListener first, second, third;
    list->AddListener(&first);
    list->AddListener(&first);
    list->AddListener(nullptr);
    list->AddListener(&second);
    list->AddListener(&third);
    first.onEvent = [&](int, PagedGeneList* l, int) { l->RemoveListener(&second); };
    list->Resize(1);
    EXPECT_EQ(first.Take(), Events{"4:0"});
    EXPECT_TRUE(second.Take().empty());
    EXPECT_EQ(third.Take(), Events{"4:0"});

    // The list and its query go away in the middle of a reply.
    first.onEvent = [&](int event, PagedGeneList*, int arg) {
        if (event == 0 && arg == 1)
            list.reset();
    };
    list->Search(kService, "Pcp2", "Pcp2", "0310", false, true);
    FakeNetFile* transfer = FakeNetFile::Latest();
    EXPECT_FALSE(transfer->Reply(Reply(23, 0, 10)));
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(third.Take().back(), "0:0") << "no listener hears of the list after it is gone";
}

namespace
{
// Deletes the list from a frame that covers the stack the throwing
// notification used, and says whether the deletion wrote into it (as a
// flag left pointing into the unwound notification would).
[[gnu::noinline]] bool DeletionWritesIntoTheStack(std::unique_ptr<PagedGeneList>& list)
{
    volatile unsigned char area[16384];
    for (volatile unsigned char& byte : area)
        byte = 0;
    list.reset();
    bool written = false;
    for (volatile unsigned char& byte : area)
        written = written || byte != 0;
    return written;
}
} // namespace

TEST_F(PagedGeneListTest, AListenerThatThrowsLeavesTheListSafeToNotifyAndDelete)
{
    auto list = std::make_unique<PagedGeneList>("0310", 10);
    RecordingListListener thrower, other;
    list->AddListener(&thrower);
    list->AddListener(&other);
    thrower.onEvent = [](int, PagedGeneList*, int) { throw std::runtime_error("The search could not start."); };
    EXPECT_THROW(list->Resize(1), std::runtime_error);
    EXPECT_TRUE(other.Take().empty()) << "the exception ends the notification";

    // The list still notifies afterwards, and its destructor touches no flag
    // of the notification that was unwound.
    thrower.onEvent = nullptr;
    list->Resize(2);
    EXPECT_EQ(other.Take(), Events{"4:0"});
    EXPECT_FALSE(DeletionWritesIntoTheStack(list));
    EXPECT_EQ(list, nullptr);
}

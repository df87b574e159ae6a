#include "GeneSearch.h"
#include "TinyCatalogue.h"

#include <gtest/gtest.h>

using namespace sampleservice;
using servicetest::Envelope;
using servicetest::ParseReply;
using servicetest::SeriesFields;

namespace
{
class GeneSearchTest : public ::testing::Test
{
protected:
    GeneCatalogue catalogue = servicetest::TinyCatalogue();
    GeneSearch search{catalogue, {{100, 4321}, {101, 77}}};

    servicetest::ParsedReply Ask(const std::string& operation, const std::vector<std::string>& arguments)
    {
        const servicetest::ParsedReply reply = ParseReply(search.Answer(ParseSoapRequest(Envelope(operation, arguments))));
        EXPECT_TRUE(reply.wellFormed);
        return reply;
    }

    // The records of a gene list as "symbol/image series id".
    static std::vector<std::string> Listed(const servicetest::ParsedReply& reply)
    {
        std::vector<std::string> listed;
        for (const auto& record : reply.records)
            listed.push_back(record.symbol + "/" + std::to_string(record.imageSeriesId));
        return listed;
    }
};
} // namespace

TEST_F(GeneSearchTest, NameSearchRanksExactSymbolsThenPrefixesThenNameWords)
{
    // "decarboxylase" is the second word of Gad1's name; "receptor" of Pvr's.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"pvr", {"Pvr", "Pvrl1"}}, {"P", {"Pvalb", "Pvr", "Pvrl1"}}, {"calb", {"Calb1"}}, {"decarb", {"Gad1"}},
        {"rec", {"Pvr"}},          {"  ", {}},                       {"zzz", {}},        {"genesym=pvr", {"Pvr"}},
        {"genesym=Pv", {}}};
    for (const auto& [term, expected] : cases)
    {
        std::vector<std::string> symbols;
        for (const auto& entry : search.FindGenes(term, false))
            symbols.push_back(entry.first->symbol);
        EXPECT_EQ(symbols, expected) << term;
    }
}

TEST_F(GeneSearchTest, GeneListReplyHasTheTotalFirstAndFlatRecords)
{
    const auto reply = Ask("getGeneList1", {"p", "10", "0", "gene", "false", "", "0310"});
    EXPECT_LT(reply.IndexOf("totalResultsSize"), reply.IndexOf("Gene"));
    ASSERT_EQ(reply.records.size(), 3u);
    EXPECT_EQ(reply.Total(), 3);
    const auto& first = reply.records[0];
    EXPECT_EQ(SeriesFields(first), std::make_tuple(10, "Pvalb", 100, 0, 1));
    EXPECT_EQ(std::make_tuple(first.name, first.url, first.fileSize, first.available),
              std::make_tuple("parvalbumin", "grids/100.xpr", 4321, true));
    // A gene without series has no series fields at all.
    EXPECT_EQ(SeriesFields(reply.records[2]), std::make_tuple(14, "Pvrl1", 0, -1, -1));
    // Record elements carry no namespace prefix.
    for (const auto& name : reply.elements)
        EXPECT_TRUE(name == "soap:Envelope" || name == "soap:Body" || name.rfind("ns1:", 0) == 0 ||
                    name.find(':') == std::string::npos)
            << name;
    // Text is escaped in replies.
    const auto failed = Ask("getGeneList1", {"calb", "10", "0", "gene", "false", "", "0310"});
    ASSERT_EQ(failed.records.size(), 1u);
    EXPECT_FALSE(failed.records[0].available);
    EXPECT_EQ(failed.records[0].condition, "adult & aged");
}

TEST(GeneSearchPaging, PageArithmetic)
{
    // total, start, size; first, last.
    const int cases[][5] = {{23, 0, 10, 0, 10},  {23, 10, 10, 10, 20}, {23, 20, 10, 20, 23},
                            {23, 30, 10, 23, 23}, {23, -5, 10, 0, 10},  {23, 0, 0, 0, 10},
                            {100, 0, 1000, 0, GeneSearch::kMaxPageSize}, {0, 0, 10, 0, 0},
                            {5, 2147483647, 10, 5, 5}};
    for (const auto& c : cases)
    {
        const PageBounds b = GeneSearch::Page(c[0], c[1], c[2]);
        EXPECT_EQ(std::make_pair(b.first, b.last), std::make_pair(c[3], c[4])) << c[0] << " " << c[1] << " " << c[2];
    }
}

TEST_F(GeneSearchTest, PagingByIn1AndIn2)
{
    // Every page gives the total of all pages.
    const struct
    {
        const char *size, *start;
        std::vector<std::string> listed;
    } pages[] = {{"2", "0", {"Pvalb/100", "Pvr/0"}}, {"2", "2", {"Pvrl1/0"}}, {"10", "10", {}}};
    for (const auto& page : pages)
    {
        const auto reply = Ask("getGeneList1", {"p", page.size, page.start, "gene", "false", "", "0310"});
        EXPECT_EQ(Listed(reply), page.listed) << page.size << " from " << page.start;
        EXPECT_EQ(reply.Total(), 3);
    }
}

TEST_F(GeneSearchTest, AnatomicSearchListsStrongestFirst)
{
    // The term arrives as a gene term (the client marks it "gene") and is recognised by its form.
    const auto reply = Ask("getGeneList1", {"structac=CTX[xlevel=1]", "10", "0", "gene", "false", "", "0310"});
    // Pvalb by its stronger series (CTX level 0.6), then Gad1 (0.3).
    EXPECT_EQ(Listed(reply), (std::vector<std::string>{"Pvalb/100", "Gad1/130"}));
    EXPECT_EQ(reply.Total(), 2);
    const auto cerebellum =
        Ask("getGeneList1", {"structac=CB[xlevel=2] or structac=CA1[xlevel=2]", "10", "0", "anatomic", "false", "", ""});
    // Ordered by the first term's structure: Calb1 (CB 0.9), Gad1 (0.2), Pvalb (0.15, its series 101).
    EXPECT_EQ(Listed(cerebellum), (std::vector<std::string>{"Calb1/120", "Gad1/130", "Pvalb/101"}));
}

TEST_F(GeneSearchTest, MalformedAnatomicQueryIsAFault)
{
    EXPECT_THROW(search.Answer(ParseSoapRequest(
                     Envelope("getGeneList1", {"structac=CTX[xlevel=9]", "10", "0", "anatomic", "false", "", ""}))),
                 SoapFault);
    EXPECT_THROW(search.Answer(ParseSoapRequest(Envelope("getGeneList1", {"p", "ten", "0"}))), SoapFault);
    EXPECT_THROW(search.Answer(ParseSoapRequest(Envelope("deleteEverything", {}))), SoapFault);
    const auto fault = ParseReply(GeneSearch::FaultEnvelope("Bad <thing>."));
    EXPECT_TRUE(fault.wellFormed);
    EXPECT_LT(fault.IndexOf("faultstring"), fault.elements.size());
}

TEST_F(GeneSearchTest, ImageSeriesListGivesEverySeriesOfTheGene)
{
    const auto reply = Ask("getImageSeriesList", {"10", "0310"});
    ASSERT_EQ(reply.records.size(), 2u);
    EXPECT_EQ(reply.Total(), 2);
    EXPECT_EQ(SeriesFields(reply.records[0]), std::make_tuple(10, "Pvalb", 100, 0, 1));
    EXPECT_EQ(SeriesFields(reply.records[1]), std::make_tuple(10, "Pvalb", 101, 1, 0));
    // A series id finds the series of its gene; an unknown id nothing.
    EXPECT_EQ(Ask("getImageSeriesList", {"101", "0310"}).records.size(), 2u);
    const auto none = Ask("getImageSeriesList", {"999", "0310"});
    EXPECT_TRUE(none.records.empty());
    EXPECT_EQ(none.Total(), 0);
}

TEST_F(GeneSearchTest, SimilarSeriesStartWithTheSeedAndFollowTheCorrelation)
{
    const auto similar = search.FindSimilar(100, 0, 2);
    ASSERT_EQ(similar.size(), 4u);
    EXPECT_EQ(similar[0].first->imageSeriesId, 100);
    EXPECT_FLOAT_EQ(similar[0].second, 1.0f);
    // 101 follows 100's profile closely, 120 runs against it.
    EXPECT_EQ(similar[1].first->imageSeriesId, 101);
    EXPECT_GT(similar[1].second, 0.95f);
    EXPECT_EQ(similar.back().first->imageSeriesId, 120);
    EXPECT_LT(similar.back().second, 0.0f);
    for (size_t i = 1; i + 1 < similar.size(); ++i)
        EXPECT_GE(similar[i].second, similar[i + 1].second);

    // Plane restriction: 0 keeps coronal series, 1 sagittal ones (the seed always leads).
    const auto coronal = search.FindSimilar(100, 0, 0);
    EXPECT_EQ(coronal.size(), 3u);
    const auto sagittal = search.FindSimilar(100, 0, 1);
    ASSERT_EQ(sagittal.size(), 2u);
    EXPECT_EQ(sagittal[1].first->imageSeriesId, 101);
    EXPECT_TRUE(search.FindSimilar(999, 0, 2).empty());
}

TEST_F(GeneSearchTest, SimilarityUsesTheDomainsStructuresOnly)
{
    auto scoreOf120 = [this](int domain) {
        for (const auto& entry : search.FindSimilar(100, domain, 2))
            if (entry.first->imageSeriesId == 120)
                return entry.second;
        return 99.0f;
    };
    // Over CTX and its child CA1 alone, 120 (0.1, 0.0) falls where 100 (0.6, 0.9) rises.
    EXPECT_FLOAT_EQ(scoreOf120(2), -1.0f);
    // Over every structure (domain 0, or an unknown one) the two are less strictly opposed.
    EXPECT_GT(scoreOf120(0), -0.99f);
    EXPECT_FLOAT_EQ(scoreOf120(0), scoreOf120(12345));
}

TEST_F(GeneSearchTest, SimilarityReplyPagesByIn0AndIn1)
{
    const auto page = Ask("getSimlara1", {"2", "2", "0310", "0", "100", "2"});
    EXPECT_LT(page.IndexOf("totalResultsSize"), page.IndexOf("Correlation"));
    ASSERT_EQ(page.records.size(), 2u);
    EXPECT_EQ(page.Total(), 4);
    EXPECT_EQ(page.records[1].imageSeriesId, 120);
    EXPECT_LT(page.records[1].score, 0.0f);
    EXPECT_EQ(page.records[1].symbol, "Calb1");
    const auto first = Ask("getSimlara1", {"10", "0", "0310", "0", "100", "2"});
    ASSERT_EQ(first.records.size(), 4u);
    EXPECT_FLOAT_EQ(first.records[0].score, 1.0f);
}

#include "network/GeneQuery.h"

#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/SearchConfig.h"
#include "utility/XMLParser.h"

#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/QuietStdout.h"
#include "support/RecordingGeneList.h"
#include "support/SoapText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using testsupport::FakeNetFile;
using testsupport::GeneRecord;
using testsupport::RecordingGeneList;
using testsupport::RuntimeErrorOf;
using testsupport::SoapReply;
using Item = GeneQueryReplyReader::Item;
using Calls = std::vector<std::string>;

namespace
{
const std::string kUrl = "http://127.0.0.1:8640/services/GeneSearchService";

std::string Records(int first, int count)
{
    std::string out;
    for (int i = first; i < first + count; ++i)
        out += GeneRecord(100 + i, "G" + std::to_string(i), 1000 + i);
    return out;
}

// Every field of a record, for whole-record comparisons.
std::string Describe(const GeneQuery::LocalGene& r)
{
    std::ostringstream out;
    out << "gene=" << r.geneId << " series=" << r.imageSeriesId << " symbol=" << r.symbol << " name=" << r.name
        << " plane=" << r.planeOfSection << " probe=" << r.probeOrientation << " url=" << r.url
        << " size=" << r.fileSize << " date=" << r.date << " available=" << r.available
        << " condition=" << r.condition << " score=" << r.score;
    return out.str();
}

// Parses a reply with the reader alone, in chunks of chunkSize bytes.
std::vector<Item> ReadReply(const std::string& xml, bool soap, size_t chunkSize = 0)
{
    GeneQueryReplyReader reader;
    reader.StartReply(soap);
    XMLParser parser(&reader);
    if (chunkSize == 0)
        chunkSize = xml.size();
    for (size_t at = 0; at < xml.size(); at += chunkSize)
        EXPECT_TRUE(parser.Parse(xml.data() + at, static_cast<int>(std::min(chunkSize, xml.size() - at)), false));
    EXPECT_TRUE(parser.Parse(nullptr, 0, true)) << parser.GetErrorMessage();
    return reader.TakeItems();
}

// Installs the fake transfers for as long as it lives.
struct FakeTransfers
{
    FakeTransfers() { FakeNetFile::Install(); }
    ~FakeTransfers() { FakeNetFile::Uninstall(); }
};

// The query goes before the fakes are taken out.
class GeneQueryTest : public ::testing::Test
{
protected:
    static std::string LastBody() { return FakeNetFile::Requests().back().body; }

    FakeTransfers m_fakes;
    // Each record and request writes a log line.
    testsupport::QuietStdout m_quiet;
    RecordingGeneList list;
    GeneQuery query{&list, &list};
};
} // namespace

// ---------------------------------------------------------------------------
// Request bodies

TEST(GeneQueryBodyTest, EachOperationHasItsExactBody)
{
    const std::string kBodyHead = R"(<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"
xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
xmlns:xsd="http://www.w3.org/2001/XMLSchema">
<soap:Body>
)";
    const std::string kBodyTail = "</soap:Body></soap:Envelope>\n";

    EXPECT_EQ(GeneQuery::FormSoapBody("Pax6", false, 0, 0, 0, 0, 10, 0, "0310"),
              kBodyHead + R"(<getGeneList1 xmlns="http://services.nuvaro.org/GeneSearchService">
<in0>Pax6</in0>
<in1>10</in1>
<in2>0</in2>
<in3>gene</in3>
<in4>false</in4>
<in5 />
<in6>0310</in6>
</getGeneList1>
)" + kBodyTail);

    EXPECT_EQ(GeneQuery::FormSoapBody("", false, 71587, 0, 0, 0, 10, 20, "0310"),
              kBodyHead + R"(<getImageSeriesList xmlns="http://services.nuvaro.org/GeneSearchService">
<in0>71587</in0>
<in1>0310</in1>
</getImageSeriesList>
)" + kBodyTail);

    EXPECT_EQ(GeneQuery::FormSoapBody("", false, 0, 73520, 4013, 2, 10, 30, "0310"),
              kBodyHead + R"(<getSimlara1 xmlns="http://services.nuvaro.org/GeneSearchService">
<in0>10</in0>
<in1>30</in1>
<in2>0310</in2>
<in3>4013</in3>
<in4>73520</in4>
<in5>2</in5>
</getSimlara1>
)" + kBodyTail);
}

TEST(GeneQueryBodyTest, OperationChoiceAndEscaping)
{
    // The term wins over an id and a seed; an id over a seed.
    EXPECT_NE(GeneQuery::FormSoapBody("a", true, 5, 6, 1, 0, 10, 0, "").find("<getGeneList1 "), std::string::npos);
    EXPECT_NE(GeneQuery::FormSoapBody("a", true, 5, 6, 1, 0, 10, 0, "").find("<in3>anatomic</in3>"),
              std::string::npos);
    EXPECT_NE(GeneQuery::FormSoapBody("", false, 5, 6, 1, 0, 10, 0, "").find("<getImageSeriesList "),
              std::string::npos);
    EXPECT_NE(GeneQuery::FormSoapBody("", false, 0, 6, 1, 0, 10, 0, "").find("<getSimlara1 "), std::string::npos);
    for (int id : {0, -4})
        EXPECT_EQ(RuntimeErrorOf([&] { GeneQuery::FormSoapBody("", false, id, id, 1, 0, 10, 0, "0310"); }),
                  "Bad query.");

    const std::string body = GeneQuery::FormSoapBody("Cd&<4>\"x'", false, 0, 0, 0, 0, 10, 0, "0310");
    EXPECT_NE(body.find("<in0>Cd&amp;&lt;4&gt;&quot;x&apos;</in0>\n"), std::string::npos) << body;
    // The escaped body is well-formed XML.
    XMLParser parser(nullptr);
    EXPECT_TRUE(parser.Parse(body.data(), static_cast<int>(body.size()), true)) << parser.GetErrorMessage();
}

// ---------------------------------------------------------------------------
// Reply reading

TEST(GeneQueryReplyTest, ReadsEveryFieldOfTheSoapForm)
{
    const std::string xml = SoapReply("<Gene><id>18508</id><geneSymbol>Pax6</geneSymbol>"
                                      "<geneName>paired box 6</geneName><imageSeriesId>73520</imageSeriesId>"
                                      "<plane>Sagittal</plane><probeOrientation>AntiSense</probeOrientation>"
                                      "<expressionFileUrl>grids/73520.xpr</expressionFileUrl>"
                                      "<expressionFileSize> 123456</expressionFileSize>"
                                      "<lastProcessedDate>2006-05-04</lastProcessedDate>"
                                      "<processingStatus>available</processingStatus>"
                                      "<condition>wild type &amp; adult</condition>"
                                      "<score>0.875</score><unknown>7</unknown></Gene>\n",
                                      23);
    // Chunks of 7 bytes split names and text anywhere.
    for (size_t chunk : {size_t(0), size_t(7), size_t(1)})
    {
        SCOPED_TRACE(chunk);
        const std::vector<Item> items = ReadReply(xml, true, chunk);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_TRUE(items[0].isTotal);
        EXPECT_EQ(items[0].total, 23);
        ASSERT_FALSE(items[1].isTotal);
        EXPECT_EQ(Describe(items[1].record), "gene=18508 series=73520 symbol=Pax6 name=paired box 6 plane=1 probe=1 "
                                             "url=grids/73520.xpr size=123456 date=2006-05-04 available=1 "
                                             "condition=wild type & adult score=0.875");
    }
}

TEST(GeneQueryReplyTest, MissingAndOddFieldsKeepTheDefaults)
{
    const std::string xml =
        SoapReply("<Gene><geneSymbol>A</geneSymbol></Gene>\n"
                  "<ImageSeries><geneId>7</geneId><plane>oblique</plane><probeOrientation>both</probeOrientation>"
                  "<score>high</score><imageSeriesId>12abc</imageSeriesId><expressionFileSize>-3</expressionFileSize>"
                  "</ImageSeries>\n"
                  "<Correlation><plane>CORONAL</plane><probeOrientation>sense</probeOrientation>"
                  "<score>-0.25e1</score><geneId>99999999999</geneId></Correlation>\n",
                  -1);
    const std::vector<Item> items = ReadReply(xml, true);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].total, -1);

    EXPECT_EQ(Describe(items[1].record), "gene=0 series=0 symbol=A name= plane=-1 probe=-1 url= size=0 date= "
                                         "available=1 condition= score=-1");
    // Nothing leaks from the record before; odd values give the defaults or what leads them.
    EXPECT_EQ(Describe(items[2].record), "gene=7 series=12 symbol= name= plane=-1 probe=-1 url= size=-3 date= "
                                         "available=1 condition= score=0");
    EXPECT_EQ(Describe(items[3].record), "gene=2147483647 series=0 symbol= name= plane=0 probe=0 url= size=0 "
                                         "date= available=1 condition= score=-2.5");
}

TEST(GeneQueryReplyTest, TheLaterAvailabilityElementWins)
{
    struct Case
    {
        const char* fields;
        bool available;
    };
    const Case cases[] = {
        {"<processingStatus>Available</processingStatus>", true},
        {"<processingStatus>Failed</processingStatus>", false},
        {"<qcState>1</qcState>", true},
        {"<qcState>2</qcState>", false},
        {"<processingStatus>Available</processingStatus><qcState>0</qcState>", false},
        {"<qcState>0</qcState><processingStatus>AVAILABLE</processingStatus>", true},
        {"<processingStatus>failed</processingStatus><qcState> 1</qcState>", true},
        {"<qcState>1</qcState><processingStatus>pending</processingStatus>", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.fields);
        const std::vector<Item> items = ReadReply(SoapReply(std::string("<Gene>") + c.fields + "</Gene>", 1), true);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[1].record.available, c.available);
    }
}

TEST(GeneQueryReplyTest, RecordBoundariesOfBothForms)
{
    // SOAP: "id" counts only inside a Gene; "gene" ends nothing.
    const std::vector<Item> soap =
        ReadReply(SoapReply("<id>5</id><gene><geneId>1</geneId></gene><ImageSeries><geneId>2</geneId></ImageSeries>"
                            "<Gene><ImageSeries/><id>3</id></Gene>",
                            2),
                  true);
    ASSERT_EQ(soap.size(), 3u);
    EXPECT_EQ(soap[1].record.geneId, 2) << "the first record carries the gene id read before it";
    EXPECT_EQ(soap[2].record.geneId, 3);

    // The plain form: its own names, records end with "gene".
    const std::string plain = "<result><numberOfRows>12</numberOfRows>"
                              "<gene><geneId>11</geneId><id>22</id><symbol>Sym</symbol><name>Name</name>"
                              "<size>33</size><date>d</date><path>p.xpr</path><planeOfSection>sagittal</planeOfSection>"
                              "<score>0.5</score><geneSymbol>ignored</geneSymbol></gene>"
                              "<ImageSeries/></result>";
    const std::vector<Item> items = ReadReply(plain, false);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].total, 12);
    EXPECT_EQ(Describe(items[1].record), "gene=11 series=22 symbol=Sym name=Name plane=1 probe=-1 url=p.xpr "
                                         "size=33 date=d available=1 condition= score=-1")
        << "the plain form has no score";
}

TEST(GeneQueryReplyTest, FieldsLongerThanTheBoundRefuseTheReply)
{
    const size_t bound = GeneQueryReplyReader::kMaxFieldLength;
    const std::string fits(bound, 'n');
    const std::string over(bound + 1, 'n');
    struct Case
    {
        const char* name;
        bool soap;
        std::string records;
        bool refused;
    };
    const Case cases[] = {
        {"name at the bound", true, "<Gene><geneName>" + fits + "</geneName></Gene>", false},
        {"name", true, "<Gene><geneName>" + over + "</geneName></Gene>", true},
        {"symbol", true, "<Gene><geneSymbol>" + over + "</geneSymbol></Gene>", true},
        {"address", true, "<ImageSeries><expressionFileUrl>" + over + "</expressionFileUrl></ImageSeries>", true},
        {"condition", true, "<Correlation><condition>" + over + "</condition></Correlation>", true},
        {"gene id inside a Gene", true, "<Gene><id>" + over + "</id></Gene>", true},
        {"entities count as their text", true,
         "<Gene><geneName>" + std::string(bound / 2, 'a') + [&] {
             std::string amps;
             for (size_t i = 0; i <= bound / 2; ++i)
                 amps += "&amp;";
             return amps;
         }() + "</geneName></Gene>",
         true},
        {"text split by an inner element", true,
         "<Gene><geneName>a<b>" + fits + "</b>tail</geneName></Gene>", true},
        {"plain form name", false, "<gene><name>" + over + "</name></gene>", true},
        {"element that is no field", true, "<Gene><remark>" + std::string(100000, 'r') + "</remark></Gene>", false},
        {"id outside a Gene", true, "<id>" + over + "</id><Gene/>", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        // A record before the long one is read; nothing after the refusal is.
        const std::string first = c.soap ? "<Gene><geneSymbol>First</geneSymbol></Gene>"
                                         : "<gene><symbol>First</symbol></gene>";
        const std::string after = c.soap ? "<Gene><geneSymbol>After</geneSymbol></Gene>"
                                         : "<gene><symbol>After</symbol></gene>";
        const std::string xml = c.soap ? SoapReply(first + c.records + after, 3)
                                       : "<result>" + first + c.records + after + "</result>";
        GeneQueryReplyReader reader;
        reader.StartReply(c.soap);
        XMLParser parser(&reader);
        const std::string error = RuntimeErrorOf([&] {
            for (size_t at = 0; at < xml.size(); at += 1000)
                parser.Parse(xml.data() + at, static_cast<int>(std::min<size_t>(1000, xml.size() - at)), false);
        });
        parser.Parse(nullptr, 0, true);
        EXPECT_EQ(error, c.refused ? GeneQueryReplyReader::FieldTooLongMessage() : "");
        std::vector<std::string> symbols;
        for (const Item& item : reader.TakeItems())
            if (!item.isTotal)
                symbols.push_back(item.record.symbol);
        if (c.refused)
            EXPECT_EQ(symbols, std::vector<std::string>{"First"});
        else
            EXPECT_EQ(symbols.back(), "After");
    }
}

// ---------------------------------------------------------------------------
// Searching through a transfer

TEST_F(GeneQueryTest, SearchesPostTheirBodiesToTheRawAddress)
{
    // The address goes out as given, "&" and all.
    const std::string url = kUrl + "?a=1&b=2";
    query.Search(url, "Pax<6> & co", false, true);
    ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
    const FakeNetFile::Request& request = FakeNetFile::Requests().back();
    EXPECT_EQ(std::make_tuple(request.url, request.post, request.storeData, request.body),
              std::make_tuple(url, true, false, GeneQuery::FormSoapBody("Pax<6> & co", false, 0, 0, 0, 0, 10, 0, "0310")));
    EXPECT_EQ(list.calls, Calls{"remove new"});
    EXPECT_EQ(FakeNetFile::Latest()->GetMaxBodySize(), NetFile::kMaxXMLBodySize);

    query.Search(kUrl, 71587, true);
    EXPECT_EQ(LastBody(), GeneQuery::FormSoapBody("", false, 71587, 0, 0, 0, 10, 0, "0310"));
    query.Simlara(kUrl, 73520, 4013, 2, true);
    EXPECT_EQ(LastBody(), GeneQuery::FormSoapBody("", false, 0, 73520, 4013, 2, 10, 0, "0310"));
    query.Search(kUrl, "brain", true, true);
    EXPECT_EQ(LastBody(), GeneQuery::FormSoapBody("brain", true, 0, 0, 0, 0, 10, 0, "0310"));
    // Each new search aborted the one in flight.
    EXPECT_EQ(FakeNetFile::AbortCount(), 3);
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);

    // The plain form, which no caller selects, carries the term in the address.
    query.Search(kUrl, "Pax 6&x", false, false);
    EXPECT_EQ(std::make_pair(FakeNetFile::Requests().back().url, FakeNetFile::Requests().back().post),
              std::make_pair(kUrl + "?name=Pax%206%26x&page=1", false));
}

TEST_F(GeneQueryTest, PageThreeStartsAtIndexThirty)
{
    query.Search(kUrl, "Pax6", false, true);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 10), 35), 64));
    EXPECT_EQ(list.GetNumGenes(), 35);

    list.calls.clear();
    query.RequestPage(3);
    EXPECT_EQ(FakeNetFile::AbortCount(), 0) << "nothing was in flight";
    EXPECT_EQ(LastBody(), GeneQuery::FormSoapBody("Pax6", false, 0, 0, 0, 0, 10, 30, "0310"));
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(30, 5), 35)));
    EXPECT_EQ(list.calls, (Calls{"response", "resize 35", "add 30", "add 31", "add 32", "add 33", "add 34",
                                 "complete"}));
    ASSERT_NE(list.GetGene(30), nullptr);
    EXPECT_EQ(list.GetGene(30)->GetSymbol(), "G30");
    EXPECT_EQ(query.GetTotal(), 35);

    // Similar-gene pages count the same way.
    query.Simlara(kUrl, 73520, 4013, 2, true);
    query.RequestPage(2);
    EXPECT_NE(LastBody().find("<in1>20</in1>"), std::string::npos) << LastBody();
    EXPECT_THROW(query.RequestPage(-1), std::invalid_argument);
}

TEST_F(GeneQueryTest, RecordsAreBuiltFromEveryField)
{
    query.Simlara(kUrl, 73520, 4013, 0, true);
    const std::string record = "<Correlation><geneId>18508</geneId><geneSymbol>Pax6</geneSymbol>"
                               "<geneName>paired box 6</geneName><score>0.75</score>"
                               "<imageSeriesId>73520</imageSeriesId><plane>sagittal</plane>"
                               "<probeOrientation>antisense</probeOrientation>"
                               "<expressionFileUrl>g/73520.xpr</expressionFileUrl>"
                               "<expressionFileSize>4096</expressionFileSize><condition>adult</condition>"
                               "<qcState>0</qcState></Correlation>"
                               "<Correlation><expressionFileSize>-7</expressionFileSize></Correlation>";
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(record, 2)));
    const GeneExpression* gene = list.GetGene(0);
    ASSERT_NE(gene, nullptr);
    EXPECT_EQ(std::make_tuple(gene->GetName(), gene->GetSymbol(), gene->GetUrl(), gene->GetExtra()),
              std::make_tuple("paired box 6", "Pax6", "g/73520.xpr", "adult"));
    EXPECT_EQ(std::make_tuple(int(gene->GetPlaneOfSection()), gene->GetProbeOrientation(), gene->GetImageSeriesId(),
                              gene->GetGeneId(), gene->GetFileSize(), gene->GetScore()),
              std::make_tuple(1, 1, 73520, 18508, 4096u, 0.75f));
    EXPECT_FALSE(gene->GetProcessingStatusGood());
    ASSERT_NE(list.GetGene(1), nullptr);
    EXPECT_EQ(list.GetGene(1)->GetFileSize(), 0u) << "a negative size is no size";
}

TEST_F(GeneQueryTest, TotalsNeverShrinkAndAreCapped)
{
    query.Search(kUrl, "Pax6", false, true);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 10), 40)));
    ASSERT_EQ(list.GetNumGenes(), 40);

    // A later page whose reply claims fewer results than the list holds.
    list.calls.clear();
    query.RequestPage(1);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(10, 2), 12)));
    EXPECT_EQ(list.GetNumGenes(), 40);
    EXPECT_EQ(list.calls, (Calls{"response", "add 10", "add 11", "complete"}));
    EXPECT_EQ(query.GetTotal(), 12);

    // Negative totals resize nothing; absurd ones are capped.
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply("", -5)));
    EXPECT_EQ(list.GetNumGenes(), 40);
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply("", 2000000000)));
    EXPECT_EQ(list.GetNumGenes(), GeneQuery::kMaxResults);

    // Nor do records beyond the cap grow the list.
    query.RequestPage(GeneQuery::kMaxResults / 10 - 1);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 12), 12)));
    EXPECT_EQ(list.GetNumGenes(), GeneQuery::kMaxResults);
    EXPECT_NE(list.GetGene(GeneQuery::kMaxResults - 1), nullptr);
    EXPECT_THROW(query.RequestPage(GeneQuery::kMaxResults / 10), std::invalid_argument);
}

TEST_F(GeneQueryTest, RepliesThatAreNotWellFormedXmlFailAndKeepTheRecordsBeforeTheFault)
{
    // An empty list must never stand for "nothing found" when the reply
    // could not be read: the records before the fault stay, the rest of the
    // reply is not read, and the list hears the failure.
    const std::string failure = "error " + GeneQueryReplyReader::MalformedReplyMessage();
    query.Search(kUrl, "Pax6", false, true);
    std::string reply = SoapReply(Records(0, 3), 3);
    // The third record is broken.
    reply.replace(reply.find("<Gene><id>102"), 6, "<Gene <");
    EXPECT_FALSE(FakeNetFile::Latest()->Reply(reply, 50)) << "the transfer is aborted";
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(list.calls.back(), failure);

    // Not XML at all: a plain message, a compressed body (sent although the
    // request asked for none), a proxy's error page, nothing.
    const std::string gzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xb3\xb1\xaf\xc8\xcd\x51\x28\x4b\x2d", 19);
    const std::string proxyPage = "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n"
                                  "<center><h1>502 Bad Gateway</h1></center>\r\n<hr><center>proxy</center>\r\n"
                                  "</body>\r\n</html>\r\n";
    for (const std::string& body : {std::string("Internal trouble, try later."), gzip, proxyPage, std::string()})
    {
        SCOPED_TRACE(body.substr(0, 12));
        list.calls.clear();
        m_quiet.Take();
        query.RequestPage(0);
        FakeNetFile::Latest()->Reply(body);
        EXPECT_EQ(list.calls, (Calls{"response", failure}));
        EXPECT_EQ(FakeNetFile::LiveCount(), 0);
        // The parser's reason is logged once, though the reply's end repeats it.
        const std::string log = m_quiet.Take();
        const size_t reason = log.find("The XML document is malformed");
        EXPECT_NE(reason, std::string::npos) << log;
        EXPECT_EQ(log.find("The XML document is malformed", reason + 1), std::string::npos) << log;
    }

    // A reply cut off in the middle of a record keeps the whole records
    // before it, whether the transfer ends there or breaks off.
    for (bool transferFails : {false, true})
    {
        list.calls.clear();
        query.Search(kUrl, "Pax6", false, true);
        const std::string whole = SoapReply(Records(0, 3), 3);
        FakeNetFile::Latest()->Respond();
        FakeNetFile::Latest()->Deliver(whole.substr(0, whole.find("</Gene>", whole.find("G2"))), 40);
        if (transferFails)
            FakeNetFile::Latest()->Fail("The request timed out.");
        else
            FakeNetFile::Latest()->Complete();
        EXPECT_EQ(list.calls, (Calls{"remove new", "response", "resize 3", "add 0", "add 1",
                                     transferFails ? "error The request timed out." : failure}));
    }

    // A well-formed reply without records found nothing, and says so.
    list.calls.clear();
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply("", 0)));
    EXPECT_EQ(list.calls, (Calls{"response", "complete"}));

    // The next request reads its reply from a fresh document.
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 2), 2)));
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(list.calls.back(), "complete");
}

TEST_F(GeneQueryTest, AReplyWithAnOverlongFieldFailsAndKeepsTheRecordsBeforeIt)
{
    // A name of megabytes: the records before it stay, the rest of the reply
    // is not read, and the list hears the failure.
    query.Search(kUrl, "Pax6", false, true);
    const std::string huge = "<Gene><id>9</id><geneSymbol>Huge</geneSymbol><geneName>" +
                             std::string(2 * 1024 * 1024, 'x') + "</geneName></Gene>\n";
    const std::string reply = SoapReply(Records(0, 2) + huge + Records(3, 2), 5);
    FakeNetFile::Latest()->Respond();
    // The transfer ends as soon as the name passes the bound, not with the name.
    const size_t nameStart = reply.find("xxxx");
    EXPECT_FALSE(FakeNetFile::Latest()->Deliver(reply.substr(0, nameStart + GeneQueryReplyReader::kMaxFieldLength + 1),
                                                1024))
        << "the transfer is aborted";
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(list.calls, (Calls{"remove new", "response", "resize 5", "add 0", "add 1",
                                 "error " + GeneQueryReplyReader::FieldTooLongMessage()}));
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1}));

    // The next request reads its reply as usual.
    list.calls.clear();
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 2), 2)));
    EXPECT_EQ(list.calls.back(), "complete");
}

TEST_F(GeneQueryTest, FailuresAndRefusedConnections)
{
    query.Search(kUrl, "Pax6", false, true);
    FakeNetFile::Latest()->Respond();
    FakeNetFile::Latest()->Deliver(SoapReply(Records(0, 1), 1).substr(0, 300));
    FakeNetFile::Latest()->Fail("The request timed out.");
    EXPECT_EQ(list.calls.back(), "error The request timed out.");
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);

    // No connection: the error passes out and nothing is sent.
    FakeNetFile::RefuseConnections(true);
    list.calls.clear();
    EXPECT_EQ(RuntimeErrorOf([&] { query.Search(kUrl, "Pax6", false, true); }), "Could not open connection.");
    EXPECT_EQ(list.calls, Calls{"remove new"});
    FakeNetFile::RefuseConnections(false);

    // No operation fits: nothing is sent.
    const size_t sent = FakeNetFile::Requests().size();
    EXPECT_EQ(RuntimeErrorOf([&] { query.Search(kUrl, "", false, true); }), "Bad query.");
    EXPECT_EQ(RuntimeErrorOf([&] { query.Search(kUrl, 0, true); }), "Bad query.");
    EXPECT_EQ(RuntimeErrorOf([&] { query.Simlara(kUrl, 0, 4013, 0, true); }), "Bad query.");
    EXPECT_EQ(FakeNetFile::Requests().size(), sent);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
}

TEST_F(GeneQueryTest, AbortAndRestartFromInsideTheList)
{

    // Abort ends the transfer with no callback.
    query.Search(kUrl, "Pax6", false, true);
    FakeNetFile::Latest()->Respond();
    list.calls.clear();
    query.Abort();
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_TRUE(list.calls.empty());

    // A list listener starts a new search on the second record: the rest of
    // the old reply never reaches the new content and the old search does
    // not report completion.
    query.Search(kUrl, "Pax6", false, true);
    FakeNetFile* old = FakeNetFile::Latest();
    list.onAdd = [&](int index) {
        if (index == 1)
        {
            list.onAdd = nullptr;
            query.Search(kUrl, "Shh", false, true);
        }
    };
    list.calls.clear();
    ASSERT_TRUE(old->Respond());
    // One chunk: the old transfer is gone after it (the new one may reuse its
    // address, so the fake cannot be asked).
    old->Deliver(SoapReply(Records(0, 5), 5));
    EXPECT_EQ(FakeNetFile::AbortCount(), 2) << "the old transfer was aborted";
    EXPECT_EQ(list.calls, (Calls{"response", "resize 5", "add 0", "add 1", "remove new"}));
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 1), 1)));
    EXPECT_EQ(list.FilledSlots(), std::vector<int>{0});
    EXPECT_EQ(list.calls.back(), "complete");
}

TEST_F(GeneQueryTest, DeletionFromInsideTheListIsSafe)
{
    auto* doomed = new GeneQuery(&list, &list);
    doomed->Search(kUrl, "Pax6", false, true);
    list.onAdd = [&](int) {
        list.onAdd = nullptr;
        delete doomed;
    };
    EXPECT_FALSE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 3), 3), 40));
    EXPECT_EQ(list.FilledSlots(), std::vector<int>{0});
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
}

TEST_F(GeneQueryTest, ListFailuresPassOutOfTheTransferCallback)
{
    query.Search(kUrl, "Pax6", false, true);
    list.onAdd = [](int) { throw std::runtime_error("The list is full."); };
    FakeNetFile* transfer = FakeNetFile::Latest();
    transfer->Respond();
    EXPECT_THROW(transfer->Deliver(SoapReply(Records(0, 2), 2)), std::runtime_error);
    // The transport reports the failure; the query stays usable and can go.
    transfer->Fail("The list is full.");
    EXPECT_EQ(list.calls.back(), "error The list is full.");
    list.onAdd = nullptr;
    query.RequestPage(0);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 2), 2)));
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1}));
}

TEST_F(GeneQueryTest, QueryWithoutListOrListenerStillRuns)
{
    GeneQuery bare(nullptr, nullptr);
    bare.Search(kUrl, "Pax6", false, true);
    EXPECT_NE(LastBody().find("<in6></in6>"), std::string::npos) << "no list, no project";
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(SoapReply(Records(0, 2), 2)));
    EXPECT_EQ(bare.GetTotal(), 2);
}

TEST(GeneQueryCanSimlaraTest, PlanesFollowTheSearchDomains)
{
    testsupport::TempDir t;
    ASSERT_TRUE(testsupport::WriteFileBytes(t.File("ontology.csv"), "Basic cell groups,grey,,1,2,3,1,8\n"));
    ::testing::internal::CaptureStdout();
    ImageGrid::BrainOntology ontology(t.File("ontology.csv").c_str());
    ::testing::internal::GetCapturedStdout();
    auto* config = new SearchConfig(ontology, false);
    config->SetSimlaraCoronalAllowed(true);
    SearchConfig::SetConfig(config);

    auto gene = [](int imageSeriesId, int plane) {
        return GeneExpression("n", "s", "", "", plane, -1, imageSeriesId, 1, 0, -1.0f, true);
    };
    EXPECT_FALSE(GeneQuery::CanSimlara(nullptr));
    const GeneExpression noSeries = gene(0, 0), coronal = gene(5, 0), sagittal = gene(5, 1), unknown = gene(5, -1);
    EXPECT_FALSE(GeneQuery::CanSimlara(&noSeries));
    EXPECT_TRUE(GeneQuery::CanSimlara(&coronal));
    EXPECT_FALSE(GeneQuery::CanSimlara(&sagittal));
    EXPECT_TRUE(GeneQuery::CanSimlara(&unknown));
    config->SetSimlaraCoronalAllowed(false);
    config->SetSimlaraSagittalAllowed(true);
    EXPECT_FALSE(GeneQuery::CanSimlara(&coronal));
    EXPECT_TRUE(GeneQuery::CanSimlara(&sagittal));
    SearchConfig::DeleteConfig();
}

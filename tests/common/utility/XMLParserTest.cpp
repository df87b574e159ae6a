#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
// Records the events as lines; text pieces of one run are joined, since
// expat may split an element's text anywhere. Throws at the event named in
// throwAt ("start x", "end x" or "text").
class RecordingHandler : public XMLElementHandler
{
public:
    void StartElement(const char* name, const char** attributes) override
    {
        std::string line = std::string("start ") + name;
        ThrowAt(line);
        for (const char** a = attributes; *a != nullptr; a += 2)
            line += std::string(" ") + a[0] + "=" + a[1];
        events.push_back(line);
    }
    void EndElement(const char* name) override
    {
        ThrowAt(std::string("end ") + name);
        events.push_back(std::string("end ") + name);
    }
    void DataHandler(const char* data, int length) override
    {
        if (throwAt == "text")
            throw std::invalid_argument("Bad text.");
        if (events.empty() || events.back().rfind("text ", 0) != 0)
            events.push_back("text ");
        events.back().append(data, static_cast<size_t>(length));
    }

    std::vector<std::string> events;
    std::string throwAt;

private:
    void ThrowAt(const std::string& event) const
    {
        if (event == throwAt)
            throw std::runtime_error("Bad " + event + ".");
    }
};

const std::string kDocument =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<genes count=\"2\" source='atlas'>"
    "<gene id=\"7\"><name>Pvalb &amp; co</name><note/></gene>"
    "<gene id=\"8\"><name><![CDATA[Calb<1>]]></name></gene>"
    "</genes>";

std::vector<std::string> ParseInChunks(const std::string& text, size_t chunk)
{
    RecordingHandler handler;
    XMLParser parser(&handler);
    for (size_t at = 0; at < text.size(); at += chunk)
    {
        const size_t n = std::min(chunk, text.size() - at);
        EXPECT_TRUE(parser.Parse(text.data() + at, static_cast<int>(n), false)) << "chunk at " << at;
    }
    EXPECT_TRUE(parser.Parse(nullptr, 0, true));
    return handler.events;
}
} // namespace

TEST(XMLParser, ChunkedInputGivesTheSameEventsAsWholeInput)
{
    RecordingHandler whole;
    XMLParser parser(&whole);
    ASSERT_TRUE(parser.Parse(kDocument.data(), static_cast<int>(kDocument.size()), true));
    const std::vector<std::string> expected = {
        "start genes count=2 source=atlas", "start gene id=7", "start name", "text Pvalb & co", "end name",
        "start note", "end note", "end gene", "start gene id=8", "start name", "text Calb<1>", "end name",
        "end gene", "end genes"};
    EXPECT_EQ(whole.events, expected);

    for (size_t chunk : {1u, 2u, 5u, 64u})
        EXPECT_EQ(ParseInChunks(kDocument, chunk), expected) << "chunk size " << chunk;
}

TEST(XMLParser, DeclaredEncodingIsHonouredAndHandlerCanBeUnset)
{
    RecordingHandler handler;
    XMLParser parser(&handler);
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>";
    ASSERT_TRUE(parser.Parse(latin1.data(), static_cast<int>(latin1.size()), true));
    EXPECT_EQ(handler.events, (std::vector<std::string>{"start a", "text caf\xC3\xA9", "end a"}));

    // Events of a chunk fed while no handler is set are simply lost.
    handler.events.clear();
    const std::string first = "<r><x/>", second = "<y/>", third = "<z/></r>";
    ASSERT_TRUE(parser.Parse(first.data(), static_cast<int>(first.size()), false));
    parser.SetHandler(nullptr);
    ASSERT_TRUE(parser.Parse(second.data(), static_cast<int>(second.size()), false));
    parser.SetHandler(&handler);
    ASSERT_TRUE(parser.Parse(third.data(), static_cast<int>(third.size()), true));
    EXPECT_EQ(handler.events, (std::vector<std::string>{"start r", "start x", "end x", "start z", "end z", "end r"}));
}

TEST(XMLParser, FinalCallStartsAFreshDocument)
{
    RecordingHandler handler;
    XMLParser parser(&handler);
    const std::string one = "<one/>", two = "<two/>";
    ASSERT_TRUE(parser.Parse(one.data(), static_cast<int>(one.size()), true));
    ASSERT_TRUE(parser.Parse(two.data(), static_cast<int>(two.size()), false));
    ASSERT_TRUE(parser.Parse(nullptr, 0, true));
    EXPECT_EQ(handler.events, (std::vector<std::string>{"start one", "end one", "start two", "end two"}));

    // Without a final call a second root element is an error.
    ASSERT_TRUE(parser.Parse(one.data(), static_cast<int>(one.size()), false));
    EXPECT_FALSE(parser.Parse(two.data(), static_cast<int>(two.size()), false));
    EXPECT_FALSE(parser.Parse(nullptr, 0, true));
}

TEST(XMLParser, MalformedInputFailsUntilTheFinalCall)
{
    RecordingHandler handler;
    XMLParser parser(&handler);
    const std::string bad = "<a>\n<b></a>";
    EXPECT_FALSE(parser.Parse(bad.data(), static_cast<int>(bad.size()), false));
    EXPECT_NE(parser.GetErrorMessage().find("malformed"), std::string::npos) << parser.GetErrorMessage();
    EXPECT_NE(parser.GetErrorMessage().find("line 2"), std::string::npos) << parser.GetErrorMessage();
    const std::string more = "<c/>";
    EXPECT_FALSE(parser.Parse(more.data(), static_cast<int>(more.size()), false));
    EXPECT_FALSE(parser.Parse(nullptr, 0, true));

    // A document that ends early fails at the final call.
    const std::string truncated = "<a><b>text";
    EXPECT_TRUE(parser.Parse(truncated.data(), static_cast<int>(truncated.size()), false));
    EXPECT_FALSE(parser.Parse(nullptr, 0, true));
    EXPECT_FALSE(parser.GetErrorMessage().empty());

    // Empty input is not a document; binary junk is rejected, not crashed on.
    EXPECT_FALSE(parser.Parse(nullptr, 0, true));
    const std::string junk("\0\xff\xfe<<&&\x01", 8);
    EXPECT_FALSE(parser.Parse(junk.data(), static_cast<int>(junk.size()), true));

    handler.events.clear();
    const std::string good = "<ok/>";
    EXPECT_TRUE(parser.Parse(good.data(), static_cast<int>(good.size()), true));
    EXPECT_EQ(handler.events, (std::vector<std::string>{"start ok", "end ok"}));
}

TEST(XMLParser, HandlerExceptionsReachTheCallerAfterExpatReturns)
{
    const std::string doc = "<r><a>x</a><bad/><after>y</after></r>";
    for (const std::string& at : {std::string("start bad"), std::string("end bad"), std::string("text")})
    {
        SCOPED_TRACE(at);
        RecordingHandler handler;
        handler.throwAt = at;
        XMLParser parser(&handler);
        bool thrown = false;
        try
        {
            parser.Parse(doc.data(), static_cast<int>(doc.size()), false);
        }
        catch (const std::exception& e)
        {
            thrown = true;
            EXPECT_TRUE(std::string(e.what()).rfind("Bad ", 0) == 0) << e.what();
        }
        EXPECT_TRUE(thrown);
        // Nothing after the failing event reaches the handler.
        for (const std::string& event : handler.events)
            EXPECT_EQ(event.find("after"), std::string::npos) << event;

        // The document stays failed until the final call, then parsing starts over.
        const std::string rest = "<more/>";
        EXPECT_FALSE(parser.Parse(rest.data(), static_cast<int>(rest.size()), false));
        EXPECT_FALSE(parser.Parse(nullptr, 0, true));
        handler.throwAt.clear();
        handler.events.clear();
        ASSERT_TRUE(parser.Parse(doc.data(), static_cast<int>(doc.size()), true));
        EXPECT_EQ(handler.events.back(), "end r");
    }

    // A whole document in one call ends also when the handler throws: the
    // next document starts afresh.
    {
        RecordingHandler handler;
        handler.throwAt = "start bad";
        XMLParser parser(&handler);
        EXPECT_THROW(parser.ParseWhole(doc.data(), static_cast<int>(doc.size())), std::runtime_error);
        handler.throwAt.clear();
        handler.events.clear();
        EXPECT_TRUE(parser.ParseWhole(doc.data(), static_cast<int>(doc.size())));
        EXPECT_EQ(handler.events.back(), "end r");
        const std::string unfinished = "<r><a>";
        EXPECT_FALSE(parser.ParseWhole(unfinished.data(), static_cast<int>(unfinished.size())));
        EXPECT_TRUE(parser.ParseWhole(doc.data(), static_cast<int>(doc.size())));
    }

    // Thrown during the final call: the parser is released all the same.
    RecordingHandler handler;
    handler.throwAt = "end r";
    XMLParser parser(&handler);
    EXPECT_THROW(parser.Parse(doc.data(), static_cast<int>(doc.size()), true), std::runtime_error);
    handler.throwAt.clear();
    EXPECT_TRUE(parser.Parse(doc.data(), static_cast<int>(doc.size()), true));
}

TEST(XMLParser, DestroyingAParserInMidDocumentIsClean)
{
    RecordingHandler handler;
    auto* parser = new XMLParser(&handler);
    const std::string start = "<open><deep>";
    ASSERT_TRUE(parser->Parse(start.data(), static_cast<int>(start.size()), false));
    delete parser; // the sanitizer build checks that expat's parser is freed
    EXPECT_EQ(handler.events.size(), 2u);
}

TEST(XMLParser, EntitiesMayNotBlowADocumentUp)
{
    // An entity of 64 KiB used n times, in an attribute or in the text: the
    // document grows to about n times its size.
    const auto document = [](int uses, bool inAttribute) {
        std::string refs;
        for (int i = 0; i < uses; ++i)
            refs += "&e;";
        return "<!DOCTYPE d [<!ENTITY e \"" + std::string(64 << 10, 'x') + "\">]>" +
               (inAttribute ? "<d a=\"" + refs + "\"/>" : "<d>" + refs + "</d>");
    };
    for (bool inAttribute : {false, true})
    {
        SCOPED_TRACE(inAttribute ? "attribute" : "text");
        for (const auto& [uses, accepted] : {std::pair<int, bool>{1, true}, {40, false}})
        {
            RecordingHandler handler;
            XMLParser parser(&handler);
            const std::string text = document(uses, inAttribute);
            const bool read = parser.Parse(text.data(), static_cast<int>(text.size()), false);
            EXPECT_EQ(parser.Parse(nullptr, 0, true) && read, accepted) << uses << " uses";
        }
    }
}

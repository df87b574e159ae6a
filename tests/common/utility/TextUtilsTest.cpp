#include "utility/StringUtils.h"
#include "utility/XMLUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Fields = std::vector<std::string>;

namespace
{
Fields Split(const std::string& line)
{
    Fields fields = {"left over"};
    StringUtils::SplitLine(line, fields);
    return fields;
}
} // namespace

TEST(SplitLine, FieldsCommasAndQuotes)
{
    EXPECT_EQ(Split(""), Fields{""});
    EXPECT_EQ(Split("a,"), (Fields{"a", ""}));
    EXPECT_EQ(Split(",,"), (Fields{"", "", ""}));
    EXPECT_EQ(Split("\"x,y\",z"), (Fields{"x,y", "z"}));
    EXPECT_EQ(Split("ab\"c"), Fields{"abc"});
    EXPECT_EQ(Split("a\"\"b,c"), (Fields{"ab", "c"}));
    // An unclosed quote keeps every later comma in the field.
    EXPECT_EQ(Split("1,\"open,still,open"), (Fields{"1", "open,still,open"}));
    // Nothing is trimmed, and a carriage return stays in the last field.
    EXPECT_EQ(Split(" id , name\r"), (Fields{" id ", " name\r"}));
    EXPECT_EQ(Split("Gad1,\"glutamate decarboxylase 1\",0.75\r"),
              (Fields{"Gad1", "glutamate decarboxylase 1", "0.75\r"}));
    // Bytes other than quote and comma pass through untouched.
    EXPECT_EQ(Split(std::string("\xC3\xA9\t;\0x", 6)), Fields{std::string("\xC3\xA9\t;\0x", 6)});
}

TEST(EscapeString, ReplacesTheFiveSpecialCharactersOnly)
{
    std::string out = "old";
    XMLUtils::EscapeString("a\"b&c'd<e>f", out);
    EXPECT_EQ(out, "a&quot;b&amp;c&apos;d&lt;e&gt;f");

    XMLUtils::EscapeString("&amp;", out);
    EXPECT_EQ(out, "&amp;amp;");

    const std::string plain = "Pvalb \xC3\xA9 \t\n 100% [x]";
    XMLUtils::EscapeString(plain, out);
    EXPECT_EQ(out, plain);

    XMLUtils::EscapeString("", out);
    EXPECT_EQ(out, "");
    EXPECT_EQ(XMLUtils::Escaped("it's <b>"), "it&apos;s &lt;b&gt;");
}

TEST(EqualsIgnoringCase, CapitalsOnlyInTheTextAndWholeWordsOnly)
{
    const struct
    {
        std::string text;
        const char* word;
        bool equal;
    } cases[] = {
        {"coronal", "coronal", true},     {"CoRoNaL", "coronal", true},   {"", "", true},
        {"coronal ", "coronal", false},   {"coron", "coronal", false},    {"", "no", false},
        {"sense", "antisense", false},    {"antisense", "sense", false},  {"ja", "yes", false},
        // Only ASCII capitals fold: other bytes must match, a NUL included.
        {"\xC3\x89t", "\xC3\xA9t", false}, {std::string("no\0", 3), "no", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::EqualsIgnoringCase(c.text, c.word), c.equal) << c.text << " / " << c.word;
}

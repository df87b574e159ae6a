// The one alert that tells the files that could not be opened.

#include "shell/OpenFailures.h"

#include <gtest/gtest.h>

namespace
{
TEST(OpenFailuresTest, OneFileIsToldAsEachReadTellsIt)
{
    EXPECT_EQ("Could not open file /a/b.xpr\n\nFile could not be opened.",
              OpenFailures::Text({{"/a/b.xpr", "File could not be opened."}}));
    EXPECT_EQ("Could not open file /a/b.xpr", OpenFailures::Text({{"/a/b.xpr", ""}}));
    EXPECT_EQ("", OpenFailures::Text({}));
}

TEST(OpenFailuresTest, ManyFilesAreListedUpToABoundAndCounted)
{
    std::vector<OpenFailure> failures;
    for (int i = 0; i < 256; ++i)
        failures.push_back({"/missing/" + std::to_string(i) + ".xpr", "File could not be opened."});
    const std::string text = OpenFailures::Text(failures);
    EXPECT_EQ(0u, text.find("Could not open 256 files:\n\n/missing/0.xpr: File could not be opened.\n"
                            "/missing/1.xpr: File could not be opened.\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("/missing/9.xpr"));
    EXPECT_EQ(std::string::npos, text.find("/missing/10.xpr"));
    EXPECT_EQ(text.size() - std::string("\nand 246 more.").size(), text.rfind("\nand 246 more."));

    // However long the paths, the alert stays short; a path is cut in its
    // middle, never inside a character.
    std::vector<OpenFailure> longOnes;
    for (int i = 0; i < 3; ++i)
        longOnes.push_back({"/" + std::string(2000, 'x') + "\xc3\xbc" + std::string(2000, 'y') + "/" +
                                std::to_string(i) + ".xpr",
                            ""});
    longOnes.push_back({"/" + std::string(76, 'a') + "\xc3\xbc\xc3\xbc" + std::string(4000, 'b'), "why"});
    const std::string shortened = OpenFailures::Text(longOnes);
    EXPECT_LT(shortened.size(), 4 * (OpenFailures::kListedPathBytes + 8) + 40) << shortened;
    EXPECT_NE(std::string::npos, shortened.find("/xxx")) << shortened;
    EXPECT_NE(std::string::npos, shortened.find("yyy/2.xpr\n")) << shortened;
    EXPECT_NE(std::string::npos, shortened.find("...")) << shortened;
    for (std::size_t at = shortened.find("..."); at != std::string::npos; at = shortened.find("...", at + 3))
    {
        // The bytes beside the cut are whole characters.
        EXPECT_NE(0x80, static_cast<unsigned char>(shortened[at + 3]) & 0xC0) << at;
        EXPECT_FALSE(at > 0 && (static_cast<unsigned char>(shortened[at - 1]) & 0xE0) == 0xC0) << at;
    }
}
} // namespace

#include "GeneCatalogue.h"
#include "TinyCatalogue.h"

#include "support/ErrorText.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace sampleservice;

namespace
{
std::string ErrorOf(const std::string& text)
{
    return testsupport::RuntimeErrorOf([&] { GeneCatalogue::Parse(text, "test.txt"); });
}

const std::string kHead = "NuvaroGeneCatalogue\t1\n";
const std::string kGene = "gene\t10\tPvalb\tparvalbumin\n";
} // namespace

TEST(GeneCatalogue, WritesAndReadsBackEveryField)
{
    const GeneCatalogue original = servicetest::TinyCatalogue();
    testsupport::TempDir dir;
    original.WriteFile(dir.File("catalogue.txt"));
    const GeneCatalogue read = GeneCatalogue::ReadFile(dir.File("catalogue.txt"));
    EXPECT_EQ(read.ToText(), original.ToText());
    ASSERT_EQ(read.series.size(), 4u);
    // The text form drops no field on either side.
    const ImageSeries* b = read.FindSeries(101);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(std::make_tuple(b->plane, b->probeOrientation, b->images.size(), b->expression.size()),
              std::make_tuple(1, 0, size_t(1), size_t(4)));
    EXPECT_EQ(b->images[0].width, 7000);
    EXPECT_FLOAT_EQ(b->expression[2].level, 0.8f);
    EXPECT_EQ(read.FindSeries(120)->condition, "adult & aged");
}

// The lookups the service's replies do not reach: unknown keys, the
// experiment id 0 that many series share, and structure subtrees.
TEST(GeneCatalogue, LookupsOfUnknownKeysAndSubtrees)
{
    const GeneCatalogue c = servicetest::TinyCatalogue();
    EXPECT_EQ(c.FindSeriesByExperiment(0), nullptr);
    EXPECT_EQ(c.FindImageByPath("sections/9999.aff", nullptr, nullptr), nullptr);
    EXPECT_EQ(c.FindSeriesByUrl("grids/999.xpr"), nullptr);
    EXPECT_EQ(c.Subtree(2), (std::vector<int>{2, 3}));
    EXPECT_EQ(c.Subtree(1).size(), 4u);
    EXPECT_TRUE(c.Subtree(99).empty());
}

TEST(GeneCatalogue, NumbersDoNotDependOnTheLocale)
{
    const std::string text = kHead + "structure\t2\t0\tCTX\tCortex\n" + kGene +
                             "series\t100\t10\t0\tcoronal\tantisense\tAvailable\t\t\tu\tt\tf\n"
                             "expression\t100\t2\t0.25\t1\t2\n";
    testsupport::ScopedNumericLocale comma;
    if (!comma.Active())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    const GeneCatalogue c = GeneCatalogue::Parse(text, "x");
    EXPECT_FLOAT_EQ(c.series[0].expression[0].level, 0.25f);
    EXPECT_NE(c.ToText().find("\t0.25\t1\t2\n"), std::string::npos);
}

TEST(GeneCatalogue, RejectsBadFilesWithTheLine)
{
    const std::string series = kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tf\n";
    const std::pair<std::string, const char*> cases[] = {
        {"", "is empty"},
        {"gene\t1\tA\tB\n", "line 1"},
        {"NuvaroGeneCatalogue\t2\n", "version 1"},
        {kHead + "gene\tx\tA\tB\n", "line 2"},
        {kHead + "gene\t1\tA\n", "needs 3 fields"},
        {kHead + kGene + kGene, "twice"},
        {kHead + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tf\n", "not listed before"},
        {kHead + kGene + "series\t100\t10\t0\taxial\t-\tA\t\t\tu\tt\tf\n", "plane"},
        // Grid paths stay inside the catalogue's folder.
        {kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\t../t\tf\n", "inside"},
        {kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\t/etc/passwd\tf\n", "inside"},
        {kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tgrids/../../f\n", "inside"},
        {kHead + "image\t100\t1\t2\t3\t4\tp\t\n", "series 100"},
        {series + "expression\t100\t2\t1.5\t0\t0\n", "from 0 to 1"},
        {series + "image\t100\t1\t2\t0\t4\tp\t\n", "above 0"},
        {kHead + "mystery\t1\n", "unknown"}};
    for (const auto& [text, expected] : cases)
        EXPECT_NE(ErrorOf(text).find(expected), std::string::npos) << expected << " in " << ErrorOf(text);
    EXPECT_THROW(GeneCatalogue::ReadFile("/nonexistent/catalogue.txt"), std::runtime_error);
}

TEST(GeneCatalogue, WriterRefusesFieldsThatWouldBreakTheFormat)
{
    GeneCatalogue c = servicetest::TinyCatalogue();
    c.genes[0].name = "two\tparts";
    EXPECT_THROW(c.ToText(), std::invalid_argument);
    c = servicetest::TinyCatalogue();
    c.series[0].geneId = 999;
    EXPECT_THROW(c.ToText(), std::invalid_argument);
    c = servicetest::TinyCatalogue();
    EXPECT_THROW(c.WriteFile("/nonexistent/folder/catalogue.txt"), std::runtime_error);
}

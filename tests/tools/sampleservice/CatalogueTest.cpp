#include "GeneCatalogue.h"
#include "TinyCatalogue.h"

#include "support/ErrorText.h"
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
    const ImageSeries* b = read.FindSeries(101);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->plane, 1);
    EXPECT_EQ(b->probeOrientation, 0);
    ASSERT_EQ(b->images.size(), 1u);
    EXPECT_EQ(b->images[0].width, 7000);
    EXPECT_EQ(b->images[0].expressionPath, "");
    ASSERT_EQ(b->expression.size(), 4u);
    EXPECT_FLOAT_EQ(b->expression[2].level, 0.8f);
    EXPECT_EQ(read.FindSeries(120)->condition, "adult & aged");
    EXPECT_EQ(read.FindGene(14)->name, "no data");
}

TEST(GeneCatalogue, Lookups)
{
    const GeneCatalogue c = servicetest::TinyCatalogue();
    EXPECT_EQ(c.FirstSeriesOfGene(10)->imageSeriesId, 100);
    EXPECT_EQ(c.SeriesOfGene(10).size(), 2u);
    EXPECT_EQ(c.FirstSeriesOfGene(14), nullptr);
    EXPECT_EQ(c.FindSeriesByExperiment(7000)->imageSeriesId, 100);
    EXPECT_EQ(c.FindSeriesByExperiment(0), nullptr);
    EXPECT_EQ(c.FindSeriesByUrl("grids/120.xpr")->imageSeriesId, 120);
    bool overlay = false;
    const ImageSeries* owner = nullptr;
    ASSERT_NE(c.FindImageByPath("express/sections/5001.aff", &owner, &overlay), nullptr);
    EXPECT_TRUE(overlay);
    EXPECT_EQ(owner->imageSeriesId, 100);
    ASSERT_NE(c.FindImageByPath("sections/5002.aff", &owner, &overlay), nullptr);
    EXPECT_FALSE(overlay);
    EXPECT_EQ(c.FindImageByPath("sections/9999.aff", nullptr, nullptr), nullptr);
    EXPECT_EQ(c.Subtree(2), (std::vector<int>{2, 3}));
    EXPECT_EQ(c.Subtree(1).size(), 4u);
    EXPECT_TRUE(c.Subtree(99).empty());
}

TEST(GeneCatalogue, NumbersDoNotDependOnTheLocale)
{
    const std::string text = kHead + "structure\t2\t0\tCTX\tCortex\n" + kGene +
                             "series\t100\t10\t0\tcoronal\tantisense\tAvailable\t\t\tu\tt\tf\n"
                             "expression\t100\t2\t0.25\t1\t2\n";
    const GeneCatalogue c = GeneCatalogue::Parse(text, "x");
    EXPECT_FLOAT_EQ(c.series[0].expression[0].level, 0.25f);
    EXPECT_NE(c.ToText().find("\t0.25\t1\t2\n"), std::string::npos);
}

TEST(GeneCatalogue, RejectsBadFilesWithTheLine)
{
    EXPECT_NE(ErrorOf("").find("is empty"), std::string::npos);
    EXPECT_NE(ErrorOf("gene\t1\tA\tB\n").find("line 1"), std::string::npos);
    EXPECT_NE(ErrorOf("NuvaroGeneCatalogue\t2\n").find("version 1"), std::string::npos);
    EXPECT_NE(ErrorOf(kHead + "gene\tx\tA\tB\n").find("line 2"), std::string::npos);
    EXPECT_NE(ErrorOf(kHead + "gene\t1\tA\n").find("needs 3 fields"), std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + kGene).find("twice"), std::string::npos);
    EXPECT_NE(ErrorOf(kHead + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tf\n").find("not listed before"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + "series\t100\t10\t0\taxial\t-\tA\t\t\tu\tt\tf\n").find("plane"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\t../t\tf\n").find("inside"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\t/etc/passwd\tf\n").find("inside"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + "image\t100\t1\t2\t3\t4\tp\t\n").find("series 100"), std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tf\n" +
                      "expression\t100\t2\t1.5\t0\t0\n")
                  .find("from 0 to 1"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + kGene + "series\t100\t10\t0\tcoronal\t-\tA\t\t\tu\tt\tf\n" +
                      "image\t100\t1\t2\t0\t4\tp\t\n")
                  .find("above 0"),
              std::string::npos);
    EXPECT_NE(ErrorOf(kHead + "mystery\t1\n").find("unknown"), std::string::npos);
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

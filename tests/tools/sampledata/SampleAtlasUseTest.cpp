// The sample atlas as the application uses it: installed into a user folder,
// loaded, looked up, and searched for similar genes.
#include "model/Atlas.h"

#include "io/Image3d.h"
#include "io/SqlDatabase.h"
#include "model/BrainOntology.h"
#include "io/SqlStatement.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <filesystem>
#include <string>

using testsupport::SampleDataDir;
using testsupport::TempDir;

TEST(SampleAtlasUse, InstallsIntoAUserFolderAndLoads)
{
    TempDir user;
    Atlas atlas(SampleDataDir(), user.Path());
    ASSERT_FALSE(atlas.AtlasIsInstalled());
    ASSERT_TRUE(atlas.InstallAtlas(nullptr, nullptr, nullptr));
    EXPECT_TRUE(atlas.AtlasIsInstalled());
    EXPECT_EQ(std::filesystem::file_size(user.File("Atlas25")), 528u * 320u * 456u);
    EXPECT_EQ(std::filesystem::file_size(user.File("SagittalAtlasMap")), 7433370u);

    // A second atlas on the same folders loads the installed volumes.
    Atlas installed(SampleDataDir(), user.Path());
    ASSERT_TRUE(installed.LoadFullAtlas(nullptr, nullptr, nullptr));
    const Image3d* nissl = installed.GetAtlasImage();
    const Image3d* labels = installed.GetFullSizeAnnotationImage();
    // Cell-dense dentate gyrus against the pale corpus callosum.
    const ImageGrid::BrainOntology* ontology = installed.GetOntology();
    const int dg = ontology->GetAnnotationLabel(std::string("DG"))->annotationValue;
    const int cc = ontology->GetAnnotationLabel(std::string("cc"))->annotationValue;
    double dense = 0, pale = 0, nDense = 0, nPale = 0;
    for (int z = 0; z < 456; z += 2)
        for (int y = 0; y < 320; y += 2)
            for (int x = 0; x < 528; x += 2)
            {
                const int value = labels->GetValue(x, y, z);
                if (value == dg)
                    dense += nissl->GetValue(x, y, z), ++nDense;
                else if (value == cc)
                    pale += nissl->GetValue(x, y, z), ++nPale;
            }
    ASSERT_GT(nDense, 100);
    ASSERT_GT(nPale, 100);
    EXPECT_GT(dense / nDense, 3 * pale / nPale);

    // A point in the cortex 1 mm off the midline lies on a sagittal plate;
    // a point outside the brain on none.
    std::string path;
    int imageId = 0, px = -1, py = -1;
    installed.ClosestSagittalAtlasSection(60.0f, 15.0f, (223.0f + 40.0f) / 4.0f, path, imageId, px, py);
    EXPECT_NE(path.find("Atlas-Sagittal-"), std::string::npos) << path;
    EXPECT_GE(imageId, 130858);
    EXPECT_LE(imageId, 130878);
    EXPECT_GT(px, 0);
    EXPECT_LT(px, 7561);
    EXPECT_GT(py, 0);
    EXPECT_LT(py, 4418);
    installed.ClosestSagittalAtlasSection(2.0f, 2.0f, 2.0f, path, imageId, px, py);
    EXPECT_EQ(path, "");
}

TEST(SampleAtlasUse, SimilarGenesShareTheirStructures)
{
    // Genes of one family carry one symbol stem and are expressed in the same
    // structures: the most similar series to one of them are mostly its kin.
    SqlDatabase db(SampleDataDir() + "GLM.db", SqlDatabase::Access::ReadOnly);
    SqlStatement seeds(&db, "SELECT imageSeriesId, symbol FROM Experiments WHERE symbol LIKE 'Thrf%' LIMIT 3;");
    ASSERT_TRUE(seeds.PrepareNext());
    int checked = 0;
    while (seeds.Step())
    {
        const int seed = sqlite3_column_int(seeds, 0);
        // The thalamus's correlation domain, queried as the application does.
        SqlStatement similar(&db, "SELECT Experiments.symbol FROM S4806 INNER JOIN Experiments on "
                                  "S4806.experiment2 = Experiments.experimentId WHERE S4806.experiment1 = "
                                  "(select experimentId from Experiments where imageSeriesId = ?) "
                                  "order by S4806.correlation desc LIMIT 10;");
        ASSERT_TRUE(similar.PrepareNext());
        sqlite3_bind_int(similar, 1, seed);
        int kin = 0, rows = 0;
        while (similar.Step())
        {
            ++rows;
            kin += std::string(reinterpret_cast<const char*>(sqlite3_column_text(similar, 0))).rfind("Thrf", 0) == 0;
        }
        EXPECT_EQ(rows, 10);
        EXPECT_GE(kin, 7) << "seed " << seed;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

#include "display/BrainMeshSet.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "support/AtlasFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The atlas makes one mesh set on first use, from its ontology's root, without
// touching GL (no context is current here).
TEST(BrainMeshSetAtlas, AtlasMakesOneSetOverTheWholeTree)
{
    Atlas* atlas = testsupport::EnsureTestAtlas();
    BrainMeshSet* meshes = atlas->GetBrainMeshes();
    ASSERT_NE(meshes, nullptr);
    EXPECT_EQ(atlas->GetBrainMeshes(), meshes);
    std::vector<std::string> order;
    for (int i = 0; i < meshes->GetNumNodes(); ++i)
    {
        order.push_back(meshes->GetNode(i)->abbreviation);
        EXPECT_FALSE(meshes->IsGenerated(i));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"BRN", "CH", "HIP", "CB"}));
}

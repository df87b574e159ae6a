#ifndef NUVARO_TESTS_DISPLAY_NEURONARCHIVELINKFIXTURE_H
#define NUVARO_TESTS_DISPLAY_NEURONARCHIVELINKFIXTURE_H

#include "display/NeuronArchiveLink.h"
#include "model/Expressor.h"

#include "support/FakePlatformServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// An expressor with a grid id and grid coordinates.
inline Expressor Voxel(unsigned gridId, float x = 0.0f, float y = 0.0f, float z = 0.0f)
{
    Expressor e;
    e.gridId = gridId;
    e.gridX = x;
    e.gridY = y;
    e.gridZ = z;
    e.count = 1;
    return e;
}

// Fresh link state for each test, the table and the launch file in a
// temporary folder, and platform services that record instead of opening.
class NeuronArchiveLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gTintState = TintState();
        NeuronArchive::SetLocations(TablePath(), folder.Path());
    }
    void TearDown() override
    {
        NeuronArchive::SetLocations("", "");
        gTintState = TintState();
    }

    std::string TablePath() const { return folder.File("drxrid.txt"); }
    std::string LaunchPath() const { return folder.File("META_JNLP.jnlp"); }
    void WriteTable(const std::string& text) const { ASSERT_TRUE(testsupport::WriteFileBytes(TablePath(), text)); }

    // A press on the voxel as the scene handles it: pick bookkeeping, the
    // selection text, the known flag, then the archive link.
    static void Press(const Expressor& voxel, int mode)
    {
        NeuronArchive::NoteExpressorPicked(&voxel, voxel.gridId, mode);
        NeuronArchive::SelectionText("Pyramidal", &voxel);
        NeuronArchive::NoteSelectionShown(mode);
        UseDrxJNLPInfo(mode);
    }

    testsupport::TempDir folder;
    testsupport::FakePlatformServices platform;
};

#endif

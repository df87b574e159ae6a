#ifndef NUVARO_TESTS_SUPPORT_FAKEBRAINSCENE_H
#define NUVARO_TESTS_SUPPORT_FAKEBRAINSCENE_H

// A stand-in for the scene renderer that owns the glyph, slice and plane
// drawers: it hands out a model and counts the glyph rebuilds asked of it.
// Header-only so that benchmark programs can use it.

#include "display/BrainScene.h"

namespace testsupport
{
class FakeBrainScene : public BrainScene
{
public:
    explicit FakeBrainScene(BrainExpressionModel* model) : model(model) {}

    BrainExpressionModel* GetModel() const override { return model; }
    void RegenerateExpressionDisplays() override { ++regenerateCount; }

    BrainExpressionModel* model;
    int regenerateCount = 0;
};
} // namespace testsupport

#endif

#include "display/SceneInteraction.h"

#include "gl/InputConventions.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "utility/Matrix.h"

#include <GL/gl.h>

#include <cmath>
#include <limits>

namespace scene
{
namespace
{
constexpr int kShift = InputConventions::FLAG_SHIFT;
constexpr int kCommand = InputConventions::FLAG_COMMAND;
constexpr int kOption = InputConventions::FLAG_OPTION;

// The nearest of one kind of hit so far.
struct BestHit
{
    unsigned name = 0;
    unsigned depth = std::numeric_limits<unsigned>::max();
    const ImageGrid::AnnotationLabel* label = nullptr;

    // Both depths of the record, minimum first; a later equal depth wins.
    bool Offer(unsigned zMin, unsigned zMax)
    {
        bool taken = false;
        for (unsigned z : {zMin, zMax})
        {
            if (z <= depth)
            {
                depth = z;
                taken = true;
            }
        }
        return taken;
    }
};
} // namespace

MouseTool ChooseMouseTool(int button, int flags, int toolMode)
{
    const bool shift = (flags & kShift) != 0;
    const bool option = (flags & kOption) != 0;
    const bool command = (flags & kCommand) != 0;
    switch (button)
    {
    case 0:
        return shift ? kTrackballTool : kPanTool;
    case 1:
        return kPickOnlyTool;
    case 2:
        if (shift)
            return kPanTool;
        if (option)
            return toolMode != kPickOnlyTool ? kPickOnlyTool : kTrackballTool;
        if (command && toolMode >= kTrackballTool && toolMode <= kPickOnlyTool)
            return static_cast<MouseTool>(toolMode);
        return kTrackballTool;
    default:
        return kPickOnlyTool;
    }
}

PickChoice ChoosePickHit(const unsigned* buffer, int hitCount, std::size_t bufferSize, bool transparentMeshes,
                         const ImageGrid::BrainOntology& ontology)
{
    BestHit other;
    BestHit structure;
    std::size_t at = 0;
    for (int hit = 0; hit < hitCount; ++hit)
    {
        if (at + 3 > bufferSize)
            break;
        const unsigned count = buffer[at];
        const unsigned zMin = buffer[at + 1];
        const unsigned zMax = buffer[at + 2];
        at += 3;
        if (count > bufferSize - at)
            break;
        for (unsigned i = 0; i < count; ++i, ++at)
        {
            const unsigned name = buffer[at];
            if (name < kFirstStructureName || name >= kFirstExpressorName)
            {
                if (other.Offer(zMin, zMax))
                    other.name = name;
                continue;
            }
            const ImageGrid::AnnotationLabel* label =
                ontology.GetAnnotationLabel(static_cast<unsigned char>(name - kFirstStructureName));
            if (transparentMeshes && structure.label != nullptr && structure.label->subtree.Intersects(label->own))
            {
                // Seen through a transparent surface, the inner structure wins.
                structure.name = name;
                structure.label = label;
            }
            else if (structure.Offer(zMin, zMax))
            {
                structure.name = name;
                structure.label = label;
            }
        }
    }

    PickChoice choice;
    const bool haveOther = other.name != 0;
    const bool haveStructure = structure.name != 0;
    bool takeOther;
    if (transparentMeshes)
        takeOther = haveOther;
    else
        takeOther = haveOther && (!haveStructure || other.depth < structure.depth);
    if (takeOther)
        choice.name = other.name;
    else if (haveStructure)
    {
        choice.name = structure.name;
        choice.structure = structure.label;
    }
    return choice;
}

PickCubeCuller::PickCubeCuller(const float* projection, const float* modelView)
{
    // multiplyMatrices(a, b) with a = model-view, b = projection gives
    // projection x model-view.
    multiplyMatrices(modelView, projection, m_m);
    m_affine = m_m[3] == 0.0f && m_m[7] == 0.0f && m_m[11] == 0.0f && m_m[15] == 1.0f;
    // A box reaches as far along a clip axis as the absolute contributions of
    // its three half-extents; a little slack keeps rounding from culling a box
    // that grazes the pixel.
    for (int row = 0; row < 3; ++row)
        for (int axis = 0; axis < 3; ++axis)
            m_extent[row][axis] = std::fabs(m_m[4 * axis + row]) * 1.001f + 1e-4f;
}

PickCubeCuller PickCubeCuller::FromCurrentMatrices()
{
    float projection[16];
    float modelView[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    return PickCubeCuller(projection, modelView);
}

int MakeStructureString(const ImageGrid::AnnotationLabel* label, int depth, std::ostream& out)
{
    if (label == nullptr)
        return 0;
    const int d = MakeStructureString(label->parent, depth, out);
    if (d > 0)
        out << '\n';
    for (int i = 0; i < d; ++i)
        out << "  ";
    out << label->name << " (" << label->abbreviation << ")";
    return d + 1;
}
} // namespace scene

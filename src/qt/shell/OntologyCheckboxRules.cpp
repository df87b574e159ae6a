#include "shell/OntologyCheckboxRules.h"

#include "model/AnnotationLabel.h"

namespace shell
{
namespace
{
using ImageGrid::AnnotationLabel;
using ImageGrid::AnnotationSelector;

bool OwnBitSet(const AnnotationSelector& selector, const AnnotationLabel& structure)
{
    return selector.Intersects(structure.own);
}

AnnotationSelector FlipOwn(AnnotationSelector selector, const AnnotationLabel& structure)
{
    selector.Set(structure.own, !OwnBitSet(selector, structure));
    return selector;
}

AnnotationSelector SetSiblings(AnnotationSelector selector, const AnnotationLabel& structure)
{
    if (structure.parent == nullptr)
        return FlipOwn(selector, structure);
    selector.Set(structure.parent->childrenSet, !OwnBitSet(selector, structure));
    return selector;
}
} // namespace

AnnotationSelector ToggleStructureCheckbox(AnnotationSelector selector, const AnnotationLabel& structure, bool group)
{
    return group ? SetSiblings(selector, structure) : FlipOwn(selector, structure);
}

AnnotationSelector ToggleExpressionCheckbox(AnnotationSelector selector, const AnnotationLabel& structure,
                                            bool hierarchical, bool group)
{
    if (group)
        return SetSiblings(selector, structure);
    if (!hierarchical)
        return FlipOwn(selector, structure);
    selector.Set(structure.subtree, !OwnBitSet(selector, structure));
    return selector;
}

AnnotationSelector ToggleStructureSiblings(AnnotationSelector selector, const AnnotationLabel& structure)
{
    selector = SetSiblings(selector, structure);
    if (structure.parent != nullptr)
        selector.Set(structure.parent->own, false);
    return selector;
}
} // namespace shell

#ifndef NUVARO_QT_SHELL_ONTOLOGYCHECKBOXRULES_H
#define NUVARO_QT_SHELL_ONTOLOGYCHECKBOXRULES_H

#include "model/AnnotationSelector.h"

namespace ImageGrid
{
class AnnotationLabel;
}

namespace shell
{
// The structure outline's check boxes: the selector that a click on the
// structure's box gives. "group" is the Control-click in the hierarchical
// outline: the structure's whole sibling set (its parent's children) goes on
// when the structure's own bit was off, off when it was on; a root structure
// flips only its own bit. The caller stores the result with notification.

// The structure (mesh) check box: without group, the own bit flips.
ImageGrid::AnnotationSelector ToggleStructureCheckbox(ImageGrid::AnnotationSelector selector,
                                                      const ImageGrid::AnnotationLabel& structure, bool group);
// The expression check box: without group, the whole subtree goes on or off
// in the hierarchical outline (on when the own bit was off), only the own
// bit flips in the alphabetical one.
ImageGrid::AnnotationSelector ToggleExpressionCheckbox(ImageGrid::AnnotationSelector selector,
                                                       const ImageGrid::AnnotationLabel& structure, bool hierarchical,
                                                       bool group);
// Show the siblings (hierarchical outline): the group rule, and the
// parent's own bit is removed.
ImageGrid::AnnotationSelector ToggleStructureSiblings(ImageGrid::AnnotationSelector selector,
                                                      const ImageGrid::AnnotationLabel& structure);
} // namespace shell

#endif

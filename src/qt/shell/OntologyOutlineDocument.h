#ifndef NUVARO_QT_SHELL_ONTOLOGYOUTLINEDOCUMENT_H
#define NUVARO_QT_SHELL_ONTOLOGYOUTLINEDOCUMENT_H

#include <Qt>

class OntologyLabelProxy;

// What a structure outline needs of its document: whether the detail scene is
// current (it decides which check boxes are enabled) and the two check-box
// actions, which change the model's selectors. The outline never stores a
// check state; it shows the selectors.
class OntologyOutlineDocument
{
public:
    virtual ~OntologyOutlineDocument() = default;

    virtual bool detailViewIsActive() const = 0;
    // A click on (or Space in) a row's "Structure" or "Expression" check box,
    // with the keyboard modifiers held at that moment.
    virtual void toggleOntologyStructureCheckbox(const OntologyLabelProxy& item,
                                                 Qt::KeyboardModifiers modifiers) = 0;
    virtual void toggleOntologyExpressionCheckbox(const OntologyLabelProxy& item,
                                                  Qt::KeyboardModifiers modifiers) = 0;
};

#endif

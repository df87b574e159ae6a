#include "shell/OntologyLabelProxy.h"

#include "model/AnnotationLabel.h"

OntologyLabelProxy::OntologyLabelProxy(const ImageGrid::AnnotationLabel* label)
    : m_brainLabel(label),
      m_color(label->red, label->green, label->blue),
      m_displayLabel(QString::fromStdString(label->name + " (" + label->abbreviation + ")"))
{
}

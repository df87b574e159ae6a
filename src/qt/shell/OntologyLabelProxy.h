#ifndef NUVARO_QT_SHELL_ONTOLOGYLABELPROXY_H
#define NUVARO_QT_SHELL_ONTOLOGYLABELPROXY_H

#include <QColor>
#include <QString>

namespace ImageGrid
{
class AnnotationLabel;
}

// What a structure outline shows for one structure: the label it stands for
// (not owned; the atlas's ontology outlives every outline), its display name
// "Name (ABBR)" and its colour.
class OntologyLabelProxy
{
public:
    explicit OntologyLabelProxy(const ImageGrid::AnnotationLabel* label);

    const ImageGrid::AnnotationLabel* annotationLabel() const { return m_brainLabel; }
    const QString& labelForDisplay() const { return m_displayLabel; }
    const QColor& colorForDisplay() const { return m_color; }

private:
    const ImageGrid::AnnotationLabel* m_brainLabel;
    QColor m_color;
    QString m_displayLabel;
};

#endif

#ifndef NUVARO_MODEL_ANNOTATIONLABEL_H
#define NUVARO_MODEL_ANNOTATIONLABEL_H

#include "model/AnnotationSelector.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ImageGrid
{
// One anatomical structure of the ontology. The defaults describe the
// "No Annotation" label that fills every slot no line of the ontology file
// defines. Copying copies every field, the parent and child pointers included.
class AnnotationLabel
{
public:
    std::string name = "No Annotation"; // full structure name
    std::string abbreviation = "NA";    // short name, the key of parent references
    unsigned char red = 220;            // display colour
    unsigned char green = 220;
    unsigned char blue = 220;
    unsigned char annotationValue = 0;  // voxel value in the annotation volumes
    uint16_t databaseId = 0xFFFF;       // the atlas service's structure id
    AnnotationLabel* parent = nullptr;
    std::vector<AnnotationLabel*> children; // direct children, by annotation value
    uint32_t index = 0;                 // position in the file = bit number in selectors
    AnnotationSelector own;             // only its own bit
    AnnotationSelector ancestors;       // its own bit and every ancestor's
    AnnotationSelector subtree;         // its own bit and every descendant's
    AnnotationSelector childrenSet;     // the bits of its direct children
    float values[3] = {0.0f, 0.0f, 0.0f}; // the last three numbers of its line
};

// Writes name, abbreviation, parent pointer and colour, for debugging.
std::ostream& operator<<(std::ostream& out, const AnnotationLabel& label);
} // namespace ImageGrid

#endif

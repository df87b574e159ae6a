#ifndef NUVARO_MODEL_BOOKMARK_H
#define NUVARO_MODEL_BOOKMARK_H

#include "model/AnnotationSelector.h"

#include <ostream>
#include <string>
#include <vector>

class BrainExpressionModel;

namespace ImageGrid
{
class AnnotationLabel;
}

// A named snapshot of the view state of a document model. The type is a bit
// mask of the parts it carries; only those parts are restored, the rest of the
// model is left alone. A plain value: every holder keeps its own copy, and a
// bookmark keeps no link to the model it was captured from.
//
// Plane index in the per-plane arrays: 0 coronal, 1 horizontal, 2 sagittal.
class Bookmark
{
public:
    // A lower and an upper bound. The model keeps its thresholds and
    // cutting-plane bounds in the same form; an upper threshold of -1 means
    // no upper limit.
    struct Range
    {
        Range() : lower(0.0f), upper(0.0f) {}
        Range(float lower, float upper) : lower(lower), upper(upper) {}
        bool operator==(const Range& other) const { return lower == other.lower && upper == other.upper; }
        bool operator!=(const Range& other) const { return !(*this == other); }

        float lower;
        float upper;
    };

    // The parts of the state, as bits of the type.
    enum TypeBits
    {
        kExpressionFilter = 1, // the expression selector
        kAtlasStructures = 2,  // the structure selector
        kViewAngle = 4,        // rotation and origin
        kZoom = 8,
        kAtlasSections = 16,   // Nissl slice planes: shown and location
        kClippingPlanes = 32,  // cutting plane bounds
        kThresholds = 64,      // expression score and number of expressors
        kSnapback = 65535      // the document's snapback: everything
    };

    // Empty name, type 0, empty selectors, default values.
    Bookmark();
    // The name and type, empty selectors, default values.
    Bookmark(const char* name, int type);
    // Captures from the model every part named in type; the other parts get
    // the default values and empty selectors.
    Bookmark(const char* name, int type, const BrainExpressionModel* model);
    Bookmark(const Bookmark& other);
    virtual ~Bookmark();

    // Puts every value back to its default (rotation and origin zero, zoom
    // 40, slices hidden at location -1, cutting planes over the whole view
    // grid, thresholds 0 to unbounded). With resetNameAndType the name also
    // becomes empty and the type 0. The selectors are kept.
    virtual void Clear(bool resetNameAndType);
    virtual Bookmark& operator=(const Bookmark& other);
    virtual const char* GetName() const { return m_name.c_str(); }

    // Applies the parts named in the type to the model, each with
    // notification: expression filter, atlas structures, rotation then
    // origin, zoom, per plane slice visibility then location (a location
    // below 0 is not applied), per plane cutting bounds, score then count
    // threshold.
    virtual void Restore(BrainExpressionModel* model) const;

    // Writes one Bookmark element of the bookmarks file, indented by indent
    // blanks, its parts by indent + 4. The name is escaped for XML.
    virtual void SaveXML(std::ostream& out, int indent) const;

    std::string m_name;
    int m_type;
    ImageGrid::AnnotationSelector m_expressionFilter;
    ImageGrid::AnnotationSelector m_atlasStructures;
    float m_sliceLocation[3];
    bool m_sliceVisible[3];
    Range m_clip[3];
    float m_rotation[4];
    float m_origin[3];
    Range m_expressionScore;
    Range m_numExpressors;
    float m_zoom;

    static constexpr float kDefaultZoom = 40.0f;
};

// Writes one line <Structure id="{database id}" name="{abbreviation}"/> per
// label, indented by indent blanks; the abbreviation is escaped for XML.
void SaveStructureListToXML(std::ostream& out, int indent, const std::vector<const ImageGrid::AnnotationLabel*>& labels);

#endif

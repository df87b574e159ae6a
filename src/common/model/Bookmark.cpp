#include "model/Bookmark.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <algorithm>
#include <string>

namespace
{
const char* const kPlaneNames[3] = {"coronal", "horizontal", "sagittal"};

Image3d::MPRPlane Plane(int p)
{
    return static_cast<Image3d::MPRPlane>(p);
}

// A float as the %g conversion writes it (6 significant digits), with a
// decimal point whatever the locale.
std::string FloatText(float value)
{
    return FormatFloat(value, 6);
}

std::string Blanks(int count)
{
    return std::string(static_cast<size_t>(std::max(count, 0)), ' ');
}

void SaveSelector(std::ostream& out, int indent, const char* element, ImageGrid::AnnotationSelector selector)
{
    std::vector<const ImageGrid::AnnotationLabel*> labels;
    Atlas::GetAtlas()->GetOntology()->SelectorToLabelList(selector, labels);
    out << Blanks(indent) << '<' << element << '>' << std::endl;
    SaveStructureListToXML(out, indent + 4, labels);
    out << Blanks(indent) << "</" << element << '>' << std::endl;
}

void SaveThreshold(std::ostream& out, int indent, const char* element, const Bookmark::Range& range)
{
    out << Blanks(indent) << '<' << element;
    if (range.lower > 0.0f)
        out << " lower=\"" << FloatText(range.lower) << '"';
    if (range.upper >= 0.0f)
        out << " upper=\"" << FloatText(range.upper) << '"';
    out << "/>" << std::endl;
}
} // namespace

Bookmark::Bookmark() : m_type(0), m_expressionFilter(false), m_atlasStructures(false)
{
    Bookmark::Clear(true);
}

Bookmark::Bookmark(const char* name, int type)
    : m_name(name != nullptr ? name : ""), m_type(type), m_expressionFilter(false), m_atlasStructures(false)
{
    Bookmark::Clear(false);
}

Bookmark::Bookmark(const char* name, int type, const BrainExpressionModel* model) : Bookmark(name, type)
{
    if (model == nullptr)
        return;
    if ((type & kExpressionFilter) != 0)
        m_expressionFilter = model->GetExpressionSelector();
    if ((type & kAtlasStructures) != 0)
        m_atlasStructures = model->GetStructureSelector();
    if ((type & kViewAngle) != 0)
    {
        std::copy(model->GetRotation(), model->GetRotation() + 4, m_rotation);
        std::copy(model->GetOrigin(), model->GetOrigin() + 3, m_origin);
    }
    if ((type & kZoom) != 0)
        m_zoom = model->GetZoom();
    for (int p = 0; p < 3; ++p)
    {
        if ((type & kAtlasSections) != 0)
        {
            m_sliceVisible[p] = model->GetMPRPlaneVisible(Plane(p));
            m_sliceLocation[p] = model->GetMPRSliceLocation(Plane(p));
        }
        if ((type & kClippingPlanes) != 0)
            m_clip[p] = Range(model->GetCuttingPlaneLocation(Plane(p), true),
                              model->GetCuttingPlaneLocation(Plane(p), false));
    }
    if ((type & kThresholds) != 0)
    {
        model->GetExpressionScoreThreshold(m_expressionScore.lower, m_expressionScore.upper);
        model->GetNumExpressorsThreshold(m_numExpressors.lower, m_numExpressors.upper);
    }
}

Bookmark::Bookmark(const Bookmark& other) = default;

Bookmark::~Bookmark() = default;

Bookmark& Bookmark::operator=(const Bookmark& other) = default;

void Bookmark::Clear(bool resetNameAndType)
{
    if (resetNameAndType)
    {
        m_name.clear();
        m_type = 0;
    }
    std::fill(m_rotation, m_rotation + 4, 0.0f);
    std::fill(m_origin, m_origin + 3, 0.0f);
    m_zoom = kDefaultZoom;
    const Atlas* atlas = Atlas::GetAtlas();
    for (int p = 0; p < 3; ++p)
    {
        m_sliceVisible[p] = false;
        m_sliceLocation[p] = -1.0f;
        m_clip[p] = Range(0.0f, static_cast<float>(atlas->GetViewDimension(p) - 1));
    }
    m_numExpressors = Range(0.0f, -1.0f);
    m_expressionScore = Range(0.0f, -1.0f);
}

void Bookmark::Restore(BrainExpressionModel* model) const
{
    if (model == nullptr)
        return;
    if ((m_type & kExpressionFilter) != 0)
        model->SetExpressionSelector(m_expressionFilter, true);
    if ((m_type & kAtlasStructures) != 0)
        model->SetStructureSelector(m_atlasStructures, true);
    if ((m_type & kViewAngle) != 0)
    {
        model->SetRotation(m_rotation, true);
        model->SetOrigin(m_origin, true);
    }
    if ((m_type & kZoom) != 0)
        model->SetZoom(m_zoom, true);
    if ((m_type & kAtlasSections) != 0)
    {
        for (int p = 0; p < 3; ++p)
        {
            model->SetMPRPlaneVisible(Plane(p), m_sliceVisible[p], true);
            if (m_sliceLocation[p] >= 0.0f)
                model->SetMPRSliceLocation(Plane(p), m_sliceLocation[p], true);
        }
    }
    if ((m_type & kClippingPlanes) != 0)
    {
        for (int p = 0; p < 3; ++p)
        {
            // The model keeps the lower bound 2 below the upper one: a lower
            // bound above the current upper bound goes in after the new upper
            // bound, or it would be cut short. An upper bound less than 2
            // above the lower one (the upper plane dragged down to it) goes
            // in 2 above it first and is brought down after the lower one.
            const Range& clip = m_clip[p];
            if (clip.lower > model->GetCuttingPlaneLocation(Plane(p), false) - 2.0f)
            {
                const float roomyUpper = std::max(clip.upper, clip.lower + 2.0f);
                model->SetCuttingPlaneLocation(Plane(p), roomyUpper, false, true);
                model->SetCuttingPlaneLocation(Plane(p), clip.lower, true, true);
                if (roomyUpper != clip.upper)
                    model->SetCuttingPlaneLocation(Plane(p), clip.upper, false, true);
            }
            else
            {
                model->SetCuttingPlaneLocation(Plane(p), clip.lower, true, true);
                model->SetCuttingPlaneLocation(Plane(p), clip.upper, false, true);
            }
        }
    }
    if ((m_type & kThresholds) != 0)
    {
        model->SetExpressionScoreThreshold(m_expressionScore.lower, m_expressionScore.upper, true);
        model->SetNumExpressorsThreshold(m_numExpressors.lower, m_numExpressors.upper, true);
    }
}

void Bookmark::SaveXML(std::ostream& out, int indent) const
{
    const std::string pad = Blanks(indent);
    const std::string child = Blanks(indent + 4);
    out << pad << "<Bookmark name=\"" << XMLUtils::EscapedAttribute(m_name) << "\">" << std::endl;
    if ((m_type & kExpressionFilter) != 0)
        SaveSelector(out, indent + 4, "ExpressionFilter", m_expressionFilter);
    if ((m_type & kAtlasStructures) != 0)
        SaveSelector(out, indent + 4, "AtlasStructures", m_atlasStructures);
    if ((m_type & kViewAngle) != 0)
    {
        out << child << "<Rotation>" << FloatText(m_rotation[0]) << ' ' << FloatText(m_rotation[1]) << ' '
            << FloatText(m_rotation[2]) << ' ' << FloatText(m_rotation[3]) << "</Rotation>" << std::endl;
        out << child << "<Origin>" << FloatText(m_origin[0]) << ' ' << FloatText(m_origin[1]) << ' '
            << FloatText(m_origin[2]) << "</Origin>" << std::endl;
    }
    if ((m_type & kZoom) != 0)
        out << child << "<Zoom>" << FloatText(m_zoom) << "</Zoom>" << std::endl;
    if ((m_type & kAtlasSections) != 0)
    {
        bool anyShown = false;
        for (int p = 0; p < 3; ++p)
        {
            if (m_sliceVisible[p] && m_sliceLocation[p] >= 0.0f)
            {
                anyShown = true;
                out << child << "<NisslSlice orientation=\"" << kPlaneNames[p] << "\" location=\""
                    << FloatText(m_sliceLocation[p]) << "\"/>" << std::endl;
            }
        }
        // With every plane hidden, one hidden plane keeps the part in the
        // file, so that the bookmark still hides the planes after a read.
        if (!anyShown)
            out << child << "<NisslSlice orientation=\"" << kPlaneNames[0] << "\" location=\"-1\"/>" << std::endl;
    }
    if ((m_type & kClippingPlanes) != 0)
    {
        for (int p = 0; p < 3; ++p)
            out << child << "<ClippingPlane orientation=\"" << kPlaneNames[p] << "\" lower=\""
                << FloatText(m_clip[p].lower) << "\" upper=\"" << FloatText(m_clip[p].upper) << "\"/>" << std::endl;
    }
    if ((m_type & kThresholds) != 0)
    {
        SaveThreshold(out, indent + 4, "ExpressionScoreThreshold", m_expressionScore);
        SaveThreshold(out, indent + 4, "NumberOfExpressorsThreshold", m_numExpressors);
    }
    out << pad << "</Bookmark>" << std::endl;
}

void SaveStructureListToXML(std::ostream& out, int indent, const std::vector<const ImageGrid::AnnotationLabel*>& labels)
{
    const std::string pad = Blanks(indent);
    for (const ImageGrid::AnnotationLabel* label : labels)
    {
        if (label == nullptr)
            continue;
        out << pad << "<Structure id=\"" << std::to_string(label->databaseId) << "\" name=\""
            << XMLUtils::EscapedAttribute(label->abbreviation) << "\"/>" << std::endl;
    }
}

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

// The length of the well-formed UTF-8 sequence at text[i], or 0 when the
// bytes there are not one.
size_t Utf8SequenceLength(const std::string& text, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
    {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

// Text for an XML attribute value that every XML parser reads back: the five
// special characters as entities, tab, line feed and carriage return as
// character references (a parser would turn them into blanks otherwise),
// other control characters dropped, and bytes that are not UTF-8 and the
// non-characters U+FFFE and U+FFFF (no XML character) replaced by U+FFFD.
std::string AttributeText(const std::string& text)
{
    const std::string escaped = XMLUtils::Escaped(text);
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size();)
    {
        const unsigned char c = static_cast<unsigned char>(escaped[i]);
        const size_t length = Utf8SequenceLength(escaped, i);
        const bool nonCharacter = length == 3 && escaped.compare(i, 2, "\xEF\xBF") == 0 &&
                                  static_cast<unsigned char>(escaped[i + 2]) >= 0xBE;
        if (length == 0 || nonCharacter)
        {
            out += "\xEF\xBF\xBD";
            i += nonCharacter ? length : 1;
            continue;
        }
        if (c == '\t')
            out += "&#9;";
        else if (c == '\n')
            out += "&#10;";
        else if (c == '\r')
            out += "&#13;";
        else if (c >= 0x20)
            out.append(escaped, i, length);
        i += length;
    }
    return out;
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
    out << pad << "<Bookmark name=\"" << AttributeText(m_name) << "\">" << std::endl;
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
        for (int p = 0; p < 3; ++p)
        {
            if (m_sliceVisible[p] && m_sliceLocation[p] >= 0.0f)
                out << child << "<NisslSlice orientation=\"" << kPlaneNames[p] << "\" location=\""
                    << FloatText(m_sliceLocation[p]) << "\"/>" << std::endl;
        }
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
            << AttributeText(label->abbreviation) << "\"/>" << std::endl;
    }
}

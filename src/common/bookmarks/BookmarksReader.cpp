#include "bookmarks/BookmarksReader.h"

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"
#include "gl/Utf8.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "utility/OSUtils.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace
{
bool Is(const char* a, const char* b)
{
    return std::strcmp(a, b) == 0;
}

int PlaneIndex(const char* orientation)
{
    static const char* const names[3] = {"coronal", "horizontal", "sagittal"};
    for (int p = 0; p < 3; ++p)
    {
        if (Is(orientation, names[p]))
            return p;
    }
    return -1;
}

// The text split at every single blank (two blanks give an empty piece).
std::vector<std::string_view> SplitAtBlanks(std::string_view text)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (;;)
    {
        const size_t blank = text.find(' ', start);
        pieces.push_back(text.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
        if (blank == std::string_view::npos)
            return pieces;
        start = blank + 1;
    }
}

// No tag holds more attributes than there are equals signs between two '<'
// (a '<' cannot stand inside a tag).
size_t MostEqualSignsBetweenTags(std::string_view text)
{
    size_t most = 0, count = 0;
    for (char c : text)
    {
        if (c == '<')
        {
            most = std::max(most, count);
            count = 0;
        }
        else if (c == '=')
            ++count;
    }
    return std::max(most, count);
}

// A name longer than a node may carry makes the file unreadable (so that it
// is set aside whole) rather than being cut where nobody sees it.
const char* CheckedName(const char* name)
{
    if (name != nullptr && Utf8::CountCodePoints(name) > BookmarkNode::kMaxNameLength)
        throw std::runtime_error("The bookmarks file has a name longer than " +
                                 std::to_string(BookmarkNode::kMaxNameLength) + " characters.");
    return name;
}

const char* const kElementNames[] = {"Bookmarks", "BookmarkGroup", "Bookmark", "ExpressionFilter", "AtlasStructures",
                                     "Structure", "Rotation", "Origin", "Zoom", "NisslSlice", "ClippingPlane",
                                     "ExpressionScoreThreshold", "NumberOfExpressorsThreshold"};
} // namespace

BookmarksReader::BookmarksReader(const char* path, BookmarksIOAdapter* adapter)
    : m_selector(false), m_adapter(adapter), m_parser(this), m_nodes(0), m_depth(0), m_sawRoot(false),
      m_metUnknownNames(false)
{
    if (adapter == nullptr)
        throw std::invalid_argument("A bookmark adapter is required to read bookmarks.");
    if (path == nullptr)
        throw std::invalid_argument("Bookmark file name not specified.");
    m_parents.push_back(nullptr);

    std::string text;
    switch (OSUtils::ReadRegularFile(path, kMaxFileBytes, text))
    {
    case OSUtils::ReadResult::Read:
        break;
    case OSUtils::ReadResult::TooLarge:
        throw std::runtime_error("The bookmarks file is too large.");
    case OSUtils::ReadResult::CannotOpen:
        throw std::runtime_error("Bookmarks file could not be opened.");
    }
    // Expat keeps every attribute of a tag before it reports the tag.
    if (MostEqualSignsBetweenTags(text) > kMaxAttributes)
        throw std::runtime_error("The bookmarks file has an element with too many attributes.");
    if (!m_parser.ParseWhole(text.data(), static_cast<int>(text.size())) || !m_sawRoot)
        throw std::runtime_error("Error parsing bookmarks file.");
    m_adapter->Finish();
}

BookmarksReader::~BookmarksReader() = default;

void BookmarksReader::CheckAttributes(const char** attributes, std::initializer_list<const char*> known)
{
    for (int i = 0; attributes != nullptr && attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2)
    {
        bool found = false;
        for (const char* name : known)
            found = found || Is(attributes[i], name);
        if (!found)
            NoteUnknownName(attributes[i]);
    }
}

void BookmarksReader::NoteUnknownName(const char* name)
{
    m_metUnknownNames = true;
    // Expat keeps every name it meets for the rest of the document.
    if (m_unknownNames.insert(name).second && m_unknownNames.size() > kMaxUnknownNames)
        throw std::runtime_error("The bookmarks file uses too many names this version does not know.");
}

void BookmarksReader::CountNode()
{
    if (++m_nodes > kMaxNodes)
        throw std::runtime_error("The bookmarks file holds more bookmarks and groups than can be shown.");
}

void BookmarksReader::StartElement(const char* name, const char** attributes)
{
    m_text.clear();
    // Expat keeps every open element: unknown elements nested without end
    // would take memory without bound.
    if (++m_depth > kMaxElementDepth)
        throw std::runtime_error("The bookmarks file nests its elements too deeply.");
    if (!m_sawRoot)
    {
        // Another document is no bookmarks file, even if well formed.
        if (!Is(name, "Bookmarks"))
            throw std::runtime_error("The file holds no bookmarks.");
        m_sawRoot = true;
    }
    bool known = false;
    for (const char* element : kElementNames)
        known = known || Is(name, element);
    if (!known)
        NoteUnknownName(name);

    if (Is(name, "BookmarkGroup"))
        StartGroup(attributes);
    else if (Is(name, "Bookmark"))
    {
        CheckAttributes(attributes, {"name"});
        m_bookmark.Clear(true);
        if (const char* bookmarkName = CheckedName(XMLUtils::FindAttribute(attributes, "name")))
            m_bookmark.m_name = bookmarkName;
    }
    else if (Is(name, "Structure"))
        StartStructure(attributes);
    else if (Is(name, "ClippingPlane") || Is(name, "NisslSlice"))
        StartPlane(name, attributes);
    else if (Is(name, "ExpressionScoreThreshold"))
        StartThreshold(attributes, m_bookmark.m_expressionScore);
    else if (Is(name, "NumberOfExpressorsThreshold"))
        StartThreshold(attributes, m_bookmark.m_numExpressors);
    else if (Is(name, "ExpressionFilter") || Is(name, "AtlasStructures"))
    {
        CheckAttributes(attributes, {});
        m_selector = ImageGrid::AnnotationSelector(false);
    }
    else
        CheckAttributes(attributes, {});
}

void BookmarksReader::StartGroup(const char** attributes)
{
    CheckAttributes(attributes, {"name", "expanded"});
    if (static_cast<int>(m_parents.size()) > kMaxGroupDepth)
        throw std::runtime_error("The bookmark groups are nested too deeply.");
    std::string groupName;
    bool expanded = false;
    for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2)
    {
        if (Is(attributes[i], "name"))
            groupName = CheckedName(attributes[i + 1]);
        else if (Is(attributes[i], "expanded"))
            expanded = Is(attributes[i + 1], "true");
    }
    if (groupName.empty())
        groupName = "Bookmark Group";
    CountNode();
    m_parents.push_back(m_adapter->AddGroup(groupName.c_str(), expanded, m_parents.back()));
}

void BookmarksReader::StartStructure(const char** attributes)
{
    CheckAttributes(attributes, {"id", "name"});
    const char* text = XMLUtils::FindAttribute(attributes, "id");
    const int id = text != nullptr ? ParseLeadingInt(text, IntOverflow::Zero) : 0;
    if (id == 0)
        return;
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    // An id beyond the 16-bit range names no structure: label 0.
    const ImageGrid::AnnotationLabel* label = id > 0 && id <= 0xFFFF
                                                  ? ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned short>(id))
                                                  : ontology->GetAnnotationLabel(static_cast<unsigned char>(0));
    m_selector.Merge(label->own);
}

void BookmarksReader::StartPlane(const char* name, const char** attributes)
{
    const bool clipping = Is(name, "ClippingPlane");
    if (clipping)
        CheckAttributes(attributes, {"orientation", "lower", "upper"});
    else
        CheckAttributes(attributes, {"orientation", "location"});
    int plane = -1;
    float lower = -1.0f;
    float upper = -1.0f;
    float location = -1.0f;
    for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2)
    {
        const char* value = attributes[i + 1];
        if (Is(attributes[i], "orientation"))
        {
            plane = PlaneIndex(value);
            if (plane < 0)
                break;
        }
        else if (clipping && Is(attributes[i], "lower"))
            lower = ParseLeadingFloat(value);
        else if (clipping && Is(attributes[i], "upper"))
            upper = ParseLeadingFloat(value);
        else if (!clipping && Is(attributes[i], "location"))
            location = ParseLeadingFloat(value);
    }
    if (plane < 0)
        return;
    if (clipping)
    {
        if (lower >= 0.0f && upper >= 0.0f)
        {
            m_bookmark.m_type |= Bookmark::kClippingPlanes;
            m_bookmark.m_clip[plane] = Bookmark::Range(lower, upper);
        }
        return;
    }
    // A plane without a location is a hidden one: the part stays in the
    // bookmark, so that it still hides the planes.
    m_bookmark.m_type |= Bookmark::kAtlasSections;
    m_bookmark.m_sliceVisible[plane] = location >= 0.0f;
    m_bookmark.m_sliceLocation[plane] = location >= 0.0f ? location : -1.0f;
}

void BookmarksReader::StartThreshold(const char** attributes, Bookmark::Range& range)
{
    CheckAttributes(attributes, {"lower", "upper"});
    Bookmark::Range read(0.0f, -1.0f);
    for (int i = 0; attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2)
    {
        if (Is(attributes[i], "lower"))
            read.lower = ParseLeadingFloat(attributes[i + 1]);
        else if (Is(attributes[i], "upper"))
            read.upper = ParseLeadingFloat(attributes[i + 1]);
    }
    m_bookmark.m_type |= Bookmark::kThresholds;
    range = read;
}

void BookmarksReader::EndElement(const char* name)
{
    --m_depth;
    if (Is(name, "ExpressionFilter"))
    {
        m_bookmark.m_type |= Bookmark::kExpressionFilter;
        m_bookmark.m_expressionFilter = m_selector;
    }
    else if (Is(name, "AtlasStructures"))
    {
        m_bookmark.m_type |= Bookmark::kAtlasStructures;
        m_bookmark.m_atlasStructures = m_selector;
    }
    else if (Is(name, "Rotation") || Is(name, "Origin"))
    {
        const bool rotation = Is(name, "Rotation");
        m_bookmark.m_type |= Bookmark::kViewAngle;
        const std::vector<std::string_view> pieces = SplitAtBlanks(m_text);
        const size_t count = rotation ? 4 : 3;
        if (pieces.size() >= count)
        {
            float* target = rotation ? m_bookmark.m_rotation : m_bookmark.m_origin;
            for (size_t i = 0; i < count; ++i)
                target[i] = ParseLeadingFloat(pieces[i]);
        }
    }
    else if (Is(name, "Zoom"))
    {
        m_bookmark.m_type |= Bookmark::kZoom;
        m_bookmark.m_zoom = ParseLeadingFloat(m_text);
    }
    else if (Is(name, "Bookmark"))
    {
        CountNode();
        m_adapter->AddBookmark(m_bookmark, m_parents.back());
    }
    else if (Is(name, "BookmarkGroup") && m_parents.size() > 1)
        m_parents.pop_back();
}

void BookmarksReader::DataHandler(const char* data, int length)
{
    // Only the short texts of Rotation, Origin and Zoom are read; a huge
    // text elsewhere is not kept whole.
    if (length > 0 && m_text.size() < kMaxText)
        m_text.append(data, std::min(static_cast<size_t>(length), kMaxText - m_text.size()));
}

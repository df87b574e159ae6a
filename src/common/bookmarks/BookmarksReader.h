#ifndef NUVARO_BOOKMARKS_BOOKMARKSREADER_H
#define NUVARO_BOOKMARKS_BOOKMARKSREADER_H

#include "model/AnnotationSelector.h"
#include "model/Bookmark.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <set>
#include <string>
#include <vector>

class BookmarksIOAdapter;

// Reads a bookmarks file into an adapter: groups and bookmarks in file order,
// each group handed the handle of its parent (null for the top level). The
// whole file is read by the constructor, which throws on failure:
// std::invalid_argument without an adapter or a path, std::runtime_error when
// the file cannot be opened, is no regular file, is larger than
// kMaxFileBytes, is no well-formed XML, has another root element than
// Bookmarks, nests groups deeper than kMaxGroupDepth or any elements deeper
// than kMaxElementDepth, holds more than kMaxNodes groups and bookmarks
// together, more than kMaxAttributes attributes in one element, more than
// kMaxUnknownNames different unknown names or a group or bookmark name longer
// than BookmarkNode::kMaxNameLength characters. What was handed to the
// adapter before a failure stays there.
//
// Numbers are read as atof and atoi read them but whatever the locale; a
// number that is infinite or not a number reads as 0. Element and attribute
// names of later versions are ignored (MetUnknownNames tells).
class BookmarksReader : public XMLElementHandler
{
public:
    static constexpr int kMaxGroupDepth = 256;
    // Room for the groups and a bookmark's own elements within them.
    static constexpr int kMaxElementDepth = kMaxGroupDepth + 8;
    static constexpr size_t kMaxFileBytes = size_t(64) << 20;
    // Far more than anyone keeps, and few enough that the tree and its
    // outline stay within a few hundred megabytes.
    static constexpr int kMaxNodes = 250000;
    // Names of elements and attributes of later versions, all different.
    static constexpr size_t kMaxUnknownNames = 1000;
    static constexpr size_t kMaxAttributes = 1000; // of one element
    // The longest element text kept (the numbers of Rotation, Origin, Zoom).
    static constexpr size_t kMaxText = 4096;

    BookmarksReader(const char* path, BookmarksIOAdapter* adapter);
    ~BookmarksReader() override;

    bool MetUnknownNames() const { return m_metUnknownNames; }

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* data, int length) override;

private:
    void StartGroup(const char** attributes);
    void StartStructure(const char** attributes);
    void StartPlane(const char* name, const char** attributes);
    void StartThreshold(const char** attributes, Bookmark::Range& range);
    // Counts one more group or bookmark; throws past kMaxNodes.
    void CountNode();
    // Notes a name this version does not know; throws past kMaxUnknownNames.
    void NoteUnknownName(const char* name);
    // Notes an attribute this version does not read.
    void CheckAttributes(const char** attributes, std::initializer_list<const char*> known);

    std::vector<void*> m_parents; // back = current parent
    Bookmark m_bookmark;
    ImageGrid::AnnotationSelector m_selector;
    BookmarksIOAdapter* m_adapter;
    XMLParser m_parser;
    std::string m_text;
    std::set<std::string> m_unknownNames;
    int m_nodes;
    int m_depth;
    bool m_sawRoot;
    bool m_metUnknownNames;
};

#endif

#include "bookmarks/BookmarkIO.h"

#include "bookmarks/BookmarkNode.h"
#include "bookmarks/BookmarksReader.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "utility/OSUtils.h"
#include "utility/PlatformServices.h"
#include "utility/ResourcePath.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace
{
BookmarkNode* Node(void* handle, BookmarkNode* root)
{
    return handle != nullptr ? static_cast<BookmarkNode*>(handle) : root;
}

bool PathExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found && !ec;
}

void Alert(const std::string& message)
{
    if (PlatformServices* services = GetPlatformServices())
        services->ShowAlert(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

// Copies the file at from to a new file to; the reason on failure.
std::string CopyWhole(const std::string& from, const std::string& to)
{
    std::string bytes;
    try
    {
        bytes = ReadSmallTextFile(from.c_str(), BookmarksReader::kMaxFileBytes, "could not read ", "too large: ");
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return OSUtils::ReplaceFileContents(to.c_str(), bytes.data(), bytes.size());
}
} // namespace

void* BookmarksTreeAdapter::AddGroup(const char* name, bool expanded, void* parent)
{
    BookmarkNode* group = Node(parent, m_root)->appendChild(BookmarkNode::bookmarkGroup(name != nullptr ? name : ""));
    if (expanded && m_view != nullptr)
        m_expanded.push_back(group);
    return group;
}

void BookmarksTreeAdapter::Finish()
{
    if (m_view == nullptr || m_expanded.empty())
        return;
    m_view->reloadData();
    for (BookmarkNode* group : m_expanded)
        m_view->expandItem(group);
    m_expanded.clear();
}

void BookmarksTreeAdapter::AddBookmark(const Bookmark& bookmark, void* parent)
{
    Node(parent, m_root)->appendChild(BookmarkNode::bookmarkNodeWithData(std::make_unique<Bookmark>(bookmark)));
}

BookmarksFile::BookmarksFile(std::string folder)
    : m_folder(std::move(folder)), m_savingDisabled(false), m_copyBeforeSave(false)
{
}

BookmarksFile& BookmarksFile::Default()
{
    static BookmarksFile sFile(ResourcePath::GetUserSettingsPath());
    return sFile;
}

std::string BookmarksFile::DatedPath(const char* prefix) const
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    const std::string base = m_folder + prefix + stamp;
    std::string path = base + ".xml";
    for (int n = 2; PathExists(path); ++n)
        path = base + "-" + std::to_string(n) + ".xml";
    return path;
}

std::string BookmarksFile::Compose(const BookmarksOutline* view, const BookmarkNode* root)
{
    std::ostringstream text;
    text << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Bookmarks>\n";
    if (root != nullptr)
    {
        for (const BookmarkNode* child : root->children())
            SaveBookmark(view, child, text, 4);
    }
    text << "</Bookmarks>\n";
    return text.str();
}

bool BookmarksFile::Save(const BookmarksOutline* view, const BookmarkNode* root, std::string* error)
{
    std::string why;
    if (m_savingDisabled)
        why = "the unreadable bookmarks file could not be set aside, so it is not overwritten";
    const std::string text = why.empty() ? Compose(view, root) : std::string();
    const std::string xml = XmlPath();
    const bool exists = why.empty() && PathExists(xml);
    if (exists && m_copyBeforeSave)
    {
        // A later version wrote things this one drops: keep its file once.
        const std::string kept = DatedPath("Bookmarks-before-");
        why = CopyWhole(xml, kept);
        if (why.empty())
            m_copyBeforeSave = false;
    }
    if (exists && why.empty())
        why = CopyWhole(xml, BackupPath());
    if (why.empty())
        why = OSUtils::ReplaceFileContents(xml.c_str(), text.data(), text.size());
    if (error != nullptr)
        *error = why;
    return why.empty();
}

bool BookmarksFile::Read(BookmarksOutline* view, BookmarkNode* root)
{
    if (root == nullptr)
        return false;
    if (root->numberOfChildren() > 0)
        return true;
    const std::string xml = XmlPath();
    if (!PathExists(xml))
    {
        CreateDefaultBookmarks(view, root);
        return false;
    }
    try
    {
        BookmarksTreeAdapter adapter(view, root);
        BookmarksReader reader(xml.c_str(), &adapter);
        m_copyBeforeSave = reader.MetUnknownNames();
        return true;
    }
    catch (...)
    {
    }
    // (One by one, each removal would look for its node among all the rest.)
    root->removeAllChildren();
    if (view != nullptr)
        view->reloadData();
    const std::string kept = DatedPath("Bookmarks-unreadable-");
    if (SetAside(xml, kept))
        Alert("The bookmarks file could not be read, so the default bookmarks are shown. The file was kept as \"" + kept +
              "\".");
    else
    {
        m_savingDisabled = true;
        Alert("The bookmarks file \"" + xml +
              "\" could not be read, so the default bookmarks are shown. Bookmarks will not be saved until the "
              "program is started again, so that the file stays as it is.");
    }
    CreateDefaultBookmarks(view, root);
    return false;
}

bool BookmarksFile::SetAside(const std::string& from, const std::string& to)
{
    return OSUtils::MoveFile(from.c_str(), to.c_str());
}

bool SaveBookmarks(const BookmarksOutline* view, const BookmarkNode* root)
{
    try
    {
        return BookmarksFile::Default().Save(view, root);
    }
    catch (const std::exception&)
    {
        return false; // no settings folder
    }
}

void SaveBookmark(const BookmarksOutline* view, const BookmarkNode* node, std::ostream& out, int indent)
{
    if (node == nullptr)
        return;
    if (const Bookmark* bookmark = node->nodeData())
    {
        bookmark->SaveXML(out, indent);
        return;
    }
    const std::string pad(static_cast<size_t>(indent), ' ');
    out << pad << "<BookmarkGroup name=\"" << XMLUtils::EscapedAttribute(node->name()) << '"';
    if (view != nullptr && view->isItemExpanded(node))
        out << " expanded=\"true\"";
    out << ">\n";
    for (const BookmarkNode* child : node->children())
        SaveBookmark(view, child, out, indent + 4);
    out << pad << "</BookmarkGroup>\n";
}

bool ReadBookmarks(BookmarksOutline* view, BookmarkNode* root)
{
    try
    {
        return BookmarksFile::Default().Read(view, root);
    }
    catch (const std::exception&)
    {
        // No settings folder: the defaults, and nothing to keep.
        if (root != nullptr && root->numberOfChildren() == 0)
            CreateDefaultBookmarks(view, root);
        return false;
    }
}

void CreateDefaultBookmarks(BookmarksOutline* view, BookmarkNode* root)
{
    if (root == nullptr)
        return;
    const float s = 0.707107f;
    const struct
    {
        const char* name;
        float rotation[4];
    } views[] = {
        {"Coronal - Caudal to Rostral", {0, s, 0, s}},     {"Coronal - Rostral to Caudal", {0, -s, 0, s}},
        {"Horizontal - Dorsal to Ventral", {-s, 0, 0, s}}, {"Horizontal - Ventral to Dorsal", {s, 0, 0, s}},
        {"Sagittal - Left to Right", {0, 0, 0, 1}},        {"Sagittal - Right to Left", {0, 1, 0, 0}},
    };
    BookmarkNode* viewGroup = root->appendChild(BookmarkNode::bookmarkGroup("Views"));
    if (view != nullptr)
    {
        view->reloadData();
        view->expandItem(viewGroup);
    }
    for (const auto& entry : views)
    {
        auto bookmark = std::make_unique<Bookmark>(entry.name, Bookmark::kViewAngle);
        std::copy(entry.rotation, entry.rotation + 4, bookmark->m_rotation);
        viewGroup->appendChild(BookmarkNode::bookmarkNodeWithData(std::move(bookmark)));
    }

    const struct
    {
        const char* name;
        std::vector<unsigned char> values;
    } structures[] = {
        {"Searchable", {3, 8, 24, 35, 49, 100, 62, 128, 165, 189, 224}},
        {"Inner", {8, 26, 28, 31, 35, 49, 100, 62, 128, 165, 189, 224}},
        {"None", {}},
    };
    BookmarkNode* structureGroup = root->appendChild(BookmarkNode::bookmarkGroup("Atlas Structures"));
    if (view != nullptr)
    {
        view->reloadData();
        view->expandItem(structureGroup);
    }
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    for (const auto& entry : structures)
    {
        auto bookmark = std::make_unique<Bookmark>(entry.name, Bookmark::kAtlasStructures);
        for (unsigned char value : entry.values)
            bookmark->m_atlasStructures.Merge(ontology->GetAnnotationLabel(value)->own);
        structureGroup->appendChild(BookmarkNode::bookmarkNodeWithData(std::move(bookmark)));
    }
    if (view != nullptr)
        view->reloadData();
}

void SynchronizeBookmarks(const BookmarksOutline* from, BookmarksOutline* to, BookmarkNode* node)
{
    if (from == nullptr || to == nullptr || node == nullptr || node->isLeaf())
        return;
    if (from->isItemExpanded(node))
        to->expandItem(node);
    for (BookmarkNode* child : node->children())
        SynchronizeBookmarks(from, to, child);
}

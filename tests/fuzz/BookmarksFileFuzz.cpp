// The bookmarks file (XML), against the test atlas's ontology. What reads is
// composed again, and that text must read back to itself: a save of what was
// read always reads again, unchanged.
#include "FuzzTarget.h"

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"
#include "bookmarks/BookmarksReader.h"
#include "common/bookmarks/BookmarkTreeSupport.h"

#include <cstdio>
#include <cstdlib>

namespace
{
// The tree read from the file at path, composed as a save would write it;
// false (what it threw passing silently) when the file does not read.
bool ReadAndCompose(const std::string& path, std::string& text)
{
    BookmarkNode::Owned root = MakeRoot();
    FakeOutline view;
    bool read = false;
    fuzz::Expected([&] {
        BookmarksTreeAdapter adapter(&view, root.get());
        BookmarksReader reader(path.c_str(), &adapter);
        read = true;
    });
    if (read)
        text = BookmarksFile::Compose(&view, root.get());
    return read;
}
} // namespace

NUVARO_FUZZ_TARGET(BookmarksFile)
{
    std::string first;
    if (!ReadAndCompose(fuzz::ScratchFile("Bookmarks.xml", data, size), first))
        return;
    std::string second;
    const bool again = ReadAndCompose(
        fuzz::ScratchFile("Saved.xml", reinterpret_cast<const uint8_t*>(first.data()), first.size()), second);
    if (!again || second != first)
    {
        std::fprintf(stderr, "A saved tree did not read back unchanged:\n%s\n---\n%s\n", first.c_str(),
                     second.c_str());
        std::abort();
    }
}

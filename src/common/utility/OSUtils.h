#ifndef NUVARO_UTILITY_OSUTILS_H
#define NUVARO_UTILITY_OSUTILS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Files, time, sleep and the browser, as the portable code sees them. None of
// these throws: they report by result.
class OSUtils
{
public:
    // Suspends the calling thread for ms milliseconds.
    static void OSSleep(unsigned int ms);
    // Wall-clock seconds with microsecond resolution; 0.0 when the clock cannot be read.
    static double GetTime();
    // True when the path names a file that opens for reading (folders count as absent).
    static bool FileExists(const char* path);
    // Removes the file or empty folder at path; a folder with contents is
    // left alone (and false returned).
    static bool DeleteFile(const char* path);
    // Moves or renames a file.
    static bool MoveFile(const char* from, const char* to);
    // Writes size bytes to a new file beside path, flushes it to the disk and
    // renames it over path, then flushes the folder, so that readers (also
    // after a power loss) see either the old file or the whole new one.
    // Returns an empty string on success, else why it failed (the temporary
    // file is removed then). FileReplacement does this for several files.
    static std::string ReplaceFileContents(const char* path, const void* data, size_t size);
    // Flushes what was written to the file or folder at path (a folder: the
    // names made, renamed or removed in it) to the disk. Returns an empty
    // string on success, else why it failed.
    static std::string FlushToDisk(const char* path);
    // Starts writing bytes [from, from + length) of the open file to the disk
    // without waiting (where the platform allows; a no-op elsewhere), so that
    // a flush of a large file later finds most of it written. The file's
    // buffer must have been flushed.
    static void StartWritingToDisk(std::FILE* file, uint64_t from, uint64_t length);
    // Asks for large memory pages under the buffer where the platform offers
    // them (a no-op elsewhere, and for buffers under a few megabytes): a
    // volume of tens of megabytes then takes a page fault per 2 MB, not per 4 KB.
    static void PreferLargePages(void* buffer, size_t size);
    // Asks the platform to open the URL (or an absolute file path) in the
    // user's browser. When it cannot, the user is told in an alert that
    // names the address; without platform services the address is only
    // printed to standard error. True when a browser was asked; false for
    // a null or empty URL too.
    static bool OpenBrowser(const char* url);
};

// Several whole-file replacements made together, as ReplaceFileContents makes
// one, but with the waits for the disk shared: Add writes a file's new
// contents to a temporary file beside it and starts writing that to the disk;
// Commit waits until every one is there, renames them over their files in the
// order added and then flushes each folder once. Each file is always either
// whole with its old contents or whole with its new ones; a failed Commit
// leaves the files renamed before the failure replaced and the others as they
// were. Temporaries not renamed are removed (by a failure or the destructor).
class FileReplacement
{
public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement();

    // Returns an empty string on success, else why it failed (nothing of
    // this file is kept then; the files added before stay in the batch).
    std::string Add(const char* path, const void* data, size_t size);
    // Returns an empty string on success, else why it failed. Either way the
    // batch is empty afterwards.
    std::string Commit();

private:
    struct Pending
    {
        std::string target;
        std::string temporary;
    };
    // Removes the temporaries from the index on and forgets every file.
    void Discard(size_t from);

    std::vector<Pending> m_pending;
};

#endif

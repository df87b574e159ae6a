#ifndef NUVARO_UTILITY_OSUTILS_H
#define NUVARO_UTILITY_OSUTILS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
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
    // Opens the file at path for reading when it is a regular file (links
    // followed). A FIFO, device, socket or folder is refused at once, never
    // waited on. Null on failure.
    static std::FILE* OpenRegularFile(const char* path);
    enum class ReadResult
    {
        Read,
        CannotOpen,
        TooLarge
    };
    // Reads the whole regular file at path (see OpenRegularFile) into bytes.
    // A file of more than maxBytes is refused before anything is allocated.
    static ReadResult ReadRegularFile(const char* path, size_t maxBytes, std::string& bytes);
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
    // Opens (creating it when missing) a temporary file that keeps a fixed
    // name for writing, empties it and holds it until the descriptor is
    // closed; rename or remove it before closing. -1 (errno set) when it
    // cannot be opened or another writer, in this process or another one,
    // holds it. Declared with DeclareHeldTemporary, such a file left behind
    // by a killed writer is removed by the next FileReplacement in its folder.
    static int OpenHeldTemporary(const char* path);
    // Flushes what was written to the file or folder at path (a folder: the
    // names made, renamed or removed in it) to the disk. Returns an empty
    // string on success, else why it failed.
    static std::string FlushToDisk(const char* path);
    // The same for the file open as fd.
    static std::string FlushDescriptor(int fd);
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
//
// The temporary of a file is named <file>.tmp<process id>-<n> and held (see
// OSUtils::OpenHeldTemporary) from its creation to its rename. A process
// killed in between leaves it behind, so Add first clears such leftovers of
// the file it replaces: every regular file of the user beside it named
// exactly <file>.tmp<process id>-<n> whose process no longer runs and which
// nobody holds, and every declared fixed-name temporary of the folder that
// nobody holds. Nothing else is ever removed: not the temporary of another
// file (the folder may be any folder of the user's, holding files of the
// user's that only look like temporaries), a name of another form, a link, a
// folder, nor the temporary of a running process (this one's included).
class FileReplacement
{
public:
    // Declares the path of a temporary file that keeps a fixed name and is
    // written only through OSUtils::OpenHeldTemporary; path() is asked at each
    // clearing (an exception or an empty path counts as no declaration).
    static void DeclareHeldTemporary(std::function<std::string()> path);
    // Removes the leftover temporaries of the file at path, and the declared
    // ones of its folder, as Add does; the number of files removed.
    static int RemoveLeftTemporaries(const std::string& path);

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
        int held; // the temporary's open descriptor
    };
    // Removes the temporaries from the index on and forgets every file.
    void Discard(size_t from);

    std::vector<Pending> m_pending;
};

#endif

// Reading hostile bookmarks files against the bare read of their bytes, in
// the same iterations (the counter "ratio"; "seconds" is the whole read):
//   BM_LongName/MB: one bookmark whose name is MB megabytes long, the file
//     just within the size limit at 63 (target: any file within the limit
//     reads in under 2 s);
//   BM_ChunkedParse/MB: the same text fed to the parser in 4 KB pieces, as the
//     reader once did, for comparison (time grows with the square of MB);
//   BM_MostNodes/kind: the largest tree the reader accepts (BookmarksReader::
//     kMaxNodes nodes): 0 bookmarks, 1 expanded groups, 2 bookmarks in groups
//     nested as deeply as allowed, each as short as the format allows, and
//     3 bookmarks whose names fill the file up to the size limit, read into
//     the tree. "peak_MB" is the
//     peak memory of a fresh process that reads the file once, "bare_peak_MB"
//     that of one that only reads its bytes (target: about 0.5 GB at most).

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"
#include "bookmarks/BookmarksReader.h"
#include "utility/OSUtils.h"
#include "utility/XMLParser.h"

#include "BenchTiming.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Remembers expansions, as an outline view does.
class Outline : public BookmarksOutline
{
public:
    bool isItemExpanded(const BookmarkNode* node) const override { return m_expanded.count(node) != 0; }
    void expandItem(BookmarkNode* node) override { m_expanded.insert(node); }
    void reloadData() override {}

private:
    std::set<const BookmarkNode*> m_expanded;
};

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    if (OSUtils::ReadRegularFile(path.c_str(), BookmarksReader::kMaxFileBytes, bytes) != OSUtils::ReadResult::Read)
        throw std::runtime_error("could not read " + path);
    return bytes;
}

// Reads the file into a fresh tree; the number of nodes read.
int ReadTree(const std::string& path)
{
    BookmarkNode::Owned root = BookmarkNode::bookmarkGroup("Root");
    Outline view;
    BookmarksTreeAdapter adapter(&view, root.get());
    BookmarksReader reader(path.c_str(), &adapter);
    int nodes = 0;
    std::vector<const BookmarkNode*> pending{root.get()};
    while (!pending.empty())
    {
        const BookmarkNode* node = pending.back();
        pending.pop_back();
        for (const BookmarkNode* child : node->children())
            pending.push_back(child);
        nodes += node != root.get();
    }
    return nodes;
}

const char* const kPeakOfVariable = "NUVARO_BENCH_PEAK_OF";

// A copy of this program started by PeakMB: it reads the file named in the
// variable (only its bytes when the value starts with "bare:") and ends.
const bool sMeasuringRun = [] {
    const char* value = std::getenv(kPeakOfVariable);
    if (value == nullptr)
        return false;
    try
    {
        const std::string path = value;
        if (path.rfind("bare:", 0) == 0)
            ReadBytes(path.substr(5));
        else
            ReadTree(path);
    }
    catch (...)
    {
        _exit(1);
    }
    _exit(0);
}();

// The peak memory, in megabytes, of a fresh process that reads the file
// (its bytes only when bare) once.
double PeakMB(const std::string& path, bool bare)
{
    const std::string value = (bare ? "bare:" : "") + path;
    const pid_t child = fork();
    if (child == 0)
    {
        setenv(kPeakOfVariable, value.c_str(), 1);
        execl("/proc/self/exe", "bench_BookmarksRead", static_cast<char*>(nullptr));
        _exit(2);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the measuring process failed");
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string LongNameFile(size_t megabytes)
{
    return "<Bookmarks><Bookmark name=\"" + std::string(megabytes << 20, 'n') + "\"/></Bookmarks>\n";
}

// Times the read of the file at path into a tree against the bare read of
// its bytes, alternating in each iteration.
void RunRead(benchmark::State& state, const std::string& path, int expectedNodes)
{
    double readSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        const auto t0 = benchtiming::Clock::now();
        benchmark::DoNotOptimize(ReadBytes(path).size());
        const double bare = benchtiming::Seconds(t0);
        const auto t1 = benchtiming::Clock::now();
        if (ReadTree(path) != expectedNodes)
            throw std::runtime_error("the tree was not read whole");
        const double read = benchtiming::Seconds(t1);
        bareSeconds += bare;
        readSeconds += read;
        state.SetIterationTime(read);
    }
    state.counters["seconds"] = readSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = readSeconds / bareSeconds;
}

void BM_LongName(benchmark::State& state)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("Bookmarks.xml");
    testsupport::WriteFileBytes(path, LongNameFile(static_cast<size_t>(state.range(0))));
    RunRead(state, path, 1);
}
BENCHMARK(BM_LongName)->Arg(8)->Arg(63)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// The text fed in 4 KB pieces to a parser without a handler.
void BM_ChunkedParse(benchmark::State& state)
{
    const std::string text = LongNameFile(static_cast<size_t>(state.range(0)));
    double chunkedSeconds = 0.0, wholeSeconds = 0.0;
    for (auto _ : state)
    {
        XMLParser parser(nullptr);
        const auto t0 = benchtiming::Clock::now();
        bool ok = parser.Parse(text.data(), static_cast<int>(text.size()), false) && parser.Parse(nullptr, 0, true);
        const double whole = benchtiming::Seconds(t0);
        const auto t1 = benchtiming::Clock::now();
        for (size_t at = 0; at < text.size(); at += 4096)
            ok = parser.Parse(text.data() + at, static_cast<int>(std::min<size_t>(4096, text.size() - at)), false) &&
                 ok;
        ok = parser.Parse(nullptr, 0, true) && ok;
        const double chunked = benchtiming::Seconds(t1);
        if (!ok)
            throw std::runtime_error("the text did not parse");
        wholeSeconds += whole;
        chunkedSeconds += chunked;
        state.SetIterationTime(chunked);
    }
    state.counters["seconds"] = chunkedSeconds / static_cast<double>(state.iterations());
    state.counters["ratio_to_whole"] = chunkedSeconds / wholeSeconds;
}
BENCHMARK(BM_ChunkedParse)->Arg(1)->Arg(4)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// The largest accepted tree of one kind (see BM_MostNodes).
std::string MostNodesFile(int kind)
{
    const int nodes = BookmarksReader::kMaxNodes;
    std::string text = "<Bookmarks>";
    if (kind == 0 || kind == 3)
    {
        const size_t nameLength = kind == 3 ? BookmarksReader::kMaxFileBytes / nodes - 32 : 0;
        const std::string bookmark = kind == 3 ? "<Bookmark name=\"" + std::string(nameLength, 'n') + "\"/>" : "<Bookmark/>";
        for (int i = 0; i < nodes; ++i)
            text += bookmark;
    }
    else if (kind == 1)
    {
        for (int i = 0; i < nodes; ++i)
            text += "<BookmarkGroup expanded=\"true\"/>";
    }
    else
    {
        const int depth = BookmarksReader::kMaxGroupDepth;
        for (int i = 0; i < depth; ++i)
            text += "<BookmarkGroup>";
        for (int i = depth; i < nodes; ++i)
            text += "<Bookmark/>";
        for (int i = 0; i < depth; ++i)
            text += "</BookmarkGroup>";
    }
    return text + "</Bookmarks>\n";
}

void BM_MostNodes(benchmark::State& state)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("Bookmarks.xml");
    testsupport::WriteFileBytes(path, MostNodesFile(static_cast<int>(state.range(0))));
    RunRead(state, path, BookmarksReader::kMaxNodes);
    state.counters["file_MB"] = static_cast<double>(ReadBytes(path).size()) / (1 << 20);
    state.counters["peak_MB"] = PeakMB(path, false);
    state.counters["bare_peak_MB"] = PeakMB(path, true);
}
BENCHMARK(BM_MostNodes)
    ->ArgName("kind")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
} // namespace

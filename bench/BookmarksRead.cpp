// Reading hostile bookmarks files against the bare read of their bytes, in
// the same iterations (the counter "ratio"; "seconds" is the whole read):
//   BM_LongName/chars: one bookmark whose name is that many characters long
//     (two-byte characters, so the file holds twice as many bytes): at the
//     name bound (BookmarkNode::kMaxNameLength) and one beyond it, then 8 MB
//     and 63 MB of name, the latter just within the file size limit. "nodes"
//     is 1 when the file was read and -1 when the reader refused it (as it
//     does every name beyond the bound; target: any file within the size
//     limit is read or refused in under 2 s);
//   BM_ChunkedParse/MB: such a text fed to the parser in 4 KB pieces, as the
//     reader once did, for comparison (time grows with the square of MB);
//   BM_MostNodes/kind: the largest tree the reader accepts (BookmarksReader::
//     kMaxNodes nodes): 0 bookmarks, 1 expanded groups, 2 bookmarks in groups
//     nested as deeply as allowed, each as short as the format allows, and
//     3 bookmarks whose names fill the file up to the size limit, read into
//     the tree.
// Memory, for every file: "peak_MB" is the peak memory of a fresh process
// that reads the file once, "bare_peak_MB" that of one that only reads its
// bytes, "peak_ratio" their quotient and "file_MB" the file's size (target:
// about 0.5 GB at most).

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"
#include "bookmarks/BookmarksReader.h"
#include "model/Atlas.h"
#include "utility/OSUtils.h"
#include "utility/XMLParser.h"

#include "BenchTiming.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// Reads the file into a fresh tree; the number of nodes read, or -1 when the
// reader refused the file.
int ReadTree(const std::string& path)
{
    BookmarkNode::Owned root = BookmarkNode::bookmarkGroup("Root");
    Outline view;
    BookmarksTreeAdapter adapter(&view, root.get());
    try
    {
        BookmarksReader reader(path.c_str(), &adapter);
    }
    catch (const std::runtime_error&)
    {
        return -1;
    }
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

// The first argument of a measuring run (see PeakMB).
const char* const kPeakOf = "--peak-of";

// The high-water mark of this process's memory in kilobytes ("VmHWM").
long OwnPeakKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The sample atlas, which bookmarks read into, loaded without its log.
void LoadAtlas()
{
    testsupport::QuietStdout quiet;
    Atlas::GetAtlas();
}

// A measuring run: loads the atlas as the program has it, then reads the
// file (only its bytes when kind is "bare") once and writes its own peak
// memory in kilobytes on standard output.
int MeasuringRun(const std::string& kind, const std::string& path)
{
    try
    {
        LoadAtlas();
        if (kind == "bare")
            benchmark::DoNotOptimize(ReadBytes(path).size());
        else
            benchmark::DoNotOptimize(ReadTree(path));
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("%ld\n", OwnPeakKB());
    return 0;
}

// The peak memory, in megabytes, of a fresh process that reads the file (its
// bytes only when bare) once: this program started again with kPeakOf. A
// forked copy would not do: it starts with this process's memory, and Linux
// counts that in the copy's peak even after it starts another program.
double PeakMB(const std::string& path, bool bare)
{
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("no pipe for the measuring process");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::string program = "bench_BookmarksRead", flag = kPeakOf, kind = bare ? "bare" : "tree", file = path;
    char* argv[] = {program.data(), flag.data(), kind.data(), file.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string reply;
    char buffer[64];
    for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (spawned != 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 || std::atol(reply.c_str()) <= 0)
        throw std::runtime_error("the measuring process failed");
    return static_cast<double>(std::atol(reply.c_str())) / 1024.0;
}

// The file's size and the peak memory of reading it against a bare read.
void CountPeaks(benchmark::State& state, const std::string& path)
{
    const double peak = PeakMB(path, false), bare = PeakMB(path, true);
    state.counters["file_MB"] = static_cast<double>(ReadBytes(path).size()) / (1 << 20);
    state.counters["peak_MB"] = peak;
    state.counters["bare_peak_MB"] = bare;
    state.counters["peak_ratio"] = peak / bare;
}

// A name of that many two-byte characters.
std::string LongNameFile(size_t characters)
{
    std::string name;
    name.reserve(characters * 2);
    for (size_t i = 0; i < characters; ++i)
        name += "\xC3\xA9";
    return "<Bookmarks><Bookmark name=\"" + name + "\"/></Bookmarks>\n";
}

// Times the read of the file at path into a tree against the bare read of
// its bytes, alternating in each iteration; the nodes read (-1: refused).
int RunRead(benchmark::State& state, const std::string& path)
{
    double readSeconds = 0.0, bareSeconds = 0.0;
    int nodes = 0;
    for (auto _ : state)
    {
        const auto t0 = benchtiming::Clock::now();
        benchmark::DoNotOptimize(ReadBytes(path).size());
        const double bare = benchtiming::Seconds(t0);
        const auto t1 = benchtiming::Clock::now();
        nodes = ReadTree(path);
        const double read = benchtiming::Seconds(t1);
        bareSeconds += bare;
        readSeconds += read;
        state.SetIterationTime(read);
    }
    state.counters["seconds"] = readSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = readSeconds / bareSeconds;
    state.counters["nodes"] = nodes;
    return nodes;
}

const int64_t kNameBound = static_cast<int64_t>(BookmarkNode::kMaxNameLength);

void BM_LongName(benchmark::State& state)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("Bookmarks.xml");
    testsupport::WriteFileBytes(path, LongNameFile(static_cast<size_t>(state.range(0))));
    RunRead(state, path);
    CountPeaks(state, path);
}
BENCHMARK(BM_LongName)
    ->ArgName("chars")
    ->Arg(kNameBound)
    ->Arg(kNameBound + 1)
    ->Arg(int64_t(4) << 20)
    ->Arg(int64_t(63) << 19)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// The text fed in 4 KB pieces to a parser without a handler.
void BM_ChunkedParse(benchmark::State& state)
{
    const std::string text = LongNameFile(static_cast<size_t>(state.range(0)) << 19);
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
    if (RunRead(state, path) != BookmarksReader::kMaxNodes)
        state.SkipWithError("the tree was not read whole");
    CountPeaks(state, path);
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

int main(int argc, char** argv)
{
    // Every bookmark starts from the sample atlas's empty selections.
    setenv("NUVARO_DATA_DIR", NUVARO_BENCH_DATA_DIR, 0);
    if (argc == 4 && std::strcmp(argv[1], kPeakOf) == 0)
        return MeasuringRun(argv[2], argv[3]);
    LoadAtlas();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#ifndef NUVARO_TESTS_FUZZ_FUZZTARGET_H
#define NUVARO_TESTS_FUZZ_FUZZTARGET_H

// One fuzz target per reader of outside bytes. Built with -DNUVARO_FUZZ=ON
// (clang), each target file becomes a libFuzzer program of its own
// (fuzz_<Name>); in the normal build every target is linked into test_fuzz,
// which replays the seed corpus and every input that ever crashed through the
// same entry points.
//
// A target feeds the bytes to its reader and lets the reader's failure road
// (std::exception) pass silently; anything else (a crash, a sanitizer report,
// a hang, an absurd allocation) is a finding.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace fuzz
{
using Entry = void (*)(const uint8_t* data, size_t size);

// Registers a target for the replay test; returns true.
bool Register(const char* name, Entry entry);
// Every registered target, by name.
const std::vector<std::pair<std::string, Entry>>& Targets();

// The process-wide setup the readers need, made on the first call: the small
// test atlas, a preference store in memory, platform services that record
// (and forget) alerts and answer questions "no", and log lines kept off the
// output in fuzzing runs.
void Prepare();
// Writes the bytes to a scratch file (the same path on every call with that
// name) and returns its path.
std::string ScratchFile(const char* name, const uint8_t* data, size_t size);

// For readers that start their own transfer and delete themselves after
// their one report: with fake transfers (testsupport::FakeNetFile) and an
// installed search-domain list of version 5, runs start, which makes the
// reader (its failure road is no finding), then answers the reader's transfer
// with the bytes after the first, cut into two chunks where the first byte
// says, and completes it unless the reader ends it on the way.
void AnswerTheTransferOf(const uint8_t* data, size_t size, const std::function<void()>& start);

// Runs f; the reader's failure road is no finding.
template <typename F>
void Expected(F&& f)
{
    try
    {
        f();
    }
    catch (const std::exception&)
    {
    }
}
} // namespace fuzz

#ifdef NUVARO_FUZZ_ENTRY
#define NUVARO_FUZZ_TARGET(name)                                                                                      \
    static void Fuzz##name(const uint8_t* data, size_t size);                                                         \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                           \
    {                                                                                                                 \
        fuzz::Prepare();                                                                                              \
        Fuzz##name(data, size);                                                                                       \
        return 0;                                                                                                     \
    }                                                                                                                 \
    static void Fuzz##name(const uint8_t* data, size_t size)
#else
#define NUVARO_FUZZ_TARGET(name)                                                                                      \
    static void Fuzz##name(const uint8_t* data, size_t size);                                                         \
    static const bool sRegistered##name = fuzz::Register(#name, Fuzz##name);                                          \
    static void Fuzz##name(const uint8_t* data, size_t size)
#endif

#endif

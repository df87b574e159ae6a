#ifndef NUVARO_QT_SHELL_OPENREQUEST_H
#define NUVARO_QT_SHELL_OPENREQUEST_H

#include <cstddef>
#include <string>
#include <vector>

// The message a new launch sends to the application already running on the
// desktop: the files it was asked to open, as absolute paths in their order
// (none: only bring the window forward).
//
//   "NVOF", version (2 bytes, big-endian, 2), file count (2 bytes), then for
//   each file its length (2 bytes) and its bytes (an absolute path, no NUL).
//
// A hand-over is opened once or not at all, whoever gives up first: the
// application answers kTaking only when its main thread is about to open the
// files; the launch, if it still waits, answers kGo and from then on counts
// the files as handed over; the application opens them only once it has read
// kGo. A launch that has given up (closed the connection, or got kTaking too
// late) gets nothing opened, and an application that stops waiting for kGo
// shuts the connection for reading first, so that a later kGo fails to send.
// Anything the application cannot read it refuses by closing the connection
// without an answer. A message is never longer than kMaxRequestBytes, so a
// peer cannot make the reader hold more.
namespace OpenRequest
{
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kMaxFiles = 256;
// The files one launch hands over: the application opens no more of one
// request, since each file read keeps its main thread and takes memory
// (a launch keeps the window busy for a second or so at most).
constexpr std::size_t kMaxHandedOverFiles = 32;
// One less than the system's PATH_MAX: no longer path can be opened.
constexpr std::size_t kMaxPathBytes = 4095;
constexpr std::size_t kMaxRequestBytes = kHeaderBytes + kMaxFiles * (2 + kMaxPathBytes);
// The application's answer once it is about to open the files, and the
// launch's answer to that (both kAnswerBytes long).
constexpr std::size_t kAnswerBytes = 4;
extern const std::string kTaking;
extern const std::string kGo;

// True for a path a request can carry: absolute, not longer than
// kMaxPathBytes, without NUL.
bool CanCarry(const std::string& path);

// The requests that carry the files (each must pass CanCarry), as many as
// the bounds need and at least one.
std::vector<std::string> Encode(const std::vector<std::string>& files);

// Reads one request from bytes as they arrive.
class Decoder
{
public:
    enum class State
    {
        NeedMore,
        Complete,
        Refused
    };

    // Takes the next bytes. Once Complete or Refused, any further byte
    // refuses the request.
    State Feed(const char* data, std::size_t size);
    State GetState() const { return m_state; }
    // The files of a complete request.
    const std::vector<std::string>& Files() const { return m_files; }
    // Why the request was refused.
    const std::string& Error() const { return m_error; }

private:
    enum class Part
    {
        Header,
        Length,
        Path
    };

    State Refuse(const std::string& why);
    // The part in m_part is whole in m_field: check it and go on.
    void TakeField();

    State m_state = State::NeedMore;
    Part m_part = Part::Header;
    std::string m_field;
    std::size_t m_need = kHeaderBytes;
    std::size_t m_count = 0;
    std::vector<std::string> m_files;
    std::string m_error;
};
} // namespace OpenRequest

#endif

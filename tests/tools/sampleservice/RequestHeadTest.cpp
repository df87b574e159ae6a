#include "RequestHead.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using namespace sampleservice;

namespace
{
const size_t kMaxBody = 4096;

HeadVerdict Judge(const std::string& fields)
{
    return JudgeRequestHead("POST /services/GeneSearchService HTTP/1.1\r\n" + fields, kMaxBody);
}
} // namespace

TEST(RequestHead, FramingTheLibraryCouldReadOtherwiseIsRefused)
{
    // Fields (each ended by CR LF), the status they are refused with (0: not
    // refused) and the body length read.
    const std::tuple<std::string, int, size_t> cases[] = {
        {"", 0, 0},
        {"Host: x\r\n", 0, 0},
        {"Content-Length: 12\r\n", 0, 12},
        {"content-LENGTH:\t 0012 \t\r\n", 0, 12},
        {"Content-Length: 4096\r\n", 0, 4096},
        {"Content-Length: 12 34\r\n", 400, 0},
        {"Content-Length: 12\r\nContent-Length: 12\r\n", 400, 0},
        {"Content-Length: 12\r\nContent-Length: 3\r\n", 400, 0},
        {"Content-Length: -1\r\n", 400, 0},
        {"Content-Length: 1e3\r\n", 400, 0},
        {"Content-Length: %31\r\n", 400, 0},
        {"Content-Length:\r\n", 400, 0},
        {"Content-Length: 4097\r\n", 413, 0},
        {"Content-Length: 184467440737095516160\r\n", 413, 0},
        // Lines the library would skip or join differently.
        {"Content-Length: 12\n", 400, 0},
        {"Host: x\r\n continued\r\n", 400, 0},
        {"Content-Length : 12\r\n", 400, 0},
        {"no colon\r\n", 400, 0},
        {": empty name\r\n", 400, 0},
        // Encoded bodies, whatever the case or list.
        {"Content-Encoding: gzip\r\nContent-Length: 12\r\n", 415, 0},
        {"Content-Encoding: identity, br\r\n", 415, 0},
        {"content-encoding: Identity\r\nContent-Length: 12\r\n", 0, 12},
        // A chunked body is read by nobody: the service refuses it.
        {"Transfer-Encoding: chunked\r\nContent-Length: 12\r\n", 411, 0},
        {"transfer-encoding: identity\r\n", 411, 0},
        // A malformed length outweighs a large one.
        {"Content-Length: 99999\r\nContent-Length: 1\r\n", 400, 0}};
    for (const auto& [fields, refusal, length] : cases)
    {
        const HeadVerdict verdict = Judge(fields);
        EXPECT_EQ(verdict.refusal, refusal) << fields;
        EXPECT_EQ(verdict.refusal == 0, verdict.reason.empty()) << fields;
        EXPECT_EQ(verdict.bodyLength, length) << fields;
    }
    EXPECT_EQ(JudgeRequestHead("GET / HTTP/1.1\n", kMaxBody).refusal, 400);
    // Without a length the body is empty; the guard then announces that.
    EXPECT_FALSE(Judge("Host: x\r\n").lengthAnnounced);
    EXPECT_TRUE(Judge("Content-Length: 0\r\n").lengthAnnounced);
}

TEST(RequestHead, SeveralRangesLoseTheirFields)
{
    const std::pair<std::string, bool> cases[] = {{"Range: bytes=0-9\r\n", false},
                                                  {"Range: bytes=0-1,5-9\r\n", true},
                                                  {"range: bytes=0-1\r\nRANGE: bytes=5-9\r\n", true},
                                                  {"X-Range: a,b\r\n", false}};
    for (const auto& [fields, several] : cases)
        EXPECT_EQ(Judge(fields).severalRanges, several) << fields;
    EXPECT_EQ(WithoutRangeFields("GET /a HTTP/1.1\r\nHost: x\r\nRange: bytes=0-1,5-9\r\nX-Range: y\r\n"
                                 "range: bytes=3-4\r\nAccept: */*\r\n"),
              "GET /a HTTP/1.1\r\nHost: x\r\nX-Range: y\r\nAccept: */*\r\n");
}

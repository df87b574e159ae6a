#ifndef NUVARO_SAMPLESERVICE_REQUESTHEAD_H
#define NUVARO_SAMPLESERVICE_REQUESTHEAD_H

#include <cstddef>
#include <string>
#include <string_view>

namespace sampleservice
{
// What the guarded server makes of a request head before the HTTP library
// reads it. The guard and the library must agree on where a request ends, so
// every head whose framing the two could read differently is refused.
struct HeadVerdict
{
    int refusal = 0;          // 0: pass the request on; else the status to refuse it with
    std::string reason;       // why it is refused, a sentence for the reply's body
    size_t bodyLength = 0;    // the body length the library will read
    bool lengthAnnounced = false; // the head has a Content-Length field (else the body is empty)
    bool severalRanges = false; // more than one Range header, or one naming several ranges
};

// Judges a request head: its request line and header lines, each ended by
// CR LF, without the blank line that closes it. Refused with
//  400: a line ended by a bare LF, a line that is no "name: value" field (a
//       folded line, white space in the name), or a Content-Length that is
//       repeated or not a plain decimal number;
//  411: a Transfer-Encoding (a chunked body, which the library would read
//       without bound);
//  415: a Content-Encoding other than identity (the library would inflate the
//       body without bound);
//  413: a Content-Length beyond maxBodyBytes.
HeadVerdict JudgeRequestHead(std::string_view head, size_t maxBodyBytes);

// The head without its Range fields.
std::string WithoutRangeFields(std::string_view head);
} // namespace sampleservice

#endif

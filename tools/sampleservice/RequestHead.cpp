#include "RequestHead.h"

#include "utility/StringUtils.h"

namespace sampleservice
{
namespace
{
bool IsSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

// Calls visit(line, name, value) for every field line after the request
// line (line with its CR LF, value without surrounding white space). False,
// at the first line that is not a field the library reads as one.
template <class Visit>
bool ForEachField(std::string_view head, Visit visit)
{
    size_t start = head.find('\n');
    if (start == std::string_view::npos || start == 0 || head[start - 1] != '\r')
        return false;
    ++start;
    while (start < head.size())
    {
        const size_t end = head.find('\n', start);
        if (end == std::string_view::npos || head[end - 1] != '\r')
            return false;
        const std::string_view line = head.substr(start, end - 1 - start);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            return false;
        const std::string_view name = line.substr(0, colon);
        for (char c : name)
            if (IsSpaceOrTab(c))
                return false;
        size_t first = colon + 1;
        size_t last = line.size();
        while (first < last && IsSpaceOrTab(line[first]))
            ++first;
        while (last > first && IsSpaceOrTab(line[last - 1]))
            --last;
        visit(head.substr(start, end + 1 - start), name, line.substr(first, last - first));
        start = end + 1;
    }
    return true;
}

HeadVerdict Refused(int status, std::string reason)
{
    HeadVerdict verdict;
    verdict.refusal = status;
    verdict.reason = std::move(reason);
    return verdict;
}
} // namespace

HeadVerdict JudgeRequestHead(std::string_view head, size_t maxBodyBytes)
{
    int lengths = 0, ranges = 0;
    bool lengthMalformed = false, tooLarge = false, chunked = false, encoded = false, severalRanges = false;
    size_t length = 0;
    const bool fields = ForEachField(head, [&](std::string_view, std::string_view name, std::string_view value) {
        if (StringUtils::EqualsIgnoringCase(name, "content-length"))
        {
            ++lengths;
            lengthMalformed = lengthMalformed || value.empty();
            for (char c : value)
            {
                if (c < '0' || c > '9')
                {
                    lengthMalformed = true;
                    break;
                }
                if (!tooLarge)
                {
                    length = length * 10 + static_cast<size_t>(c - '0');
                    tooLarge = length > maxBodyBytes;
                }
            }
        }
        else if (StringUtils::EqualsIgnoringCase(name, "transfer-encoding"))
            chunked = true;
        else if (StringUtils::EqualsIgnoringCase(name, "content-encoding"))
            encoded = encoded || !StringUtils::EqualsIgnoringCase(value, "identity");
        else if (StringUtils::EqualsIgnoringCase(name, "range"))
        {
            ++ranges;
            severalRanges = severalRanges || value.find(',') != std::string_view::npos;
        }
    });
    if (!fields)
        return Refused(400, "The request head holds a line that is not a header field.");
    if (lengthMalformed || lengths > 1)
        return Refused(400, "The request's Content-Length is not one plain decimal number.");
    if (chunked)
        return Refused(411, "The sample service reads request bodies of announced length only.");
    if (encoded)
        return Refused(415, "The sample service reads request bodies without Content-Encoding only.");
    if (tooLarge)
        return Refused(413, "The request body is larger than the sample service accepts.");
    HeadVerdict verdict;
    verdict.bodyLength = length;
    verdict.lengthAnnounced = lengths == 1;
    verdict.severalRanges = severalRanges || ranges > 1;
    return verdict;
}

std::string WithoutRangeFields(std::string_view head)
{
    std::string kept(head.substr(0, head.find('\n') + 1));
    ForEachField(head, [&kept](std::string_view line, std::string_view name, std::string_view) {
        if (!StringUtils::EqualsIgnoringCase(name, "range"))
            kept += line;
    });
    return kept;
}
} // namespace sampleservice

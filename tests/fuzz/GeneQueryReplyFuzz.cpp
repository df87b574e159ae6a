// Gene search replies (SOAP or plain XML; the first byte chooses), parsed as
// they stream in: the rest is fed in two chunks split where the second byte says.
#include "FuzzTarget.h"

#include "network/GeneQuery.h"
#include "utility/XMLParser.h"

NUVARO_FUZZ_TARGET(GeneQueryReply)
{
    if (size < 2)
        return;
    GeneQueryReplyReader reader;
    reader.StartReply((data[0] & 1) != 0);
    XMLParser parser(&reader);
    const char* text = reinterpret_cast<const char*>(data + 2);
    const int length = static_cast<int>(size - 2);
    const int split = length == 0 ? 0 : data[1] % (length + 1);
    fuzz::Expected([&] {
        if (parser.Parse(text, split, false))
            parser.Parse(text + split, length - split, true);
        else
            parser.Parse(nullptr, 0, true);
    });
    reader.TakeItems();
}

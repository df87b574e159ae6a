// A block whose announced size its compressed bytes could plausibly produce
// is inflated in one call; a larger one (highly compressible data) in steps
// that grow the output. Both keep every check on untrusted blocks.
#include "io/BufferCompression.h"

#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

namespace
{
// A block of the data's zlib stream announcing `announced` bytes; the last
// compressed byte (the checksum's) flipped when asked.
MemoryStream Block(const std::vector<unsigned char>& data, unsigned int announced, bool badChecksum = false)
{
    uLongf c = compressBound(static_cast<uLong>(data.size()));
    std::vector<unsigned char> z(c);
    compress(z.data(), &c, data.data(), static_cast<uLong>(data.size()));
    if (badChecksum)
        z[c - 1] ^= 0x5A;
    MemoryStream block(8 + static_cast<unsigned int>(c));
    block.WriteValue<uint32_t>(announced);
    block.WriteValue<uint32_t>(static_cast<uint32_t>(c));
    block.Write(z.data(), static_cast<unsigned int>(c));
    block.Seek(0);
    return block;
}
} // namespace

TEST(CompressedBlockPaths, BothInflateWhatWasPackedAndRefuseWhatDoesNotMatch)
{
    std::vector<unsigned char> noise(300000), zeros(2000000, 0);
    uint32_t seed = 1;
    for (unsigned char& b : noise)
    {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    for (const auto* data : {&noise, &zeros})
    {
        const unsigned int n = static_cast<unsigned int>(data->size());
        SCOPED_TRACE(data == &noise ? "in one call" : "in steps");
        for (const bool inMemory : {false, true})
        {
            const auto read = [&](MemoryStream block) {
                MemoryStream out(0);
                const std::string error = testsupport::RuntimeErrorOf([&] {
                    if (inMemory)
                        ReadCompressedBuffer(block, out);
                    else
                        ReadCompressedBuffer(static_cast<IOStream&>(block), out);
                });
                return error.empty() && std::vector<unsigned char>(out.GetBuffer(), out.GetBuffer() + n) == *data
                           ? std::string("same")
                           : error;
            };
            EXPECT_EQ(read(Block(*data, n)), "same");
            EXPECT_EQ(read(Block(*data, n + 1)),
                      "Error while reading grid file. The compressed data is shorter than announced.");
            EXPECT_EQ(read(Block(*data, n - 1)), "Error while reading grid file.");
            EXPECT_EQ(read(Block(*data, n, true)), "Error while reading grid file.");
        }
    }
}

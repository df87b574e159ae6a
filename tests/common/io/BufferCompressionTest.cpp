#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"
#include "utility/ByteSwapper.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
std::vector<unsigned char> Pattern(unsigned int n)
{
    std::vector<unsigned char> data(n);
    for (unsigned int i = 0; i < n; ++i)
        data[i] = static_cast<unsigned char>((i * 7u) ^ (i >> 3));
    return data;
}

// A block with hand-made header fields around a real zlib stream of data.
MemoryStream RawBlock(unsigned int storedN, const std::vector<unsigned char>& data, int cDelta = 0,
                      unsigned int extraTail = 0)
{
    uLongf c = compressBound(static_cast<uLong>(data.size()));
    std::vector<unsigned char> z(c);
    compress(z.data(), &c, data.data(), static_cast<uLong>(data.size()));
    MemoryStream block(8 + static_cast<unsigned int>(c) + extraTail);
    block.WriteValue<uint32_t>(HostToLittleEndian(storedN));
    block.WriteValue<uint32_t>(HostToLittleEndian(static_cast<uint32_t>(static_cast<int>(c) + cDelta)));
    block.Write(z.data(), static_cast<unsigned int>(c));
    block.Seek(0);
    return block;
}

std::string ReadError(MemoryStream& block, unsigned int maxSize = kDefaultMaxUncompressedSize)
{
    MemoryStream out(0);
    return testsupport::RuntimeErrorOf([&] { ReadCompressedBuffer(static_cast<IOStream&>(block), out, maxSize); });
}
} // namespace

TEST(CompressedBuffer, RoundTripsConsecutiveBlocksThroughAFile)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("blocks.bin");
    const auto first = Pattern(100000);
    const auto second = Pattern(3);
    {
        FileStream out(path.c_str(), std::ios::out | std::ios::binary);
        WriteCompressedBuffer(out, first.data(), static_cast<unsigned int>(first.size()));
        WriteCompressedBuffer(out, nullptr, 0);
        WriteCompressedBuffer(out, second.data(), static_cast<unsigned int>(second.size()));
    }
    FileStream in(path.c_str(), std::ios::in | std::ios::binary);
    MemoryStream a(0), empty(5), b(0);
    ReadCompressedBuffer(in, a);
    ReadCompressedBuffer(in, empty);
    ReadCompressedBuffer(in, b);
    ASSERT_EQ(a.GetBufferSize(), first.size());
    EXPECT_EQ(std::vector<unsigned char>(a.GetBuffer(), a.GetBuffer() + a.GetBufferSize()), first);
    EXPECT_EQ(a.Tell(), 0u);
    EXPECT_EQ(empty.GetBufferSize(), 0u);
    EXPECT_EQ(std::vector<unsigned char>(b.GetBuffer(), b.GetBuffer() + 3), second);
}

TEST(CompressedBuffer, HeaderFieldsAreLittleEndian)
{
    MemoryStream out(64);
    const unsigned int c = WriteCompressedBuffer(out, nullptr, 0);
    const unsigned char* p = out.GetBuffer();
    EXPECT_EQ(p[0] | p[1] | p[2] | p[3], 0);
    EXPECT_EQ(p[4] | (p[5] << 8) | (p[6] << 16) | (p[7] << 24), static_cast<int>(c));
    EXPECT_EQ(out.Tell(), 8 + c);
}

TEST(CompressedBuffer, UntrustedHeadersFailCleanly)
{
    const auto data = Pattern(5000);

    MemoryStream shortStream = RawBlock(6000, data);
    EXPECT_EQ(ReadError(shortStream), "Error while reading grid file. The compressed data is shorter than announced.");

    MemoryStream longStream = RawBlock(4000, data);
    EXPECT_EQ(ReadError(longStream), "Error while reading grid file.");

    MemoryStream huge = RawBlock(0xFFFFFFF0u, data);
    EXPECT_EQ(ReadError(huge), "Compressed data is larger than this file can hold.");

    MemoryStream capped = RawBlock(5000, data);
    EXPECT_NE(ReadError(capped, 4096), "");

    // Compressed size runs past the end of the input: the stream error, no huge allocation.
    MemoryStream truncated = RawBlock(5000, data, +100);
    EXPECT_EQ(ReadError(truncated), "Unexpected end of stream while reading.");

    MemoryStream corrupt = RawBlock(5000, data);
    corrupt.GetBuffer()[12] ^= 0xFF;
    corrupt.GetBuffer()[20] ^= 0xFF;
    EXPECT_EQ(ReadError(corrupt), "Error while reading grid file.");
}

TEST(CompressedBuffer, InMemoryFormStaysInsideItsInput)
{
    const auto data = Pattern(2000);
    MemoryStream good = RawBlock(2000, data, 0, 4);
    MemoryStream out(0);
    ReadCompressedBuffer(good, out);
    EXPECT_EQ(out.GetBufferSize(), 2000u);
    EXPECT_EQ(good.Tell(), good.GetBufferSize() - 4);

    MemoryStream beyond = RawBlock(2000, data, +3);
    MemoryStream out2(0);
    EXPECT_THROW(ReadCompressedBuffer(beyond, out2), std::runtime_error);
    EXPECT_EQ(beyond.Tell(), 8u);
}

TEST(CompressedBuffer, EmptyBlockReadsIntoAStreamThatHoldsNothingYet)
{
    MemoryStream block(64);
    WriteCompressedBuffer(block, nullptr, 0);
    const unsigned int end = block.Tell();
    for (const bool inMemory : {false, true})
    {
        block.Seek(0);
        MemoryStream out(0);
        if (inMemory)
            ReadCompressedBuffer(block, out);
        else
            ReadCompressedBuffer(static_cast<IOStream&>(block), out);
        EXPECT_EQ(out.GetBufferSize(), 0u) << inMemory;
        EXPECT_EQ(block.Tell(), end) << inMemory;
    }
}

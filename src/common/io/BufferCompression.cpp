#include "io/BufferCompression.h"

#include "utility/ByteSwapper.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace
{
const char* const kReadError = "Error while reading grid file.";
const char* const kShorterThanAnnounced =
    "Error while reading grid file. The compressed data is shorter than announced.";

struct BlockHeader
{
    unsigned int uncompressedSize;
    unsigned int compressedSize;
};

BlockHeader ReadHeader(IOStream& in, unsigned int maxSize)
{
    BlockHeader header;
    header.uncompressedSize = LittleEndianToHost(in.ReadValue<uint32_t>());
    header.compressedSize = LittleEndianToHost(in.ReadValue<uint32_t>());
    if (header.uncompressedSize > maxSize)
        throw std::runtime_error("Compressed data is larger than this file can hold.");
    // No zlib stream of n bytes is larger than compressBound(n): a bigger
    // compressed size can only come from a corrupt header.
    if (header.compressedSize > compressBound(header.uncompressedSize))
        throw std::runtime_error(kReadError);
    return header;
}

// Inflates the whole block from source into out, which holds exactly
// header.uncompressedSize bytes already: one inflate call to the end of the
// stream, with the same checks as the stepwise road.
void InflateWhole(const unsigned char* source, const BlockHeader& header, MemoryStream& out)
{
    const unsigned int n = header.uncompressedSize;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        throw std::runtime_error(kReadError);
    // An empty buffer may have no storage; zlib refuses a null output pointer.
    unsigned char none;
    zs.next_in = const_cast<unsigned char*>(source);
    zs.avail_in = header.compressedSize;
    zs.next_out = n > 0 ? out.GetBuffer() : &none;
    zs.avail_out = n;
    const int status = inflate(&zs, Z_FINISH);
    const unsigned long produced = zs.total_out;
    inflateEnd(&zs);
    if (status != Z_STREAM_END)
        throw std::runtime_error(kReadError);
    if (produced != n)
        throw std::runtime_error(kShorterThanAnnounced);
    out.Seek(0);
}

// Inflates exactly header.uncompressedSize bytes from source into out. The
// output grows with the data actually produced, so a header cannot make us
// allocate memory that the stream never fills.
void Inflate(const unsigned char* source, const BlockHeader& header, MemoryStream& out)
{
    const unsigned int n = header.uncompressedSize;
    // Start from a size the compressed bytes could plausibly produce, then double.
    const unsigned long long initial = std::max<unsigned long long>(64u * 1024u, 8ull * header.compressedSize);
    unsigned int capacity = static_cast<unsigned int>(std::min<unsigned long long>(n, initial));
    out.Resize(capacity);
    if (capacity == n)
    {
        // Room for all of it from the start: inflated in one call, with the
        // same checks (format, checksum, exactly n bytes).
        InflateWhole(source, header, out);
        return;
    }

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        throw std::runtime_error(kReadError);
    zs.next_in = const_cast<unsigned char*>(source);
    zs.avail_in = header.compressedSize;
    unsigned int produced = 0;
    int status = Z_OK;
    // An empty buffer may have no storage, and zlib refuses a null output
    // pointer even when no room is offered.
    unsigned char none;
    for (;;)
    {
        zs.next_out = capacity > 0 ? out.GetBuffer() + produced : &none;
        zs.avail_out = capacity - produced;
        status = inflate(&zs, Z_NO_FLUSH);
        produced = capacity - zs.avail_out;
        if (status == Z_STREAM_END)
            break;
        if (status != Z_OK && status != Z_BUF_ERROR)
            break;
        if (zs.avail_out != 0)
        {
            status = Z_DATA_ERROR; // input exhausted before the stream ended
            break;
        }
        if (capacity < n)
        {
            capacity = static_cast<unsigned int>(std::min<unsigned long long>(n, 2ull * capacity));
            out.Resize(capacity);
            continue;
        }
        // All n bytes produced: the stream must end here without more output.
        unsigned char probe;
        zs.next_out = &probe;
        zs.avail_out = 1;
        status = inflate(&zs, Z_NO_FLUSH);
        if (status != Z_STREAM_END || zs.avail_out != 1)
            status = Z_DATA_ERROR;
        break;
    }
    inflateEnd(&zs);

    if (status != Z_STREAM_END)
        throw std::runtime_error(kReadError);
    if (produced != n)
        throw std::runtime_error(kShorterThanAnnounced);
    out.Resize(n);
    out.Seek(0);
}
} // namespace

unsigned int WriteCompressedBuffer(IOStream& out, const void* data, unsigned int n)
{
    // Work buffer of n * 1.001 + 12 bytes, never below zlib's own bound.
    const unsigned long workSize = std::max<unsigned long>(
        static_cast<unsigned long>(static_cast<float>(n) * 1.001f + 12.0f), compressBound(n));
    std::vector<unsigned char> work(workSize);
    uLongf compressedSize = workSize;
    if (compress(work.data(), &compressedSize, static_cast<const Bytef*>(data), n) != Z_OK ||
        compressedSize > 0xFFFFFFFFul)
        throw std::runtime_error("Grid file could not be compressed.");

    const unsigned int c = static_cast<unsigned int>(compressedSize);
    out.WriteValue<uint32_t>(HostToLittleEndian(n));
    out.WriteValue<uint32_t>(HostToLittleEndian(c));
    out.Write(work.data(), c);
    return c;
}

void ReadCompressedBuffer(IOStream& in, MemoryStream& out, unsigned int maxSize)
{
    const BlockHeader header = ReadHeader(in, maxSize);

    // Read in bounded chunks so that a truncated file fails before we have
    // allocated what its header claims.
    std::vector<unsigned char> compressed;
    const unsigned int chunk = 1u << 20;
    unsigned int done = 0;
    while (done < header.compressedSize)
    {
        const unsigned int count = std::min(chunk, header.compressedSize - done);
        compressed.resize(done + count);
        in.Read(compressed.data() + done, count);
        done += count;
    }
    Inflate(compressed.data(), header, out);
}

void ReadCompressedBuffer(MemoryStream& in, MemoryStream& out, unsigned int maxSize)
{
    const BlockHeader header = ReadHeader(in, maxSize);
    if (header.compressedSize > in.GetBufferSize() - in.Tell())
        throw std::runtime_error("Unexpected end of stream while reading.");
    Inflate(in.GetCurrentPosition(), header, out);
    in.Skip(header.compressedSize);
}

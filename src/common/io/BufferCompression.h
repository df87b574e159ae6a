#ifndef NUVARO_IO_BUFFERCOMPRESSION_H
#define NUVARO_IO_BUFFERCOMPRESSION_H

#include "io/IOStream.h"
#include "io/MemoryStream.h"

// A compressed block: u32 uncompressed size n, u32 compressed size c (both
// little-endian), then c bytes of a zlib stream. Blocks follow each other
// directly when a file holds several.

// Largest block a reader accepts unless its caller expects more.
constexpr unsigned int kDefaultMaxUncompressedSize = 256u * 1024u * 1024u;

// Packs n bytes into out as one block; returns c. Throws
// "Grid file could not be compressed." and writes nothing on failure.
unsigned int WriteCompressedBuffer(IOStream& out, const void* data, unsigned int n);

// Unpacks the next block of in into out (cursor at 0). The sizes in the
// header are untrusted: a block announcing more than maxSize bytes, a zlib
// stream that is corrupt, or one that inflates to more or fewer bytes than
// announced fails with a std::runtime_error; memory grows only with the data
// actually present.
void ReadCompressedBuffer(IOStream& in, MemoryStream& out,
                          unsigned int maxSize = kDefaultMaxUncompressedSize);

// Same, inflating straight from in's bytes at its cursor; on success in stands
// after the block.
void ReadCompressedBuffer(MemoryStream& in, MemoryStream& out,
                          unsigned int maxSize = kDefaultMaxUncompressedSize);

#endif

// Compressed blocks (grid file contents, packed atlas maps), read from a
// stream and straight from memory.
#include "FuzzTarget.h"

#include "io/BufferCompression.h"
#include "io/MemoryStream.h"

#include <cstring>

NUVARO_FUZZ_TARGET(CompressedBlock)
{
    for (bool fromMemory : {false, true})
    {
        MemoryStream in(static_cast<unsigned>(size));
        if (size > 0)
            std::memcpy(in.GetBuffer(), data, size);
        MemoryStream out(0);
        fuzz::Expected([&] {
            // Every block of the input, as a reader takes them one after another.
            for (int block = 0; block < 4; ++block)
            {
                if (fromMemory)
                    ReadCompressedBuffer(in, out, 1u << 20);
                else
                    ReadCompressedBuffer(static_cast<IOStream&>(in), out, 1u << 20);
            }
        });
    }
}

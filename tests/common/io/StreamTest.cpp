#include "io/FileStream.h"
#include "io/MemoryStream.h"
#include "support/ErrorText.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"
#include "utility/ByteSwapper.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

using testsupport::RuntimeErrorOf;

TEST(StreamString, LengthPrefixAndLimits)
{
    MemoryStream s(600);
    const std::string s255(255, 'a');
    s.WriteString(s255);
    EXPECT_EQ(s.Tell(), 256u);
    EXPECT_EQ(s.GetBuffer()[0], 0xFF);

    const std::string s256(256, 'b');
    EXPECT_EQ(RuntimeErrorOf([&] { s.WriteString(s256); }),
              "Could not write string to stream. The string was too long: " + s256);
    EXPECT_EQ(s.Tell(), 256u) << "a rejected string writes nothing";

    s.WriteString("");
    EXPECT_EQ(s.Tell(), 257u);
    EXPECT_EQ(s.GetBuffer()[256], 0x00);

    s.Seek(0);
    std::string back;
    s.ReadString(back);
    EXPECT_EQ(back, s255);
    std::string kept = "previous";
    s.ReadString(kept);
    EXPECT_EQ(kept, "previous") << "reading an empty string leaves the target alone";
}

TEST(MemoryStreamBounds, EndOfBufferRules)
{
    MemoryStream empty(0);
    char byte = 0;
    EXPECT_THROW(empty.Read(&byte, 1), std::runtime_error);
    EXPECT_THROW(empty.Write(&byte, 1), std::runtime_error);
    EXPECT_NO_THROW(empty.Seek(0));
    EXPECT_NO_THROW(empty.Skip(0));

    MemoryStream s(10);
    s.Seek(8);
    char two[2];
    s.Read(two, 2);
    EXPECT_EQ(s.Tell(), 10u);
    EXPECT_EQ(RuntimeErrorOf([&] { s.Read(&byte, 1); }), "Unexpected end of stream while reading.");
    EXPECT_EQ(s.Tell(), 10u);
    EXPECT_NO_THROW(s.Seek(10));
    EXPECT_EQ(RuntimeErrorOf([&] { s.Seek(11); }), "Cannot seek past end of stream.");
    s.Seek(8);
    EXPECT_EQ(RuntimeErrorOf([&] { s.Skip(3); }), "Cannot seek past end of stream.");
    EXPECT_EQ(s.Tell(), 8u) << "a failed skip leaves the cursor";

    const char three[3] = {1, 2, 3};
    EXPECT_EQ(RuntimeErrorOf([&] { s.Write(three, 3); }), "Unexpected end of stream while writing.");
    EXPECT_EQ(s.GetBufferSize(), 10u) << "writing never enlarges the buffer";
    EXPECT_EQ(s.GetBuffer()[8], 0);

    // Huge counts do not wrap around past the end.
    char buffer[16];
    EXPECT_THROW(s.Read(buffer, 0xFFFFFFFFu), std::runtime_error);
    EXPECT_THROW(s.Write(buffer, 0xFFFFFFF9u), std::runtime_error);
    EXPECT_THROW(s.Skip(0xFFFFFFF9u), std::runtime_error);
    EXPECT_EQ(s.Tell(), 8u);
}

TEST(MemoryStreamResize, KeepsOrClampsCursor)
{
    MemoryStream s(8);
    const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    s.Write(data, 8);
    s.Resize(4);
    EXPECT_EQ(s.Tell(), 4u);
    EXPECT_EQ(s.GetCurrentPosition(), s.GetBuffer() + 4);

    s.Seek(2);
    s.Resize(12);
    EXPECT_EQ(s.Tell(), 2u);
    EXPECT_EQ(s.GetBufferSize(), 12u);
    EXPECT_EQ(s.GetBuffer()[3], 4);
    for (int i = 4; i < 12; ++i)
        EXPECT_EQ(s.GetBuffer()[i], 0) << i;
}

TEST(FileStreamTest, LittleEndianOnDiskAndErrors)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("value.bin");
    {
        FileStream out(path.c_str(), std::ios::out | std::ios::binary);
        out.WriteValue<uint32_t>(HostToLittleEndian(0x01020304u));
        out.WriteString("abc");
    }
    const std::string bytes = testsupport::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.substr(4), std::string("\x03" "abc", 4));

    FileStream in(path.c_str(), std::ios::in | std::ios::binary);
    EXPECT_EQ(LittleEndianToHost(in.ReadValue<uint32_t>()), 0x01020304u);
    EXPECT_EQ(in.Tell(), 4u);
    in.Skip(1);
    char abc[3];
    in.Read(abc, 3);
    EXPECT_EQ(std::string(abc, 3), "abc");
    EXPECT_EQ(RuntimeErrorOf([&] { in.Read(abc, 1); }), "Error while reading file.");
    EXPECT_NO_THROW(in.Close()) << "a failed read is no failure to write";

    EXPECT_EQ(RuntimeErrorOf([&] { FileStream missing(dir.File("missing").c_str(), std::ios::in | std::ios::binary); }),
              "File could not be opened.");
    EXPECT_EQ(RuntimeErrorOf([&] { FileStream folder(dir.Path().c_str(), std::ios::in | std::ios::binary); }),
              "File could not be opened.");
    // A named pipe where a file to read is expected (a grid file the user
    // opens, a mesh) is refused at once instead of waiting for a writer.
    testsupport::FifoWatch pipe(dir.File("pipe.xpr"));
    EXPECT_EQ(RuntimeErrorOf([&] { FileStream fifo(dir.File("pipe.xpr").c_str(), std::ios::in | std::ios::binary); }),
              "File could not be opened.");
    EXPECT_FALSE(pipe.ReaderWaited());
}

TEST(FileStreamTest, DataLostInTheFinalFlushIsReported)
{
    // Every write to /dev/full fails; the bytes below stay in the stream's
    // buffer until it is closed.
    FileStream out("/dev/full", std::ios::out | std::ios::binary);
    out.WriteString("abc");
    EXPECT_EQ(RuntimeErrorOf([&] { out.Close(); }), "File could not be written.");
    EXPECT_NO_THROW(out.Close());

    // The destructor swallows the same failure instead of throwing.
    EXPECT_NO_THROW({
        FileStream unclosed("/dev/full", std::ios::out | std::ios::binary);
        unclosed.WriteString("abc");
    });
}

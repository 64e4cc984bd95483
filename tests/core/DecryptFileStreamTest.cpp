#include "DecryptFileStream.h"
#include "Cipher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace
{
std::string Plain()
{
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

std::string Enciphered(std::string text)
{
    CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    return text;
}
} // namespace

TEST(Cipher, IsItsOwnInverseAndIgnoresEmptyInput)
{
    std::uint8_t bytes[] = {0x00, 0xE7, 0xFF, 0x41};
    CipherBuffer(bytes, 4);
    EXPECT_EQ(bytes[0], 0xE7);
    EXPECT_EQ(bytes[1], 0x00);
    EXPECT_EQ(bytes[2], 0x18);
    CipherBuffer(bytes, 4);
    EXPECT_EQ(bytes[3], 0x41);
    CipherBuffer(nullptr, 10);
    CipherBuffer(bytes, 0);
    EXPECT_EQ(bytes[0], 0x00);
}

TEST(DecryptFileStream, ChunkedAndSeekingReadsGiveThePlainBytes)
{
    CTempDir dir;
    const std::string plain = Plain();
    WriteFileText(dir.File("f.dat"), Enciphered(plain));
    std::unique_ptr<IStream> stream;
    ASSERT_EQ(CreateDecryptFileStream(dir.File("f.dat"), stream, false), S_OK);

    for (const std::uint32_t chunk : {1u, 7u, 4096u, 10000u})
    {
        ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
        std::string read;
        std::vector<char> buffer(chunk);
        for (;;)
        {
            std::uint32_t n = 0;
            ASSERT_EQ(stream->Read(buffer.data(), chunk, &n), S_OK);
            if (n == 0)
                break;
            read.append(buffer.data(), n);
        }
        EXPECT_EQ(read, plain) << "chunks of " << chunk;
    }

    std::uint64_t position = 0;
    ASSERT_EQ(stream->Seek(-10, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position, plain.size() - 10);
    ASSERT_EQ(stream->Seek(-100, STREAM_SEEK_CUR, &position), S_OK);
    char buffer[20];
    std::uint32_t n = 0;
    ASSERT_EQ(stream->Read(buffer, 20, &n), S_OK);
    EXPECT_EQ(std::string(buffer, n), plain.substr(position, 20)) << "after seeking backwards";

    STATSTG stat;
    stat.type = 77;
    ASSERT_EQ(stream->Stat(&stat, 0), S_OK);
    EXPECT_EQ(stat.cbSize, plain.size());
    EXPECT_EQ(stat.type, 77u) << "only the size is filled";

    EXPECT_EQ(stream->Seek(0, 3, nullptr), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(stream->Seek(-1, STREAM_SEEK_SET, nullptr), HResultFromErrno(EINVAL));
    EXPECT_EQ(stream->SetSize(0), E_NOTIMPL);
    EXPECT_EQ(stream->Commit(0), E_NOTIMPL);
    EXPECT_EQ(stream->Clone(nullptr), E_NOTIMPL);
}

TEST(DecryptFileStream, WritesEncipherAndMissingFilesFail)
{
    CTempDir dir;
    std::unique_ptr<IStream> stream;
    EXPECT_EQ(CreateDecryptFileStream(dir.File("none.dat"), stream, false),
              HResultFromErrno(ENOENT));
    EXPECT_EQ(stream, nullptr);

    const std::string plain = Plain();
    ASSERT_EQ(CreateDecryptFileStream(dir.File("w.dat"), stream, true), S_OK);
    std::uint32_t written = 0;
    ASSERT_EQ(stream->Write(plain.data(), static_cast<std::uint32_t>(plain.size()), &written),
              S_OK);
    EXPECT_EQ(written, plain.size());
    stream.reset();
    EXPECT_EQ(ReadFileText(dir.File("w.dat")), Enciphered(plain));

    WriteFileText(dir.File("zero.dat"), "");
    ASSERT_EQ(CreateDecryptFileStream(dir.File("zero.dat"), stream, false), S_OK);
    char c;
    std::uint32_t n = 5;
    EXPECT_EQ(stream->Read(&c, 1, &n), S_OK);
    EXPECT_EQ(n, 0u);
}

#pragma once

#include "Stream.h"

#include <memory>
#include <string>

// A stream over an enciphered file that deciphers what it reads and enciphers
// what it writes. The key does not depend on the position, so reads after any
// seek return the plain bytes of that offset. Owns its file descriptor.
class CDecryptFileStream final : public IStream
{
public:
    explicit CDecryptFileStream(int fd) : m_fd(fd) {}
    ~CDecryptFileStream() override;
    CDecryptFileStream(const CDecryptFileStream&) = delete;
    CDecryptFileStream& operator=(const CDecryptFileStream&) = delete;

    HRESULT Read(void* pBuffer, std::uint32_t cb, std::uint32_t* pcbRead) override;
    HRESULT Write(const void* pBuffer, std::uint32_t cb, std::uint32_t* pcbWritten) override;
    HRESULT Seek(std::int64_t nOffset, std::uint32_t nOrigin, std::uint64_t* pNewPosition) override;
    HRESULT Stat(STATSTG* pStat, std::uint32_t nFlags) override;

private:
    int m_fd;
};

// Opens an existing file for reading or, with bWrite, creates or truncates it
// for writing. On failure returns the system error and leaves pStream empty.
HRESULT CreateDecryptFileStream(const std::string& strPath, std::unique_ptr<IStream>& pStream,
                                bool bWrite);

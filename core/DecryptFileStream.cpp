#include "DecryptFileStream.h"

#include "Cipher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace
{
constexpr std::size_t kWriteChunk = 4096;
}

CDecryptFileStream::~CDecryptFileStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

HRESULT CDecryptFileStream::Read(void* pBuffer, std::uint32_t cb, std::uint32_t* pcbRead)
{
    auto* pBytes = static_cast<std::uint8_t*>(pBuffer);
    std::uint32_t nTotal = 0;
    HRESULT hr = S_OK;
    while (nTotal < cb)
    {
        const ssize_t nRead = ::read(m_fd, pBytes + nTotal, cb - nTotal);
        if (nRead < 0)
        {
            if (errno == EINTR)
                continue;
            hr = HResultFromErrno(errno);
            break;
        }
        if (nRead == 0)
            break;
        nTotal += static_cast<std::uint32_t>(nRead);
    }
    CipherBuffer(pBytes, nTotal);
    if (pcbRead)
        *pcbRead = nTotal;
    return hr;
}

HRESULT CDecryptFileStream::Write(const void* pBuffer, std::uint32_t cb, std::uint32_t* pcbWritten)
{
    const auto* pBytes = static_cast<const std::uint8_t*>(pBuffer);
    std::vector<std::uint8_t> chunk;
    std::uint32_t nTotal = 0;
    HRESULT hr = S_OK;
    while (nTotal < cb)
    {
        const std::size_t nPart = std::min<std::size_t>(kWriteChunk, cb - nTotal);
        chunk.assign(pBytes + nTotal, pBytes + nTotal + nPart);
        CipherBuffer(chunk.data(), chunk.size());
        std::size_t nDone = 0;
        while (nDone < nPart)
        {
            const ssize_t nWritten = ::write(m_fd, chunk.data() + nDone, nPart - nDone);
            if (nWritten < 0)
            {
                if (errno == EINTR)
                    continue;
                hr = HResultFromErrno(errno);
                break;
            }
            nDone += static_cast<std::size_t>(nWritten);
        }
        nTotal += static_cast<std::uint32_t>(nDone);
        if (Failed(hr))
            break;
    }
    if (pcbWritten)
        *pcbWritten = nTotal;
    return hr;
}

HRESULT CDecryptFileStream::Seek(std::int64_t nOffset, std::uint32_t nOrigin,
                                 std::uint64_t* pNewPosition)
{
    int nWhence = 0;
    switch (nOrigin)
    {
    case STREAM_SEEK_SET: nWhence = SEEK_SET; break;
    case STREAM_SEEK_CUR: nWhence = SEEK_CUR; break;
    case STREAM_SEEK_END: nWhence = SEEK_END; break;
    default: return STG_E_INVALIDFUNCTION;
    }
    const off_t nPosition = ::lseek(m_fd, static_cast<off_t>(nOffset), nWhence);
    if (nPosition < 0)
        return HResultFromErrno(errno);
    if (pNewPosition)
        *pNewPosition = static_cast<std::uint64_t>(nPosition);
    return S_OK;
}

HRESULT CDecryptFileStream::Stat(STATSTG* pStat, std::uint32_t)
{
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0)
        return HResultFromErrno(errno);
    if (pStat)
        pStat->cbSize = static_cast<std::uint64_t>(st.st_size);
    return S_OK;
}

HRESULT CreateDecryptFileStream(const std::string& strPath, std::unique_ptr<IStream>& pStream,
                                bool bWrite)
{
    pStream.reset();
    const int nFlags = bWrite ? (O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
    const int fd = ::open(strPath.c_str(), nFlags, 0644);
    if (fd < 0)
        return HResultFromErrno(errno);
    pStream = std::make_unique<CDecryptFileStream>(fd);
    return S_OK;
}

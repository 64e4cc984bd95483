#include "SearchFileWriter.h"

#include "FileUtils.h"
#include "Logger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

void CSearchFileBuffer::AppendUShort(std::uint16_t nValue)
{
    m_bytes.push_back(static_cast<std::uint8_t>(nValue >> 8));
    m_bytes.push_back(static_cast<std::uint8_t>(nValue));
}

void CSearchFileBuffer::AppendUShorts(std::span<const std::uint16_t> values)
{
    const std::size_t nStart = m_bytes.size();
    m_bytes.resize(nStart + 2 * values.size());
    std::uint8_t* pOut = m_bytes.data() + nStart;
    for (const std::uint16_t nValue : values)
    {
        *pOut++ = static_cast<std::uint8_t>(nValue >> 8);
        *pOut++ = static_cast<std::uint8_t>(nValue);
    }
}

void CSearchFileBuffer::AppendULong(std::uint32_t nValue)
{
    AppendUShort(static_cast<std::uint16_t>(nValue >> 16));
    AppendUShort(static_cast<std::uint16_t>(nValue));
}

void CSearchFileBuffer::PatchUShort(std::size_t nOffset, std::uint16_t nValue)
{
    m_bytes.at(nOffset) = static_cast<std::uint8_t>(nValue >> 8);
    m_bytes.at(nOffset + 1) = static_cast<std::uint8_t>(nValue);
}

void CSearchFileBuffer::PatchULong(std::size_t nOffset, std::uint32_t nValue)
{
    PatchUShort(nOffset, static_cast<std::uint16_t>(nValue >> 16));
    PatchUShort(nOffset + 2, static_cast<std::uint16_t>(nValue));
}

bool SaveSearchFile(const std::string& strPath, std::span<const std::uint8_t> bytes)
{
    KTRACE("SaveSearchFile", strPath);
    if (!CFileUtils::MakePathForFile(strPath))
        return false;
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        KLOG_ERR << "SaveSearchFile: " << strPath << " is loaded by another process: " << errno;
        ::close(fd);
        return false;
    }
    const bool bSaved = CFileUtils::SaveFileAtomically(strPath, bytes);
    if (fd >= 0)
        ::close(fd);
    return bSaved;
}

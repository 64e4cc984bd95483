#include "HttpIO.h"

#include "HttpException.h"
#include "Logger.h"

#include <algorithm>
#include <climits>
#include <cstring>

void CHttpBufferOutput::SetDataLength(std::uint32_t nLength)
{
    m_nWritePosition = 0;
    // The announced length is the server's word: never reserve past the limit.
    m_data.resize(std::min<std::size_t>(nLength, m_nLimit));
}

void CHttpBufferOutput::Write(const void* pData, std::size_t nCount)
{
    if (nCount == 0)
        return;
    if (m_nWritePosition + nCount > m_nLimit)
    {
        KLOG_ERR << "Buffer is too big";
        throw CHTTPException();
    }
    // Grows by exact amounts, and only when the data would not fit.
    if (m_data.size() - m_nWritePosition < nCount)
        m_data.resize(m_data.size() + nCount);
    std::memcpy(m_data.data() + m_nWritePosition, pData, nCount);
    m_nWritePosition += nCount;
}

void CHttpBufferOutput::SeekWritePosition(std::int64_t nPosition)
{
    if (nPosition >= 0 && static_cast<std::uint64_t>(nPosition) < m_data.size())
        m_nWritePosition = static_cast<std::size_t>(nPosition);
}

CHttpFileOutput::~CHttpFileOutput()
{
    Close();
}

void CHttpFileOutput::Open(const std::string& strPath)
{
    Close();
    m_pFile = std::fopen(strPath.c_str(), "wb");
}

void CHttpFileOutput::Close()
{
    if (m_pFile)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
}

void CHttpFileOutput::SetDataLength(std::uint32_t nLength)
{
    m_nExpectedLength = nLength;
}

void CHttpFileOutput::Write(const void* pData, std::size_t nCount)
{
    if (!m_pFile)
        throw CHTTPException();
    if (std::fwrite(pData, 1, nCount, m_pFile) != nCount)
    {
        KLOG_ERR << "CHttpFileOutput::Write can't write " << nCount << " bytes to file";
        throw CHTTPException();
    }
    m_nBytesWritten += nCount;
    if (m_nExpectedLength == 0 || !m_progress)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_lastReport && now - *m_lastReport <= std::chrono::milliseconds(100))
        return;
    m_lastReport = now;
    m_progress(static_cast<unsigned>(m_nBytesWritten * 100 / m_nExpectedLength));
}

void CHttpFileOutput::SeekWritePosition(std::int64_t nPosition)
{
    if (!m_pFile || std::fseek(m_pFile, static_cast<long>(nPosition), SEEK_END) != 0)
        throw CHTTPException();
    m_nBytesWritten = static_cast<std::uint64_t>(nPosition);
}

std::size_t CMemFile::Read(void* pBuffer, std::size_t nCount)
{
    const std::size_t nAvailable = m_nPosition < m_bytes.size() ? m_bytes.size() - m_nPosition : 0;
    const std::size_t nRead = std::min(nCount, nAvailable);
    if (nRead > 0)
        std::memcpy(pBuffer, m_bytes.data() + m_nPosition, nRead);
    m_nPosition += nRead;
    return nRead;
}

void CMemFile::Write(const void* pData, std::size_t nCount)
{
    if (nCount == 0)
        return;
    if (m_nPosition + nCount > m_bytes.size())
        m_bytes.resize(m_nPosition + nCount);
    std::memcpy(m_bytes.data() + m_nPosition, pData, nCount);
    m_nPosition += nCount;
}

bool CMemFile::Seek(std::int64_t nPosition)
{
    if (nPosition < 0)
        return false;
    m_nPosition = static_cast<std::size_t>(nPosition);
    return true;
}

std::int32_t CHttpFileTransfer::GetLength()
{
    if (!m_pFile)
        return -1;
    const std::int64_t nLength = m_pFile->GetLength();
    return nLength > INT32_MAX ? -1 : static_cast<std::int32_t>(nLength);
}

std::size_t CHttpFileTransfer::Read(void* pBuffer, std::size_t nCapacity)
{
    return m_pFile ? m_pFile->Read(pBuffer, nCapacity) : 0;
}

void CHttpFileTransfer::Seek(std::int64_t nPosition)
{
    if (m_pFile)
        m_pFile->Seek(nPosition);
}

void CHttpFileTransfer::Write(const void* pData, std::size_t nCount)
{
    if (m_pFile)
        m_pFile->Write(pData, nCount);
}

#include "Logger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

namespace
{
const char* LevelName(int nLevel)
{
    switch (nLevel)
    {
    case LOG_ERR: return "ERR";
    case LOG_WARN: return "WARN";
    case LOG_NOTICE: return "NOTICE";
    case LOG_TRACE: return "TRACE";
    case LOG_DEBUG: return "DEBUG";
    default: return "";
    }
}

std::string_view BaseName(const char* szPath)
{
    std::string_view path(szPath);
    const auto nSlash = path.find_last_of('/');
    return nSlash == std::string_view::npos ? path : path.substr(nSlash + 1);
}

std::string FormatLocation(const CLogLocation& location)
{
    std::string text(location.m_szFile ? BaseName(location.m_szFile) : std::string_view("<NULL>"));
    text += ':';
    text += std::to_string(location.m_nLine);
    return text;
}

// True when another live process holds the log file, as it would on a
// platform that denies a second writer.
bool IsHeldByAnotherProcess(const std::string& strPath)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool bHeld = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return bHeld;
}
} // namespace

CLogger& GetLog()
{
    static CLogger logger;
    return logger;
}

CLogger::~CLogger()
{
    Close();
}

bool CLogger::Open(const std::string& strPath, int nThreshold)
{
    const std::lock_guard lock(m_mutex);
    CloseLocked();
    if (IsHeldByAnotherProcess(strPath))
        return false;
    // Every run starts a new log.
    ::unlink(strPath.c_str());

    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        ::close(fd);
        return false;
    }
    m_pFile = ::fdopen(fd, "a");
    if (!m_pFile)
    {
        ::close(fd);
        return false;
    }
    m_bOpened = true;
    m_nThreshold = nThreshold;
    return true;
}

void CLogger::Close()
{
    const std::lock_guard lock(m_mutex);
    CloseLocked();
}

void CLogger::CloseLocked()
{
    if (m_pFile)
    {
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    m_bOpened = false;
    m_nThreshold = -1;
}

CLogWriter::CLogWriter(CLogger& logger, int nLevel)
    : m_logger(logger),
      m_nLevel(nLevel),
      m_bEnabled(logger.m_nThreshold >= nLevel),
      m_tTime(std::time(nullptr))
{
}

CLogWriter::~CLogWriter()
{
    if (!m_bHeaderWritten)
        return;
    if (m_logger.m_pFile)
    {
        std::fputc('\n', m_logger.m_pFile);
        std::fflush(m_logger.m_pFile);
    }
    m_lock.unlock();
}

void CLogWriter::WriteHeader()
{
    m_lock = std::unique_lock<std::mutex>(m_logger.m_mutex);
    m_bHeaderWritten = true;
    if (!m_logger.m_pFile)
        return;

    int nDay = 0, nMonth = 0, nHour = -1, nMinute = -1, nSecond = -1;
    std::tm tmLocal{};
    if (::localtime_r(&m_tTime, &tmLocal))
    {
        nDay = tmLocal.tm_mday;
        nMonth = tmLocal.tm_mon + 1;
        nHour = tmLocal.tm_hour;
        nMinute = tmLocal.tm_min;
        nSecond = tmLocal.tm_sec;
    }
    std::fprintf(m_logger.m_pFile, "%.2d/%.2d %.2d:%.2d:%.2d %s", nDay, nMonth, nHour, nMinute,
                 nSecond, LevelName(m_nLevel));
    if (m_location.m_szFile && m_location.m_nLine != 0)
        std::fprintf(m_logger.m_pFile, " %s", FormatLocation(m_location).c_str());
    std::fputc(' ', m_logger.m_pFile);
}

CLogWriter& CLogWriter::WriteValue(std::string_view text)
{
    if (!m_bEnabled)
        return *this;
    if (!m_bHeaderWritten)
        WriteHeader();
    if (m_logger.m_pFile)
    {
        std::fwrite(text.data(), 1, text.size(), m_logger.m_pFile);
        std::fflush(m_logger.m_pFile);
    }
    return *this;
}

CLogWriter& CLogWriter::operator<<(std::string_view text)
{
    return WriteValue(text);
}

CLogWriter& CLogWriter::operator<<(const char* szText)
{
    return WriteValue(szText ? std::string_view(szText) : std::string_view("<NULL>"));
}

CLogWriter& CLogWriter::operator<<(const CLogLocation& location)
{
    if (!m_bEnabled)
        return *this;
    if (!m_bHeaderWritten)
    {
        m_location = location;
        return *this;
    }
    return WriteValue(FormatLocation(location));
}

CTraceScope::CTraceScope(const char* szName) : m_szName(szName)
{
    KLOG_TRACE << "Entering: " << m_szName << "()";
}

CTraceScope::CTraceScope(const char* szName, std::string_view arg1) : m_szName(szName)
{
    KLOG_TRACE << "Entering: " << m_szName << "(" << arg1 << ")";
}

CTraceScope::CTraceScope(const char* szName, std::string_view arg1, std::string_view arg2)
    : m_szName(szName)
{
    KLOG_TRACE << "Entering: " << m_szName << "(" << arg1 << ", " << arg2 << ")";
}

CTraceScope::~CTraceScope()
{
    KLOG_TRACE << "Exiting: " << m_szName;
}

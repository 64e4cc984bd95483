#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

// Log levels. A record of level L is written when the threshold is >= L;
// threshold 0 writes nothing and -1 means "not opened".
enum ELogLevel : int
{
    LOG_ERR = 1,
    LOG_WARN = 2,
    LOG_NOTICE = 3,
    LOG_TRACE = 4,
    LOG_DEBUG = 5,
};

// A source position. Streamed first into a record it becomes part of the
// header; streamed later it is written as a value.
struct CLogLocation
{
    const char* m_szFile = nullptr;
    std::uint32_t m_nLine = 0;
};

class CLogger;

// One record being written. The header is written and the logger's lock taken
// on the first value, each value is flushed at once, and the destructor ends
// the line and releases the lock. A record that receives nothing writes nothing.
class CLogWriter
{
public:
    CLogWriter(CLogger& logger, int nLevel);
    ~CLogWriter();
    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    CLogWriter& operator<<(std::string_view text);
    CLogWriter& operator<<(const char* szText);
    CLogWriter& operator<<(const std::string& text) { return *this << std::string_view(text); }
    CLogWriter& operator<<(int nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(long nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(long long nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(unsigned nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(unsigned long nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(unsigned long long nValue) { return WriteInteger(nValue); }
    CLogWriter& operator<<(const CLogLocation& location);

private:
    template <typename T> CLogWriter& WriteInteger(T nValue)
    {
        return WriteValue(std::to_string(nValue));
    }
    CLogWriter& WriteValue(std::string_view text);
    void WriteHeader();

    CLogger& m_logger;
    int m_nLevel;
    bool m_bEnabled;
    bool m_bHeaderWritten = false;
    std::time_t m_tTime;
    CLogLocation m_location;
    std::unique_lock<std::mutex> m_lock;
};

// The process-wide log: one UTF-8 text file per run, lines ending in "\n".
class CLogger
{
public:
    CLogger() = default;
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Deletes any previous file of that name and starts a new one. Fails (and
    // leaves the logger closed) when the file cannot be created or another
    // process holds it.
    bool Open(const std::string& strPath, int nThreshold);
    void Close();

    int GetLevel() const { return m_nThreshold.load(std::memory_order_relaxed); }
    bool IsOpened() const { return m_bOpened.load(std::memory_order_relaxed); }

    CLogWriter Record(int nLevel) { return CLogWriter(*this, nLevel); }

private:
    friend class CLogWriter;

    void CloseLocked();

    // Workers log while the application opens or closes the file: the file
    // is only touched under the mutex, which a record holds from its first
    // value to its end.
    std::FILE* m_pFile = nullptr;
    std::mutex m_mutex;
    std::atomic<int> m_nThreshold{-1};
    std::atomic<bool> m_bOpened{false};
};

CLogger& GetLog();

// Writes "Entering: NAME(args)" when created and "Exiting: NAME" when
// destroyed, both at TRACE. NAME is "Class::Method".
class CTraceScope
{
public:
    explicit CTraceScope(const char* szName);
    CTraceScope(const char* szName, std::string_view arg1);
    CTraceScope(const char* szName, std::string_view arg1, std::string_view arg2);
    ~CTraceScope();
    CTraceScope(const CTraceScope&) = delete;
    CTraceScope& operator=(const CTraceScope&) = delete;

private:
    const char* m_szName;
};

// Turns a log statement into a void expression so KLOG can stand in any
// statement position (even a bare if without braces).
struct CLogVoidify
{
    void operator&(CLogWriter&) {}
};

// A log statement builds nothing unless the threshold admits its level. The
// list stays open on its right: the record takes the "<<" that follows.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KLOG(level)                                                                                \
    (GetLog().GetLevel() < (level)) ? (void)0 : CLogVoidify() & GetLog().Record(level)
// NOLINTEND(bugprone-macro-parentheses)

#define KLOG_ERR KLOG(LOG_ERR)
#define KLOG_WARN KLOG(LOG_WARN)
#define KLOG_NOTICE KLOG(LOG_NOTICE)
#define KLOG_TRACE KLOG(LOG_TRACE)
#define KLOG_DEBUG KLOG(LOG_DEBUG)

#define KLOG_CONCAT_INNER(a, b) a##b
#define KLOG_CONCAT(a, b) KLOG_CONCAT_INNER(a, b)
// Traces the enclosing function: KTRACE("CClass::Method") or with up to two arguments.
#define KTRACE(...) CTraceScope KLOG_CONCAT(traceScope_, __LINE__)(__VA_ARGS__)

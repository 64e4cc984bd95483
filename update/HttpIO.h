#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The source of a request body.
class IHttpInput
{
public:
    virtual ~IHttpInput() = default;
    // The whole body's length in bytes, or -1 when unknown.
    virtual std::int32_t GetLength() = 0;
    // Copies up to nCapacity bytes; 0 at the end.
    virtual std::size_t Read(void* pBuffer, std::size_t nCapacity) = 0;
    virtual void Seek(std::int64_t nPosition) = 0;
};

// The sink of a response body. Write and SeekWritePosition may throw
// CHTTPException after logging why.
class IHttpOutput
{
public:
    virtual ~IHttpOutput() = default;
    virtual void SetDataLength(std::uint32_t nLength) = 0;
    virtual void Write(const void* pData, std::size_t nCount) = 0;
    virtual void SeekWritePosition(std::int64_t nPosition) = 0;
};

// Collects a response in memory. The store is bounded: an answer that would
// outgrow it is refused with "Buffer is too big" instead of eating memory.
class CHttpBufferOutput : public IHttpOutput
{
public:
    static constexpr std::size_t kDefaultLimit = 1048576;

    explicit CHttpBufferOutput(std::size_t nLimit = kDefaultLimit) : m_nLimit(nLimit) {}

    void SetDataLength(std::uint32_t nLength) override;
    void Write(const void* pData, std::size_t nCount) override;
    void SeekWritePosition(std::int64_t nPosition) override;
    const std::vector<std::uint8_t>& GetData() const { return m_data; }

private:
    std::size_t m_nLimit;
    std::size_t m_nWritePosition = 0;
    std::vector<std::uint8_t> m_data;
};

// Writes a download to a file and reports progress in percent, at most about
// ten times a second.
class CHttpFileOutput : public IHttpOutput
{
public:
    using ProgressFn = std::function<void(unsigned)>;

    CHttpFileOutput() = default;
    ~CHttpFileOutput() override;
    CHttpFileOutput(const CHttpFileOutput&) = delete;
    CHttpFileOutput& operator=(const CHttpFileOutput&) = delete;

    void SetDataLength(std::uint32_t nLength) override;
    void Write(const void* pData, std::size_t nCount) override;
    void SeekWritePosition(std::int64_t nPosition) override;

    // Creates or truncates the file. A failure shows on the first Write.
    void Open(const std::string& strPath);
    void Close();
    void SetProgressCallback(ProgressFn fn) { m_progress = std::move(fn); }
    std::uint64_t GetBytesWritten() const { return m_nBytesWritten; }

private:
    std::uint64_t m_nBytesWritten = 0;
    std::uint64_t m_nExpectedLength = 0;
    std::optional<std::chrono::steady_clock::time_point> m_lastReport;
    std::FILE* m_pFile = nullptr;
    ProgressFn m_progress;
};

// A seekable file object with a length, the kind a transfer reads from or
// writes into.
class IHttpFile
{
public:
    virtual ~IHttpFile() = default;
    virtual std::int64_t GetLength() const = 0;
    virtual std::size_t Read(void* pBuffer, std::size_t nCount) = 0;
    virtual void Write(const void* pData, std::size_t nCount) = 0;
    // Moves to an absolute position; false when it lies before the start.
    virtual bool Seek(std::int64_t nPosition) = 0;
};

// A file in memory: the request bodies.
class CMemFile : public IHttpFile
{
public:
    CMemFile() = default;
    explicit CMemFile(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::int64_t GetLength() const override { return static_cast<std::int64_t>(m_bytes.size()); }
    std::size_t Read(void* pBuffer, std::size_t nCount) override;
    void Write(const void* pData, std::size_t nCount) override;
    bool Seek(std::int64_t nPosition) override;
    const std::vector<std::uint8_t>& GetBytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_nPosition = 0;
};

// Adapts a file object to both transfer interfaces; without one it is an
// empty source and a sink that drops everything.
class CHttpFileTransfer : public IHttpInput, public IHttpOutput
{
public:
    CHttpFileTransfer(IHttpFile* pFile, std::uintptr_t nContext)
        : m_pFile(pFile),
          m_nContext(nContext)
    {
    }

    std::int32_t GetLength() override;
    std::size_t Read(void* pBuffer, std::size_t nCapacity) override;
    void Seek(std::int64_t nPosition) override;

    void SetDataLength(std::uint32_t) override {}
    void Write(const void* pData, std::size_t nCount) override;
    void SeekWritePosition(std::int64_t nPosition) override { Seek(nPosition); }

    std::uintptr_t GetContext() const { return m_nContext; }

private:
    IHttpFile* m_pFile;
    std::uintptr_t m_nContext;
};

#pragma once

#include <cstdint>

// A byte stream with the read / write / seek / stat semantics and result codes
// of the classic COM stream interface, which the XML loader relies on.
using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);

// A system error (errno) carried as a failure code in the Win32 facility.
constexpr HRESULT HResultFromErrno(int nErrno)
{
    return static_cast<HRESULT>(0x80070000u | (static_cast<std::uint32_t>(nErrno) & 0xFFFFu));
}

constexpr bool Failed(HRESULT hr)
{
    return hr < 0;
}

enum EStreamSeek : std::uint32_t
{
    STREAM_SEEK_SET = 0,
    STREAM_SEEK_CUR = 1,
    STREAM_SEEK_END = 2,
};

// Only the size is filled by Stat; other fields stay as the caller set them.
struct STATSTG
{
    std::uint64_t cbSize = 0;
    std::uint32_t type = 0;
    std::uint32_t grfMode = 0;
};

class IStream
{
public:
    virtual ~IStream() = default;

    virtual HRESULT Read(void* pBuffer, std::uint32_t cb, std::uint32_t* pcbRead) = 0;
    virtual HRESULT Write(const void* pBuffer, std::uint32_t cb, std::uint32_t* pcbWritten) = 0;
    virtual HRESULT Seek(std::int64_t nOffset, std::uint32_t nOrigin,
                         std::uint64_t* pNewPosition) = 0;
    virtual HRESULT Stat(STATSTG* pStat, std::uint32_t nFlags) = 0;

    virtual HRESULT SetSize(std::uint64_t) { return E_NOTIMPL; }
    virtual HRESULT CopyTo(IStream*, std::uint64_t, std::uint64_t*, std::uint64_t*)
    {
        return E_NOTIMPL;
    }
    virtual HRESULT Commit(std::uint32_t) { return E_NOTIMPL; }
    virtual HRESULT Revert() { return E_NOTIMPL; }
    virtual HRESULT LockRegion(std::uint64_t, std::uint64_t, std::uint32_t) { return E_NOTIMPL; }
    virtual HRESULT UnlockRegion(std::uint64_t, std::uint64_t, std::uint32_t) { return E_NOTIMPL; }
    virtual HRESULT Clone(IStream**) { return E_NOTIMPL; }
};

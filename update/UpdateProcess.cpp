#include "UpdateProcess.h"

#include "Cipher.h"
#include "ContentSwap.h"
#include "Digest.h"
#include "FileUtils.h"
#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"
#include "WorkerThreads.h"

#include <minizip/unzip.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

namespace
{
constexpr std::size_t kChunkSize = 4096;
constexpr std::uint64_t kRatioFloor = 1 << 20;
constexpr unsigned long kUtf8NameFlag = 0x800;
constexpr const char* kPartSuffix = ".kalimor-unpack";

struct CZipCloser
{
    void operator()(void* p) const { unzClose(p); }
};
using CZipPtr = std::unique_ptr<void, CZipCloser>;

struct CFileCloser
{
    void operator()(std::FILE* p) const { std::fclose(p); }
};
using CFilePtr = std::unique_ptr<std::FILE, CFileCloser>;

std::string RealPath(const std::string& strPath)
{
    char* szReal = ::realpath(strPath.c_str(), nullptr);
    if (!szReal)
        return {};
    std::string strResult(szReal);
    std::free(szReal);
    return strResult;
}

bool IsInside(const std::string& strPath, const std::string& strFolder)
{
    return strPath == strFolder ||
           (strPath.starts_with(strFolder) && strPath[strFolder.size()] == '/');
}

// The size for the user, in megabytes with a decimal comma.
std::string FormatSize(std::uint64_t nBytes)
{
    const std::uint64_t nTenths = (nBytes * 10 + (1 << 20) - 1) / (1 << 20);
    return std::to_string(nTenths / 10) + "," + std::to_string(nTenths % 10) + " МБ";
}

std::string NoSpaceText(std::uint64_t nNeeded, std::uint64_t nFree)
{
    std::string strText(CStringTable::Get(IDS_UPDATE_NO_SPACE));
    for (const std::uint64_t nSize : {nNeeded, nFree})
        if (const auto nAt = strText.find("%s"); nAt != std::string::npos)
            strText.replace(nAt, 2, FormatSize(nSize));
    return strText;
}

// A path under the content folder, moved to the same place under another.
std::string Rebase(const std::string& strPath, const std::string& strFrom, const std::string& strTo)
{
    return strPath.starts_with(strFrom) ? strTo + strPath.substr(strFrom.size()) : strPath;
}

std::uint64_t CountFolders(const std::string& strFolder)
{
    std::uint64_t nCount = 1;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(strFolder, error), end;
         !error && it != end; it.increment(error))
        if (it->is_directory(error) && !it->is_symlink(error))
            ++nCount;
    return nCount;
}

// One run over one archive.
class CUnpacker
{
public:
    CUnpacker(const CUnpackTarget& target, const CUnpackJob& job, CUnpackResult& result)
        : m_target(target),
          m_job(job),
          m_result(result)
    {
    }

    bool Run(const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop,
             const std::function<bool(std::chrono::milliseconds)>& pause);

private:
    enum class EStep
    {
        Next,
        Stop,
        Fail, // the archive cannot be read further; it is kept
    };

    // What the staging copy needs on the disk: every entry's size in whole
    // blocks, a block for every folder made again, and a margin.
    std::uint64_t NeededBytes(unzFile zip, std::uint64_t nEntries);
    bool CheckSpace(unzFile zip, std::uint64_t nEntries);
    EStep ProcessEntry(unzFile zip);
    bool Extract(unzFile zip, const std::string& strDest, bool bEncipher, std::uint64_t nDeclared);
    void RemoveListed(const std::string& strListPath);
    bool CheckFolder(const std::string& strDest);
    void NoteError(int nError);
    void ReportNoSpace();
    // Once installed, or once it failed to unpack, when the job says so.
    void RemovePackage();

    const CUnpackTarget& m_target;
    const CUnpackJob& m_job;
    CUnpackResult& m_result;
    // The staging folder every entry goes to, and its real path.
    std::string m_strRoot;
    std::string m_strRootReal;
    std::uint64_t m_nTotalBytes = 0;
};

bool CUnpacker::CheckFolder(const std::string& strDest)
{
    const auto nSlash = strDest.rfind('/');
    const std::string strReal = RealPath(strDest.substr(0, nSlash));
    return !strReal.empty() && IsInside(strReal, m_strRootReal);
}

void CUnpacker::NoteError(int nError)
{
    if (nError == ENOSPC || nError == EDQUOT)
        m_result.m_bOutOfSpace = true;
}

void CUnpacker::ReportNoSpace()
{
    m_result.m_bOutOfSpace = true;
    m_result.m_nFreeBytes = CContentSwap::FreeBytes(m_target.m_strContentDir);
    m_result.m_strErrorText = NoSpaceText(m_result.m_nNeededBytes, m_result.m_nFreeBytes);
    KLOG_ERR << "Not enough disk space for zip " << m_job.m_strZipPath << ": needs "
             << static_cast<unsigned long long>(m_result.m_nNeededBytes) << " bytes, "
             << static_cast<unsigned long long>(m_result.m_nFreeBytes) << " free";
}

std::uint64_t CUnpacker::NeededBytes(unzFile zip, std::uint64_t nEntries)
{
    constexpr std::uint64_t kBlock = 4096;
    constexpr std::uint64_t kMargin = 1 << 20;
    std::uint64_t nNeeded = kMargin + CountFolders(m_target.m_strContentDir) * kBlock;
    unz_file_info64 info{};
    for (std::uint64_t k = 0; k < nEntries; ++k)
    {
        if ((k == 0 ? unzGoToFirstFile(zip) : unzGoToNextFile(zip)) != UNZ_OK ||
            unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        nNeeded +=
            (std::min<std::uint64_t>(info.uncompressed_size, m_job.m_limits.m_nMaxEntryBytes) +
             kBlock - 1) /
            kBlock * kBlock;
    }
    unzGoToFirstFile(zip);
    return nNeeded;
}

bool CUnpacker::CheckSpace(unzFile zip, std::uint64_t nEntries)
{
    m_result.m_nNeededBytes = NeededBytes(zip, nEntries);
    const std::uint64_t nFree = CContentSwap::FreeBytes(m_target.m_strContentDir);
    // An unknown free space (0 from a file system that does not say) is not
    // taken for a full disk; ENOSPC still stops the unpack cleanly.
    if (nFree == 0 || nFree >= m_result.m_nNeededBytes)
        return true;
    ReportNoSpace();
    return false;
}

CUnpacker::EStep CUnpacker::ProcessEntry(unzFile zip)
{
    const std::string& strZip = m_job.m_strZipPath;
    unz_file_info64 info{};
    std::array<char, 1024> nameBuffer{};
    if (unzGetCurrentFileInfo64(zip, &info, nameBuffer.data(), nameBuffer.size() - 1, nullptr, 0,
                                nullptr, 0) != UNZ_OK ||
        info.size_filename >= nameBuffer.size() - 1)
    {
        KLOG_ERR << "Cannot get item info, zip " << strZip;
        return EStep::Fail;
    }
    const std::string_view stored(nameBuffer.data(), info.size_filename);
    std::string strRaw;
    if (info.flag & kUtf8NameFlag)
        strRaw = CTextUtils::IsValidUtf8(stored) ? std::string(stored) : std::string();
    else
        strRaw = CDigest::FromCP1251(stored);
    if (stored.empty())
        return EStep::Next;

    std::string strName, strReason;
    if (strRaw.empty() || !CPackageEntry::NormalizeName(strRaw, strName, strReason))
    {
        KLOG_ERR << "Refused entry " << strRaw << " of zip " << strZip << ": "
                 << (strRaw.empty() ? std::string("a name that is not UTF-8") : strReason);
        return EStep::Stop;
    }
    if (CPackageEntry::IsSymbolicLink(info.version, info.external_fa))
    {
        KLOG_ERR << "Refused entry " << strName << " of zip " << strZip << ": a symbolic link";
        return EStep::Stop;
    }
    if (strName.empty())
        return EStep::Next;
    if (strName.ends_with('/'))
    {
        const std::string strFolder = m_strRoot + strName;
        if (!CFileUtils::MakePath(strFolder) || !CheckFolder(strFolder + "x"))
        {
            NoteError(errno);
            KLOG_ERR << "Cannot make path for " << strName;
            return EStep::Stop;
        }
        return EStep::Next;
    }
    if (info.uncompressed_size > m_job.m_limits.m_nMaxEntryBytes ||
        (info.uncompressed_size > kRatioFloor &&
         info.uncompressed_size / std::max<std::uint64_t>(info.compressed_size, 1) >
             m_job.m_limits.m_nMaxRatio))
    {
        KLOG_ERR << "Refused entry " << strName << " of zip " << strZip << ": it would unpack to "
                 << static_cast<unsigned long long>(info.uncompressed_size) << " bytes";
        return EStep::Stop;
    }

    bool bEncipher = false;
    const std::string strInstalled = CPackageEntry::GetInstalledName(strName, bEncipher);
    const std::string strDest = m_strRoot + strInstalled;
    if (!CFileUtils::MakePathForFile(strDest))
    {
        NoteError(errno);
        KLOG_ERR << "Cannot make path for " << strInstalled;
        return EStep::Stop;
    }
    if (!CheckFolder(strDest))
    {
        KLOG_ERR << "Refused entry " << strName << " of zip " << strZip
                 << ": its folder leads out of the content";
        return EStep::Stop;
    }
    if (!Extract(zip, strDest, bEncipher, info.uncompressed_size))
        return EStep::Stop;
    if (CPackageEntry::IsRemovalList(strInstalled))
        RemoveListed(strDest);
    return EStep::Next;
}

bool CUnpacker::Extract(unzFile zip, const std::string& strDest, bool bEncipher,
                        std::uint64_t nDeclared)
{
    const std::string strPart = strDest + kPartSuffix;
    int nError = 0;
    const auto fail = [&](const char* szWhy) {
        NoteError(nError);
        KLOG_ERR << "Cannot unzip file " << strDest << " from " << m_job.m_strZipPath;
        if (szWhy)
            KLOG_ERR << "CUpdateProcess: " << szWhy;
        else if (nError != 0)
            KLOG_ERR << "CUpdateProcess: " << std::strerror(nError);
        ::unlink(strPart.c_str());
        return false;
    };
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return fail(nullptr);
    // The staging folder shares its files with the installed content through
    // hard links: a file is never opened for writing there, always made anew
    // (O_EXCL) and renamed over its name.
    ::unlink(strPart.c_str());
    const int nFd =
        ::open(strPart.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    nError = nFd < 0 ? errno : 0;
    CFilePtr pFile(nFd >= 0 ? ::fdopen(nFd, "wb") : nullptr);
    if (!pFile)
    {
        if (nFd >= 0)
            ::close(nFd);
        unzCloseCurrentFile(zip);
        return fail(nullptr);
    }
    std::setvbuf(pFile.get(), nullptr, _IOFBF, 1 << 16);
    std::array<std::uint8_t, kChunkSize> buffer{};
    std::uint64_t nWritten = 0;
    for (;;)
    {
        const int nRead =
            unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (nRead < 0)
        {
            unzCloseCurrentFile(zip);
            return fail(nullptr);
        }
        if (nRead == 0)
            break;
        nWritten += static_cast<unsigned>(nRead);
        m_nTotalBytes += static_cast<unsigned>(nRead);
        if (nWritten > nDeclared || m_nTotalBytes > m_job.m_limits.m_nMaxTotalBytes)
        {
            unzCloseCurrentFile(zip);
            return fail("the package unpacks to more than its limit");
        }
        if (bEncipher)
            CipherBuffer(buffer.data(), static_cast<std::size_t>(nRead));
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(nRead), pFile.get()) !=
            static_cast<std::size_t>(nRead))
        {
            nError = errno;
            unzCloseCurrentFile(zip);
            return fail(nullptr);
        }
    }
    // The integrity check: the CRC is compared when the entry is closed.
    if (unzCloseCurrentFile(zip) != UNZ_OK)
        return fail(nullptr);
    const int nClosed = std::fclose(pFile.release());
    nError = nClosed != 0 ? errno : 0;
    if (nClosed != 0)
        return fail(nullptr);
    if (::rename(strPart.c_str(), strDest.c_str()) != 0)
    {
        nError = errno;
        return fail(nullptr);
    }
    return true;
}

void CUnpacker::RemoveListed(const std::string& strListPath)
{
    std::string strText;
    CFileUtils::LoadAllTxtFile(strListPath, strText);
    std::size_t nStart = 0;
    while (nStart < strText.size())
    {
        const auto nEnd = strText.find('\n', nStart);
        const std::string_view line = std::string_view(strText).substr(nStart, nEnd - nStart);
        nStart = nEnd == std::string::npos ? strText.size() : nEnd + 1;
        const std::string_view trimmed = CTextUtils::Trim(line);
        if (trimmed.empty())
            continue;
        std::string strName, strReason;
        if (!CPackageEntry::NormalizeName(trimmed, strName, strReason) || strName.empty() ||
            strName.ends_with('/'))
        {
            KLOG_ERR << "Refused to remove " << trimmed << ": "
                     << (strReason.empty() ? "not a file" : strReason);
            continue;
        }
        const std::string strPath = m_strRoot + strName;
        if (!CheckFolder(strPath))
        {
            KLOG_ERR << "Refused to remove " << trimmed << ": its folder leads out of the content";
            continue;
        }
        if (::unlink(strPath.c_str()) != 0 && errno != ENOENT)
            KLOG_ERR << "CUpdateProcess: can't remove " << strPath << ": " << errno;
    }
    ::unlink(strListPath.c_str());
}

void CUnpacker::RemovePackage()
{
    if (m_job.m_bDeleteAfter)
        ::unlink(m_job.m_strZipPath.c_str());
}

bool CUnpacker::Run(const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop,
                    const std::function<bool(std::chrono::milliseconds)>& pause)
{
    const std::string& strZip = m_job.m_strZipPath;
    const std::string& strContent = m_target.m_strContentDir;
    if (RealPath(strContent).empty() || strContent.empty() || !strContent.ends_with('/'))
    {
        KLOG_ERR << "CUpdateProcess: no content folder " << strContent;
        return false;
    }
    CZipPtr zip(unzOpen64(strZip.c_str()));
    if (!zip)
    {
        KLOG_ERR << "Cannot open zip file " << strZip;
        return false;
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip.get(), &global) != UNZ_OK || global.number_entry == 0 ||
        unzGoToFirstFile(zip.get()) != UNZ_OK)
    {
        KLOG_ERR << "Incorrect zip file " << strZip;
        return false;
    }
    const std::uint64_t nEntries = global.number_entry;
    if (nEntries > m_job.m_limits.m_nMaxEntries)
    {
        KLOG_ERR << "Incorrect zip file " << strZip << ": "
                 << static_cast<unsigned long long>(nEntries) << " entries";
        return false;
    }

    // A leftover of a broken install is cleared before the space is counted:
    // it may be what fills the disk.
    CContentSwap swap(strContent);
    if (!swap.Lock() || !swap.RemoveLeftovers())
        return false;
    if (!CheckSpace(zip.get(), nEntries))
    {
        zip.reset();
        RemovePackage();
        return false;
    }
    m_strRoot = swap.Prepare();
    m_strRootReal = m_strRoot.empty() ? std::string() : RealPath(m_strRoot);
    if (m_strRootReal.empty())
    {
        swap.Discard();
        if (swap.IsOutOfSpace())
            ReportNoSpace();
        zip.reset();
        RemovePackage();
        return false;
    }
    const auto stop = [&] {
        swap.Discard();
        if (m_result.m_bOutOfSpace)
            ReportNoSpace();
        zip.reset();
        RemovePackage();
        return false;
    };
    for (std::uint64_t k = 0;; ++k)
    {
        if (pStop && *pStop)
            return stop();
        if (progress)
            progress(static_cast<unsigned>(100 * k / nEntries));
        const EStep step = ProcessEntry(zip.get());
        if (step == EStep::Fail)
        {
            swap.Discard();
            return false;
        }
        if (step == EStep::Stop)
            return stop();
        const int nNext = unzGoToNextFile(zip.get());
        if (nNext == UNZ_END_OF_LIST_OF_FILE)
            break;
        if (nNext != UNZ_OK || k + 1 >= nEntries)
        {
            KLOG_ERR << "Cannot get item info, zip " << strZip;
            swap.Discard();
            return false;
        }
    }
    zip.reset();
    // The style sheet of the package replaces the one in use, in the staging
    // copy like everything else.
    const std::string strSource = Rebase(m_target.m_strStyleSheetSourcePath, strContent, m_strRoot);
    if (CFileUtils::FileExists(strSource) &&
        !CFileUtils::MoveFile(strSource,
                              Rebase(m_target.m_strStyleSheetPath, strContent, m_strRoot)))
        KLOG_ERR << "Can't rename styles file";
    if (pStop && *pStop)
        return stop();
    if (!swap.Commit())
    {
        m_result.m_bOutOfSpace = m_result.m_bOutOfSpace || swap.IsOutOfSpace();
        if (m_result.m_bOutOfSpace)
            ReportNoSpace();
        RemovePackage();
        return false;
    }
    RemovePackage();
    if (m_job.m_bIsLast)
    {
        if (progress)
            progress(100);
        if (pause)
            pause(m_job.m_lastPause);
        else
            std::this_thread::sleep_for(m_job.m_lastPause);
    }
    return true;
}
} // namespace

bool CUpdateProcess::Process(const CUnpackTarget& target, const CUnpackJob& job,
                             const std::function<void(unsigned)>& progress,
                             const std::atomic<bool>* pStop,
                             const std::function<bool(std::chrono::milliseconds)>& pause,
                             CUnpackResult* pResult)
{
    KTRACE("CUpdateProcess::Process", job.m_strZipPath);
    CUnpackResult result;
    const bool bDone = CUnpacker(target, job, result).Run(progress, pStop, pause);
    if (pResult)
        *pResult = std::move(result);
    return bDone;
}

std::string CUpdateProcess::GetErrorText() const
{
    std::lock_guard lock(m_mutex);
    return m_result.m_strErrorText;
}

CUpdateProcess::CUpdateProcess(CRequestHandlers handlers, CUnpackTarget target, CUnpackJob job)
    : m_handlers(std::move(handlers)),
      m_target(std::move(target)),
      m_job(std::move(job))
{
}

std::shared_ptr<CUpdateProcess> CUpdateProcess::DoUpdate(CRequestHandlers handlers,
                                                         CUnpackTarget target, CUnpackJob job)
{
    std::shared_ptr<CUpdateProcess> pProcess(
        new CUpdateProcess(std::move(handlers), std::move(target), std::move(job)));
    CWorkerThreads::Start([pProcess] { pProcess->InitInstance(); });
    return pProcess;
}

void CUpdateProcess::KillProcess()
{
    {
        std::lock_guard lock(m_mutex);
        m_handlers = {};
        m_bStop = true;
    }
    m_killed.notify_all();
}

CRequestHandlers CUpdateProcess::TakeHandlers()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_handlers, {});
}

void CUpdateProcess::ReportProgress(unsigned nPercent)
{
    std::function<void(unsigned)> progress;
    {
        std::lock_guard lock(m_mutex);
        progress = m_handlers.m_progress;
    }
    if (progress)
        progress(nPercent);
}

void CUpdateProcess::InitInstance()
{
    // Each report reaches the UI thread synchronously: send only changes.
    unsigned nLast = 101;
    CUnpackResult result;
    const bool bSuccess = Process(
        m_target, m_job,
        [this, &nLast](unsigned nPercent) {
            if (nPercent != nLast)
                ReportProgress(nLast = nPercent);
        },
        &m_bStop,
        [this](std::chrono::milliseconds duration) {
            std::unique_lock lock(m_mutex);
            return !m_killed.wait_for(lock, duration, [this] { return m_bStop.load(); });
        },
        &result);
    {
        std::lock_guard lock(m_mutex);
        m_result = result;
    }
    const CRequestHandlers handlers = TakeHandlers();
    const auto& handler = bSuccess ? handlers.m_success : handlers.m_error;
    if (handler)
        handler();
}

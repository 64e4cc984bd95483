#include "UpdateProcess.h"

#include "Cipher.h"
#include "Digest.h"
#include "FileUtils.h"
#include "Logger.h"
#include "TextUtils.h"
#include "WorkerThreads.h"

#include <minizip/unzip.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
    return strPath == strFolder || (strPath.starts_with(strFolder) && strPath[strFolder.size()] == '/');
}

// One run over one archive.
class CUnpacker
{
public:
    CUnpacker(const CUnpackTarget& target, const CUnpackJob& job) : m_target(target), m_job(job) {}

    bool Run(const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop,
             const std::function<bool(std::chrono::milliseconds)>& pause);

private:
    enum class EStep
    {
        Next,
        Stop,
        Fail, // the archive cannot be read further; it is kept
    };

    EStep ProcessEntry(unzFile zip);
    bool Extract(unzFile zip, const std::string& strDest, bool bEncipher, std::uint64_t nDeclared);
    void RemoveListed(const std::string& strListPath);
    bool CheckFolder(const std::string& strDest);
    void Finish(bool bSuccess);

    const CUnpackTarget& m_target;
    const CUnpackJob& m_job;
    std::string m_strContentReal;
    std::uint64_t m_nTotalBytes = 0;
};

bool CUnpacker::CheckFolder(const std::string& strDest)
{
    const auto nSlash = strDest.rfind('/');
    const std::string strReal = RealPath(strDest.substr(0, nSlash));
    return !strReal.empty() && IsInside(strReal, m_strContentReal);
}

CUnpacker::EStep CUnpacker::ProcessEntry(unzFile zip)
{
    const std::string& strZip = m_job.m_strZipPath;
    unz_file_info64 info{};
    std::array<char, 1024> nameBuffer{};
    if (unzGetCurrentFileInfo64(zip, &info, nameBuffer.data(), nameBuffer.size() - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK ||
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
        const std::string strFolder = m_target.m_strContentDir + strName;
        if (!CFileUtils::MakePath(strFolder) || !CheckFolder(strFolder + "x"))
        {
            KLOG_ERR << "Cannot make path for " << strName;
            return EStep::Stop;
        }
        return EStep::Next;
    }
    if (info.uncompressed_size > m_job.m_limits.m_nMaxEntryBytes ||
        (info.uncompressed_size > kRatioFloor &&
         info.uncompressed_size / std::max<std::uint64_t>(info.compressed_size, 1) > m_job.m_limits.m_nMaxRatio))
    {
        KLOG_ERR << "Refused entry " << strName << " of zip " << strZip << ": it would unpack to "
                 << static_cast<unsigned long long>(info.uncompressed_size) << " bytes";
        return EStep::Stop;
    }

    bool bEncipher = false;
    const std::string strInstalled = CPackageEntry::GetInstalledName(strName, bEncipher);
    const std::string strDest = m_target.m_strContentDir + strInstalled;
    if (!CFileUtils::MakePathForFile(strDest))
    {
        KLOG_ERR << "Cannot make path for " << strInstalled;
        return EStep::Stop;
    }
    if (!CheckFolder(strDest))
    {
        KLOG_ERR << "Refused entry " << strName << " of zip " << strZip << ": its folder leads out of the content";
        return EStep::Stop;
    }
    if (!Extract(zip, strDest, bEncipher, info.uncompressed_size))
        return EStep::Stop;
    if (CPackageEntry::IsRemovalList(strInstalled))
        RemoveListed(strDest);
    return EStep::Next;
}

bool CUnpacker::Extract(unzFile zip, const std::string& strDest, bool bEncipher, std::uint64_t nDeclared)
{
    const std::string strPart = strDest + kPartSuffix;
    const auto fail = [&](const char* szWhy) {
        KLOG_ERR << "Cannot unzip file " << strDest << " from " << m_job.m_strZipPath;
        if (szWhy)
            KLOG_ERR << "CUpdateProcess: " << szWhy;
        ::unlink(strPart.c_str());
        return false;
    };
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return fail(nullptr);
    const int nFd = ::open(strPart.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
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
        const int nRead = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
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
            unzCloseCurrentFile(zip);
            return fail(nullptr);
        }
    }
    // The integrity check: the CRC is compared when the entry is closed.
    if (unzCloseCurrentFile(zip) != UNZ_OK)
        return fail(nullptr);
    if (std::fclose(pFile.release()) != 0)
        return fail(nullptr);
    if (::rename(strPart.c_str(), strDest.c_str()) != 0)
        return fail(nullptr);
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
            KLOG_ERR << "Refused to remove " << trimmed << ": " << (strReason.empty() ? "not a file" : strReason);
            continue;
        }
        const std::string strPath = m_target.m_strContentDir + strName;
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

void CUnpacker::Finish(bool bSuccess)
{
    if (m_job.m_bDeleteAfter)
        ::unlink(m_job.m_strZipPath.c_str());
    if (bSuccess && CFileUtils::FileExists(m_target.m_strStyleSheetSourcePath) &&
        !CFileUtils::MoveFile(m_target.m_strStyleSheetSourcePath, m_target.m_strStyleSheetPath))
        KLOG_ERR << "Can't rename styles file";
}

bool CUnpacker::Run(const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop,
                    const std::function<bool(std::chrono::milliseconds)>& pause)
{
    const std::string& strZip = m_job.m_strZipPath;
    m_strContentReal = RealPath(m_target.m_strContentDir);
    if (m_strContentReal.empty() || m_target.m_strContentDir.empty() || !m_target.m_strContentDir.ends_with('/'))
    {
        KLOG_ERR << "CUpdateProcess: no content folder " << m_target.m_strContentDir;
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
        KLOG_ERR << "Incorrect zip file " << strZip << ": " << static_cast<unsigned long long>(nEntries)
                 << " entries";
        return false;
    }
    for (std::uint64_t k = 0;; ++k)
    {
        if (pStop && *pStop)
        {
            zip.reset();
            Finish(false);
            return false;
        }
        if (progress)
            progress(static_cast<unsigned>(100 * k / nEntries));
        const EStep step = ProcessEntry(zip.get());
        if (step == EStep::Fail)
            return false;
        if (step == EStep::Stop)
        {
            zip.reset();
            Finish(false);
            return false;
        }
        const int nNext = unzGoToNextFile(zip.get());
        if (nNext == UNZ_END_OF_LIST_OF_FILE)
            break;
        if (nNext != UNZ_OK || k + 1 >= nEntries)
        {
            KLOG_ERR << "Cannot get item info, zip " << strZip;
            return false;
        }
    }
    zip.reset();
    Finish(true);
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
                             const std::function<void(unsigned)>& progress, const std::atomic<bool>* pStop,
                             const std::function<bool(std::chrono::milliseconds)>& pause)
{
    KTRACE("CUpdateProcess::Process", job.m_strZipPath);
    return CUnpacker(target, job).Run(progress, pStop, pause);
}

CUpdateProcess::CUpdateProcess(CRequestHandlers handlers, CUnpackTarget target, CUnpackJob job)
    : m_handlers(std::move(handlers)), m_target(std::move(target)), m_job(std::move(job))
{
}

std::shared_ptr<CUpdateProcess> CUpdateProcess::DoUpdate(CRequestHandlers handlers, CUnpackTarget target,
                                                         CUnpackJob job)
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
        });
    const CRequestHandlers handlers = TakeHandlers();
    const auto& handler = bSuccess ? handlers.m_success : handlers.m_error;
    if (handler)
        handler();
}

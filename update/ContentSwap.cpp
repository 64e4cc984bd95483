#include "ContentSwap.h"

#include "Logger.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr const char* kStagingSuffix = ".kalimor-staging";
constexpr const char* kOldSuffix = ".kalimor-old";

std::mutex& SeamMutex()
{
    static std::mutex mutex;
    return mutex;
}

CContentSwap::ExchangeFn& ExchangeSeam()
{
    static CContentSwap::ExchangeFn fn;
    return fn;
}

int Exchange(int nDirFd, const char* szFrom, const char* szTo)
{
    {
        std::lock_guard lock(SeamMutex());
        if (ExchangeSeam())
            return ExchangeSeam()(nDirFd, szFrom, szTo);
    }
    return ::renameat2(nDirFd, szFrom, nDirFd, szTo, RENAME_EXCHANGE);
}

bool IsSpaceError(int nError)
{
    return nError == ENOSPC || nError == EDQUOT;
}

// A descriptor closed when it goes out of scope.
class CFd
{
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }

private:
    int m_fd;
};

struct CDirCloser
{
    void operator()(DIR* p) const { ::closedir(p); }
};

bool CopyFileAt(int nFromDir, const char* szName, int nToDir, mode_t nMode)
{
    CFd from(::openat(nFromDir, szName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    CFd to(::openat(nToDir, szName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    nMode & 07777));
    if (!from.IsValid() || !to.IsValid())
        return false;
    std::vector<char> buffer(1 << 16);
    for (;;)
    {
        const ssize_t nRead = ::read(from.Get(), buffer.data(), buffer.size());
        if (nRead < 0 && errno == EINTR)
            continue;
        if (nRead < 0)
            return false;
        if (nRead == 0)
            return true;
        for (ssize_t nDone = 0; nDone < nRead;)
        {
            const ssize_t nWritten =
                ::write(to.Get(), buffer.data() + nDone, static_cast<std::size_t>(nRead - nDone));
            if (nWritten < 0 && errno == EINTR)
                continue;
            if (nWritten < 0)
                return false;
            nDone += nWritten;
        }
    }
}

// Makes the tree of one folder again under another: folders anew, files as
// hard links (copies where refused), symbolic links as they are. errno tells
// why it failed.
bool LinkTree(int nFromDir, int nToDir, const std::string& strWhere)
{
    const int nListFd = ::dup(nFromDir);
    std::unique_ptr<DIR, CDirCloser> pDir(nListFd >= 0 ? ::fdopendir(nListFd) : nullptr);
    if (!pDir)
    {
        if (nListFd >= 0)
            ::close(nListFd);
        return false;
    }
    errno = 0;
    while (const dirent* pEntry = ::readdir(pDir.get()))
    {
        const char* szName = pEntry->d_name;
        if (std::strcmp(szName, ".") == 0 || std::strcmp(szName, "..") == 0)
            continue;
        struct stat st
        {
        };
        if (::fstatat(nFromDir, szName, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (S_ISDIR(st.st_mode))
        {
            if (::mkdirat(nToDir, szName, st.st_mode & 07777) != 0)
                return false;
            CFd from(::openat(nFromDir, szName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            CFd to(::openat(nToDir, szName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!from.IsValid() || !to.IsValid() ||
                !LinkTree(from.Get(), to.Get(), strWhere + szName + "/"))
                return false;
        }
        else if (S_ISREG(st.st_mode))
        {
            if (::linkat(nFromDir, szName, nToDir, szName, 0) != 0)
            {
                // A file system without hard links (or a link count at its
                // limit): the file is copied instead.
                if (errno != EPERM && errno != EMLINK && errno != EOPNOTSUPP && errno != EXDEV)
                    return false;
                if (!CopyFileAt(nFromDir, szName, nToDir, st.st_mode))
                    return false;
            }
        }
        else if (S_ISLNK(st.st_mode))
        {
            std::vector<char> target(static_cast<std::size_t>(st.st_size) + 2);
            const ssize_t nLength =
                ::readlinkat(nFromDir, szName, target.data(), target.size() - 1);
            if (nLength < 0)
                return false;
            target[static_cast<std::size_t>(nLength)] = '\0';
            if (::symlinkat(target.data(), nToDir, szName) != 0)
                return false;
        }
        else
            KLOG_WARN << "CContentSwap: skipped " << strWhere << szName
                      << ", neither a file nor a folder";
        errno = 0;
    }
    return errno == 0;
}

// Every folder of a tree flushed, the tree's own first.
bool SyncFolders(int nDirFd)
{
    if (::fsync(nDirFd) != 0)
        return false;
    const int nListFd = ::dup(nDirFd);
    std::unique_ptr<DIR, CDirCloser> pDir(nListFd >= 0 ? ::fdopendir(nListFd) : nullptr);
    if (!pDir)
    {
        if (nListFd >= 0)
            ::close(nListFd);
        return false;
    }
    while (const dirent* pEntry = ::readdir(pDir.get()))
    {
        if (pEntry->d_type != DT_DIR || std::strcmp(pEntry->d_name, ".") == 0 ||
            std::strcmp(pEntry->d_name, "..") == 0)
            continue;
        CFd child(
            ::openat(nDirFd, pEntry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.IsValid() || !SyncFolders(child.Get()))
            return false;
    }
    return true;
}

bool Exists(const std::string& strPath)
{
    struct stat st
    {
    };
    return ::lstat(strPath.c_str(), &st) == 0;
}

bool IsEmptyFolder(const std::string& strPath)
{
    std::error_code error;
    return fs::is_directory(strPath, error) && fs::is_empty(strPath, error) && !error;
}

void RemoveTree(const std::string& strPath)
{
    std::error_code error;
    fs::remove_all(strPath, error);
    if (error)
        KLOG_ERR << "CContentSwap: can't remove " << strPath << ": " << error.message();
}

bool SyncFolder(const std::string& strPath)
{
    CFd fd(::open(strPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.IsValid() && ::fsync(fd.Get()) == 0;
}
} // namespace

CContentSwap::CContentSwap(std::string strContentDir) : m_strContentDir(std::move(strContentDir))
{
    while (m_strContentDir.size() > 1 && m_strContentDir.ends_with('/'))
        m_strContentDir.pop_back();
    const auto nSlash = m_strContentDir.rfind('/');
    m_strParent = nSlash == std::string::npos
                      ? std::string(".")
                      : m_strContentDir.substr(0, std::max<std::size_t>(nSlash, 1));
    m_strName = nSlash == std::string::npos ? m_strContentDir : m_strContentDir.substr(nSlash + 1);
}

CContentSwap::~CContentSwap()
{
    if (m_nLockFd >= 0)
        ::close(m_nLockFd); // releases the flock
}

std::string CContentSwap::StagingPathFor(const std::string& strContentDir)
{
    std::string strPath = strContentDir;
    while (strPath.size() > 1 && strPath.ends_with('/'))
        strPath.pop_back();
    return strPath + kStagingSuffix;
}

std::string CContentSwap::OldPathFor(const std::string& strContentDir)
{
    std::string strPath = strContentDir;
    while (strPath.size() > 1 && strPath.ends_with('/'))
        strPath.pop_back();
    return strPath + kOldSuffix;
}

std::uint64_t CContentSwap::FreeBytes(const std::string& strFolder)
{
    struct statvfs st
    {
    };
    if (::statvfs(strFolder.c_str(), &st) != 0)
        return 0;
    return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

void CContentSwap::SetExchangeForTest(ExchangeFn fn)
{
    std::lock_guard lock(SeamMutex());
    ExchangeSeam() = std::move(fn);
}

bool CContentSwap::Lock()
{
    if (m_nLockFd >= 0)
        return true;
    m_nLockFd = ::open(m_strParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_nLockFd < 0)
    {
        KLOG_ERR << "CContentSwap: can't open " << m_strParent << ": " << std::strerror(errno);
        return false;
    }
    if (::flock(m_nLockFd, LOCK_EX | LOCK_NB) != 0)
    {
        KLOG_ERR << "CContentSwap: another install of " << m_strContentDir << " is running";
        ::close(m_nLockFd);
        m_nLockFd = -1;
        return false;
    }
    return true;
}

bool CContentSwap::RemoveLeftovers()
{
    const std::string strStaging = StagingPathFor(m_strContentDir);
    const std::string strOld = OldPathFor(m_strContentDir);
    bool bDone = true;
    if (Exists(strOld))
    {
        // The content folder goes between the fallback's two renames only;
        // the profile's loader may have made it again, empty, since.
        if (!Exists(m_strContentDir) || IsEmptyFolder(m_strContentDir))
        {
            KLOG_NOTICE << "CContentSwap: the content was left aside by a broken install; put back";
            ::rmdir(m_strContentDir.c_str());
            if (::rename(strOld.c_str(), m_strContentDir.c_str()) != 0)
            {
                KLOG_ERR << "CContentSwap: can't put back " << strOld << ": "
                         << std::strerror(errno);
                bDone = false;
            }
            SyncFolder(m_strParent);
        }
        else
        {
            KLOG_NOTICE << "CContentSwap: removing the old content left by a broken install";
            RemoveTree(strOld);
        }
    }
    if (Exists(strStaging))
    {
        KLOG_NOTICE << "CContentSwap: removing the staging folder left by a broken install";
        RemoveTree(strStaging);
    }
    return bDone && !Exists(strStaging);
}

void CContentSwap::CleanUpAtStart(const std::string& strContentDir)
{
    CContentSwap swap(strContentDir);
    if (swap.Lock())
        swap.RemoveLeftovers();
}

std::string CContentSwap::Prepare()
{
    m_bOutOfSpace = false;
    const std::string strStaging = StagingPathFor(m_strContentDir);
    if (!RemoveLeftovers())
        return {};
    struct stat st
    {
    };
    if (::stat(m_strContentDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    {
        KLOG_ERR << "CContentSwap: no content folder " << m_strContentDir;
        return {};
    }
    bool bBuilt = ::mkdir(strStaging.c_str(), st.st_mode & 07777) == 0;
    if (bBuilt)
    {
        CFd from(::open(m_strContentDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        CFd to(::open(strStaging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        bBuilt =
            from.IsValid() && to.IsValid() && LinkTree(from.Get(), to.Get(), m_strContentDir + "/");
    }
    if (!bBuilt)
    {
        const int nError = errno;
        m_bOutOfSpace = IsSpaceError(nError);
        KLOG_ERR << "CContentSwap: can't carry the content over to " << strStaging << ": "
                 << std::strerror(nError);
        RemoveTree(strStaging);
        return {};
    }
    m_strStagingDir = strStaging + "/";
    return m_strStagingDir;
}

bool CContentSwap::SwapIn()
{
    const std::string strStaging = StagingPathFor(m_strContentDir);
    CFd parent(::open(m_strParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.IsValid())
        return false;
    const std::string strStagingName = m_strName + kStagingSuffix;
    if (Exchange(parent.Get(), strStagingName.c_str(), m_strName.c_str()) == 0)
    {
        ::fsync(parent.Get());
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
    {
        KLOG_ERR << "CContentSwap: can't exchange " << strStaging << " and " << m_strContentDir
                 << ": " << std::strerror(errno);
        return false;
    }
    // No exchange on this file system: two renames. Between them the content
    // folder is missing and RemoveLeftovers puts the old tree back.
    const std::string strOld = OldPathFor(m_strContentDir);
    if (::rename(m_strContentDir.c_str(), strOld.c_str()) != 0)
    {
        KLOG_ERR << "CContentSwap: can't move " << m_strContentDir
                 << " aside: " << std::strerror(errno);
        return false;
    }
    if (::rename(strStaging.c_str(), m_strContentDir.c_str()) != 0)
    {
        KLOG_ERR << "CContentSwap: can't move " << strStaging
                 << " into place: " << std::strerror(errno);
        ::rename(strOld.c_str(), m_strContentDir.c_str());
        return false;
    }
    ::fsync(parent.Get());
    return true;
}

bool CContentSwap::Commit()
{
    const std::string strStaging = StagingPathFor(m_strContentDir);
    {
        // One syncfs writes every file of the staging tree with one journal
        // commit, where an fsync per file would wait for one commit each
        // (tens of seconds for a library of 20 000 pages); the folders are
        // then flushed one by one, which is cheap once their blocks are clean.
        CFd staging(::open(strStaging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!staging.IsValid() || ::syncfs(staging.Get()) != 0 || !SyncFolders(staging.Get()))
        {
            const int nError = errno;
            m_bOutOfSpace = IsSpaceError(nError);
            KLOG_ERR << "CContentSwap: can't flush " << strStaging << ": " << std::strerror(nError);
            Discard();
            return false;
        }
    }
    if (!SwapIn())
    {
        Discard();
        return false;
    }
    m_strStagingDir.clear();
    // The old tree now lies at the staging name (exchange) or the old name
    // (fallback); either is removed here, or at the next start after a crash.
    RemoveTree(strStaging);
    RemoveTree(OldPathFor(m_strContentDir));
    return true;
}

void CContentSwap::Discard()
{
    RemoveTree(StagingPathFor(m_strContentDir));
    m_strStagingDir.clear();
}

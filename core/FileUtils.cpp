#include "FileUtils.h"

#include "Cipher.h"
#include "EmbeddedResources.h"
#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <glib.h>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{
constexpr std::size_t kCopyChunk = 4096;

// Closes a descriptor when it goes out of scope.
class CFileDescriptor
{
public:
    explicit CFileDescriptor(int fd = -1) : m_fd(fd) {}
    ~CFileDescriptor() { Reset(); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool IsValid() const { return m_fd >= 0; }
    // Closes now and reports the result; a failed close can mean lost data.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void Reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, const std::uint8_t* pData, std::size_t nLength)
{
    while (nLength > 0)
    {
        const ssize_t nWritten = ::write(fd, pData, nLength);
        if (nWritten < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        pData += nWritten;
        nLength -= static_cast<std::size_t>(nWritten);
    }
    return true;
}

// Reads up to nLength bytes; returns the count or -1.
ssize_t ReadSome(int fd, std::uint8_t* pData, std::size_t nLength)
{
    for (;;)
    {
        const ssize_t nRead = ::read(fd, pData, nLength);
        if (nRead < 0 && errno == EINTR)
            continue;
        return nRead;
    }
}

bool ReadWholeFile(const std::string& strPath, CByteArray& bytes)
{
    CFileDescriptor fd(::open(strPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid())
        return false;
    struct stat st
    {
    };
    if (::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    bytes.clear();
    bytes.reserve(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)));
    std::uint8_t chunk[64 * 1024];
    for (;;)
    {
        const ssize_t nRead = ReadSome(fd.Get(), chunk, sizeof(chunk));
        if (nRead < 0)
            return false;
        if (nRead == 0)
            return true;
        bytes.insert(bytes.end(), chunk, chunk + nRead);
    }
}

// Line-by-line text reading: every line, its CR LF or LF removed, is appended
// followed by "\n".
bool ReadTextLines(const std::string& strPath, std::string& strText)
{
    CByteArray bytes;
    if (!ReadWholeFile(strPath, bytes))
        return false;
    std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    strText.clear();
    strText.reserve(data.size() + 1);
    while (!data.empty())
    {
        const auto nEnd = data.find('\n');
        std::string_view line = data.substr(0, nEnd);
        if (nEnd != std::string_view::npos && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        strText.append(line);
        strText += '\n';
        data = nEnd == std::string_view::npos ? std::string_view() : data.substr(nEnd + 1);
    }
    return true;
}

std::string ToSlashes(std::string_view path)
{
    std::string result(path);
    for (char& c : result)
        if (c == '\\')
            c = '/';
    return result;
}

// Copies in chunks, optionally through the cipher. The target's previous file
// is removed first and its folder chain created.
bool CopyChunks(const std::string& strSource, const std::string& strTarget, bool bDecrypt,
                const char* szQualifiedName)
{
    if (!CFileUtils::FileExists(strSource))
    {
        KLOG_ERR << "File not found: " << strSource;
        return false;
    }
    if (CFileUtils::FileExists(strTarget))
        ::unlink(strTarget.c_str());
    CFileUtils::MakePathForFile(strTarget);

    auto fail = [szQualifiedName](int nError) {
        KLOG_ERR << "Exception on " << szQualifiedName << ": " << nError;
        return false;
    };
    CFileDescriptor source(::open(strSource.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source.IsValid())
        return fail(errno);
    CFileDescriptor target(::open(strTarget.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!target.IsValid())
        return fail(errno);
    std::uint8_t chunk[kCopyChunk];
    for (;;)
    {
        const ssize_t nRead = ReadSome(source.Get(), chunk, sizeof(chunk));
        if (nRead < 0)
            return fail(errno);
        if (nRead == 0)
            break;
        if (bDecrypt)
            CipherBuffer(chunk, static_cast<std::size_t>(nRead));
        if (!WriteAll(target.Get(), chunk, static_cast<std::size_t>(nRead)))
            return fail(errno);
    }
    if (!target.Close())
        return fail(errno);
    return true;
}

bool SyncDirectoryOf(const std::string& strPath)
{
    const auto nSlash = strPath.find_last_of('/');
    const std::string strFolder = nSlash == std::string::npos ? "." : strPath.substr(0, nSlash + 1);
    CFileDescriptor dir(::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.IsValid() && ::fsync(dir.Get()) == 0;
}
} // namespace

bool CFileUtils::LoadAllTxtFile(const std::string& strPath, std::string& strText)
{
    KTRACE("CFileUtils::LoadAllTxtFile", strPath);
    if (!ReadTextLines(strPath, strText))
    {
        KLOG_ERR << "CFileUtils::LoadAllTxtFile can't open file " << strPath;
        return false;
    }
    return true;
}

bool CFileUtils::LoadAllUTF8TxtFile(const std::string& strPath, std::string& strText)
{
    KTRACE("CFileUtils::LoadAllUTF8TxtFile", strPath);
    if (!ReadTextLines(strPath, strText))
    {
        KLOG_ERR << "CFileUtils::LoadAllUTF8TxtFile can't open file " << strPath;
        return false;
    }
    return true;
}

bool CFileUtils::LoadAllBinFile(const std::string& strPath, CByteArray& bytes)
{
    KTRACE("CFileUtils::LoadAllBinFile", strPath);
    if (!ReadWholeFile(strPath, bytes))
    {
        KLOG_ERR << "CFileUtils::LoadAllBinFile can't open file " << strPath;
        return false;
    }
    return true;
}

bool CFileUtils::SaveBinFile(const std::string& strPath, std::span<const std::uint8_t> bytes)
{
    return SaveBinFile(strPath, bytes.data(), bytes.size());
}

bool CFileUtils::SaveBinFile(const std::string& strPath, const void* pData, std::size_t nLength)
{
    KTRACE("CFileUtils::SaveBinFile", strPath);
    CFileDescriptor fd(::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsValid() || !WriteAll(fd.Get(), static_cast<const std::uint8_t*>(pData), nLength) ||
        !fd.Close())
    {
        KLOG_ERR << "CFileUtils::SaveBinFile can't write file " << strPath;
        return false;
    }
    return true;
}

bool CFileUtils::SaveFileAtomically(const std::string& strPath, std::string_view text, mode_t nMode)
{
    return SaveFileAtomically(
        strPath, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), nMode);
}

bool CFileUtils::SaveFileAtomically(const std::string& strPath, std::span<const std::uint8_t> bytes,
                                    mode_t nMode)
{
    KTRACE("CFileUtils::SaveFileAtomically", strPath);
    MakePathForFile(strPath);
    std::string strTemp = strPath + ".tmp.XXXXXX";
    CFileDescriptor fd(::mkostemp(strTemp.data(), O_CLOEXEC));
    if (!fd.IsValid())
    {
        KLOG_ERR << "CFileUtils::SaveFileAtomically can't create a temporary file for " << strPath
                 << ": " << std::strerror(errno);
        return false;
    }
    const bool bWritten = ::fchmod(fd.Get(), nMode) == 0 &&
                          WriteAll(fd.Get(), bytes.data(), bytes.size()) && ::fsync(fd.Get()) == 0;
    const int nError = errno;
    if (!fd.Close() || !bWritten || ::rename(strTemp.c_str(), strPath.c_str()) != 0)
    {
        KLOG_ERR << "CFileUtils::SaveFileAtomically can't write file " << strPath << ": "
                 << std::strerror(bWritten ? errno : nError);
        ::unlink(strTemp.c_str());
        return false;
    }
    SyncDirectoryOf(strPath);
    return true;
}

bool CFileUtils::CreateEmptyFile(const std::string& strPath)
{
    KTRACE("CFileUtils::CreateEmptyFile", strPath);
    CFileDescriptor fd(::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsValid())
    {
        KLOG_ERR << "CFileUtils::CreateEmptyFile can't create file " << strPath << ": " << errno;
        return false;
    }
    return true;
}

std::string CFileUtils::KeepCopyAside(const std::string& strPath)
{
    KTRACE("CFileUtils::KeepCopyAside", strPath);
    if (!FileExists(strPath))
        return {};
    const std::time_t tNow = std::time(nullptr);
    std::tm tmLocal{};
    char szStamp[32] = "unknown";
    if (::localtime_r(&tNow, &tmLocal))
        std::strftime(szStamp, sizeof(szStamp), "%Y%m%d-%H%M%S", &tmLocal);
    std::string strCopy = strPath + ".damaged-" + szStamp;
    for (int n = 2; FileExists(strCopy); ++n)
        strCopy = strPath + ".damaged-" + szStamp + "-" + std::to_string(n);
    return CopyFile(strPath, strCopy) ? strCopy : std::string();
}

std::string CFileUtils::GetResourceName(std::string_view path)
{
    const std::string strUpper = CTextUtils::ToUpperAscii(ToSlashes(path));
    auto toName = [](std::string_view tail) {
        std::string strName(tail);
        for (char& c : strName)
            if (c == '/')
                c = '\\';
        return strName;
    };
    std::string strFirst;
    for (auto nPos = strUpper.find("/UI/"); nPos != std::string::npos;
         nPos = strUpper.find("/UI/", nPos + 1))
    {
        std::string strName = toName(std::string_view(strUpper).substr(nPos + 1));
        if (FindEmbeddedResource(strName))
            return strName;
        if (strFirst.empty())
            strFirst = std::move(strName);
    }
    return strFirst.empty() ? toName(strUpper) : strFirst;
}

bool CFileUtils::LoadResourceFile(const std::string& strPath, CByteArray& bytes)
{
    KTRACE("CFileUtils::LoadResourceFile", strPath);
    const std::string strName = GetResourceName(strPath);
    const CEmbeddedResource* pResource = FindEmbeddedResource(strName);
    if (!pResource)
    {
        KLOG_ERR << "CFileUtils::LoadResource FindResource error " << ENOENT;
        return false;
    }
    if (pResource->m_nSize == 0)
    {
        KLOG_ERR << "CFileUtils::LoadResource SizeofResource error " << ENODATA;
        return false;
    }
    bytes.assign(pResource->m_pData, pResource->m_pData + pResource->m_nSize);
    return true;
}

bool CFileUtils::LoadTxtFileOrResource(const std::string& strPath, std::string& strText)
{
    KTRACE("CFileUtils::LoadTxtFileOrResource", strPath);
    if (FileExists(strPath))
        return LoadAllTxtFile(strPath, strText);
    CByteArray bytes;
    if (!LoadResourceFile(strPath, bytes))
        return false;
    strText.assign(bytes.begin(), bytes.end());
    return true;
}

bool CFileUtils::LoadBinFileOrResource(const std::string& strPath, CByteArray& bytes)
{
    KTRACE("CFileUtils::LoadBinFileOrResource", strPath);
    if (FileExists(strPath))
        return LoadAllBinFile(strPath, bytes);
    return LoadResourceFile(strPath, bytes);
}

bool CFileUtils::MakePath(const std::string& strFolder)
{
    std::string strPath = ToSlashes(strFolder);
    for (auto nPos = strPath.find("//"); nPos != std::string::npos; nPos = strPath.find("//"))
        strPath.erase(nPos, 1);
    if (strPath.empty() || DirectoryExists(strPath))
        return true;
    std::error_code error;
    fs::create_directories(strPath, error);
    if (error && !DirectoryExists(strPath))
    {
        KLOG_ERR << "CFileUtils::MakePath can't create folder " << strPath << ": " << error.value();
        return false;
    }
    return true;
}

bool CFileUtils::MakePathForFile(const std::string& strPath)
{
    const auto nSeparator = strPath.find_last_of("/\\");
    if (nSeparator == std::string::npos || nSeparator == 0)
        return true;
    return MakePath(strPath.substr(0, nSeparator));
}

void CFileUtils::RemoveFile(const std::string& strPath)
{
    if (::unlink(strPath.c_str()) != 0)
        KLOG_ERR << "CFileUtils::RemoveFile can't remove file " << strPath << ": " << errno;
}

bool CFileUtils::CopyFile(const std::string& strSource, const std::string& strTarget)
{
    KTRACE("CFileUtils::CopyFile", strSource, strTarget);
    return CopyChunks(strSource, strTarget, false, "CFileUtils::CopyFile");
}

bool CFileUtils::CopyFileAndDecrypt(const std::string& strSource, const std::string& strTarget)
{
    KTRACE("CFileUtils::CopyFileAndDecrypt", strSource, strTarget);
    return CopyChunks(strSource, strTarget, true, "CFileUtils::CopyFileAndDecrypt");
}

bool CFileUtils::MoveFile(const std::string& strSource, const std::string& strTarget)
{
    KTRACE("CFileUtils::MoveFile", strSource, strTarget);
    // rename() replaces the target in one step, so it is never missing.
    if (::rename(strSource.c_str(), strTarget.c_str()) == 0)
        return true;
    const int nError = errno;
    if (nError == EXDEV && CopyFile(strSource, strTarget))
    {
        ::unlink(strSource.c_str());
        return true;
    }
    KLOG_ERR << "Exception on CFileUtils::MoveFile: " << nError;
    return false;
}

bool CFileUtils::FileExists(const std::string& strPath)
{
    struct stat st
    {
    };
    return ::stat(strPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CFileUtils::DirectoryExists(const std::string& strPath)
{
    struct stat st
    {
    };
    return ::stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CFileUtils::ParseFileName(std::string_view address, std::string& strFile,
                               std::string& strAnchor)
{
    const auto nHash = address.find('#');
    if (nHash == std::string_view::npos)
    {
        strFile.assign(address);
        strAnchor.clear();
        return false;
    }
    strFile.assign(address.substr(0, nHash));
    strAnchor.assign(address.substr(nHash + 1));
    return true;
}

bool CFileUtils::CheckExt(std::string_view name, std::string_view ext)
{
    const auto nPos = name.find(ext);
    return nPos != std::string_view::npos && nPos + ext.size() == name.size();
}

std::string CFileUtils::GetFileExt(std::string_view name)
{
    const auto nDot = name.rfind('.');
    return nDot == std::string_view::npos ? std::string() : std::string(name.substr(nDot));
}

bool CFileUtils::ReadDirectory(const std::string& strPattern, std::vector<std::string>& names)
{
    KTRACE("CFileUtils::ReadDirectory", strPattern);
    const std::string strPath = ToSlashes(strPattern);
    const auto nSlash = strPath.find_last_of('/');
    const std::string strFolder = nSlash == std::string::npos ? "." : strPath.substr(0, nSlash + 1);
    const std::string strWildcard =
        nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);

    DIR* pDir = ::opendir(strFolder.c_str());
    if (!pDir)
        return false;
    bool bNormalEnd = true;
    for (;;)
    {
        errno = 0;
        const dirent* pEntry = ::readdir(pDir);
        if (!pEntry)
        {
            bNormalEnd = errno == 0;
            break;
        }
        if (::fnmatch(strWildcard.c_str(), pEntry->d_name, 0) == 0)
            names.emplace_back(pEntry->d_name);
    }
    ::closedir(pDir);
    return bNormalEnd;
}

std::string CFileUtils::NormalizePath(std::string_view path)
{
    const std::string strTrimmed(CTextUtils::Trim(ToSlashes(path)));
    std::string strResult = fs::path(CTextUtils::ToLower(strTrimmed)).lexically_normal().string();
    for (auto nPos = strResult.find("//"); nPos != std::string::npos; nPos = strResult.find("//"))
        strResult.erase(nPos, 1);
    strResult = std::string(CTextUtils::Trim(strResult));
    while (strResult.size() > 1 && strResult.back() == '/')
        strResult.pop_back();
    return strResult;
}

std::string CFileUtils::GetContentRelativeAddress(std::string_view text,
                                                  std::string_view documentsFolder)
{
    std::string strResult(text);
    if (!documentsFolder.empty() && text.starts_with(documentsFolder))
        strResult.erase(0, documentsFolder.size());
    strResult = ToSlashes(strResult);
    if (strResult.size() >= 3 && strResult[0] != '/' && strResult[1] != ':')
        strResult.insert(0, "/");
    return strResult;
}

std::string CFileUtils::GetContentFilePath(std::string_view url, std::string_view documentsFolder)
{
    if (!url.empty() && (url.front() == '/' || url.front() == '\\'))
        url.remove_prefix(1);
    std::string strPath(documentsFolder);
    if (!strPath.empty() && strPath.back() != '/')
        strPath += '/';
    strPath += ToSlashes(url);
    return strPath;
}

bool CFileUtils::ContainsRusLetters(std::string_view text)
{
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        const char32_t ch = CTextUtils::DecodeNext(text, nPos);
        if (CTextUtils::IsLetter(ch))
        {
            if (ch < 'A' || ch > 'z')
                return true;
        }
        else if (!CTextUtils::IsDigit(ch) && !CTextUtils::IsPunctuation(ch))
        {
            return true;
        }
    }
    return false;
}

std::string CFileUtils::GetUserDocumentsFolder()
{
    if (const char* szDocuments = std::getenv("XDG_DOCUMENTS_DIR"); szDocuments && *szDocuments)
        return szDocuments;
    const char* szHome = std::getenv("HOME");
    return std::string(szHome && *szHome ? szHome : ".") + "/Documents";
}

namespace
{
std::string UserFolder(const char* szVariable, GUserDirectory directory, const char* szFallback)
{
    if (const char* szFolder = std::getenv(szVariable); szFolder && *szFolder)
        return szFolder;
    // GLib reads the desktop's user-dirs.dirs; without an entry it has none.
    if (const char* szFolder = g_get_user_special_dir(directory); szFolder && *szFolder)
        return szFolder;
    const char* szHome = std::getenv("HOME");
    return std::string(szHome && *szHome ? szHome : ".") + "/" + szFallback;
}
} // namespace

std::string CFileUtils::GetUserDownloadFolder()
{
    return UserFolder("XDG_DOWNLOAD_DIR", G_USER_DIRECTORY_DOWNLOAD, "Downloads");
}

std::string CFileUtils::GetUserDesktopFolder()
{
    return UserFolder("XDG_DESKTOP_DIR", G_USER_DIRECTORY_DESKTOP, "Desktop");
}

std::string CFileUtils::CopyToDesktop(const std::string& strSource, std::string_view title)
{
    KTRACE("CFileUtils::CopyToDesktop", strSource);
    return CopyUnderTitle(strSource, title,
                          GetUserDocumentsFolder() + "/" +
                              std::string(CStringTable::Get(IDS_FORMS_FOLDER)));
}

std::string CFileUtils::CopyUnderTitle(const std::string& strSource, std::string_view title,
                                       const std::string& strFolder)
{
    if (!MakePath(strFolder))
        return {};
    // A title is content, not a path: separators would lead out of the folder.
    std::string strName(title);
    for (char& c : strName)
        if (c == '.' || c == '/' || c == '\\' || c == '\0')
            c = '_';
    const std::string strTarget = strFolder + "/" + strName + GetFileExt(strSource);
    return CopyFile(strSource, strTarget) ? strTarget : std::string();
}

// Arbitrary bytes as an update package: the unpacker must never write outside
// the content folder, whatever names, links or sizes the archive claims.
#include "PackageEntry.h"
#include "UpdateProcess.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
// A scratch folder for the whole run, removed at exit.
struct CScratch
{
    CScratch()
    {
        std::string strTemplate =
            (fs::temp_directory_path() / "kalimor-fuzz-unpack-XXXXXX").string();
        if (!::mkdtemp(strTemplate.data()))
            std::abort();
        m_path = strTemplate;
    }
    ~CScratch()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    fs::path m_path;
};

const fs::path& Root()
{
    static const CScratch scratch;
    return scratch.m_path;
}

void CheckName(const std::string& strRaw)
{
    std::string strName, strReason;
    if (!CPackageEntry::NormalizeName(strRaw, strName, strReason))
        return;
    if (strName.starts_with('/') || strName.find(':') != std::string::npos)
        std::abort();
    for (std::size_t nPos = 0; nPos <= strName.size();)
    {
        const auto nEnd = std::min(strName.find('/', nPos), strName.size());
        if (strName.substr(nPos, nEnd - nPos) == "..")
            std::abort();
        nPos = nEnd + 1;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    CheckName(std::string(reinterpret_cast<const char*>(pData), std::min<std::size_t>(nSize, 300)));

    const fs::path& root = Root();
    std::error_code error;
    fs::remove_all(root / "profile", error);
    fs::create_directories(root / "profile/Content", error);
    const std::string strZip = (root / "package.zip").string();
    if (std::FILE* pFile = std::fopen(strZip.c_str(), "wb"))
    {
        std::fwrite(pData, 1, nSize, pFile);
        std::fclose(pFile);
    }
    const std::string strContent = (root / "profile/Content/").string();
    const CUnpackTarget target{strContent, strContent + "Content/online/styles/style.css.win",
                               strContent + "Content/online/styles/style.css"};
    CUnpackJob job;
    job.m_strZipPath = strZip;
    job.m_limits.m_nMaxTotalBytes = 64 << 20;
    job.m_lastPause = std::chrono::milliseconds(0);
    CUpdateProcess::Process(target, job, nullptr);

    // Only the package itself and the profile may exist beside each other.
    for (const auto& entry : fs::directory_iterator(root, error))
    {
        const std::string strName = entry.path().filename().string();
        if (strName != "package.zip" && strName != "profile")
            std::abort();
    }
    for (const auto& entry : fs::directory_iterator(root / "profile", error))
        if (entry.path().filename() != "Content")
            std::abort();
    for (const auto& entry : fs::recursive_directory_iterator(root / "profile/Content", error))
        if (entry.is_symlink())
            std::abort();
    return 0;
}

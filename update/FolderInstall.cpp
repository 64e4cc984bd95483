#include "FolderInstall.h"

#include "FileUtils.h"
#include "Logger.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "TextUtils.h"
#include "UpdateProcess.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>

std::vector<std::pair<int, std::string>>
CFolderInstall::FindPackages(const std::vector<std::string>& names)
{
    std::vector<std::pair<int, std::string>> packages;
    for (const std::string& strName : names)
    {
        const auto nDot = strName.find('.');
        if (nDot == std::string::npos ||
            !CTextUtils::EqualsNoCaseAscii(strName.substr(nDot + 1), "zip"))
            continue;
        const std::string_view number(strName.data(), nDot);
        int nNumber = 0;
        const auto [pEnd, error] =
            std::from_chars(number.data(), number.data() + number.size(), nNumber);
        if (number.empty() || error != std::errc() || pEnd != number.data() + number.size() ||
            nNumber <= 0)
            continue;
        packages.emplace_back(nNumber, strName);
    }
    std::stable_sort(packages.begin(), packages.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return packages;
}

bool CFolderInstall::UpdateDataFrom(const std::string& strFolder, CRegistryConfig& config,
                                    const CProfileConfig& profile, const ProgressFn& progress,
                                    std::string* pErrorText)
{
    KTRACE("CKalimorClntApp::UpdateDataFrom", strFolder);
    KLOG_NOTICE << "Install updates from " << strFolder;
    std::string strPrefix = strFolder;
    if (!strPrefix.ends_with('/') && !strPrefix.ends_with('\\'))
        strPrefix += '/';
    std::vector<std::string> names;
    if (!CFileUtils::ReadDirectory(strPrefix + "*", names))
    {
        KLOG_ERR << "Can' read files from directory " << strFolder;
        return false;
    }
    const CUnpackTarget target{profile.m_strContentDirPath, profile.m_strStyleSheetSourcePath,
                               profile.m_strStyleSheetPath};
    bool bAll = true;
    const std::vector<std::pair<int, std::string>> packages = FindPackages(names);
    std::vector<std::uint64_t> sizes;
    std::uint64_t nTotal = 0, nDone = 0;
    for (const auto& package : packages)
    {
        std::error_code error;
        sizes.push_back(std::filesystem::file_size(strPrefix + package.second, error));
        nTotal += error ? (sizes.back() = 0) : sizes.back();
    }
    for (std::size_t i = 0; i < packages.size(); ++i)
    {
        const auto& [nNumber, strName] = packages[i];
        CUnpackJob job;
        job.m_strZipPath = strPrefix + strName;
        KLOG_NOTICE << "Install update " << job.m_strZipPath;
        const std::string strStage =
            strName + " (" + std::to_string(i + 1) + " of " + std::to_string(packages.size()) + ")";
        std::function<void(unsigned)> unpacked;
        if (progress)
            unpacked = [&, nSize = sizes[i]](unsigned nPercent) {
                progress(CProgress{strStage, "B", nDone + nSize * nPercent / 100, nTotal});
            };
        CUnpackResult result;
        const bool bInstalled =
            CUpdateProcess::Process(target, job, unpacked, nullptr, nullptr, &result);
        nDone += sizes[i];
        // The unpacker's own reports end short of its last entry.
        if (progress && bInstalled)
            progress(CProgress{strStage, "B", nDone, nTotal});
        if (!bInstalled)
        {
            KLOG_ERR << "Can't process update" << job.m_strZipPath;
            if (pErrorText)
                *pErrorText = result.m_strErrorText;
            bAll = false;
            break;
        }
        // Stored only now that the package's content is in place: a crash
        // before this line leaves the new content with the old version, and
        // the next run installs the same package again over it, which
        // changes nothing (it writes the same files and removes the same
        // ones). The other order could leave the old content under the new
        // version, which no later update would ever mend.
        config.SetContentVersion(nNumber);
        config.SaveSettings();
    }
    if (config.GetLastUpdateDay() == 0 && config.GetLastUpdateMonth() == 0 &&
        config.GetLastUpdateYear() == 0)
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        config.SetLastUpdateDate(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
        config.SaveSettings();
    }
    return bAll;
}

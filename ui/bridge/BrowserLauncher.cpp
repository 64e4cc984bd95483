#include "BrowserLauncher.h"

#include "Logger.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

extern char** environ;

namespace
{
bool Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // No shell: the URL is one argument whatever it holds.
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0;
}
} // namespace

// The address's one-time code stays out of the browser's command line (/proc).
std::string CBrowserLauncher::WriteLaunchPage(const std::string& strUrl,
                                              const std::string& strFolder)
{
    std::error_code error;
    std::filesystem::create_directories(strFolder, error);
    const std::string strPath = strFolder + "/kalimor-start.html";
    const int fd =
        ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return {};
    const std::string strPage =
        "<!DOCTYPE html><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
        "<meta http-equiv=\"refresh\" content=\"0;url=" +
        strUrl + "\">";
    const bool bWritten = ::fchmod(fd, 0600) == 0 && ::write(fd, strPage.data(), strPage.size()) ==
                                                         static_cast<ssize_t>(strPage.size());
    ::close(fd);
    return bWritten ? "file://" + strPath : std::string();
}

std::string CBrowserLauncher::FindProgram(const std::string& strName)
{
    const char* szPath = std::getenv("PATH");
    std::string path = szPath ? szPath : "/usr/bin:/bin";
    std::size_t nStart = 0;
    while (nStart <= path.size())
    {
        std::size_t nEnd = path.find(':', nStart);
        if (nEnd == std::string::npos)
            nEnd = path.size();
        std::string strCandidate = path.substr(nStart, nEnd - nStart) + "/" + strName;
        if (nEnd > nStart && ::access(strCandidate.c_str(), X_OK) == 0)
            return strCandidate;
        nStart = nEnd + 1;
    }
    return {};
}

bool CBrowserLauncher::Open(const std::string& strUrl, const std::string& strProfileFolder)
{
    KTRACE("CBrowserLauncher::Open");
    const std::string strLaunch = WriteLaunchPage(strUrl, strProfileFolder);
    const std::string& strGiven = strLaunch.empty() ? strUrl : strLaunch;
    const std::string strChromium = FindProgram("chromium");
    if (!strChromium.empty() &&
        Spawn({strChromium, "--app=" + strGiven, "--user-data-dir=" + strProfileFolder,
               "--no-first-run", "--no-default-browser-check"}))
        return true;
    if (OpenWithDesktop(strGiven))
        return true;
    KLOG_ERR << "CBrowserLauncher::Open no browser to show " << strUrl;
    return false;
}

bool CBrowserLauncher::OpenWithDesktop(const std::string& strUrl)
{
    const std::string strOpen = FindProgram("xdg-open");
    return !strOpen.empty() && Spawn({strOpen, strUrl});
}

bool CBrowserLauncher::OpenWordProcessor(const std::string& strPath)
{
    for (const char* szName : {"soffice", "libreoffice", "lowriter"})
        if (const std::string strProgram = FindProgram(szName); !strProgram.empty())
            return Spawn({strProgram, "--writer", strPath});
    KLOG_ERR << "CBrowserLauncher::OpenWordProcessor no LibreOffice Writer in PATH";
    return false;
}

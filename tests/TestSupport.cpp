#include "TestSupport.h"

#include "Logger.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

CTempDir::CTempDir()
{
    std::string strTemplate =
        (std::filesystem::temp_directory_path() / "kalimor-test-XXXXXX").string();
    if (!::mkdtemp(strTemplate.data()))
        throw std::runtime_error("cannot create a temporary folder");
    m_strPath = strTemplate;
}

CTempDir::~CTempDir()
{
    std::error_code error;
    std::filesystem::permissions(m_strPath, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_strPath, error);
}

CLogCapture::CLogCapture(int nLevel)
{
    GetLog().Open(m_dir.File("test.log"), nLevel);
}

CLogCapture::~CLogCapture()
{
    GetLog().Close();
}

std::string CLogCapture::Text() const
{
    return ReadFileText(m_dir.File("test.log"));
}

std::vector<std::string> CLogCapture::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Text());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool CLogCapture::Contains(std::string_view text) const
{
    return Text().find(text) != std::string::npos;
}

std::string ReadFileText(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFileText(const std::string& strPath, std::string_view text)
{
    std::filesystem::create_directories(std::filesystem::path(strPath).parent_path());
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

CScopedEnv::CScopedEnv(const char* szName, const std::string& strValue) : m_strName(szName)
{
    const char* szOld = std::getenv(szName);
    m_bHadValue = szOld != nullptr;
    if (szOld)
        m_strOldValue = szOld;
    ::setenv(szName, strValue.c_str(), 1);
}

CScopedEnv::~CScopedEnv()
{
    if (m_bHadValue)
        ::setenv(m_strName.c_str(), m_strOldValue.c_str(), 1);
    else
        ::unsetenv(m_strName.c_str());
}

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

CProcessResult RunProcess(const std::vector<std::string>& args)
{
    CTempDir dir;
    const std::string outPath = dir.File("out"), errPath = dir.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    CProcessResult result;
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    {
        int status = 0;
        ::waitpid(pid, &status, 0);
        result.m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.m_strOut = ReadFileText(outPath);
    result.m_strErr = ReadFileText(errPath);
    return result;
}

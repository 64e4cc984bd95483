#pragma once

#include "ProfileConfig.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Exit codes of the command-line tool.
enum ECtlExit : int
{
    CTL_OK = 0,
    CTL_FAILED = 1,
    CTL_USAGE = 2,
};

// What every subcommand is handed: the global options and its own arguments.
struct CCtlContext
{
    std::string m_strProfileRoot; // --profile DIR, empty when not given
    bool m_bJson = false;         // --json, where a command supports it
    std::vector<std::string> m_args;
};

using CtlCommandFn = int (*)(CCtlContext& context);

struct CCtlCommand
{
    std::string_view m_name;
    std::string_view m_usage;   // arguments, shown in the help
    std::string_view m_summary; // one line
    CtlCommandFn m_pRun;
};

// Reports a usage error for a command and returns CTL_USAGE.
int CtlUsageError(const CCtlCommand& command, std::string_view message);
// Reports a failure on stderr and returns CTL_FAILED.
int CtlFail(std::string_view message);

// Takes "--json" out of the arguments and sets the flag.
void CtlTakeJsonFlag(CCtlContext& context);

// The profile's paths: the --profile root, or the client's own profile.
CProfileConfig CtlLoadProfile(const CCtlContext& context);

// Keeps the client's log for one run of the tool: in the file given with
// --log, or in a temporary file whose lines are shown on stderr when the
// command fails, so the reason for a failure is never hidden.
class CCtlLogSession
{
public:
    CCtlLogSession(const std::string& strLogPath, int nLevel);
    ~CCtlLogSession();
    CCtlLogSession(const CCtlLogSession&) = delete;
    CCtlLogSession& operator=(const CCtlLogSession&) = delete;

    void Finish(int nExitCode);

private:
    std::string m_strPath;
    std::string m_strTempFolder;
};

std::span<const CCtlCommand> GetCipherCommands();
std::span<const CCtlCommand> GetPublishCommands();
std::span<const CCtlCommand> GetQueryCommands();
std::span<const CCtlCommand> GetUpdateCommands();
std::span<const CCtlCommand> GetSearchCommands();
std::span<const CCtlCommand> GetPromptCommands();

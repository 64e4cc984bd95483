// kalimorctl: the client's core without a window, for publishers, tests and
// support. Exit status 0 on success, 1 when the command failed, 2 on a usage
// error.
#include "CtlContext.h"
#include "Logger.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace
{
std::vector<CCtlCommand> AllCommands()
{
    std::vector<CCtlCommand> commands;
    for (const auto group : {GetCipherCommands(), GetPublishCommands(), GetSearchCommands(),
                             GetQueryCommands(), GetPromptCommands(), GetUpdateCommands()})
        commands.insert(commands.end(), group.begin(), group.end());
    return commands;
}

void PrintHelp(const std::vector<CCtlCommand>& commands)
{
    std::cout << "usage: kalimorctl [--profile DIR] [--log FILE] [--log-level N] COMMAND [ARGS]\n\n"
                 "Options:\n"
                 "  --profile DIR    the profile root to work on (content in DIR/Content)\n"
                 "  --log FILE       keep the client's log in FILE\n"
                 "  --log-level N    log threshold 1 (errors) to 5 (debug); default 2\n"
                 "  --help           show this help\n\nCommands:\n";
    for (const auto& command : commands)
    {
        const std::string strHead =
            std::string(command.m_name) + " " + std::string(command.m_usage);
        std::cout << "  " << strHead;
        for (std::size_t n = strHead.size(); n < 40; ++n)
            std::cout << ' ';
        std::cout << " " << command.m_summary << "\n";
    }
}

bool ParseLevel(const std::string& strText, int& nLevel)
{
    if (strText.size() != 1 || strText[0] < '0' || strText[0] > '5')
        return false;
    nLevel = strText[0] - '0';
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const std::vector<CCtlCommand> commands = AllCommands();
    CCtlContext context;
    std::string strLogPath;
    int nLogLevel = LOG_WARN;
    int i = 1;
    for (; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h")
        {
            PrintHelp(commands);
            return CTL_OK;
        }
        if (arg == "--profile" && bHasValue)
            context.m_strProfileRoot = argv[++i];
        else if (arg == "--log" && bHasValue)
            strLogPath = argv[++i];
        else if (arg == "--log-level" && bHasValue)
        {
            if (!ParseLevel(argv[++i], nLogLevel))
            {
                std::cerr << "kalimorctl: --log-level takes a number from 0 to 5\n";
                return CTL_USAGE;
            }
        }
        else if (arg.starts_with("-"))
        {
            std::cerr << "kalimorctl: unknown option " << arg << "\n";
            return CTL_USAGE;
        }
        else
            break;
    }
    if (i >= argc)
    {
        PrintHelp(commands);
        return CTL_USAGE;
    }
    const std::string strName = argv[i];
    const CCtlCommand* pCommand = nullptr;
    for (const auto& command : commands)
        if (command.m_name == strName)
            pCommand = &command;
    if (!pCommand)
    {
        std::cerr << "kalimorctl: unknown command " << strName << " (see kalimorctl --help)\n";
        return CTL_USAGE;
    }
    context.m_args.assign(argv + i + 1, argv + argc);
    for (const auto& arg : context.m_args)
    {
        if (arg == "--help")
        {
            std::cout << "usage: kalimorctl " << pCommand->m_name << " " << pCommand->m_usage
                      << "\n  " << pCommand->m_summary << "\n";
            return CTL_OK;
        }
    }

    CCtlLogSession log(strLogPath, nLogLevel);
    const int nExitCode = pCommand->m_pRun(context);
    log.Finish(nExitCode);
    return nExitCode;
}

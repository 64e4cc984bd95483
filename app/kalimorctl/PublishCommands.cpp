#include "ContentPublisher.h"
#include "CtlContext.h"
#include "PackageBuilder.h"
#include "ProgressBar.h"

#include <unistd.h>

#include <array>
#include <iostream>

namespace
{
int RunPublish(CCtlContext& context);
int RunPackage(CCtlContext& context);

constexpr std::array<CCtlCommand, 2> kCommands{{
    {"publish", "[--hunspell BASE | --morphology DIR] SRC PROFILE",
     "build PROFILE/Content from a readable source tree", RunPublish},
    {"package", "[--base OLD_CONTENT] CONTENT OUT.zip",
     "an update package of a published content folder (only what changed since OLD_CONTENT)",
     RunPackage},
}};

void PrintReport(const CPublishReport& report)
{
    for (const auto& note : report.GetNotes())
        std::cout << note << "\n";
    for (const auto& warning : report.GetWarnings())
        std::cerr << "warning: " << warning << "\n";
    for (const auto& error : report.GetErrors())
        std::cerr << "error: " << error << "\n";
}

int RunPackage(CCtlContext& context)
{
    std::string strBase;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < context.m_args.size(); ++i)
    {
        if (context.m_args[i] == "--base" && i + 1 < context.m_args.size())
            strBase = context.m_args[++i];
        else if (context.m_args[i].starts_with("--"))
            return CtlUsageError(kCommands[1], "unknown option " + context.m_args[i]);
        else
            paths.push_back(context.m_args[i]);
    }
    if (paths.size() != 2)
        return CtlUsageError(kCommands[1], "expects a content folder and the package to write");
    CPublishReport report;
    CProgressBar bar(STDERR_FILENO);
    report.SetProgress(bar.Function());
    const bool bBuilt = CPackageBuilder().Build(paths[0], strBase, paths[1], report);
    bar.Finish();
    PrintReport(report);
    return bBuilt ? CTL_OK : CtlFail("no package was written");
}

int RunPublish(CCtlContext& context)
{
    CPublishOptions options;
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < context.m_args.size(); ++i)
    {
        const std::string& arg = context.m_args[i];
        const bool bHasValue = i + 1 < context.m_args.size();
        if (arg == "--hunspell" && bHasValue)
            options.m_strHunspellBase = context.m_args[++i];
        else if (arg == "--morphology" && bHasValue)
            options.m_strMorphologyFolder = context.m_args[++i];
        else if (arg.starts_with("--"))
            return CtlUsageError(kCommands[0], "unknown option " + arg);
        else
            folders.push_back(arg);
    }
    if (folders.size() != 2)
        return CtlUsageError(kCommands[0], "expects a source folder and a profile folder");
    CContentPublisher publisher;
    CPublishReport report;
    CProgressBar bar(STDERR_FILENO);
    report.SetProgress(bar.Function());
    const bool bPublished = publisher.Publish(folders[0], folders[1], report, options);
    bar.Finish();
    PrintReport(report);
    if (!bPublished)
        return CtlFail("nothing was published; " + folders[1] + " is as it was");
    std::cout << "published into " << folders[1] << "/Content\n";
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetPublishCommands()
{
    return kCommands;
}

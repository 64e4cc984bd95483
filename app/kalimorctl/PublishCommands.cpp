#include "ContentPublisher.h"
#include "CtlContext.h"

#include <array>
#include <iostream>

namespace
{
int RunPublish(CCtlContext& context);

constexpr std::array<CCtlCommand, 1> kCommands{{
    {"publish", "SRC PROFILE", "build PROFILE/Content from a readable source tree", RunPublish},
}};

int RunPublish(CCtlContext& context)
{
    if (context.m_args.size() != 2)
        return CtlUsageError(kCommands[0], "expects a source folder and a profile folder");
    CContentPublisher publisher;
    CPublishReport report;
    const bool bPublished = publisher.Publish(context.m_args[0], context.m_args[1], report);
    for (const auto& note : report.GetNotes())
        std::cout << note << "\n";
    for (const auto& warning : report.GetWarnings())
        std::cerr << "warning: " << warning << "\n";
    for (const auto& error : report.GetErrors())
        std::cerr << "error: " << error << "\n";
    if (!bPublished)
        return CtlFail("nothing was published; " + context.m_args[1] + " is as it was");
    std::cout << "published into " << context.m_args[1] << "/Content\n";
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetPublishCommands()
{
    return kCommands;
}

#include "CtlContext.h"
#include "FolderInstall.h"
#include "ProfileConfig.h"
#include "ProgressBar.h"
#include "RegistryConfig.h"

#include <unistd.h>

#include <array>
#include <iostream>

namespace
{
int RunInstallUpdates(CCtlContext& context);

constexpr std::array<CCtlCommand, 1> kCommands{{
    {"install-updates", "FOLDER",
     "install the update packages N.zip of a folder, as the client's \"updates\" mode does",
     RunInstallUpdates},
}};

int RunInstallUpdates(CCtlContext& context)
{
    if (context.m_args.size() != 1)
        return CtlUsageError(kCommands[0], "expects the folder of packages");
    CRegistryConfig config;
    config.LoadSettings();
    CProfileConfig profile = CtlLoadProfile(context);
    if (profile.m_strContentDirPath.empty())
        return CtlFail("cannot create the profile folder");
    CProgressBar bar(STDERR_FILENO);
    std::string strError;
    const bool bDone = CFolderInstall::UpdateDataFrom(context.m_args[0], config, profile,
                                                      bar.Function(), &strError);
    bar.Finish();
    std::cout << "content version " << config.GetContentVersion() << "\n";
    if (bDone)
        return CTL_OK;
    return CtlFail(strError.empty() ? std::string("not every package was installed") : strError);
}
} // namespace

std::span<const CCtlCommand> GetUpdateCommands()
{
    return kCommands;
}

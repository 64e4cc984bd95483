#pragma once

#include "Progress.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CRegistryConfig;
class CProfileConfig;

// Installs the update packages of a local folder, the client's "updates" start
// mode and "kalimorctl install-updates": every "N.zip" (N a non-zero decimal
// number) in ascending N, each N stored as the content version once its
// package is in.
class CFolderInstall
{
public:
    // True when every package was installed. Stops at the first failure; the
    // packages before it stay installed and their version is saved. Progress,
    // when given, counts the bytes of the packages unpacked so far. Each
    // package goes in whole or not at all (CUpdateProcess); pErrorText gets
    // the failure's text for the user when it has one (a full disk).
    static bool UpdateDataFrom(const std::string& strFolder, CRegistryConfig& config,
                               const CProfileConfig& profile, const ProgressFn& progress = {},
                               std::string* pErrorText = nullptr);
    // The packages of a folder listing, by number: (N, file name).
    static std::vector<std::pair<int, std::string>>
    FindPackages(const std::vector<std::string>& names);
};

#pragma once

#include <string>
#include <string_view>

// The client's start switches: "autostart", "updates FOLDER", "uninstall" and
// "replace-exe", each given as a flag with "-", "--" or "/" in any case.
class CKalimorCommandLineInfo
{
public:
    void ParseCommandLine(int argc, const char* const* argv);
    // One argument: its text without the flag prefix, whether it was a flag,
    // whether it is the last one.
    void ParseParam(std::string_view text, bool bFlag, bool bLast);

    bool IsAutoStart() const { return m_bAutoStart; }
    bool IsUninstall() const { return m_bUninstall; }
    bool IsReplaceExe() const { return m_bReplaceExe; }
    // "updates" counts only when a folder followed it.
    bool IsUpdates() const { return !m_strUpdateFolder.empty(); }
    const std::string& GetUpdateFolder() const { return m_strUpdateFolder; }

private:
    bool m_bAutoStart = false;
    bool m_bUninstall = false;
    bool m_bReplaceExe = false;
    bool m_bWaitingForUpdateFolder = false;
    std::string m_strUpdateFolder;
};

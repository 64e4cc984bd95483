#include "CommandLineInfo.h"

#include "TextUtils.h"

#include <array>

namespace
{
constexpr std::array<std::string_view, 4> kSwitches{"autostart", "updates", "uninstall",
                                                    "replace-exe"};

bool IsSwitch(std::string_view text)
{
    for (const auto name : kSwitches)
        if (CTextUtils::EqualsNoCaseAscii(text, name))
            return true;
    return false;
}
} // namespace

void CKalimorCommandLineInfo::ParseCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string_view arg(argv[i] ? argv[i] : "");
        const bool bLast = i + 1 == argc;
        if (arg.starts_with("--"))
            ParseParam(arg.substr(2), true, bLast);
        // "/" starts an absolute path here, so it makes a flag only of a switch.
        else if (arg.starts_with('-') || (arg.starts_with('/') && IsSwitch(arg.substr(1))))
            ParseParam(arg.substr(1), true, bLast);
        else
            ParseParam(arg, false, bLast);
    }
}

void CKalimorCommandLineInfo::ParseParam(std::string_view text, bool bFlag, bool)
{
    if (bFlag && IsSwitch(text))
    {
        if (CTextUtils::EqualsNoCaseAscii(text, "autostart"))
            m_bAutoStart = true;
        else if (CTextUtils::EqualsNoCaseAscii(text, "updates"))
            m_bWaitingForUpdateFolder = true;
        else if (CTextUtils::EqualsNoCaseAscii(text, "uninstall"))
            m_bUninstall = true;
        else
            m_bReplaceExe = true;
        return;
    }
    if (m_bWaitingForUpdateFolder)
    {
        m_strUpdateFolder = text;
        m_bWaitingForUpdateFolder = false;
    }
}

#include "AutostartEntry.h"

#include "FileUtils.h"
#include "GLibPtr.h"
#include "Logger.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";

// A boolean of the entry's group, or the fallback when it is missing or
// not a boolean.
bool ReadBool(GKeyFile* pFile, const char* szKey, bool bFallback)
{
    GError* pRawError = nullptr;
    const gboolean bValue =
        g_key_file_get_boolean(pFile, G_KEY_FILE_DESKTOP_GROUP, szKey, &pRawError);
    const GErrorPtr pError(pRawError);
    return pError ? bFallback : bValue != FALSE;
}
} // namespace

CAutostartEntry::CAutostartEntry(std::string strDesktopId, std::string strProgram)
    : m_strPath(GetAutostartFolder() + "/" + strDesktopId + ".desktop"),
      m_strProgram(std::move(strProgram)),
      m_strIcon(std::move(strDesktopId))
{
}

CAutostartEntry CAutostartEntry::ForThisProgram(std::string strDesktopId)
{
    char szPath[4096] = {};
    const ssize_t nLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    return CAutostartEntry(std::move(strDesktopId),
                           nLength > 0 ? std::string(szPath, std::size_t(nLength)) : "");
}

std::string CAutostartEntry::GetAutostartFolder()
{
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
    const char* szConfig = std::getenv("XDG_CONFIG_HOME");
    if (szConfig && szConfig[0] == '/')
        return std::string(szConfig) + "/autostart";
    const char* szHome = std::getenv("HOME");
    return std::string(szHome ? szHome : "") + "/.config/autostart";
}

std::string CAutostartEntry::QuoteExecArgument(std::string_view argument)
{
    std::string result;
    const bool bQuote =
        argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
    if (bQuote)
        result += '"';
    // Inside the quotes a backslash escapes, and that backslash is escaped
    // again because the value is a string: two backslashes stand before "$",
    // four for one backslash. Control characters take the string escapes.
    for (const char c : argument)
    {
        if (c == '%')
            result += "%%"; // not a field code
        else if (c == '\n')
            result += "\\n";
        else if (c == '\t')
            result += "\\t";
        else if (c == '\r')
            result += "\\r";
        else if (bQuote && (c == '"' || c == '`' || c == '$'))
            result += std::string("\\\\") + c;
        else if (c == '\\')
            result += "\\\\\\\\";
        else
            result += c;
    }
    if (bQuote)
        result += '"';
    return result;
}

std::string CAutostartEntry::BuildText() const
{
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Kalimor\n"
        "Name[ru]=Калимор\n"
        "Comment=Starts the Kalimor reference library in the tray when you log in\n"
        "Comment[ru]=Запускает справочник Калимор в области уведомлений при входе в систему\n";
    text += "Exec=" + QuoteExecArgument(m_strProgram) + " --autostart\n";
    text += "Icon=" + m_strIcon + "\n";
    text += "Terminal=false\n";
    return text;
}

bool CAutostartEntry::Exists() const
{
    return ::access(m_strPath.c_str(), F_OK) == 0;
}

bool CAutostartEntry::IsDisabledByDesktop() const
{
    const GKeyFilePtr pFile(g_key_file_new());
    if (!g_key_file_load_from_file(pFile.get(), m_strPath.c_str(), G_KEY_FILE_NONE, nullptr))
        return false;
    return ReadBool(pFile.get(), G_KEY_FILE_DESKTOP_KEY_HIDDEN, false) ||
           !ReadBool(pFile.get(), "X-GNOME-Autostart-enabled", true) ||
           !ReadBool(pFile.get(), "X-MATE-Autostart-enabled", true);
}

bool CAutostartEntry::Apply(bool bEnabled) const
{
    KTRACE("CAutostartEntry::Apply", m_strPath);
    if (bEnabled)
        return CFileUtils::SaveFileAtomically(m_strPath, BuildText());
    if (::unlink(m_strPath.c_str()) != 0 && errno != ENOENT)
    {
        KLOG_ERR << "CAutostartEntry::Apply can't remove " << m_strPath << ": "
                 << std::strerror(errno);
        return false;
    }
    return true;
}

bool CAutostartEntry::Sync(bool& bAutoStart) const
{
    if (IsDisabledByDesktop())
    {
        if (bAutoStart)
            KLOG_NOTICE << "CAutostartEntry: autostart was turned off in the desktop's settings";
        const bool bChanged = bAutoStart;
        bAutoStart = false;
        return bChanged;
    }
    if (bAutoStart != Exists())
        Apply(bAutoStart);
    return false;
}

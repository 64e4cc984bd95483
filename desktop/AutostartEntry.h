#pragma once

#include <string>
#include <string_view>

// The client's entry in the desktop's autostart folder
// ($XDG_CONFIG_HOME/autostart/ID.desktop), which starts it with "--autostart"
// when the user logs in. The configuration's autostart switch writes or
// removes it; a desktop whose own settings turned the entry off (Hidden=true,
// or GNOME's and MATE's "Autostart-enabled=false") has the last word.
class CAutostartEntry
{
public:
    // strDesktopId names the file; strProgram is the client's executable.
    CAutostartEntry(std::string strDesktopId, std::string strProgram);

    // The entry that starts the program running now.
    static CAutostartEntry ForThisProgram(std::string strDesktopId);
    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    static std::string GetAutostartFolder();
    const std::string& GetPath() const { return m_strPath; }

    // Writes the entry (atomically, replacing one the desktop turned off) or
    // removes it. False (and logged) when the folder cannot be written.
    bool Apply(bool bEnabled) const;
    bool Exists() const;
    // The entry is there and the desktop's own settings turned it off.
    bool IsDisabledByDesktop() const;
    // Brings the switch and the entry into line at start: an entry the desktop
    // turned off turns the switch off; otherwise a switch that is on gets its
    // entry (an existing one is left as the user may have edited it) and a
    // switch that is off loses it. True when bAutoStart was changed.
    bool Sync(bool& bAutoStart) const;

    std::string BuildText() const;
    // One argument of an Exec line: quoted where the desktop would split or
    // expand it, with the escapes a desktop entry's string value needs.
    static std::string QuoteExecArgument(std::string_view argument);

private:
    std::string m_strPath;
    std::string m_strProgram;
    std::string m_strIcon;
};

#pragma once

#include <string>

// Opens the client's start page for the user: an application window of
// Chromium when it is installed, otherwise the default browser (xdg-open).
class CBrowserLauncher
{
public:
    // strProfileFolder keeps the browser's own profile for the app window.
    static bool Open(const std::string& strUrl, const std::string& strProfileFolder);
    // A web or mail address with the desktop's handler (xdg-open).
    static bool OpenWithDesktop(const std::string& strUrl);
    // A file in LibreOffice Writer; false when it is not installed.
    static bool OpenWordProcessor(const std::string& strPath);
    // A page (mode 0600, in strFolder) that moves on to strUrl: what the
    // browser is given in its place, since a command line is readable by
    // every local user. Its file:// address, or empty when it can't be written.
    static std::string WriteLaunchPage(const std::string& strUrl, const std::string& strFolder);
    // The path of a program found in PATH, or empty.
    static std::string FindProgram(const std::string& strName);
};

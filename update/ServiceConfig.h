#pragma once

#include "ClientVersion.h"

#include <string>
#include <string_view>

// The words of the client's user agent, before its version.
inline constexpr std::string_view kClientKind = "WinClient";
inline constexpr std::string_view kUserAgentProduct = "Kalimor WinClient";

// Where the service lives. The deployment values sit here and nowhere else;
// they are placeholders under the reserved ".example" domain until a real
// deployment fills them in. KALIMOR_SERVICE ("host:port") sends the update
// requests, the sign-up and the web site downloads to another server (tests,
// staging).
struct CServiceConfig
{
    std::string m_strUpdateHost = "update.kalimor.example";
    unsigned m_nUpdatePort = 80;
    std::string m_strWebHost = "www.kalimor.example";
    unsigned m_nWebPort = 80;
    // Opened in the user's browser from the sign-in dialog and the sign-up refusal.
    std::string m_strPasswordReminderUrl = "http://www.kalimor.example/remind_password/";

    // The deployment values with the KALIMOR_SERVICE override applied; a
    // malformed override is logged and ignored.
    static CServiceConfig FromEnvironment();
    // Splits "host:port" (port 1-65535); false for anything else.
    static bool ParseHostPort(std::string_view text, std::string& strHost, unsigned& nPort);

    // "http://" + web host (with its port when not 80) + the relative path.
    std::string GetWebUrl(std::string_view relativePath) const;
};

#pragma once

#include <string_view>

// What the user hears of an update that runs while the client lives in the
// tray: that it started, how it ended. The update flow calls it; the desktop's
// notifications (CDesktopNotifier) or a test answer.
class IUpdateNotifier
{
public:
    virtual ~IUpdateNotifier() = default;
    virtual void ShowUpdateStarted() = 0;
    // bInstalled: new content came in (otherwise the client was up to date).
    virtual void ShowUpdateFinished(bool bInstalled) = 0;
    virtual void ShowUpdateFailed(std::string_view message) = 0;
};

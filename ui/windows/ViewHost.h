#pragma once

#include "Bookmark.h"

#include <memory>
#include <string>

// What a body window may ask of the main window that holds it: to go to a
// new view (pushed on the back/forward list), the view on screen, and the
// few shared services. Body windows know nothing of each other.
class IViewHost
{
public:
    virtual ~IViewHost() = default;
    // Pushes the view; with bShow it is shown too. False (the view is
    // dropped) when it cannot be pushed.
    virtual bool GoToBookmark(std::unique_ptr<CBookmark> pBookmark, bool bShow) = 0;
    virtual CBookmark* GetCurrentView() = 0;
    // A picture of the content in the image viewer, over the dimmed window.
    virtual void ShowImage(const std::string& strPath) = 0;
    virtual void UpdateSearchSample() = 0;
};

#pragma once

#include "HTMLayoutEventHandler.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The named element behaviors the program registers at start-up; a page asks
// for one with the CSS property "behavior".
class CElementBehaviors
{
public:
    using Factory = std::function<std::unique_ptr<CDomEventSink>()>;

    static void Register(std::string_view name, Factory factory);
    // A new behavior of that exact name (byte comparison), or null.
    static std::unique_ptr<CDomEventSink> Create(std::string_view name);
    // Registers "hyperlink", the one behavior the pages use.
    static void RegisterStandard();
};

// Every clickable link, tile and image button of the UI: focusable, hover on
// enter and leave, a main-button press marks it and the release on it posts
// HYPERLINK_CLICK (reason 0); Space or Enter while focused post it with reason 1.
class CHyperlinkBehavior : public CHTMLayoutEventHandler
{
public:
    void OnBehaviorAttached(CElement& element) override;
    bool on_mouse(CElement he, CElement target, unsigned nEvent, int nX, int nY, unsigned nButtons,
                  unsigned nKeys) override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
};

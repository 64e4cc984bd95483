#include "ElementBehaviors.h"

#include <map>

namespace
{
// The registry is filled once at start-up and read when pages load.
std::map<std::string, CElementBehaviors::Factory, std::less<>>& Registry()
{
    static std::map<std::string, CElementBehaviors::Factory, std::less<>> registry;
    return registry;
}
} // namespace

void CElementBehaviors::Register(std::string_view name, Factory factory)
{
    Registry()[std::string(name)] = std::move(factory);
}

std::unique_ptr<CDomEventSink> CElementBehaviors::Create(std::string_view name)
{
    const auto it = Registry().find(name);
    return it == Registry().end() ? nullptr : it->second();
}

void CElementBehaviors::RegisterStandard()
{
    Register("hyperlink", [] { return std::make_unique<CHyperlinkBehavior>(); });
}

void CHyperlinkBehavior::OnBehaviorAttached(CElement& element)
{
    if (!element.HasAttribute("tabindex"))
        element.SetAttribute("tabindex", "0");
}

bool CHyperlinkBehavior::on_mouse(CElement he, CElement target, unsigned nEvent, int, int,
                                  unsigned nButtons, unsigned)
{
    switch (nEvent)
    {
    case MOUSE_ENTER:
        if (target == he)
            he.SetState(STATE_HOVER);
        return false;
    case MOUSE_LEAVE:
        if (target == he)
            he.SetState(0, STATE_HOVER);
        return false;
    case MOUSE_DOWN:
        if (nButtons & MAIN_MOUSE_BUTTON)
            he.SetState(STATE_CURRENT);
        return false;
    case MOUSE_UP:
        if ((nButtons & MAIN_MOUSE_BUTTON) && he.HasState(STATE_CURRENT))
        {
            he.SetState(0, STATE_CURRENT);
            he.PostEvent(HYPERLINK_CLICK, 0);
            return true;
        }
        return false;
    default: return false;
    }
}

bool CHyperlinkBehavior::on_key(CElement he, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent == KEY_DOWN && he.HasState(STATE_FOCUS) &&
        (nKeyCode == VK_SPACE || nKeyCode == VK_RETURN))
    {
        he.PostEvent(HYPERLINK_CLICK, 1);
        return true;
    }
    return false;
}

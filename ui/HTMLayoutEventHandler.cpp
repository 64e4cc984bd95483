#include "HTMLayoutEventHandler.h"

bool CHTMLayoutEventHandler::HandleDomEvent(CDomEvent& event)
{
    const CElement he = CElement::FromNode(event.m_pHandlerElement);
    const CElement target = CElement::FromNode(event.m_pTarget);
    switch (event.m_nGroup)
    {
    case HANDLE_MOUSE:
        if (event.m_nCode == MOUSE_DOWN && (event.m_nButtons & PROP_MOUSE_BUTTON))
            return OnMouseRClick(he, event);
        return on_mouse(he, target, event.m_nCode, event.m_nX, event.m_nY, event.m_nButtons,
                        event.m_nKeyboardState);
    case HANDLE_KEY:
        return on_key(he, target, event.m_nCode, event.m_nKeyCode, event.m_nKeyboardState);
    case HANDLE_FOCUS: return on_focus(he, target, event.m_nCode);
    case HANDLE_TIMER: return on_timer(he, event.m_nTimerId);
    case HANDLE_BEHAVIOR_EVENT:
        switch (event.m_nCode)
        {
        case BUTTON_CLICK: return OnButtonClick(he, event);
        case BUTTON_STATE_CHANGED: return OnButtonStateChanged(he, event);
        case EDIT_VALUE_CHANGING: return OnEditValueChanging(he, event);
        case EDIT_VALUE_CHANGED: return OnEditValueChanged(he, event);
        case HYPERLINK_CLICK: return OnHyperlinkClick(he, event);
        default: return false;
        }
    default: return false;
    }
}

#pragma once

#include <cstdint>
#include <string>

class CDomNode;
class CElement;

// Event groups, as a subscription mask.
enum EEventGroup : unsigned
{
    HANDLE_INITIALIZATION = 0x0000,
    HANDLE_MOUSE = 0x0001,
    HANDLE_KEY = 0x0002,
    HANDLE_FOCUS = 0x0004,
    HANDLE_SCROLL = 0x0008,
    HANDLE_TIMER = 0x0010,
    HANDLE_SIZE = 0x0020,
    HANDLE_BEHAVIOR_EVENT = 0x0100,
    HANDLE_ALL = 0xFFFF,
};

enum EMouseEvent : unsigned
{
    MOUSE_ENTER = 0,
    MOUSE_LEAVE = 1,
    MOUSE_MOVE = 2,
    MOUSE_UP = 3,
    MOUSE_DOWN = 4,
    MOUSE_DCLICK = 5,
    MOUSE_WHEEL = 6,
};

enum EMouseButton : unsigned
{
    MAIN_MOUSE_BUTTON = 1,
    PROP_MOUSE_BUTTON = 2,
    MIDDLE_MOUSE_BUTTON = 4,
};

enum EKeyEvent : unsigned
{
    KEY_DOWN = 0,
    KEY_UP = 1,
    KEY_CHAR = 2,
};

enum EKeyCode : unsigned
{
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21, // Page Up
    VK_NEXT = 0x22,  // Page Down
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_F = 0x46,
    VK_F3 = 0x72,
    VK_F6 = 0x75,
    VK_OEM_2 = 0xBF, // "/"
};

// Keyboard state of key and mouse events.
enum EKeyboardState : unsigned
{
    CONTROL_KEY_PRESSED = 0x1,
    SHIFT_KEY_PRESSED = 0x2,
    ALT_KEY_PRESSED = 0x4,
};

enum EFocusEvent : unsigned
{
    FOCUS_LOST = 0,
    FOCUS_GOT = 1,
};

// Behavior events: what controls report to their owners.
enum EBehaviorEvent : unsigned
{
    BUTTON_CLICK = 0,
    BUTTON_PRESS = 1,
    BUTTON_STATE_CHANGED = 2,
    EDIT_VALUE_CHANGING = 3,
    EDIT_VALUE_CHANGED = 4,
    HYPERLINK_CLICK = 0x80,
};

// One event on its way from the target up to the root. m_pHandlerElement is
// the element whose handler is being called (the "he" of a handler).
struct CDomEvent
{
    unsigned m_nGroup = HANDLE_MOUSE;
    unsigned m_nCode = 0;
    CDomNode* m_pTarget = nullptr;
    CDomNode* m_pSource = nullptr; // behavior events: the element that raised it
    CDomNode* m_pHandlerElement = nullptr;
    unsigned m_nReason = 0;
    int m_nX = 0;
    int m_nY = 0;
    unsigned m_nButtons = 0;
    unsigned m_nKeyboardState = 0;
    unsigned m_nKeyCode = 0;
    int m_nWheelDelta = 0;
    unsigned m_nTimerId = 0;
    std::string m_strValue;
};

// Anything that receives DOM events: window-level handlers, element-level
// handlers (controls) and element behaviors. Returns true when handled, which
// stops the event.
class CDomEventSink
{
public:
    virtual ~CDomEventSink() = default;
    virtual bool HandleDomEvent(CDomEvent& event) = 0;
    virtual unsigned GetSubscription() const { return HANDLE_ALL; }
    // Called once when attached to an element as its behavior.
    virtual void OnBehaviorAttached(CElement&) {}
};

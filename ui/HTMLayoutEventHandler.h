#pragma once

#include "DomNode.h"

// The event procedure shared by windows, dialogs, controls and behaviors: it
// sorts DOM events by group and behavior events by code into virtual hooks.
// Each hook returns true when it handled the event.
class CHTMLayoutEventHandler : public CDomEventSink
{
public:
    bool HandleDomEvent(CDomEvent& event) override;

    // Mouse events other than a right-button press. he is the element the
    // handler is attached to, target the element under the cursor.
    virtual bool on_mouse(CElement /*he*/, CElement /*target*/, unsigned /*nEvent*/, int /*nX*/,
                          int /*nY*/, unsigned /*nButtons*/, unsigned /*nKeys*/)
    {
        return false;
    }
    virtual bool on_key(CElement /*he*/, CElement /*target*/, unsigned /*nEvent*/,
                        unsigned /*nKeyCode*/, unsigned /*nKeys*/)
    {
        return false;
    }
    virtual bool on_focus(CElement /*he*/, CElement /*target*/, unsigned /*nEvent*/)
    {
        return false;
    }
    virtual bool on_timer(CElement /*he*/, unsigned /*nTimerId*/) { return false; }

    virtual bool OnButtonClick(CElement /*he*/, CDomEvent& /*event*/) { return false; }
    virtual bool OnButtonStateChanged(CElement /*he*/, CDomEvent& /*event*/) { return false; }
    virtual bool OnEditValueChanging(CElement /*he*/, CDomEvent& /*event*/) { return false; }
    virtual bool OnEditValueChanged(CElement /*he*/, CDomEvent& /*event*/) { return false; }
    virtual bool OnHyperlinkClick(CElement /*he*/, CDomEvent& /*event*/) { return false; }
    virtual bool OnMouseRClick(CElement /*he*/, CDomEvent& /*event*/) { return false; }
};

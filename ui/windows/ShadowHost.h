#pragma once

// The frame that dims itself while a modal dialog runs over it: what a dialog
// needs of the main window, and no more.
class IShadowHost
{
public:
    virtual ~IShadowHost() = default;
    virtual bool IsShadowMode() const = 0;
    virtual void SetShadowMode(bool bOn) = 0;
};

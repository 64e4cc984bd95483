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

// The one way a dialog dims the host: for as long as the scope lives. A host
// found dimmed already belongs to whoever dimmed it (a dialog over a dialog),
// so the scope switches off only the shadow it switched on itself.
class CShadowScope
{
public:
    // A null host dims nothing. With bDim false the scope waits for Dim().
    explicit CShadowScope(IShadowHost* pHost, bool bDim = true);
    ~CShadowScope();
    CShadowScope(const CShadowScope&) = delete;
    CShadowScope& operator=(const CShadowScope&) = delete;

    // Dims the host now, unless it is dimmed already (a dialog that shows
    // itself only later, as a silent update brought into view).
    void Dim();
    // Leaves the shadow on after the scope: another dialog follows at once,
    // or the host went away meanwhile and must not be touched.
    void KeepShadow() { m_bOwned = false; }
    // Whether the scope switched the shadow on and will switch it off.
    bool OwnsShadow() const { return m_bOwned; }

private:
    IShadowHost* m_pHost;
    bool m_bOwned = false;
};

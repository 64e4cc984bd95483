#pragma once

#include "Wnd.h"

#include "MessageLoop.h"

#include "ShadowHost.h"
#include "Shortcuts.h"

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <map>
#include <set>
#include <vector>

// The windows of the process, as the platform's window system keeps them:
// handles, the main window, the stack of modal dialogs, the browser's
// viewport, and the changes to send to the browser after each dispatch.
class CWindowManager
{
public:
    using Sink = std::function<void(const nlohmann::json& ops)>;

    explicit CWindowManager(CMessageLoop& loop);
    ~CWindowManager();
    CWindowManager(const CWindowManager&) = delete;
    CWindowManager& operator=(const CWindowManager&) = delete;

    // The manager of the calling thread (the first one made on it).
    static CWindowManager* Get();
    CMessageLoop& GetLoop() { return m_loop; }

    CWnd* FromHandle(int nHandle) const;
    std::vector<CWnd*> GetChildren(int nParent) const;
    CWnd* GetMainWindow() const { return FromHandle(m_nMainWindow); }
    // The window that last took the keyboard or a press (0: none yet).
    int GetFocusWindow() const { return m_nFocusWindow; }
    void SetMainWindow(CWnd* pWnd) { m_nMainWindow = pWnd ? pWnd->GetSafeHwnd() : 0; }
    // What a modal dialog dims the main window with. The frame registers its
    // own as it is created; it is handed out only while that window is the
    // main window, so never after the window was destroyed.
    void SetShadowHost(const CWnd& window, IShadowHost& host);
    IShadowHost* GetShadowHost() const;
    // The browser's viewport, which plays the screen (1280 x 800 until known).
    CRect GetDesktopRect() const { return m_desktop; }

    void PushModal(CWnd* pDialog);
    void PopModal(CWnd* pDialog);
    // False while a modal dialog runs and the window is not inside it.
    bool AcceptsInput(const CWnd* pWnd) const;

    // Called with the window of every mouse press the browser reports (a
    // content document's included), before the press is handled: pop-ups
    // close on a press outside them. Returns an id for RemoveMouseDownHook.
    int AddMouseDownHook(std::function<void(CWnd*)> hook);
    void RemoveMouseDownHook(int nId);
    // Called with every key pressed in a window (a content document's
    // included) before the window gets it; a hook that returns true takes the
    // key.
    using KeyHook = std::function<bool(CWnd*, const CKeyPress& key)>;
    void SetKeyHook(KeyHook hook) { m_onKey = std::move(hook); }
    // The browser's window lost or got the user's focus.
    void SetActivationHook(std::function<void(bool)> hook) { m_onActivate = std::move(hook); }
    // Events of type "test" go here, and nowhere when it is not set (only
    // the browser tests' runs set it).
    void SetTestHook(std::function<void(const nlohmann::json&)> hook)
    {
        m_onTest = std::move(hook);
    }
    void AddFrontEndCommand(int nHandle, nlohmann::json command);

    // Where the changes go (the bridge). Flush runs after every dispatch.
    void SetSink(Sink sink) { m_sink = std::move(sink); }
    void Flush();
    // One event from the browser (already on the UI thread).
    void HandleBrowserEvent(const nlohmann::json& event);

    // Used by CWnd.
    int Register(CWnd* pWnd);
    void Unregister(int nHandle);
    void MarkChanged(int nHandle) { m_changed.insert(nHandle); }
    std::intptr_t Dispatch(const CWindowMessage& message);

    static constexpr const char* kResourceBase = "/ui/";
    // A field of a browser event; the default when it is missing or of
    // another type (events are read, never trusted to be well-formed).
    static std::string EventText(const nlohmann::json& event, const char* szKey);
    static int EventInt(const nlohmann::json& event, const char* szKey, int nDefault = 0);

private:
    nlohmann::json DescribeWindow(const CWnd& wnd) const;
    bool IsInside(const CWnd* pWnd, const CWnd* pAncestor) const;
    void HandleGeometry(CWnd& wnd, const nlohmann::json& event);
    void NotifyMouseDown(CWnd* pWnd);

    CMessageLoop& m_loop;
    std::map<int, CWnd*> m_windows;
    int m_nNextHandle = 1;
    int m_nMainWindow = 0;
    int m_nFocusWindow = 0;
    int m_nShadowWindow = 0;
    IShadowHost* m_pShadowHost = nullptr;
    std::vector<int> m_modal;
    std::set<int> m_changed;
    std::vector<int> m_destroyed;
    CRect m_desktop{0, 0, 1280, 800};
    Sink m_sink;
    std::vector<nlohmann::json> m_frontEndCommands;
    std::map<int, std::function<void(CWnd*)>> m_mouseDownHooks;
    int m_nNextHook = 1;
    std::function<void(bool)> m_onActivate;
    KeyHook m_onKey;
    std::function<void(const nlohmann::json&)> m_onTest;
};

#pragma once

#include "DomNode.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CHtmlDocument;
class CWindowManager;

// Window messages the client's windows use.
enum EWindowMessage : unsigned
{
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_SIZE = 0x0005,
    WM_CLOSE = 0x0010,
    WM_COMMAND = 0x0111,
    WM_SYSCOMMAND = 0x0112,
    WM_TIMER = 0x0113,
    WM_USER = 0x0400,
    // The page of a child window changed its content size (browser report).
    WM_CONTENT_SIZE_CHANGED = WM_USER + 300,
};

// Commands of the application's menus (WM_COMMAND's wParam): the tray
// menu's open and update, and the framework's exit.
enum EAppCommand : unsigned
{
    ID_APP_SHOW = 32780,
    ID_APP_UPDATE = 32781,
    ID_APP_EXIT = 0xE141,
};

// System-menu commands (WM_SYSCOMMAND's wParam) of the main window.
enum ESysCommand : unsigned
{
    SC_APP_ABOUT = 16,
    SC_APP_UPDATE = 48,
};

enum EShowCommand : int
{
    SW_HIDE = 0,
    SW_SHOWNORMAL = 1,
    SW_SHOWMAXIMIZED = 3,
    SW_SHOW = 5,
};

enum EWindowStyle : unsigned
{
    WS_CHILD = 0x40000000,
    WS_VISIBLE = 0x10000000,
    WS_CLIPCHILDREN = 0x02000000,
};

enum EWindowKind
{
    WINDOW_FRAME,  // the main window: the browser page itself
    WINDOW_CHILD,  // an iframe or a plain area inside its parent
    WINDOW_DIALOG, // a positioned iframe above everything
};

// A window of the client as the browser shows it: a rectangle in its
// parent's client area (top-level windows: in the browser's viewport), shown
// or hidden, with an HTML document when it is an HTML window. Messages reach
// WindowProc on the UI thread through the message loop.
class CWnd
{
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Makes the window; with bHtml it gets a document of its own.
    bool CreateBase(EWindowKind kind, std::string_view title, const CRect& rect, CWnd* pParent,
                    int nId, bool bVisible, bool bHtml);
    void DestroyWindow();
    bool IsWindow() const { return m_nHandle != 0; }
    int GetSafeHwnd() const { return m_nHandle; }
    CWnd* GetParent() const;
    int GetDlgCtrlID() const { return m_nId; }
    EWindowKind GetKind() const { return m_kind; }

    void ShowWindow(int nCommand);
    // Shown, and so are all the windows it lies in.
    bool IsWindowVisible() const;
    // Shown itself, whatever its parents are (the visible style).
    bool HasVisibleStyle() const { return IsWindow() && m_bVisible; }
    void MoveWindow(const CRect& rect);
    void MoveWindow(int nX, int nY, int nWidth, int nHeight)
    {
        MoveWindow(CRect{nX, nY, nWidth, nHeight});
    }
    CRect GetWindowRect() const { return m_rect; }
    CRect GetClientRect() const { return CRect{0, 0, m_rect.m_nWidth, m_rect.m_nHeight}; }
    void SetWindowText(std::string_view text);
    const std::string& GetWindowText() const { return m_strTitle; }
    // How the browser draws a window without a document ("margin", "shadow").
    void SetFrontEndClass(std::string_view name);
    const std::string& GetFrontEndClass() const { return m_strClass; }
    // Dialogs: the height of the strip at the top by which the user drags them.
    void SetDragHeight(int nHeight);
    int GetDragHeight() const { return m_nDragHeight; }
    // A window without a document of ours that the browser fills with a page
    // of its own (a content document in a sandboxed frame).
    void SetFrameSource(std::string_view url);
    const std::string& GetFrameSource() const { return m_strFrameSource; }
    // A command for the browser side of the window (print, copy...), sent
    // with the next changes and never replayed to a reloaded page.
    void SendFrontEndCommand(nlohmann::json command);
    // The window's position in the main window's client area.
    CRect GetScreenRect() const;
    // An element of the window's page, in the main window's client area.
    CRect GetScreenRectOf(const CElement& element) const;

    // Timers send WM_TIMER with the id to WindowProc. False when there is no
    // loop to run it or the window is gone.
    bool SetTimer(unsigned nId, unsigned nMilliseconds);
    void KillTimer(unsigned nId);
    // The period of a running timer, 0 when it does not run.
    unsigned GetTimerPeriod(unsigned nId) const;
    bool PostMessage(unsigned nMsg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
    std::intptr_t SendMessage(unsigned nMsg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

    CHtmlDocument* GetHtmlDocument() const { return m_pDocument.get(); }
    // F6 and Shift+F6 over a window's parts (null for one with no window):
    // the part after (nStep > 0) or before the one holding pFrom, round the
    // ends; a window in none of them counts as in part nDefault.
    static std::size_t NextRegion(const std::vector<CWnd*>& regions, const CWnd* pFrom, int nStep,
                                  std::size_t nDefault);
    // The height the page's content takes, as the browser measured it; 0
    // before that or without a page.
    int GetContentHeight() const;

    virtual std::intptr_t WindowProc(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam);
    // An event the browser side of the window reports that is none of the
    // DOM's (a link in a content document, its context menu); true when handled.
    virtual bool OnFrontEndEvent(std::string_view /*type*/, const nlohmann::json& /*event*/)
    {
        return false;
    }

protected:
    virtual void OnSize(int /*nWidth*/, int /*nHeight*/) {}
    virtual void OnTimer(unsigned /*nId*/) {}
    virtual void OnClose() { DestroyWindow(); }
    virtual void OnDestroy() {}
    // A request to show the window; clearing bShow cancels it.
    virtual void OnShowing(bool& /*bShow*/) {}
    // The browser reported a new content size for the window's page.
    virtual void OnContentSizeChanged();

private:
    friend class CWindowManager;
    void Changed();

    int m_nHandle = 0;
    int m_nId = 0;
    int m_nParent = 0;
    EWindowKind m_kind = WINDOW_CHILD;
    CRect m_rect;
    bool m_bVisible = false;
    std::string m_strTitle;
    std::string m_strClass;
    int m_nDragHeight = 0;
    std::string m_strFrameSource;
    std::unique_ptr<CHtmlDocument> m_pDocument;
    struct CTimer
    {
        unsigned m_nLoopId = 0;
        unsigned m_nPeriod = 0;
    };
    std::map<unsigned, CTimer> m_timers; // by window timer id
};

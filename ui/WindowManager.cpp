#include "WindowManager.h"

#include "HtmlDocument.h"
#include "Logger.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace
{
thread_local CWindowManager* g_pManager = nullptr;

int Int(const nlohmann::json& event, const char* szKey, int nDefault = 0)
{
    const auto it = event.find(szKey);
    return it != event.end() && it->is_number() ? it->get<int>() : nDefault;
}

unsigned Unsigned(const nlohmann::json& event, const char* szKey)
{
    return static_cast<unsigned>(std::max(0, Int(event, szKey)));
}

bool Bool(const nlohmann::json& event, const char* szKey)
{
    const auto it = event.find(szKey);
    return it != event.end() && it->is_boolean() && it->get<bool>();
}

std::string Text(const nlohmann::json& event, const char* szKey)
{
    const auto it = event.find(szKey);
    return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

CRect RectFrom(const nlohmann::json& value)
{
    if (!value.is_array() || value.size() != 4)
        return {};
    for (const auto& item : value)
        if (!item.is_number())
            return {};
    return CRect{value[0].get<int>(), value[1].get<int>(), value[2].get<int>(),
                 value[3].get<int>()};
}
} // namespace

std::string CWindowManager::EventText(const nlohmann::json& event, const char* szKey)
{
    return event.is_object() ? Text(event, szKey) : std::string();
}

int CWindowManager::EventInt(const nlohmann::json& event, const char* szKey, int nDefault)
{
    return event.is_object() ? Int(event, szKey, nDefault) : nDefault;
}

CWindowManager::CWindowManager(CMessageLoop& loop) : m_loop(loop)
{
    if (!g_pManager)
        g_pManager = this;
    m_loop.SetDispatcher([this](const CWindowMessage& message) { return Dispatch(message); });
    m_loop.SetAfterDispatchHook([this] { Flush(); });
}

CWindowManager::~CWindowManager()
{
    m_loop.SetDispatcher({});
    m_loop.SetAfterDispatchHook({});
    if (g_pManager == this)
        g_pManager = nullptr;
}

CWindowManager* CWindowManager::Get()
{
    return g_pManager;
}

int CWindowManager::Register(CWnd* pWnd)
{
    const int nHandle = m_nNextHandle++;
    m_windows[nHandle] = pWnd;
    m_changed.insert(nHandle);
    return nHandle;
}

void CWindowManager::Unregister(int nHandle)
{
    m_windows.erase(nHandle);
    m_changed.erase(nHandle);
    std::erase(m_modal, nHandle);
    if (m_nMainWindow == nHandle)
        m_nMainWindow = 0;
    if (m_nShadowWindow == nHandle)
    {
        m_nShadowWindow = 0;
        m_pShadowHost = nullptr;
    }
    m_destroyed.push_back(nHandle);
}

void CWindowManager::SetShadowHost(const CWnd& window, IShadowHost& host)
{
    m_nShadowWindow = window.GetSafeHwnd();
    m_pShadowHost = m_nShadowWindow ? &host : nullptr;
}

IShadowHost* CWindowManager::GetShadowHost() const
{
    return m_nShadowWindow && m_nShadowWindow == m_nMainWindow ? m_pShadowHost : nullptr;
}

CWnd* CWindowManager::FromHandle(int nHandle) const
{
    const auto it = m_windows.find(nHandle);
    return it == m_windows.end() ? nullptr : it->second;
}

std::vector<CWnd*> CWindowManager::GetChildren(int nParent) const
{
    std::vector<CWnd*> children;
    for (const auto& [nHandle, pWnd] : m_windows)
        if (pWnd->m_nParent == nParent)
            children.push_back(pWnd);
    return children;
}

std::intptr_t CWindowManager::Dispatch(const CWindowMessage& message)
{
    CWnd* pWnd = FromHandle(message.m_nWindow);
    return pWnd ? pWnd->WindowProc(message.m_nMsg, message.m_wParam, message.m_lParam) : 0;
}

void CWindowManager::PushModal(CWnd* pDialog)
{
    if (pDialog && pDialog->IsWindow())
    {
        m_modal.push_back(pDialog->GetSafeHwnd());
        MarkChanged(pDialog->GetSafeHwnd());
    }
}

void CWindowManager::PopModal(CWnd* pDialog)
{
    if (!pDialog)
        return;
    const auto it = std::find(m_modal.rbegin(), m_modal.rend(), pDialog->GetSafeHwnd());
    if (it != m_modal.rend())
        m_modal.erase(std::next(it).base());
    if (pDialog->IsWindow())
        MarkChanged(pDialog->GetSafeHwnd());
}

bool CWindowManager::IsInside(const CWnd* pWnd, const CWnd* pAncestor) const
{
    for (const CWnd* p = pWnd; p; p = p->GetParent())
        if (p == pAncestor)
            return true;
    return false;
}

bool CWindowManager::AcceptsInput(const CWnd* pWnd) const
{
    if (m_modal.empty())
        return true;
    const CWnd* pTop = FromHandle(m_modal.back());
    return !pTop || IsInside(pWnd, pTop);
}

nlohmann::json CWindowManager::DescribeWindow(const CWnd& wnd) const
{
    const CRect& rect = wnd.m_rect;
    const char* szKind = wnd.m_kind == WINDOW_FRAME    ? "frame"
                         : wnd.m_kind == WINDOW_DIALOG ? "dialog"
                                                       : "child";
    const bool bModal = std::find(m_modal.begin(), m_modal.end(), wnd.m_nHandle) != m_modal.end();
    return {{"op", "win"},
            {"win", wnd.m_nHandle},
            {"parent", wnd.m_nParent},
            {"kind", szKind},
            {"cls", wnd.m_strClass},
            {"x", rect.m_nLeft},
            {"y", rect.m_nTop},
            {"w", rect.m_nWidth},
            {"h", rect.m_nHeight},
            {"visible", wnd.m_bVisible},
            {"title", wnd.m_strTitle},
            {"modal", bModal},
            {"drag", wnd.m_nDragHeight},
            {"html", wnd.m_pDocument != nullptr},
            {"src", wnd.m_strFrameSource}};
}

void CWindowManager::AddFrontEndCommand(int nHandle, nlohmann::json command)
{
    command["op"] = "cmd";
    command["win"] = nHandle;
    m_frontEndCommands.push_back(std::move(command));
}

int CWindowManager::AddMouseDownHook(std::function<void(CWnd*)> hook)
{
    const int nId = m_nNextHook++;
    m_mouseDownHooks[nId] = std::move(hook);
    return nId;
}

void CWindowManager::RemoveMouseDownHook(int nId)
{
    m_mouseDownHooks.erase(nId);
}

void CWindowManager::NotifyMouseDown(CWnd* pWnd)
{
    // A hook may remove itself or others while it runs.
    std::vector<int> ids;
    for (const auto& [nId, hook] : m_mouseDownHooks)
        ids.push_back(nId);
    for (const int nId : ids)
        if (const auto it = m_mouseDownHooks.find(nId); it != m_mouseDownHooks.end())
        {
            auto hook = it->second;
            hook(pWnd);
        }
}

void CWindowManager::Flush()
{
    nlohmann::json ops = nlohmann::json::array();
    for (const int nHandle : m_destroyed)
        ops.push_back({{"op", "destroy"}, {"win", nHandle}});
    m_destroyed.clear();
    for (const int nHandle : m_changed)
        if (const CWnd* pWnd = FromHandle(nHandle))
            ops.push_back(DescribeWindow(*pWnd));
    m_changed.clear();
    for (const auto& [nHandle, pWnd] : m_windows)
    {
        CHtmlDocument* pDocument = pWnd->GetHtmlDocument();
        if (pDocument && pDocument->HasChanges())
            ops.push_back(
                {{"op", "dom"}, {"win", nHandle}, {"ops", pDocument->TakeChanges(kResourceBase)}});
    }
    for (auto& command : m_frontEndCommands)
        ops.push_back(std::move(command));
    m_frontEndCommands.clear();
    if (!ops.empty() && m_sink)
        m_sink(ops);
}

void CWindowManager::HandleGeometry(CWnd& wnd, const nlohmann::json& event)
{
    CHtmlDocument* pDocument = wnd.GetHtmlDocument();
    if (!pDocument)
        return;
    pDocument->SetViewSize(Int(event, "w"), Int(event, "h"));
    if (const auto it = event.find("rects"); it != event.end() && it->is_object())
        for (const auto& [key, value] : it->items())
        {
            unsigned nUid = 0;
            try
            {
                nUid = static_cast<unsigned>(std::stoul(key));
            }
            catch (const std::exception&)
            {
                continue;
            }
            pDocument->SetElementRect(nUid, RectFrom(value));
        }
    if (pDocument->SetContentSize(Int(event, "cw"), Int(event, "ch")))
        wnd.OnContentSizeChanged();
}

void CWindowManager::HandleBrowserEvent(const nlohmann::json& event)
{
    if (!event.is_object())
        return;
    const std::string type = Text(event, "type");
    KLOG_DEBUG << "CWindowManager::HandleBrowserEvent " << type << " " << Int(event, "win") << " "
               << Int(event, "uid");
    if (type == "viewport")
    {
        m_desktop = CRect{0, 0, std::max(0, Int(event, "w")), std::max(0, Int(event, "h"))};
        if (CWnd* pMain = GetMainWindow(); pMain && pMain->GetKind() == WINDOW_FRAME)
            pMain->MoveWindow(m_desktop);
        return;
    }
    if (type == "test")
    {
        if (m_onTest)
            m_onTest(event);
        return;
    }
    if (type == "activate")
    {
        if (m_onActivate)
            m_onActivate(!event.contains("active") || Bool(event, "active"));
        return;
    }
    CWnd* pWnd = FromHandle(Int(event, "win"));
    // The page shown while the client lives in the tray offers to open it.
    if (type == "open")
    {
        if (CWnd* pMain = GetMainWindow())
            pMain->PostMessage(WM_COMMAND, ID_APP_SHOW);
        return;
    }
    if (type == "close")
    {
        if (CWnd* pMain = GetMainWindow())
            pMain->PostMessage(WM_CLOSE);
        return;
    }
    if (!pWnd)
        return;
    if (type == "geom")
    {
        HandleGeometry(*pWnd, event);
        return;
    }
    if (type == "moved")
    {
        CRect rect = pWnd->GetWindowRect();
        rect.m_nLeft = Int(event, "x");
        rect.m_nTop = Int(event, "y");
        pWnd->MoveWindow(rect);
        return;
    }
    // The window the user works in: focus went into it, or a press in a
    // content document (whose own focus the page does not report).
    if ((type == "focus" && Unsigned(event, "uid") != 0) || type == "docmouse" ||
        type == "docfocus")
        m_nFocusWindow = pWnd->GetSafeHwnd();
    const bool bMouseDown =
        (type == "mouse" && Unsigned(event, "code") == MOUSE_DOWN) || type == "docmouse";
    if (bMouseDown && AcceptsInput(pWnd))
        NotifyMouseDown(pWnd);
    if ((type == "key" || type == "dockey") && Unsigned(event, "code") == KEY_DOWN && m_onKey &&
        AcceptsInput(pWnd) &&
        m_onKey(pWnd, CKeyPress{Unsigned(event, "key"), Unsigned(event, "mods"),
                                Bool(event, "typing"), Text(event, "ch")}))
        return;
    if (type.starts_with("doc") || type == "scroll")
    {
        if (AcceptsInput(pWnd))
            pWnd->OnFrontEndEvent(type, event);
        return;
    }
    unsigned nUid = Unsigned(event, "uid");
    if (!AcceptsInput(pWnd))
    {
        // While a modal dialog runs the keyboard belongs to it, wherever the
        // browser's focus was left; the mouse elsewhere does nothing.
        CWnd* pModal = FromHandle(m_modal.back());
        if (type != "key" || !pModal)
            return;
        pWnd = pModal;
        nUid = 0;
    }
    CHtmlDocument* pDocument = pWnd->GetHtmlDocument();
    if (!pDocument)
        return;
    if (type == "mouse")
        pDocument->RaiseMouse(nUid, Unsigned(event, "code"), Unsigned(event, "buttons"),
                              Int(event, "x"), Int(event, "y"), Int(event, "wheel"));
    else if (type == "key")
        pDocument->RaiseKey(nUid, Unsigned(event, "code"), Unsigned(event, "key"),
                            Unsigned(event, "mods"));
    else if (type == "input")
        pDocument->RaiseInput(nUid, Text(event, "value"));
    else if (type == "focus")
        pDocument->RaiseFocus(nUid);
}

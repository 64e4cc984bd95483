#include "Wnd.h"

#include "HtmlDocument.h"
#include "Logger.h"
#include "WindowManager.h"

#include <nlohmann/json.hpp>

CWnd::~CWnd()
{
    DestroyWindow();
}

bool CWnd::CreateBase(EWindowKind kind, std::string_view title, const CRect& rect, CWnd* pParent,
                      int nId, bool bVisible, bool bHtml)
{
    CWindowManager* pManager = CWindowManager::Get();
    if (!pManager || IsWindow())
        return false;
    if (pParent && !pParent->IsWindow())
        return false;
    m_kind = kind;
    m_strTitle = title;
    m_rect = rect;
    m_nId = nId;
    m_nParent = pParent ? pParent->GetSafeHwnd() : 0;
    m_bVisible = bVisible;
    if (bHtml)
        m_pDocument = std::make_unique<CHtmlDocument>();
    m_nHandle = pManager->Register(this);
    return true;
}

void CWnd::DestroyWindow()
{
    if (!IsWindow())
        return;
    CWindowManager* pManager = CWindowManager::Get();
    // Children go first, as the platform destroys them with their parent.
    if (pManager)
        for (CWnd* pChild : pManager->GetChildren(m_nHandle))
            pChild->DestroyWindow();
    WindowProc(WM_DESTROY, 0, 0);
    if (auto* pLoop = CMessageLoop::GetCurrent())
        for (const auto& [nId, timer] : m_timers)
            pLoop->KillTimer(timer.m_nLoopId);
    m_timers.clear();
    if (pManager)
        pManager->Unregister(m_nHandle);
    m_nHandle = 0;
    m_pDocument.reset();
}

CWnd* CWnd::GetParent() const
{
    CWindowManager* pManager = CWindowManager::Get();
    return pManager ? pManager->FromHandle(m_nParent) : nullptr;
}

void CWnd::Changed()
{
    if (CWindowManager* pManager = CWindowManager::Get(); pManager && IsWindow())
        pManager->MarkChanged(m_nHandle);
}

bool CWnd::IsWindowVisible() const
{
    for (const CWnd* pWnd = this; pWnd; pWnd = pWnd->GetParent())
        if (!pWnd->IsWindow() || !pWnd->m_bVisible)
            return false;
    return true;
}

void CWnd::ShowWindow(int nCommand)
{
    bool bShow = nCommand != SW_HIDE;
    if (bShow)
        OnShowing(bShow);
    if (bShow == m_bVisible)
        return;
    m_bVisible = bShow;
    Changed();
}

void CWnd::MoveWindow(const CRect& rect)
{
    const bool bResized = rect.m_nWidth != m_rect.m_nWidth || rect.m_nHeight != m_rect.m_nHeight;
    if (rect == m_rect)
        return;
    m_rect = rect;
    Changed();
    if (bResized && IsWindow())
        WindowProc(WM_SIZE, static_cast<std::uintptr_t>(std::max(0, rect.m_nWidth)),
                   std::max(0, rect.m_nHeight));
}

void CWnd::SetWindowText(std::string_view text)
{
    if (m_strTitle == text)
        return;
    m_strTitle = text;
    Changed();
}

void CWnd::SetFrontEndClass(std::string_view name)
{
    m_strClass = name;
    Changed();
}

void CWnd::SetDragHeight(int nHeight)
{
    if (m_nDragHeight == nHeight)
        return;
    m_nDragHeight = nHeight;
    Changed();
}

void CWnd::SetFrameSource(std::string_view url)
{
    if (m_strFrameSource == url)
        return;
    m_strFrameSource = url;
    Changed();
}

void CWnd::SendFrontEndCommand(nlohmann::json command)
{
    if (CWindowManager* pManager = CWindowManager::Get(); pManager && IsWindow())
        pManager->AddFrontEndCommand(m_nHandle, std::move(command));
}

CRect CWnd::GetScreenRect() const
{
    CRect rect = m_rect;
    for (const CWnd* pParent = GetParent(); pParent && pParent->GetKind() == WINDOW_CHILD;
         pParent = pParent->GetParent())
    {
        rect.m_nLeft += pParent->m_rect.m_nLeft;
        rect.m_nTop += pParent->m_rect.m_nTop;
    }
    return rect;
}

CRect CWnd::GetScreenRectOf(const CElement& element) const
{
    CRect rect = element.GetLocation();
    const CRect window = GetScreenRect();
    rect.m_nLeft += window.m_nLeft;
    rect.m_nTop += window.m_nTop;
    return rect;
}

std::size_t CWnd::NextRegion(const std::vector<CWnd*>& regions, const CWnd* pFrom, int nStep,
                             std::size_t nDefault)
{
    if (regions.empty())
        return 0;
    std::size_t nAt = nDefault;
    for (std::size_t i = 0; i < regions.size(); ++i)
        for (const CWnd* pWnd = pFrom; regions[i] && pWnd; pWnd = pWnd->GetParent())
            if (pWnd == regions[i])
                nAt = i;
    return (nAt + regions.size() + (nStep > 0 ? 1 : regions.size() - 1)) % regions.size();
}

int CWnd::GetContentHeight() const
{
    return m_pDocument ? m_pDocument->GetContentSize().m_nHeight : 0;
}

bool CWnd::SetTimer(unsigned nId, unsigned nMilliseconds)
{
    CMessageLoop* pLoop = CMessageLoop::GetCurrent();
    if (!pLoop || !IsWindow())
        return false;
    KillTimer(nId);
    const int nHandle = m_nHandle;
    const unsigned nLoopId =
        pLoop->SetTimer(std::chrono::milliseconds(nMilliseconds), [nHandle, nId] {
            if (CWindowManager* pManager = CWindowManager::Get())
                if (CWnd* pWnd = pManager->FromHandle(nHandle))
                    pWnd->WindowProc(WM_TIMER, nId, 0);
        });
    m_timers[nId] = CTimer{nLoopId, nMilliseconds};
    return true;
}

void CWnd::KillTimer(unsigned nId)
{
    const auto it = m_timers.find(nId);
    if (it == m_timers.end())
        return;
    if (CMessageLoop* pLoop = CMessageLoop::GetCurrent())
        pLoop->KillTimer(it->second.m_nLoopId);
    m_timers.erase(it);
}

unsigned CWnd::GetTimerPeriod(unsigned nId) const
{
    const auto it = m_timers.find(nId);
    return it == m_timers.end() ? 0 : it->second.m_nPeriod;
}

bool CWnd::PostMessage(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam)
{
    CWindowManager* pManager = CWindowManager::Get();
    return pManager && IsWindow() &&
           pManager->GetLoop().PostMessage(CWindowMessage{m_nHandle, nMsg, wParam, lParam});
}

std::intptr_t CWnd::SendMessage(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam)
{
    return IsWindow() ? WindowProc(nMsg, wParam, lParam) : 0;
}

std::intptr_t CWnd::WindowProc(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam)
{
    switch (nMsg)
    {
    case WM_SIZE: OnSize(static_cast<int>(wParam), static_cast<int>(lParam)); return 0;
    case WM_TIMER: OnTimer(static_cast<unsigned>(wParam)); return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    default: return 0;
    }
}

void CWnd::OnContentSizeChanged()
{
    // The parent lays its children out again (the top panel's height, say).
    if (CWnd* pParent = GetParent())
        pParent->PostMessage(WM_CONTENT_SIZE_CHANGED, static_cast<std::uintptr_t>(m_nId), 0);
}

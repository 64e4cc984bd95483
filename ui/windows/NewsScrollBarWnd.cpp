#include "NewsScrollBarWnd.h"

#include "ClientContext.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr unsigned kKeyPageUp = 0x21, kKeyPageDown = 0x22, kKeyEnd = 0x23, kKeyHome = 0x24,
                   kKeyLeft = 0x25, kKeyRight = 0x27;
constexpr int kSmallestThumb = 24;

std::string Pixels(int nValue)
{
    return std::to_string(nValue) + "px";
}
} // namespace

bool CNewsScrollBarWnd::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/news_scroll_bar.htm"), root))
        return false;
    Draw();
    return true;
}

void CNewsScrollBarWnd::SetMarkers(int nLeft, int nRight)
{
    m_nLeft = std::max(0, nLeft);
    m_nRight = std::max(0, nRight);
    Draw();
}

void CNewsScrollBarWnd::SetMaximum(int nMaximum)
{
    m_nMaximum = std::max(1, nMaximum);
    m_nPosition = std::min(m_nPosition, m_nMaximum);
    Draw();
}

void CNewsScrollBarWnd::SetPosition(int nPosition)
{
    m_nPosition = std::clamp(nPosition, 0, m_nMaximum);
    Draw();
    m_sigPosition(m_nPosition, m_nMaximum);
}

void CNewsScrollBarWnd::SetRange(std::size_t nItems, std::size_t nVisible)
{
    m_nItems = nItems;
    m_nVisible = std::max<std::size_t>(1, nVisible);
    Draw();
}

void CNewsScrollBarWnd::Step(int nItems)
{
    const std::size_t nSteps = m_nItems > m_nVisible ? m_nItems - m_nVisible : 0;
    if (nSteps == 0)
        return;
    // The item the thumb stands at, moved, and back to a position.
    const long nAt =
        std::lround(static_cast<double>(m_nPosition) * static_cast<double>(nSteps) / m_nMaximum);
    const long nTo = std::clamp<long>(nAt + nItems, 0, static_cast<long>(nSteps));
    SetPosition(static_cast<int>(
        std::lround(static_cast<double>(nTo) * m_nMaximum / static_cast<double>(nSteps))));
}

int CNewsScrollBarWnd::TrackWidth() const
{
    return std::max(0, GetClientRect().m_nWidth - m_nLeft - m_nRight);
}

int CNewsScrollBarWnd::ThumbWidth() const
{
    const int nTrack = TrackWidth();
    if (m_nItems <= m_nVisible)
        return nTrack;
    const int nThumb =
        static_cast<int>(static_cast<double>(nTrack) * static_cast<double>(m_nVisible) /
                         static_cast<double>(m_nItems));
    return std::min(nTrack, std::max(kSmallestThumb, nThumb));
}

int CNewsScrollBarWnd::PositionAt(int nX) const
{
    const int nFree = TrackWidth() - ThumbWidth();
    if (nFree <= 0)
        return 0;
    const int nFromStart = nX - m_nLeft - ThumbWidth() / 2; // the thumb's middle, in whole pixels
    const double dShare = static_cast<double>(nFromStart) / nFree;
    return static_cast<int>(std::lround(std::clamp(dShare, 0.0, 1.0) * m_nMaximum));
}

void CNewsScrollBarWnd::Draw()
{
    const CElement root = GetRootElement();
    CElement track = root.FindById("news_track");
    CElement thumb = root.FindById("news_thumb");
    if (!track.IsValid() || !thumb.IsValid())
        return;
    track.SetStyleAttribute("margin-left", Pixels(m_nLeft));
    track.SetStyleAttribute("margin-right", Pixels(m_nRight));
    const int nThumb = ThumbWidth();
    const int nFree = TrackWidth() - nThumb;
    thumb.SetStyleAttribute("width", Pixels(nThumb));
    thumb.SetStyleAttribute("left", Pixels(nFree > 0 ? nFree * m_nPosition / m_nMaximum : 0));
    track.SetAttribute("aria-valuemax", std::to_string(m_nMaximum));
    track.SetAttribute("aria-valuenow", std::to_string(m_nPosition));
    track.SetAttribute("aria-disabled", m_nItems > m_nVisible ? "false" : "true");
}

void CNewsScrollBarWnd::OnSize(int, int)
{
    Draw();
}

bool CNewsScrollBarWnd::on_mouse(CElement, CElement, unsigned nEvent, int nX, int,
                                 unsigned nButtons, unsigned)
{
    if (nEvent == MOUSE_DOWN && (nButtons & MAIN_MOUSE_BUTTON) && nX >= 0)
    {
        SetPosition(PositionAt(nX));
        return true;
    }
    return false;
}

bool CNewsScrollBarWnd::HandleDomEvent(CDomEvent& event)
{
    if (event.m_nGroup == HANDLE_MOUSE && event.m_nCode == MOUSE_WHEEL && event.m_nWheelDelta != 0)
    {
        Step(event.m_nWheelDelta > 0 ? 1 : -1);
        return true;
    }
    return CHTMLayoutWin::HandleDomEvent(event);
}

bool CNewsScrollBarWnd::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent != KEY_DOWN)
        return false;
    const int nPage = static_cast<int>(m_nVisible);
    switch (nKeyCode)
    {
    case kKeyLeft: Step(-1); break;
    case kKeyRight: Step(1); break;
    case kKeyPageUp: Step(-nPage); break;
    case kKeyPageDown: Step(nPage); break;
    case kKeyHome: SetPosition(0); break;
    case kKeyEnd: SetPosition(m_nMaximum); break;
    default: return false;
    }
    return true;
}

#include "MovementHistory.h"

#include "Logger.h"

#include <numeric>

namespace
{
std::size_t HeldSections(const CBookmark& view)
{
    std::size_t nHeld = view.m_sections.size();
    for (const auto& [strCode, sections] : view.m_sectionsByCode)
        nHeld += sections.size();
    return nHeld;
}
} // namespace

void CMovementHistory::Clear()
{
    KTRACE("CMovementHistory::Clear");
    m_entries.FreeData();
    m_entries.Add(std::make_unique<CBookmark>());
    m_nCurrent = 0;
}

void CMovementHistory::LeaveView()
{
    if (m_onLeaveView)
        m_onLeaveView();
}

bool CMovementHistory::MoveTo(std::unique_ptr<CBookmark>& pBookmark)
{
    KTRACE("CMovementHistory::MoveTo");
    if (!pBookmark)
        return false;
    const CBookmark* pCurrent = GetCurrent();
    if (pCurrent && pBookmark->IsCopyOf(*pCurrent))
        return false;
    LeaveView();
    auto& items = m_entries.Items();
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(m_nCurrent) + 1, items.end());
    m_entries.Add(std::move(pBookmark));
    if (items.size() > kMaxViews)
        items.erase(items.begin(), items.end() - static_cast<std::ptrdiff_t>(kMaxViews));
    std::size_t nHeld = std::accumulate(
        items.begin(), items.end(), std::size_t{0},
        [](std::size_t nSum, const auto& pView) { return nSum + HeldSections(*pView); });
    std::size_t nDropped = 0;
    while (nHeld > kMaxKeptSections && nDropped + 1 < items.size())
        nHeld -= HeldSections(*items[nDropped++]);
    items.erase(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(nDropped));
    m_nCurrent = m_entries.GetCount() - 1;
    return true;
}

void CMovementHistory::MoveBackward()
{
    KTRACE("CMovementHistory::MoveBackward");
    if (!CanMoveBackward())
        return;
    LeaveView();
    --m_nCurrent;
}

void CMovementHistory::MoveForward()
{
    KTRACE("CMovementHistory::MoveForward");
    if (!CanMoveForward())
        return;
    LeaveView();
    ++m_nCurrent;
}

CBookmark* CMovementHistory::GetCurrent() const
{
    return m_nCurrent < m_entries.GetCount() ? m_entries.GetAt(m_nCurrent) : nullptr;
}

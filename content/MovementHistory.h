#pragma once

#include "Bookmark.h"

#include <functional>
#include <memory>

// Back and forward over the views the user visited. Always holds at least one
// view; a new history holds one empty (home) view.
class CMovementHistory
{
public:
    // The views kept for Back: a reader never walks back further in a day,
    // and each view may hold a whole result list, so the oldest view goes
    // when a new one would pass this.
    static constexpr std::size_t kMaxViews = 100;
    // ...and the sections their lists hold together: on a large library a
    // search view holds tens of thousands, so past this (4 MiB of them) the
    // oldest views go first; the current view always stays.
    static constexpr std::size_t kMaxKeptSections = 500000;

    CMovementHistory() { Clear(); }

    // Called before the current view is left, so its scroll position can be
    // remembered.
    void SetLeaveViewHandler(std::function<void()> onLeave) { m_onLeaveView = std::move(onLeave); }

    void Clear();
    // Moves to a new view, dropping the forward views (and the oldest views
    // past kMaxViews or kMaxKeptSections). A copy of the current view changes nothing and returns
    // false; pBookmark then stays the caller's.
    bool MoveTo(std::unique_ptr<CBookmark>& pBookmark);
    void MoveBackward();
    void MoveForward();
    bool CanMoveBackward() const { return m_nCurrent > 0; }
    bool CanMoveForward() const { return m_nCurrent + 1 < m_entries.GetCount(); }
    CBookmark* GetCurrent() const;
    std::size_t GetCount() const { return m_entries.GetCount(); }

private:
    void LeaveView();

    CBookmarkVector m_entries;
    std::size_t m_nCurrent = 0;
    std::function<void()> m_onLeaveView;
};

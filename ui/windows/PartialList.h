#pragma once

#include <cstddef>
#include <string>
#include <utility>

// A long list of sections that a window shows in part: a run of at most a
// given number of its items around the one the user must see, and the links
// above and below the run that show more of it. A window that builds only
// such a run stays small however wide a level of the library grows.
class CPartialList
{
public:
    // [first, last) of the list's items.
    using CRange = std::pair<std::size_t, std::size_t>;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // Every item when nCount fits in nMax; else nMax items from the start,
    // or, for an item nKeep, the run that holds it at its middle (or as near
    // as the list's ends allow).
    static CRange Around(std::size_t nCount, std::size_t nMax, std::size_t nKeep);

    // The run grown by nStep items below it (bDown) or above it, and the
    // item that the keyboard goes to: the first of those that came, counted
    // from the run (kNone when nothing was left on that side).
    static std::pair<CRange, std::size_t> Grown(CRange range, std::size_t nCount, std::size_t nStep,
                                                bool bDown);

    // The text of a link that shows nLeft more sections: "Ещё N разделов…"
    // below the run, "Выше ещё N разделов…" above it.
    static std::string MoreText(std::size_t nLeft, bool bDown);
};

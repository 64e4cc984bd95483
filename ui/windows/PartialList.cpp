#include "PartialList.h"

#include "TextUtils.h"

#include <algorithm>

CPartialList::CRange CPartialList::Around(std::size_t nCount, std::size_t nMax, std::size_t nKeep)
{
    if (nCount <= nMax)
        return {0, nCount};
    if (nKeep >= nCount)
        return {0, nMax};
    const std::size_t nFirst = std::min(nKeep - std::min(nKeep, nMax / 2), nCount - nMax);
    return {nFirst, nFirst + nMax};
}

std::pair<CPartialList::CRange, std::size_t> CPartialList::Grown(CRange range, std::size_t nCount,
                                                                 std::size_t nStep, bool bDown)
{
    auto [nFirst, nLast] = range;
    nLast = std::min(nLast, nCount);
    nFirst = std::min(nFirst, nLast);
    if (bDown && nLast < nCount)
        return {{nFirst, std::min(nCount, nLast + nStep)}, nLast};
    if (!bDown && nFirst > 0)
        return {{nFirst - std::min(nFirst, nStep), nLast}, nFirst - 1};
    return {{nFirst, nLast}, kNone};
}

std::string CPartialList::MoreText(std::size_t nLeft, bool bDown)
{
    return std::string(bDown ? "Ещё " : "Выше ещё ") +
           CTextUtils::CountOf(nLeft, "раздел", "раздела", "разделов") + "…";
}

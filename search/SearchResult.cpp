#include "SearchResult.h"

#include <algorithm>
#include <cstring>
#include <iterator>

void CSearchResultPath::assign(std::string_view text)
{
    if (text.size() <= kInlineSize)
    {
        if (!text.empty())
            std::memcpy(m_inline, text.data(), text.size());
        m_nInline = static_cast<std::uint8_t>(text.size());
        m_onHeap.clear();
        return;
    }
    m_onHeap.assign(text);
    m_nInline = kOnHeap;
}

CSearchResultSet::CSearchResultSet(std::initializer_list<SearchResult> records)
{
    for (const SearchResult& record : records)
        insert(record);
}

std::pair<CSearchResultSet::iterator, bool> CSearchResultSet::insert(SearchResult record)
{
    const auto it =
        std::lower_bound(m_records.begin(), m_records.end(), record, SearchResultLess());
    if (it != m_records.end() && !SearchResultLess()(record, *it))
        return {it, false};
    return {m_records.insert(it, std::move(record)), true};
}

void CSearchResultSet::InsertSorted(std::vector<SearchResult> records)
{
    if (m_records.empty())
    {
        m_records = std::move(records);
        return;
    }
    std::vector<SearchResult> merged;
    merged.reserve(m_records.size() + records.size());
    const SearchResultLess less;
    auto itOld = m_records.begin();
    auto itNew = records.begin();
    while (itOld != m_records.end() && itNew != records.end())
    {
        if (less(*itNew, *itOld))
            merged.push_back(std::move(*itNew++));
        else
        {
            // An equal new record is dropped: the one in the set stays.
            if (!less(*itOld, *itNew))
                ++itNew;
            merged.push_back(std::move(*itOld++));
        }
    }
    std::move(itOld, m_records.end(), std::back_inserter(merged));
    std::move(itNew, records.end(), std::back_inserter(merged));
    m_records = std::move(merged);
}

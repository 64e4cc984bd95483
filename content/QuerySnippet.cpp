#include "QuerySnippet.h"

#include "SearchUtils.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <set>

namespace
{
constexpr std::size_t kWindowLength = 300;
constexpr std::size_t kLeadIn = 10;
// Placeholders for the bold tags in the shown window, of the same lengths as
// the tags themselves so that the shown and the lowered windows stay aligned.
constexpr char32_t kOpenMark = 0xE000;
constexpr char32_t kCloseMark = 0xE001;
const std::u32string kOpenTag = U"<b>";
const std::u32string kCloseTag = U"</b>";

// A form at p counts only as a whole word, by the search's own rule of what
// a word is: "счет" is not bold inside "счет-фактура", which the search and
// the opened document take as one word.
bool IsBounded(const std::u32string& text, std::size_t nPos, std::size_t nLength)
{
    return (nPos == 0 || !IsWordCharacter(text[nPos - 1])) &&
           (nPos + nLength >= text.size() || !IsWordCharacter(text[nPos + nLength]));
}

std::set<std::size_t> FindPositions(const std::u32string& lowered, const std::u32string& form)
{
    std::set<std::size_t> positions;
    if (form.empty())
        return positions;
    for (auto nPos = lowered.find(form); nPos != std::u32string::npos;
         nPos = lowered.find(form, nPos + 1))
        if (IsBounded(lowered, nPos, form.size()))
            positions.insert(nPos);
    return positions;
}

// The start of the shortest stretch that holds one position of every group;
// -1 when there is no group.
long long FindClosestCluster(const std::vector<std::vector<std::size_t>>& groups)
{
    if (groups.empty())
        return -1;
    std::vector<std::size_t> cursors(groups.size(), 0);
    long long nBestStart = -1;
    std::size_t nBestSpan = 0;
    for (;;)
    {
        std::size_t nMin = 0, nMax = 0;
        for (std::size_t g = 1; g < groups.size(); ++g)
        {
            if (groups[g][cursors[g]] < groups[nMin][cursors[nMin]])
                nMin = g;
            if (groups[g][cursors[g]] > groups[nMax][cursors[nMax]])
                nMax = g;
        }
        const std::size_t nSmallest = groups[nMin][cursors[nMin]];
        const std::size_t nSpan = groups[nMax][cursors[nMax]] - nSmallest;
        if (nBestStart < 0 || nSpan < nBestSpan)
        {
            nBestStart = static_cast<long long>(nSmallest);
            nBestSpan = nSpan;
        }
        if (++cursors[nMin] >= groups[nMin].size())
            return nBestStart;
    }
}

std::string RenderWindow(const std::u32string& window)
{
    std::string strResult;
    std::u32string text;
    auto flushText = [&] {
        strResult += CXMLUtils::EncodeForXML(CTextUtils::FromUtf32(text));
        text.clear();
    };
    for (std::size_t i = 0; i < window.size(); ++i)
    {
        if (window[i] == kOpenMark)
        {
            flushText();
            strResult += "<b>";
            i += kOpenTag.size() - 1;
        }
        else if (window[i] == kCloseMark)
        {
            flushText();
            strResult += "</b>";
            i += kCloseTag.size() - 1;
        }
        else
        {
            text += window[i];
        }
    }
    flushText();
    return strResult;
}
} // namespace

std::string BuildQuerySnippet(const std::string& strText,
                              const std::vector<std::vector<std::string>>& query)
{
    std::u32string text = CTextUtils::ToUtf32(strText);
    for (char32_t& ch : text)
        if (ch == kOpenMark || ch == kCloseMark)
            ch = U' ';
    // Words are matched lower-cased and folded ("ё" as "е"), so a form is
    // found whichever way the page spells it; the shown text keeps its own.
    std::u32string lowered = text;
    for (char32_t& ch : lowered)
        ch = FoldYo(CTextUtils::ToLower(ch));

    std::vector<std::vector<std::size_t>> groups;
    std::set<std::u32string> allForms;
    for (const auto& group : query)
    {
        std::set<std::size_t> positions;
        for (const auto& form : group)
        {
            const std::u32string form32 = CTextUtils::ToUtf32(FoldYo(std::string_view(form)));
            allForms.insert(form32);
            positions.merge(FindPositions(lowered, form32));
        }
        if (positions.empty())
            positions.insert(0);
        groups.emplace_back(positions.begin(), positions.end());
    }

    const long long nBest = FindClosestCluster(groups);
    const std::size_t nStart =
        (nBest < static_cast<long long>(kLeadIn)) ? 0 : static_cast<std::size_t>(nBest) - kLeadIn;
    std::u32string shown =
        nStart < text.size() ? text.substr(nStart, kWindowLength) : std::u32string();
    std::u32string low =
        nStart < lowered.size() ? lowered.substr(nStart, kWindowLength) : std::u32string();

    for (const auto& form : allForms)
    {
        if (form.empty())
            continue;
        // Past a marked form its tags are passed too; past a form inside a
        // longer word only its first letter, or "налог" right after
        // "налоговый " would be skipped.
        const std::size_t nMarkedStep = kOpenTag.size() + form.size() + kCloseTag.size();
        for (auto nPos = low.find(form); nPos != std::u32string::npos;)
        {
            if (!IsBounded(low, nPos, form.size()))
            {
                nPos = low.find(form, nPos + 1);
                continue;
            }
            low.insert(nPos + form.size(), kCloseTag);
            low.insert(nPos, kOpenTag);
            shown.insert(nPos + form.size(), std::u32string(kCloseTag.size(), kCloseMark));
            shown.insert(nPos, std::u32string(kOpenTag.size(), kOpenMark));
            nPos = low.find(form, nPos + nMarkedStep);
        }
    }
    return (nStart > 0 ? "..." : "") + RenderWindow(shown) + "...";
}

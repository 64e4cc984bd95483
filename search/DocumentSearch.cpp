#include "DocumentSearch.h"

#include "Logger.h"
#include "TextUtils.h"

#include <algorithm>
#include <cmath>

namespace
{
// Merges two lists of one word's documents, both ordered by document: a
// document in both keeps the earlier first position and the sum of counts,
// as merging the two lists of positions would give.
std::vector<WordDocument> MergeDocuments(const std::vector<WordDocument>& a,
                                         const std::vector<WordDocument>& b)
{
    std::vector<WordDocument> merged;
    merged.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size())
    {
        if (j == b.size() || (i < a.size() && a[i].docNumber < b[j].docNumber))
            merged.push_back(a[i++]);
        else if (i == a.size() || b[j].docNumber < a[i].docNumber)
            merged.push_back(b[j++]);
        else
        {
            merged.push_back({a[i].docNumber, std::min(a[i].firstPosition, b[j].firstPosition),
                              a[i].count + b[j].count});
            ++i;
            ++j;
        }
    }
    return merged;
}

std::size_t Utf16Length(std::string_view text)
{
    std::size_t nUnits = 0;
    for (std::size_t nPos = 0; nPos < text.size();)
        nUnits += CTextUtils::DecodeNext(text, nPos) >= 0x10000 ? 2 : 1;
    return nUnits;
}
} // namespace

std::vector<std::string> CDocumentSearch::BaseFormsOrWord(const std::string& word)
{
    std::vector<std::string> bases = m_morpho.GetBaseForms(word);
    if (bases.empty())
        bases.push_back(word);
    return bases;
}

CDocumentSearch::CWordDocuments CDocumentSearch::CollectDocuments(const std::string& word,
                                                                  std::uint32_t nDocCount)
{
    CWordDocuments result;
    for (const std::string& base : BaseFormsOrWord(word))
    {
        std::vector<WordDocument> documents;
        m_index.GetWordDocuments(base, documents);
        if (documents.empty())
            continue;
        result.m_documents = result.m_documents.empty()
                                 ? std::move(documents)
                                 : MergeDocuments(result.m_documents, documents);
    }
    if (!result.m_documents.empty())
        result.m_dIdf = std::log(static_cast<double>(nDocCount) /
                                 static_cast<double>(result.m_documents.size()));
    return result;
}

void CDocumentSearch::FindDocuments(std::string_view query, SearchResultSet& results)
{
    KTRACE("CFullTextSearch2::FindDocuments", query);
    if (InsertDocuments(query, results, nullptr))
        m_index.FillDocumentPathByNumber(results);
}

bool CDocumentSearch::InsertDocuments(std::string_view query, SearchResultSet& results,
                                      std::vector<const SearchResult*>* pAdded)
{
    const std::vector<std::string> words = SplitSearchString(query);
    if (words.empty())
        return false;
    const std::uint32_t nDocCount = m_index.GetDocCount();
    // Words found nowhere are dropped: they do not prevent results.
    std::vector<CWordDocuments> lists;
    for (const std::string& word : words)
    {
        CWordDocuments list = CollectDocuments(word, nDocCount);
        if (!list.m_documents.empty())
            lists.push_back(std::move(list));
    }
    if (lists.empty())
        return false;

    // The cursors walk the lists in step; each document of each list is
    // visited once.
    std::vector<SearchResult> found;
    bool bComplete = true;
    std::vector<std::size_t> cursors(lists.size(), 0);
    const auto anyAtEnd = [&] {
        for (std::size_t i = 0; i < lists.size(); ++i)
            if (cursors[i] == lists[i].m_documents.size())
                return true;
        return false;
    };
    while (!anyAtEnd())
    {
        std::size_t nSmallest = 0;
        bool bSame = true;
        for (std::size_t i = 0; i < lists.size(); ++i)
        {
            const std::uint32_t nDoc = lists[i].m_documents[cursors[i]].docNumber;
            if (nDoc != lists[0].m_documents[cursors[0]].docNumber)
                bSame = false;
            if (nDoc < lists[nSmallest].m_documents[cursors[nSmallest]].docNumber)
                nSmallest = i;
        }
        if (!bSame)
        {
            ++cursors[nSmallest];
            continue;
        }
        const std::uint32_t nDoc = lists[0].m_documents[cursors[0]].docNumber;
        std::size_t nLo = 0, nHi = 0;
        for (std::size_t i = 1; i < lists.size(); ++i)
        {
            const std::uint32_t nFirst = lists[i].m_documents[cursors[i]].firstPosition;
            if (nFirst < lists[nLo].m_documents[cursors[nLo]].firstPosition)
                nLo = i;
            if (nFirst > lists[nHi].m_documents[cursors[nHi]].firstPosition)
                nHi = i;
        }
        const std::uint32_t nFirstPosition = lists[nLo].m_documents[cursors[nLo]].firstPosition;
        const std::uint32_t nLastPosition = lists[nHi].m_documents[cursors[nHi]].firstPosition;
        const std::uint32_t nSpan = nLastPosition - nFirstPosition;
        const std::uint32_t nWordCount = m_index.GetWordsCountInDoc(nDoc);
        if (nWordCount == 0)
        {
            // The documents scored so far still go in, without paths.
            KLOG_ERR << "Can't calc tfidf";
            bComplete = false;
            break;
        }
        double dScore = 0.0;
        for (std::size_t i = 0; i < lists.size(); ++i)
            dScore += lists[i].m_dIdf * (static_cast<double>(lists[i].m_documents[cursors[i]].count) /
                                         static_cast<double>(nWordCount + nSpan));
        found.push_back({nDoc, std::string(), nFirstPosition, nLastPosition, dScore, nSpan});
        ++cursors[0];
    }

    // One call finds each document once, so the order in which its records go
    // into the set does not change the set; in the set's own order each one
    // goes in right after the one before, without a search down the tree.
    std::sort(found.begin(), found.end(), SearchResultLess());
    auto hint = results.begin();
    for (SearchResult& result : found)
    {
        const std::size_t nBefore = results.size();
        const auto it = results.insert(hint, std::move(result));
        if (pAdded && results.size() != nBefore)
            pAdded->push_back(&*it);
        hint = std::next(it);
    }
    return bComplete;
}

CHighlightWords CDocumentSearch::GetHightlightWords(std::string_view query)
{
    KTRACE("CFullTextSearch2::GetHightlightWords", query);
    CHighlightWords highlight;
    for (const std::string& word : SplitSearchString(query))
    {
        std::set<std::string>& forms = highlight.emplace_back();
        forms.insert(word);
        for (const std::string& base : m_morpho.GetBaseForms(word))
            for (std::string& form : m_morpho.GetAllForms(base))
                forms.insert(std::move(form));
    }
    return highlight;
}

void CDocumentSearch::Search(std::string_view query, SearchResultSet& results, CHighlightWords& highlight)
{
    const std::string lowered = CTextUtils::ToLower(query);
    // FindDocuments reads the path of every record in the set after each
    // query; in a set that starts empty every record came from these queries
    // and keeps the path it was given, so only the records without one yet
    // are read, in the set's order.
    const bool bOwnSet = results.empty();
    std::vector<const SearchResult*> unfilled;
    const auto find = [&](std::string_view text) {
        if (!bOwnSet)
        {
            FindDocuments(text, results);
            return;
        }
        KTRACE("CFullTextSearch2::FindDocuments", text);
        const std::size_t nOld = unfilled.size();
        const bool bFill = InsertDocuments(text, results, &unfilled);
        const auto before = [](const SearchResult* a, const SearchResult* b) { return SearchResultLess()(*a, *b); };
        std::inplace_merge(unfilled.begin(), unfilled.begin() + static_cast<std::ptrdiff_t>(nOld), unfilled.end(),
                           before);
        if (!bFill)
            return;
        m_index.FillDocumentPathByNumber(unfilled);
        std::erase_if(unfilled, [](const SearchResult* pResult) { return !pResult->path.empty(); });
    };
    find(lowered);
    if (!results.empty() || Utf16Length(lowered) < 3)
    {
        highlight = GetHightlightWords(lowered);
        return;
    }
    // Nothing found: every indexed word that a query word begins with.
    std::string joined;
    std::set<std::string> baseForms;
    for (const std::string& word : SplitSearchString(lowered))
    {
        for (const std::string& completion : m_index.GetStartWords(word))
        {
            // A completion the dictionary does not know was indexed as it is
            // written, and is searched as it is written.
            for (const std::string& base : BaseFormsOrWord(completion))
            {
                baseForms.insert(base);
                joined += base;
                joined += ' ';
            }
        }
    }
    for (const std::string& base : baseForms)
        find(base);
    highlight = GetHightlightWords(joined);
}

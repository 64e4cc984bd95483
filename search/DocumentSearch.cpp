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
    std::vector<CFound> found;
    const EFound result = CollectFound(query, 0, found);
    results.InsertSorted(MakeRecords(found, -1));
    if (result == EFound::Complete)
        m_index.FillDocumentPathByNumber(results);
}

CDocumentSearch::EFound CDocumentSearch::CollectFound(std::string_view query, std::uint32_t nQuery,
                                                      std::vector<CFound>& found)
{
    const std::vector<std::string> words = SplitSearchString(query);
    if (words.empty())
        return EFound::Nothing;
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
        return EFound::Nothing;

    // The cursors walk the lists in step; each document of each list is
    // visited once.
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
            // The documents scored so far still count, without paths.
            KLOG_ERR << "Can't calc tfidf";
            return EFound::Stopped;
        }
        double dScore = 0.0;
        for (std::size_t i = 0; i < lists.size(); ++i)
            dScore += lists[i].m_dIdf * (static_cast<double>(lists[i].m_documents[cursors[i]].count) /
                                         static_cast<double>(nWordCount + nSpan));
        found.push_back({nSpan, dScore, nDoc, nFirstPosition, nLastPosition, nQuery});
        ++cursors[0];
    }
    return EFound::Complete;
}

std::vector<SearchResult> CDocumentSearch::MakeRecords(std::vector<CFound>& found, std::int64_t nLastFilled)
{
    // The set's order, and among equal keys the earliest query first: the
    // record a set would have kept, since it ignores a later equal one.
    std::sort(found.begin(), found.end(), [](const CFound& a, const CFound& b) {
        if (a.m_nSpan != b.m_nSpan)
            return a.m_nSpan < b.m_nSpan;
        if (a.m_dScore != b.m_dScore)
            return a.m_dScore > b.m_dScore;
        if (a.m_nDocument != b.m_nDocument)
            return a.m_nDocument < b.m_nDocument;
        return a.m_nQuery < b.m_nQuery;
    });
    std::vector<SearchResult> records;
    records.reserve(found.size());
    // A record's path is read when a query at or after the one that found it
    // read the paths of the whole set.
    std::vector<std::size_t> toFill;
    for (std::size_t i = 0; i < found.size(); ++i)
    {
        const CFound& one = found[i];
        if (i > 0 && one.m_nSpan == found[i - 1].m_nSpan && one.m_dScore == found[i - 1].m_dScore &&
            one.m_nDocument == found[i - 1].m_nDocument)
            continue;
        if (static_cast<std::int64_t>(one.m_nQuery) <= nLastFilled)
            toFill.push_back(records.size());
        records.push_back({one.m_nDocument, std::string(), one.m_nFirstPosition, one.m_nLastPosition,
                           one.m_dScore, one.m_nSpan});
    }
    if (nLastFilled >= 0)
    {
        std::vector<const SearchResult*> pointers;
        pointers.reserve(toFill.size());
        for (const std::size_t nRecord : toFill)
            pointers.push_back(&records[nRecord]);
        m_index.FillDocumentPathByNumber(pointers);
    }
    return records;
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
    if (!results.empty())
    {
        SearchInto(lowered, results, highlight);
        return;
    }
    // Each query's documents are gathered and become records once, at the
    // end. The queries would each read the path of every record of the set:
    // the set starts empty here, so a record's path is the one read by the
    // last query that read paths, when that query came at or after the one
    // that found it.
    std::vector<CFound> found;
    std::uint32_t nQuery = 0;
    std::int64_t nLastFilled = -1;
    const auto find = [&](std::string_view text) {
        KTRACE("CFullTextSearch2::FindDocuments", text);
        if (CollectFound(text, nQuery, found) == EFound::Complete)
            nLastFilled = nQuery;
        ++nQuery;
    };
    find(lowered);
    if (found.empty() && Utf16Length(lowered) >= 3)
    {
        const std::string joined = CompleteWords(lowered, find);
        results.InsertSorted(MakeRecords(found, nLastFilled));
        highlight = GetHightlightWords(joined);
        return;
    }
    results.InsertSorted(MakeRecords(found, nLastFilled));
    highlight = GetHightlightWords(lowered);
}

void CDocumentSearch::SearchInto(const std::string& lowered, SearchResultSet& results, CHighlightWords& highlight)
{
    FindDocuments(lowered, results);
    if (!results.empty() || Utf16Length(lowered) < 3)
    {
        highlight = GetHightlightWords(lowered);
        return;
    }
    const std::string joined =
        CompleteWords(lowered, [&](std::string_view text) { FindDocuments(text, results); });
    highlight = GetHightlightWords(joined);
}

std::string CDocumentSearch::CompleteWords(const std::string& lowered,
                                           const std::function<void(std::string_view)>& find)
{
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
    return joined;
}

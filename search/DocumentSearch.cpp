#include "DocumentSearch.h"

#include "Logger.h"
#include "TextUtils.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

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

// The order of found documents by their order words and, for equal words,
// by query: the indexes of the documents in that order. A radix sort of small
// items (an index and the 32 highest bits in which the keys differ) first,
// then each run of items that agree on those bits sorted by comparison: few
// passes over little memory, and few comparisons with their mispredicted
// branches.
template <typename Found>
void SortFound(const std::vector<Found>& found, std::vector<std::uint64_t>& order,
               std::vector<std::uint64_t>& buffer)
{
    const auto less = [&found](std::uint64_t nA, std::uint64_t nB) {
        const Found& a = found[static_cast<std::uint32_t>(nA)];
        const Found& b = found[static_cast<std::uint32_t>(nB)];
        if (a.m_nOrderHigh != b.m_nOrderHigh)
            return a.m_nOrderHigh < b.m_nOrderHigh;
        if (a.m_nOrderLow != b.m_nOrderLow)
            return a.m_nOrderLow < b.m_nOrderLow;
        return a.m_nQuery < b.m_nQuery;
    };
    const std::size_t nCount = found.size();
    order.resize(nCount);
    for (std::size_t i = 0; i < nCount; ++i)
        order[i] = i;
    if (nCount < 64)
    {
        std::sort(order.begin(), order.end(), less);
        return;
    }
    using CKey = unsigned __int128;
    const auto key = [](const Found& one) {
        return (CKey{one.m_nOrderHigh} << 64) | one.m_nOrderLow;
    };
    CKey nMin = key(found[0]), nMax = nMin;
    for (const Found& one : found)
    {
        nMin = std::min(nMin, key(one));
        nMax = std::max(nMax, key(one));
    }
    const CKey nDiffer = nMin ^ nMax;
    const auto nDifferHigh = static_cast<std::uint64_t>(nDiffer >> 64);
    const auto nDifferLow = static_cast<std::uint64_t>(nDiffer);
    const int nTop = nDifferHigh ? 127 - std::countl_zero(nDifferHigh)
                                 : (nDifferLow ? 63 - std::countl_zero(nDifferLow) : 0);
    // Above bit nTop all keys agree, so the 32 bits from nTop down place a
    // key among the others; an item is those bits over the index. They are
    // sorted in three passes of 11, 11 and 10 bits.
    constexpr int kBucketBits = 32;
    constexpr int kDigitBits = 11;
    constexpr int kDigits = 3;
    const int nShift = std::max(0, nTop + 1 - kBucketBits);
    std::vector<std::array<std::uint32_t, 1u << kDigitBits>> counts(kDigits);
    const auto digitOf = [](std::uint64_t nItem, int nDigit) {
        return static_cast<std::size_t>((nItem >> (32 + nDigit * kDigitBits)) &
                                        ((1u << kDigitBits) - 1));
    };
    for (std::size_t i = 0; i < nCount; ++i)
    {
        order[i] |= (static_cast<std::uint64_t>(key(found[i]) >> nShift) & 0xFFFFFFFFu) << 32;
        for (int nDigit = 0; nDigit < kDigits; ++nDigit)
            ++counts[nDigit][digitOf(order[i], nDigit)];
    }
    buffer.resize(nCount);
    std::vector<std::uint64_t>* pFrom = &order;
    std::vector<std::uint64_t>* pTo = &buffer;
    for (int nDigit = 0; nDigit < kDigits; ++nDigit)
    {
        std::array<std::uint32_t, 1u << kDigitBits>& count = counts[nDigit];
        if (count[digitOf(order[0], nDigit)] == nCount)
            continue;
        std::uint32_t nOffset = 0;
        for (std::uint32_t& nSlot : count)
            nOffset += std::exchange(nSlot, nOffset);
        for (const std::uint64_t nItem : *pFrom)
            (*pTo)[count[digitOf(nItem, nDigit)]++] = nItem;
        std::swap(pFrom, pTo);
    }
    if (pFrom != &order)
        order.swap(buffer);
    for (std::size_t i = 0; i < nCount;)
    {
        std::size_t nEnd = i + 1;
        while (nEnd < nCount && (order[nEnd] >> 32) == (order[i] >> 32))
            ++nEnd;
        if (nEnd - i > 1)
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(i),
                      order.begin() + static_cast<std::ptrdiff_t>(nEnd), less);
        i = nEnd;
    }
}

bool IsStrictlyAscending(const std::vector<WordDocument>& documents)
{
    for (std::size_t i = 1; i < documents.size(); ++i)
        if (documents[i].docNumber <= documents[i - 1].docNumber)
            return false;
    return true;
}

// The first entry at or after nFrom whose document is nDoc or later: steps
// of 1, 2, 4, ... and then a binary search, so a long leap costs little.
std::size_t LeapTo(const std::vector<WordDocument>& documents, std::size_t nFrom,
                   std::uint32_t nDoc)
{
    if (nFrom >= documents.size() || documents[nFrom].docNumber >= nDoc)
        return nFrom;
    std::size_t nBefore = nFrom; // an entry known to lie before nDoc
    std::size_t nStep = 1;
    while (nBefore + nStep < documents.size() && documents[nBefore + nStep].docNumber < nDoc)
    {
        nBefore += nStep;
        nStep *= 2;
    }
    const auto itEnd = documents.begin() +
                       static_cast<std::ptrdiff_t>(std::min(nBefore + nStep + 1, documents.size()));
    return static_cast<std::size_t>(
        std::lower_bound(
            documents.begin() + static_cast<std::ptrdiff_t>(nBefore) + 1, itEnd, nDoc,
            [](const WordDocument& document, std::uint32_t n) { return document.docNumber < n; }) -
        documents.begin());
}

// The score as an integer that grows as the score falls: higher scores come
// first in the set. Both zeros are one score, as they compare equal.
std::uint64_t DescendingScoreOrder(double dScore)
{
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    const auto nBits = std::bit_cast<std::uint64_t>(dScore == 0.0 ? 0.0 : dScore);
    const std::uint64_t nAscending = (nBits & kSign) ? ~nBits : (nBits | kSign);
    return ~nAscending;
}

std::size_t Utf16Length(std::string_view text)
{
    std::size_t nUnits = 0;
    for (std::size_t nPos = 0; nPos < text.size();)
        nUnits += CTextUtils::DecodeNext(text, nPos) >= 0x10000 ? 2 : 1;
    return nUnits;
}
} // namespace

CDocumentSearch::CFound::CFound(std::uint32_t nSpan, double dScore, std::uint32_t nDocument,
                                std::uint32_t nFirst, std::uint32_t nLast, std::uint32_t nQuery)
    : m_nQuery(nQuery),
      m_nFirstPosition(nFirst),
      m_nLastPosition(nLast)
{
    const std::uint64_t nScore = DescendingScoreOrder(dScore);
    m_nOrderHigh = (std::uint64_t{nSpan} << 32) | (nScore >> 32);
    m_nOrderLow = (nScore << 32) | nDocument;
}

double CDocumentSearch::CFound::Score() const
{
    // The order holds the score's bits; only -0.0 would come back as 0.0,
    // and a score is a sum that starts at 0.0, which is never -0.0.
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    const std::uint64_t nAscending = ~(((m_nOrderHigh & 0xFFFFFFFFu) << 32) | (m_nOrderLow >> 32));
    return std::bit_cast<double>((nAscending & kSign) ? (nAscending & ~kSign) : ~nAscending);
}

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
    const auto add = [&result](std::vector<WordDocument>& documents) {
        if (documents.empty())
            return;
        result.m_documents = result.m_documents.empty()
                                 ? std::move(documents)
                                 : MergeDocuments(result.m_documents, documents);
    };
    std::vector<std::string> bases = m_morpho.GetBaseForms(word);
    const bool bKnown = !bases.empty();
    if (!bKnown)
        bases.push_back(word);
    for (const std::string& base : bases)
    {
        std::vector<WordDocument> documents;
        m_index.GetWordDocuments(base, documents);
        add(documents);
    }
    // Only a word whose spellings or base forms hold "ё" is read under more.
    if (HasYo(word) || std::any_of(bases.begin(), bases.end(),
                                   [](const std::string& base) { return HasYo(base); }))
    {
        for (const std::string& spelling : OtherSpellings(word, bases, bKnown))
        {
            std::vector<WordDocument> documents;
            m_index.GetWordDocuments(spelling, documents);
            add(documents);
        }
    }
    if (!result.m_documents.empty())
        result.m_dIdf = std::log(static_cast<double>(nDocCount) /
                                 static_cast<double>(result.m_documents.size()));
    return result;
}

std::vector<std::string> CDocumentSearch::OtherSpellings(const std::string& word,
                                                         const std::vector<std::string>& read,
                                                         bool bKnown)
{
    // B(w): the base forms of the word and of its fold, or the word itself
    // when neither has any; then B(w) with the fold of each of its words.
    std::vector<std::string> spellings;
    if (bKnown)
        spellings = read;
    if (HasYo(word))
        for (std::string& base : m_morpho.GetBaseForms(FoldYo(word)))
            spellings.push_back(std::move(base));
    if (spellings.empty())
        spellings.push_back(word);
    const std::size_t nBases = spellings.size();
    for (std::size_t i = 0; i < nBases; ++i)
        if (HasYo(spellings[i]))
            spellings.push_back(FoldYo(spellings[i]));
    // Each once, and none of the words the base forms' lookups have read.
    std::sort(spellings.begin(), spellings.end());
    spellings.erase(std::unique(spellings.begin(), spellings.end()), spellings.end());
    std::erase_if(spellings, [&read](const std::string& spelling) {
        return std::find(read.begin(), read.end(), spelling) != read.end();
    });
    return spellings;
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
    if (lists.size() == 1)
        return CollectOneWord(lists[0], nQuery, found);

    if (std::all_of(lists.begin(), lists.end(), [](const CWordDocuments& list) {
            return IsStrictlyAscending(list.m_documents);
        }))
        return CollectCommon(lists, nQuery, found);

    // The cursors walk the lists in step; each document of each list is
    // visited once. (A list that names a document twice comes only from a
    // damaged index; the walk gives its exact answer then too.)
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
        if (!ScoreCommonDocument(lists, cursors, nQuery, found))
            return EFound::Stopped;
        ++cursors[0];
    }
    return EFound::Complete;
}

bool CDocumentSearch::ScoreCommonDocument(const std::vector<CWordDocuments>& lists,
                                          const std::vector<std::size_t>& cursors,
                                          std::uint32_t nQuery, std::vector<CFound>& found)
{
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
        return false;
    }
    double dScore = 0.0;
    for (std::size_t i = 0; i < lists.size(); ++i)
        dScore += lists[i].m_dIdf * (static_cast<double>(lists[i].m_documents[cursors[i]].count) /
                                     static_cast<double>(nWordCount + nSpan));
    found.emplace_back(nSpan, dScore, nDoc, nFirstPosition, nLastPosition, nQuery);
    return true;
}

CDocumentSearch::EFound CDocumentSearch::CollectCommon(const std::vector<CWordDocuments>& lists,
                                                       std::uint32_t nQuery,
                                                       std::vector<CFound>& found)
{
    // With each document at most once per list, the walk finds the documents
    // common to all lists in ascending order: the shortest list proposes
    // each of its documents, and the others leap to it.
    std::size_t nShortest = 0;
    for (std::size_t i = 1; i < lists.size(); ++i)
        if (lists[i].m_documents.size() < lists[nShortest].m_documents.size())
            nShortest = i;
    std::vector<std::size_t> cursors(lists.size(), 0);
    const std::vector<WordDocument>& proposals = lists[nShortest].m_documents;
    if (found.capacity() < found.size() + proposals.size())
        found.reserve(std::max(found.size() + proposals.size(), 2 * found.capacity()));
    for (std::size_t nProposal = 0; nProposal < proposals.size(); ++nProposal)
    {
        const std::uint32_t nDoc = proposals[nProposal].docNumber;
        cursors[nShortest] = nProposal;
        bool bCommon = true;
        for (std::size_t i = 0; i < lists.size(); ++i)
        {
            if (i == nShortest)
                continue;
            const std::vector<WordDocument>& documents = lists[i].m_documents;
            cursors[i] = LeapTo(documents, cursors[i], nDoc);
            if (cursors[i] == documents.size())
                return EFound::Complete;
            bCommon = bCommon && documents[cursors[i]].docNumber == nDoc;
        }
        if (bCommon && !ScoreCommonDocument(lists, cursors, nQuery, found))
            return EFound::Stopped;
    }
    return EFound::Complete;
}

CDocumentSearch::EFound CDocumentSearch::CollectOneWord(const CWordDocuments& list,
                                                        std::uint32_t nQuery,
                                                        std::vector<CFound>& found)
{
    // The walk of several lists with one list: every document, span 0. The
    // fallback's queries add to one list: it grows by at least doubling.
    const std::size_t nNeeded = found.size() + list.m_documents.size();
    if (found.capacity() < nNeeded)
        found.reserve(std::max(nNeeded, 2 * found.capacity()));
    for (const WordDocument& document : list.m_documents)
    {
        const std::uint32_t nWordCount = m_index.GetWordsCountInDoc(document.docNumber);
        if (nWordCount == 0)
        {
            KLOG_ERR << "Can't calc tfidf";
            return EFound::Stopped;
        }
        const double dScore = 0.0 + list.m_dIdf * (static_cast<double>(document.count) /
                                                   static_cast<double>(nWordCount + 0u));
        found.emplace_back(0u, dScore, document.docNumber, document.firstPosition,
                           document.firstPosition, nQuery);
    }
    return EFound::Complete;
}

std::vector<SearchResult> CDocumentSearch::MakeRecords(std::vector<CFound>& found,
                                                       std::int64_t nLastFilled)
{
    // The set's order, and among equal keys the earliest query first: the
    // record a set would have kept, since it ignores a later equal one.
    SortFound(found, m_order, m_orderBuffer);
    std::vector<SearchResult> records;
    records.reserve(found.size());
    // A record's path is read when a query at or after the one that found it
    // read the paths of the whole set.
    std::vector<std::size_t> toFill;
    const CFound* pPrevious = nullptr;
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < m_order.size(); ++i)
    {
        // The documents are read in rank order, from anywhere in the list.
        if (i + kAhead < m_order.size())
            __builtin_prefetch(&found[static_cast<std::uint32_t>(m_order[i + kAhead])]);
        const CFound& one = found[static_cast<std::uint32_t>(m_order[i])];
        if (pPrevious && one.SameKey(*pPrevious))
            continue;
        pPrevious = &one;
        if (static_cast<std::int64_t>(one.m_nQuery) <= nLastFilled)
            toFill.push_back(records.size());
        records.push_back({one.Document(),
                           {},
                           one.m_nFirstPosition,
                           one.m_nLastPosition,
                           one.Score(),
                           one.Span()});
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
        // Every form with its fold: a page may spell it either way. The
        // dictionary mostly lists both spellings, so a fold is looked for
        // before it is copied.
        const auto add = [this, &forms](std::string&& form) {
            if (HasYo(form))
            {
                m_fold = form;
                FoldYoInPlace(m_fold);
                if (!forms.contains(m_fold))
                    forms.insert(m_fold);
            }
            forms.insert(std::move(form));
        };
        add(std::string(word));
        const std::vector<std::string> bases = m_morpho.GetBaseForms(word);
        for (const std::string& base : bases)
            for (std::string& form : m_morpho.GetAllForms(base))
                add(std::move(form));
        if (!HasYo(word))
            continue;
        for (const std::string& base : m_morpho.GetBaseForms(FoldYo(word)))
            if (std::find(bases.begin(), bases.end(), base) == bases.end())
                for (std::string& form : m_morpho.GetAllForms(base))
                    add(std::move(form));
    }
    return highlight;
}

void CDocumentSearch::Search(std::string_view query, SearchResultSet& results,
                             CHighlightWords& highlight)
{
    const std::string lowered = CTextUtils::ToLower(query);
    m_strLastCompletions.clear();
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
        m_strLastCompletions = joined;
        return;
    }
    results.InsertSorted(MakeRecords(found, nLastFilled));
    highlight = GetHightlightWords(lowered);
}

void CDocumentSearch::SearchInto(const std::string& lowered, SearchResultSet& results,
                                 CHighlightWords& highlight)
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
        // The completions of the word and of its fold, as one set.
        std::set<std::string> completions = m_index.GetStartWords(word);
        if (HasYo(word))
            completions.merge(m_index.GetStartWords(FoldYo(word)));
        for (const std::string& completion : completions)
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

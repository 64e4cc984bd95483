#pragma once

// The full-text search done the plain way, to check CDocumentSearch against.
// Nothing of the index or of the dictionary files is read: every page's text
// is scanned word by word, a word's base forms are taken from the paradigms
// the test's dictionary was written from, and the found documents are kept in
// a map keyed by the result set's order. "ё" and "е" are one letter: forms are
// compared folded.
#include "DocumentSearch.h"
#include "SearchUtils.h"
#include "TextUtils.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

struct CScanRecord
{
    std::uint32_t m_nDoc = 0;
    std::string m_strPath;
    std::uint32_t m_nFirst = 0;
    std::uint32_t m_nLast = 0;
    double m_dScore = 0.0;
    std::uint32_t m_nSpan = 0;

    bool operator==(const CScanRecord&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const CScanRecord& r)
    {
        return out << "{doc " << r.m_nDoc << " '" << r.m_strPath << "' " << r.m_nFirst << ".."
                   << r.m_nLast << " span " << r.m_nSpan << " score " << r.m_dScore << "}";
    }
};

inline std::vector<CScanRecord> ScanRecords(const SearchResultSet& results)
{
    std::vector<CScanRecord> records;
    for (const SearchResult& r : results)
        records.push_back(
            {r.docNumber, r.path.str(), r.firstPosition, r.lastPosition, r.score, r.span});
    return records;
}

class CSearchScanReference
{
public:
    // Paradigms: lower case, the base form first, each form in one paradigm
    // at most once. Pages: path and text. The documents numbered in
    // zeroCountDocs have a word count of 0.
    CSearchScanReference(std::vector<std::vector<std::string>> paradigms,
                         const std::vector<std::pair<std::string, std::string>>& pages,
                         const std::set<std::uint32_t>& zeroCountDocs = {})
        : m_paradigms(std::move(paradigms))
    {
        for (const auto& [path, text] : pages)
        {
            CPage& page = m_pages.emplace_back();
            page.m_strPath = path;
            const std::vector<std::string> words = SplitSearchString(CTextUtils::ToLower(text));
            page.m_nWordCount = zeroCountDocs.contains(static_cast<std::uint32_t>(m_pages.size()))
                                    ? 0
                                    : static_cast<std::uint32_t>(words.size());
            for (const std::string& word : words)
            {
                page.m_forms.push_back(FoldedBaseForms(word));
                m_indexed.insert(page.m_forms.back().begin(), page.m_forms.back().end());
            }
        }
    }

    // What the search command shows for the text typed.
    std::vector<CScanRecord> Search(std::string_view query, CHighlightWords& highlight) const
    {
        const std::string lowered = CTextUtils::ToLower(query);
        CResults results;
        Find(lowered, results);
        if (!results.empty() || CTextUtils::ToUtf16(lowered).size() < 3)
        {
            highlight = Highlight(SplitSearchString(lowered));
            return Records(results);
        }
        // Nothing found: every word the pages are indexed under that a query
        // word begins with, its base forms each searched alone, in sorted
        // order, into the same results.
        std::vector<std::string> completed;
        std::set<std::string> bases;
        for (const std::string& word : SplitSearchString(lowered))
            for (const std::string& indexed : m_indexed)
                if (indexed.starts_with(FoldYo(word)))
                    for (const std::string& base : BaseForms(indexed))
                    {
                        completed.push_back(base);
                        bases.insert(base);
                    }
        for (const std::string& base : bases)
            Find(base, results);
        highlight = Highlight(completed);
        return Records(results);
    }

    // The number of pages in which some word has one of the word's base forms.
    std::size_t PagesWith(const std::string& word) const
    {
        std::size_t nPages = 0;
        for (std::uint32_t nDoc = 1; nDoc <= m_pages.size(); ++nDoc)
            nPages += Occurrences(word, nDoc).first > 0;
        return nPages;
    }

private:
    struct CPage
    {
        std::string m_strPath;
        std::vector<std::set<std::string>> m_forms; // each word's folded base forms, in order
        std::uint32_t m_nWordCount = 0;
    };
    // The result set's order: span up, score down, document up; of records
    // equal in all three the first one stays.
    using CKey = std::tuple<std::uint32_t, double, std::uint32_t>;
    using CResults = std::map<CKey, CScanRecord>;

    // The base forms of the paradigms that hold the word as written or with
    // "ё" folded; the word itself when there are none.
    std::vector<std::string> BaseForms(const std::string& word) const
    {
        std::vector<std::string> bases;
        for (const std::vector<std::string>& paradigm : m_paradigms)
            for (const std::string& form : paradigm)
                if (form == word || form == FoldYo(word))
                {
                    bases.push_back(paradigm.front());
                    break;
                }
        if (bases.empty())
            bases.push_back(word);
        return bases;
    }

    std::set<std::string> FoldedBaseForms(const std::string& word) const
    {
        std::set<std::string> forms;
        for (const std::string& base : BaseForms(word))
            forms.insert(FoldYo(base));
        return forms;
    }

    // The occurrences of a query word in a document, one per base form a
    // word of the page shares with it, and the position of the first.
    std::pair<std::uint32_t, std::uint32_t> Occurrences(const std::string& word,
                                                        std::uint32_t nDoc) const
    {
        const std::set<std::string> wanted = FoldedBaseForms(word);
        const std::vector<std::set<std::string>>& forms = m_pages[nDoc - 1].m_forms;
        std::uint32_t nCount = 0, nFirst = 0;
        for (std::uint32_t nPos = 0; nPos < forms.size(); ++nPos)
            for (const std::string& form : forms[nPos])
                if (wanted.contains(form) && nCount++ == 0)
                    nFirst = nPos;
        return {nCount, nFirst};
    }

    // One query into the results; the paths of all the results are filled
    // unless a document without a word count stopped it.
    void Find(const std::string& query, CResults& results) const
    {
        const auto nDocs = static_cast<std::uint32_t>(m_pages.size());
        struct CWord
        {
            std::vector<std::pair<std::uint32_t, std::uint32_t>> m_inDoc; // by document - 1
            double m_dIdf = 0.0;
        };
        std::vector<CWord> words;
        for (const std::string& text : SplitSearchString(query))
        {
            CWord word;
            std::uint32_t nWithWord = 0;
            for (std::uint32_t nDoc = 1; nDoc <= nDocs; ++nDoc)
            {
                word.m_inDoc.push_back(Occurrences(text, nDoc));
                nWithWord += word.m_inDoc.back().first > 0;
            }
            // A word found nowhere does not count.
            if (nWithWord == 0)
                continue;
            word.m_dIdf = std::log(static_cast<double>(nDocs) / static_cast<double>(nWithWord));
            words.push_back(std::move(word));
        }
        if (words.empty())
            return;
        for (std::uint32_t nDoc = 1; nDoc <= nDocs; ++nDoc)
        {
            std::uint32_t nFirst = 0xFFFFFFFFu, nLast = 0;
            bool bAll = true;
            for (const CWord& word : words)
            {
                const auto [nCount, nPos] = word.m_inDoc[nDoc - 1];
                bAll = bAll && nCount > 0;
                nFirst = std::min(nFirst, nPos);
                nLast = std::max(nLast, nPos);
            }
            if (!bAll)
                continue;
            const std::uint32_t nWordCount = m_pages[nDoc - 1].m_nWordCount;
            if (nWordCount == 0)
                return;
            const std::uint32_t nSpan = nLast - nFirst;
            double dScore = 0.0;
            for (const CWord& word : words)
                dScore += word.m_dIdf * (static_cast<double>(word.m_inDoc[nDoc - 1].first) /
                                         static_cast<double>(nWordCount + nSpan));
            results.emplace(CKey{nSpan, -dScore, nDoc},
                            CScanRecord{nDoc, {}, nFirst, nLast, dScore, nSpan});
        }
        for (auto& [key, record] : results)
            record.m_strPath = m_pages[record.m_nDoc - 1].m_strPath;
    }

    // Per word: the word, its folded spelling, and every form of every
    // paradigm that holds one of its base forms, each form also folded.
    CHighlightWords Highlight(const std::vector<std::string>& words) const
    {
        CHighlightWords highlight;
        for (const std::string& word : words)
        {
            std::set<std::string>& forms = highlight.emplace_back();
            forms.insert(word);
            forms.insert(FoldYo(word));
            for (const std::string& base : BaseForms(word))
                for (const std::vector<std::string>& paradigm : m_paradigms)
                    if (std::find(paradigm.begin(), paradigm.end(), base) != paradigm.end())
                        for (const std::string& form : paradigm)
                        {
                            forms.insert(form);
                            forms.insert(FoldYo(form));
                        }
        }
        return highlight;
    }

    static std::vector<CScanRecord> Records(const CResults& results)
    {
        std::vector<CScanRecord> records;
        for (const auto& [key, record] : results)
            records.push_back(record);
        return records;
    }

    std::vector<std::vector<std::string>> m_paradigms;
    std::vector<CPage> m_pages;
    std::set<std::string> m_indexed; // the folded base forms of every page word
};

#include "SearchIndexBuilder.h"

#include "SearchUtils.h"
#include "TextUtils.h"

#include <algorithm>

const std::vector<std::string>& CSearchIndexBuilder::IndexForms(const std::string& word)
{
    auto it = m_forms.find(word);
    if (it != m_forms.end())
        return it->second;
    std::vector<std::string> forms = m_morpho.GetBaseForms(word);
    if (forms.empty())
        forms.push_back(word);
    // Indexed folded ("ё" as "е"), whichever way the dictionary or the page
    // spells the word; a form found twice is indexed once at a position.
    for (std::string& form : forms)
        FoldYoInPlace(form);
    std::sort(forms.begin(), forms.end());
    forms.erase(std::unique(forms.begin(), forms.end()), forms.end());
    return m_forms.emplace(word, std::move(forms)).first->second;
}

const std::vector<std::uint32_t>& CSearchIndexBuilder::WordHandles(std::string_view word)
{
    if (const auto it = m_handles.find(word); it != m_handles.end())
        return it->second;
    std::vector<std::uint32_t> handles;
    for (const std::string& form : IndexForms(CTextUtils::ToLower(word)))
        handles.push_back(m_writer.GetWordHandle(form));
    return m_handles.emplace(word, std::move(handles)).first->second;
}

void CSearchIndexBuilder::AddPage(std::string_view path, std::string_view text)
{
    m_words.clear();
    SplitSearchWords(text, m_words);
    const std::uint32_t nDoc =
        m_writer.AddDocument(path, static_cast<std::uint32_t>(m_words.size()));
    m_paths.emplace_back(path);
    for (std::size_t i = 0; i < m_words.size(); ++i)
        for (const std::uint32_t nHandle : WordHandles(m_words[i]))
            m_writer.AddOccurrence(nHandle, nDoc, static_cast<std::uint32_t>(i));
}

bool CSearchIndexBuilder::Save(const std::string& strFolder, CPublishReport& report)
{
    if (!m_writer.Save(strFolder))
    {
        report.Error(strFolder, 0, "the full-text index cannot be written");
        return false;
    }
    const auto& statistics = m_writer.Statistics();
    const auto path = [&](std::uint32_t nDoc) {
        return nDoc >= 1 && nDoc <= m_paths.size() ? m_paths[nDoc - 1] : std::string("?");
    };
    for (const auto& [nDoc, nWords] : statistics.m_longDocuments)
        report.Warning(path(nDoc), 0,
                       "has " + std::to_string(nWords) + " words; the index counts it as 65535");
    for (const auto& [nDoc, words] : statistics.m_cutDocuments)
    {
        std::string strWords;
        for (std::size_t i = 0; i < words.size() && i < 10; ++i)
            strWords += (i ? ", " : "") + words[i];
        if (words.size() > 10)
            strWords += " and " + std::to_string(words.size() - 10) + " more";
        report.Warning(path(nDoc), 0,
                       "some occurrences lie more than 65535 words past the one "
                       "before and are not indexed: " +
                           strWords);
    }
    for (const auto& [word, nDropped] : statistics.m_overfullWords)
        report.Warning("index", 0,
                       "\"" + word + "\" is in more documents than one index entry holds; " +
                           std::to_string(nDropped) +
                           " documents where it weighs least are not indexed under it");
    report.Note("full-text index: " + std::to_string(m_paths.size()) + " documents, " +
                std::to_string(statistics.m_nWords) + " words, " +
                std::to_string(statistics.m_nOccurrences) + " occurrences" +
                (statistics.m_nBridgeEntries
                     ? ", " + std::to_string(statistics.m_nBridgeEntries) + " bridging entries"
                     : std::string()));
    return true;
}

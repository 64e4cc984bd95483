#pragma once

// The prompt lookup done the plain way, to check the registry's indexed
// lookup against: a map of every word (folded, "ё" as "е") to the sorted set
// of the texts of the phrases holding it, and a scan of every word of the map
// for the last typed word's prefix, folded.
#include "MorphoSearch.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SearchUtils.h"
#include "TextUtils.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

class CPromptScanReference
{
public:
    CPromptScanReference(const CSearchRegistry& registry, const CSearchPrompt2Manager* pPrompts,
                         CMorphoSearch* pMorpho)
        : m_pMorpho(pMorpho)
    {
        for (const RegistrySection& section : registry.GetSections())
            for (const RegistryPhrase& phrase : section.phrases)
                Add(phrase);
        if (pPrompts)
            for (const auto& entry : pPrompts->GetPrompts())
                Add(entry.second);
    }

    std::vector<std::string> GetSearchPrompts(std::string_view text)
    {
        const std::vector<std::string> words = SplitSearchString(CTextUtils::ToLower(text));
        Utf16StringSet result;
        for (std::size_t i = 0; i < words.size(); ++i)
        {
            // The forms of the word and of its fold.
            std::vector<std::string> forms;
            if (m_pMorpho)
                for (const std::string& spelling : {words[i], FoldYo(words[i])})
                    for (const std::string& form : m_pMorpho->GetAllForms(spelling))
                        forms.push_back(form);
            if (forms.empty())
                forms.push_back(words[i]);
            Utf16StringSet candidates;
            for (const std::string& form : forms)
                if (const auto it = m_map.find(FoldYo(form)); it != m_map.end())
                    candidates.insert(it->second.begin(), it->second.end());
            if (i + 1 == words.size())
                for (const auto& [key, texts] : m_map)
                    if (key.starts_with(FoldYo(words[i])))
                        candidates.insert(texts.begin(), texts.end());
            if (i == 0)
                result = std::move(candidates);
            else
                std::erase_if(result,
                              [&](const std::string& t) { return !candidates.contains(t); });
        }
        return {result.begin(), result.end()};
    }

private:
    void Add(const RegistryPhrase& phrase)
    {
        for (const std::string& word : phrase.words)
            m_map[FoldYo(word)].insert(phrase.text);
    }

    CMorphoSearch* m_pMorpho;
    std::map<std::string, Utf16StringSet> m_map;
};

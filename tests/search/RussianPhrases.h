#pragma once

// Registry phrases made of real Russian words, the same for every run: each
// phrase is two to five forms of hunspell-ru entries (the words the
// morphology dictionary is built from), drawn with Zipf weights from a
// vocabulary of every n-th entry, with a short function word now and then,
// the first letter a capital as in a heading.
#include "Cipher.h"
#include "HunspellDictionary.h"
#include "TextUtils.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

struct CRussianPhrases
{
    std::vector<std::string> m_registry; // for the registry, filed by first letter
    std::vector<std::string> m_prompts;  // for the prompt list

    // False when the dictionary cannot be read.
    bool Make(const std::string& strHunspellBase, std::size_t nPhrases, std::size_t nVocabularyStep,
              unsigned nSeed)
    {
        CHunspellDictionary dictionary;
        if (!dictionary.Load(strHunspellBase + ".aff", strHunspellBase + ".dic"))
            return false;
        std::vector<std::vector<std::string>> vocabulary;
        for (std::size_t i = 0; i < dictionary.EntryCount(); i += nVocabularyStep)
        {
            std::vector<std::string> forms;
            for (const std::string& form : dictionary.ExpandEntry(i))
                if (form.find_first_of("<>&\"") == std::string::npos)
                    forms.push_back(CTextUtils::ToLower(form));
            if (forms.empty())
                continue;
            std::sort(forms.begin(), forms.end());
            forms.erase(std::unique(forms.begin(), forms.end()), forms.end());
            vocabulary.push_back(std::move(forms));
        }
        std::mt19937 random(nSeed);
        std::shuffle(vocabulary.begin(), vocabulary.end(), random);
        std::vector<double> weights;
        for (std::size_t i = 0; i < vocabulary.size(); ++i)
            weights.push_back(1.0 / static_cast<double>(i + 1));
        std::discrete_distribution<std::size_t> pickEntry(weights.begin(), weights.end());
        std::uniform_int_distribution<std::size_t> pickLength(2, 5), pickPercent(0, 99);
        static const char* const kLinks[] = {"и", "в", "на", "по",  "для", "при",
                                             "с", "о", "от", "без", "к"};
        std::uniform_int_distribution<std::size_t> pickLink(0, std::size(kLinks) - 1);
        for (std::size_t n = 0; n < nPhrases; ++n)
        {
            std::string text;
            for (std::size_t nWord = pickLength(random); nWord > 0; --nWord)
            {
                if (!text.empty())
                    text += ' ';
                if (!text.empty() && pickPercent(random) < 25)
                    text += kLinks[pickLink(random)];
                else
                {
                    const auto& forms = vocabulary[pickEntry(random)];
                    text += forms[std::uniform_int_distribution<std::size_t>(0, forms.size() -
                                                                                    1)(random)];
                }
            }
            (pickPercent(random) < 90 ? m_registry : m_prompts).push_back(Capitalise(text));
        }
        return true;
    }

    // The registry file's text: a section per first letter.
    std::string RegistryXml() const
    {
        std::map<std::string, std::string> sections;
        for (const std::string& text : m_registry)
            sections[FirstLetter(text)] +=
                "<word text=\"" + text + "\"><link site_url=\"/r.html\"/></word>";
        std::string xml = "<search_registry>";
        for (const auto& [name, words] : sections)
            xml += "<section name=\"" + name + "\">" + words + "</section>";
        return xml + "</search_registry>";
    }

    std::string PromptsXml() const
    {
        std::string xml = "<prompts>";
        for (const std::string& text : m_prompts)
            xml += "<prompt text=\"" + text + "\"><link site_url=\"/p.html\"/></prompt>";
        return xml + "</prompts>";
    }

    static bool WriteEnciphered(const std::string& strPath, std::string text)
    {
        CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
        std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
        if (!pFile)
            return false;
        const bool bWritten = std::fwrite(text.data(), 1, text.size(), pFile) == text.size();
        return std::fclose(pFile) == 0 && bWritten;
    }

private:
    static std::string FirstLetter(const std::string& text)
    {
        std::size_t nPos = 0;
        std::string letter;
        CTextUtils::AppendUtf8(letter, CTextUtils::DecodeNext(text, nPos));
        return letter;
    }

    static std::string Capitalise(const std::string& text)
    {
        std::size_t nPos = 0;
        char32_t ch = CTextUtils::DecodeNext(text, nPos);
        if (ch >= U'а' && ch <= U'я')
            ch -= 0x20;
        else if (ch == U'ё')
            ch = U'Ё';
        std::string result;
        CTextUtils::AppendUtf8(result, ch);
        return result + text.substr(nPos);
    }
};

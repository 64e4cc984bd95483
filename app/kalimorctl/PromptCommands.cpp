#include "CtlContext.h"
#include "Logger.h"
#include "MorphoSearch.h"
#include "ProfileConfig.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SynonymsSearch.h"
#include "TextUtils.h"

#include <nlohmann/json.hpp>

#include <array>
#include <iostream>

namespace
{
int RunPrompts(CCtlContext& context);
int RunRegistry(CCtlContext& context);

constexpr std::array<CCtlCommand, 2> kCommands{{
    {"prompts", "[--json] TEXT...",
     "what the search box prompts for a text (words joined by blanks)", RunPrompts},
    {"registry", "[--json] [LETTER]", "the search registry by letter: sections and phrases",
     RunRegistry},
}};

// The search data as the client loads it at start: the registry, the
// synonyms, the prompt list and the morphology, each part left empty (with
// the client's log line) when it cannot be read.
struct CPromptData
{
    CMorphoSearch m_morpho;
    CSearchPrompt2Manager m_prompts;
    CSynonymsSearch m_synonyms;
    CSearchRegistry m_registry{&m_morpho, &m_prompts};
    bool m_bRegistry = false;
    bool m_bPrompts = false;

    explicit CPromptData(const CProfileConfig& config) : m_morpho(config.m_strMorphologyDirPath)
    {
        m_bRegistry = m_registry.LoadData(config.m_strSearchRegistryPath);
        if (!m_bRegistry)
        {
            KLOG_WARN << "Can't load search registry";
            m_registry.FreeData();
        }
        if (!m_synonyms.LoadData(config.m_strSynonymsPath))
        {
            KLOG_WARN << "Can't load synonyms";
            m_synonyms.FreeData();
        }
        m_bPrompts = m_prompts.LoadData(config.m_strSearchPrompts2Path);
        if (!m_bPrompts)
        {
            KLOG_WARN << "Can't load search prompts2";
            m_prompts.FreeData();
        }
        if (!m_morpho.LoadData())
        {
            KLOG_WARN << "Can't load morpho dictionaries";
            m_morpho.FreeData();
        }
        std::vector<std::string> none;
        m_registry.GetSearchPrompts("", none);
    }
};

int RunPrompts(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.empty())
        return CtlUsageError(kCommands[0], "expects the text typed in the search box");
    std::string strText;
    for (const std::string& arg : context.m_args)
        strText += (strText.empty() ? "" : " ") + arg;
    const CProfileConfig config = CtlLoadProfile(context);
    CPromptData data(config);
    if (!data.m_bRegistry && !data.m_bPrompts)
        return CtlFail("cannot load the search registry " + config.m_strSearchRegistryPath +
                       " or the prompt list " + config.m_strSearchPrompts2Path);
    std::vector<std::string> prompts;
    GetSearchBoxPrompts(data.m_synonyms, data.m_registry, strText, prompts);
    if (context.m_bJson)
        std::cout << nlohmann::ordered_json{{"text", strText}, {"prompts", prompts}}.dump() << "\n";
    else
        for (const std::string& prompt : prompts)
            std::cout << prompt << "\n";
    return CTL_OK;
}

char32_t FirstLetter(std::string_view text)
{
    std::size_t nPos = 0;
    return CTextUtils::DecodeNext(text, nPos);
}

std::string LetterText(char32_t letter)
{
    std::string text;
    CTextUtils::AppendUtf8(text, letter);
    return text;
}

nlohmann::ordered_json SectionJson(const RegistrySection& section)
{
    nlohmann::ordered_json phrases = nlohmann::ordered_json::array();
    for (const RegistryPhrase& phrase : section.phrases)
        phrases.push_back({{"text", phrase.text}, {"links", phrase.links}});
    nlohmann::ordered_json subsections = nlohmann::ordered_json::array();
    for (const RegistrySection& subsection : section.subsections)
        subsections.push_back(SectionJson(subsection));
    return {{"name", section.name}, {"phrases", phrases}, {"subsections", subsections}};
}

void PrintSection(const RegistrySection& section, std::size_t nDepth)
{
    const std::string strIndent(2 * nDepth, ' ');
    std::cout << strIndent << "[" << section.name << "]\n";
    for (const RegistryPhrase& phrase : section.phrases)
    {
        std::cout << strIndent << "  " << phrase.text;
        for (std::size_t i = 0; i < phrase.links.size(); ++i)
            std::cout << (i == 0 ? " -> " : ", ") << phrase.links[i];
        std::cout << "\n";
    }
    for (const RegistrySection& subsection : section.subsections)
        PrintSection(subsection, nDepth + 1);
}

int RunRegistry(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.size() > 1)
        return CtlUsageError(kCommands[1], "expects at most one letter");
    std::vector<char32_t> letters;
    if (!context.m_args.empty())
    {
        const std::u32string letter = CTextUtils::ToUtf32(context.m_args[0]);
        if (letter.size() != 1)
            return CtlUsageError(kCommands[1], "the letter must be one character");
        letters.push_back(letter[0]);
    }
    const CProfileConfig config = CtlLoadProfile(context);
    CSearchRegistry registry;
    if (!registry.LoadData(config.m_strSearchRegistryPath))
        return CtlFail("cannot load the search registry " + config.m_strSearchRegistryPath);
    if (letters.empty())
    {
        // Every letter that files a top-level section, in UTF-16 order.
        Utf16StringSet names;
        for (const RegistrySection& section : registry.GetSections())
            names.insert(LetterText(FirstLetter(section.name)));
        for (const std::string& name : names)
            letters.push_back(FirstLetter(name));
    }
    nlohmann::ordered_json lettersJson = nlohmann::ordered_json::array();
    for (const char32_t letter : letters)
    {
        nlohmann::ordered_json sections = nlohmann::ordered_json::array();
        if (!context.m_bJson)
            std::cout << LetterText(letter) << "\n";
        for (const RegistrySection& section : registry.GetSections())
        {
            if (FirstLetter(section.name) != letter)
                continue;
            if (context.m_bJson)
                sections.push_back(SectionJson(section));
            else
                PrintSection(section, 1);
        }
        lettersJson.push_back({{"letter", LetterText(letter)}, {"sections", sections}});
    }
    if (context.m_bJson)
        std::cout << nlohmann::ordered_json{{"letters", lettersJson}}.dump() << "\n";
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetPromptCommands()
{
    return kCommands;
}

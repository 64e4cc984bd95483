#include "SearchRegistry.h"

#include "Logger.h"
#include "MorphoSearch.h"
#include "SearchPrompt2Manager.h"
#include "SearchUtils.h"
#include "SynonymsSearch.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace
{
bool BeginsWith(std::string_view text, char32_t letter)
{
    std::size_t nPos = 0;
    return !text.empty() && CTextUtils::DecodeNext(text, nPos) == letter;
}

// A letter lower-cased and folded ("ё" to "е").
char32_t FoldedLower(char32_t ch)
{
    return FoldYo(CTextUtils::ToLower(ch));
}

// The texts lower-cased and folded are equal.
bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    std::size_t nA = 0, nB = 0;
    while (nA < a.size() && nB < b.size())
        if (FoldedLower(CTextUtils::DecodeNext(a, nA)) !=
            FoldedLower(CTextUtils::DecodeNext(b, nB)))
            return false;
    return nA == a.size() && nB == b.size();
}

// The sections as the registry is read, built in the open elements' frames
// and filed into their parent as each element ends (known when an element at
// its depth or above starts, or the file ends).
class CRegistryReader
{
public:
    CRegistryReader() { m_open.push_back({EKind::Root, {}}); }

    bool OnElement(xmlTextReader* pReader, int nDepth)
    {
        while (m_open.size() > static_cast<std::size_t>(nDepth))
            CloseLast();
        const EKind parent = m_open.back().m_kind;
        const std::string_view tag = CXMLUtils::GetReaderTagName(pReader);
        EKind kind = EKind::Skipped;
        RegistrySection section;
        if ((parent == EKind::Root || parent == EKind::Section) && tag == "section")
        {
            // A section without a name goes with everything in it.
            section.name = Attribute(pReader, "name");
            if (!section.name.empty())
                kind = EKind::Section;
        }
        else if (parent == EKind::Section && tag == "word")
        {
            std::string strText = Attribute(pReader, "text");
            if (!strText.empty())
            {
                m_open.back().m_section.phrases.push_back(MakeRegistryPhrase(std::move(strText)));
                kind = EKind::Word;
            }
        }
        else if (parent == EKind::Word)
        {
            // Any child of a phrase is a link; one without an address is empty.
            m_open[m_open.size() - 2].m_section.phrases.back().links.push_back(
                Attribute(pReader, "site_url"));
        }
        m_open.push_back({kind, std::move(section)});
        return true;
    }

    std::vector<RegistrySection> Finish()
    {
        while (m_open.size() > 1)
            CloseLast();
        return std::move(m_sections);
    }

private:
    enum class EKind
    {
        Root,
        Section, // m_section is being filled
        Word,    // the last phrase of the section below it takes links
        Skipped, // with everything in it
    };
    struct SOpen
    {
        EKind m_kind;
        RegistrySection m_section;
    };

    static std::string Attribute(xmlTextReader* pReader, const char* szName)
    {
        std::string strValue;
        CXMLUtils::GetReaderAttribute(pReader, szName, strValue);
        return strValue;
    }

    void CloseLast()
    {
        SOpen last = std::move(m_open.back());
        m_open.pop_back();
        if (last.m_kind != EKind::Section)
            return;
        std::stable_sort(last.m_section.phrases.begin(), last.m_section.phrases.end(),
                         [](const RegistryPhrase& a, const RegistryPhrase& b) {
                             return Utf16Less()(a.text, b.text);
                         });
        SOpen& parent = m_open.back();
        (parent.m_kind == EKind::Root ? m_sections : parent.m_section.subsections)
            .push_back(std::move(last.m_section));
    }

    std::vector<SOpen> m_open; // by depth, the root's first
    std::vector<RegistrySection> m_sections;
};

CSearchPromptMap BuildPromptMap(const std::vector<RegistrySection>& sections,
                                const CSearchPrompt2Manager::PromptMap* pPrompts)
{
    std::vector<const RegistryPhrase*> phrases;
    for (const RegistrySection& section : sections)
        for (const RegistryPhrase& phrase : section.phrases)
            phrases.push_back(&phrase);
    if (pPrompts)
        for (const auto& [text, phrase] : *pPrompts)
            phrases.push_back(&phrase);
    CSearchPromptMap map;
    map.Build(phrases);
    return map;
}
} // namespace

CSearchRegistry::CSearchRegistry(CMorphoSearch* pMorpho, const CSearchPrompt2Manager* pPrompts)
    : m_pMorpho(pMorpho),
      m_pPrompts(pPrompts)
{
}

CSearchRegistry::~CSearchRegistry()
{
    WaitForPromptBuild();
}

bool CSearchRegistry::LoadData(const std::string& strPath)
{
    KTRACE("CSearchRegistry::LoadData");
    FreeData();
    KLOG_DEBUG << "CSearchRegistry::LoadData filename: " << strPath;
    // Built aside and taken whole: a registry that fails adds nothing.
    CRegistryReader reader;
    if (!CXMLUtils::ReadCatalogue(
            strPath,
            {"search_registry", "Can't load search registry", "Search registry invalid format"},
            CXMLUtils::ETextAmongElements::Skipped, [&reader](xmlTextReader* pReader, int nDepth) {
                return reader.OnElement(pReader, nDepth);
            }))
        return false;
    m_sections = reader.Finish();
    return true;
}

void CSearchRegistry::FreeData()
{
    WaitForPromptBuild();
    m_sections.clear();
    m_promptMap.Clear();
}

const RegistrySection* CSearchRegistry::GetFirstSection(char32_t letter) const
{
    for (const RegistrySection& section : m_sections)
        if (BeginsWith(section.name, letter))
            return &section;
    return nullptr;
}

std::size_t CSearchRegistry::CountSectionsForLetter(char32_t letter) const
{
    return static_cast<std::size_t>(
        std::count_if(m_sections.begin(), m_sections.end(),
                      [letter](const RegistrySection& s) { return BeginsWith(s.name, letter); }));
}

std::vector<const RegistryPhrase*> CSearchRegistry::GetPhrases(const RegistrySection& section) const
{
    std::vector<const RegistryPhrase*> phrases;
    phrases.reserve(section.phrases.size());
    for (const RegistryPhrase& phrase : section.phrases)
        phrases.push_back(&phrase);
    return phrases;
}

std::vector<const RegistryPhrase*> CSearchRegistry::GetPhrases(char32_t letter) const
{
    std::vector<const RegistryPhrase*> phrases;
    for (const RegistrySection& section : m_sections)
        for (const RegistryPhrase& phrase : section.phrases)
            if (BeginsWith(phrase.text, letter))
                phrases.push_back(&phrase);
    return phrases;
}

const RegistryPhrase* CSearchRegistry::FindPhrase(std::string_view text) const
{
    for (const RegistrySection& section : m_sections)
        for (const RegistryPhrase& phrase : section.phrases)
            if (EqualsIgnoringCase(phrase.text, text))
                return &phrase;
    return nullptr;
}

void CSearchRegistry::BuildSearchPromptMap()
{
    KTRACE("CSearchRegistry::BuildSearchPromptMap");
    WaitForPromptBuild();
    m_promptMap = BuildPromptMap(m_sections, m_pPrompts ? &m_pPrompts->GetPrompts() : nullptr);
}

void CSearchRegistry::StartBuildingSearchPromptMap()
{
    KTRACE("CSearchRegistry::StartBuildingSearchPromptMap");
    WaitForPromptBuild();
    m_promptMap.Clear();
    auto pPrompts = m_pPrompts ? m_pPrompts->SharePrompts() : nullptr;
    try
    {
        m_promptBuild = std::async(std::launch::async,
                                   [&sections = m_sections, pPrompts = std::move(pPrompts)] {
                                       return BuildPromptMap(sections, pPrompts.get());
                                   });
    }
    catch (const std::system_error& error)
    {
        KLOG_WARN << "CSearchRegistry: no thread to build the prompt map (" << error.what()
                  << "), it is built on first use";
    }
}

bool CSearchRegistry::IsSearchPromptMapReady() const
{
    return !m_promptBuild.valid() ||
           m_promptBuild.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

void CSearchRegistry::WaitForPromptBuild()
{
    if (!m_promptBuild.valid())
        return;
    m_promptBuild.wait();
    m_promptBuild = {};
}

std::vector<std::string> CSearchRegistry::GetForms(const std::string& word) const
{
    // The forms of the word and of its fold, folded as the map's words are.
    std::vector<std::string> forms;
    if (m_pMorpho)
    {
        forms = m_pMorpho->GetAllForms(word);
        if (HasYo(word))
        {
            std::vector<std::string> more = m_pMorpho->GetAllForms(FoldYo(word));
            forms.insert(forms.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
        }
    }
    if (forms.empty())
        forms.push_back(word);
    for (std::string& form : forms)
        FoldYoInPlace(form);
    return forms;
}

bool CSearchRegistry::FindPrompts(std::string_view text)
{
    if (m_promptBuild.valid())
        m_promptMap = m_promptBuild.get();
    if (m_promptMap.IsEmpty())
        BuildSearchPromptMap();
    std::vector<std::string> words = SplitSearchString(CTextUtils::ToLower(text));
    if (words.empty())
        return false;
    // A phrase is prompted when it holds some form of every word; the word
    // being typed (the last) also counts when it begins a word of the phrase.
    m_result.Reset(m_promptMap.TextCount());
    for (std::size_t i = 0; i < words.size(); ++i)
    {
        CPromptIdSet& candidates = i == 0 ? m_result : m_candidates;
        if (i > 0)
            candidates.Reset(m_promptMap.TextCount());
        for (const std::string& form : GetForms(words[i]))
            m_promptMap.AddWord(form, candidates);
        if (i + 1 == words.size())
        {
            // Compared folded, as the map keeps its words.
            FoldYoInPlace(words[i]);
            m_promptMap.AddWordsWithPrefix(words[i], candidates);
        }
        if (i > 0)
            m_result.IntersectWith(candidates);
        if (m_result.IsEmpty())
            return false; // later words cannot bring anything back
    }
    return true;
}

template <typename Text>
void CSearchRegistry::AppendPrompts(std::string_view text, std::vector<Text>& prompts)
{
    if (!FindPrompts(text))
        return;
    // Room for all at once, still growing geometrically when a set of texts
    // appends to one list many times.
    const std::size_t nNeeded = prompts.size() + m_result.Count();
    if (nNeeded > prompts.capacity())
        prompts.reserve(std::max(nNeeded, 2 * prompts.capacity()));
    m_result.ForEach([&](std::uint32_t nId) { prompts.emplace_back(m_promptMap.GetText(nId)); });
}

void CSearchRegistry::GetSearchPrompts(std::string_view text, std::vector<std::string>& prompts)
{
    AppendPrompts(text, prompts);
}

void CSearchRegistry::GetSearchPrompts(std::string_view text,
                                       std::vector<std::string_view>& prompts)
{
    AppendPrompts(text, prompts);
}

void CSearchRegistry::GetSearchPrompts(const Utf16StringSet& texts,
                                       std::vector<std::string>& prompts)
{
    for (const std::string& text : texts)
        AppendPrompts(text, prompts);
}

void CSearchRegistry::GetSearchPrompts(const Utf16StringSet& texts,
                                       std::vector<std::string_view>& prompts)
{
    for (const std::string& text : texts)
        AppendPrompts(text, prompts);
}

namespace
{
template <typename Text>
void AppendSearchBoxPrompts(const CSynonymsSearch& synonyms, CSearchRegistry& registry,
                            std::string_view text, std::vector<Text>& prompts)
{
    // Head words are stored lower-case and prompts are found for the text
    // lower-cased, so synonyms are looked up as typed and lower-cased alike:
    // "НДС" prompts what "ндс" does.
    Utf16StringSet texts = synonyms.GetSynonyms(text);
    texts.merge(synonyms.GetSynonyms(CTextUtils::ToLower(text)));
    texts.emplace(text);
    registry.GetSearchPrompts(texts, prompts);
}
} // namespace

void GetSearchBoxPrompts(const CSynonymsSearch& synonyms, CSearchRegistry& registry,
                         std::string_view text, std::vector<std::string>& prompts)
{
    AppendSearchBoxPrompts(synonyms, registry, text, prompts);
}

void GetSearchBoxPrompts(const CSynonymsSearch& synonyms, CSearchRegistry& registry,
                         std::string_view text, std::vector<std::string_view>& prompts)
{
    AppendSearchBoxPrompts(synonyms, registry, text, prompts);
}

#pragma once

#include "RegistryPhrase.h"
#include "SearchPromptMap.h"
#include "Utf16Order.h"

#include <future>
#include <string>
#include <string_view>
#include <vector>

class CMorphoSearch;
class CSearchPrompt2Manager;
class CSynonymsSearch;

// The search registry ("registry2.dat", enciphered XML): an alphabetical
// subject index of sections filed by the first letter of their names, each
// holding phrases with the links of the documents they point to. Sections may
// nest; nested ones are stored but every lookup reads top-level sections only.
//
// It also prompts phrases while the user types: the words of its phrases and
// of the prompt list map to the phrases holding them, built on first use or
// ahead of it on a worker thread.
class CSearchRegistry
{
public:
    // The morphology widens typed words to all their forms; the prompt list
    // adds its phrases to the prompts. Either may be null: words then match
    // as typed, and only registry phrases are prompted.
    explicit CSearchRegistry(CMorphoSearch* pMorpho = nullptr,
                             const CSearchPrompt2Manager* pPrompts = nullptr);
    // Waits for a prompt map still being built.
    ~CSearchRegistry();
    CSearchRegistry(const CSearchRegistry&) = delete;
    CSearchRegistry& operator=(const CSearchRegistry&) = delete;

    // False when the file cannot be read or has another root, and then
    // nothing is loaded.
    bool LoadData(const std::string& strPath);
    // Empties the sections and the prompt map.
    void FreeData();

    const std::vector<RegistrySection>& GetSections() const { return m_sections; }
    // The first section whose name begins with the letter (case counts), or null.
    const RegistrySection* GetFirstSection(char32_t letter) const;
    std::size_t CountSectionsForLetter(char32_t letter) const;
    std::vector<const RegistryPhrase*> GetPhrases(const RegistrySection& section) const;
    // Every phrase whose text begins with the letter (case counts), sections
    // in order, phrases in order.
    std::vector<const RegistryPhrase*> GetPhrases(char32_t letter) const;
    // The first phrase of that text, ignoring case, or null.
    const RegistryPhrase* FindPhrase(std::string_view text) const;

    void BuildSearchPromptMap();
    // Builds the prompt map on a worker thread from the sections and the
    // prompt list as they are now; the first lookup takes it, waiting only if
    // it is not done. A load or a release of the registry waits for it first;
    // the prompt list may be loaded or released meanwhile (the build keeps the
    // list it started with). Without a thread the map is built on first use.
    void StartBuildingSearchPromptMap();
    // No build is running: a lookup now would not wait.
    bool IsSearchPromptMapReady() const;
    // Appends the phrases that hold some form of every typed word, the last
    // word also completed as a prefix, in UTF-16 order of their texts. Takes
    // the map being built (waiting for it) or builds it first when it is
    // empty (an empty text only does that).
    void GetSearchPrompts(std::string_view text, std::vector<std::string>& prompts);
    // The same for each text in turn; a phrase may then appear more than once.
    void GetSearchPrompts(const Utf16StringSet& texts, std::vector<std::string>& prompts);
    // The same without copying the texts: the views stay valid until the
    // registry is freed or loaded, or the prompt map is built again. A list
    // of thousands of prompts costs no allocation per prompt this way.
    void GetSearchPrompts(std::string_view text, std::vector<std::string_view>& prompts);
    void GetSearchPrompts(const Utf16StringSet& texts, std::vector<std::string_view>& prompts);

private:
    // Ends a running build, its map dropped.
    void WaitForPromptBuild();
    std::vector<std::string> GetForms(const std::string& word) const;
    // Leaves the prompts of the text in m_result; false when there are none.
    bool FindPrompts(std::string_view text);
    template <typename Text> void AppendPrompts(std::string_view text, std::vector<Text>& prompts);

    CMorphoSearch* m_pMorpho;
    const CSearchPrompt2Manager* m_pPrompts;
    std::vector<RegistrySection> m_sections;
    CSearchPromptMap m_promptMap;
    // The map being built on a worker, which reads m_sections: they are not
    // changed while it is valid.
    std::future<CSearchPromptMap> m_promptBuild;
    // Scratch sets of one prompt lookup, kept to spare allocations.
    CPromptIdSet m_result;
    CPromptIdSet m_candidates;
};

// What the search box lists for its text: the prompts of each of the text's
// synonyms and of the text itself, taken in UTF-16 order as one set of texts.
void GetSearchBoxPrompts(const CSynonymsSearch& synonyms, CSearchRegistry& registry,
                         std::string_view text, std::vector<std::string>& prompts);
void GetSearchBoxPrompts(const CSynonymsSearch& synonyms, CSearchRegistry& registry,
                         std::string_view text, std::vector<std::string_view>& prompts);

// Feeds arbitrary text to the synonyms, registry and prompt-list loaders (as
// an enciphered content file, read through the deciphering stream), then
// looks prompts up for texts taken from what was loaded and checks the
// registry's indexed lookup against the plain scan of every word.
#include "Cipher.h"
#include "FuzzSearchSupport.h"
#include "PromptScanReference.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SynonymsSearch.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

// A text and its first half, as typed on the way to it.
void AddTexts(std::vector<std::string>& texts, const std::string& text)
{
    if (texts.size() >= 40)
        return;
    const std::u32string chars = CTextUtils::ToUtf32(text);
    texts.push_back(text);
    texts.push_back(CTextUtils::FromUtf32(chars.substr(0, (chars.size() + 1) / 2)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static CFuzzFolder folder;
    std::string bytes(reinterpret_cast<const char*>(pData), nSize);
    CipherBuffer(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    folder.Write("catalogue.dat", {}, bytes);
    const std::string strPath = folder.Path() + "/catalogue.dat";

    CSynonymsSearch synonyms;
    CSearchPrompt2Manager prompts;
    CSearchRegistry registry(nullptr, &prompts);
    synonyms.LoadData(strPath);
    prompts.LoadData(strPath);
    registry.LoadData(strPath);

    std::vector<std::string> texts = {"", "а", "н", "1"};
    for (const RegistrySection& section : registry.GetSections())
    {
        registry.GetFirstSection(CTextUtils::ToUtf32(section.name).at(0));
        for (const RegistryPhrase& phrase : section.phrases)
        {
            Check(registry.FindPhrase(phrase.text) != nullptr);
            AddTexts(texts, phrase.text);
        }
    }
    for (const auto& [text, phrase] : prompts.GetPrompts())
        AddTexts(texts, text);

    CPromptScanReference reference(registry, &prompts, nullptr);
    for (const std::string& text : texts)
    {
        std::vector<std::string> found;
        registry.GetSearchPrompts(text, found);
        Check(found == reference.GetSearchPrompts(text));
        std::vector<std::string_view> views;
        GetSearchBoxPrompts(synonyms, registry, text, views);
    }
    return 0;
}

#pragma once

#include "RegistryPhrase.h"
#include "Utf16Order.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

// The flat list of prompt phrases with their links ("search_prompts2.dat",
// enciphered XML): every child of the root is a prompt with a "text"
// attribute and "link" children carrying "site_url". The search box prompts
// them beside the registry's phrases; a chosen prompt that is not a registry
// phrase is resolved here.
class CSearchPrompt2Manager
{
public:
    using PromptMap = std::map<std::string, RegistryPhrase, Utf16Less>;

    // False when the file cannot be read, and then nothing is loaded. A prompt
    // without "text" is skipped, and so is a link without "site_url"; of two
    // prompts with one text the first is kept.
    bool LoadData(const std::string& strPath);
    void FreeData();

    const PromptMap& GetPrompts() const { return *m_pPrompts; }
    // The prompts as loaded now, for a reader on another thread: a loaded
    // list is never changed, and a load or a release after this leaves the
    // shared one to whoever still holds it.
    std::shared_ptr<const PromptMap> SharePrompts() const { return m_pPrompts; }
    // The prompt of exactly this text, or null.
    const RegistryPhrase* FindPrompt(std::string_view text) const;

private:
    std::shared_ptr<const PromptMap> m_pPrompts = std::make_shared<const PromptMap>();
};

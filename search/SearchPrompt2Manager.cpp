#include "SearchPrompt2Manager.h"

#include "Logger.h"
#include "XMLUtils.h"

namespace
{
// The prompts as the catalogue is read: each child of the root starts one,
// each "link" child of a prompt adds to it.
class CPromptReader
{
public:
    bool OnElement(xmlTextReader* pReader, int nDepth)
    {
        if (nDepth == 1)
            StartPrompt(pReader);
        else if (nDepth == 2 && m_bInPrompt && CXMLUtils::GetReaderTagName(pReader) == "link")
            AddLink(pReader);
        return true;
    }

    CSearchPrompt2Manager::PromptMap& Prompts() { return m_prompts; }

private:
    // One broken prompt costs only itself, not the prompts after it.
    void StartPrompt(xmlTextReader* pReader)
    {
        m_pPhrase = nullptr;
        std::string strText;
        m_bInPrompt = CXMLUtils::GetReaderAttribute(pReader, "text", strText);
        if (!m_bInPrompt)
        {
            KLOG_ERR << "CSearchPrompt2Manager::LoadSearchPrompt2 can't get node attribute";
            return;
        }
        // The links of a prompt without text, or of a second one with a text,
        // are read (and complained of) but kept nowhere.
        if (strText.empty())
            return;
        const auto [it, bNew] = m_prompts.try_emplace(strText);
        if (!bNew)
            return;
        it->second = MakeRegistryPhrase(std::move(strText));
        m_pPhrase = &it->second;
    }

    void AddLink(xmlTextReader* pReader)
    {
        std::string strURL;
        if (!CXMLUtils::GetReaderAttribute(pReader, "site_url", strURL))
        {
            KLOG_ERR << "CSearchPrompt2Manager::LoadSearchPrompt2 can't get node attribute";
            return;
        }
        if (m_pPhrase)
            m_pPhrase->links.push_back(std::move(strURL));
    }

    CSearchPrompt2Manager::PromptMap m_prompts;
    bool m_bInPrompt = false;
    RegistryPhrase* m_pPhrase = nullptr; // the prompt its links go to, if kept
};
} // namespace

bool CSearchPrompt2Manager::LoadData(const std::string& strPath)
{
    KTRACE("CSearchPrompt2Manager::LoadData");
    FreeData();
    KLOG_DEBUG << "CSearchPrompt2Manager filename: " << strPath;
    // Built aside and taken whole: a catalogue that fails adds nothing.
    CPromptReader reader;
    if (!CXMLUtils::ReadCatalogue(strPath, {{}, "Can't load search prompts", {}},
                                  CXMLUtils::ETextAmongElements::Skipped,
                                  [&reader](xmlTextReader* pReader, int nDepth) {
                                      return reader.OnElement(pReader, nDepth);
                                  }))
        return false;
    m_pPrompts = std::make_shared<const PromptMap>(std::move(reader.Prompts()));
    return true;
}

void CSearchPrompt2Manager::FreeData()
{
    if (!m_pPrompts->empty())
        m_pPrompts = std::make_shared<const PromptMap>();
}

const RegistryPhrase* CSearchPrompt2Manager::FindPrompt(std::string_view text) const
{
    const auto it = m_pPrompts->find(text);
    return it != m_pPrompts->end() ? &it->second : nullptr;
}

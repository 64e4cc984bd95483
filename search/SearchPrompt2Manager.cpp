#include "SearchPrompt2Manager.h"

#include "Logger.h"
#include "XMLUtils.h"

bool CSearchPrompt2Manager::LoadData(const std::string& strPath)
{
    KTRACE("CSearchPrompt2Manager::LoadData");
    FreeData();
    KLOG_DEBUG << "CSearchPrompt2Manager filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadCatalogue(strPath, {{}, "Can't load search prompts", {}}, doc, pRoot))
        return false;
    return LoadSearchPrompt2Vec(pRoot);
}

void CSearchPrompt2Manager::FreeData()
{
    m_prompts.clear();
}

const RegistryPhrase* CSearchPrompt2Manager::FindPrompt(std::string_view text) const
{
    const auto it = m_prompts.find(text);
    return it != m_prompts.end() ? &it->second : nullptr;
}

bool CSearchPrompt2Manager::LoadSearchPrompt2Vec(const xmlNode* pRoot)
{
    if (!pRoot)
    {
        KLOG_ERR << "CSearchPrompt2Manager::LoadSearchPrompt2Vec received null argument";
        return false;
    }
    for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        // One broken prompt costs only itself, not the prompts after it.
        RegistryPhrase phrase;
        if (LoadSearchPrompt2(pNode, phrase) && !phrase.text.empty())
        {
            std::string strText = phrase.text;
            m_prompts.emplace(std::move(strText), std::move(phrase));
        }
    }
    return true;
}

bool CSearchPrompt2Manager::LoadSearchPrompt2(const xmlNode* pNode, RegistryPhrase& phrase)
{
    std::string strText;
    if (!CXMLUtils::HasAttribute(pNode, "text") ||
        !CXMLUtils::GetAttributeString(pNode, "text", strText))
    {
        KLOG_ERR << "CSearchPrompt2Manager::LoadSearchPrompt2 can't get node attribute";
        return false;
    }
    phrase = MakeRegistryPhrase(std::move(strText));
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (pChild->type != XML_ELEMENT_NODE || CXMLUtils::GetTagName(pChild) != "link")
            continue;
        std::string strURL;
        if (!CXMLUtils::HasAttribute(pChild, "site_url") ||
            !CXMLUtils::GetAttributeString(pChild, "site_url", strURL))
        {
            KLOG_ERR << "CSearchPrompt2Manager::LoadSearchPrompt2 can't get node attribute";
            continue;
        }
        phrase.links.push_back(std::move(strURL));
    }
    return true;
}

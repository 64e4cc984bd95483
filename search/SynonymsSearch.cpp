#include "SynonymsSearch.h"

#include "Logger.h"
#include "SearchUtils.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <vector>

namespace
{
bool IsElement(const xmlNode* pNode, std::string_view tag)
{
    return pNode && pNode->type == XML_ELEMENT_NODE && CXMLUtils::GetTagName(pNode) == tag;
}

std::string TextAttribute(const xmlNode* pNode)
{
    std::string strText;
    CXMLUtils::GetAttributeString(pNode, "text", strText, "");
    return strText;
}

std::string Normalise(std::string_view text)
{
    return JoinSearchWords(SplitSearchString(text));
}
} // namespace

bool CSynonymsSearch::LoadData(const std::string& strPath)
{
    KTRACE("CSynonymsSearch::LoadData");
    FreeData();
    // The registry's loader has always written this line for the synonyms too.
    KLOG_DEBUG << "CSearchRegistry::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadCatalogue(
            strPath,
            {"search_synonyms", "Can't load search synonyms", "Search synonyms invalid format"},
            doc, pRoot))
        return false;
    LoadXml(pRoot);
    return true;
}

void CSynonymsSearch::FreeData()
{
    m_synonyms.clear();
    m_headWords.clear();
}

Utf16StringSet CSynonymsSearch::GetSynonyms(std::string_view text) const
{
    std::string key = Normalise(text);
    Utf16StringSet synonyms;
    if (const auto it = m_synonyms.find(key); it != m_synonyms.end())
        synonyms = it->second;
    FoldYoInPlace(key);
    if (const auto it = m_headWords.find(key); it != m_headWords.end())
        synonyms.insert(it->second.begin(), it->second.end());
    return synonyms;
}

bool CSynonymsSearch::LoadXml(const xmlNode* pRoot)
{
    if (!pRoot)
    {
        KLOG_ERR << "Can't get first word";
        return false;
    }
    for (const xmlNode* pWord = pRoot->children; pWord; pWord = pWord->next)
    {
        if (!IsElement(pWord, "word"))
            continue;
        const std::string strText = TextAttribute(pWord);
        if (strText.empty())
            continue;
        // The head word is lower-cased, the synonyms are kept as written.
        std::vector<std::string> group{Normalise(CTextUtils::ToLower(strText))};
        for (const xmlNode* pSynonym = pWord->children; pSynonym; pSynonym = pSynonym->next)
            if (IsElement(pSynonym, "synonym"))
                if (const std::string strSynonym = TextAttribute(pSynonym); !strSynonym.empty())
                    group.push_back(Normalise(strSynonym));
        AddGroup(group);
    }
    return true;
}

void CSynonymsSearch::AddGroup(const std::vector<std::string>& group)
{
    for (std::size_t i = 0; i < group.size(); ++i)
    {
        // A member without a single word (punctuation only) would make any
        // text without words - an empty search box - a synonym of the group.
        if (group[i].empty())
            continue;
        // The head word is looked up folded ("ё" as "е"), the others as
        // written; every member is shown as written.
        Utf16StringSet& synonyms = i == 0 ? m_headWords[FoldYo(group[i])] : m_synonyms[group[i]];
        for (std::size_t j = 0; j < group.size(); ++j)
            if (j != i && !group[j].empty())
                synonyms.insert(group[j]);
    }
}

#include "MRUDocumentData.h"

#include "Logger.h"
#include "XMLUtils.h"

#include <set>

bool CMRUDocumentData::LoadData(const std::string& strPath)
{
    KTRACE("CMRUDocumentData::LoadData");
    FreeData();
    KLOG_DEBUG << "CMRUDocumentData::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadCatalogue(strPath, {{}, "Can't load MRU documents ", {}}, doc, pRoot))
        return false;
    const bool bLoaded = LoadMRUDocumentVec(pRoot);
    RemoveDups(m_documents);
    return bLoaded;
}

void CMRUDocumentData::FreeData()
{
    m_documents.clear();
}

bool CMRUDocumentData::LoadMRUDocumentVec(const xmlNode* pRoot)
{
    const xmlNode* pList = pRoot ? pRoot->children : nullptr;
    while (pList && pList->type != XML_ELEMENT_NODE)
        pList = pList->next;
    if (!pList)
    {
        KLOG_ERR << "CMRUDocumentData::LoadMRUDocumentVec can't get documents node";
        return false;
    }
    for (const xmlNode* pNode = pList->children; pNode; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        CMRUDocument document;
        // An entry without its name or address is left out; the rest load.
        if (LoadMRUDocument(document, pNode))
            m_documents.push_back(std::move(document));
    }
    return true;
}

bool CMRUDocumentData::LoadMRUDocument(CMRUDocument& document, const xmlNode* pNode)
{
    if (!pNode)
    {
        KLOG_ERR << "CMRUDocumentData::LoadMRUDocument received null argument";
        return false;
    }
    if (!CXMLUtils::HasAttribute(pNode, "name") || !CXMLUtils::HasAttribute(pNode, "url") ||
        !CXMLUtils::GetAttributeString(pNode, "name", document.m_strName) ||
        !CXMLUtils::GetAttributeString(pNode, "url", document.m_strURL))
    {
        KLOG_ERR << "CMRUDocumentData::LoadBlank can't get data ";
        return false;
    }
    return true;
}

int CMRUDocumentData::FindByName(const std::string& strName,
                                 const std::vector<CMRUDocument>& documents)
{
    for (std::size_t i = 0; i < documents.size(); ++i)
        if (documents[i].m_strName == strName)
            return static_cast<int>(i);
    return -1;
}

void CMRUDocumentData::RemoveDups(std::vector<CMRUDocument>& documents)
{
    std::set<std::string> seen;
    std::erase_if(documents, [&seen](const CMRUDocument& document) {
        return !seen.insert(document.m_strName).second;
    });
}

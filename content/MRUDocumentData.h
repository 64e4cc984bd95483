#pragma once

#include <libxml/tree.h>

#include <string>
#include <vector>

struct CMRUDocument
{
    std::string m_strURL;
    std::string m_strName;
};

// The frequently used documents shipped with the content
// ("mru_documents.dat", enciphered XML), one entry per name, in file order.
class CMRUDocumentData
{
public:
    bool LoadData(const std::string& strPath);
    void FreeData();

    const std::vector<CMRUDocument>& GetDocuments() const { return m_documents; }

    static int FindByName(const std::string& strName, const std::vector<CMRUDocument>& documents);
    // Keeps the first entry of every name.
    static void RemoveDups(std::vector<CMRUDocument>& documents);

private:
    bool LoadMRUDocumentVec(const xmlNode* pRoot);
    static bool LoadMRUDocument(CMRUDocument& document, const xmlNode* pNode);

    std::vector<CMRUDocument> m_documents;
};

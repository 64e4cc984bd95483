// Feeds arbitrary catalogue text through the enciphered-file load: the input
// is enciphered into a file, parsed through the deciphering stream, walked,
// and read by every content catalogue reader of the client.
#include "BlankInfoData.h"
#include "Cipher.h"
#include "EncyclopediaData.h"
#include "MRUDocumentData.h"
#include "NewInfoData.h"
#include "TaxCalendar.h"
#include "WorkCalendar.h"
#include "XMLUtils.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// A file of its own per process, removed after every input so no run leaves
// anything behind, however it ends.
std::string ScratchFile()
{
    return "/tmp/kalimor-fuzz-xml-" + std::to_string(::getpid()) + ".dat";
}

void Walk(const xmlNode* pNode, int nDepth)
{
    for (; pNode && nDepth < 64; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        std::string value;
        unsigned number = 0;
        int a = 0, b = 0, c = 0;
        CXMLUtils::GetAttributeString(pNode, "name", value, "");
        CXMLUtils::GetAttributeUINT(pNode, "id", number);
        CXMLUtils::GetSubElementString(pNode, "text", value);
        CXMLUtils::GetDayInfo(pNode, a, b, c);
        CXMLUtils::GetText(pNode);
        Walk(pNode->children, nDepth + 1);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    std::vector<std::uint8_t> bytes(pData, pData + nSize);
    CipherBuffer(bytes.data(), bytes.size());
    const std::string strPath = ScratchFile();
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (!pFile)
        return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), pFile);
    std::fclose(pFile);
    struct CRemove
    {
        std::string m_strPath;
        ~CRemove() { ::unlink(m_strPath.c_str()); }
    } remove{strPath};

    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadXmlDocument(strPath, doc, pRoot, true))
        return 0;
    Walk(pRoot, 0);
    CXMLUtils::SaveXmlToString(doc.get());

    CEncyclopediaData encyclopedia;
    if (encyclopedia.LoadData(strPath, "/nonexistent/"))
    {
        encyclopedia.FindSectionByURL("/a.html#b");
        encyclopedia.GetFirstLevelSectionItem("nds");
    }
    CBlankInfoData blanks;
    if (blanks.LoadData(strPath))
    {
        blanks.GetBlankNews();
        blanks.GetBlankInfoMap();
    }
    CTaxCalendar taxes;
    taxes.LoadData(strPath);
    CWorkCalendar work;
    if (work.LoadData(strPath))
        work.IsWorkingDay({2027, 1, 1});
    CNewInfoData news;
    if (news.LoadData(strPath))
        news.FindLink(1);
    CMRUDocumentData mru;
    mru.LoadData(strPath);
    return 0;
}

// Feeds arbitrary catalogue text through the enciphered-file load: the input
// is enciphered into a file and parsed through the deciphering stream, then
// walked the way the catalogue readers walk it.
#include "Cipher.h"
#include "XMLUtils.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
const std::string& ScratchFile()
{
    static const std::string path = [] {
        std::string strTemplate = "/tmp/kalimor-fuzz-xml-XXXXXX";
        const int fd = ::mkstemp(strTemplate.data());
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(ScratchFile().c_str()); });
        return strTemplate;
    }();
    return path;
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
    if (::truncate(ScratchFile().c_str(), 0) != 0)
        return 0;
    FILE* pFile = std::fopen(ScratchFile().c_str(), "wb");
    if (!pFile)
        return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), pFile);
    std::fclose(pFile);

    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (CXMLUtils::LoadXmlDocument(ScratchFile(), doc, pRoot, true))
    {
        Walk(pRoot, 0);
        CXMLUtils::SaveXmlToString(doc.get());
    }
    return 0;
}

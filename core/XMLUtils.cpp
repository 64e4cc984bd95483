#include "XMLUtils.h"

#include "DecryptFileStream.h"
#include "FileUtils.h"
#include "Logger.h"
#include "TextUtils.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace
{
constexpr int kXmlOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
constexpr int kHtmlOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING;

// Nothing this client parses may reach outside the text it was given: no DTD,
// no external entity, no network. The parser options already ask for that;
// the loader makes sure of it for every parser in the process.
xmlParserInputPtr DenyExternalEntity(const char* szUrl, const char*, xmlParserCtxtPtr)
{
    KLOG_WARN << "CXMLUtils: external entity refused: " << (szUrl ? szUrl : "");
    return nullptr;
}

void InitXmlLibrary()
{
    static std::once_flag initFlag;
    std::call_once(initFlag, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(DenyExternalEntity);
    });
}

struct CParserCtxtDeleter
{
    void operator()(xmlParserCtxt* pCtxt) const { xmlFreeParserCtxt(pCtxt); }
};
using CParserCtxtPtr = std::unique_ptr<xmlParserCtxt, CParserCtxtDeleter>;

const xmlChar* ToXml(const char* sz)
{
    return reinterpret_cast<const xmlChar*>(sz);
}

std::string FromXml(const xmlChar* sz)
{
    return sz ? std::string(reinterpret_cast<const char*>(sz)) : std::string();
}

// The leading digits of an attribute's text (capped at UINT_MAX); an empty
// text is nDefault.
unsigned ParseUnsigned(std::string_view text, unsigned nDefault)
{
    if (text.empty())
        return nDefault;
    unsigned long long nNumber = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9')
            break;
        nNumber =
            std::min<unsigned long long>(nNumber * 10 + static_cast<unsigned>(c - '0'), UINT_MAX);
    }
    return static_cast<unsigned>(nNumber);
}

std::string DescribeParserError(const xmlParserCtxt* pCtxt)
{
    if (!pCtxt || !pCtxt->lastError.message)
        return "not a readable XML document";
    std::string_view message(pCtxt->lastError.message);
    while (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);
    return std::string(message);
}

void LogParserError(const xmlParserCtxt* pCtxt)
{
    if (pCtxt && pCtxt->lastError.message)
        KLOG_ERR << "CXMLUtils: line " << pCtxt->lastError.line << ": "
                 << DescribeParserError(pCtxt);
}

// Parses a plain file through our own descriptor: the library's file loader
// is the external-entity loader, which refuses everything.
xmlDoc* ReadPlainFile(xmlParserCtxt* pCtxt, const std::string& strPath, int nOptions)
{
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    xmlDoc* pDoc = xmlCtxtReadFd(pCtxt, fd, strPath.c_str(), nullptr, nOptions);
    ::close(fd);
    return pDoc;
}

// Whitespace between elements is not content: a catalogue lists its sections
// as the child nodes of an element, indented or not.
void RemoveBlankTextNodes(xmlNode* pNode)
{
    for (xmlNode* pChild = pNode ? pNode->children : nullptr; pChild;)
    {
        xmlNode* pNext = pChild->next;
        if (pChild->type == XML_TEXT_NODE && xmlIsBlankNode(pChild))
        {
            xmlUnlinkNode(pChild);
            xmlFreeNode(pChild);
        }
        else if (pChild->type == XML_ELEMENT_NODE)
        {
            RemoveBlankTextNodes(pChild);
        }
        pChild = pNext;
    }
}

bool IsXmlChar(char32_t ch)
{
    return ch == 0x9 || ch == 0xA || ch == 0xD || (ch >= 0x20 && ch <= 0xD7FF) ||
           (ch >= 0xE000 && ch <= 0xFFFD) || (ch >= 0x10000 && ch <= 0x10FFFF);
}

// Text that can be written and read back: malformed UTF-8 becomes U+FFFD and
// characters that XML 1.0 cannot hold are dropped, so a saved file always
// parses again.
std::string ToXmlSafeText(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        const char32_t ch = CTextUtils::DecodeNext(text, nPos);
        if (IsXmlChar(ch))
            CTextUtils::AppendUtf8(result, ch);
    }
    return result;
}

// A recovered document can hold what no well-formed one does: bytes that are
// not UTF-8, characters XML cannot hold. Its texts and attribute values are
// made what a save writes, so a record reads the same before and after the
// next save of the file.
void MakeTextsSafe(xmlNode* pNode)
{
    for (; pNode; pNode = pNode->next)
    {
        if (pNode->type == XML_TEXT_NODE && pNode->content)
        {
            const std::string_view text = reinterpret_cast<const char*>(pNode->content);
            const std::string safe = ToXmlSafeText(text);
            if (safe != text)
                xmlNodeSetContent(pNode, ToXml(safe.c_str()));
        }
        else if (pNode->type == XML_ELEMENT_NODE)
        {
            for (xmlAttr* pAttribute = pNode->properties; pAttribute; pAttribute = pAttribute->next)
                MakeTextsSafe(pAttribute->children);
            MakeTextsSafe(pNode->children);
        }
    }
}

int ReadFromStream(void* pContext, char* pBuffer, int nLength)
{
    auto* pStream = static_cast<IStream*>(pContext);
    std::uint32_t nRead = 0;
    if (nLength < 0 || Failed(pStream->Read(pBuffer, static_cast<std::uint32_t>(nLength), &nRead)))
        return -1;
    return static_cast<int>(nRead);
}

int CloseStream(void*)
{
    return 0;
}

bool FinishLoad(CParserCtxtPtr& ctxt, xmlDoc* pDoc, CXmlDocPtr& doc, xmlNode*& pRoot,
                const std::string& strFailure, bool bKeepBlankText = false)
{
    if (!pDoc)
    {
        KLOG_ERR << strFailure;
        LogParserError(ctxt.get());
        return false;
    }
    doc.reset(pDoc);
    pRoot = xmlDocGetRootElement(pDoc);
    if (!pRoot)
    {
        KLOG_ERR << "CXmlUtils::LoadXmlDocument can't get root element";
        doc.reset();
        return false;
    }
    if (!bKeepBlankText)
        RemoveBlankTextNodes(pRoot);
    return true;
}

bool IsHtmlSkipped(const xmlNode* pNode)
{
    static constexpr const char* kSkipped[] = {"script", "style",    "head",
                                               "title",  "noscript", "template"};
    for (const char* szName : kSkipped)
        if (xmlStrcasecmp(pNode->name, ToXml(szName)) == 0)
            return true;
    return false;
}

bool IsHtmlBlock(const xmlNode* pNode)
{
    static constexpr const char* kBlocks[] = {
        "address", "article",  "aside",      "blockquote", "center",  "dd",    "div", "dl",
        "dt",      "fieldset", "figcaption", "figure",     "footer",  "form",  "h1",  "h2",
        "h3",      "h4",       "h5",         "h6",         "header",  "hr",    "li",  "main",
        "nav",     "ol",       "p",          "pre",        "section", "table", "tr",  "ul",
        "caption", "tbody",    "thead",      "tfoot"};
    for (const char* szName : kBlocks)
        if (xmlStrcasecmp(pNode->name, ToXml(szName)) == 0)
            return true;
    return false;
}

// Deeper nesting than any real page has is not walked: the HTML parser accepts
// unbounded nesting and the walk must not exhaust the stack.
constexpr int kMaxHtmlDepth = 256;

class CInnerTextBuilder
{
public:
    void Walk(const xmlNode* pNode, int nDepth = 0)
    {
        if (nDepth > kMaxHtmlDepth)
            return;
        for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
        {
            if (pChild->type == XML_TEXT_NODE || pChild->type == XML_CDATA_SECTION_NODE)
            {
                AppendText(reinterpret_cast<const char*>(pChild->content));
            }
            else if (pChild->type == XML_ELEMENT_NODE && !IsHtmlSkipped(pChild))
            {
                if (xmlStrcasecmp(pChild->name, ToXml("br")) == 0)
                {
                    BreakLine(true);
                    continue;
                }
                const bool bBlock = IsHtmlBlock(pChild);
                if (bBlock)
                    BreakLine(false);
                else if (xmlStrcasecmp(pChild->name, ToXml("td")) == 0 ||
                         xmlStrcasecmp(pChild->name, ToXml("th")) == 0)
                    AppendSeparator(' ');
                Walk(pChild, nDepth + 1);
                if (bBlock)
                    BreakLine(false);
            }
        }
    }

    std::string Take()
    {
        while (!m_strText.empty() &&
               (m_strText.back() == ' ' || m_strText.back() == '\n' || m_strText.back() == '\r'))
            m_strText.pop_back();
        return std::move(m_strText);
    }

private:
    void AppendText(const char* szText)
    {
        if (!szText)
            return;
        for (const char* p = szText; *p; ++p)
        {
            const char c = *p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f')
            {
                m_bPendingSpace = true;
                continue;
            }
            if (m_bPendingSpace && !AtLineStart())
                m_strText += ' ';
            m_bPendingSpace = false;
            m_strText += c;
        }
    }

    void AppendSeparator(char c)
    {
        if (!AtLineStart())
            m_strText += c;
        m_bPendingSpace = false;
    }

    // A forced break (<br>) always adds a line; a block boundary adds one only
    // when the text does not already end a line.
    void BreakLine(bool bForced)
    {
        while (!m_strText.empty() && m_strText.back() == ' ')
            m_strText.pop_back();
        if (bForced || !AtLineStart())
            m_strText += "\r\n";
        m_bPendingSpace = false;
    }

    bool AtLineStart() const { return m_strText.empty() || m_strText.back() == '\n'; }

    std::string m_strText;
    bool m_bPendingSpace = false;
};

const xmlNode* FindBody(const xmlNode* pNode, int nDepth = 0)
{
    if (nDepth > kMaxHtmlDepth)
        return nullptr;
    for (; pNode; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        if (xmlStrcasecmp(pNode->name, ToXml("body")) == 0)
            return pNode;
        if (const xmlNode* pBody = FindBody(pNode->children, nDepth + 1))
            return pBody;
    }
    return nullptr;
}
} // namespace

bool CXMLUtils::LoadXmlDocument(const std::string& strPath, CXmlDocPtr& doc, xmlNode*& pRoot,
                                bool bEnciphered)
{
    KTRACE("CXMLUtils::LoadXmlDocument", strPath);
    doc.reset();
    pRoot = nullptr;
    if (strPath.empty())
    {
        KLOG_ERR << "CXmlUtils::LoadXmlDocument received null argument";
        return false;
    }
    InitXmlLibrary();
    CParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt)
    {
        KLOG_ERR << "Can't create XML document";
        return false;
    }
    xmlDoc* pDoc = nullptr;
    if (bEnciphered)
    {
        std::unique_ptr<IStream> pStream;
        if (Failed(CreateDecryptFileStream(strPath, pStream, false)))
        {
            KLOG_ERR << "Can't create CDecryptFileStream for file " << strPath;
            return false;
        }
        pDoc = xmlCtxtReadIO(ctxt.get(), ReadFromStream, CloseStream, pStream.get(),
                             strPath.c_str(), nullptr, kXmlOptions);
    }
    else
    {
        pDoc = ReadPlainFile(ctxt.get(), strPath, kXmlOptions);
    }
    return FinishLoad(ctxt, pDoc, doc, pRoot, "Can't load XML from file " + strPath);
}

bool CXMLUtils::LoadCatalogue(const std::string& strPath, const SCatalogue& catalogue,
                              CXmlDocPtr& doc, xmlNode*& pRoot)
{
    if (!LoadXmlDocument(strPath, doc, pRoot, true))
    {
        KLOG_ERR << catalogue.m_cantLoad;
        return false;
    }
    if (!catalogue.m_root.empty() && GetTagName(pRoot) != catalogue.m_root)
    {
        KLOG_ERR << catalogue.m_invalidFormat;
        doc.reset();
        pRoot = nullptr;
        return false;
    }
    return true;
}

namespace
{
struct CTextReaderDeleter
{
    void operator()(xmlTextReader* pReader) const { xmlFreeTextReader(pReader); }
};
} // namespace

bool CXMLUtils::ReadCatalogue(const std::string& strPath, std::string_view cantLoad,
                              const CElementVisitor& onElement)
{
    return ReadCatalogue(strPath, {{}, cantLoad, {}}, ETextAmongElements::Refused, onElement);
}

bool CXMLUtils::ReadCatalogue(const std::string& strPath, const SCatalogue& catalogue,
                              ETextAmongElements text, const CElementVisitor& onElement)
{
    KTRACE("CXMLUtils::ReadCatalogue", strPath);
    InitXmlLibrary();
    std::unique_ptr<IStream> pStream;
    if (strPath.empty() || Failed(CreateDecryptFileStream(strPath, pStream, false)))
    {
        KLOG_ERR << "Can't create CDecryptFileStream for file " << strPath;
        KLOG_ERR << catalogue.m_cantLoad;
        return false;
    }
    const std::unique_ptr<xmlTextReader, CTextReaderDeleter> pReader(xmlReaderForIO(
        ReadFromStream, CloseStream, pStream.get(), strPath.c_str(), nullptr, kXmlOptions));
    if (!pReader)
    {
        KLOG_ERR << catalogue.m_cantLoad;
        return false;
    }
    bool bOtherRoot = false;
    int nRead = 0;
    while ((nRead = xmlTextReaderRead(pReader.get())) == 1)
    {
        const int nType = xmlTextReaderNodeType(pReader.get());
        const int nDepth = xmlTextReaderDepth(pReader.get());
        if (nType == XML_READER_TYPE_ELEMENT && nDepth == 0 && !catalogue.m_root.empty())
            bOtherRoot = GetReaderTagName(pReader.get()) != catalogue.m_root;
        if (bOtherRoot)
            continue; // read on only to learn whether the file parses
        if (nType == XML_READER_TYPE_ELEMENT && nDepth > 0 && !onElement(pReader.get(), nDepth))
        {
            KLOG_ERR << catalogue.m_cantLoad;
            return false;
        }
        if ((nType == XML_READER_TYPE_TEXT || nType == XML_READER_TYPE_CDATA ||
             nType == XML_READER_TYPE_ENTITY_REFERENCE) &&
            nDepth > 0 && text == ETextAmongElements::Refused)
        {
            KLOG_ERR << "CXmlUtils::ReadCatalogue text where an element should be in " << strPath;
            KLOG_ERR << catalogue.m_cantLoad;
            return false;
        }
    }
    if (nRead != 0)
    {
        KLOG_ERR << "Can't load XML from file " << strPath;
        KLOG_ERR << catalogue.m_cantLoad;
        return false;
    }
    if (bOtherRoot)
    {
        KLOG_ERR << catalogue.m_invalidFormat;
        return false;
    }
    return true;
}

std::string_view CXMLUtils::GetReaderTagName(xmlTextReader* pReader)
{
    const xmlChar* pName = xmlTextReaderConstLocalName(pReader);
    return pName ? std::string_view(reinterpret_cast<const char*>(pName)) : std::string_view();
}

bool CXMLUtils::GetReaderAttributeUINT(xmlTextReader* pReader, const char* szName, unsigned& nValue)
{
    std::string strText;
    if (!GetReaderAttribute(pReader, szName, strText))
        return false;
    nValue = ParseUnsigned(strText, nValue);
    return true;
}

bool CXMLUtils::GetReaderAttribute(xmlTextReader* pReader, const char* szName,
                                   std::string& strValue)
{
    // An attribute of plain text (the common case) is copied straight from
    // the element; one with entity references, or none at all (a default the
    // document's DTD may give), goes through the reader.
    if (const xmlNode* pNode = xmlTextReaderCurrentNode(pReader);
        pNode && pNode->type == XML_ELEMENT_NODE)
        for (const xmlAttr* pAttr = pNode->properties; pAttr; pAttr = pAttr->next)
            if (!pAttr->ns && xmlStrEqual(pAttr->name, ToXml(szName)))
            {
                const xmlNode* pText = pAttr->children;
                if (!pText)
                {
                    strValue.clear();
                    return true;
                }
                if (pText->type == XML_TEXT_NODE && !pText->next && pText->content)
                {
                    strValue.assign(reinterpret_cast<const char*>(pText->content));
                    return true;
                }
                break;
            }
    xmlChar* pValue = xmlTextReaderGetAttribute(pReader, ToXml(szName));
    if (!pValue)
        return false;
    strValue = FromXml(pValue);
    xmlFree(pValue);
    return true;
}

bool CXMLUtils::LoadXmlDocumentForReport(const std::string& strPath, CXmlDocPtr& doc,
                                         xmlNode*& pRoot, std::string& strError, long& nErrorLine)
{
    nErrorLine = 0;
    doc.reset();
    pRoot = nullptr;
    InitXmlLibrary();
    CParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt)
    {
        strError = "out of memory";
        return false;
    }
    if (!CFileUtils::FileExists(strPath))
    {
        strError = "no such file";
        return false;
    }
    xmlDoc* pDoc = ReadPlainFile(ctxt.get(), strPath, kXmlOptions);
    if (!pDoc)
    {
        strError = DescribeParserError(ctxt.get());
        nErrorLine = ctxt->lastError.line;
        return false;
    }
    doc.reset(pDoc);
    pRoot = xmlDocGetRootElement(pDoc);
    if (!pRoot)
    {
        strError = "the document has no root element";
        doc.reset();
        return false;
    }
    RemoveBlankTextNodes(pRoot);
    return true;
}

bool CXMLUtils::LoadUserXmlDocument(const std::string& strPath, CXmlDocPtr& doc, xmlNode*& pRoot,
                                    bool& bDamaged)
{
    KTRACE("CXMLUtils::LoadUserXmlDocument", strPath);
    bDamaged = false;
    if (LoadXmlDocument(strPath, doc, pRoot, false))
        return true;
    if (!CFileUtils::FileExists(strPath))
        return false;
    bDamaged = true;
    InitXmlLibrary();
    CParserCtxtPtr ctxt(xmlNewParserCtxt());
    xmlDoc* pDoc =
        ctxt ? ReadPlainFile(ctxt.get(), strPath, kXmlOptions | XML_PARSE_RECOVER) : nullptr;
    if (!FinishLoad(ctxt, pDoc, doc, pRoot, "Can't recover XML from file " + strPath))
        return false;
    MakeTextsSafe(pRoot);
    return true;
}

bool CXMLUtils::LoadXmlDocumentContent(std::string_view text, CXmlDocPtr& doc, xmlNode*& pRoot,
                                       bool bKeepBlankText)
{
    KTRACE("CXMLUtils::LoadXmlDocumentContent");
    doc.reset();
    pRoot = nullptr;
    InitXmlLibrary();
    CParserCtxtPtr ctxt(xmlNewParserCtxt());
    if (!ctxt)
    {
        KLOG_ERR << "Can't create XML document";
        return false;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX))
    {
        KLOG_ERR << "Can't load XML";
        return false;
    }
    xmlDoc* pDoc = xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                     nullptr, nullptr, kXmlOptions);
    return FinishLoad(ctxt, pDoc, doc, pRoot, "Can't load XML", bKeepBlankText);
}

bool CXMLUtils::CreateXmlDocument(std::string_view rootName, CXmlDocPtr& doc)
{
    InitXmlLibrary();
    doc.reset(xmlNewDoc(ToXml("1.0")));
    const std::string strName(rootName);
    xmlNode* pRoot =
        doc ? xmlNewDocNode(doc.get(), nullptr, ToXml(strName.c_str()), nullptr) : nullptr;
    if (!pRoot)
    {
        KLOG_ERR << "Can't create XML document";
        doc.reset();
        return false;
    }
    xmlDocSetRootElement(doc.get(), pRoot);
    return true;
}

std::string CXMLUtils::SaveXmlToString(const xmlDoc* pDoc)
{
    if (!pDoc)
        return {};
    xmlChar* pBuffer = nullptr;
    int nSize = 0;
    xmlDocDumpFormatMemoryEnc(const_cast<xmlDoc*>(pDoc), &pBuffer, &nSize, "UTF-8", 1);
    std::string strText(reinterpret_cast<const char*>(pBuffer), pBuffer ? nSize : 0);
    xmlFree(pBuffer);
    return strText;
}

bool CXMLUtils::SaveXmlDocument(const xmlDoc* pDoc, const std::string& strPath)
{
    KTRACE("CXMLUtils::SaveXmlDocument", strPath);
    const std::string strText = SaveXmlToString(pDoc);
    if (strText.empty())
    {
        KLOG_ERR << "CXMLUtils::SaveXmlDocument can't serialise the document for " << strPath;
        return false;
    }
    return CFileUtils::SaveFileAtomically(strPath, strText, 0600);
}

bool CXMLUtils::HasAttribute(const xmlNode* pElement, std::string_view name)
{
    const std::string strName(name);
    return pElement && pElement->type == XML_ELEMENT_NODE &&
           xmlHasProp(pElement, ToXml(strName.c_str())) != nullptr;
}

bool CXMLUtils::GetAttributeString(const xmlNode* pElement, std::string_view name,
                                   std::string& strValue, const char* szDefault)
{
    if (!pElement || pElement->type != XML_ELEMENT_NODE)
    {
        KLOG_ERR << "CXmlUtils::GetAttributeString can't get element interface";
        return false;
    }
    const std::string strName(name);
    xmlChar* pValue = xmlGetNoNsProp(pElement, ToXml(strName.c_str()));
    if (!pValue)
    {
        if (szDefault)
        {
            strValue = szDefault;
            return true;
        }
        KLOG_ERR << "CXmlUtils::GetAttributeString can't get value of attribute " << strName
                 << " and default value is NULL";
        return false;
    }
    strValue = FromXml(pValue);
    xmlFree(pValue);
    return true;
}

bool CXMLUtils::GetAttributeUINT(const xmlNode* pElement, std::string_view name, unsigned& nValue,
                                 unsigned nDefault)
{
    std::string strText;
    if (!GetAttributeString(pElement, name, strText, ""))
        return false;
    nValue = ParseUnsigned(strText, nDefault);
    return true;
}

bool CXMLUtils::SetAttributeString(xmlNode* pElement, std::string_view name, std::string_view value)
{
    if (!pElement || pElement->type != XML_ELEMENT_NODE)
        return false;
    const std::string strName(name);
    return xmlSetProp(pElement, ToXml(strName.c_str()), ToXml(ToXmlSafeText(value).c_str())) !=
           nullptr;
}

bool CXMLUtils::SetAttributeUINT(xmlNode* pElement, std::string_view name, unsigned nValue)
{
    return SetAttributeString(pElement, name, std::to_string(nValue));
}

bool CXMLUtils::GetSubElementString(const xmlNode* pElement, std::string_view tag,
                                    std::string& strText)
{
    if (!pElement)
    {
        KLOG_ERR << "CXMLUtils::GetSubElementString can't get child node";
        return false;
    }
    for (const xmlNode* pChild = pElement->children; pChild; pChild = pChild->next)
    {
        if (pChild->type == XML_ELEMENT_NODE && GetTagName(pChild) == tag)
        {
            strText = GetText(pChild);
            return true;
        }
    }
    return false;
}

std::string CXMLUtils::GetTagName(const xmlNode* pNode)
{
    if (!pNode || pNode->type != XML_ELEMENT_NODE)
    {
        KLOG_ERR << "CXMLUtils::GetTagName can't get element interface";
        return {};
    }
    return FromXml(pNode->name);
}

std::string CXMLUtils::GetText(const xmlNode* pNode)
{
    if (!pNode)
    {
        KLOG_ERR << "CXMLUtils::GetText can't get text";
        return {};
    }
    xmlChar* pContent = xmlNodeGetContent(pNode);
    std::string strText = FromXml(pContent);
    xmlFree(pContent);
    return strText;
}

bool CXMLUtils::PutTextNode(xmlNode* pParent, std::string_view tag, std::string_view text)
{
    if (!pParent)
        return false;
    const std::string strTag(tag);
    return xmlNewTextChild(pParent, nullptr, ToXml(strTag.c_str()),
                           ToXml(ToXmlSafeText(text).c_str())) != nullptr;
}

bool CXMLUtils::SetDayInfo(xmlNode* pElement, int nDay, int nMonth, int nYear)
{
    return SetAttributeString(pElement, "day", std::to_string(nDay)) &&
           SetAttributeString(pElement, "month", std::to_string(nMonth)) &&
           SetAttributeString(pElement, "year", std::to_string(nYear));
}

bool CXMLUtils::SetTimeInfo(xmlNode* pElement, int nHour, int nMinute, int nSecond)
{
    return SetAttributeString(pElement, "hour", std::to_string(nHour)) &&
           SetAttributeString(pElement, "minute", std::to_string(nMinute)) &&
           SetAttributeString(pElement, "second", std::to_string(nSecond));
}

namespace
{
bool ReadThreeNumbers(const xmlNode* pElement, const char* const (&names)[3], int (&values)[3])
{
    if (!pElement || pElement->type != XML_ELEMENT_NODE)
        return false;
    for (int i = 0; i < 3; ++i)
    {
        if (!CXMLUtils::HasAttribute(pElement, names[i]))
            return false;
        unsigned nValue = 0;
        if (!CXMLUtils::GetAttributeUINT(pElement, names[i], nValue))
            return false;
        values[i] = static_cast<int>(std::min<unsigned>(nValue, INT_MAX));
    }
    return true;
}
} // namespace

bool CXMLUtils::GetDayInfo(const xmlNode* pElement, int& nDay, int& nMonth, int& nYear)
{
    static constexpr const char* kNames[3] = {"day", "month", "year"};
    int values[3] = {};
    if (!ReadThreeNumbers(pElement, kNames, values))
    {
        KLOG_ERR << "CXMLUtils::GetDayInfo Can't get day info";
        return false;
    }
    nDay = values[0];
    nMonth = values[1];
    nYear = values[2];
    return true;
}

bool CXMLUtils::GetTimeInfo(const xmlNode* pElement, int& nHour, int& nMinute, int& nSecond)
{
    static constexpr const char* kNames[3] = {"hour", "minute", "second"};
    int values[3] = {};
    if (!ReadThreeNumbers(pElement, kNames, values))
    {
        KLOG_ERR << "CXMLUtils::GetTimeInfo Can't get time info";
        return false;
    }
    nHour = values[0];
    nMinute = values[1];
    nSecond = values[2];
    return true;
}

std::string CXMLUtils::EncodeForXML(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    for (const char c : text)
    {
        switch (c)
        {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        case '\'': result += "&apos;"; break;
        default: result += c;
        }
    }
    return result;
}

bool CXMLUtils::LoadHTMLDocument(const std::string& strPath, CXmlDocPtr& doc)
{
    KTRACE("CXMLUtils::LoadHTMLDocument", strPath);
    doc.reset();
    InitXmlLibrary();
    std::string strText;
    if (!CFileUtils::LoadAllUTF8TxtFile(strPath, strText))
    {
        KLOG_ERR << "CXMLUtils::LoadHTMLDocument can't load file";
        return false;
    }
    return LoadHTMLDocumentContent(strText, doc);
}

bool CXMLUtils::LoadHTMLDocumentContent(std::string_view text, CXmlDocPtr& doc)
{
    doc.reset();
    InitXmlLibrary();
    if (text.size() <= static_cast<std::size_t>(INT_MAX))
        doc.reset(htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, "UTF-8",
                                 kHtmlOptions));
    if (!doc)
    {
        KLOG_ERR << "CXMLUtils::LoadHTMLDocument can't write document content";
        return false;
    }
    return true;
}

std::string CXMLUtils::GetHtmlBodyText(const xmlDoc* pDoc)
{
    if (!pDoc)
        return {};
    const xmlNode* pBody = FindBody(pDoc->children);
    if (!pBody)
        return {};
    CInnerTextBuilder builder;
    builder.Walk(pBody);
    return builder.Take();
}

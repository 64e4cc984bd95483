#pragma once

#include <libxml/tree.h>
#include <libxml/xmlreader.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct CXmlDocDeleter
{
    void operator()(xmlDoc* pDoc) const { xmlFreeDoc(pDoc); }
};
// An owned parsed document; its nodes live as long as it does.
using CXmlDocPtr = std::unique_ptr<xmlDoc, CXmlDocDeleter>;

// Helpers over libxml2 for every XML file and body of the client. Loading is
// synchronous, never touches the network and never loads a DTD or an external
// entity. Failures are logged and reported by the result; nothing throws.
class CXMLUtils
{
public:
    // Loads a file, through the content cipher when bEnciphered; pRoot gets the
    // document element.
    static bool LoadXmlDocument(const std::string& strPath, CXmlDocPtr& doc, xmlNode*& pRoot,
                                bool bEnciphered);
    // A catalogue of the content: an enciphered file with a root element of
    // a known name, and the lines its loader logs when it cannot be used.
    struct SCatalogue
    {
        std::string_view m_root;          // empty: any root element
        std::string_view m_cantLoad;      // the file cannot be read
        std::string_view m_invalidFormat; // the root element is another
    };
    static bool LoadCatalogue(const std::string& strPath, const SCatalogue& catalogue,
                              CXmlDocPtr& doc, xmlNode*& pRoot);
    // An enciphered catalogue of elements only, read node after node rather
    // than as one tree: a large one (a library's sections) never has its whole
    // parse tree in memory beside what is built from it. onElement gets each
    // element below the root as it starts, with its depth (1 for the root's
    // children); it reads the element's attributes (GetReaderAttribute) and
    // returns false to stop. Text other than blanks, a parse error or a false
    // from onElement logs the failure and returns false.
    using CElementVisitor = std::function<bool(xmlTextReader* pReader, int nDepth)>;
    static bool ReadCatalogue(const std::string& strPath, std::string_view cantLoad,
                              const CElementVisitor& onElement);
    // What a catalogue read node after node does with text among its elements.
    enum class ETextAmongElements
    {
        Refused, // fails the read, as above
        Skipped, // passed over, as a walk of the parse tree passes over it
    };
    // The same for a catalogue whose root element must have the name
    // catalogue.m_root (any when empty). Another root visits nothing and
    // fails with m_invalidFormat logged, once the whole file parsed well (a
    // file that does not logs m_cantLoad, as LoadCatalogue does).
    static bool ReadCatalogue(const std::string& strPath, const SCatalogue& catalogue,
                              ETextAmongElements text, const CElementVisitor& onElement);
    // The local name of the element the reader stands on (as GetTagName);
    // valid while the reader is open.
    static std::string_view GetReaderTagName(xmlTextReader* pReader);
    // The attribute of the element the reader stands on; false when it has none.
    static bool GetReaderAttribute(xmlTextReader* pReader, const char* szName,
                                   std::string& strValue);
    // Its number (as GetAttributeUINT reads it); nValue kept when it has none
    // or it is empty.
    static bool GetReaderAttributeUINT(xmlTextReader* pReader, const char* szName,
                                       unsigned& nValue);
    // Loads a plain XML file for a tool that reports to a person: on failure
    // strError says what is wrong and nErrorLine where (0 when unknown).
    static bool LoadXmlDocumentForReport(const std::string& strPath, CXmlDocPtr& doc,
                                         xmlNode*& pRoot, std::string& strError, long& nErrorLine);
    // Loads a user's own file (plain XML). When it is not well-formed, the
    // parser recovers what it can and bDamaged is set; false only when
    // nothing at all could be read.
    static bool LoadUserXmlDocument(const std::string& strPath, CXmlDocPtr& doc, xmlNode*& pRoot,
                                    bool& bDamaged);
    // Blank text between elements is dropped unless bKeepBlankText (markup
    // whose spaces between elements are part of the text).
    static bool LoadXmlDocumentContent(std::string_view text, CXmlDocPtr& doc, xmlNode*& pRoot,
                                       bool bKeepBlankText = false);
    static bool CreateXmlDocument(std::string_view rootName, CXmlDocPtr& doc);
    // Serialises the document (UTF-8, indented) and writes it atomically.
    static bool SaveXmlDocument(const xmlDoc* pDoc, const std::string& strPath);
    static std::string SaveXmlToString(const xmlDoc* pDoc);

    static bool HasAttribute(const xmlNode* pElement, std::string_view name);
    // The attribute's text. A missing attribute gives szDefault when one is
    // given, otherwise an error.
    static bool GetAttributeString(const xmlNode* pElement, std::string_view name,
                                   std::string& strValue, const char* szDefault = nullptr);
    // The attribute as a decimal number (leading digits only, 0 when none); an
    // empty or missing attribute gives the default.
    static bool GetAttributeUINT(const xmlNode* pElement, std::string_view name, unsigned& nValue,
                                 unsigned nDefault = 0);
    static bool SetAttributeString(xmlNode* pElement, std::string_view name,
                                   std::string_view value);
    static bool SetAttributeUINT(xmlNode* pElement, std::string_view name, unsigned nValue);
    // The text of the first child element with that tag; false when none.
    static bool GetSubElementString(const xmlNode* pElement, std::string_view tag,
                                    std::string& strText);
    static std::string GetTagName(const xmlNode* pNode);
    static std::string GetText(const xmlNode* pNode);
    static bool PutTextNode(xmlNode* pParent, std::string_view tag, std::string_view text);

    // "day", "month" (1-12) and "year" attributes.
    static bool SetDayInfo(xmlNode* pElement, int nDay, int nMonth, int nYear);
    static bool GetDayInfo(const xmlNode* pElement, int& nDay, int& nMonth, int& nYear);
    // "hour", "minute" and "second" attributes.
    static bool SetTimeInfo(xmlNode* pElement, int nHour, int nMinute, int nSecond);
    static bool GetTimeInfo(const xmlNode* pElement, int& nHour, int& nMinute, int& nSecond);

    static std::string EncodeForXML(std::string_view text);

    // Parses a UTF-8 HTML file; the document is never shown, only read.
    static bool LoadHTMLDocument(const std::string& strPath, CXmlDocPtr& doc);
    static bool LoadHTMLDocumentContent(std::string_view text, CXmlDocPtr& doc);
    // The body's text as a browser renders it: scripts and styles left out,
    // blanks collapsed, line breaks between blocks.
    static std::string GetHtmlBodyText(const xmlDoc* pDoc);
};

#include "EncyclopediaPublisher.h"

#include "Cipher.h"
#include "FileUtils.h"
#include "TextUtils.h"
#include "UrlToPath.h"
#include "XMLUtils.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{
constexpr int kDeepestShownLevel = 4;

bool IsElement(const xmlNode* pNode)
{
    return pNode && pNode->type == XML_ELEMENT_NODE;
}

std::string Attribute(const xmlNode* pNode, const char* szName)
{
    std::string strValue;
    CXMLUtils::GetAttributeString(pNode, szName, strValue, "");
    return strValue;
}

bool IsExternal(std::string_view href)
{
    for (const char* szScheme : {"http:", "https:", "mailto:", "about:", "ftp:"})
        if (CTextUtils::StartsWithNoCaseAscii(href, szScheme))
            return true;
    return false;
}

// Collects the ids, anchors and links of a page.
void ScanPage(const xmlNode* pNode, std::set<std::string>& ids,
              std::vector<std::pair<std::string, long>>& links, int nDepth)
{
    for (; pNode && nDepth < 256; pNode = pNode->next)
    {
        if (!IsElement(pNode))
            continue;
        if (const std::string strId = Attribute(pNode, "id"); !strId.empty())
            ids.insert(strId);
        const bool bLink = xmlStrcasecmp(pNode->name, reinterpret_cast<const xmlChar*>("a")) == 0;
        const bool bImage =
            xmlStrcasecmp(pNode->name, reinterpret_cast<const xmlChar*>("img")) == 0;
        if (bLink)
        {
            if (const std::string strName = Attribute(pNode, "name"); !strName.empty())
                ids.insert(strName);
            if (CXMLUtils::HasAttribute(pNode, "href"))
                links.emplace_back(Attribute(pNode, "href"), xmlGetLineNo(pNode));
        }
        if (bImage && CXMLUtils::HasAttribute(pNode, "src"))
            links.emplace_back(Attribute(pNode, "src"), xmlGetLineNo(pNode));
        ScanPage(pNode->children, ids, links, nDepth + 1);
    }
}

// The page-relative target of a link as a path below pages/ ("nds/rates.html")
// and its anchor; false when it climbs out of the pages.
bool ResolveLink(const std::string& strPageURL, const std::string& strHref, std::string& strTarget,
                 std::string& strAnchor)
{
    std::string strFile;
    CFileUtils::ParseFileName(strHref, strFile, strAnchor);
    strFile = strFile.substr(0, strFile.find('?'));
    std::string strDecoded;
    if (!UrlToPath(strFile, strDecoded))
        return false;
    const fs::path base = fs::path(strPageURL.substr(1)).parent_path();
    const fs::path target =
        strDecoded.empty()
            ? fs::path(strPageURL.substr(1))
            : (strDecoded.front() == '/' ? fs::path(strDecoded.substr(1)) : base / strDecoded);
    const fs::path normal = target.lexically_normal();
    if (normal.empty() || *normal.begin() == "..")
        return false;
    strTarget = normal.generic_string();
    return true;
}

// The target is a new file in the publisher's staging folder, which goes to
// disk as a whole before it is put in place: no file of its own needs a
// temporary name or a flush.
bool WriteEnciphered(const std::string& strSource, const std::string& strTarget)
{
    CByteArray bytes;
    if (!CFileUtils::LoadAllBinFile(strSource, bytes))
        return false;
    CipherBuffer(bytes.data(), bytes.size());
    return CFileUtils::MakePathForFile(strTarget) && CFileUtils::SaveBinFile(strTarget, bytes);
}
} // namespace

bool CEncyclopediaPublisher::Publish(const std::string& strSource, const std::string& strContent,
                                     CPublishReport& report, std::vector<CPublishedPage>& pages)
{
    const std::string strCatalogue = strSource + "/encyclopedia.xml";
    if (!CFileUtils::FileExists(strCatalogue))
    {
        report.Note("encyclopedia.xml: not in the source, no encyclopedia published");
        return true;
    }
    if (!ReadPages(strSource + "/pages", report))
        return false;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    std::string strError;
    long nLine = 0;
    if (!CXMLUtils::LoadXmlDocumentForReport(strCatalogue, doc, pRoot, strError, nLine))
    {
        report.Error(strCatalogue, nLine, strError);
        return false;
    }
    CheckCatalogue(pRoot, strCatalogue, report);
    CheckLinks(report);
    for (const auto& [strURL, page] : m_pages)
        if (!m_listedURLs.contains(strURL))
            report.Warning(page.m_strFile, 0, "the page is in no section of encyclopedia.xml");
    if (report.HasErrors() || !WriteContent(strSource, strContent, report))
        return false;
    for (auto& [strURL, page] : m_pages)
        pages.push_back({strURL, std::move(page.m_strText)});
    report.Note("encyclopedia.xml -> encyclopedia.dat: " + std::to_string(m_nSections) +
                " sections, " + std::to_string(m_pages.size()) + " pages, " +
                std::to_string(m_otherFiles.size()) + " other files");
    return true;
}

bool CEncyclopediaPublisher::ReadPages(const std::string& strPages, CPublishReport& report)
{
    if (!CFileUtils::DirectoryExists(strPages))
    {
        report.Error(strPages, 0, "the folder of pages is missing");
        return false;
    }
    std::error_code error;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(strPages, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        if (it->is_symlink())
            report.Warning(it->path().string(), 0, "a symbolic link is not published");
        else if (it->is_regular_file())
            files.push_back(it->path());
    }
    if (error)
    {
        report.Error(strPages, 0, "cannot be listed: " + error.message());
        return false;
    }
    std::sort(files.begin(), files.end());
    for (std::size_t i = 0; i < files.size(); ++i)
    {
        const fs::path& file = files[i];
        report.Progress("reading pages", "files", i + 1, files.size());
        const std::string strRelative = fs::relative(file, strPages).generic_string();
        if (strRelative.ends_with(".html"))
            ReadPage(file.string(), "/" + strRelative, report);
        else
            m_otherFiles.insert(strRelative);
    }
    return true;
}

bool CEncyclopediaPublisher::ReadPage(const std::string& strFile, const std::string& strURL,
                                      CPublishReport& report)
{
    CByteArray bytes;
    if (!CFileUtils::LoadAllBinFile(strFile, bytes))
    {
        report.Error(strFile, 0, "cannot be read");
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!CTextUtils::IsValidUtf8(text))
    {
        report.Error(strFile, 0, "is not valid UTF-8");
        return false;
    }
    CXmlDocPtr doc;
    if (!CXMLUtils::LoadHTMLDocumentContent(text, doc) || !xmlDocGetRootElement(doc.get()))
    {
        report.Error(strFile, 0, "is not a readable HTML page");
        return false;
    }
    CPageInfo& page = m_pages[strURL];
    page.m_strFile = strFile;
    ScanPage(xmlDocGetRootElement(doc.get()), page.m_ids, page.m_links, 0);
    page.m_strText = CXMLUtils::GetHtmlBodyText(doc.get());
    return true;
}

void CEncyclopediaPublisher::CheckCatalogue(const xmlNode* pRoot, const std::string& strFile,
                                            CPublishReport& report)
{
    for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
        CheckSection(pNode, 1, "", strFile, report);
}

void CEncyclopediaPublisher::CheckSection(const xmlNode* pNode, int nLevel,
                                          const std::string& strPageURL, const std::string& strFile,
                                          CPublishReport& report)
{
    if (pNode->type == XML_COMMENT_NODE || pNode->type == XML_PI_NODE)
        return;
    const long nLine = xmlGetLineNo(pNode);
    if (!IsElement(pNode))
    {
        report.Error(strFile, nLine, "text between sections would stop the client's reader");
        return;
    }
    ++m_nSections;
    const std::string strName = Attribute(pNode, "name");
    if (strName.empty())
        report.Error(strFile, nLine, "a section needs a \"name\"");
    std::string strPage = strPageURL;
    if (const std::string strURL = Attribute(pNode, "url"); !strURL.empty())
    {
        if (!strURL.starts_with('/') || !strURL.ends_with(".html"))
            report.Error(strFile, nLine,
                         "the url \"" + strURL + "\" must start with / and end with .html");
        else if (!m_pages.contains(strURL))
            report.Error(strFile, nLine, "no page pages" + strURL + " for the url");
        else if (!m_listedURLs.insert(strURL).second)
            report.Warning(strFile, nLine,
                           "a second section with the url " + strURL + " hides the first");
        strPage = strURL;
    }
    if (const std::string strAnchor = Attribute(pNode, "anchor"); !strAnchor.empty())
    {
        if (strPage.empty())
            report.Error(strFile, nLine, "the anchor \"" + strAnchor + "\" belongs to no page");
        else if (const auto it = m_pages.find(strPage);
                 it != m_pages.end() && !it->second.m_ids.contains(strAnchor))
            report.Error(strFile, nLine,
                         "the page " + strPage + " has no element with the id \"" + strAnchor +
                             "\"");
    }
    if (nLevel == 1)
    {
        const std::string strCode = Attribute(pNode, "code");
        if (strCode.empty())
            report.Warning(
                strFile, nLine,
                "a first-level section without a \"code\" cannot be opened from the home page");
        else if (!m_firstLevelCodes.emplace(strCode, nLine).second)
            report.Error(strFile, nLine, "the code \"" + strCode + "\" is used twice");
    }
    if (nLevel > kDeepestShownLevel)
        report.Warning(strFile, nLine,
                       "the navigator shows levels 2 to 4; this section is level " +
                           std::to_string(nLevel));
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
        CheckSection(pChild, nLevel + 1, strPage, strFile, report);
}

void CEncyclopediaPublisher::CheckLinks(CPublishReport& report) const
{
    for (const auto& [strURL, page] : m_pages)
    {
        for (const auto& [strHref, nLine] : page.m_links)
        {
            if (strHref.empty() || IsExternal(strHref))
                continue;
            std::string strTarget, strAnchor;
            if (!ResolveLink(strURL, strHref, strTarget, strAnchor))
            {
                report.Warning(page.m_strFile, nLine,
                               "the link \"" + strHref + "\" leads out of the pages");
                continue;
            }
            const auto it = m_pages.find("/" + strTarget);
            if (it == m_pages.end() && !m_otherFiles.contains(strTarget))
                report.Warning(page.m_strFile, nLine, "the link \"" + strHref + "\" leads nowhere");
            else if (it != m_pages.end() && !strAnchor.empty() &&
                     !it->second.m_ids.contains(strAnchor))
                report.Warning(page.m_strFile, nLine,
                               "the link \"" + strHref + "\" names a missing anchor");
        }
    }
}

bool CEncyclopediaPublisher::WriteContent(const std::string& strSource,
                                          const std::string& strContent, CPublishReport& report)
{
    const std::string strDocuments = strContent + "/Content/";
    if (!WriteEnciphered(strSource + "/encyclopedia.xml", strContent + "/encyclopedia.dat"))
    {
        report.Error(strContent, 0, "cannot write encyclopedia.dat");
        return false;
    }
    const std::size_t nFiles = m_pages.size() + m_otherFiles.size();
    std::size_t nWritten = 0;
    for (const auto& [strURL, page] : m_pages)
    {
        report.Progress("writing pages", "files", ++nWritten, nFiles);
        const std::string strTarget = strDocuments + strURL.substr(1, strURL.size() - 6) + ".dat";
        if (!WriteEnciphered(page.m_strFile, strTarget))
        {
            report.Error(strTarget, 0, "cannot be written");
            return false;
        }
    }
    for (const std::string& strFile : m_otherFiles)
    {
        report.Progress("writing pages", "files", ++nWritten, nFiles);
        if (!CFileUtils::CopyFile(strSource + "/pages/" + strFile, strDocuments + strFile))
        {
            report.Error(strDocuments + strFile, 0, "cannot be written");
            return false;
        }
    }
    const std::string strStyle = strSource + "/style.css";
    if (!CFileUtils::FileExists(strStyle))
        report.Note("style.css: not in the source, the pages have no style sheet");
    else if (!CFileUtils::CopyFile(strStyle, strDocuments + "online/styles/style.css"))
    {
        report.Error(strDocuments, 0, "cannot write the style sheet");
        return false;
    }
    return true;
}

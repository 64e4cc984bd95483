#pragma once

#include "XMLUtils.h"

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// One link of a shown document: the address as the page writes it (after the
// sample and download links were renamed) and where it leads.
struct CDocumentLink
{
    std::string m_strHref;
    // "/dir/page.html#anchor" for a page or file of the content, the address
    // itself for anything else (web and mail addresses, "about:" keys).
    std::string m_strTarget;
    std::string m_strText;
    bool m_bSeeAlso = false; // inside the page's "see also" block
};

// A content document as the client shows it. The page is deciphered in
// memory and parsed; what goes to the browser is made harmless, because pages
// arrive in update packages and are not trusted: no script of its own, no
// request that leaves the client, no navigation, form or pop-up of its own.
class CDocumentPage
{
public:
    CDocumentPage() = default;
    CDocumentPage(const CDocumentPage&) = delete;
    CDocumentPage& operator=(const CDocumentPage&) = delete;
    ~CDocumentPage();

    // Reads the enciphered page of a content address ("/dir/page.html" is
    // stored as "dir/page.dat" in the documents folder). False, and logged,
    // when the address leaves the folder or the page cannot be read.
    bool Load(const std::string& strDocumentsFolder, std::string_view url);
    // A page given as text (its address resolves the relative links).
    bool LoadHtml(std::string_view html, std::string_view url);

    // The page for the browser, UTF-8.
    std::string GetSafeHtml() const;
    // True when the page was longer than kMaxPageBytes and is shown cut,
    // with a note at its end.
    bool IsCut() const { return m_bCut; }
    // A page kept while another view is shown: a large one's parsed tree is
    // let go and its memory handed back (its links, samples and downloads
    // stay; its text is gone until it is loaded again). Ordinary pages stay
    // whole.
    void ReleaseIfLarge();
    // A part of a page the browser reports (a selection for the clipboard
    // or the word processor), cleaned as a page is.
    static std::string CleanSelection(std::string_view html);
    const std::vector<CDocumentLink>& GetLinks() const { return m_links; }
    // The renamed links of the page: "about:SAMPLE_n" / "about:DOWNLOAD_n" ->
    // the address they were written with.
    const std::map<std::string, std::string>& GetSamples() const { return m_samples; }
    const std::map<std::string, std::string>& GetDownloads() const { return m_downloads; }
    // The page's text, blanks collapsed, cut at about nMaxLength bytes on a
    // word boundary ("..." appended when cut). bWithoutTitle leaves out the
    // text of the page's first heading (h1) when the text starts with it.
    std::string GetText(std::size_t nMaxLength, bool bWithoutTitle = false) const;
    const std::string& GetUrl() const { return m_strUrl; }
    // The text of the page's parts: each anchor of the set (an element's id)
    // starts a part that runs to the next one; the text before the first is
    // under "".
    std::map<std::string, std::string> GetTextByAnchor(const std::set<std::string>& anchors) const;

    // Where an address written in the page at pageUrl leads (see CDocumentLink).
    static std::string ResolveLink(std::string_view pageUrl, std::string_view href);
    // The style sheet the client adds to every document (print layout).
    static constexpr const char* kClientStyleSheet = "/ui/document_view.css";
    // No page of the library comes near this size; a bigger one is damaged
    // or hostile, and only its start is shown.
    static constexpr std::size_t kMaxPageBytes = 8u << 20;
    static constexpr const char* kCutNoteId = "kalimor-cut-note";
    static constexpr const char* kCutNote =
        "Документ слишком велик и показан не полностью: показаны только первые 8 МБ.";

private:
    // Frees the tree (and hands a big page's memory back to the system).
    void Release();
    static constexpr std::size_t kTrimAfterBytes = 1u << 20;
    void CollectLinks(const xmlNode* pNode, bool bSeeAlso);

    CXmlDocPtr m_doc;
    std::string m_strUrl;
    std::size_t m_nSourceBytes = 0;
    bool m_bCut = false;
    std::vector<CDocumentLink> m_links;
    std::map<std::string, std::string> m_samples;
    std::map<std::string, std::string> m_downloads;
};

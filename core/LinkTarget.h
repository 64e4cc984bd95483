#pragma once

#include <string>
#include <string_view>

// What a link of a document, a news item or a form leads to.
enum class ELinkKind
{
    WEB,      // "http:" or "https:" with an address after it: the desktop's browser
    MAIL,     // "mailto:": the desktop's mail program
    SPECIAL,  // "about:": a key the page was given for one of its own links (a form's sample, its
              // file)
    DOCUMENT, // anything else: a page or file of the content
};

struct CLinkTarget
{
    ELinkKind m_eKind = ELinkKind::DOCUMENT;
    // The link names a picture (".jpg", ".png" anywhere in it, any case),
    // whatever its kind: a document shows it in the picture viewer.
    bool m_bPicture = false;
    // A document's address as the encyclopedia looks it up ("/dir/page.html"
    // or "/dir/page.html#anchor"): escapes decoded, a file URL turned into its
    // path, backslashes turned, the documents folder cut to "/". For the other
    // kinds the link as written.
    std::string m_strAddress;
    // A document's anchor, decoded; empty without one.
    std::string m_strAnchor;
};

// Classifies a link; documentsFolder ("/.../Content/"), when given, is cut
// from a document's absolute path.
CLinkTarget ClassifyLink(std::string_view url, std::string_view documentsFolder = {});
bool IsPictureUrl(std::string_view url);

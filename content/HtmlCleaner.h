#pragma once

#include "XMLUtils.h"

#include <optional>
#include <string>
#include <string_view>

// Makes package HTML harmless. The markup is parsed the way a browser parses
// it (an HTML5 tree builder, foreign SVG and MathML content included), only
// an allowlist of elements and attributes is carried into a libxml2 tree, and
// the browser gets that tree written out again by Serialize, which writes
// nothing that parses differently the second time. What comes out holds no
// script, handler, frame, form, base, meta refresh or target, and every
// address in it either stays on the client's own routes or is a link the
// client routes itself.
class CHtmlCleaner
{
public:
    // A whole page; null (logged) when it cannot be parsed.
    static CXmlDocPtr CleanDocument(std::string_view html);
    // A part of a page (a selection) as it would sit in a body, cleaned and
    // written out.
    static std::string CleanFragment(std::string_view html);
    // The node written as HTML; a document or the body gives its children.
    static std::string Serialize(const xmlNode* pNode);
    static std::string SerializeDocument(const xmlDoc* pDoc);

    // An address the browser would fetch by itself (src, srcset entries,
    // background, style sheets): kept only when it stays on the server the
    // page came from (no scheme, no host). The address as the browser reads
    // it (tabs and line breaks out, ends trimmed), or nothing.
    static std::optional<std::string> OwnResourceAddress(std::string_view value);
    // An address of a link: content links and anchors, web and mail
    // addresses (the client hands them to the desktop) and "about:" keys.
    static std::optional<std::string> RoutedLinkAddress(std::string_view value);
    // A srcset whose every address is an own resource.
    static bool IsOwnSourceSet(std::string_view value);
    // Style text that loads nothing from elsewhere and imports nothing.
    static bool IsSafeStyle(std::string_view css);
};

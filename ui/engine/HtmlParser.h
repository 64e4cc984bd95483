#pragma once

#include "DomNode.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Parsing pages and fragments into nodes (libxml2's HTML parser, which never
// touches the network) and writing nodes back as HTML.
class CHtmlParser
{
public:
    // A whole page: the <html> element with its head and body, or null when
    // the bytes hold nothing.
    static std::shared_ptr<CDomNode> ParseDocument(std::string_view html);
    // A fragment, as inner HTML of some element: the top-level nodes.
    static std::vector<std::shared_ptr<CDomNode>> ParseFragment(std::string_view html);
};

// Serialisation. With bUids every element carries its "data-uid" and its
// states as "data-state", and inputs their current values, for the browser.
class CHtmlWriter
{
public:
    static void WriteNode(const CDomNode& node, bool bUids, std::string& out);
    static void WriteChildren(const CDomNode& node, bool bUids, std::string& out);
    static std::string EscapeText(std::string_view text);
    static std::string EscapeAttribute(std::string_view text);
    static bool IsVoidElement(std::string_view tag);
    // "current checked" for the states that the page's style sheet sees.
    static std::string StateWords(unsigned nState);
    // What assistive technology and the keyboard must know of the states:
    // a disabled control says so and leaves the Tab order. These attributes
    // take the place of the node's own ones of the same names.
    static std::vector<std::pair<std::string_view, std::string_view>>
    StateAttributes(unsigned nState);
};

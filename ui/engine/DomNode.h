#pragma once

#include "DomEvent.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CHtmlDocument;

// Element states; they reach the page as the words of "data-state" (except
// hover and focus, which the browser keeps itself).
enum EElementState : unsigned
{
    STATE_HOVER = 0x0001,
    STATE_FOCUS = 0x0002,
    STATE_CURRENT = 0x0004,
    STATE_CHECKED = 0x0008,
    STATE_EXPANDED = 0x0010,
    STATE_COLLAPSED = 0x0020,
    STATE_DISABLED = 0x0040,
    STATE_HIDDEN = 0x0080,
    STATE_POPUP = 0x0100,
    STATE_PRESSED = 0x0200,
};

struct CRect
{
    int m_nLeft = 0;
    int m_nTop = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool operator==(const CRect&) const = default;
};

// One node of a document: an element, a text or a comment. Nodes are shared
// between their parent and the handles that refer to them, so a handle kept
// by a control stays valid (but detached) after its element left the tree.
class CDomNode
{
public:
    enum EType
    {
        ELEMENT,
        TEXT,
        COMMENT,
    };

    CDomNode(EType type, std::string strTagOrText);
    ~CDomNode();
    CDomNode(const CDomNode&) = delete;
    CDomNode& operator=(const CDomNode&) = delete;

    EType m_type;
    std::string m_strTag;  // lower case; empty for text and comments
    std::string m_strText; // text and comment nodes
    std::vector<std::pair<std::string, std::string>> m_attributes;
    std::vector<std::shared_ptr<CDomNode>> m_children;
    CDomNode* m_pParent = nullptr;
    CHtmlDocument* m_pDocument = nullptr;
    unsigned m_nUid = 0;
    unsigned m_nState = 0;
    std::string m_strValue; // control value of inputs and text areas
    // Element-level handlers, not owned (controls), and behaviors, owned.
    std::vector<CDomEventSink*> m_handlers;
    std::vector<std::unique_ptr<CDomEventSink>> m_behaviors;
    std::string m_strBehavior;

    const std::string* FindAttribute(std::string_view name) const;
    bool IsElement() const { return m_type == ELEMENT; }
    // True while the node hangs in its document's tree.
    bool IsInDocument() const;
    bool IsAncestorOf(const CDomNode* pNode) const;
};

// A handle to an element, the way window code holds elements. Empty handles
// are allowed everywhere and answer with empty results.
class CElement
{
public:
    CElement() = default;
    explicit CElement(std::shared_ptr<CDomNode> pNode) : m_pNode(std::move(pNode)) {}
    static CElement FromNode(CDomNode* pNode);

    bool IsValid() const { return m_pNode && m_pNode->IsElement(); }
    explicit operator bool() const { return IsValid(); }
    bool operator==(const CElement& other) const { return m_pNode == other.m_pNode; }
    CDomNode* GetNode() const { return m_pNode.get(); }
    const std::shared_ptr<CDomNode>& GetSharedNode() const { return m_pNode; }
    CHtmlDocument* GetDocument() const { return m_pNode ? m_pNode->m_pDocument : nullptr; }
    unsigned GetUid() const { return m_pNode ? m_pNode->m_nUid : 0; }

    std::string GetTag() const;
    std::string GetAttribute(std::string_view name) const;
    bool HasAttribute(std::string_view name) const;
    void SetAttribute(std::string_view name, std::string_view value);
    void RemoveAttribute(std::string_view name);
    std::string GetStyleAttribute(std::string_view name) const;
    void SetStyleAttribute(std::string_view name, std::string_view value);

    // The text of the element and its descendants.
    std::string GetText() const;
    void SetText(std::string_view text);
    // Inner and outer HTML, as the page would hold them (no uids).
    std::string GetHtml(bool bOuter = false) const;
    // Replaces the children by the parsed fragment; behaviors are attached to
    // the new elements. False when the element is empty.
    bool SetHtml(std::string_view html);

    CElement GetParent() const;
    std::size_t GetChildCount() const; // elements only
    CElement GetChild(std::size_t nIndex) const;
    std::size_t GetIndex() const; // among the parent's element children
    CElement CreateElement(std::string_view tag, std::string_view text = {}) const;
    // Inserts a node (new or taken from elsewhere) at the element index.
    bool Insert(CElement child, std::size_t nIndex);
    bool Append(CElement child) { return Insert(std::move(child), GetChildCount()); }
    // Removes the element from the tree; the handle stays usable.
    void Detach();
    void Delete() { Detach(); }

    // The first descendant (or the element itself) whose id attribute is id.
    CElement FindById(std::string_view id) const;
    // Descendants matching a simple CSS selector (see CSelector), in document order.
    std::vector<CElement> Select(std::string_view selector) const;
    CElement SelectFirst(std::string_view selector) const;
    // The nearest ancestor (or the element itself) matching the selector.
    CElement SelectParent(std::string_view selector) const;
    bool Matches(std::string_view selector) const;

    unsigned GetState() const { return m_pNode ? m_pNode->m_nState : 0; }
    bool HasState(unsigned nBits) const { return (GetState() & nBits) == nBits; }
    void SetState(unsigned nSet, unsigned nClear = 0);
    // Gives the element the keyboard, even when the engine thinks it has it
    // already (the browser may have moved it elsewhere since).
    void Focus();
    // Shown in the page: neither it nor an ancestor is hidden.
    bool IsVisible() const;
    bool IsEnabled() const;
    void SetVisible(bool bVisible);

    // Control values: the text of inputs and text areas, the check state of
    // check boxes (1 or 0).
    std::string GetValue() const;
    void SetValue(std::string_view value);
    int GetIntValue() const;
    void SetIntValue(int nValue);

    void ScrollToView() const;
    // The last size the browser reported for the element, relative to its
    // window; the element is measured from now on. Zero until reported.
    CRect GetLocation() const;

    // Element timers: the element's handlers get HANDLE_TIMER events with the
    // id every period; a period of 0 stops the timer.
    void SetTimer(unsigned nMilliseconds, unsigned nTimerId = 0);
    void ShowPopup(const CElement& anchor, int nPlacement = 2);
    void HidePopup();

    // Raises a behavior event with this element as target and source: Send
    // dispatches at once, Post after the event being handled now.
    bool SendEvent(unsigned nCode, unsigned nReason = 0, CElement source = {});
    void PostEvent(unsigned nCode, unsigned nReason = 0, CElement source = {});

    void AttachEventHandler(CDomEventSink* pHandler);
    void DetachEventHandler(CDomEventSink* pHandler);

private:
    std::shared_ptr<CDomNode> m_pNode;
};

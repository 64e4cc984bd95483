#include "DomNode.h"

#include "HtmlDocument.h"
#include "HtmlParser.h"
#include "Selector.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace
{
constexpr unsigned kSerializedStates = ~(STATE_HOVER | STATE_FOCUS);

void MarkDirty(const CDomNode* pNode, unsigned nWhat)
{
    if (pNode && pNode->m_pDocument && pNode->IsInDocument())
        pNode->m_pDocument->MarkDirty(*pNode, nWhat);
}

void CollectText(const CDomNode& node, std::string& out)
{
    if (node.m_type == CDomNode::TEXT)
        out += node.m_strText;
    for (const auto& pChild : node.m_children)
        CollectText(*pChild, out);
}

template <typename Visit> bool VisitElements(const CDomNode& node, Visit&& visit)
{
    for (const auto& pChild : node.m_children)
    {
        if (!pChild->IsElement())
            continue;
        if (visit(pChild) || VisitElements(*pChild, visit))
            return true;
    }
    return false;
}

bool IsCheckBox(const CDomNode& node)
{
    const std::string* pType = node.FindAttribute("type");
    return node.m_strTag == "input" && pType && (*pType == "checkbox" || *pType == "radio");
}
} // namespace

CDomNode::CDomNode(EType type, std::string strTagOrText) : m_type(type)
{
    if (type == ELEMENT)
        m_strTag = std::move(strTagOrText);
    else
        m_strText = std::move(strTagOrText);
}

CDomNode::~CDomNode()
{
    // A child that outlives this node (a control or a pending event still
    // holds it) becomes a detached root: a parent link never outlives the
    // parent, so walking up from any live node stays inside live nodes.
    for (const auto& pChild : m_children)
        if (pChild) // an include's children are moved out before it goes
            pChild->m_pParent = nullptr;
    // The document forgets the uid now, not at some later sweep: its map
    // holds live nodes only, and no record of it can reach this memory.
    if (m_pDocument)
        m_pDocument->ForgetNode(m_nUid);
}

const std::string* CDomNode::FindAttribute(std::string_view name) const
{
    for (const auto& [attrName, value] : m_attributes)
        if (attrName == name)
            return &value;
    return nullptr;
}

bool CDomNode::IsInDocument() const
{
    if (!m_pDocument)
        return false;
    const CDomNode* pTop = this;
    while (pTop->m_pParent)
        pTop = pTop->m_pParent;
    return pTop == m_pDocument->GetRoot().GetNode();
}

bool CDomNode::IsAncestorOf(const CDomNode* pNode) const
{
    for (; pNode; pNode = pNode->m_pParent)
        if (pNode == this)
            return true;
    return false;
}

CElement CElement::FromNode(CDomNode* pNode)
{
    if (!pNode || !pNode->m_pDocument)
        return {};
    return pNode->m_pDocument->GetElementByUid(pNode->m_nUid);
}

std::string CElement::GetTag() const
{
    return IsValid() ? m_pNode->m_strTag : std::string();
}

std::string CElement::GetAttribute(std::string_view name) const
{
    const std::string* pValue = IsValid() ? m_pNode->FindAttribute(name) : nullptr;
    return pValue ? *pValue : std::string();
}

bool CElement::HasAttribute(std::string_view name) const
{
    return IsValid() && m_pNode->FindAttribute(name) != nullptr;
}

void CElement::SetAttribute(std::string_view name, std::string_view value)
{
    if (!IsValid() || name.empty() || name == "data-uid")
        return;
    for (auto& [attrName, attrValue] : m_pNode->m_attributes)
        if (attrName == name)
        {
            if (attrValue == value)
                return;
            attrValue = value;
            MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_ATTRS);
            return;
        }
    m_pNode->m_attributes.emplace_back(name, value);
    MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_ATTRS);
}

void CElement::RemoveAttribute(std::string_view name)
{
    if (!IsValid())
        return;
    auto& attributes = m_pNode->m_attributes;
    const auto it = std::find_if(attributes.begin(), attributes.end(),
                                 [&](const auto& attr) { return attr.first == name; });
    if (it == attributes.end())
        return;
    attributes.erase(it);
    MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_ATTRS);
}

std::string CElement::GetStyleAttribute(std::string_view name) const
{
    const std::string style = GetAttribute("style");
    std::size_t nPos = 0;
    while (nPos < style.size())
    {
        std::size_t nEnd = style.find(';', nPos);
        if (nEnd == std::string::npos)
            nEnd = style.size();
        const std::string declaration = style.substr(nPos, nEnd - nPos);
        const auto nColon = declaration.find(':');
        if (nColon != std::string::npos)
        {
            std::string key = declaration.substr(0, nColon);
            std::erase(key, ' ');
            if (key == name)
            {
                std::string value = declaration.substr(nColon + 1);
                while (!value.empty() && value.front() == ' ')
                    value.erase(0, 1);
                while (!value.empty() && value.back() == ' ')
                    value.pop_back();
                return value;
            }
        }
        nPos = nEnd + 1;
    }
    return {};
}

void CElement::SetStyleAttribute(std::string_view name, std::string_view value)
{
    if (!IsValid())
        return;
    const std::string style = GetAttribute("style");
    std::string out;
    std::size_t nPos = 0;
    while (nPos < style.size())
    {
        std::size_t nEnd = style.find(';', nPos);
        if (nEnd == std::string::npos)
            nEnd = style.size();
        std::string declaration = style.substr(nPos, nEnd - nPos);
        const auto nColon = declaration.find(':');
        std::string key = nColon == std::string::npos ? declaration : declaration.substr(0, nColon);
        std::erase(key, ' ');
        if (!key.empty() && key != name)
            out += declaration + ";";
        nPos = nEnd + 1;
    }
    if (!value.empty())
        out += std::string(name) + ":" + std::string(value) + ";";
    SetAttribute("style", out);
}

std::string CElement::GetText() const
{
    std::string text;
    if (IsValid())
        CollectText(*m_pNode, text);
    return text;
}

void CElement::SetText(std::string_view text)
{
    if (!IsValid())
        return;
    for (auto& pChild : m_pNode->m_children)
        pChild->m_pParent = nullptr;
    m_pNode->m_children.clear();
    if (!text.empty())
    {
        auto pText = std::make_shared<CDomNode>(CDomNode::TEXT, std::string(text));
        pText->m_pParent = m_pNode.get();
        if (CHtmlDocument* pDocument = m_pNode->m_pDocument)
            pDocument->Adopt(pText); // every node of a document is known by its uid
        m_pNode->m_children.push_back(std::move(pText));
    }
    MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_CONTENT);
}

std::string CElement::GetHtml(bool bOuter) const
{
    std::string html;
    if (!IsValid())
        return html;
    if (bOuter)
        CHtmlWriter::WriteNode(*m_pNode, false, html);
    else
        CHtmlWriter::WriteChildren(*m_pNode, false, html);
    return html;
}

bool CElement::SetHtml(std::string_view html)
{
    if (!IsValid())
        return false;
    for (auto& pChild : m_pNode->m_children)
        pChild->m_pParent = nullptr;
    m_pNode->m_children.clear();
    for (auto& pChild : CHtmlParser::ParseFragment(html))
    {
        pChild->m_pParent = m_pNode.get();
        m_pNode->m_children.push_back(std::move(pChild));
    }
    if (CHtmlDocument* pDocument = m_pNode->m_pDocument)
    {
        for (auto& pChild : m_pNode->m_children)
        {
            pDocument->Adopt(pChild);
            pDocument->AttachBehaviors(*pChild);
        }
    }
    MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_CONTENT);
    return true;
}

CElement CElement::GetParent() const
{
    return IsValid() ? FromNode(m_pNode->m_pParent) : CElement();
}

std::size_t CElement::GetChildCount() const
{
    if (!IsValid())
        return 0;
    return static_cast<std::size_t>(std::count_if(m_pNode->m_children.begin(),
                                                  m_pNode->m_children.end(),
                                                  [](const auto& p) { return p->IsElement(); }));
}

CElement CElement::GetChild(std::size_t nIndex) const
{
    if (!IsValid())
        return {};
    for (const auto& pChild : m_pNode->m_children)
        if (pChild->IsElement() && nIndex-- == 0)
            return CElement(pChild);
    return {};
}

std::size_t CElement::GetIndex() const
{
    if (!IsValid() || !m_pNode->m_pParent)
        return 0;
    std::size_t nIndex = 0;
    for (const auto& pChild : m_pNode->m_pParent->m_children)
    {
        if (pChild == m_pNode)
            return nIndex;
        if (pChild->IsElement())
            ++nIndex;
    }
    return 0;
}

CElement CElement::CreateElement(std::string_view tag, std::string_view text) const
{
    auto pNode = std::make_shared<CDomNode>(CDomNode::ELEMENT, std::string(tag));
    if (!text.empty())
    {
        auto pText = std::make_shared<CDomNode>(CDomNode::TEXT, std::string(text));
        pText->m_pParent = pNode.get();
        pNode->m_children.push_back(std::move(pText));
    }
    if (CHtmlDocument* pDocument = GetDocument())
        pDocument->Adopt(pNode);
    return CElement(std::move(pNode));
}

bool CElement::Insert(CElement child, std::size_t nIndex)
{
    if (!IsValid() || !child.IsValid() || child.m_pNode->IsAncestorOf(m_pNode.get()))
        return false;
    child.Detach();
    auto& children = m_pNode->m_children;
    auto it = children.begin();
    for (std::size_t n = 0; it != children.end(); ++it)
        if ((*it)->IsElement() && n++ == nIndex)
            break;
    const bool bAtEnd = it == children.end();
    child.m_pNode->m_pParent = m_pNode.get();
    children.insert(it, child.m_pNode);
    CHtmlDocument* pDocument = GetDocument();
    if (pDocument)
    {
        if (child.m_pNode->m_pDocument != pDocument || child.m_pNode->m_nUid == 0)
            pDocument->Adopt(child.m_pNode);
        pDocument->AttachBehaviors(*child.m_pNode);
    }
    if (bAtEnd && pDocument && m_pNode->IsInDocument())
        pDocument->MarkAppended(*m_pNode, child.m_pNode);
    else
        MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_CONTENT);
    return true;
}

void CElement::Detach()
{
    if (!m_pNode || !m_pNode->m_pParent)
        return;
    CDomNode* pParent = m_pNode->m_pParent;
    MarkDirty(pParent, CHtmlDocument::DIRTY_CONTENT);
    if (m_pNode->m_pDocument)
        m_pNode->m_pDocument->AfterElementRemoved(*m_pNode);
    auto& siblings = pParent->m_children;
    const auto it = std::find(siblings.begin(), siblings.end(), m_pNode);
    m_pNode->m_pParent = nullptr;
    if (it != siblings.end())
        siblings.erase(it);
}

CElement CElement::FindById(std::string_view id) const
{
    if (!IsValid())
        return {};
    const std::string* pOwn = m_pNode->FindAttribute("id");
    if (pOwn && *pOwn == id)
        return *this;
    CElement found;
    VisitElements(*m_pNode, [&](const std::shared_ptr<CDomNode>& pNode) {
        const std::string* pId = pNode->FindAttribute("id");
        if (pId && *pId == id)
        {
            found = CElement(pNode);
            return true;
        }
        return false;
    });
    return found;
}

std::vector<CElement> CElement::Select(std::string_view selectorText) const
{
    std::vector<CElement> found;
    const CSelector selector(selectorText);
    if (!IsValid() || !selector.IsValid())
        return found;
    VisitElements(*m_pNode, [&](const std::shared_ptr<CDomNode>& pNode) {
        if (selector.Matches(*pNode))
            found.emplace_back(pNode);
        return false;
    });
    return found;
}

CElement CElement::SelectFirst(std::string_view selectorText) const
{
    const CSelector selector(selectorText);
    CElement found;
    if (!IsValid() || !selector.IsValid())
        return found;
    VisitElements(*m_pNode, [&](const std::shared_ptr<CDomNode>& pNode) {
        if (!selector.Matches(*pNode))
            return false;
        found = CElement(pNode);
        return true;
    });
    return found;
}

CElement CElement::SelectParent(std::string_view selectorText) const
{
    const CSelector selector(selectorText);
    if (!selector.IsValid())
        return {};
    for (CDomNode* pNode = m_pNode.get(); pNode; pNode = pNode->m_pParent)
        if (selector.Matches(*pNode))
            return pNode == m_pNode.get() ? *this : FromNode(pNode);
    return {};
}

bool CElement::Matches(std::string_view selectorText) const
{
    const CSelector selector(selectorText);
    return IsValid() && selector.IsValid() && selector.Matches(*m_pNode);
}

void CElement::SetState(unsigned nSet, unsigned nClear)
{
    if (!IsValid())
        return;
    const unsigned nOld = m_pNode->m_nState;
    m_pNode->m_nState = (nOld & ~nClear) | nSet;
    if ((nOld ^ m_pNode->m_nState) & kSerializedStates)
        MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_ATTRS);
    if ((m_pNode->m_nState & STATE_FOCUS) && !(nOld & STATE_FOCUS) && GetDocument())
        GetDocument()->AddCommand({{"op", "focus"}, {"uid", m_pNode->m_nUid}});
}

void CElement::Focus()
{
    CHtmlDocument* pDocument = IsValid() ? GetDocument() : nullptr;
    if (!pDocument)
        return;
    // The engine moves it as the browser will (the others lose it, with
    // their events), then the browser is told.
    const unsigned nUid = m_pNode->m_nUid;
    pDocument->RaiseFocus(nUid);
    pDocument->AddCommand({{"op", "focus"}, {"uid", nUid}});
}

bool CElement::IsVisible() const
{
    if (!IsValid())
        return false;
    for (const CDomNode* pNode = m_pNode.get(); pNode; pNode = pNode->m_pParent)
    {
        if (pNode->m_nState & STATE_HIDDEN)
            return false;
        const std::string* pStyle = pNode->FindAttribute("style");
        if (pStyle && (pStyle->find("display:none") != std::string::npos ||
                       pStyle->find("display: none") != std::string::npos))
            return false;
    }
    return true;
}

bool CElement::IsEnabled() const
{
    if (!IsValid())
        return false;
    for (const CDomNode* pNode = m_pNode.get(); pNode; pNode = pNode->m_pParent)
        if ((pNode->m_nState & STATE_DISABLED) || pNode->FindAttribute("disabled"))
            return false;
    return true;
}

void CElement::SetVisible(bool bVisible)
{
    if (bVisible)
        SetState(0, STATE_HIDDEN);
    else
        SetState(STATE_HIDDEN);
}

std::string CElement::GetValue() const
{
    if (!IsValid())
        return {};
    if (IsCheckBox(*m_pNode))
        return (m_pNode->m_nState & STATE_CHECKED) ? "1" : "0";
    if (m_pNode->m_strTag == "input" || m_pNode->m_strTag == "textarea")
        return m_pNode->m_strValue;
    return GetText();
}

void CElement::SetValue(std::string_view value)
{
    if (!IsValid())
        return;
    if (IsCheckBox(*m_pNode))
    {
        const bool bChecked = !value.empty() && value != "0";
        SetState(bChecked ? unsigned(STATE_CHECKED) : 0u, bChecked ? 0u : unsigned(STATE_CHECKED));
        return;
    }
    if (m_pNode->m_strTag == "input" || m_pNode->m_strTag == "textarea")
    {
        if (m_pNode->m_strValue == value)
            return;
        m_pNode->m_strValue = value;
        MarkDirty(m_pNode.get(), CHtmlDocument::DIRTY_VALUE);
        return;
    }
    SetText(value);
}

int CElement::GetIntValue() const
{
    const std::string value = GetValue();
    try
    {
        return value.empty() ? 0 : std::stoi(value);
    }
    catch (const std::exception&)
    {
        return 0;
    }
}

void CElement::SetIntValue(int nValue)
{
    if (IsValid() && !IsCheckBox(*m_pNode) && m_pNode->m_strTag != "input" &&
        m_pNode->m_strTag != "textarea")
    {
        // A button's integer value is its check state.
        SetState(nValue ? unsigned(STATE_CHECKED) : 0u, nValue ? 0u : unsigned(STATE_CHECKED));
        return;
    }
    SetValue(std::to_string(nValue));
}

void CElement::ScrollToView() const
{
    if (IsValid() && GetDocument())
        GetDocument()->AddCommand({{"op", "scroll"}, {"uid", m_pNode->m_nUid}});
}

CRect CElement::GetLocation() const
{
    if (!IsValid() || !GetDocument())
        return {};
    return GetDocument()->GetElementRect(m_pNode->m_nUid);
}

void CElement::SetTimer(unsigned nMilliseconds, unsigned nTimerId)
{
    if (IsValid() && GetDocument())
        GetDocument()->StartElementTimer(*m_pNode, nMilliseconds, nTimerId);
}

void CElement::ShowPopup(const CElement& anchor, int nPlacement)
{
    if (!IsValid() || !GetDocument())
        return;
    SetState(STATE_POPUP);
    GetDocument()->AddCommand({{"op", "popup"},
                               {"uid", m_pNode->m_nUid},
                               {"anchor", anchor.GetUid()},
                               {"placement", nPlacement}});
}

void CElement::HidePopup()
{
    if (!IsValid() || !GetDocument() || !(m_pNode->m_nState & STATE_POPUP))
        return;
    SetState(0, STATE_POPUP);
    GetDocument()->AddCommand({{"op", "hidepopup"}, {"uid", m_pNode->m_nUid}});
}

bool CElement::SendEvent(unsigned nCode, unsigned nReason, CElement source)
{
    if (!IsValid() || !GetDocument())
        return false;
    CDomEvent event;
    event.m_nGroup = HANDLE_BEHAVIOR_EVENT;
    event.m_nCode = nCode;
    event.m_nReason = nReason;
    event.m_pTarget = m_pNode.get();
    event.m_pSource = source.IsValid() ? source.GetNode() : m_pNode.get();
    return GetDocument()->DispatchEvent(event);
}

void CElement::PostEvent(unsigned nCode, unsigned nReason, CElement source)
{
    if (!IsValid() || !GetDocument())
        return;
    CDomEvent event;
    event.m_nGroup = HANDLE_BEHAVIOR_EVENT;
    event.m_nCode = nCode;
    event.m_nReason = nReason;
    event.m_pTarget = m_pNode.get();
    event.m_pSource = source.IsValid() ? source.GetNode() : m_pNode.get();
    GetDocument()->PostEvent(event);
}

void CElement::AttachEventHandler(CDomEventSink* pHandler)
{
    if (!IsValid() || !pHandler)
        return;
    auto& handlers = m_pNode->m_handlers;
    if (std::find(handlers.begin(), handlers.end(), pHandler) == handlers.end())
        handlers.push_back(pHandler);
}

void CElement::DetachEventHandler(CDomEventSink* pHandler)
{
    if (!m_pNode)
        return;
    std::erase(m_pNode->m_handlers, pHandler);
}

#include "HtmlDocument.h"

#include "HtmlParser.h"
#include "Logger.h"
#include "MessageLoop.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace
{
constexpr int kMaxIncludeDepth = 8;
// What a page that reloads must replay (the bridge keeps every patch of a
// window since its last whole page) is bounded by count and by bytes: past
// either, the whole page goes along again and the bridge drops the rest.
constexpr std::size_t kMaxOpsBeforeFull = 400;
constexpr std::size_t kMaxBytesBeforeFull = std::size_t{256} * 1024;

// The engine's own "button": a main-button press and release on the element,
// or Space/Enter while it has the focus, raise BUTTON_CLICK.
class CButtonBehavior : public CDomEventSink
{
public:
    explicit CButtonBehavior(bool bCheck) : m_bCheck(bCheck) {}

    bool HandleDomEvent(CDomEvent& event) override
    {
        CElement self = CElement::FromNode(event.m_pHandlerElement);
        if (!self.IsValid() || !self.IsEnabled())
            return false;
        if (event.m_nGroup == HANDLE_MOUSE && (event.m_nButtons & MAIN_MOUSE_BUTTON))
        {
            if (event.m_nCode == MOUSE_DOWN)
            {
                self.SetState(STATE_PRESSED);
                return false;
            }
            if (event.m_nCode == MOUSE_UP && self.HasState(STATE_PRESSED))
            {
                self.SetState(0, STATE_PRESSED);
                Click(self, 0);
            }
            return false;
        }
        if (event.m_nGroup == HANDLE_KEY && event.m_nCode == KEY_DOWN &&
            event.m_pTarget == event.m_pHandlerElement &&
            (event.m_nKeyCode == VK_SPACE || event.m_nKeyCode == VK_RETURN))
        {
            Click(self, 1);
            return true;
        }
        return false;
    }

private:
    void Click(CElement& self, unsigned nReason)
    {
        if (m_bCheck)
        {
            self.SetState(self.HasState(STATE_CHECKED) ? 0u : unsigned(STATE_CHECKED),
                          self.HasState(STATE_CHECKED) ? unsigned(STATE_CHECKED) : 0u);
            self.PostEvent(BUTTON_STATE_CHANGED, nReason);
        }
        self.PostEvent(BUTTON_CLICK, nReason);
    }

    bool m_bCheck;
};

std::string DefaultBehavior(const CDomNode& node)
{
    const std::string* pType = node.FindAttribute("type");
    const std::string type = pType ? *pType : std::string();
    if (node.m_strTag == "button")
        return "button";
    if (node.m_strTag == "input")
    {
        if (type == "button" || type == "submit" || type == "reset")
            return "button";
        if (type == "checkbox" || type == "radio")
            return "check";
        return "edit";
    }
    if (node.m_strTag == "textarea")
        return "edit";
    return {};
}

// The path from the target up to the root, kept alive while handlers run,
// since a handler may replace the very elements the event is travelling on.
std::vector<std::shared_ptr<CDomNode>> PathToRoot(const CHtmlDocument& document, CDomNode* pTarget)
{
    std::vector<std::shared_ptr<CDomNode>> path;
    for (CDomNode* pNode = pTarget; pNode; pNode = pNode->m_pParent)
    {
        CElement element = document.GetElementByUid(pNode->m_nUid);
        if (element.GetNode() == pNode)
            path.push_back(element.GetSharedNode());
    }
    return path;
}
} // namespace

CHtmlDocument::CHtmlDocument() : m_pAlive(std::make_shared<bool>(true)) {}

CHtmlDocument::~CHtmlDocument()
{
    if (auto* pLoop = CMessageLoop::GetCurrent())
        for (const auto& [key, nLoopTimer] : m_timers)
            pLoop->KillTimer(nLoopTimer);
    // Handles kept by controls may outlive the document: cut them loose.
    // Nodes that die with the document afterwards no longer report to it.
    std::vector<std::shared_ptr<CDomNode>> live;
    live.reserve(m_uids.size());
    for (auto& [nUid, pWeak] : m_uids)
        if (auto pNode = pWeak.lock())
            live.push_back(std::move(pNode));
    for (const auto& pNode : live)
    {
        pNode->m_pDocument = nullptr;
        pNode->m_handlers.clear();
    }
    m_uids.clear();
}

bool CHtmlDocument::LoadHtml(std::string_view html)
{
    auto pRoot = CHtmlParser::ParseDocument(html);
    if (!pRoot)
        return false;
    if (auto* pLoop = CMessageLoop::GetCurrent())
        for (const auto& [key, nLoopTimer] : m_timers)
            pLoop->KillTimer(nLoopTimer);
    m_timers.clear();
    m_hovered.clear();
    m_pRoot = std::move(pRoot);
    m_behaviors = CCssBehaviors();
    m_dirty.clear();
    m_commands.clear();
    m_rects.clear();
    m_measured.clear();
    m_bFullPending = true;
    ResolveIncludes(*m_pRoot, 0);
    Adopt(m_pRoot);
    LoadStyleSheets(*m_pRoot);
    AttachBehaviors(*m_pRoot);
    if (m_callback)
    {
        CEngineNotification notification;
        notification.m_nCode = HLN_DOCUMENT_COMPLETE;
        m_callback(notification);
    }
    return true;
}

bool CHtmlDocument::DataReady(std::string_view uri, std::span<const std::uint8_t> data)
{
    if (uri != m_strPendingUri)
        return false;
    m_strPendingData.assign(data.begin(), data.end());
    m_bPendingDelivered = true;
    return true;
}

bool CHtmlDocument::RequestData(std::string_view uri, unsigned nType, std::string& data)
{
    if (!m_callback || uri.empty())
        return false;
    CEngineNotification notification;
    notification.m_nCode = HLN_LOAD_DATA;
    notification.m_strUri = uri;
    notification.m_nDataType = nType;
    m_strPendingUri = uri;
    m_strPendingData.clear();
    m_bPendingDelivered = false;
    const unsigned nResult = m_callback(notification);
    const bool bLoaded = nResult == LOAD_OK && m_bPendingDelivered;
    if (bLoaded)
        data = std::move(m_strPendingData);
    m_strPendingUri.clear();
    m_strPendingData.clear();
    m_bPendingDelivered = false;
    return bLoaded;
}

void CHtmlDocument::ResolveIncludes(CDomNode& node, int nDepth)
{
    for (std::size_t i = 0; i < node.m_children.size(); ++i)
    {
        CDomNode& child = *node.m_children[i];
        if (!child.IsElement())
            continue;
        if (child.m_strTag != "include")
        {
            ResolveIncludes(child, nDepth);
            continue;
        }
        const std::string* pSrc = child.FindAttribute("src");
        std::string data;
        // The included nodes may include in turn (up to a depth), so they
        // are resolved in a holder of their own before they take its place.
        CDomNode holder(CDomNode::ELEMENT, "div");
        if (nDepth < kMaxIncludeDepth && pSrc && RequestData(*pSrc, HLRT_DATA_HTML, data))
            holder.m_children = CHtmlParser::ParseFragment(data);
        for (auto& pPart : holder.m_children)
            pPart->m_pParent = &holder;
        ResolveIncludes(holder, nDepth + 1);
        // The parser does not know <include> as an empty element and puts
        // what follows it inside: that stays, after the included part.
        std::vector<std::shared_ptr<CDomNode>> parts = std::move(holder.m_children);
        for (auto& pInner : child.m_children)
            parts.push_back(std::move(pInner));
        const auto self = node.m_children[i]; // keeps child alive while it is replaced
        node.m_children.erase(node.m_children.begin() + static_cast<std::ptrdiff_t>(i));
        for (auto& pPart : parts)
            pPart->m_pParent = &node;
        node.m_children.insert(node.m_children.begin() + static_cast<std::ptrdiff_t>(i),
                               parts.begin(), parts.end());
        // The include's own children come next in this loop, at this depth.
        --i;
    }
}

void CHtmlDocument::LoadStyleSheets(CDomNode& node)
{
    for (const auto& pChild : node.m_children)
    {
        if (!pChild->IsElement())
            continue;
        if (pChild->m_strTag == "style")
        {
            std::string css;
            for (const auto& pText : pChild->m_children)
                css += pText->m_strText;
            AddStyleSheetText(css, 0);
        }
        else if (pChild->m_strTag == "link")
        {
            const std::string* pRel = pChild->FindAttribute("rel");
            const std::string* pHref = pChild->FindAttribute("href");
            std::string css;
            if (pRel && *pRel == "stylesheet" && pHref && RequestData(*pHref, HLRT_DATA_STYLE, css))
                AddStyleSheetText(css, 1);
        }
        else
            LoadStyleSheets(*pChild);
    }
}

void CHtmlDocument::AddStyleSheetText(std::string_view css, int nDepth)
{
    if (nDepth < kMaxIncludeDepth)
        for (const auto& name : CCssBehaviors::FindImports(css))
        {
            std::string imported;
            if (RequestData(name, HLRT_DATA_STYLE, imported))
                AddStyleSheetText(imported, nDepth + 1);
        }
    m_behaviors.AddStyleSheet(css);
}

void CHtmlDocument::Adopt(const std::shared_ptr<CDomNode>& pNode)
{
    // Nodes new to this document (parsed, created, or moved from another
    // window) get fresh uids; nodes of this document keep theirs. A walk of
    // our own, not a recursion: the subtree is owned by pNode throughout and
    // nothing here frees a node.
    std::vector<const std::shared_ptr<CDomNode>*> pending{&pNode};
    while (!pending.empty())
    {
        const std::shared_ptr<CDomNode>& pCurrent = *pending.back();
        pending.pop_back();
        if (pCurrent->m_pDocument != this || pCurrent->m_nUid == 0)
        {
            if (pCurrent->m_pDocument)
                pCurrent->m_pDocument->ForgetNode(pCurrent->m_nUid); // moved from another window
            pCurrent->m_nUid = m_nNextUid++;
        }
        pCurrent->m_pDocument = this;
        m_uids[pCurrent->m_nUid] = pCurrent;
        for (const auto& pChild : pCurrent->m_children)
            pending.push_back(&pChild);
    }
}

void CHtmlDocument::ForgetNode(unsigned nUid)
{
    m_uids.erase(nUid);
    // Pending patches, sizes and measures of a node that is gone can never
    // be sent or asked for again.
    m_dirty.erase(nUid);
    m_appended.erase(nUid);
    m_rects.erase(nUid);
    m_measured.erase(nUid);
    for (auto it = m_timers.lower_bound({nUid, 0});
         it != m_timers.end() && it->first.first == nUid;)
    {
        if (CMessageLoop* pLoop = CMessageLoop::GetCurrent())
            pLoop->KillTimer(it->second);
        it = m_timers.erase(it);
    }
}

void CHtmlDocument::AttachBehaviors(CDomNode& node)
{
    if (node.IsElement() && node.m_strBehavior.empty())
    {
        std::string name = m_behaviors.FindBehavior(node);
        if (name.empty())
            name = DefaultBehavior(node);
        if (!name.empty() && name != "none")
        {
            node.m_strBehavior = name;
            CEngineNotification notification;
            notification.m_nCode = HLN_ATTACH_BEHAVIOR;
            notification.m_element = GetElementByUid(node.m_nUid);
            notification.m_strBehavior = name;
            if (m_callback)
                m_callback(notification);
            if (notification.m_pBehavior)
            {
                CElement self = notification.m_element;
                node.m_behaviors.push_back(std::move(notification.m_pBehavior));
                node.m_behaviors.back()->OnBehaviorAttached(self);
            }
            else
                AttachBuiltInBehavior(node, name);
        }
    }
    for (const auto& pChild : node.m_children)
        AttachBehaviors(*pChild);
}

void CHtmlDocument::AttachBuiltInBehavior(CDomNode& node, const std::string& name)
{
    if (name == "button")
        node.m_behaviors.push_back(std::make_unique<CButtonBehavior>(false));
    else if (name == "check")
        node.m_behaviors.push_back(std::make_unique<CButtonBehavior>(true));
    // "edit": values arrive with RaiseInput; nothing to attach.
}

CElement CHtmlDocument::GetRoot() const
{
    return CElement(m_pRoot);
}

CElement CHtmlDocument::GetElementByUid(unsigned nUid) const
{
    if (m_pRoot && m_pRoot->m_nUid == nUid)
        return CElement(m_pRoot);
    const auto it = m_uids.find(nUid);
    if (it == m_uids.end())
        return {};
    return CElement(it->second.lock());
}

void CHtmlDocument::AttachWindowHandler(CDomEventSink* pHandler)
{
    if (pHandler && std::find(m_windowHandlers.begin(), m_windowHandlers.end(), pHandler) ==
                        m_windowHandlers.end())
        m_windowHandlers.push_back(pHandler);
}

void CHtmlDocument::DetachWindowHandler(CDomEventSink* pHandler)
{
    std::erase(m_windowHandlers, pHandler);
}

bool CHtmlDocument::Deliver(CDomEvent& event, const std::vector<std::shared_ptr<CDomNode>>& path)
{
    for (const auto& pNode : path)
    {
        event.m_pHandlerElement = pNode.get();
        // Behaviors first, then the handlers that code attached. A handler may
        // detach others (or itself) while it runs: each is looked up again.
        for (std::size_t i = 0; i < pNode->m_behaviors.size(); ++i)
        {
            CDomEventSink* pSink = pNode->m_behaviors[i].get();
            if ((pSink->GetSubscription() & event.m_nGroup) == event.m_nGroup &&
                pSink->HandleDomEvent(event))
                return true;
        }
        const std::vector<CDomEventSink*> handlers = pNode->m_handlers;
        for (CDomEventSink* pSink : handlers)
        {
            if (std::find(pNode->m_handlers.begin(), pNode->m_handlers.end(), pSink) ==
                pNode->m_handlers.end())
                continue;
            if ((pSink->GetSubscription() & event.m_nGroup) == event.m_nGroup &&
                pSink->HandleDomEvent(event))
                return true;
        }
    }
    event.m_pHandlerElement = m_pRoot.get();
    const std::vector<CDomEventSink*> handlers = m_windowHandlers;
    for (CDomEventSink* pSink : handlers)
    {
        if (std::find(m_windowHandlers.begin(), m_windowHandlers.end(), pSink) ==
            m_windowHandlers.end())
            continue;
        if ((pSink->GetSubscription() & event.m_nGroup) == event.m_nGroup &&
            pSink->HandleDomEvent(event))
            return true;
    }
    return false;
}

bool CHtmlDocument::DispatchEvent(CDomEvent& event)
{
    if (!event.m_pTarget || !m_pRoot)
        return false;
    const auto path = PathToRoot(*this, event.m_pTarget);
    if (path.empty())
        return false;
    ++m_nDispatchDepth;
    const bool bHandled = Deliver(event, path);
    --m_nDispatchDepth;
    if (m_nDispatchDepth == 0)
        DrainPosted();
    return bHandled;
}

void CHtmlDocument::PostEvent(CDomEvent event)
{
    CElement target = GetElementByUid(event.m_pTarget ? event.m_pTarget->m_nUid : 0);
    if (!target.IsValid() || target.GetNode() != event.m_pTarget)
        return;
    CElement source = GetElementByUid(event.m_pSource ? event.m_pSource->m_nUid : 0);
    if (source.GetNode() != event.m_pSource)
        event.m_pSource = nullptr; // not a node of this document
    m_posted.push_back({std::move(event), target.GetSharedNode(), source.GetSharedNode()});
    if (m_nDispatchDepth > 0)
        return; // runs when the current event is done
    if (auto* pLoop = CMessageLoop::GetCurrent())
    {
        std::weak_ptr<bool> alive = m_pAlive;
        pLoop->PostTask([this, alive] {
            if (!alive.expired())
                DrainPosted();
        });
    }
    else
        DrainPosted();
}

void CHtmlDocument::DrainPosted()
{
    while (!m_posted.empty())
    {
        CPostedEvent posted = std::move(m_posted.front());
        m_posted.erase(m_posted.begin());
        if (posted.m_pTarget->IsInDocument())
            DispatchEvent(posted.m_event);
    }
}

bool CHtmlDocument::UpdateHover(CDomNode* pTarget)
{
    // The elements under the cursor, from the root down; each one that the
    // cursor left gets MOUSE_LEAVE and each one it entered MOUSE_ENTER, with
    // itself as target, as the pages' behaviors expect.
    std::vector<std::shared_ptr<CDomNode>> chain =
        pTarget ? PathToRoot(*this, pTarget) : decltype(chain)();
    std::reverse(chain.begin(), chain.end());
    const auto contains = [](const auto& list, const std::shared_ptr<CDomNode>& pNode) {
        return std::find(list.begin(), list.end(), pNode) != list.end();
    };
    // The elements last under the cursor are not kept alive for this: one
    // that a rebuild freed meanwhile gets no MOUSE_LEAVE.
    std::vector<std::shared_ptr<CDomNode>> old;
    for (const auto& pWeak : m_hovered)
        if (auto pNode = pWeak.lock())
            old.push_back(std::move(pNode));
    m_hovered.assign(chain.begin(), chain.end());
    bool bHandled = false;
    for (auto it = old.rbegin(); it != old.rend(); ++it)
        if (!contains(chain, *it) && (*it)->IsInDocument())
        {
            CElement(*it).SetState(0, STATE_HOVER);
            bHandled |= RaiseHoverEvent(**it, MOUSE_LEAVE);
        }
    for (const auto& pNode : chain)
        if (!contains(old, pNode) && pNode->IsInDocument())
        {
            CElement(pNode).SetState(STATE_HOVER);
            bHandled |= RaiseHoverEvent(*pNode, MOUSE_ENTER);
        }
    return bHandled;
}

bool CHtmlDocument::RaiseHoverEvent(CDomNode& node, unsigned nCode)
{
    CDomEvent event;
    event.m_nGroup = HANDLE_MOUSE;
    event.m_nCode = nCode;
    event.m_pTarget = &node;
    return DispatchEvent(event);
}

bool CHtmlDocument::RaiseMouse(unsigned nUid, unsigned nCode, unsigned nButtons, int nX, int nY,
                               int nWheel)
{
    CElement target = GetElementByUid(nUid);
    if (nCode == MOUSE_LEAVE)
        return UpdateHover(nullptr); // the cursor left the window
    if (!target.IsValid() || !target.GetNode()->IsInDocument())
        return false;
    if (nCode == MOUSE_ENTER)
        return UpdateHover(target.GetNode());
    CDomEvent event;
    event.m_nGroup = HANDLE_MOUSE;
    event.m_nCode = nCode;
    event.m_pTarget = target.GetNode();
    event.m_nButtons = nButtons;
    event.m_nX = nX;
    event.m_nY = nY;
    event.m_nWheelDelta = nWheel;
    return DispatchEvent(event);
}

bool CHtmlDocument::RaiseKey(unsigned nUid, unsigned nCode, unsigned nKeyCode, unsigned nKeys)
{
    CElement target = GetElementByUid(nUid);
    if (!target.IsValid() || !target.GetNode()->IsInDocument())
        target = GetRoot();
    if (!target.IsValid())
        return false;
    CDomEvent event;
    event.m_nGroup = HANDLE_KEY;
    event.m_nCode = nCode;
    event.m_nKeyCode = nKeyCode;
    event.m_nKeyboardState = nKeys;
    event.m_pTarget = target.GetNode();
    return DispatchEvent(event);
}

bool CHtmlDocument::RaiseInput(unsigned nUid, std::string_view value)
{
    CElement target = GetElementByUid(nUid);
    if (!target.IsValid() || !target.GetNode()->IsInDocument())
        return false;
    CDomEvent changing;
    changing.m_nGroup = HANDLE_BEHAVIOR_EVENT;
    changing.m_nCode = EDIT_VALUE_CHANGING;
    changing.m_pTarget = changing.m_pSource = target.GetNode();
    changing.m_strValue = value;
    DispatchEvent(changing);
    // The browser already shows this text: the patch for it is marked so
    // that only a page that reloads applies it.
    target.GetNode()->m_strValue = value;
    MarkDirty(*target.GetNode(), DIRTY_TYPED);
    CDomEvent changed = changing;
    changed.m_nCode = EDIT_VALUE_CHANGED;
    return DispatchEvent(changed);
}

void CHtmlDocument::RaiseFocus(unsigned nUid)
{
    CElement target = GetElementByUid(nUid);
    // The handlers of FOCUS_LOST may rebuild the page, which changes the uid
    // map: the nodes that lose the focus are gathered first.
    std::vector<std::shared_ptr<CDomNode>> losing;
    for (const auto& [nOther, pWeak] : m_uids)
        if (auto pNode = pWeak.lock(); pNode && (pNode->m_nState & STATE_FOCUS) && nOther != nUid)
            losing.push_back(std::move(pNode));
    for (const auto& pNode : losing)
    {
        pNode->m_nState &= ~STATE_FOCUS;
        CDomEvent lost;
        lost.m_nGroup = HANDLE_FOCUS;
        lost.m_nCode = FOCUS_LOST;
        lost.m_pTarget = pNode.get();
        if (pNode->IsInDocument())
            DispatchEvent(lost);
    }
    if (!target.IsValid())
        return;
    target.GetNode()->m_nState |= STATE_FOCUS; // the browser moved it: no command back
    CDomEvent got;
    got.m_nGroup = HANDLE_FOCUS;
    got.m_nCode = FOCUS_GOT;
    got.m_pTarget = target.GetNode();
    DispatchEvent(got);
}

bool CHtmlDocument::SetContentSize(int nWidth, int nHeight)
{
    const CRect content{0, 0, nWidth, nHeight};
    if (content == m_content)
        return false;
    m_content = content;
    return true;
}

void CHtmlDocument::SetElementRect(unsigned nUid, const CRect& rect)
{
    m_rects[nUid] = rect;
}

CRect CHtmlDocument::GetElementRect(unsigned nUid)
{
    Measure(nUid);
    const auto it = m_rects.find(nUid);
    return it == m_rects.end() ? CRect() : it->second;
}

void CHtmlDocument::Measure(unsigned nUid)
{
    if (m_measured.insert(nUid).second)
        AddCommand({{"op", "measure"}, {"uid", nUid}});
}

void CHtmlDocument::MarkDirty(const CDomNode& node, unsigned nWhat)
{
    m_dirty[node.m_nUid] |= nWhat;
}

void CHtmlDocument::MarkAppended(const CDomNode& parent, const std::shared_ptr<CDomNode>& pChild)
{
    // A parent replaced as a whole carries the child with it.
    if (const auto it = m_dirty.find(parent.m_nUid);
        it != m_dirty.end() && (it->second & DIRTY_CONTENT))
        return;
    m_appended[parent.m_nUid].push_back(pChild);
}

void CHtmlDocument::AddCommand(nlohmann::json command)
{
    m_commands.push_back(std::move(command));
}

void CHtmlDocument::AfterElementRemoved(CDomNode& node)
{
    // A pop-up or the pressed element that leaves the tree is forgotten.
    if (node.m_nState & STATE_POPUP)
        AddCommand({{"op", "hidepopup"}, {"uid", node.m_nUid}});
}

unsigned CHtmlDocument::GetElementTimerPeriod(unsigned nUid, unsigned nTimerId) const
{
    const auto it = m_timers.find(std::make_pair(nUid, nTimerId));
    const CMessageLoop* pLoop = CMessageLoop::GetCurrent();
    return it == m_timers.end() || !pLoop
               ? 0
               : static_cast<unsigned>(pLoop->GetTimerPeriod(it->second).count());
}

void CHtmlDocument::StartElementTimer(CDomNode& node, unsigned nMilliseconds, unsigned nTimerId)
{
    CMessageLoop* pLoop = CMessageLoop::GetCurrent();
    const auto key = std::make_pair(node.m_nUid, nTimerId);
    if (const auto it = m_timers.find(key); it != m_timers.end())
    {
        if (pLoop)
            pLoop->KillTimer(it->second);
        m_timers.erase(it);
    }
    if (nMilliseconds == 0 || !pLoop)
        return;
    std::weak_ptr<bool> alive = m_pAlive;
    const unsigned nUid = node.m_nUid;
    m_timers[key] =
        pLoop->SetTimer(std::chrono::milliseconds(nMilliseconds), [this, alive, nUid, nTimerId] {
            if (alive.expired())
                return;
            CElement element = GetElementByUid(nUid);
            if (!element.IsValid() || !element.GetNode()->IsInDocument())
            {
                const auto it = m_timers.find(std::make_pair(nUid, nTimerId));
                if (it != m_timers.end())
                {
                    CMessageLoop::GetCurrent()->KillTimer(it->second);
                    m_timers.erase(it);
                }
                return;
            }
            CDomEvent event;
            event.m_nGroup = HANDLE_TIMER;
            event.m_nTimerId = nTimerId;
            event.m_pTarget = element.GetNode();
            const std::vector<std::shared_ptr<CDomNode>> path{element.GetSharedNode()};
            ++m_nDispatchDepth;
            Deliver(event, path);
            --m_nDispatchDepth;
            if (m_nDispatchDepth == 0)
                DrainPosted();
        });
}

bool CHtmlDocument::HasChanges() const
{
    return m_pRoot &&
           (m_bFullPending || !m_dirty.empty() || !m_appended.empty() || !m_commands.empty());
}

nlohmann::json CHtmlDocument::GetFullDocument(std::string_view baseUrl) const
{
    std::string html;
    if (m_pRoot)
        for (const auto& pChild : m_pRoot->m_children)
        {
            std::string part;
            CHtmlWriter::WriteNode(*pChild, true, part);
            if (pChild->m_strTag == "head" && !baseUrl.empty())
            {
                // Relative names in the page resolve against the bridge's
                // resource folder, as the engine resolves them by the loader.
                const auto nEnd = part.find('>');
                part.insert(nEnd + 1,
                            "<base href=\"" + CHtmlWriter::EscapeAttribute(baseUrl) + "\">");
            }
            html += part;
        }
    // The page is written into the frame's root element, which keeps its
    // own attributes: the page's (its language above all) go with it.
    nlohmann::json attrs = nlohmann::json::object();
    if (m_pRoot)
        for (const auto& [name, value] : m_pRoot->m_attributes)
            attrs[name] = value;
    return {
        {"op", "doc"}, {"uid", m_pRoot ? m_pRoot->m_nUid : 0}, {"html", html}, {"attrs", attrs}};
}

nlohmann::json CHtmlDocument::TakeChanges(std::string_view baseUrl)
{
    nlohmann::json ops = nlohmann::json::array();
    if (!m_pRoot)
        return ops;
    const bool bRootContent =
        m_dirty.count(m_pRoot->m_nUid) && (m_dirty[m_pRoot->m_nUid] & DIRTY_CONTENT);
    if (m_bFullPending || bRootContent)
    {
        ops.push_back(GetFullDocument(baseUrl));
        m_bFullPending = false;
        m_nOpsSinceFull = 0;
        m_nBytesSinceFull = 0;
        m_dirty.clear();
        m_appended.clear();
        // Elements measured before must be measured again in the new page.
        for (const unsigned nUid : m_measured)
            ops.push_back({{"op", "measure"}, {"uid", nUid}});
    }
    std::set<unsigned> replaced;
    for (const auto& [nUid, nBits] : m_dirty)
        if (nBits & DIRTY_CONTENT)
            replaced.insert(nUid);
    auto insideReplaced = [&](const CDomNode& node) {
        for (const CDomNode* pUp = node.m_pParent; pUp; pUp = pUp->m_pParent)
            if (replaced.count(pUp->m_nUid))
                return true;
        return false;
    };
    // Appended children go whole, with whatever changed in them since.
    std::set<const CDomNode*> appended;
    for (const auto& [nParent, children] : m_appended)
        for (const auto& pWeak : children)
            if (const auto pChild = pWeak.lock();
                pChild && pChild->m_pParent && pChild->m_pParent->m_nUid == nParent)
                appended.insert(pChild.get());
    auto insideAppended = [&](const CDomNode& node) {
        for (const CDomNode* pUp = &node; pUp; pUp = pUp->m_pParent)
            if (appended.count(pUp))
                return true;
        return false;
    };
    for (const auto& [nParent, children] : m_appended)
    {
        CDomNode* pParent = GetElementByUid(nParent).GetNode();
        if (!pParent || !pParent->IsInDocument() || replaced.count(nParent) ||
            insideReplaced(*pParent) || insideAppended(*pParent))
            continue;
        for (const auto& pWeak : children)
        {
            const auto pChild = pWeak.lock();
            if (!pChild || pChild->m_pParent != pParent)
                continue;
            std::string html;
            CHtmlWriter::WriteNode(*pChild, true, html);
            m_nBytesSinceFull += html.size();
            ops.push_back({{"op", "append"}, {"uid", nParent}, {"html", std::move(html)}});
        }
    }
    m_appended.clear();
    for (const auto& [nUid, nBits] : m_dirty)
    {
        CElement element = GetElementByUid(nUid);
        CDomNode* pNode = element.GetNode();
        if (!pNode || !pNode->IsInDocument() || insideReplaced(*pNode) || insideAppended(*pNode))
            continue;
        if (nBits & DIRTY_CONTENT)
        {
            std::string html;
            CHtmlWriter::WriteChildren(*pNode, true, html);
            m_nBytesSinceFull += html.size();
            ops.push_back({{"op", "html"}, {"uid", nUid}, {"html", std::move(html)}});
        }
        if (nBits & DIRTY_ATTRS)
        {
            nlohmann::json attrs = nlohmann::json::object();
            for (const auto& [name, value] : pNode->m_attributes)
                if (name != "data-uid" && !(name == "value" && pNode->m_strTag == "input"))
                    attrs[name] = value;
            attrs["data-state"] = CHtmlWriter::StateWords(pNode->m_nState);
            for (const auto& [name, value] : CHtmlWriter::StateAttributes(pNode->m_nState))
                attrs[std::string(name)] = value;
            ops.push_back({{"op", "attrs"}, {"uid", nUid}, {"attrs", attrs}});
        }
        if (nBits & DIRTY_VALUE)
            ops.push_back({{"op", "value"}, {"uid", nUid}, {"value", pNode->m_strValue}});
        else if (nBits & DIRTY_TYPED)
            ops.push_back(
                {{"op", "value"}, {"uid", nUid}, {"value", pNode->m_strValue}, {"replay", true}});
    }
    m_dirty.clear();
    for (auto& command : m_commands)
        ops.push_back(std::move(command));
    m_commands.clear();
    m_nOpsSinceFull += ops.size();
    if (m_nOpsSinceFull > kMaxOpsBeforeFull || m_nBytesSinceFull > kMaxBytesBeforeFull)
    {
        // What a reloading page replays stays short: now and then the whole
        // page goes along, for a reload only (the live page has it already).
        nlohmann::json full = GetFullDocument(baseUrl);
        full["replay"] = true;
        ops.push_back(std::move(full));
        for (const unsigned nUid : m_measured)
            ops.push_back({{"op", "measure"}, {"uid", nUid}});
        m_nOpsSinceFull = 0;
        m_nBytesSinceFull = 0;
    }
    return ops;
}

#pragma once

#include "CssBehaviors.h"
#include "DomNode.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Notifications the engine sends to its host while it loads a page.
enum EEngineNotification : unsigned
{
    HLN_CREATE_CONTROL = 0xB00,
    HLN_LOAD_DATA = 0xB01,
    HLN_CONTROL_CREATED = 0xB02,
    HLN_DATA_LOADED = 0xB03,
    HLN_DOCUMENT_COMPLETE = 0xB04,
    HLN_DESTROY_CONTROL = 0xB06,
    HLN_ATTACH_BEHAVIOR = 0xB07,
};

enum ELoadDataType : unsigned
{
    HLRT_DATA_HTML = 0,
    HLRT_DATA_IMAGE = 1,
    HLRT_DATA_STYLE = 2,
    HLRT_DATA_CURSOR = 3,
    HLRT_DATA_SCRIPT = 4,
};

enum ELoadDataResult : unsigned
{
    LOAD_OK = 0,
    LOAD_DISCARD = 1,
};

struct CEngineNotification
{
    unsigned m_nCode = 0;
    std::string m_strUri;      // HLN_LOAD_DATA
    unsigned m_nDataType = 0;  // HLN_LOAD_DATA
    CElement m_element;        // HLN_ATTACH_BEHAVIOR
    std::string m_strBehavior; // HLN_ATTACH_BEHAVIOR
    // HLN_ATTACH_BEHAVIOR: the handler that answers puts the behavior here.
    std::unique_ptr<CDomEventSink> m_pBehavior;
};

// The document of one window: its DOM, the handlers listening to it, the
// geometry the browser last reported for it, and the changes not yet sent to
// the browser. Everything runs on the user-interface thread.
class CHtmlDocument
{
public:
    using Callback = std::function<unsigned(CEngineNotification&)>;

    CHtmlDocument();
    ~CHtmlDocument();
    CHtmlDocument(const CHtmlDocument&) = delete;
    CHtmlDocument& operator=(const CHtmlDocument&) = delete;

    void SetCallback(Callback callback) { m_callback = std::move(callback); }
    // Loads a page: includes and style sheets are asked for through the
    // callback (HLN_LOAD_DATA), behaviors attached (HLN_ATTACH_BEHAVIOR).
    // False when the bytes hold no page.
    bool LoadHtml(std::string_view html);
    // The bytes of the URI being requested by HLN_LOAD_DATA.
    bool DataReady(std::string_view uri, std::span<const std::uint8_t> data);

    CElement GetRoot() const;
    CElement GetElementByUid(unsigned nUid) const;
    bool IsLoaded() const { return m_pRoot != nullptr; }
    // How many nodes the uid map knows (those alive: in the tree or held).
    std::size_t GetUidCount() const { return m_uids.size(); }

    void AttachWindowHandler(CDomEventSink* pHandler);
    void DetachWindowHandler(CDomEventSink* pHandler);

    // Sends the event from its target up to the root, then to the window
    // handlers; afterwards runs the events that handlers posted. True when
    // some handler handled it.
    bool DispatchEvent(CDomEvent& event);
    void PostEvent(CDomEvent event);
    // Mouse, key and input events as the browser reports them; the engine's
    // built-in behaviors turn them into behavior events. MOUSE_ENTER names the
    // element now under the cursor, MOUSE_LEAVE that it left the window.
    bool RaiseMouse(unsigned nUid, unsigned nCode, unsigned nButtons, int nX, int nY,
                    int nWheel = 0);
    bool RaiseKey(unsigned nUid, unsigned nCode, unsigned nKeyCode, unsigned nKeys = 0);
    // The browser changed an input's value (typing).
    bool RaiseInput(unsigned nUid, std::string_view value);
    void RaiseFocus(unsigned nUid);

    // Geometry reported by the browser.
    void SetViewSize(int nWidth, int nHeight) { m_view = {0, 0, nWidth, nHeight}; }
    CRect GetViewSize() const { return m_view; }
    // True when the content size changed.
    bool SetContentSize(int nWidth, int nHeight);
    CRect GetContentSize() const { return m_content; }
    void SetElementRect(unsigned nUid, const CRect& rect);
    CRect GetElementRect(unsigned nUid);

    // Changes for the browser: whole document, changed subtrees, attributes,
    // values and commands (focus, scroll, measure, pop-ups). Clears them.
    bool HasChanges() const;
    nlohmann::json TakeChanges(std::string_view baseUrl);
    // The whole document for a browser that has none yet.
    nlohmann::json GetFullDocument(std::string_view baseUrl) const;

    // Used by nodes and handles; not for window code.
    enum EDirty : unsigned
    {
        DIRTY_ATTRS = 1,
        DIRTY_CONTENT = 2,
        DIRTY_VALUE = 4,
        DIRTY_TYPED = 8, // a value the browser typed: kept for a reloaded page
    };
    void MarkDirty(const CDomNode& node, unsigned nWhat);
    // A child put at the end of its parent goes to the page alone, not with
    // all its siblings (a list that grows as the reader scrolls).
    void MarkAppended(const CDomNode& parent, const std::shared_ptr<CDomNode>& pChild);
    void Adopt(const std::shared_ptr<CDomNode>& pNode);
    // A node of this document is being destroyed: every record kept by its
    // uid goes with it.
    void ForgetNode(unsigned nUid);
    void AttachBehaviors(CDomNode& node);
    void AddCommand(nlohmann::json command);
    void StartElementTimer(CDomNode& node, unsigned nMilliseconds, unsigned nTimerId);
    // The period of an element's running timer in milliseconds, 0 when none.
    unsigned GetElementTimerPeriod(unsigned nUid, unsigned nTimerId) const;
    void Measure(unsigned nUid);
    void AfterElementRemoved(CDomNode& node);

private:
    bool Deliver(CDomEvent& event, const std::vector<std::shared_ptr<CDomNode>>& path);
    bool UpdateHover(CDomNode* pTarget);
    bool RaiseHoverEvent(CDomNode& node, unsigned nCode);
    void DrainPosted();
    void LoadStyleSheets(CDomNode& node);
    void AddStyleSheetText(std::string_view css, int nDepth);
    bool RequestData(std::string_view uri, unsigned nType, std::string& data);
    void ResolveIncludes(CDomNode& node, int nDepth);
    void AttachBuiltInBehavior(CDomNode& node, const std::string& name);

    Callback m_callback;
    std::shared_ptr<CDomNode> m_pRoot;
    // Every live node of this document by uid. A node leaves the map in its
    // destructor, so the map is as large as the nodes alive (the page and
    // the few nodes handles still hold), however often windows rebuild.
    std::unordered_map<unsigned, std::weak_ptr<CDomNode>> m_uids;
    unsigned m_nNextUid = 1;
    CCssBehaviors m_behaviors;
    std::vector<CDomEventSink*> m_windowHandlers;
    // Posted events own their target and source until they run, so an
    // event never points to a node that a handler has freed meanwhile.
    struct CPostedEvent
    {
        CDomEvent m_event;
        std::shared_ptr<CDomNode> m_pTarget;
        std::shared_ptr<CDomNode> m_pSource;
    };
    std::vector<CPostedEvent> m_posted;
    int m_nDispatchDepth = 0;
    std::string m_strPendingUri;
    std::string m_strPendingData;
    bool m_bPendingDelivered = false;

    std::map<unsigned, unsigned> m_dirty;                                // uid -> EDirty bits
    std::map<unsigned, std::vector<std::weak_ptr<CDomNode>>> m_appended; // parent uid -> children
    std::vector<nlohmann::json> m_commands;
    bool m_bFullPending = true;
    std::size_t m_nOpsSinceFull = 0;
    std::size_t m_nBytesSinceFull = 0; // of the HTML the patches since then carried

    CRect m_view;
    CRect m_content;
    std::unordered_map<unsigned, CRect> m_rects;
    std::set<unsigned> m_measured;
    // (uid, timer id) -> loop timer
    std::map<std::pair<unsigned, unsigned>, unsigned> m_timers;
    std::shared_ptr<bool> m_pAlive;
    // The elements under the cursor, root first; not owned, so a hover never
    // keeps a rebuilt window's old rows alive.
    std::vector<std::weak_ptr<CDomNode>> m_hovered;
};

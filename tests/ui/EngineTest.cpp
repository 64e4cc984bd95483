#include "ElementBehaviors.h"
#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "HtmlDocument.h"
#include "TestSupport.h"
#include "WindowManager.h"

#include <functional>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace
{
// A window with a page given as text, as window code would create it.
class CPageWin : public CHTMLayoutWin
{
public:
    bool CreateWithPage(const std::string& strHtml)
    {
        if (!Create(WS_VISIBLE, CRect{0, 0, 800, 600}, nullptr, 1))
            return false;
        return GetHtmlDocument()->LoadHtml(strHtml);
    }
    std::vector<std::string> m_keys;
    bool on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode, unsigned) override
    {
        if (nEvent == KEY_DOWN)
            m_keys.push_back(target.GetAttribute("id") + ":" + std::to_string(nKeyCode));
        return false;
    }
};

struct CEngineFixture : ::testing::Test
{
    CEngineFixture()
    {
        CElementBehaviors::RegisterStandard();
        // A loop that waits for something that never comes ends the test.
        loop.SetTimer(std::chrono::seconds(20), [this] {
            ADD_FAILURE() << "a loop did not end";
            loop.Quit(1);
        });
    }
    CMessageLoop loop;
    CWindowManager manager{loop};
};

const char* kPage = R"(<html><head><style>.link { behavior: hyperlink; }</style></head><body>
<div id="box"><span id="link" class="link"><b id="inner">go</b></span>
<button id="btn"><i id="icon">x</i><span id="child" class="link">c</span></button>
<input id="edit" type="text"></div></body></html>)";
} // namespace

TEST_F(CEngineFixture, KeysAndInputReachWindowAndControls)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CHTMLayoutEditCtrl edit;
    ASSERT_TRUE(edit.SetElement(win.GetRootElement(), "edit"));
    std::vector<std::string> changes;
    edit.m_sigValueChanging.connect(
        [&](const std::string& s) { changes.push_back("changing:" + s); });
    edit.m_sigValueChanged.connect(
        [&](const std::string& s) { changes.push_back("changed:" + s); });
    CHtmlDocument& doc = *win.GetHtmlDocument();
    const unsigned nEdit = edit.GetElement().GetUid();
    doc.RaiseInput(nEdit, "ab");
    EXPECT_EQ(changes, (std::vector<std::string>{"changing:", "changed:ab"}));
    EXPECT_EQ(edit.GetValue(), "ab");
    doc.RaiseKey(nEdit, KEY_DOWN, VK_RETURN);
    EXPECT_EQ(win.m_keys, std::vector<std::string>{"edit:13"});
}

TEST_F(CEngineFixture, HyperlinkPressReleaseAndKeyboard)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CHTMLayoutButtonCtrl link;
    ASSERT_TRUE(link.SetElement(win.GetRootElement(), "link"));
    int nClicks = 0;
    link.m_sigClick.connect([&] { ++nClicks; });
    CHtmlDocument& doc = *win.GetHtmlDocument();
    const unsigned nLink = link.GetElement().GetUid();
    const unsigned nInner = win.GetRootElement().FindById("inner").GetUid();
    EXPECT_EQ(link.GetElement().GetAttribute("tabindex"), "0") << "hyperlinks are focusable";

    doc.RaiseMouse(nLink, MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nClicks, 0) << "a release without a press is nothing";
    doc.RaiseMouse(nInner, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_TRUE(link.GetElement().HasState(STATE_CURRENT));
    doc.RaiseMouse(nInner, MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nClicks, 1) << "press and release inside the link click it";
    EXPECT_FALSE(link.GetElement().HasState(STATE_CURRENT));

    doc.RaiseMouse(nLink, MOUSE_DOWN, PROP_MOUSE_BUTTON, 0, 0);
    doc.RaiseMouse(nLink, MOUSE_UP, PROP_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nClicks, 1) << "the right button does not click";

    doc.RaiseKey(nLink, KEY_DOWN, VK_SPACE);
    EXPECT_EQ(nClicks, 1) << "keys click only a focused link";
    doc.RaiseFocus(nLink);
    doc.RaiseKey(nLink, KEY_DOWN, VK_SPACE);
    doc.RaiseKey(nLink, KEY_DOWN, VK_RETURN);
    EXPECT_EQ(nClicks, 3);
}

TEST_F(CEngineFixture, ClicksBubblingFromChildrenDoNotFireTheButton)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CHTMLayoutButtonCtrl button, child;
    ASSERT_TRUE(button.SetElement(win.GetRootElement(), "btn"));
    ASSERT_TRUE(child.SetElement(win.GetRootElement(), "child"));
    int nButton = 0, nChild = 0;
    button.m_sigClick.connect([&] { ++nButton; });
    child.m_sigClick.connect([&] { ++nChild; });
    CHtmlDocument& doc = *win.GetHtmlDocument();
    const unsigned nChildUid = child.GetElement().GetUid();
    const unsigned nIcon = win.GetRootElement().FindById("icon").GetUid();
    // The hyperlink inside the button clicks itself only.
    doc.RaiseMouse(nChildUid, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 0, 0);
    doc.RaiseMouse(nChildUid, MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nChild, 1);
    EXPECT_EQ(nButton, 0);
    // A plain child of the button: the button's own behavior clicks the button.
    doc.RaiseMouse(nIcon, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 0, 0);
    doc.RaiseMouse(nIcon, MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nButton, 1);
    // An element-level control of an ancestor does not fire for a descendant's click.
    CHTMLayoutButtonCtrl box;
    ASSERT_TRUE(box.SetElement(win.GetRootElement(), "box"));
    int nBox = 0;
    box.m_sigClick.connect([&] { ++nBox; });
    doc.RaiseMouse(nIcon, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 0, 0);
    doc.RaiseMouse(nIcon, MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(nButton, 2);
    EXPECT_EQ(nBox, 0);
}

TEST_F(CEngineFixture, BindingToAMissingIdFails)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CLogCapture log;
    CHTMLayoutButtonCtrl button;
    EXPECT_FALSE(button.SetElement(win.GetRootElement(), "no_such_id"));
    EXPECT_FALSE(button.IsAttached());
    EXPECT_TRUE(log.Contains("CHTMLayoutCtrl::SetElement can't get element with id no_such_id"));
}

TEST_F(CEngineFixture, ModalLoopsNestTwoDeepAndTimersTick)
{
    std::vector<std::string> order;
    bool bInnerDone = false, bOuterDone = false;
    int nTicks = 0;
    const unsigned nTimer = loop.SetTimer(std::chrono::milliseconds(5), [&] { ++nTicks; });
    loop.PostTask([&] {
        order.push_back("outer running");
        loop.PostTask([&] {
            order.push_back("inner running");
            loop.PostTask([&] { bInnerDone = true; });
            loop.RunUntil([&] { return bInnerDone; });
            order.push_back("inner ended");
            bOuterDone = true;
        });
        loop.RunUntil([&] { return bOuterDone; });
        order.push_back("outer ended");
    });
    loop.RunUntil([&] { return bOuterDone && order.size() == 4 && nTicks >= 2; });
    loop.KillTimer(nTimer);
    EXPECT_EQ(order, (std::vector<std::string>{"outer running", "inner running", "inner ended",
                                               "outer ended"}));
    EXPECT_GE(nTicks, 2);
    bool bRan = false;
    std::thread worker([&] { EXPECT_TRUE(loop.SendTask([&] { bRan = true; })); });
    loop.RunUntil([&] { return bRan; });
    worker.join();
    EXPECT_TRUE(bRan);
}

// What assistive technology needs of a page comes with it: the root's own
// attributes (its language) with the whole page, and a disabled control's
// state as aria-disabled and out of the Tab order, in the page and in a
// patch, given back as the page had it once enabled again.
TEST_F(CEngineFixture, PagesKeepTheirLanguageAndDisabledControlsLeaveTheTabOrder)
{
    CHtmlDocument doc;
    ASSERT_TRUE(doc.LoadHtml(R"(<html lang="ru" dir="ltr"><body>
        <span id="b" role="button" tabindex="0">Назад</span></body></html>)"));
    const nlohmann::json full = doc.GetFullDocument("");
    EXPECT_EQ(full.at("attrs"), (nlohmann::json{{"lang", "ru"}, {"dir", "ltr"}}));
    ASSERT_EQ(doc.TakeChanges("").at(0).at("attrs"), full.at("attrs")); // the first, whole page

    CElement button = doc.GetRoot().FindById("b");
    struct
    {
        unsigned m_nState;
        const char* m_szTabIndex;
        const char* m_szAriaDisabled; // nullptr: absent
    } const cases[] = {{STATE_DISABLED, "-1", "true"}, {0, "0", nullptr}};
    for (const auto& c : cases)
    {
        if (c.m_nState)
            button.SetState(c.m_nState);
        else
            button.SetState(0, STATE_DISABLED);
        const nlohmann::json ops = doc.TakeChanges("");
        const nlohmann::json& attrs = ops.back().at("attrs");
        EXPECT_EQ(attrs.at("tabindex"), c.m_szTabIndex);
        EXPECT_EQ(attrs.contains("aria-disabled"), c.m_szAriaDisabled != nullptr);
        const std::string html = doc.GetFullDocument("").at("html");
        EXPECT_EQ(html.find("tabindex=\"" + std::string(c.m_szTabIndex) + "\"") !=
                      std::string::npos,
                  true)
            << html;
        EXPECT_EQ(html.find("aria-disabled") != std::string::npos, c.m_szAriaDisabled != nullptr);
        EXPECT_EQ(html.find("tabindex=\"0\" ") != std::string::npos &&
                      html.find("tabindex=\"-1\"") != std::string::npos,
                  false)
            << "one tabindex only: " << html;
    }
}

TEST_F(CEngineFixture, ChangesBecomeSmallPatches)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CHtmlDocument& doc = *win.GetHtmlDocument();
    nlohmann::json first = doc.TakeChanges("/ui/");
    ASSERT_EQ(first.at(0).at("op"), "doc");
    EXPECT_NE(first.at(0).at("html").get<std::string>().find("<base href=\"/ui/\">"),
              std::string::npos);
    CElement box = win.GetRootElement().FindById("box");
    box.SetAttribute("class", "wide");
    box.FindById("inner").SetText("<b>");
    const nlohmann::json ops = doc.TakeChanges("/ui/");
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].at("op"), "attrs");
    EXPECT_EQ(ops[1].at("op"), "html");
    EXPECT_EQ(ops[1].at("html"), "&lt;b&gt;");
    EXPECT_FALSE(doc.HasChanges());

    // Typed text is not echoed to the page that typed it, only kept for a
    // reload, and so is the whole page after many small changes.
    doc.RaiseInput(box.FindById("edit").GetUid(), "abc");
    const nlohmann::json typed = doc.TakeChanges("/ui/");
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].at("replay"), true);
    nlohmann::json last;
    for (int i = 0; i < 500 && !last.contains("replay"); ++i)
    {
        box.SetAttribute("title", std::to_string(i));
        last = doc.TakeChanges("/ui/").back();
    }
    EXPECT_EQ(last.at("op"), "doc");
    EXPECT_NE(last.at("html").get<std::string>().find("value=\"abc\""), std::string::npos);
}

// A child put at the end goes alone, carrying what changed in it since; a
// parent replaced or changed in the middle goes whole.
TEST_F(CEngineFixture, AppendedChildrenGoAloneUnlessTheParentIsReplaced)
{
    struct Case
    {
        const char* szName;
        std::function<void(CElement box)> change;
        std::vector<std::string> ops; // "op uid-id html"
    };
    auto add = [](CElement parent, const char* szId) {
        CElement child = parent.CreateElement("p", "t");
        child.SetAttribute("id", szId);
        parent.Append(child);
        return child;
    };
    const std::vector<Case> cases = {
        {"one child", [&](CElement box) { add(box, "a"); }, {"append box <p id=\"a\">t</p>"}},
        {"changed after",
         [&](CElement box) {
             add(box, "a").SetHtml("<i>x</i>");
             add(box, "b").SetAttribute("class", "c");
         },
         {"append box <p id=\"a\"><i>x</i></p>", "append box <p id=\"b\" class=\"c\">t</p>"}},
        {"nested",
         [&](CElement box) { add(add(box, "a"), "b"); },
         {"append box <p id=\"a\">t<p id=\"b\">t</p></p>"}},
        {"parent replaced after",
         [&](CElement box) {
             add(box, "a");
             box.FindById("link").Detach();
         },
         {"html box"}},
        {"in the middle",
         [&](CElement box) { box.Insert(box.CreateElement("p"), 0); },
         {"html box"}},
    };
    for (const Case& test : cases)
    {
        CPageWin win;
        ASSERT_TRUE(win.CreateWithPage(kPage));
        CHtmlDocument& doc = *win.GetHtmlDocument();
        doc.TakeChanges("/ui/");
        CElement box = win.GetRootElement().FindById("box");
        test.change(box);
        std::vector<std::string> ops;
        for (const auto& op : doc.TakeChanges("/ui/"))
        {
            const std::string strId =
                doc.GetElementByUid(op.at("uid").get<unsigned>()).GetAttribute("id");
            std::string html = op.at("html").get<std::string>();
            // Uids are the engine's own; the page's markup is what counts.
            for (auto n = html.find(" data-uid=\""); n != std::string::npos;
                 n = html.find(" data-uid=\""))
                html.erase(n, html.find('"', n + 11) + 1 - n);
            ops.push_back(op.at("op").get<std::string>() + " " + strId +
                          (op.at("op") == "append" ? " " + html : ""));
        }
        EXPECT_EQ(ops, test.ops) << test.szName;
        EXPECT_FALSE(doc.HasChanges()) << test.szName;
    }
}

namespace
{
// Records what reaches it, and answers nothing.
class CRecorder : public CHTMLayoutEventHandler
{
public:
    std::vector<std::string> m_events;
    bool on_mouse(CElement, CElement target, unsigned nEvent, int, int, unsigned, unsigned) override
    {
        if (nEvent == MOUSE_ENTER || nEvent == MOUSE_LEAVE)
            m_events.push_back((nEvent == MOUSE_ENTER ? "enter " : "leave ") +
                               target.GetAttribute("id"));
        return false;
    }
    bool on_timer(CElement he, unsigned nTimerId) override
    {
        m_events.push_back("timer " + he.GetAttribute("id") + " " + std::to_string(nTimerId));
        return false;
    }
    bool OnButtonClick(CElement he, CDomEvent& event) override
    {
        m_events.push_back("click " + CElement::FromNode(event.m_pSource).GetAttribute("id") +
                           " at " + he.GetAttribute("id"));
        return false;
    }
    bool OnButtonStateChanged(CElement, CDomEvent& event) override
    {
        m_events.push_back("state " + CElement::FromNode(event.m_pSource).GetAttribute("id"));
        return false;
    }
};
} // namespace

TEST_F(CEngineFixture, HoverFollowsTheElementUnderTheCursor)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CRecorder recorder;
    win.GetHtmlDocument()->AttachWindowHandler(&recorder);
    CHtmlDocument& doc = *win.GetHtmlDocument();
    CElement root = win.GetRootElement();
    CElement link = root.FindById("link");
    doc.RaiseMouse(root.FindById("inner").GetUid(), MOUSE_ENTER, 0, 0, 0);
    EXPECT_TRUE(link.HasState(STATE_HOVER)) << "entering a child enters the link";
    EXPECT_EQ(recorder.m_events, (std::vector<std::string>{"enter ", "enter ", "enter box",
                                                           "enter link", "enter inner"}));
    recorder.m_events.clear();
    doc.RaiseMouse(link.GetUid(), MOUSE_ENTER, 0, 0, 0);
    EXPECT_EQ(recorder.m_events, std::vector<std::string>{"leave inner"})
        << "the link itself is not left";
    EXPECT_TRUE(link.HasState(STATE_HOVER));
    recorder.m_events.clear();
    doc.RaiseMouse(root.FindById("edit").GetUid(), MOUSE_ENTER, 0, 0, 0);
    EXPECT_EQ(recorder.m_events, (std::vector<std::string>{"leave link", "enter edit"}));
    EXPECT_FALSE(link.HasState(STATE_HOVER));
    recorder.m_events.clear();
    doc.RaiseMouse(0, MOUSE_LEAVE, 0, 0, 0);
    EXPECT_EQ(recorder.m_events,
              (std::vector<std::string>{"leave edit", "leave box", "leave ", "leave "}));
    EXPECT_FALSE(root.FindById("box").HasState(STATE_HOVER));
    win.GetHtmlDocument()->DetachWindowHandler(&recorder);
}

TEST_F(CEngineFixture, CheckBoxesAndButtonsRaiseBehaviorEvents)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(R"(<html><body><div id="form"><input id="check" type="checkbox">
        <button id="btn">b</button></div></body></html>)"));
    CRecorder recorder;
    CElement form = win.GetRootElement().FindById("form");
    form.AttachEventHandler(&recorder);
    CHtmlDocument& doc = *win.GetHtmlDocument();
    CElement check = form.FindById("check");
    doc.RaiseMouse(check.GetUid(), MOUSE_DOWN, MAIN_MOUSE_BUTTON, 0, 0);
    doc.RaiseMouse(check.GetUid(), MOUSE_UP, MAIN_MOUSE_BUTTON, 0, 0);
    EXPECT_EQ(check.GetValue(), "1");
    EXPECT_EQ(recorder.m_events, (std::vector<std::string>{"state check", "click check at form"}));
    recorder.m_events.clear();
    doc.RaiseFocus(form.FindById("btn").GetUid());
    doc.RaiseKey(form.FindById("btn").GetUid(), KEY_DOWN, VK_SPACE);
    EXPECT_EQ(recorder.m_events, std::vector<std::string>{"click btn at form"});
    form.DetachEventHandler(&recorder);
}

TEST_F(CEngineFixture, ElementTimersAndPopups)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CRecorder recorder;
    CElement root = win.GetRootElement();
    CElement link = root.FindById("link");
    CElement box = root.FindById("box");
    link.AttachEventHandler(&recorder);
    link.SetTimer(5, 7);
    loop.RunUntil([&] { return recorder.m_events.size() >= 2; });
    EXPECT_EQ(recorder.m_events[0], "timer link 7");
    link.SetTimer(0, 7);
    recorder.m_events.clear();
    box.SetTimer(5, 1);
    box.AttachEventHandler(&recorder);
    link.SetTimer(5, 8);
    link.Detach(); // an element that leaves the page stops its timers
    loop.RunUntil([&] { return recorder.m_events.size() >= 3; });
    for (const auto& event : recorder.m_events)
        EXPECT_EQ(event, "timer box 1");
    box.SetTimer(0, 1);

    win.GetHtmlDocument()->TakeChanges("");
    CElement popup = root.FindById("edit");
    popup.ShowPopup(box, 2);
    EXPECT_TRUE(popup.HasState(STATE_POPUP));
    nlohmann::json ops = win.GetHtmlDocument()->TakeChanges("");
    ASSERT_EQ(ops.size(), 2u) << ops.dump();
    EXPECT_EQ(ops[0].at("attrs").at("data-state"), "popup");
    EXPECT_EQ(ops[1].at("op"), "popup");
    EXPECT_EQ(ops[1].at("anchor"), box.GetUid());
    popup.Detach();
    ops = win.GetHtmlDocument()->TakeChanges("");
    EXPECT_NE(ops.dump().find("\"hidepopup\""), std::string::npos)
        << "a pop-up that leaves the page is hidden";
    link.DetachEventHandler(&recorder);
    box.DetachEventHandler(&recorder);
}

TEST_F(CEngineFixture, ResourceRequestsGoThroughTheNotificationHandler)
{
    CPageWin win;
    ASSERT_TRUE(win.Create(WS_VISIBLE, CRect{0, 0, 10, 10}, nullptr, 2));
    CLogCapture log;
    CEngineNotification empty;
    empty.m_nCode = HLN_LOAD_DATA;
    EXPECT_EQ(win.HandleNotification(empty), LOAD_DISCARD)
        << "an empty address is discarded at once";
    EXPECT_FALSE(log.Contains("CHTMLayoutNotifHandler::OnLoadData"));
    CEngineNotification style;
    style.m_nCode = HLN_LOAD_DATA;
    style.m_strUri = "dialog.css";
    style.m_nDataType = HLRT_DATA_STYLE;
    EXPECT_EQ(win.HandleNotification(style), LOAD_OK) << "no loader: the engine loads by itself";
    EXPECT_TRUE(log.Contains("CHTMLayoutNotifHandler::OnLoadData dataLoade is not set"));

    CResourceConfig resources(CResourceConfig::GetExecutableFolder());
    CKalimorHTMLayoutDataLoader loader(resources);
    win.SetDataLoader(&loader);
    EXPECT_FALSE(win.AttachToWnd(&win));
    EXPECT_TRUE(log.Contains(
        "CHTMLayoutNotifHandler::AttachToWnd CHTMLayoutNotifHandler is already attached"));
    style.m_nDataType = 9;
    EXPECT_EQ(win.HandleNotification(style), LOAD_DISCARD);
    EXPECT_TRUE(log.Contains("CHTMLayoutNotifHandler::OnLoadData unknown data type"));
    // A page that imports the style sheet gets its behaviors from it.
    ASSERT_TRUE(win.GetHtmlDocument()->LoadHtml(
        R"(<html><head><link rel="stylesheet" href="dialog.css"></head><body><span id="b" class="button">x</span><span id="m" class="missing.png">y</span></body></html>)"));
    EXPECT_EQ(win.GetRootElement().FindById("b").GetNode()->m_strBehavior, "hyperlink");
    style.m_strUri = "no_such.css";
    style.m_nDataType = HLRT_DATA_STYLE;
    EXPECT_EQ(win.HandleNotification(style), LOAD_DISCARD);
}

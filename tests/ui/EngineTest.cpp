#include "ElementBehaviors.h"
#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "HtmlDocument.h"
#include "TestSupport.h"
#include "WindowManager.h"

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
    CEngineFixture() { CElementBehaviors::RegisterStandard(); }
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
    edit.m_sigValueChanging.connect([&](const std::string& s) { changes.push_back("changing:" + s); });
    edit.m_sigValueChanged.connect([&](const std::string& s) { changes.push_back("changed:" + s); });
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
    EXPECT_EQ(order, (std::vector<std::string>{"outer running", "inner running", "inner ended", "outer ended"}));
    EXPECT_GE(nTicks, 2);
    bool bRan = false;
    std::thread worker([&] { EXPECT_TRUE(loop.SendTask([&] { bRan = true; })); });
    loop.RunUntil([&] { return bRan; });
    worker.join();
    EXPECT_TRUE(bRan);
}

TEST_F(CEngineFixture, ChangesBecomeSmallPatches)
{
    CPageWin win;
    ASSERT_TRUE(win.CreateWithPage(kPage));
    CHtmlDocument& doc = *win.GetHtmlDocument();
    nlohmann::json first = doc.TakeChanges("/ui/");
    ASSERT_EQ(first.at(0).at("op"), "doc");
    EXPECT_NE(first.at(0).at("html").get<std::string>().find("<base href=\"/ui/\">"), std::string::npos);
    CElement box = win.GetRootElement().FindById("box");
    box.SetAttribute("class", "wide");
    box.FindById("inner").SetText("<b>");
    const nlohmann::json ops = doc.TakeChanges("/ui/");
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].at("op"), "attrs");
    EXPECT_EQ(ops[1].at("op"), "html");
    EXPECT_EQ(ops[1].at("html"), "&lt;b&gt;");
    EXPECT_FALSE(doc.HasChanges());
}

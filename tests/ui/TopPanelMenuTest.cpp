#include "ElementBehaviors.h"
#include "HtmlDocument.h"
#include "MainWindow.h"
#include "PopupMenu.h"
#include "TestClientContext.h"
#include "TestSupport.h"
#include "WindowManager.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace
{
struct CMenuFixture : ::testing::Test
{
    CMenuFixture()
    {
        CElementBehaviors::RegisterStandard();
        loop.BindToCurrentThread();
        loop.SetTimer(std::chrono::seconds(20),
                      [this]
                      {
                          ADD_FAILURE() << "a modal loop did not end";
                          loop.Quit(1);
                      });
    }

    // The menu dialog open over the main window, if any.
    CPopupMenuDlg* OpenMenu(const CWnd& main) const
    {
        for (CWnd* pWnd : manager.GetChildren(main.GetSafeHwnd()))
            if (auto* pMenu = dynamic_cast<CPopupMenuDlg*>(pWnd))
                return pMenu;
        return nullptr;
    }

    CTestClientContext context;
    CMessageLoop loop;
    CWindowManager manager{loop};
};

// What the browser sends for a key: the focused element is the target.
void PressKey(CPopupMenuDlg& menu, unsigned nKey)
{
    const int nFocused = menu.GetFocusedItem();
    const CElement target = nFocused < 0
                                ? CElement()
                                : menu.GetRootElement().Select(".menu_item")[std::size_t(nFocused)];
    menu.GetHtmlDocument()->RaiseKey(target.GetUid(), KEY_DOWN, nKey);
}

void Click(CHtmlDocument& doc, unsigned nUid)
{
    doc.RaiseMouse(nUid, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 1, 1);
    doc.RaiseMouse(nUid, MOUSE_UP, MAIN_MOUSE_BUTTON, 1, 1);
}
} // namespace

TEST_F(CMenuFixture, TheKeyboardWalksTheMenuRoundItsEndsAndChoosesOrClosesIt)
{
    struct CCase
    {
        std::vector<unsigned> m_keys;
        std::vector<int> m_focus; // the focused entry after each key but the last
        const char* m_szChosen;   // nullptr: closed without a choice
    };
    const std::vector<CCase> cases{
        {{VK_DOWN, VK_DOWN, VK_RETURN}, {1, 2}, "menu_exit"},
        {{VK_UP, VK_RETURN}, {2}, "menu_exit"},
        {{VK_DOWN, VK_DOWN, VK_DOWN, VK_SPACE}, {1, 2, 0}, "menu_about"},
        {{VK_END, VK_UP, VK_HOME, VK_DOWN, VK_RETURN}, {2, 1, 0, 1}, "menu_update"},
        {{VK_DOWN, VK_ESCAPE}, {1}, nullptr},
        {{VK_TAB}, {}, nullptr},
        {{'A', VK_ESCAPE}, {0}, nullptr},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.m_keys.size());
        CPopupMenuDlg menu(CTopPanelWin::GetMenuItems(), CRect{100, 10, 80, 30}, nullptr);
        std::vector<int> focus;
        loop.PostTask(
            [&]
            {
                EXPECT_EQ(menu.GetFocusedItem(), 0) << "the first entry has the keyboard";
                for (std::size_t i = 0; i < c.m_keys.size(); ++i)
                {
                    PressKey(menu, c.m_keys[i]);
                    if (i + 1 < c.m_keys.size())
                        focus.push_back(menu.GetFocusedItem());
                }
            });
        const CPopupMenuItem* pChosen = menu.Track();
        EXPECT_EQ(focus, c.m_focus);
        EXPECT_EQ(pChosen ? pChosen->m_strId : "(closed)",
                  c.m_szChosen ? c.m_szChosen : "(closed)");
    }
}

TEST_F(CMenuFixture, ThePageIsAMenuForScreenReadersAndTheMouseChoosesOrClosesIt)
{
    struct CCase
    {
        const char* m_szClick; // an entry's id, or "html" for beside the menu
        const char* m_szChosen;
    };
    for (const CCase& c : std::vector<CCase>{{"menu_update", "menu_update"}, {"html", nullptr}})
    {
        CPopupMenuDlg menu(CTopPanelWin::GetMenuItems(), CRect{100, 10, 80, 30}, nullptr);
        loop.PostTask(
            [&]
            {
                const CElement root = menu.GetRootElement();
                EXPECT_EQ(root.FindById("menu").GetAttribute("role"), "menu");
                const std::vector<CElement> entries = root.Select("[role=menuitem]");
                ASSERT_EQ(entries.size(), 3u);
                EXPECT_EQ(entries[0].GetText(), "О программе");
                EXPECT_EQ(entries[2].GetAttribute("tabindex"), "-1")
                    << "Tab leaves the menu, not walks it";
                const CElement target =
                    std::string(c.m_szClick) == "html" ? root : root.FindById(c.m_szClick);
                Click(*menu.GetHtmlDocument(), target.GetUid());
            });
        const CPopupMenuItem* pChosen = menu.Track();
        if (c.m_szChosen)
        {
            ASSERT_NE(pChosen, nullptr);
            EXPECT_EQ(pChosen->m_strId, c.m_szChosen);
        }
        else
            EXPECT_EQ(pChosen, nullptr);
    }
}

TEST_F(CMenuFixture, TheTopPanelsMenuOpensUnderItsButtonAndItsChoiceReachesTheMainWindow)
{
    CLogCapture log;
    CMainWindow main(nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    main.ShowWindow(SW_SHOWMAXIMIZED);
    manager.HandleBrowserEvent({{"type", "viewport"}, {"w", 1280}, {"h", 800}});
    CTopPanelWin& top = main.GetTopPanel();
    const CElement button = top.GetRootElement().FindById("btn_menu");
    ASSERT_TRUE(button.IsValid());
    EXPECT_EQ(button.GetAttribute("aria-haspopup"), "menu");
    // The browser measured the button at the panel's right end: the menu
    // hangs under it, kept inside the window.
    manager.HandleBrowserEvent({{"type", "geom"},
                                {"win", top.GetSafeHwnd()},
                                {"w", 1280},
                                {"h", 46},
                                {"cw", 1280},
                                {"ch", 46},
                                {"rects", {{std::to_string(button.GetUid()), {1180, 8, 80, 30}}}}});

    const auto choose = [&](const char* szId, std::function<void()> clickOrKey)
    {
        loop.PostTask(
            [&, szId]
            {
                CPopupMenuDlg* pMenu = OpenMenu(main);
                ASSERT_NE(pMenu, nullptr);
                EXPECT_EQ(pMenu->GetWindowRect().m_nLeft, 1280 - CPopupMenuDlg::kWidth);
                EXPECT_EQ(pMenu->GetWindowRect().m_nTop, 38);
                EXPECT_EQ(button.GetAttribute("aria-expanded"), "true");
                Click(*pMenu->GetHtmlDocument(), pMenu->GetRootElement().FindById(szId).GetUid());
            });
        clickOrKey();
    };
    // Opened by a click and by Down on the button; the update is not silent.
    choose("menu_update", [&] { Click(*top.GetHtmlDocument(), button.GetUid()); });
    EXPECT_EQ(button.GetAttribute("aria-expanded"), "false");
    EXPECT_TRUE(button.HasState(STATE_FOCUS)) << "the keyboard is back on the button";
    loop.RunUntil([&] { return log.Contains("CMainWindow::OnAppUpdate"); });
    EXPECT_FALSE(log.Contains("CMainWindow::OnAppUpdate silent"));

    choose("menu_exit",
           [&] { top.GetHtmlDocument()->RaiseKey(button.GetUid(), KEY_DOWN, VK_DOWN); });
    loop.RunUntil([&] { return !main.IsWindow(); });
    EXPECT_FALSE(main.IsWindow()) << "Выход ends the client with its window open";
    EXPECT_TRUE(loop.IsQuitting());
}

#include "LoginUserDlg.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "UiTestContext.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace
{
// The uid of the menu line with the keyboard, where the browser sends keys.
unsigned CurrentLine(CTopMenuWin& menu)
{
    const int nCurrent = menu.GetCurrent();
    return nCurrent < 0
               ? 0
               : menu.GetRootElement().Select(".menu_item")[std::size_t(nCurrent)].GetUid();
}
} // namespace

TEST_F(CWindowsFixture, TheTopPanelsMenuWorksFromTheKeyboardAndItsChoiceReachesTheMainWindow)
{
    CMainWindow main(context, nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    main.ShowWindow(SW_SHOWMAXIMIZED);
    manager.HandleBrowserEvent({{"type", "viewport"}, {"w", 1280}, {"h", 800}});
    CTopPanelWin& top = main.GetTopPanel();
    CTopMenuWin& menu = top.GetMenu();
    const CElement button = top.GetRootElement().FindById("btn_menu");
    ASSERT_TRUE(button.IsValid());
    EXPECT_EQ(button.GetAttribute("aria-haspopup"), "menu");
    EXPECT_EQ(button.GetAttribute("aria-label"), "Меню программы");
    // The browser measured the button at the panel's right end.
    manager.HandleBrowserEvent({{"type", "geom"},
                                {"win", top.GetSafeHwnd()},
                                {"w", 1280},
                                {"h", 46},
                                {"cw", 1280},
                                {"ch", 46},
                                {"rects", {{std::to_string(button.GetUid()), {1180, 8, 80, 30}}}}});

    // Enter on the button (the hyperlink's keyboard click) opens the menu on
    // its first line, under the button and inside the window.
    Doc(top).RaiseFocus(button.GetUid());
    Doc(top).RaiseKey(button.GetUid(), KEY_DOWN, VK_RETURN);
    Drain();
    ASSERT_TRUE(menu.IsShown());
    EXPECT_EQ(button.GetAttribute("aria-expanded"), "true");
    EXPECT_EQ(menu.GetWindowRect().m_nLeft, 1280 - CPopupMenuWin::kWidth);
    EXPECT_EQ(menu.GetWindowRect().m_nTop, 38);
    EXPECT_EQ(menu.GetRootElement().FindById("menu").GetAttribute("role"), "menu");
    const std::vector<CElement> lines = menu.GetRootElement().Select("[role=menuitem]");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].GetText(), "О программе");
    EXPECT_EQ(lines[2].GetText(), "Выход");

    // The arrows go round the ends; the line with the keyboard has the focus.
    std::vector<int> walked{menu.GetCurrent()};
    for (const unsigned nKey : {VK_DOWN, VK_DOWN, VK_DOWN, VK_UP})
    {
        Doc(menu).RaiseKey(CurrentLine(menu), KEY_DOWN, nKey);
        walked.push_back(menu.GetCurrent());
    }
    EXPECT_EQ(walked, (std::vector<int>{0, 1, 2, 0, 2}));
    EXPECT_TRUE(lines[2].HasState(STATE_FOCUS));
    EXPECT_FALSE(lines[0].HasState(STATE_FOCUS));

    // Escape closes it and gives the keyboard back to the button.
    Doc(menu).RaiseKey(CurrentLine(menu), KEY_DOWN, VK_ESCAPE);
    EXPECT_FALSE(menu.IsShown());
    EXPECT_EQ(button.GetAttribute("aria-expanded"), "false");
    EXPECT_TRUE(button.HasState(STATE_FOCUS));

    // Down opens it too; Down and Enter choose "Обновить": the update of the
    // window, not the silent one of the tray. A client with no account is
    // asked to sign in first; the test closes that dialog.
    bool bSignInShown = false;
    auto pTimer = std::make_shared<unsigned>(0);
    *pTimer = loop.SetTimer(std::chrono::milliseconds(10), [&, pTimer] {
        for (CWnd* pWnd : manager.GetChildren(main.GetSafeHwnd()))
            if (auto* pSignIn = dynamic_cast<CLoginUserDlg*>(pWnd))
            {
                bSignInShown = true;
                loop.KillTimer(*pTimer);
                pSignIn->EndDialog(CLoginUserDlg::LOGIN_CANCELLED);
            }
    });
    Doc(top).RaiseKey(button.GetUid(), KEY_DOWN, VK_DOWN);
    ASSERT_TRUE(menu.IsShown());
    Doc(menu).RaiseKey(CurrentLine(menu), KEY_DOWN, VK_DOWN);
    Doc(menu).RaiseKey(CurrentLine(menu), KEY_DOWN, VK_RETURN);
    Drain();
    EXPECT_FALSE(menu.IsShown());
    EXPECT_TRUE(bSignInShown);
    EXPECT_TRUE(button.HasState(STATE_FOCUS));

    // Tab leaves it.
    Doc(top).RaiseKey(button.GetUid(), KEY_DOWN, VK_DOWN);
    Doc(menu).RaiseKey(CurrentLine(menu), KEY_DOWN, VK_TAB);
    EXPECT_FALSE(menu.IsShown());
}

TEST_F(CWindowsFixture, TheTopPanelsMenuWithTheMouseClosesOnAPressElsewhereAndItsExitEndsTheClient)
{
    CMainWindow main(context, nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    main.ShowWindow(SW_SHOWMAXIMIZED);
    CTopPanelWin& top = main.GetTopPanel();
    CTopMenuWin& menu = top.GetMenu();
    const CElement button = top.GetRootElement().FindById("btn_menu");

    // A click opens it with no line chosen yet; a press elsewhere closes it
    // and leaves the keyboard where the press was.
    Click(top, button);
    Drain();
    ASSERT_TRUE(menu.IsShown());
    EXPECT_EQ(menu.GetCurrent(), -1);
    manager.HandleBrowserEvent(
        {{"type", "mouse"}, {"win", main.GetSearchPanel().GetSafeHwnd()}, {"uid", 0}, {"code", 4}});
    EXPECT_FALSE(menu.IsShown());
    EXPECT_EQ(button.GetAttribute("aria-expanded"), "false");
    EXPECT_FALSE(button.HasState(STATE_FOCUS));

    // "Выход" ends the client with its window on the screen.
    Click(top, button);
    Drain();
    Click(menu, menu.GetRootElement().FindById("cmd" + std::to_string(ID_APP_EXIT)));
    Drain();
    EXPECT_FALSE(main.IsWindow());
    EXPECT_TRUE(loop.IsQuitting());
}

#include "ClientContext.h"
#include "ElementBehaviors.h"
#include "FakeShadowHost.h"
#include "HtmlDocument.h"
#include "MainLayout.h"
#include "MainWindow.h"
#include "MessageDlg.h"
#include "SmallDialogs.h"
#include "StringTable.h"
#include "TestSupport.h"
#include "UiTestContext.h"
#include "WindowManager.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

TEST_F(CWindowsFixture, MessageDialogEndsWithTheButtonOrCancelForEscapeAndEnter)
{
    const auto run = [&](unsigned nFlags, std::function<void(CMessageDlg&)> action) {
        CMessageDlg dialog("<b>Текст</b>", nFlags, 0, nullptr);
        InModal([&] { action(dialog); });
        dialog.DoModal();
        EXPECT_FALSE(dialog.IsWindow());
        return dialog.GetResult();
    };
    EXPECT_EQ(run(MSG_NO_IMAGE, [](CMessageDlg& d) { Doc(d).RaiseKey(0, KEY_DOWN, VK_ESCAPE); }),
              "CANCEL");
    EXPECT_EQ(run(MSG_NO_IMAGE, [](CMessageDlg& d) { Doc(d).RaiseKey(0, KEY_DOWN, VK_RETURN); }),
              "CANCEL");
    EXPECT_EQ(run(MSG_NO_IMAGE, [](CMessageDlg& d) { Click(Doc(d), Uid(d, "OK")); }), "OK");
    EXPECT_EQ(run(MSG_UPDATE_CANCEL, [](CMessageDlg& d) { Click(Doc(d), Uid(d, "UPDATE")); }),
              "UPDATE");
    EXPECT_EQ(run(MSG_UPDATE_CLOSE,
                  [](CMessageDlg& d) {
                      EXPECT_EQ(d.GetRootElement().FindById("CANCEL").GetAttribute("button_type"),
                                "close");
                      Click(Doc(d), Uid(d, "CANCEL"));
                  }),
              "CANCEL");
    EXPECT_EQ(run(MSG_VERSION_CLOSE | MSG_NO_IMAGE,
                  [](CMessageDlg& d) {
                      EXPECT_EQ(d.GetRootElement().FindById("version_label").GetText(),
                                "1.3.0.156");
                      EXPECT_EQ(d.GetRootElement().FindById("label").GetHtml(), "<b>Текст</b>");
                      EXPECT_FALSE(d.GetRootElement().FindById("image").HasAttribute("class"))
                          << "no image";
                      d.DestroyWindow(); // the dialog's window went away: the loop ends
                  }),
              "");
    EXPECT_EQ(run(0,
                  [](CMessageDlg& d) {
                      EXPECT_EQ(d.GetRootElement().FindById("image").GetAttribute("class"),
                                "image_warning");
                      Doc(d).RaiseKey(0, KEY_DOWN, 'A');
                      EXPECT_FALSE(d.IsEnded()) << "other keys do nothing";
                      Doc(d).RaiseKey(0, KEY_DOWN, VK_ESCAPE);
                  }),
              "CANCEL");
}

TEST(MessageDialog, ButtonRowsFollowTheFlags)
{
    const auto ids = [](unsigned nFlags) {
        std::string row = CMessageDlg::BuildButtonRow(nFlags), out;
        for (std::size_t nPos = row.find("<td"); nPos != std::string::npos;
             nPos = row.find("<td", nPos + 1))
        {
            const std::string cell = row.substr(nPos, row.find('>', nPos) - nPos);
            const auto nId = cell.find("id=\"");
            out += nId == std::string::npos
                       ? (cell.find("filler") != std::string::npos ? "_" : "gap")
                       : cell.substr(nId + 4, cell.find('"', nId + 4) - nId - 4);
            out += ' ';
        }
        return out;
    };
    EXPECT_EQ(ids(MSG_SHADOW | MSG_NO_IMAGE), "");
    EXPECT_EQ(ids(MSG_UPDATE_CANCEL), "_ UPDATE gap CANCEL _ ");
    EXPECT_EQ(ids(MSG_UPDATE_CLOSE), "_ UPDATE gap CANCEL _ ");
    EXPECT_EQ(ids(MSG_VERSION_CLOSE), "gap version_label _ CANCEL gap ");
    EXPECT_EQ(ids(MSG_UPDATE_ONLY), "_ UPDATE _ ");
    EXPECT_NE(CMessageDlg::BuildButtonRow(MSG_UPDATE_CLOSE).find("button_type=\"close\""),
              std::string::npos);
}

TEST_F(CWindowsFixture, DialogsNestAndTheParentGivesWayToTheChild)
{
    // An about dialog opens a message dialog that hides it while it runs.
    CAboutDlg about(context, nullptr);
    std::vector<std::string> seen;
    InModal([&] {
        EXPECT_TRUE(about.IsWindowVisible());
        EXPECT_EQ(about.GetRootElement().FindById("label_product_version").GetText(), "1.3.0.156");
        EXPECT_EQ(about.GetRootElement().FindById("span_title").GetText(), "О программе");
        CMessageDlg message("вложенный", MSG_NO_IMAGE, 0, &about);
        InModal([&] {
            seen.push_back(std::string("parent ") + (about.IsWindowVisible() ? "shown" : "hidden"));
            EXPECT_FALSE(manager.AcceptsInput(&about)) << "only the top dialog takes input";
            EXPECT_EQ(loop.GetDepth(), 2);
            Doc(message).RaiseKey(0, KEY_DOWN, VK_RETURN);
        });
        message.DoModalEx(true, true);
        seen.push_back(message.GetResult());
        seen.push_back(std::string("parent ") + (about.IsWindowVisible() ? "shown" : "hidden"));
        Click(Doc(about), Uid(about, "btn_ok"));
    });
    EXPECT_EQ(about.DoModal(), IDOK);
    EXPECT_EQ(seen, (std::vector<std::string>{"parent hidden", "CANCEL", "parent shown"}));
}

TEST_F(CWindowsFixture, DialogsAreCentredOnTheMainWindowOrTheScreen)
{
    CLogCapture log;
    CSplashDlg splash(context);
    ASSERT_TRUE(splash.Create());
    EXPECT_TRUE(log.Contains("CHTMLayoutDlg::CenterWindow cannot get main window instance."));
    const CRect desktop = manager.GetDesktopRect();
    const CRect rect = splash.GetWindowRect();
    EXPECT_EQ(rect.m_nLeft, (desktop.m_nWidth - rect.m_nWidth) / 2);
    EXPECT_EQ(rect.m_nTop, (desktop.m_nHeight - rect.m_nHeight) / 2);
    // The browser reports the page's size: the dialog takes it, centred again.
    manager.HandleBrowserEvent({{"type", "geom"},
                                {"win", splash.GetSafeHwnd()},
                                {"w", 560},
                                {"h", 320},
                                {"cw", 420},
                                {"ch", 220}});
    EXPECT_EQ(splash.GetWindowRect(),
              (CRect{(desktop.m_nWidth - 420) / 2, (desktop.m_nHeight - 220) / 2, 420, 220}));

    // A hidden dialog stays hidden when it is placed again.
    splash.Hide();
    splash.CenterWindow();
    EXPECT_FALSE(splash.IsWindowVisible());
    splash.Show();
    EXPECT_TRUE(splash.IsWindowVisible());
}

TEST_F(CWindowsFixture, ImageViewerPicksItsPageBySize)
{
    CRect dialog;
    const CRect area{0, 0, 1280, 800};
    const CResourceConfig& resources = context.GetResourceConfig();
    EXPECT_EQ(CImageViewDlg::ChoosePage(resources, 300, 200, area, dialog),
              resources.GetImageViewDlgPath());
    EXPECT_LT(dialog.m_nWidth, 400);
    EXPECT_EQ(CImageViewDlg::ChoosePage(resources, 3000, 2000, area, dialog),
              resources.GetImageScrollViewDlgPath());
    EXPECT_LE(dialog.m_nWidth, 1280);
    EXPECT_LE(dialog.m_nHeight, 800);
    EXPECT_EQ(CImageViewDlg::ChoosePage(resources, 300, 2000, area, dialog),
              resources.GetImageVScrollViewDlgPath());
    EXPECT_EQ(CImageViewDlg::ChoosePage(resources, 3000, 200, area, dialog),
              resources.GetImageHScrollViewDlgPath());

    int nWidth = 0, nHeight = 0;
    const std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13,
                                        'I',  'H', 'D', 'R', 0,    0,    1,    0x2C, 0, 0, 0, 0xC8};
    ASSERT_TRUE(CImageViewDlg::ReadImageSize(png, nWidth, nHeight));
    EXPECT_EQ(nWidth, 300);
    EXPECT_EQ(nHeight, 200);
    const std::vector<std::uint8_t> gif{'G', 'I', 'F', '8', '9', 'a', 0x40, 0x01, 0xF0, 0x00};
    ASSERT_TRUE(CImageViewDlg::ReadImageSize(gif, nWidth, nHeight));
    EXPECT_EQ(nWidth, 320);
    EXPECT_EQ(nHeight, 240);
    const std::vector<std::uint8_t> jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0, 4,    0, 0,   0xFF,
                                         0xC0, 0,    11,   8,    0, 0x64, 0, 0xC8};
    ASSERT_TRUE(CImageViewDlg::ReadImageSize(jpeg, nWidth, nHeight));
    EXPECT_EQ(nWidth, 200);
    EXPECT_EQ(nHeight, 100);
    const std::vector<std::uint8_t> zero{0xFF, 0xD8, 0xFF, 0xE0, 0, 0};
    EXPECT_FALSE(CImageViewDlg::ReadImageSize(zero, nWidth, nHeight)) << "a zero segment length";
    EXPECT_FALSE(CImageViewDlg::ReadImageSize(std::span(png).first(20), nWidth, nHeight));
}

TEST_F(CWindowsFixture, MainWindowClosesIntoTrayModeAndStopsOnTheStopMessage)
{
    CMainWindow main(context, nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    main.ShowWindow(SW_SHOWMAXIMIZED);
    // The panels are laid out one under another; the status panel at the bottom.
    manager.HandleBrowserEvent({{"type", "viewport"}, {"w", 1200}, {"h", 700}});
    EXPECT_EQ(main.GetWindowRect(), (CRect{0, 0, 1200, 700}));
    EXPECT_EQ(main.GetSearchPanel().GetWindowRect(), (CRect{0, 0, 1200, 135}))
        << "top panel not measured yet";
    manager.HandleBrowserEvent({{"type", "geom"},
                                {"win", main.GetTopPanel().GetSafeHwnd()},
                                {"w", 1200},
                                {"h", 0},
                                {"cw", 1200},
                                {"ch", 46}});
    loop.RunUntil([&] { return main.GetSearchPanel().GetWindowRect().m_nTop == 46; });
    EXPECT_EQ(main.GetSearchPanel().GetWindowRect(), (CRect{0, 46, 1200, 135}));

    // The first close only hides the window; a close in tray mode ends it.
    main.SendMessage(WM_CLOSE);
    EXPECT_TRUE(context.IsTrayMode());
    EXPECT_TRUE(main.IsWindow());
    EXPECT_FALSE(main.IsWindowVisible());
    main.SendMessage(WM_OPEN_FROM_TRAY);
    EXPECT_FALSE(context.IsTrayMode());
    main.SendMessage(WM_CLOSE);
    EXPECT_TRUE(main.IsWindow());
    main.SendMessage(WM_STOP_KALIMOR);
    EXPECT_FALSE(main.IsWindow()) << "stop ends the client even in tray mode";
    EXPECT_TRUE(loop.IsQuitting());
}

TEST_F(CWindowsFixture, ShadowCoversTheMainWindowWhileAMessageRuns)
{
    CMainWindow main(context, nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    bool bShadowDuring = false;
    InModal([&] {
        bShadowDuring = main.IsShadowMode();
        CWnd* pModal = nullptr;
        for (CWnd* pWnd : manager.GetChildren(main.GetSafeHwnd()))
            if (pWnd->GetKind() == WINDOW_DIALOG)
                pModal = pWnd;
        ASSERT_NE(pModal, nullptr);
        // Clicks on the main window's panels do nothing; keys go to the dialog.
        EXPECT_FALSE(manager.AcceptsInput(&main.GetTopPanel()));
        manager.HandleBrowserEvent({{"type", "key"},
                                    {"win", main.GetSearchPanel().GetSafeHwnd()},
                                    {"uid", 0},
                                    {"code", 0},
                                    {"key", VK_ESCAPE}});
    });
    EXPECT_EQ(ShowMessage(IDS_NO_CONTENT, MSG_SHADOW | MSG_NO_IMAGE), "CANCEL");
    EXPECT_TRUE(bShadowDuring);
    EXPECT_FALSE(main.IsShadowMode());

    InModal([&] {
        manager.HandleBrowserEvent({{"type", "key"},
                                    {"win", main.GetTopPanel().GetSafeHwnd()},
                                    {"uid", 0},
                                    {"code", 0},
                                    {"key", VK_RETURN}});
    });
    ShowMessage("x", MSG_SHADOW | MSG_KEEP_SHADOW | MSG_NO_IMAGE);
    EXPECT_TRUE(main.IsShadowMode()) << "flags 11 keep the shadow";

    // The message after it finds the window dimmed and leaves the shadow be.
    InModal([&] {
        bShadowDuring = main.IsShadowMode();
        manager.HandleBrowserEvent({{"type", "key"},
                                    {"win", main.GetTopPanel().GetSafeHwnd()},
                                    {"uid", 0},
                                    {"code", 0},
                                    {"key", VK_ESCAPE}});
    });
    ShowMessage("y", MSG_SHADOW | MSG_NO_IMAGE);
    EXPECT_TRUE(bShadowDuring);
    EXPECT_TRUE(main.IsShadowMode()) << "not the message's to switch off";
}

TEST_F(CWindowsFixture, AMessageDimsTheRegisteredMainWindowWhileItIsThere)
{
    struct CCase
    {
        const char* m_szName;
        bool m_bMainWindow;
        unsigned m_nFlags;
        bool m_bDestroyedMeanwhile; // the frame, while the message shows
        std::vector<bool> m_switches;
    };
    const CCase cases[] = {
        {"a frame that is not the main window", false, MSG_SHADOW | MSG_NO_IMAGE, false, {}},
        {"the main window", true, MSG_SHADOW | MSG_NO_IMAGE, false, {true, false}},
        {"a message that asks for no shadow", true, MSG_NO_IMAGE, false, {}},
        {"a main window destroyed while the message shows",
         true,
         MSG_SHADOW | MSG_NO_IMAGE,
         true,
         {true}},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_szName);
        CWnd frame;
        ASSERT_TRUE(
            frame.CreateBase(WINDOW_FRAME, "main", CRect{0, 0, 800, 600}, nullptr, 0, true, false));
        CFakeShadowHost shadow;
        manager.SetShadowHost(frame, shadow);
        manager.SetMainWindow(test.m_bMainWindow ? &frame : nullptr);
        InModal([&] {
            if (test.m_bDestroyedMeanwhile)
                frame.DestroyWindow();
            else
                for (CWnd* pWnd : manager.GetChildren(test.m_bMainWindow ? frame.GetSafeHwnd() : 0))
                    if (auto* pMessage = dynamic_cast<CMessageDlg*>(pWnd))
                        Doc(*pMessage).RaiseKey(0, KEY_DOWN, VK_ESCAPE);
        });
        ShowMessage("x", test.m_nFlags);
        EXPECT_EQ(shadow.m_switches, test.m_switches);
        EXPECT_EQ(manager.GetShadowHost(),
                  test.m_bMainWindow && !test.m_bDestroyedMeanwhile ? &shadow : nullptr);
    }
}

TEST_F(CWindowsFixture, AboutPageOfTheTopPanelMailsSupport)
{
    CMainWindow main(context, nullptr);
    ASSERT_TRUE(main.Create());
    manager.SetMainWindow(&main);
    CLogCapture log;
    InModal([&] {
        CWnd* pModal = nullptr;
        for (CWnd* pWnd : manager.GetChildren(main.GetSafeHwnd()))
            if (pWnd->GetKind() == WINDOW_DIALOG)
                pModal = pWnd;
        ASSERT_NE(pModal, nullptr);
        EXPECT_EQ(pModal->GetWindowRect().m_nWidth, 700);
        EXPECT_EQ(pModal->GetWindowRect().m_nHeight, 530);
        EXPECT_EQ(Doc(*pModal).GetRoot().FindById("label_product_version").GetText(), "1.3.0.156");
        Click(Doc(*pModal), Uid(*pModal, "EMAIL"));
    });
    main.OnAboutButton();
    EXPECT_TRUE(log.Contains("Pressed about button"));
    ASSERT_EQ(context.m_opened.size(), 1u);
    EXPECT_TRUE(context.m_opened[0].starts_with("mailto:"));
}

TEST(MainLayout, PanelsMarginsAndNews)
{
    const CMainLayout home = CMainLayout::Compute(1280, 800, 0, {46});
    EXPECT_EQ(home.m_topPanel, (CRect{0, 0, 1280, 46}));
    EXPECT_EQ(home.m_searchPanel, (CRect{0, 46, 1280, 135}));
    EXPECT_EQ(home.m_statusPanel, (CRect{0, 780, 1280, 20}));
    EXPECT_EQ(home.m_leftMargin.m_nWidth, 0);
    EXPECT_EQ(home.m_welcome, (CRect{0, 181, 1280, 230}));
    EXPECT_EQ(home.m_nMarker2, 55 + 140);
    const CMainLayout narrow = CMainLayout::Compute(1000, 768, 0, {46});
    EXPECT_EQ(narrow.m_nMarker2, 55) << "1000 pixels or less: no second marker offset";
    const CMainLayout list = CMainLayout::Compute(1280, 800, 3, {46});
    EXPECT_EQ(list.m_leftMargin, (CRect{0, 181, 140, 599}));
    EXPECT_EQ(list.m_rightMargin, (CRect{1140, 181, 140, 599}));
    EXPECT_EQ(list.m_body, (CRect{140, 181, 1000, 599}));
    const CMainLayout forms = CMainLayout::Compute(1280, 800, 7, {46});
    EXPECT_EQ(forms.m_formSections, (CRect{85, 181, 1110, 430}));
    EXPECT_EQ(CMainLayout::Compute(900, 700, 7, {46}).m_leftMargin.m_nWidth, 0);
}

TEST(MainLayout, ANarrowOrShortWindowKeepsEveryPartWholeAndScrolls)
{
    // 200 % of 1366 x 768: the panels at the window's width; the topics, the
    // month and the news one under the other, each as tall as its page.
    const CMainLayout zoomed = CMainLayout::Compute(683, 600, 0, {80, 40, 520, 360});
    EXPECT_EQ(zoomed.m_welcome, (CRect{0, 215, 683, 520}));
    EXPECT_EQ(zoomed.m_newsCalendar, (CRect{0, 735, 683, 360}));
    EXPECT_EQ(zoomed.m_newsHeader, (CRect{0, 1095, 683, 40}));
    EXPECT_EQ(zoomed.m_newsPanel, (CRect{0, 1145, 683, 100}));
    EXPECT_EQ(zoomed.m_statusPanel, (CRect{0, 1245, 683, 20}));
    EXPECT_EQ(zoomed.m_shadow, (CRect{0, 0, 683, 1265}));
    const CMainLayout document = CMainLayout::Compute(683, 600, 3, {80});
    EXPECT_EQ(document.m_body, (CRect{0, 215, 683, 365}));
    // At the design width the home page keeps its numbers whatever its page.
    EXPECT_EQ(CMainLayout::Compute(1000, 768, 0, {46, 40, 520, 300}).m_welcome,
              (CRect{0, 181, 1000, 230}));
    // The forms under their sections: a short window scrolls rather than
    // give the news a height below zero.
    const CMainLayout forms = CMainLayout::Compute(1366, 600, 7, {46});
    EXPECT_EQ(forms.m_newsPanel.m_nHeight, CMainLayout::kMinNewsHeight);
    EXPECT_EQ(forms.m_statusPanel.m_nTop, 181 + 430 + 10 + CMainLayout::kMinNewsHeight);
}

TEST(MainWindowCreation, APageWithoutAButtonFailsTheWindow)
{
    // A ui folder beside the program overrides the top panel with a page
    // that lacks one of its buttons.
    CTempDir app;
    std::filesystem::create_directories(app.File("ui"));
    WriteFileText(
        app.File("ui/top_panel.htm"),
        "<html><body><span id=btn_home></span><span id=btn_backward></span></body></html>");
    CTestContext context(app.Path());
    CMessageLoop loop;
    CWindowManager manager(loop);
    CLogCapture log;
    CMainWindow main(context, nullptr);
    EXPECT_FALSE(main.Create());
    EXPECT_TRUE(log.Contains("CHTMLayoutCtrl::SetElement can't get element with id btn_forward"));
    EXPECT_TRUE(log.Contains("Can't initialize buttons"));
    EXPECT_TRUE(log.Contains("CMainWindow::Create can't create children windows"));
}

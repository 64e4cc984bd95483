// The reading windows as logic, without a browser: the main window's views,
// the navigator's levels, the document view's link routing and name rules,
// the view timer, the history and bookmark pages, the pop-ups.
#include "DocumentPage.h"
#include "MainWindow.h"
#include "PageBar.h"
#include "PartialList.h"
#include "TestContent.h"
#include "TestSupport.h"
#include "UiTestContext.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <set>

namespace
{
const char* kCatalogue = R"(<encyclopedia>
<section name="НДС" code="nds" url="/nds/index.html">
  <section name="Общие положения">
    <section name="Ставки НДС" url="/nds/rates.html"><section name="Ставка 0%" anchor="zero"/></section>
  </section>
  <section name="Вычеты и восстановление">
    <section name="Налоговые вычеты" url="/nds/deduction.html">
      <section name="Условия вычета" anchor="conditions"/>
      <section name="Когда вычета нет" anchor="no-deduction"/>
    </section>
    <section name="Восстановление НДС" url="/nds/restore.html"/>
    <section name="Группа без страницы"><section name="Лист" url="/nds/leaf.html"/></section>
  </section>
</section>
<section name="УСН" code="usn">
  <section name="Применение"><section name="Объект" url="/usn/object.html"/></section>
</section>
</encyclopedia>)";

const char* kDeduction = R"(<html><head><title>Вычеты</title></head><body><h1>Налоговые вычеты</h1>
<p>Текст о вычетах НДС, достаточно длинный, чтобы стать аннотацией закладки.</p>
<img src="images/scheme.PNG"><a href="images/big.jpg">схема</a>
<h2 id="conditions">Условия</h2><a href="restore.html#cases">восстановить</a>
<a href="https://www.nalog.example/">сайт</a><a href="mailto:help@nalog.example">почта</a>
<a href="missing.html">нет такой</a><a href="../usn/object.html">объект</a>
<div class="sample"><a href="samples/s.html">образец</a></div><div class="download"><a href="../files/f.rtf">бланк</a></div>
<div class="see_also"><ul><li><a href="restore.html">Восстановление НДС</a></li><li><a href="../usn/object.html">Объект</a></li>
<li><a href="nowhere.html">Нет раздела</a></li></ul></div></body></html>)";

struct CReadingFixture : CWindowsFixture
{
    CReadingFixture()
    {
        context.m_strContentFolder = dir.File("Content") + "/";
        const std::string strDocs = context.GetDocumentsFolder();
        std::filesystem::create_directories(strDocs + "nds");
        std::filesystem::create_directories(strDocs + "usn");
        WriteEncipheredFile(dir.File("Content/encyclopedia.dat"), kCatalogue);
        WriteEncipheredFile(strDocs + "nds/deduction.dat", kDeduction);
        for (const char* szPage :
             {"nds/index", "nds/rates", "nds/restore", "nds/leaf", "usn/object"})
            WriteEncipheredFile(strDocs + szPage + ".dat", std::string("<html><body><h1>") +
                                                               szPage +
                                                               "</h1><p>Текст</p></body></html>");
        EXPECT_TRUE(context.m_encyclopedia.LoadData(dir.File("Content/encyclopedia.dat"), strDocs));
        context.m_registry.SetContentVersion(2);
    }

    CEncyclopediaSection* Section(const char* szUrl)
    {
        return context.m_encyclopedia.FindSectionByURL(szUrl);
    }
    CEncyclopediaSection* Named(const char* szName)
    {
        CEncyclopediaSection* pFound = nullptr;
        const std::function<void(CEncyclopediaSection&)> walk = [&](CEncyclopediaSection& section) {
            if (section.m_strName == szName)
                pFound = &section;
            for (auto& pChild : section.m_children)
                walk(*pChild);
        };
        walk(*context.m_encyclopedia.GetRoot());
        return pFound;
    }
    // Creates the main window with the content shown at a client size.
    CMainWindow& Main(int nWidth = 1366, int nHeight = 768)
    {
        if (!m_pMain)
        {
            m_pMain = std::make_unique<CMainWindow>(context, nullptr);
            EXPECT_TRUE(m_pMain->Create());
            manager.SetMainWindow(m_pMain.get());
        }
        m_pMain->MoveWindow(0, 0, nWidth, nHeight);
        return *m_pMain;
    }
    CKalimorHtmlView& View() { return Main().GetEncyclopediaWin().GetBrowserContent().GetView(); }
    // The next message dialog's text is noted and the dialog ended.
    void AnswerNextMessage(std::string& strShown)
    {
        InModal([this, &strShown] {
            for (CWnd* pWnd : manager.GetChildren(m_pMain->GetSafeHwnd()))
                if (pWnd->GetKind() == WINDOW_DIALOG && pWnd->GetHtmlDocument() &&
                    pWnd->GetHtmlDocument()->GetRoot().FindById("label").IsValid())
                {
                    strShown = pWnd->GetHtmlDocument()->GetRoot().FindById("label").GetText();
                    Doc(*pWnd).RaiseKey(0, KEY_DOWN, VK_ESCAPE);
                }
        });
    }
    std::string Shown() { return View().GetDocumentPath() + "#" + View().GetAnchor(); }

    CTempDir dir;
    std::unique_ptr<CMainWindow> m_pMain;
};
} // namespace

TEST_F(CReadingFixture, EachViewKindShowsItsOwnWindowsAndTheBodyIsAtMost1000Wide)
{
    CMainWindow& main = Main(1920, 1080);
    // The windows that come and go with the view, by name; the panels above
    // and below and the margins are not among them.
    const std::map<std::string, CWnd*> windows{
        {"welcome", &main.GetWelcomeWin()},
        {"news header", &main.GetNewsHeader()},
        {"news bar", &main.GetNewsScrollBar()},
        {"news", &main.GetNewsPanel()},
        {"month", &main.GetNewsCalendar()},
        {"reader", &main.GetEncyclopediaWin()},
        {"index", &main.GetSearchRegistryWin()},
        {"bookmarks", &main.GetBookmarkListWin()},
        {"history", &main.GetHistoryWin()},
        {"results", &main.GetSearchResultWin()},
        {"tax calendar", &main.GetTaxCalendarWin()},
        {"form sections", main.GetBodyWindow(CBookmark::VIEW_FORMS_HOME)},
        {"forms", main.GetBodyWindow(CBookmark::VIEW_FORM_LIST)},
        {"form", &main.GetBlankInfoWin()},
    };
    const std::vector<std::pair<int, std::set<std::string>>> visible{
        {CBookmark::VIEW_HOME, {"welcome", "news header", "news bar", "news", "month"}},
        {CBookmark::VIEW_SECTION, {"reader"}},
        {CBookmark::VIEW_SEARCH_REGISTRY, {"index"}},
        {CBookmark::VIEW_BOOKMARKS, {"bookmarks"}},
        {CBookmark::VIEW_HISTORY, {"history"}},
        {CBookmark::VIEW_SEARCH_RESULTS, {"results"}},
        {CBookmark::VIEW_TAX_CALENDAR, {"tax calendar"}},
        {CBookmark::VIEW_FORMS_HOME, {"form sections", "news bar", "news"}},
        {CBookmark::VIEW_FORM_LIST, {"forms"}},
        {CBookmark::VIEW_FORM, {"form"}}};
    for (const auto& [nKind, expected] : visible)
    {
        CBookmark view(nKind);
        if (nKind == CBookmark::VIEW_SECTION)
            view = CBookmark::ForSection(Section("/nds/rates.html"));
        main.ShowBookmark(view);
        EXPECT_EQ(main.GetBodyKind(), nKind);
        std::set<std::string> shown;
        for (const auto& [strName, pWnd] : windows)
            if (pWnd && pWnd->HasVisibleStyle())
                shown.insert(strName);
        EXPECT_EQ(shown, expected) << "kind " << nKind;
        if (CWnd* pBody = main.GetBodyWindow(nKind); pBody && nKind != 0 && nKind != 7)
        {
            EXPECT_EQ(pBody->GetWindowRect().m_nWidth, 1000) << "kind " << nKind;
            EXPECT_EQ(pBody->GetWindowRect().m_nLeft, 460) << "kind " << nKind;
        }
    }
    // The forms library's home takes 55 more on each side; a narrow window has
    // no margins at all.
    CBookmark forms(CBookmark::VIEW_FORMS_HOME), history(CBookmark::VIEW_HISTORY);
    main.ShowBookmark(forms);
    EXPECT_EQ(main.GetBodyWindow(7)->GetWindowRect().m_nWidth, 1110);
    Main(1000, 700);
    main.ShowBookmark(history);
    const int nTop = main.GetSearchPanel().GetWindowRect().m_nTop + 135;
    EXPECT_EQ(main.GetBodyWindow(4)->GetWindowRect(), (CRect{0, nTop, 1000, 700 - 20 - nTop}));
    // A narrower window (200 % zoom) keeps the body at its width, so that
    // documents wrap; below the smallest layout the page keeps it and scrolls.
    Main(640, 480);
    EXPECT_EQ(main.GetBodyWindow(4)->GetWindowRect(), (CRect{0, nTop, 640, 600 - 20 - nTop}));
    Main(320, 480);
    EXPECT_EQ(main.GetBodyWindow(4)->GetWindowRect(), (CRect{0, nTop, 600, 600 - 20 - nTop}));
}

TEST_F(CReadingFixture, TilesRecentDocumentsBackAndForwardAndAnUpdateLeaveOneHomeView)
{
    CMainWindow& main = Main();
    CLogCapture log;
    main.SelectEncyclopedySection("nds");
    EXPECT_EQ(Shown(), "/nds/index.html#") << "the topic's first page";
    main.SelectEncyclopedySection("usn");
    EXPECT_EQ(Shown(), "/usn/object.html#") << "a topic without a page opens its first real child";
    main.SelectEncyclopedySection("xx");
    EXPECT_TRUE(log.Contains("Invalid section type=xx"));
    main.OnSelectMRUDocument({"/nds/rates.html#zero", "Ставка 0%"});
    EXPECT_EQ(Shown(), "/nds/rates.html#zero");
    main.OnSelectMRUDocument({"/gone.html", "Исчезнувший"});
    EXPECT_TRUE(log.Contains("DocumentИсчезнувший not found"));

    // Back puts a view's search string back into the search box.
    auto pFound = std::make_unique<CBookmark>(
        CBookmark::ForSections({Section("/nds/restore.html")}, "восстановление"));
    pFound->m_pSection = Section("/nds/restore.html");
    main.GoToBookmark(std::move(pFound), true);
    main.OnHomeButton();
    main.GetSearchPanel().SetSearchText("");
    main.OnBackButton();
    EXPECT_EQ(main.GetSearchPanel().GetSearchText(), "восстановление");
    main.OnBackButton();
    EXPECT_EQ(Shown(), "/nds/rates.html#zero");
    main.OnForwButton();
    main.OnForwButton();
    EXPECT_EQ(main.GetBodyKind(), 0);
    EXPECT_TRUE(main.GetMovementHistory().CanMoveBackward());

    main.OnUpdateData();
    EXPECT_EQ(main.GetMovementHistory().GetCount(), 1u);
    EXPECT_EQ(main.GetBodyKind(), 0);
    EXPECT_FALSE(main.GetMovementHistory().CanMoveBackward());

    // Without content a tile says so instead of opening anything.
    context.m_registry.SetContentVersion(0);
    std::string strShown;
    AnswerNextMessage(strShown);
    main.SelectEncyclopedySection("nds");
    EXPECT_EQ(strShown, "Контент не загружен. Выполните обновление");
    EXPECT_EQ(main.GetBodyKind(), 0);
}

// The navigator worked as a tree by keys: one Tab stop that follows the
// row the user is on, Up and Down between the rows shown, Right opening a
// branch and then going into it, Left going up and then closing it, Home
// and End.
TEST_F(CReadingFixture, TheNavigatorIsATreeForTheKeyboard)
{
    CMainWindow& main = Main();
    main.GoToBookmark(
        std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/index.html"))), true);
    CNavigatorWin& navigator = main.GetEncyclopediaWin().GetNavigator();
    const auto rows = [&] {
        return navigator.GetRootElement().FindById("tree").Select("a.section_link");
    };
    const auto focused = [&] {
        std::string strFocused, strTabStops;
        for (const CElement& row : rows())
        {
            if (row.HasState(STATE_FOCUS))
                strFocused += row.GetText();
            if (row.GetAttribute("tabindex") == "0")
                strTabStops += row.GetText();
        }
        return strFocused == strTabStops ? strFocused
                                         : strFocused + " (Tab stop: " + strTabStops + ")";
    };
    navigator.GetRootElement().FindById(navigator.GetIdOf(Named("Общие положения"))).Focus();
    struct
    {
        unsigned m_nKey;
        const char* m_szFocused;
        std::size_t m_nRows;
    } const steps[] = {
        {VK_DOWN, "Вычеты и восстановление", 2}, {VK_RIGHT, "Вычеты и восстановление", 5},
        {VK_RIGHT, "Налоговые вычеты", 5},       {VK_DOWN, "Восстановление НДС", 5},
        {VK_LEFT, "Вычеты и восстановление", 5}, {VK_LEFT, "Вычеты и восстановление", 2},
        {VK_HOME, "Общие положения", 2},         {VK_UP, "Общие положения", 2},
        {VK_END, "Вычеты и восстановление", 2},  {VK_DOWN, "Вычеты и восстановление", 2},
    };
    for (const auto& step : steps)
    {
        CElement row;
        for (const CElement& candidate : rows())
            if (candidate.HasState(STATE_FOCUS))
                row = candidate;
        ASSERT_TRUE(row.IsValid()) << "no row has the keyboard before " << step.m_szFocused;
        Doc(navigator).RaiseKey(row.GetUid(), KEY_DOWN, step.m_nKey);
        Drain();
        EXPECT_EQ(focused(), step.m_szFocused) << "key " << step.m_nKey;
        EXPECT_EQ(rows().size(), step.m_nRows) << "key " << step.m_nKey;
    }

    // The tree rebuilt as another section of it opens keeps the row that has
    // the keyboard, unless the user went on in the document meanwhile.
    for (const bool bInDocument : {false, true})
    {
        CElement row =
            navigator.GetRootElement().FindById(navigator.GetIdOf(Named("Общие положения")));
        row.Focus();
        manager.HandleBrowserEvent(
            {{"type", "focus"}, {"win", navigator.GetSafeHwnd()}, {"uid", row.GetUid()}});
        if (bInDocument)
            manager.HandleBrowserEvent({{"type", "docmouse"}, {"win", View().GetSafeHwnd()}});
        main.GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(
                              Section(bInDocument ? "/nds/restore.html" : "/nds/deduction.html"))),
                          true);
        const std::vector<CElement> shown = rows();
        const auto withKeyboard = std::count_if(shown.begin(), shown.end(), [](const CElement& r) {
            return r.HasState(STATE_FOCUS) && r.GetText() == "Общие положения";
        });
        EXPECT_EQ(withKeyboard, bInDocument ? 0 : 1)
            << (bInDocument ? "in the document" : "in the tree");
    }
}

TEST_F(CReadingFixture, NavigatorLevelsExpandSelectAndOpen)
{
    CMainWindow& main = Main();
    main.GoToBookmark(
        std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/index.html"))), true);
    CNavigatorWin& navigator = main.GetEncyclopediaWin().GetNavigator();
    CLogCapture log;
    const auto id = [&](const char* szName) { return navigator.GetIdOf(Named(szName)); };
    const auto row = [&](const char* szName) {
        return navigator.GetRootElement().FindById(id(szName));
    };
    // The class of the row's cell (a second-level row has inner cells).
    const auto cell = [&](const char* szName) {
        CElement up = row(szName).GetParent();
        const auto isRowCell = [](const CElement& e) {
            const std::string strClass = e.GetAttribute("class");
            return e.GetTag() == "td" && strClass.starts_with("level") &&
                   strClass != "level2_name" && strClass != "level2_image";
        };
        while (up.IsValid() && !isRowCell(up))
            up = up.GetParent();
        return up.GetAttribute("class");
    };

    EXPECT_EQ(cell("Общие положения"), "level2_normal_first");
    EXPECT_FALSE(row("Налоговые вычеты").IsValid()) << "a collapsed branch has no rows";
    navigator.OnSelectCtrl(id("Вычеты и восстановление"));
    EXPECT_TRUE(row("Налоговые вычеты").IsValid());
    EXPECT_EQ(row("Вычеты и восстановление").SelectParent("td.level2_high").IsValid(), true);
    navigator.OnSelectCtrl(id("Вычеты и восстановление"));
    EXPECT_FALSE(row("Налоговые вычеты").IsValid()) << "a second click collapses it";
    EXPECT_EQ(navigator.GetSelectedSecondLevel(), Named("Вычеты и восстановление"))
        << "and keeps it selected";
    navigator.OnSelectCtrl(id("Вычеты и восстановление"));

    // A third-level item becomes the only open one of its branch, clears the
    // second-level selection, and opens its document.
    navigator.OnSelectCtrl(id("Группа без страницы"));
    EXPECT_TRUE(row("Лист").IsValid());
    EXPECT_EQ(Shown(), "/nds/index.html#") << "a third-level item without a page opens nothing";
    navigator.OnSelectCtrl(id("Налоговые вычеты"));
    EXPECT_FALSE(row("Лист").IsValid());
    EXPECT_TRUE(row("Когда вычета нет").IsValid());
    EXPECT_EQ(navigator.GetSelectedSecondLevel(), nullptr);
    EXPECT_EQ(Shown(), "/nds/deduction.html#");
    EXPECT_EQ(cell("Налоговые вычеты"), "level3_selected");

    // The fourth level opens the document at its anchor; its path is marked.
    navigator.OnSelectCtrl(id("Когда вычета нет"));
    EXPECT_EQ(Shown(), "/nds/deduction.html#no-deduction");
    EXPECT_EQ(cell("Когда вычета нет"), "level4_selected");
    EXPECT_EQ(cell("Условия вычета"), "level4");
    EXPECT_EQ(row("Когда вычета нет").GetAttribute("aria-current"), "page");
    EXPECT_TRUE(View().GetFrameSource().starts_with("/doc/nds/deduction.html?v="));
    EXPECT_TRUE(View().GetFrameSource().ends_with("#no-deduction"));

    // See also: the page's block, sections that exist only.
    const std::string strSeeAlso = navigator.GetSeeAlsoHtml();
    EXPECT_NE(strSeeAlso.find("id=\"SEEALSO0\">Восстановление НДС"), std::string::npos);
    EXPECT_NE(strSeeAlso.find("id=\"SEEALSO1\">Объект"), std::string::npos);
    EXPECT_EQ(strSeeAlso.find("SEEALSO2"), std::string::npos);
    navigator.OnSelectSeeAlso("SEEALSO1");
    EXPECT_EQ(Shown(), "/usn/object.html#");
    EXPECT_EQ(main.GetEncyclopediaWin()
                  .GetNavigator()
                  .GetRootElement()
                  .FindById("section_name")
                  .GetText(),
              "УСН");

    navigator.OnSelectCtrl("ID999");
    navigator.OnSelectSeeAlso("SEEALSO7");
    EXPECT_TRUE(log.Contains("Invalid control ID"));
    EXPECT_TRUE(log.Contains("CNavigatorWin::OnSelectSeeAlso received NULL pointer"));
    Drain(); // the rows' controls retired by the rebuilds go now
}

TEST_F(CReadingFixture, DocumentLinksAreRoutedByTheirTables)
{
    CMainWindow& main = Main();
    main.GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(Named("Налоговые вычеты"))),
                      true);
    CKalimorHtmlView& view = View();
    EXPECT_EQ(view.m_linkTable1.at("restore.html#cases"), "/nds/restore.html#cases");
    EXPECT_EQ(view.m_linkTable1.at("../usn/object.html"), "/usn/object.html");
    EXPECT_EQ(view.m_linkTable2.count("about:SAMPLE_0"), 1u);
    EXPECT_EQ(view.m_linkTable1.count("images/big.jpg"), 0u) << "pictures go to the viewer";

    std::vector<std::string> images, forms;
    view.m_sigShowImage.connect([&](const std::string& strUrl) { images.push_back(strUrl); });
    main.GetEncyclopediaWin().m_sigFormsLink.connect([&](const std::string& strUrl, bool bSample) {
        forms.push_back((bSample ? "sample " : "download ") + strUrl);
    });
    const std::size_t nViewsBefore = main.GetMovementHistory().GetCount();
    CLogCapture log;
    // The form's file is in the library: a copy of it in the user's documents
    // opens at once with the desktop's handler.
    SetEnv("XDG_DOCUMENTS_DIR", dir.File("documents"));
    WriteFileText(context.GetDocumentsFolder() + "files/f.rtf", "{\\rtf1 бланк}");
    const std::string strForm = dir.File("documents/Калимор - формы и бланки/f.rtf");
    view.OnBeforeNavigate("https://www.nalog.example/");
    view.OnBeforeNavigate("mailto:help@nalog.example");
    view.OnBeforeNavigate("about:DOWNLOAD_0");
    view.OnBeforeNavigate("javascript:alert(1)");
    EXPECT_EQ(context.m_opened, (std::vector<std::string>{"https://www.nalog.example/",
                                                          "mailto:help@nalog.example", strForm}));
    EXPECT_EQ(forms, (std::vector<std::string>{"download /files/f.rtf"}));
    EXPECT_EQ(main.GetMovementHistory().GetCount(), nViewsBefore) << "none of these is a view";

    // Pictures: links and images alike, whatever the case of their name; each
    // opens the viewer, which the test closes.
    for (const char* szPicture : {"images/big.jpg", "images/scheme.PNG"})
    {
        InModal([&] {
            for (CWnd* pWnd : manager.GetChildren(main.GetSafeHwnd()))
                if (pWnd->GetKind() == WINDOW_DIALOG && pWnd->GetHtmlDocument())
                    Doc(*pWnd).RaiseKey(0, KEY_DOWN, VK_ESCAPE);
        });
        view.OnBeforeNavigate(szPicture);
    }
    EXPECT_EQ(images, (std::vector<std::string>{"/nds/images/big.jpg", "/nds/images/scheme.PNG"}));

    // A content link is a new view, at its anchor.
    view.OnBeforeNavigate("restore.html#cases");
    EXPECT_EQ(Shown(), "/nds/restore.html#cases");
    EXPECT_EQ(main.GetMovementHistory().GetCount(), nViewsBefore + 1);
    EXPECT_TRUE(log.Contains("Go to document /nds/restore.html#cases"));
    main.OnBackButton();
    EXPECT_EQ(Shown(), "/nds/deduction.html#");

    // A link to a page the content does not have, and a web link the desktop
    // cannot open, are told to the user.
    for (const auto& [strLink, strMessage] : std::vector<std::pair<std::string, std::string>>{
             {"missing.html", "Некорректная ссылка"},
             {"https://www.nalog.example/", "Ошибка при открытии гиперссылки"}})
    {
        context.m_bDesktopWorks = false;
        std::string strShown;
        AnswerNextMessage(strShown);
        view.OnBeforeNavigate(strLink);
        EXPECT_EQ(strShown, strMessage);
    }
    EXPECT_TRUE(log.Contains("Document /nds/missing.html not found"));
    EXPECT_EQ(Shown(), "/nds/deduction.html#");

    // A filled sample takes the document's place as a view of its own, under
    // the same section; Back returns to the document.
    view.OnBeforeNavigate("about:SAMPLE_0");
    EXPECT_EQ(forms.back(), "sample /nds/samples/s.html");
    EXPECT_EQ(Shown(), "/nds/samples/s.html#");
    EXPECT_EQ(main.GetEncyclopediaWin().GetCurrentSection(), Named("Налоговые вычеты"));
    EXPECT_EQ(main.GetEncyclopediaWin().GetTimedSection(), nullptr)
        << "a sample is no reading of the section";
    main.OnBackButton();
    EXPECT_EQ(Shown(), "/nds/deduction.html#");
}

TEST(DocumentView, NameRules)
{
    struct CCase
    {
        const char* szUrl;
        bool bPage;
        const char* szPlain;
        const char* szEncrypted;
    };
    for (const CCase& c : std::initializer_list<CCase>{
             {"/Nds/Rates.HTML", true, "\\nds\\rates.html", "\\nds\\rates.dat"},
             {" a\\\\b//./c/../d.html\\ ", true, "a\\b\\d.html", "a\\b\\d.dat"},
             {"/dir/page.htm", false, "", ""},
             {".html", false, "", ""},
             {"a.html", true, "a.html", "a.dat"},
             {"/pictures/x.png", false, "", ""}})
    {
        std::string strEncrypted, strPlain;
        EXPECT_EQ(CKalimorHtmlView::GetLocalFileName(c.szUrl, strEncrypted, strPlain), c.bPage)
            << c.szUrl;
        if (c.bPage)
        {
            EXPECT_EQ(strPlain, c.szPlain) << c.szUrl;
            EXPECT_EQ(strEncrypted, c.szEncrypted) << c.szUrl;
        }
    }
    for (const auto& [szUrl, bImage] :
         std::initializer_list<std::pair<const char*, bool>>{{"a/B.PNG", true},
                                                             {"x.jpg?y", true},
                                                             {"x.jpeg", false},
                                                             {"x.gif", false},
                                                             {"png.html", false}})
        EXPECT_EQ(CKalimorHtmlView::IsImageURL(szUrl), bImage) << szUrl;
    EXPECT_EQ(CKalimorHtmlView::MakeFrameUrl("/налоги/a b.html", "раздел 1", 7),
              "/doc/%D0%BD%D0%B0%D0%BB%D0%BE%D0%B3%D0%B8/"
              "a%20b.html?v=7#%D1%80%D0%B0%D0%B7%D0%B4%D0%B5%D0%BB%201");
    for (const auto& [szHref, szTarget] :
         std::initializer_list<std::pair<const char*, const char*>>{
             {"b.html", "/dir/b.html"},
             {"../x/./y.html?q=1#a", "/x/y.html#a"},
             {"../../../../z.html", "/z.html"},
             {"#part", "/dir/page.html#part"},
             {"\\dir2\\c.html", "/dir2/c.html"},
             {"HTTPS://host/", "HTTPS://host/"},
             {"about:SAMPLE_1", "about:SAMPLE_1"}})
        EXPECT_EQ(CDocumentPage::ResolveLink("/dir/page.html#old", szHref), szTarget) << szHref;
}

TEST(DocumentView, AHostilePageLosesWhateverWouldRunOrLeaveTheClient)
{
    CDocumentPage page;
    ASSERT_TRUE(page.LoadHtml(
        R"html(<html><head><meta http-equiv="refresh" content="0;url=http://evil.example/">
<base href="http://evil.example/"><script>steal()</script><link rel="import" href="x.html">
<link rel="stylesheet" href="../online/styles/style.css"><link rel="stylesheet" href="http://evil.example/s.css"></head>
<body onload="steal()"><a href="javascript:steal()">a</a><a href=" jav&#x09;ascript:steal()">b</a>
<a href="http://web.example/" target="_blank" onclick="steal()">web</a><img src="http://evil.example/p.png">
<img src="//evil.example/p.png"><img src="data:image/png;base64,AA=="><img src="local.png" onerror="steal()">
<form action="http://evil.example/post"><input name=q formaction="http://evil.example/"></form>
<iframe src="http://evil.example/"></iframe><object data="x.swf"></object><embed src="x.swf">
<svg><a xlink:href="javascript:steal()"><text>s</text></a></svg><div style="color:red">kept</div></body></html>)html",
        "/dir/page.html"));
    const std::string html = page.GetSafeHtml();
    for (const char* szGone : {"steal", "evil.example", "<script", "<iframe", "<object", "<embed",
                               "<base", "<form", "refresh", "target=", "data:image", "import"})
        EXPECT_EQ(html.find(szGone), std::string::npos) << szGone << " in " << html;
    for (const char* szKept :
         {"href=\"http://web.example/\"", "src=\"local.png\"", "title=\"Увеличить\"",
          "../online/styles/style.css", "style=\"color:red\"", "/ui/document_view.css"})
        EXPECT_NE(html.find(szKept), std::string::npos) << szKept << " in " << html;
    EXPECT_EQ(page.GetText(8), "ab web s...");
}

TEST_F(CReadingFixture, ContextMenuCommandsAndBookmarksFromTheDocument)
{
    CMainWindow& main = Main();
    main.GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(Named("Налоговые вычеты"))),
                      true);
    CKalimorHtmlView& view = View();
    CPopupMenuWin& menu = view.GetMenu();
    const auto lines = [&] {
        std::string text;
        for (const auto& item : menu.GetItems())
            text += item.m_strText + (item.m_bEnabled ? "" : " (нет)") + "; ";
        return text;
    };
    for (const char* szKind : {"image", "control"})
    {
        view.OnContextMenu(szKind, 10, 10);
        EXPECT_FALSE(menu.IsShown()) << szKind;
    }
    view.OnContextMenu("page", 700, 900);
    EXPECT_TRUE(menu.IsShown());
    EXPECT_EQ(lines(), "Копировать (нет); Добавить в закладки; Печать; ");
    EXPECT_LE(menu.GetWindowRect().m_nTop + menu.GetWindowRect().m_nHeight, 800)
        << "kept inside the window";
    view.OnContextMenu("selection", 10, 10);
    EXPECT_EQ(lines(), "Копировать; Добавить в закладки; Печать; Открыть в LibreOffice Writer; ");
    // A press anywhere else closes it.
    manager.HandleBrowserEvent(
        {{"type", "mouse"}, {"win", main.GetTopPanel().GetSafeHwnd()}, {"uid", 0}, {"code", 4}});
    EXPECT_FALSE(menu.IsShown());

    // "Add to bookmarks" from the menu: the view with the page's text, saved
    // at once; a second time is "already added".
    view.OnContextMenu("page", 10, 10);
    Click(menu, menu.GetRootElement().FindById("cmd32775"));
    ASSERT_EQ(context.m_bookmarks.GetCount(), 1u);
    EXPECT_EQ(context.m_nBookmarkSaves, 1);
    EXPECT_EQ(context.m_bookmarks.GetAt(0)->m_pSection, Named("Налоговые вычеты"));
    EXPECT_TRUE(context.m_bookmarks.GetAt(0)->m_strAnnotation.starts_with(
        "Текст о вычетах НДС, достаточно длинный"))
        << "the page's text without its title";
    EXPECT_EQ(main.GetEncyclopediaWin()
                  .GetBrowserContent()
                  .GetToolBar()
                  .GetRootElement()
                  .FindById("btn_add_bookmark")
                  .GetAttribute("added"),
              "1");
    CLogCapture log;
    main.GetEncyclopediaWin().OnAddBookmarkClicked();
    EXPECT_TRUE(log.Contains("Bookmark already added"));
    EXPECT_EQ(context.m_bookmarks.GetCount(), 1u);

    // The word processor gets the selection the page reports, cleaned.
    view.OnFrontEndEvent("docselection",
                         {{"purpose", "word"},
                          {"html", "<b onclick=\"x()\">Вычет</b><img srcset=\"/\\127.0.0.2:9/x\">"
                                   "<svg><style><img src=http://127.0.0.2:9/></style></svg>"}});
    ASSERT_EQ(context.m_opened.size(), 1u);
    const std::string strWriter = ReadFileText(context.m_opened[0].substr(7));
    EXPECT_NE(strWriter.find("<b>Вычет</b>"), std::string::npos) << strWriter;
    EXPECT_EQ(strWriter.find("127.0.0.2"), std::string::npos) << strWriter;
}

TEST_F(CReadingFixture, ADocumentKeptElevenSecondsIsRecordedOnce)
{
    context.m_history.LoadData(dir.File("history.xml"));
    CMainWindow& main = Main();
    main.ShowWindow(SW_SHOW);
    CEncyclopediaAccountantWin& reader = main.GetEncyclopediaWin();
    const auto records = [&] {
        std::string urls;
        for (const auto& pRecord : context.m_history.GetRecords())
            urls += pRecord->m_strURL + " " + pRecord->m_strFirstLine + " / " +
                    pRecord->m_strSecondLine + "; ";
        return urls;
    };
    EXPECT_EQ(reader.GetTimerPeriod(CEncyclopediaAccountantWin::kViewTimer), 1000u)
        << "ticks every second";
    EXPECT_EQ(main.GetTimerPeriod(TIMER_CLIENT_VERSION), 10800000u) << "every 3 hours";
    EXPECT_EQ(main.GetTimerPeriod(TIMER_CLIENT_OFFER), 60000u) << "every minute";
    // Left a second before the eleventh: never recorded.
    main.GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(Named("Условия вычета"))),
                      true);
    context.m_tNow += 10;
    reader.CheckViewTimer();
    EXPECT_NE(reader.GetTimedSection(), nullptr) << "still timed at 10 s";
    main.GoToBookmark(
        std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/restore.html"))), true);
    context.m_tNow -= 5; // a clock that went backwards waits
    reader.CheckViewTimer();
    EXPECT_EQ(records(), "");
    context.m_tNow += 5 + 10; // 10 s after the document was shown
    reader.CheckViewTimer();
    EXPECT_EQ(records(), "");
    context.m_tNow += 1; // 11 s: recorded, once
    reader.CheckViewTimer();
    EXPECT_EQ(records(), "/nds/restore.html Восстановление НДС / НДС; ");
    context.m_tNow += 30;
    reader.CheckViewTimer();
    EXPECT_EQ(records(), "/nds/restore.html Восстановление НДС / НДС; ");
    // Hidden (another view on screen): no record, and the timing ends.
    main.GoToBookmark(
        std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/rates.html"))), true);
    main.OnHomeButton();
    context.m_tNow += 11;
    reader.CheckViewTimer();
    EXPECT_EQ(reader.GetTimedSection(), nullptr);
    EXPECT_EQ(records(), "/nds/restore.html Восстановление НДС / НДС; ");
}

TEST_F(CReadingFixture, HistoryPagesByTheWindowHeightWithOneDateRowPerDay)
{
    EXPECT_EQ(CHistoryWin::ItemsPerPage(510), 6);
    EXPECT_EQ(CHistoryWin::ItemsPerPage(100), 1);
    std::vector<std::unique_ptr<CHistoryInfo>> records;
    for (const auto& [nDay, nHour] :
         std::initializer_list<std::pair<unsigned, int>>{{5, 9}, {6, 10}, {6, 15}, {7, 8}})
    {
        auto pInfo = std::make_unique<CHistoryInfo>();
        pInfo->m_strURL = "/p" + std::to_string(nDay) + std::to_string(nHour) + ".html";
        pInfo->m_strFirstLine = "Документ " + std::to_string(nDay);
        pInfo->m_strSecondLine = "НДС";
        pInfo->m_time = CLocalTime{CDate{2026, 12, nDay}, nHour, 5, 0};
        records.push_back(std::move(pInfo));
    }
    StringGenerator row("<tr>$(TIME)|$(SECTION)|$(ID)|$(LINK)|$(TEXT)</tr>");
    std::map<std::string, const CHistoryInfo*> ids;
    const std::string strDate =
        "<tr class=\"date_row\"><td class=\"time\"></td><td class=\"date\">";
    EXPECT_EQ(CHistoryWin::BuildRows(records, 0, 3, row, ids),
              strDate + "07.12.2026</td></tr><tr>8:05|НДС|ID0|Документ 7|</tr>" + strDate +
                  "06.12.2026</td></tr><tr>15:05|НДС|ID1|Документ "
                  "6|</tr><tr>10:05|НДС|ID2|Документ 6|</tr>");
    EXPECT_EQ(CHistoryWin::BuildRows(records, 1, 3, row, ids),
              strDate + "05.12.2026</td></tr><tr>9:05|НДС|ID3|Документ 5|</tr>");
    EXPECT_EQ(ids.at("ID3"), records[0].get());

    // In the window: 510 pixels, 14 records -> 3 pages; a click opens the page.
    for (int i = 0; i < 14; ++i)
        context.m_history.AddSection("/nds/restore.html", "Восстановление НДС", "НДС",
                                     context.m_tNow + std::time_t{i} * 86400);
    CMainWindow& main = Main();
    Main(1366, main.GetSearchPanel().GetWindowRect().m_nTop + 135 + 510 + 20);
    main.OnHistoryButton();
    CHistoryWin& history = main.GetHistoryWin();
    EXPECT_EQ(history.GetWindowRect().m_nHeight, 510);
    EXPECT_EQ(history.GetPageCount(), 3);
    EXPECT_EQ(history.GetRootElement().Select(".history_item").size(), 6u);
    EXPECT_FALSE(history.GetRootElement().FindById("PREV").IsValid());
    history.OnPage("NEXT");
    history.OnPage("PAGE2");
    EXPECT_EQ(history.GetCurrentPage(), 2);
    EXPECT_EQ(history.GetRootElement().FindById("PAGE2").GetAttribute("selected"), "1");
    EXPECT_FALSE(history.GetRootElement().FindById("NEXT").IsValid());
    EXPECT_EQ(history.GetRootElement().Select(".history_item").size(), 2u);
    CLogCapture log;
    history.OnPage("PAGEX");
    history.OnGoToItem("ID99");
    EXPECT_TRUE(log.Contains("Inalid page element ID=PAGEX"));
    EXPECT_TRUE(log.Contains("CHistoryWin::OnGoToItem received NULL"));
    history.OnGoToItem("ID12");
    EXPECT_EQ(Shown(), "/nds/restore.html#");
}

TEST_F(CReadingFixture, BookmarksPageByTwelveNewestFirstFlagAndDelete)
{
    StringGenerator cell("[$(NUM) $(LINK_ID) $(FLAG_ID) $(DARK) $(LINK)]");
    CBookmarkVector bookmarks;
    EXPECT_EQ(CBookmarkListWin::BuildGrid(bookmarks, 0, cell).find("no_bookmarks"), 12u);
    for (int i = 0; i < 13; ++i)
    {
        auto pBookmark =
            std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/rates.html")));
        pBookmark->m_strText = "Закладка " + std::to_string(i);
        pBookmark->m_bImportant = i == 12;
        bookmarks.Add(std::move(pBookmark));
    }
    const std::string strFirst = CBookmarkListWin::BuildGrid(bookmarks, 0, cell);
    EXPECT_EQ(std::count(strFirst.begin(), strFirst.end(), '['), 12);
    EXPECT_NE(strFirst.find("[1 ID1 FLAG1 1 Закладка 12]"), std::string::npos)
        << "newest first, flagged dark";
    const auto count = [](const std::string& text, std::string_view part) {
        std::size_t n = 0;
        for (std::size_t nPos = text.find(part); nPos != std::string::npos;
             nPos = text.find(part, nPos + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(strFirst, "<tr "), 3u) << "rows of four cells";
    EXPECT_EQ(count(strFirst, "role=\"listitem\""), 12u) << "one list of the bookmarks";
    EXPECT_EQ(CBookmarkListWin::BuildGrid(bookmarks, 1, cell).find("[13 ID1 FLAG1 0 Закладка 0]") !=
                  std::string::npos,
              true)
        << "the second page holds one cell";
    for (const auto& [nCell, nPage, nIndex] : std::initializer_list<std::tuple<int, int, int>>{
             {1, 0, 12}, {12, 0, 1}, {1, 1, 0}, {2, 1, -1}, {0, 0, -1}, {13, 0, -1}, {1, -1, -1}})
        EXPECT_EQ(CBookmarkListWin::StoredIndex(nCell, nPage, 13), nIndex)
            << nCell << " on " << nPage;

    // In the window: flag and delete save at once; emptying the last page
    // moves to the one before.
    for (auto& pBookmark : bookmarks.Items())
        context.m_bookmarks.Add(std::make_unique<CBookmark>(*pBookmark));
    CMainWindow& main = Main();
    main.OnBookmarksButton();
    CBookmarkListWin& list = main.GetBookmarkListWin();
    EXPECT_EQ(list.GetPageCount(), 2);
    list.OnPage("NEXT");
    EXPECT_EQ(list.GetRootElement().Select("td.bookmark").size(), 1u);
    EXPECT_EQ(main.GetCurrentView()->m_nParam1, 1) << "the page is kept in the view";
    list.OnFlagBookmark("FLAG1");
    EXPECT_TRUE(context.m_bookmarks.GetAt(0)->m_bImportant);
    list.OnDeleteBookmark("DELETE1");
    EXPECT_EQ(context.m_bookmarks.GetCount(), 12u);
    EXPECT_EQ(list.GetCurrentPage(), 0);
    EXPECT_EQ(list.GetRootElement().Select("td.bookmark").size(), 12u);
    const std::vector<CElement> cells = list.GetRootElement().FindById("pages").Select(".page_num");
    ASSERT_EQ(cells.size(), 1u) << "one page: one cell, no arrows";
    EXPECT_EQ(cells[0].GetAttribute("id"), "PAGE0");
    EXPECT_EQ(context.m_nBookmarkSaves, 2);
    CLogCapture log;
    list.OnFlagBookmark("FLAG13");
    EXPECT_TRUE(log.Contains("Inavlid bookmark index"));
    list.OnGoToBookmark("ID1");
    EXPECT_EQ(Shown(), "/nds/rates.html#");
}

TEST(PageBar, ArrowsAndPages)
{
    const std::string strMiddle = CPageBar::BuildHtml(1, 3);
    for (const char* szPart :
         {"id=\"PREV\"", "id=\"img_left_arrow\"", "id=\"PAGE0\" selected=\"0\"",
          "id=\"PAGE1\" selected=\"1\"", ">3</td>", "id=\"NEXT\"", "id=\"img_right_arrow\""})
        EXPECT_NE(strMiddle.find(szPart), std::string::npos) << szPart;
    EXPECT_EQ(CPageBar::BuildHtml(0, 0), "") << "an empty list has no page cells";
    EXPECT_EQ(CPageBar::BuildHtml(0, 2).find("PREV"), std::string::npos);
    EXPECT_EQ(CPageBar::BuildHtml(1, 2).find("NEXT"), std::string::npos);
    int nPage = 0;
    EXPECT_TRUE(CPageBar::PageOf("PAGE12", 0, nPage) && nPage == 12);
    EXPECT_TRUE(CPageBar::PageOf("NEXT", 4, nPage) && nPage == 5);
    EXPECT_FALSE(CPageBar::PageOf("PAGE", 0, nPage));
    EXPECT_FALSE(CPageBar::PageOf("PAGE1x", 0, nPage));
    EXPECT_EQ(CPageBar::PageCount(13, 12), 2);
    // A long list's bar: the first and last pages and a run of seven around
    // the current one, as wide on every page, a gap mark where pages are
    // left out; every page of a short list.
    struct CShown
    {
        int m_nCurrent, m_nCount;
        const char* m_szCells;
    };
    for (const auto& shown : std::initializer_list<CShown>{
             {0, 1, "1*"},
             {3, 11, "1 2 3 4* 5 6 7 8 9 10 11"},
             {0, 12, "1* 2 3 4 5 6 7 8 … 12"},
             {11, 12, "1 … 5 6 7 8 9 10 11 12*"},
             {0, 1667, "1* 2 3 4 5 6 7 8 … 1667"},
             {4, 1667, "1 2 3 4 5* 6 7 8 … 1667"},
             {5, 1667, "1 … 3 4 5 6* 7 8 9 … 1667"},
             {800, 1667, "1 … 798 799 800 801* 802 803 804 … 1667"},
             {1666, 1667, "1 … 1660 1661 1662 1663 1664 1665 1666 1667*"},
         })
    {
        const std::string html = CPageBar::BuildHtml(shown.m_nCurrent, shown.m_nCount);
        std::string cells;
        for (std::size_t pos = html.find("<td class=\"page_"); pos != std::string::npos;
             pos = html.find("<td class=\"page_", pos + 1))
        {
            const std::size_t nText = html.find('>', pos) + 1;
            const std::string text = html.substr(nText, html.find("</td>", nText) - nText);
            if (text.starts_with("<img"))
                continue;
            const bool bSelected =
                html.substr(pos, nText - pos).find("selected=\"1\"") != std::string::npos;
            cells += (cells.empty() ? "" : " ") + text + (bSelected ? "*" : "");
        }
        EXPECT_EQ(cells, shown.m_szCells) << shown.m_nCurrent << " of " << shown.m_nCount;
    }
    EXPECT_EQ(CPageBar::PageCount(0, 12), 0);
    // A click on a bar the list has outgrown (a stale "NEXT", a page gone
    // with deleted items) stays among the pages there are.
    struct CTurn
    {
        const char* m_szId;
        int m_nCurrent, m_nPages;
        bool m_bTurns;
        int m_nPage;
    };
    for (const CTurn& turn : {CTurn{"NEXT", 2, 3, true, 2}, CTurn{"PAGE9", 0, 3, true, 2},
                              CTurn{"PREV", 0, 3, true, 0}, CTurn{"PAGE1", 0, 0, true, 0},
                              CTurn{"PAGE1", 0, 3, true, 1}, CTurn{"PAGEX", 1, 3, false, 0}})
    {
        nPage = 0;
        EXPECT_EQ(CPageBar::Turn(turn.m_szId, turn.m_nCurrent, turn.m_nPages, nPage), turn.m_bTurns)
            << turn.m_szId;
        if (turn.m_bTurns)
        {
            EXPECT_EQ(nPage, turn.m_nPage) << turn.m_szId << " from " << turn.m_nCurrent;
        }
    }
}

// The run of a long list that a window builds, how it grows, and the text of
// the links that grow it.
TEST(PartialList, RunsAroundTheCurrentItemAndGrow)
{
    using CRange = CPartialList::CRange;
    constexpr std::size_t kNone = CPartialList::kNone;
    struct CAround
    {
        std::size_t m_nCount, m_nMax, m_nKeep;
        CRange m_range;
    };
    for (const CAround& one :
         {CAround{5, 9, 3, {0, 5}}, CAround{9, 9, kNone, {0, 9}}, CAround{30, 9, kNone, {0, 9}},
          CAround{30, 9, 2, {0, 9}}, CAround{30, 9, 15, {11, 20}}, CAround{30, 9, 29, {21, 30}},
          CAround{30, 9, 40, {0, 9}}, CAround{0, 9, kNone, {0, 0}}})
        EXPECT_EQ(CPartialList::Around(one.m_nCount, one.m_nMax, one.m_nKeep), one.m_range)
            << one.m_nCount << " items around " << one.m_nKeep;

    struct CGrow
    {
        CRange m_from;
        bool m_bDown;
        CRange m_to;
        std::size_t m_nFocus;
    };
    for (const CGrow& one :
         {CGrow{{0, 9}, true, {0, 18}, 9}, CGrow{{11, 20}, false, {2, 20}, 10},
          CGrow{{21, 30}, true, {21, 30}, kNone}, CGrow{{0, 9}, false, {0, 9}, kNone},
          CGrow{{25, 28}, true, {25, 30}, 28}, CGrow{{0, 40}, true, {0, 30}, kNone}})
        EXPECT_EQ(CPartialList::Grown(one.m_from, 30, 9, one.m_bDown),
                  std::make_pair(one.m_to, one.m_nFocus))
            << one.m_from.first << "-" << one.m_from.second << (one.m_bDown ? " down" : " up");

    EXPECT_EQ(CPartialList::MoreText(1, true), "Ещё 1 раздел…");
    EXPECT_EQ(CPartialList::MoreText(3, false), "Выше ещё 3 раздела…");
    EXPECT_EQ(CPartialList::MoreText(11, true), "Ещё 11 разделов…");
    EXPECT_EQ(CPartialList::MoreText(21, false), "Выше ещё 21 раздел…");
}

// A branch of 500 sections: 200 rows around the one on screen, and a row
// above and below that shows 200 more, with the keyboard on the first new one.
TEST_F(CReadingFixture, TheNavigatorOfAWideBranchBuildsTheRowsAroundTheCurrentOne)
{
    CEncyclopediaSection wide;
    for (int i = 0; i < 500; ++i)
    {
        auto& pChild = wide.m_children.emplace_back(std::make_unique<CEncyclopediaSection>(&wide));
        pChild->m_strName = "Р" + std::to_string(i);
        pChild->m_strURL = "/r" + std::to_string(i) + ".html";
    }
    CNavigatorWin& navigator = Main().GetEncyclopediaWin().GetNavigator();
    const auto rows = [&] {
        std::vector<std::string> names;
        for (const CElement& row : navigator.GetRootElement().Select("#tree a.section_link"))
            names.push_back(row.GetText());
        return names;
    };
    const auto focused = [&] {
        for (const CElement& row : navigator.GetRootElement().Select("#tree a.section_link"))
            if (row.HasState(STATE_FOCUS))
                return row.GetText();
        return std::string();
    };
    const auto click = [&](std::string_view text) {
        for (const CElement& row : navigator.GetRootElement().Select("#tree a.section_link"))
            if (row.GetText() == text)
                return navigator.OnSelectCtrl(row.GetAttribute("id"));
        ADD_FAILURE() << "no row " << text;
    };
    struct CStep
    {
        const char* m_szClick; // a "more" row, or nothing: the current row 300 shown
        std::size_t m_nRows;
        const char *m_szFirst, *m_szLast, *m_szFocus;
    };
    for (const CStep& step : std::initializer_list<CStep>{
             {nullptr, 202, "Выше ещё 200 разделов…", "Ещё 100 разделов…", ""},
             {"Ещё 100 разделов…", 301, "Выше ещё 200 разделов…", "Р499", "Р400"},
             {"Выше ещё 200 разделов…", 500, "Р0", "Р499", "Р199"},
         })
    {
        if (step.m_szClick)
            click(step.m_szClick);
        else
        {
            navigator.AssignSectionId(&wide, wide.m_children[300].get());
            navigator.UpdateContent();
        }
        const std::vector<std::string> names = rows();
        ASSERT_EQ(names.size(), step.m_nRows) << (step.m_szClick ? step.m_szClick : "shown");
        EXPECT_EQ(names.front(), step.m_szFirst);
        EXPECT_EQ(names.back(), step.m_szLast);
        EXPECT_NE(std::find(names.begin(), names.end(), "Р300"), names.end());
        if (*step.m_szFocus)
        {
            EXPECT_EQ(focused(), step.m_szFocus);
        }
    }
    // Another row of the same branch keeps what was opened; another tree
    // starts from the rows around its current one again.
    navigator.AssignSectionId(&wide, wide.m_children[10].get());
    navigator.UpdateContent();
    EXPECT_EQ(rows().size(), 500u);
    navigator.ForgetContent();
    navigator.AssignSectionId(&wide, wide.m_children[10].get());
    navigator.UpdateContent();
    EXPECT_EQ(rows().size(), 201u) << "rows 0-199 and one more below";
    navigator.ForgetContent();
}

// A library whose topics hold hundreds of subsections: the selector lists
// the first of each (and the current one), a "more" link shows them all.
TEST_F(CReadingFixture, TheSelectorOfALargeLibraryListsTheFirstSubsectionsAndMore)
{
    CEncyclopediaSection root;
    const auto add = [](CEncyclopediaSection& parent, std::string strName) {
        auto& pChild =
            parent.m_children.emplace_back(std::make_unique<CEncyclopediaSection>(&parent));
        pChild->m_strName = std::move(strName);
        return pChild.get();
    };
    CEncyclopediaSection* pWide = add(root, "Широкий");
    CEncyclopediaSection* pNarrow = add(root, "Узкий");
    for (int i = 0; i < 25; ++i)
        add(*pWide, "Ш" + std::to_string(i));
    for (int i = 0; i < 3; ++i)
        add(*pNarrow, "У" + std::to_string(i));
    CSelectSectionWin& selector = Main().GetEncyclopediaWin().GetSelector();
    selector.SetHighlightSection(pWide->m_children[23].get());
    selector.ShowSections(&root, 10, 20);
    const auto texts = [&](const char* szSelector) {
        std::vector<std::string> result;
        for (const CElement& element : selector.GetRootElement().Select(szSelector))
            result.push_back(element.GetText());
        return result;
    };
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back("Ш" + std::to_string(i));
    expected.insert(expected.end(), {"Ш23", "У0", "У1", "У2"});
    EXPECT_EQ(texts(".section_link"), expected);
    EXPECT_EQ(texts(".section_more"), std::vector<std::string>{"Ещё 4 раздела…"});

    Click(selector, selector.GetRootElement().Select(".section_more").front());
    EXPECT_TRUE(selector.IsShown());
    EXPECT_EQ(texts(".subsection_link").size(), 25u) << "every subsection of the wide topic";
    EXPECT_TRUE(selector.GetRootElement().Select(".subsection_link").front().HasState(STATE_FOCUS))
        << "the keyboard on the first of them";
    CElement last;
    for (const CElement& element : selector.GetRootElement().Select(".subsection_link"))
        last = element;
    Click(selector, last);
    EXPECT_FALSE(selector.IsShown());
    selector.SetHighlightSection(nullptr);
}

// A library of many topics: the selector builds the run of topics around
// the current one, and the links above and below it bring the others; a
// topic's own list is a run of its subsections around the current one.
TEST_F(CReadingFixture, TheSelectorOfManyTopicsBuildsTheRunAroundTheCurrentOne)
{
    constexpr std::size_t kTopics = 32;
    CEncyclopediaSection root;
    for (std::size_t i = 0; i < kTopics; ++i)
    {
        auto& pTopic = root.m_children.emplace_back(std::make_unique<CEncyclopediaSection>(&root));
        pTopic->m_strName = "Т" + std::to_string(i);
        const std::size_t nChildren = i == kTopics - 2 ? CSelectSectionWin::kMaxSubLinks * 3 : 25;
        for (std::size_t j = 0; j < nChildren; ++j)
        {
            auto& pChild = pTopic->m_children.emplace_back(
                std::make_unique<CEncyclopediaSection>(pTopic.get()));
            pChild->m_strName = pTopic->m_strName + "." + std::to_string(j);
        }
    }
    CEncyclopediaSection& wide = *root.m_children[kTopics - 2];
    // Sections of 22 links each: about ten of them make a run.
    const std::size_t kMax = CSelectSectionWin::TopicsInRun(root);
    ASSERT_EQ(kMax, CSelectSectionWin::kMaxShownLinks / 22);
    CSelectSectionWin& selector = Main().GetEncyclopediaWin().GetSelector();
    const auto texts = [&](const char* szSelector) {
        std::vector<std::string> result;
        for (const CElement& element : selector.GetRootElement().Select(szSelector))
            result.push_back(element.GetText());
        return result;
    };
    const auto topics = [&](std::size_t nFirst, std::size_t nLast) {
        std::vector<std::string> names;
        for (std::size_t i = nFirst; i < nLast; ++i)
            names.push_back("Т" + std::to_string(i));
        return names;
    };
    const auto focused = [&] {
        for (const CElement& element : selector.GetRootElement().Select("[id]"))
            if (element.HasState(STATE_FOCUS))
                return element.GetText();
        return std::string();
    };

    // A usual library's sections, a few subsections each: every one shown.
    CEncyclopediaSection usual;
    for (int i = 0; i < 30; ++i)
    {
        auto& pTopic =
            usual.m_children.emplace_back(std::make_unique<CEncyclopediaSection>(&usual));
        for (int j = 0; j < 4; ++j)
            pTopic->m_children.emplace_back(std::make_unique<CEncyclopediaSection>(pTopic.get()));
    }
    EXPECT_EQ(CSelectSectionWin::TopicsInRun(usual), 48u);

    // Nothing current: the first topics and a link below.
    selector.SetHighlightSection(nullptr);
    selector.ShowSections(&root, 10, 20);
    EXPECT_EQ(texts(".section_name"), topics(0, kMax));
    EXPECT_EQ(texts(".run_more"),
              std::vector<std::string>{CPartialList::MoreText(kTopics - kMax, true)});

    // The current section deep in a topic near the end: the run ends there.
    selector.SetHighlightSection(wide.m_children[150].get());
    selector.ShowSections(&root, 10, 20);
    EXPECT_EQ(texts(".section_name"), topics(kTopics - kMax, kTopics));
    EXPECT_EQ(texts(".run_more"),
              std::vector<std::string>{CPartialList::MoreText(kTopics - kMax, false)});
    EXPECT_EQ(selector.GetRootElement().Select("[current]").size(), 1u);
    Click(selector, selector.GetRootElement().FindById("MOREUP"));
    EXPECT_EQ(texts(".section_name"), topics(kTopics - 2 * kMax, kTopics));
    EXPECT_EQ(focused(), "Т" + std::to_string(kTopics - kMax - 1) + ".0")
        << "the keyboard on the topic next to the run it had";

    // The wide topic's own list: a run around the current subsection.
    for (const CElement& more : selector.GetRootElement().Select(".section_more"))
        if (more.GetText() == CPartialList::MoreText(wide.m_children.size() - 21, true))
        {
            Click(selector, more);
            break;
        }
    const std::vector<std::string> links = texts(".subsection_link");
    ASSERT_EQ(links.size(), CSelectSectionWin::kMaxSubLinks);
    EXPECT_EQ(links.front(), wide.m_strName + ".100");
    EXPECT_EQ(texts(".run_more"), (std::vector<std::string>{CPartialList::MoreText(100, false),
                                                            CPartialList::MoreText(100, true)}));
    Click(selector, selector.GetRootElement().FindById("MOREDOWN"));
    EXPECT_EQ(texts(".subsection_link").size(), 2 * CSelectSectionWin::kMaxSubLinks);
    EXPECT_EQ(focused(), wide.m_strName + ".200");
    selector.ForgetContent();
}

TEST_F(CReadingFixture, TheFloatingSelectorOpensGoesAndHides)
{
    CMainWindow& main = Main();
    main.GoToBookmark(
        std::make_unique<CBookmark>(CBookmark::ForSection(Section("/nds/restore.html"))), true);
    CEncyclopediaAccountantWin& reader = main.GetEncyclopediaWin();
    CSelectSectionWin& selector = reader.GetSelector();
    const auto link = [&](const char* szName) {
        for (const CElement& element :
             selector.GetRootElement().Select(".section_link, .subsection_link"))
            if (element.GetText() == szName)
                return element;
        return CElement();
    };
    // Every topic with its subsections; the current one marked.
    reader.OnSelectSectionClicked(false);
    ASSERT_TRUE(selector.IsShown());
    EXPECT_EQ(link("Вычеты и восстановление").GetAttribute("current"), "1");
    EXPECT_TRUE(link("Применение").IsValid());
    // Leaving the client's window, Escape and a press elsewhere hide it.
    manager.HandleBrowserEvent({{"type", "activate"}, {"active", false}});
    EXPECT_FALSE(selector.IsShown());
    reader.OnSelectSectionClicked(true);
    EXPECT_TRUE(link("Общие положения").IsValid())
        << "the tool bar's selector: the topic's subsections";
    EXPECT_FALSE(link("Применение").IsValid());
    Doc(selector).RaiseKey(0, KEY_DOWN, VK_ESCAPE);
    EXPECT_FALSE(selector.IsShown());
    reader.OnSelectSectionClicked(false);
    manager.HandleBrowserEvent(
        {{"type", "docmouse"}, {"win", reader.GetBrowserContent().GetView().GetSafeHwnd()}});
    EXPECT_FALSE(selector.IsShown());

    // A choice goes to the subsection's first page and closes it.
    reader.OnSelectSectionClicked(false);
    Click(selector, link("Применение"));
    EXPECT_FALSE(selector.IsShown());
    EXPECT_EQ(Shown(), "/usn/object.html#");
    CLogCapture log;
    selector.OnSelectCtrl("ID4242");
    EXPECT_TRUE(log.Contains("Invalid control id=ID4242"));
    main.OnHomeButton();
    EXPECT_FALSE(selector.IsShown());
}

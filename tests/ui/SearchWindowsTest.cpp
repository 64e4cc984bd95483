// The search windows as logic, without a browser, over a small library
// published the way real content is: the search box and its prompts, the
// search into the result window, prompt and phrase resolution, the
// alphabetical index, the found words in a document.
#include "MainWindow.h"
#include "SearchLibrary.h"

#include <nlohmann/json.hpp>

namespace
{
void WriteLibrary(const CTempDir& src)
{
    WriteFileText(src.File("encyclopedia.xml"), R"(<encyclopedia>
<section name="НДС" code="nds"><section name="Вычеты">
  <section name="Налоговые вычеты" url="/nds/deduction.html"><section name="Условия" anchor="conditions"/>
    <section name="Раздельный учет" anchor="partial"/></section>
  <section name="Восстановление НДС" url="/nds/restore.html"/></section></section>
<section name="УСН" code="usn"><section name="Применение"><section name="Объект налогообложения" url="/usn/object.html"/>
  <section name="Ставки на упрощенке" url="/usn/rates.html"/></section></section>
</encyclopedia>)");
    WriteFileText(src.File("pages/nds/deduction.html"),
                  "<html><body><h1>Налоговые вычеты</h1><p>Вычеты уменьшают налог.</p><h2 "
                  "id=\"conditions\">Условия</h2>"
                  "<p>Условия вычета: счет-фактура.</p><h2 id=\"partial\">Раздельный "
                  "учет</h2><p>Налог делится "
                  "пропорционально; вычет частичный.</p></body></html>");
    WriteFileText(src.File("pages/nds/restore.html"),
                  "<html><body><h1>Восстановление</h1><p>Налог восстанавливают при "
                  "переходе.</p></body></html>");
    WriteFileText(src.File("pages/usn/object.html"),
                  "<html><body><h1>Объект</h1><p>Ставка налога на упрощенке зависит от "
                  "объекта.</p></body></html>");
    WriteFileText(src.File("pages/usn/rates.html"),
                  "<html><body><h1>Ставки</h1><p>Ставка шесть процентов; налог платят "
                  "авансами.</p></body></html>");
    WriteFileText(src.File("registry2.xml"), R"xml(<search_registry>
<section name="В"><word text="Вычеты по НДС"><link site_url="/nds/deduction.html"/></word>
  <word text="Восстановление налога"><link site_url="/usn/object.html"/><link site_url="/nds/restore.html"/></word></section>
<section name="Вычеты (раздел)"><word text="Вычет по ставке"><link site_url="/usn/rates.html"/></word></section>
<section name="У"><word text="Упрощенка: объект"><link site_url="/usn/object.html"/></word>
  <word text="Упрощенка без документа"><link site_url="/gone.html"/></word></section>
</search_registry>)xml");
    WriteFileText(src.File("search_prompts2.xml"), R"(<prompts>
<prompt text="ставки упрощенки"><link site_url="/usn/rates.html"/></prompt>
<prompt text="вычеты по ндс"><link site_url="/nds/restore.html"/></prompt>
</prompts>)");
    WriteFileText(
        src.File("search_synonyms.xml"),
        R"(<search_synonyms><word text="усн"><synonym text="упрощенка"/></word></search_synonyms>)");
}

struct CSearchFixture : CWindowsFixture
{
    static void SetUpTestSuite() { s_pLibrary = std::make_unique<CPublishedLibrary>(WriteLibrary); }
    static void TearDownTestSuite() { s_pLibrary.reset(); }

    CSearchFixture()
    {
        context.m_registry.SetContentVersion(1);
        main = std::make_unique<CMainWindow>(context, nullptr);
        EXPECT_TRUE(main->Create());
        manager.SetMainWindow(main.get());
        main->MoveWindow(0, 0, 1366, 768);
    }

    CSearchEditCtrl& Box() { return main->GetSearchPanel().m_edit; }
    CKalimorHtmlView& View() { return main->GetEncyclopediaWin().GetBrowserContent().GetView(); }
    CEncyclopediaSection* Shown() { return main->GetEncyclopediaWin().GetCurrentSection(); }
    // Typing as the browser reports it: the box's new text.
    void Type(const std::string& strText)
    {
        CElement box = Box().GetElement();
        Doc(main->GetSearchPanel()).RaiseInput(box.GetUid(), strText);
    }
    void Key(unsigned nKeyCode)
    {
        Doc(main->GetSearchPanel()).RaiseKey(Box().GetElement().GetUid(), KEY_DOWN, nKeyCode);
    }
    void FirePromptsTimer() { Box().on_timer(Box().GetElement(), CSearchEditCtrl::kPromptsTimer); }
    std::vector<std::string> Options()
    {
        std::vector<std::string> options;
        for (const CElement& option :
             Box().GetPromptsWin()->GetRootElement().FindById("search_prompts").Select("option"))
            options.push_back(option.GetText() +
                              (option.GetAttribute("checked") == "1" ? " *" : ""));
        return options;
    }

    static inline std::unique_ptr<CPublishedLibrary> s_pLibrary;
    CLoadedSearch loaded{*s_pLibrary, context};
    std::unique_ptr<CMainWindow> main;
};
} // namespace

TEST_F(CSearchFixture, PromptsComeAfterTheLastQuickLetterAndFollowTheTextWhileOpen)
{
    CLogCapture log;
    for (const char* szText : {"у", "уп", "упр"})
        Type(szText);
    EXPECT_TRUE(Box().IsPromptsTimerPending());
    EXPECT_EQ(
        Doc(main->GetSearchPanel())
            .GetElementTimerPeriod(Box().GetElement().GetUid(), CSearchEditCtrl::kPromptsTimer),
        100u)
        << "the typing pause";
    EXPECT_EQ(Box().GetPromptsWin(), nullptr) << "nothing is looked up while the user types";
    FirePromptsTimer();
    ASSERT_NE(Box().GetPromptsWin(), nullptr);
    EXPECT_EQ(Doc(main->GetSearchPanel())
                  .GetElementTimerPeriod(Box().GetElement().GetUid(), CSearchEditCtrl::kPlaceTimer),
              50u)
        << "placed again once the browser has laid the box out";
    EXPECT_EQ(Box().GetPromptsWin()->GetFillCount(), 1u) << "three quick letters, one list";
    EXPECT_TRUE(Box().ArePromptsShown());
    // Registry phrases and prompt-list entries, the last word as a beginning.
    EXPECT_EQ(Options(), (std::vector<std::string>{"Упрощенка без документа", "Упрощенка: объект",
                                                   "ставки упрощенки"}));
    EXPECT_TRUE(log.Contains("CSearchEditCtrl::on_timer shows prompts for string=упр"));

    // Open: each letter refreshes at once; a text without prompts hides it,
    // an empty one too; the next letters wait for the timer again.
    Type("упрощенка: о");
    EXPECT_FALSE(Box().IsPromptsTimerPending());
    EXPECT_EQ(Box().GetPromptsWin()->GetFillCount(), 2u);
    EXPECT_EQ(Options(), (std::vector<std::string>{"Упрощенка: объект"}));
    Type("упрощенка: ож");
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_TRUE(
        log.Contains("CSearchEditCtrl::OnUpdateSearchString hides prompts because of it is empty"));
    Type("усн");
    FirePromptsTimer();
    EXPECT_EQ(Options(), (std::vector<std::string>{"Упрощенка без документа", "Упрощенка: объект"}))
        << "the synonym's prompts";
    Type("");
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_TRUE(log.Contains(
        "CSearchEditCtrl::OnUpdateSearchString hides prompts win because of empty string"));
}

// The box is measured by the browser a frame after it is first asked for;
// on a busy machine later than the first placing again. The list keeps being
// placed until the box's place is known, then takes its width once.
TEST_F(CSearchFixture, PromptsArePlacedAgainUntilTheBrowserHasMeasuredTheBox)
{
    Type("упр");
    FirePromptsTimer();
    ASSERT_TRUE(Box().ArePromptsShown());
    CHtmlDocument& panel = Doc(main->GetSearchPanel());
    const unsigned nBox = Box().GetElement().GetUid();
    const auto placeTimer = [&] {
        return panel.GetElementTimerPeriod(nBox, CSearchEditCtrl::kPlaceTimer);
    };
    const auto firePlaceTimer = [&] {
        Box().on_timer(Box().GetElement(), CSearchEditCtrl::kPlaceTimer);
    };
    for (int i = 0; i < 3; ++i)
    {
        ASSERT_EQ(placeTimer(), CSearchEditCtrl::kPlaceRetryMs) << "try " << i;
        firePlaceTimer();
    }
    panel.SetElementRect(nBox, CRect{40, 12, 517, 28});
    ASSERT_EQ(placeTimer(), CSearchEditCtrl::kPlaceRetryMs);
    firePlaceTimer();
    EXPECT_EQ(Box().GetPromptsWin()->GetWindowRect().m_nWidth, 517);
    EXPECT_EQ(placeTimer(), 0u) << "placed, and not again";

    // A box never measured stops being placed after the last try.
    Type("");
    Type("уп");
    FirePromptsTimer();
    panel.SetElementRect(nBox, CRect{});
    unsigned nFired = 0;
    while (placeTimer() != 0 && nFired <= CSearchEditCtrl::kPlaceTries)
    {
        firePlaceTimer();
        ++nFired;
    }
    EXPECT_EQ(nFired, CSearchEditCtrl::kPlaceTries);
}

TEST_F(CSearchFixture, KeysMoveThroughThePromptsAndEnterSearches)
{
    std::vector<std::string> searched;
    main->GetSearchPanel().m_sigSearch.connect(
        [&](const std::string& strText) { searched.push_back(strText); });
    Type("в");
    FirePromptsTimer();
    const std::vector<std::string> all = Box().GetPromptsWin()->GetPrompts();
    ASSERT_GE(all.size(), 3u);
    Key(VK_UP);
    EXPECT_EQ(Box().GetValue(), all.front()) << "Up with none current takes the first";
    Key(VK_UP);
    EXPECT_EQ(Box().GetPromptsWin()->GetCurrentIndex(), 0) << "Up on the first keeps it";
    Key(VK_DOWN);
    EXPECT_EQ(Options()[1], all[1] + " *");
    Key(VK_NEXT);
    EXPECT_EQ(Box().GetValue(), all.back()) << "a page down, kept at the last";
    Key(VK_DOWN);
    EXPECT_EQ(Box().GetPromptsWin()->GetCurrentIndex(), static_cast<int>(all.size()) - 1);
    Key(VK_PRIOR);
    EXPECT_EQ(Box().GetValue(), all.front());
    EXPECT_TRUE(Box().ArePromptsShown()) << "moving does not look the prompts up again";

    // Enter on a prompt taken with the arrows opens it; on a typed text it
    // searches.
    std::vector<std::string> opened;
    main->GetSearchPanel().m_sigSearchPrompt.connect(
        [&](const std::string& strText) { opened.push_back(strText); });
    Key(VK_RETURN);
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_EQ(opened, std::vector<std::string>{all.front()});
    Type(all.front() + " и");
    Key(VK_RETURN);
    EXPECT_EQ(searched, std::vector<std::string>{all.front() + " и"});
    // Escape: the first closes the list, the next empties the box.
    Type("вы");
    FirePromptsTimer();
    Key(VK_ESCAPE);
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_EQ(Box().GetValue(), "вы");
    Key(VK_ESCAPE);
    EXPECT_EQ(Box().GetValue(), "");
}

TEST_F(CSearchFixture, AScreenReaderHearsThePromptsAndWhatEachSearchFound)
{
    CElement panel = main->GetSearchPanel().GetRootElement();
    const auto heard = [&](const char* szRegion) { return panel.FindById(szRegion).GetText(); };
    EXPECT_EQ(Box().GetElement().GetAttribute("aria-expanded"), "false");
    Type("в");
    FirePromptsTimer();
    const std::vector<std::string> all = Box().GetPromptsWin()->GetPrompts();
    ASSERT_GE(all.size(), 2u);
    const std::string strCount = std::to_string(all.size());
    EXPECT_EQ(Box().GetElement().GetAttribute("aria-expanded"), "true");
    EXPECT_EQ(heard("prompt_status").substr(0, strCount.size() + 9), strCount + " подс");
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(heard("prompt_status"), all[1] + ", 2 из " + strCount);
    Key(VK_ESCAPE);
    EXPECT_EQ(Box().GetElement().GetAttribute("aria-expanded"), "false");
    EXPECT_EQ(heard("prompt_status"), "");

    // Each search is heard once, the same one again too; Back is not.
    const std::string kFound = "Найдено 4 документа по запросу «налог»";
    main->OnSearch("налог");
    EXPECT_EQ(heard("search_status"), kFound);
    main->GetSearchResultWin().OnOpenResult(0);
    main->OnBackButton();
    EXPECT_EQ(heard("search_status"), kFound);
    main->OnSearch("налог");
    EXPECT_EQ(heard("search_status"), kFound + "\u00a0");
    main->OnSearch("стопроцентно");
    EXPECT_EQ(heard("search_status"), "По запросу «стопроцентно» ничего не найдено");
}

TEST_F(CSearchFixture, AContentUpdateDropsTheOldLibrarysPromptsAndMovesTheSample)
{
    Type("в");
    FirePromptsTimer();
    ASSERT_TRUE(Box().ArePromptsShown());
    const std::string strSample = main->GetSearchPanel().GetSample();
    main->OnUpdateData();
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_EQ(Box().GetPromptsWin(), nullptr) << "no list of the old library is kept";
    EXPECT_NE(main->GetSearchPanel().GetSample(), strSample);
    Type("вы");
    FirePromptsTimer();
    EXPECT_TRUE(Box().ArePromptsShown()) << "the next letters look the new library up";
}

TEST(SearchPrompts, APageIsWhatTheWindowShowsOverTheFirstOptionLessFour)
{
    struct CCase
    {
        int m_nList, m_nShown, m_nOption, m_nPage;
    };
    for (const CCase& test : {
             CCase{2000, 360, 20, 14}, // 100 prompts: the window scrolls them
             CCase{200, 360, 20, 6},   // a short list is shown whole
             CCase{2000, 0, 20, 96},   // no window size known yet: the list
             CCase{60, 360, 20, 1},    // never less than one
             CCase{2000, 360, 0, 5},   // not measured yet
             CCase{0, 0, 20, 5},
         })
        EXPECT_EQ(CSearchPromptsWin::PagePromptsCount(test.m_nList, test.m_nShown, test.m_nOption),
                  test.m_nPage)
            << test.m_nList << " " << test.m_nShown << " " << test.m_nOption;
}

TEST_F(CSearchFixture, APromptOpensTheRegistryPhraseFirstThenThePromptListsEntry)
{
    CLogCapture log;
    // "Вычеты по НДС" is a registry phrase (the deduction page) and, in
    // another case, a prompt (the restore page): the registry wins.
    Type("вычеты по");
    FirePromptsTimer();
    const auto& prompts = Box().GetPromptsWin()->GetPrompts();
    const auto it = std::find(prompts.begin(), prompts.end(), "Вычеты по НДС");
    ASSERT_NE(it, prompts.end());
    CElement option = Box().GetPromptsWin()->GetRootElement().Select(
        "option")[static_cast<std::size_t>(it - prompts.begin())];
    Click(*Box().GetPromptsWin(), option);
    EXPECT_FALSE(Box().ArePromptsShown());
    EXPECT_EQ(Box().GetValue(), "Вычеты по НДС");
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->m_strURL, "/nds/deduction.html");
    EXPECT_TRUE(log.Contains("HidePromts: beacause of OnPromptClick"));

    // Only the prompt list knows it: its entry's page.
    main->OnSearchPrompt("ставки упрощенки");
    EXPECT_EQ(Shown()->m_strURL, "/usn/rates.html");
    // Several sections: the first shown, all listed by the navigator.
    main->OnSearchPrompt("Восстановление налога");
    EXPECT_EQ(main->GetCurrentView()->m_sections.size(), 2u);
    const std::string strFound = main->GetEncyclopediaWin().GetNavigator().GetFoundHtml();
    EXPECT_NE(strFound.find("По запросу «Восстановление налога»"), std::string::npos);
    EXPECT_NE(strFound.find("FOUND1"), std::string::npos);
    // Nothing behind it: the screen stays as it was.
    const std::size_t nViews = main->GetMovementHistory().GetCount();
    main->OnSearchPrompt("Упрощенка без документа");
    main->OnSearchPrompt("нет такой подсказки");
    EXPECT_EQ(main->GetMovementHistory().GetCount(), nViews);
    EXPECT_TRUE(log.Contains("Nothing to show"));

    // Back puts the prompt's text back into the box.
    main->OnHomeButton();
    main->GetSearchPanel().SetSearchText("");
    main->OnBackButton();
    EXPECT_EQ(main->GetSearchPanel().GetSearchText(), "Восстановление налога");
}

TEST_F(CSearchFixture, TheIndexShowsLettersWithPhrasesTheirSectionsAndPhrases)
{
    main->OnRegistryButton();
    CSearchRegistryWin& index = main->GetSearchRegistryWin();
    EXPECT_EQ(index.GetShownLetters(), U"ВУ") << "letters without phrases have no cell";
    CElement root = index.GetRootElement();
    EXPECT_EQ(root.FindById("LETTER0").GetText(), "В");
    EXPECT_EQ(root.FindById("LETTER0").GetAttribute("selected"), "1");
    EXPECT_FALSE(root.FindById("LETTER0").HasAttribute("first"))
        << "В is not the alphabet's first letter";
    EXPECT_FALSE(root.FindById("LETTER2").IsValid());
    // Both sections of В, the first chosen; its phrases under letter_info.
    EXPECT_EQ(root.FindById("SECTION0").GetAttribute("first"), "1");
    EXPECT_EQ(root.FindById("SECTION1").GetAttribute("last"), "1");
    EXPECT_EQ(root.FindById("letter_info").Select(".reference").size(), 2u);
    index.SelectSection(1);
    EXPECT_EQ(root.FindById("REF0").GetText(), "Вычет по ставке");
    EXPECT_EQ(root.FindById("SECTION1").GetAttribute("selected"), "1");
    Click(index, root.FindById("LETTER1"));
    EXPECT_EQ(index.GetLetter(), U'У');
    EXPECT_EQ(root.FindById("REF1").GetText(), "Упрощенка: объект");
    // A phrase opens its document; Back comes to the letter and section.
    Click(index, root.FindById("REF1"));
    EXPECT_EQ(Shown()->m_strURL, "/usn/object.html");
    main->OnBackButton();
    EXPECT_EQ(index.GetLetter(), U'У');
}

TEST_F(CSearchFixture, ResultsAreGroupedByTopicAndShownAChunkAtATime)
{
    for (const auto& [nCount, szText] :
         std::initializer_list<std::pair<std::size_t, const char*>>{{1, "1 документ"},
                                                                    {3, "3 документа"},
                                                                    {12, "12 документов"},
                                                                    {21, "21 документ"},
                                                                    {0, "0 документов"},
                                                                    {111, "111 документов"},
                                                                    {104, "104 документа"},
                                                                    {5, "5 документов"}})
        EXPECT_EQ(CSearchResultWin::CountDocuments(nCount), szText);

    main->OnSearch("налог");
    ASSERT_EQ(main->GetBodyKind(), CBookmark::VIEW_SEARCH_RESULTS);
    CSearchResultWin& results = main->GetSearchResultWin();
    CElement root = results.GetRootElement();
    EXPECT_NE(root.FindById("result_head").GetText().find("Найдено 4 документа по запросу «налог»"),
              std::string::npos);
    // Topics in the order of their codes (nds before usn), ranked inside.
    std::vector<std::string> groups;
    for (const CElement& group : root.Select(".result_group"))
        groups.push_back(group.GetText());
    EXPECT_EQ(groups, (std::vector<std::string>{"НДС 2", "УСН 2"}));
    EXPECT_NE(root.FindById("result_list").GetHtml().find("<b>налог</b>"), std::string::npos)
        << "forms in bold";

    // A page with parts says which of them hold the words.
    std::size_t nDeduction = results.GetResultCount();
    for (const CElement& title : root.Select(".search_result_title"))
        if (title.GetText() == "Налоговые вычеты")
            nDeduction = std::stoul(title.GetAttribute("id").substr(1));
    ASSERT_LT(nDeduction, results.GetResultCount());
    results.OnExpand(nDeduction);
    std::vector<std::string> parts;
    for (const CElement& part :
         root.FindById("SUB" + std::to_string(nDeduction)).Select(".result_subsection"))
        parts.push_back(part.GetText());
    EXPECT_EQ(parts, std::vector<std::string>{"Раздельный учет"});

    // A click opens the section with the words marked; Back returns.
    results.OnOpenResult(nDeduction);
    ASSERT_EQ(main->GetBodyKind(), CBookmark::VIEW_SECTION);
    EXPECT_TRUE(main->GetCurrentView()->m_highlightWords.count("налог"));
    main->OnBackButton();
    EXPECT_EQ(main->GetBodyKind(), CBookmark::VIEW_SEARCH_RESULTS);

    // Nothing found says so; words found only as beginnings say which.
    main->OnSearch("стопроцентно");
    EXPECT_NE(
        root.FindById("result_head").GetText().find("По запросу «стопроцентно» ничего не найдено"),
        std::string::npos);
    main->OnSearch("вос");
    EXPECT_NE(root.FindById("result_head")
                  .GetText()
                  .find("Показаны документы со словами: восстанавливают"),
              std::string::npos);
}

TEST_F(CSearchFixture, ALargeResultFillsItsChunksAsTheReaderScrollsAndKeepsThePlace)
{
    // 45 sections make three chunks: one shown, the rest filled on the way.
    CBookmark view(CBookmark::VIEW_SEARCH_RESULTS);
    CSectionList sections;
    for (int i = 0; i < 45; ++i)
        sections.push_back(context.m_encyclopedia.FindSectionByURL(i % 2 ? "/nds/restore.html"
                                                                         : "/usn/object.html"));
    view = CBookmark::ForSearchResults(CEncyclopediaData::SortByCode(sections), {"налог"});
    view.m_nFoundDocuments = 45;
    main->GoToBookmark(std::make_unique<CBookmark>(view), true);
    CSearchResultWin& results = main->GetSearchResultWin();
    CElement root = results.GetRootElement();
    EXPECT_EQ(root.Select(".result_chunk").size(), 1u);
    EXPECT_EQ(root.Select(".search_result").size(), CSearchResultWin::kChunkSize);
    EXPECT_TRUE(root.FindById("result_more").IsVisible());
    results.OnFrontEndEvent("scroll", {{"top", 900}, {"nearEnd", 1}});
    results.OnFrontEndEvent("scroll", {{"top", 1700}, {"nearEnd", 1}});
    EXPECT_EQ(root.Select(".search_result").size(), 45u);
    EXPECT_EQ(root.Select(".result_chunk").size(), 3u);
    EXPECT_FALSE(root.FindById("result_more").IsVisible());
    // Away and back: the chunks read and the place are restored.
    main->OnHomeButton();
    main->OnBackButton();
    EXPECT_EQ(results.GetFilledChunks(), 3u);
    EXPECT_EQ(main->GetCurrentView()->m_nParam2, 1700);
}

TEST_F(CSearchFixture, FoundWordsAreCountedMovedWithF3AndGoneWithAPlainOpening)
{
    main->OnSearch("налог");
    main->GetSearchResultWin().OnOpenResult(0);
    CKalimorHtmlView& view = View();
    CBrowserContentToolBarWin& toolBar =
        main->GetEncyclopediaWin().GetBrowserContent().GetToolBar();
    // The page reports what it marked; the bar shows it.
    view.OnFrontEndEvent("docmarks", {{"total", 3}, {"current", 0}});
    EXPECT_TRUE(toolBar.GetRootElement().FindById("found_bar").IsVisible());
    EXPECT_EQ(toolBar.GetRootElement().FindById("found_counter").GetText(), "Найдено: 3");
    // F3 in any window is the client's; Ctrl+F and "/" go to the box.
    manager.HandleBrowserEvent(
        {{"type", "key"}, {"win", toolBar.GetSafeHwnd()}, {"code", 0}, {"key", VK_F3}});
    view.OnFrontEndEvent("docmarks", {{"total", 3}, {"current", 1}});
    EXPECT_EQ(toolBar.GetRootElement().FindById("found_counter").GetText(), "1 из 3");
    manager.HandleBrowserEvent(
        {{"type", "dockey"}, {"win", view.GetSafeHwnd()}, {"code", 0}, {"key", VK_F}, {"mods", 1}});
    EXPECT_TRUE(Box().GetElement().HasState(STATE_FOCUS));
    // "/" by the character it makes, whichever key makes it; not from a field.
    for (const auto& [strChar, bTyping, bFocused] :
         std::initializer_list<std::tuple<std::string, bool, bool>>{
             {".", false, false}, {"/", true, false}, {"/", false, true}})
    {
        CElement box = Box().GetElement();
        box.SetState(0, STATE_FOCUS);
        manager.HandleBrowserEvent({{"type", "dockey"},
                                    {"win", view.GetSafeHwnd()},
                                    {"code", 0},
                                    {"key", VK_OEM_2},
                                    {"typing", bTyping},
                                    {"ch", strChar}});
        EXPECT_EQ(Box().GetElement().HasState(STATE_FOCUS), bFocused) << strChar << " " << bTyping;
    }
    // Opened by other means: no marks.
    main->GetEncyclopediaWin().GetNavigator().OnSelectCtrl(
        main->GetEncyclopediaWin().GetNavigator().GetIdOf(
            context.m_encyclopedia.FindSectionByURL("/nds/restore.html")));
    EXPECT_FALSE(toolBar.GetRootElement().FindById("found_bar").IsVisible());
    EXPECT_TRUE(main->GetCurrentView()->m_highlightWords.empty());
    Drain();
}

TEST_F(CSearchFixture, AContentReloadLeavesNoWindowPointingIntoTheOldContent)
{
    // Everything that holds sections or phrases is on: results, a document
    // with its tree, the section selector, the index.
    main->OnRegistryButton();
    main->OnSearch("налог");
    main->GetSearchResultWin().OnOpenResult(0);
    CEncyclopediaAccountantWin& reader = main->GetEncyclopediaWin();
    reader.OnSelectSectionClicked(true);
    const std::string strRow = reader.GetNavigator().GetIdOf(Shown());
    ASSERT_FALSE(strRow.empty());
    const std::string strContent = s_pLibrary->ContentFolder();
    context.m_reload = [&] {
        context.m_encyclopedia.FreeData();
        loaded.registry.FreeData();
        EXPECT_TRUE(context.m_encyclopedia.LoadData(strContent + "encyclopedia.dat",
                                                    strContent + "Content/"));
        EXPECT_TRUE(loaded.registry.LoadData(strContent + "registry2.dat"));
    };
    main->ReloadContent();
    EXPECT_EQ(main->GetBodyKind(), CBookmark::VIEW_HOME);
    EXPECT_FALSE(main->GetMovementHistory().CanMoveBackward());
    EXPECT_FALSE(reader.GetSelector().IsShown());
    // What the user could still press on the old pages finds nothing (under
    // the address sanitizer a freed section would be read here).
    reader.GetNavigator().OnSelectCtrl(strRow);
    main->GetSearchResultWin().OnOpenResult(0);
    main->GetSearchRegistryWin().OnPhrase(0);
    EXPECT_EQ(main->GetBodyKind(), CBookmark::VIEW_HOME);
    // The new tree serves as the old one did.
    main->OnSearch("налог");
    main->GetSearchResultWin().OnOpenResult(0);
    ASSERT_EQ(main->GetBodyKind(), CBookmark::VIEW_SECTION);
    EXPECT_EQ(Shown(), context.m_encyclopedia.FindSectionByURL(Shown()->m_strURL));
    EXPECT_FALSE(reader.GetNavigator().GetIdOf(Shown()).empty());
    main->OnRegistryButton();
    EXPECT_FALSE(main->GetSearchRegistryWin().GetPhrases().empty());
}

// The keyboard follows the user: a search puts it on the results' heading, an
// opened result in its document, and Back on the result that was opened; a
// content update shows its view without taking it, and a move inside the
// section view (the navigator) leaves it where the user works.
TEST_F(CSearchFixture, TheKeyboardFollowsTheUserIntoEachViewAndBackToTheResultOpened)
{
    std::vector<nlohmann::json> focusCommands;
    manager.SetSink([&focusCommands](const nlohmann::json& ops) {
        for (const auto& op : ops)
            if (op.value("op", "") == "cmd" && op.value("cmd", "") == "focus")
                focusCommands.push_back(op);
    });
    CSearchResultWin& results = main->GetSearchResultWin();
    main->OnSearch("налог");
    CElement heading = results.GetRootElement().FindById("result_title");
    EXPECT_TRUE(heading.HasState(STATE_FOCUS));
    EXPECT_EQ(heading.GetAttribute("tabindex"), "-1") << "focusable by the client only";

    CElement first = results.GetRootElement().FindById("R0");
    Click(Doc(results), first.GetUid());
    Drain();
    manager.Flush();
    ASSERT_EQ(focusCommands.size(), 1u) << "the document's frame takes the keyboard";
    EXPECT_EQ(focusCommands[0].at("win"), View().GetSafeHwnd());

    CNavigatorWin& navigator = main->GetEncyclopediaWin().GetNavigator();
    navigator.OnSelectCtrl(
        navigator.GetIdOf(context.m_encyclopedia.FindSectionByURL("/nds/restore.html")));
    Drain();
    manager.Flush();
    EXPECT_EQ(focusCommands.size(), 1u) << "a move inside the section view keeps the keyboard";

    main->OnBackButton();
    main->OnBackButton();
    EXPECT_TRUE(results.GetRootElement().FindById("R0").HasState(STATE_FOCUS));
    EXPECT_FALSE(results.GetRootElement().FindById("result_title").HasState(STATE_FOCUS));

    main->OnHomeButton();
    CElement title = main->GetWelcomeWin().GetRootElement().FindById("home_title");
    EXPECT_TRUE(title.HasState(STATE_FOCUS)) << "home: its heading";
    title.SetState(0, STATE_FOCUS);
    main->OnUpdateData(); // shows home again
    EXPECT_FALSE(title.HasState(STATE_FOCUS))
        << "a view the client shows by itself takes no keyboard";
    Drain();
}

// F6 and Shift+F6 go round the parts of the window in screen order: top
// panel, search box, navigator, document, status bar.
TEST_F(CSearchFixture, F6GoesRoundThePartsOfTheWindow)
{
    main->OnSearch("налог");
    main->GetSearchResultWin().OnOpenResult(0);
    int nDocumentFocus = 0;
    manager.SetSink([&nDocumentFocus, this](const nlohmann::json& ops) {
        for (const auto& op : ops)
            if (op.value("cmd", "") == "focus" && op.value("win", 0) == View().GetSafeHwnd())
                ++nDocumentFocus;
    });
    manager.Flush();
    nDocumentFocus = 0;
    CNavigatorWin& navigator = main->GetEncyclopediaWin().GetNavigator();
    const auto focusedIn = [](CHTMLayoutWin& wnd) {
        for (const CElement& element : wnd.GetRootElement().Select("[tabindex]"))
            if (element.HasState(STATE_FOCUS))
                return element.GetAttribute("id");
        return std::string();
    };
    struct
    {
        CWnd* m_pFrom;
        unsigned m_nMods;
        std::function<bool()> m_landed;
        const char* m_szWhere;
    } const steps[] = {
        {&main->GetSearchPanel(), 0, [&] { return !focusedIn(navigator).empty(); }, "navigator"},
        {&navigator, 0, [&] { return nDocumentFocus == 1; }, "document"},
        {&View(), 0, [&] { return !focusedIn(main->GetStatusPanel()).empty(); }, "status bar"},
        {&main->GetStatusPanel(), 0, [&] { return focusedIn(main->GetTopPanel()) == "btn_home"; },
         "top"},
        {&main->GetTopPanel(), 0, [&] { return Box().GetElement().HasState(STATE_FOCUS); },
         "search"},
        {&main->GetSearchPanel(), SHIFT_KEY_PRESSED,
         [&] { return focusedIn(main->GetTopPanel()) == "btn_home"; }, "back to the top"},
    };
    for (const auto& step : steps)
    {
        manager.HandleBrowserEvent({{"type", step.m_pFrom == &View() ? "dockey" : "key"},
                                    {"win", step.m_pFrom->GetSafeHwnd()},
                                    {"code", 0},
                                    {"key", VK_F6},
                                    {"mods", step.m_nMods}});
        manager.Flush();
        EXPECT_TRUE(step.m_landed()) << step.m_szWhere;
    }
    Drain();
}

// The reference windows as logic, without a browser: the month grid of the
// calendars against the work and tax calendars, the tax calendar window and
// the month beside the news, the news cards with their links and the slim
// bar that moves along them, and the forms library from its sections to one
// form's file.
#include "CalendarMonth.h"
#include "MainWindow.h"
#include "NewsPanelWin.h"
#include "TestContent.h"
#include "TestSupport.h"
#include "UiTestContext.h"

#include <filesystem>

namespace
{
const char* kWorkCalendar = R"(<work_calendar><year value="2026">
<holiday day="9" month="1"/><holiday day="23" month="2"/>
<short day="20" month="2"/><workday day="28" month="2"/>
</year></work_calendar>)";

const char* kTaxCalendar = R"(<payments>
<tax day="25" month="2" year="2026"><name>НДФЛ &lt;b&gt;</name><payer>Налоговые агенты</payer><budget>Федеральный</budget>
<payment_entry>за январь</payment_entry><group>Федеральные налоги</group></tax>
<report day="25" month="2" year="2026"><reporter>Плательщики НДС</reporter><kind>Декларация</kind>
<form>Декларация по НДС</form><group>Налоговая отчетность</group></report>
<report day="26" month="2" year="2026"><reporter>Все</reporter><kind>Расчет</kind><form>РСВ</form><group>Взносы</group></report>
</payments>)";

const char* kNews = R"(<news>
<item day="9" month="1" year="2026"><![CDATA[<p>Старая новость о <a href="/nds/rates.html#zero">ставке 0%</a>.</p>]]></item>
<item day="1" month="12" year="2026"><![CDATA[<p>Свежая новость, <b>важная</b>: <a href="https://www.nalog.example/">сайт</a>.</p>]]></item>
<item day="24" month="11" year="2026">Разметка с ошибкой &lt;img src=x onerror=alert(1)&gt; &lt;p&gt;</item>
<item day="2" month="11" year="2026"><![CDATA[<p>О <a href="/nds/rates.html#general">ставках</a>.</p>]]></item>
</news>)";

const char* kBlanks = R"(<blanks>
<section name="Налоговая отчетность" code="tax">
<blank day="19" month="9" year="2023" name="Расчет 6-НДФЛ" upload_url="/blanks/files/6-ndfl.rtf"
 instruction_url="/nds/rates.html" site_url="/vfl/6ndfl.html">
<approval>Утверждена приказом</approval><used>Сдается агентами</used>
<image url="/blanks/images/6-ndfl-1.png"/><image url="/blanks/images/6-ndfl-2.png"/></blank>
<blank day="2" month="10" year="2024" name="Декларация v1.2 / прибыль" upload_url="/blanks/files/profit.rtf"
 instruction_url="https://www.nalog.example/profit" site_url="/np/declaration.html">
<approval>Утверждена</approval><used>Сдается всеми</used></blank>
</section>
<section name="Первичные документы" code="primary">
<blank day="26" month="12" year="2011" name="Счет-фактура" upload_url="/blanks/files/invoice.rtf"
 instruction_url="/nds/rates.html" site_url="/pd/invoice.html"><approval>Постановление</approval><used>НДС</used></blank>
</section>
</blanks>)";

const char* kCatalogue = R"(<encyclopedia>
<section name="НДС" code="nds"><section name="Общие положения">
<section name="Ставки НДС" url="/nds/rates.html"><section name="Ставка 0%" anchor="zero"/></section>
</section></section></encyclopedia>)";

struct CReferenceFixture : CWindowsFixture
{
    CReferenceFixture()
    {
        SetEnv("XDG_DOCUMENTS_DIR", dir.File("documents"));
        context.m_strContentFolder = dir.File("Content") + "/";
        const std::string strDocs = context.GetDocumentsFolder();
        const std::pair<const char*, const char*> kFiles[] = {{"work_calendar.dat", kWorkCalendar},
                                                              {"tax_calendar.dat", kTaxCalendar},
                                                              {"news.dat", kNews},
                                                              {"blanks.dat", kBlanks},
                                                              {"encyclopedia.dat", kCatalogue}};
        for (const auto& [szName, szText] : kFiles)
            WriteEncipheredFile(dir.File("Content/") + szName, szText);
        WriteEncipheredFile(strDocs + "nds/rates.dat", "<html><body><h1>Ставки</h1></body></html>");
        EXPECT_TRUE(context.m_workCalendar.LoadData(dir.File("Content/work_calendar.dat")));
        EXPECT_TRUE(context.m_taxCalendar.LoadData(dir.File("Content/tax_calendar.dat")));
        EXPECT_TRUE(context.m_news.LoadData(dir.File("Content/news.dat")));
        EXPECT_TRUE(context.m_blanks.LoadData(dir.File("Content/blanks.dat")));
        EXPECT_TRUE(context.m_encyclopedia.LoadData(dir.File("Content/encyclopedia.dat"), strDocs));
        context.m_registry.SetContentVersion(2);
        context.m_tNow = FromLocalDate({2026, 12, 7});
        pMain = std::make_unique<CMainWindow>(context, nullptr);
        EXPECT_TRUE(pMain->Create());
        manager.SetMainWindow(pMain.get());
        pMain->MoveWindow(0, 0, 1366, 768);
    }
    ~CReferenceFixture() override { pMain.reset(); }

    static CElement Id(CWnd& wnd, const std::string& strId)
    {
        return wnd.GetHtmlDocument()->GetRoot().FindById(strId);
    }
    static void ClickId(CWnd& wnd, const std::string& strId) { Click(wnd, Id(wnd, strId)); }
    CBookmark& View() { return *pMain->GetCurrentView(); }
    // Closes the next dialog with Escape, noting its label's text.
    void EscapeNextDialog(std::string* pLabel = nullptr)
    {
        InModal([this, pLabel] {
            for (CWnd* pWnd : manager.GetChildren(pMain->GetSafeHwnd()))
                if (pWnd->GetKind() == WINDOW_DIALOG && pWnd->GetHtmlDocument())
                {
                    if (pLabel)
                        *pLabel = Id(*pWnd, "label").GetText();
                    pWnd->GetHtmlDocument()->RaiseKey(0, KEY_DOWN, VK_ESCAPE);
                }
        });
    }

    CTempDir dir;
    std::unique_ptr<CMainWindow> pMain;
};

std::string Classes(const std::vector<CCalendarDay>& days, const CDate& date)
{
    for (const CCalendarDay& day : days)
        if (day.m_date == date)
            return std::string(day.m_bInMonth ? "in" : "out") + (day.m_bDayOff ? " off" : "") +
                   (day.m_bHoliday ? " holiday" : "") + (day.m_bWorkedWeekend ? " worked" : "") +
                   (day.m_bShort ? " short" : "") + (day.m_bTax ? " tax" : "") +
                   (day.m_bReport ? " report" : "") + (day.m_bToday ? " today" : "") +
                   (day.m_bSelected ? " selected" : "");
    return "absent";
}
} // namespace

TEST_F(CReferenceFixture, TheMonthGridHasWholeWeeksMarkedByTheWorkAndTaxCalendars)
{
    // February 2026 begins on a Sunday: six days of January lead it.
    const auto february =
        CCalendarMonth::Build(2026, 2, &context.m_workCalendar, &context.m_taxCalendar,
                              CDate{2026, 2, 20}, CDate{2026, 2, 25});
    ASSERT_EQ(february.size(), 35u);
    EXPECT_EQ(february.front().m_date, (CDate{2026, 1, 26}));
    EXPECT_EQ(february[6].m_date, (CDate{2026, 2, 1}));
    EXPECT_EQ(february.back().m_date, (CDate{2026, 3, 1}));
    const std::vector<std::pair<CDate, std::string>> expected{
        {{2026, 1, 26}, "out"},
        {{2026, 2, 1}, "in off"},                  // a Sunday
        {{2026, 2, 2}, "in"},                      // a Monday
        {{2026, 2, 20}, "in short today"},         // the day before the holiday
        {{2026, 2, 23}, "in off holiday"},         // a holiday on a Monday
        {{2026, 2, 25}, "in tax report selected"}, // a tax and a report
        {{2026, 2, 26}, "in report"},
        {{2026, 2, 28}, "in worked"}, // a Saturday that is worked
        {{2026, 3, 1}, "out off"},
    };
    for (const auto& [date, strClasses] : expected)
        EXPECT_EQ(Classes(february, date), strClasses) << date.m_nDay << "." << date.m_nMonth;
    // A day moved off the weekend, in a month of the year before.
    const auto january = CCalendarMonth::Build(2026, 1, &context.m_workCalendar, nullptr, {}, {});
    EXPECT_EQ(Classes(january, {2026, 1, 9}), "in off holiday");
    EXPECT_EQ(Classes(january, {2026, 1, 10}), "in off");

    // 29 February, in a year the work calendar does not cover: only the
    // weekends are days off.
    const auto leap = CCalendarMonth::Build(2028, 2, &context.m_workCalendar, nullptr, {}, {});
    ASSERT_EQ(leap.size(), 35u);
    EXPECT_EQ(Classes(leap, {2028, 2, 29}), "in");
    EXPECT_EQ(Classes(leap, {2028, 2, 26}), "in off");
    EXPECT_EQ(leap[leap.size() - 5].m_date, (CDate{2028, 3, 1}));
    // A month that fills four whole weeks.
    EXPECT_EQ(CCalendarMonth::Build(2027, 2, nullptr, nullptr, {}, {}).size(), 28u);
}

TEST(CalendarMonth, DatesMoveAndIdsReadBack)
{
    EXPECT_EQ(CCalendarMonth::FormatDate({2026, 12, 7}), "7 декабря 2026");
    CDate date;
    EXPECT_TRUE(CCalendarMonth::ParseDayId(CCalendarMonth::DayId("T", {2028, 2, 29}), "T", date));
    EXPECT_EQ(date, (CDate{2028, 2, 29}));
    for (const char* szId : {"T20260230", "T2026021", "N20260201", "T2026-2-1", "T20261301", "T"})
        EXPECT_FALSE(CCalendarMonth::ParseDayId(szId, "T", date)) << szId;
}

TEST_F(CReferenceFixture, TheTaxCalendarShowsADayAndMovesBetweenMonthsAndYears)
{
    pMain->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForTaxCalendar({2026, 2, 25})),
                        true);
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_TAX_CALENDAR);
    CTaxCalendarWin& win = pMain->GetTaxCalendarWin();
    EXPECT_EQ(Id(win, "month_title").GetText(), "Февраль 2026");
    EXPECT_EQ(Id(win, "day_title").GetText(), "25 февраля 2026");
    EXPECT_TRUE(Id(win, "T20260225").Matches(".selected.has_entries"));
    EXPECT_TRUE(Id(win, "T20260223").Matches(".holiday"));
    const CElement entries = Id(win, "day_entries");
    const std::string strText = entries.GetText();
    for (const char* szField :
         {"НДФЛ <b>", "Налоговые агенты", "Федеральный", "за январь", "Федеральные налоги",
          "Плательщики НДС", "Декларация", "Декларация по НДС", "Налоговая отчетность"})
        EXPECT_NE(strText.find(szField), std::string::npos) << szField;
    EXPECT_EQ(entries.Select("b").size(), 0u) << "the calendar's text stays text";
    EXPECT_EQ(entries.Select(".tax_entry").size(), 1u);
    EXPECT_EQ(entries.Select(".report_entry").size(), 1u);

    // Days, months and years; the view keeps the chosen day for Back.
    ClickId(win, "T20260226");
    EXPECT_EQ(View().m_date, (CDate{2026, 2, 26}));
    EXPECT_NE(Id(win, "day_entries").GetText().find("РСВ"), std::string::npos);
    ClickId(win, "btn_next_month");
    EXPECT_EQ(Id(win, "month_title").GetText(), "Март 2026");
    ClickId(win, "btn_prev_year");
    EXPECT_EQ(Id(win, "month_title").GetText(), "Март 2025");
    EXPECT_EQ(Id(win, "day_entries").GetText(),
              "На этот день нет сроков уплаты налогов и сдачи отчетности.");
    win.GetHtmlDocument()->RaiseKey(Id(win, "T20250326").GetUid(), KEY_DOWN, 0x28 /* down */);
    EXPECT_EQ(win.GetSelected(), (CDate{2025, 4, 2}));
    EXPECT_EQ(Id(win, "month_title").GetText(), "Апрель 2025");
    ClickId(win, "btn_today");
    EXPECT_EQ(win.GetSelected(), (CDate{2026, 12, 7}));
    EXPECT_TRUE(Id(win, "T20261207").Matches(".today.selected"));
    pMain->OnHomeButton();
    pMain->OnBackButton();
    EXPECT_EQ(win.GetSelected(), (CDate{2026, 12, 7}));
}

TEST_F(CReferenceFixture, TheMonthBesideTheNewsOpensTheTaxCalendarAtADay)
{
    CNewsCalendarWin& calendar = pMain->GetNewsCalendar();
    EXPECT_EQ(Id(calendar, "month_title").GetText(), "Декабрь 2026");
    EXPECT_TRUE(Id(calendar, "N20261207").Matches(".today"));
    for (int i = 0; i < 10; ++i)
        ClickId(calendar, "btn_prev_month");
    EXPECT_EQ(Id(calendar, "month_title").GetText(), "Февраль 2026");
    EXPECT_TRUE(Id(calendar, "N20260225").Matches(".has_entries"));
    ClickId(calendar, "N20260225");
    EXPECT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_TAX_CALENDAR);
    EXPECT_EQ(View().m_date, (CDate{2026, 2, 25}));
    pMain->OnBackButton();
    ClickId(pMain->GetNewsHeader(), "btn_tax_calendar");
    EXPECT_EQ(View().m_date, (CDate{2026, 12, 7}));
}

TEST_F(CReferenceFixture, EachMonthIsOneTabStopWalkedByTheArrowsFromTheDayWithTheKeyboard)
{
    const auto stops = [](CWnd& wnd) {
        std::vector<std::string> ids;
        for (const CElement& cell : Id(wnd, "month_grid").Select("td[tabindex=\"0\"]"))
            ids.push_back(cell.GetAttribute("id"));
        return ids;
    };
    const auto press = [](CHTMLayoutWin& wnd, const std::string& strId, unsigned nKey) {
        wnd.GetHtmlDocument()->RaiseKey(Id(wnd, strId).GetUid(), KEY_DOWN, nKey);
    };
    pMain->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForTaxCalendar({2026, 2, 25})),
                        true);
    CTaxCalendarWin& tax = pMain->GetTaxCalendarWin();
    CNewsCalendarWin& news = pMain->GetNewsCalendar();
    EXPECT_EQ(stops(tax), std::vector<std::string>{"T20260225"}) << "the chosen day";
    EXPECT_EQ(stops(news), std::vector<std::string>{"N20261207"}) << "today";

    // The tax calendar chooses the day the arrow leads to from the focused
    // day (the user Tabbed or clicked elsewhere in the month), not the
    // chosen one; the month beside the news moves the keyboard only.
    struct CStep
    {
        CHTMLayoutWin* m_pWin;
        const char* m_szFrom;
        unsigned m_nKey;
        const char* m_szTo;
    };
    for (const CStep& step : {CStep{&tax, "T20260210", VK_RIGHT, "T20260211"},
                              CStep{&tax, "T20260211", VK_UP, "T20260204"},
                              CStep{&tax, "T20260202", VK_LEFT, "T20260201"},
                              CStep{&tax, "T20260201", VK_UP, "T20260125"},
                              CStep{&news, "N20261207", VK_DOWN, "N20261214"},
                              CStep{&news, "N20261201", VK_LEFT, "N20261130"},
                              CStep{&news, "N20261130", VK_RIGHT, "N20261201"}})
    {
        press(*step.m_pWin, step.m_szFrom, step.m_nKey);
        EXPECT_EQ(stops(*step.m_pWin), std::vector<std::string>{step.m_szTo}) << step.m_szFrom;
        EXPECT_TRUE(Id(*step.m_pWin, step.m_szTo).HasState(STATE_FOCUS)) << step.m_szTo;
    }
    EXPECT_EQ(tax.GetSelected(), (CDate{2026, 1, 25}));
    EXPECT_EQ(Id(news, "month_title").GetText(), "Декабрь 2026");
    EXPECT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_TAX_CALENDAR) << "no day was opened";
}

TEST_F(CReferenceFixture, NewsComeNewestFirstWithTheirLinksAndOnlyTheirLinks)
{
    CNewsPanelWin& news = pMain->GetNewsPanel();
    ASSERT_EQ(news.GetItemCount(), 4u);
    EXPECT_EQ(news.GetVisibleCount(), 2u) << "680 pixels between the markers hold two cards";
    const std::vector<CElement> cards = Id(news, "news_strip").Select(".news_item");
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].SelectFirst(".news_date").GetText(), "1 декабря 2026");
    EXPECT_EQ(cards[0].Select("b").size(), 0u) << "markup other than links is dropped";
    EXPECT_EQ(cards[1].SelectFirst(".news_date").GetText(), "24 ноября 2026");
    EXPECT_EQ(cards[1].Select("img").size(), 0u)
        << "a body that could not be rewritten brings no markup";
    EXPECT_NE(cards[1].GetText().find("Разметка с ошибкой"), std::string::npos) << "its text stays";

    // A web link opens in the browser, a link into the library as its section
    // at the anchor.
    Click(news, cards[0].SelectFirst("a.link_in_news"));
    EXPECT_EQ(context.m_opened, std::vector<std::string>{"https://www.nalog.example/"});
    CNewsScrollBarWnd& bar = pMain->GetNewsScrollBar();
    bar.SetPosition(bar.GetMaximum());
    EXPECT_EQ(news.GetFirstShown(), 2u);
    EXPECT_EQ(Id(news, "news_count").GetText(), "3–4 из 4");
    const CElement oldest = Id(news, "news_strip").Select("a.link_in_news").back();
    Click(news, oldest);
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_SECTION);
    EXPECT_EQ(View().m_pSection->m_strName, "Ставка 0%");
    pMain->OnBackButton();
    EXPECT_EQ(bar.GetPosition(), 0) << "the home page shows the newest again";
    EXPECT_EQ(news.GetFirstShown(), 0u);
}

TEST(NewsPanel, ABodyKeepsItsTextAndNumberedLinksOnly)
{
    EXPECT_EQ(CNewsPanelWin::CleanNewsBody(R"(a <a id="ID3" class="link_in_news">b</a> c)"),
              R"(a <a id="ID3" class="link_in_news" role="link">b</a> c)");
    EXPECT_EQ(
        CNewsPanelWin::CleanNewsBody(R"(<a id="x" class="link_in_news" href="javascript:1">b</a>)"),
        "b");
    EXPECT_EQ(
        CNewsPanelWin::CleanNewsBody(R"(<script>alert(1)</script><p onclick="x">&lt;i&gt;</p>)"),
        "alert(1)&lt;i&gt;");
}

TEST_F(CReferenceFixture, TheSlimBarMovesAlongTheNewsByPressWheelAndKeys)
{
    CNewsScrollBarWnd& bar = pMain->GetNewsScrollBar();
    CNewsPanelWin& news = pMain->GetNewsPanel();
    const CRect rect = bar.GetWindowRect();
    EXPECT_EQ(rect.m_nHeight, 10);
    // 4 cards, 2 in view: the thumb is half the track, three places in all.
    const int nTrack = rect.m_nWidth - 55 - (55 + (1366 - 1000) / 2);
    EXPECT_EQ(bar.PositionAt(0), 0);
    EXPECT_EQ(bar.PositionAt(rect.m_nWidth), bar.GetMaximum());
    EXPECT_EQ(bar.PositionAt(55 + nTrack / 2), bar.GetMaximum() / 2);
    bar.GetHtmlDocument()->RaiseMouse(Id(bar, "news_track").GetUid(), MOUSE_DOWN, MAIN_MOUSE_BUTTON,
                                      55 + nTrack / 2, 5);
    EXPECT_EQ(news.GetFirstShown(), 1u);
    news.GetHtmlDocument()->RaiseMouse(Id(news, "news_strip").GetUid(), MOUSE_WHEEL, 0, 10, 10, 1);
    EXPECT_EQ(news.GetFirstShown(), 2u);
    news.GetHtmlDocument()->RaiseMouse(Id(news, "news_strip").GetUid(), MOUSE_WHEEL, 0, 10, 10, 1);
    EXPECT_EQ(news.GetFirstShown(), 2u) << "no further than the oldest";
    bar.GetHtmlDocument()->RaiseKey(Id(bar, "news_track").GetUid(), KEY_DOWN, 0x24 /* Home */);
    EXPECT_EQ(news.GetFirstShown(), 0u);
    bar.GetHtmlDocument()->RaiseKey(Id(bar, "news_track").GetUid(), KEY_DOWN, 0x27 /* right */);
    EXPECT_EQ(news.GetFirstShown(), 1u);
    EXPECT_EQ(Id(bar, "news_track").GetAttribute("aria-valuenow"),
              std::to_string(bar.GetPosition()));
}

TEST_F(CReferenceFixture, TheFormsLibraryLeadsFromItsSectionsToAFormAndItsFile)
{
    ClickId(pMain->GetNewsHeader(), "btn_blanks");
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_FORMS_HOME);
    CNewsPanelWin& news = pMain->GetNewsPanel();
    ASSERT_TRUE(news.IsShowingForms());
    EXPECT_EQ(news.GetVisibleCount(), 3u) << "1000 pixels hold three form cards";
    const std::vector<CElement> newest = Id(news, "news_strip").Select(".form_news_link");
    ASSERT_EQ(newest.size(), 3u);
    EXPECT_EQ(newest[0].GetText(), "Декларация v1.2 / прибыль");
    EXPECT_EQ(newest[2].GetText(), "Счет-фактура");

    CBlankSectionListWin& sections = static_cast<CBlankSectionListWin&>(*pMain->GetBodyWindow(7));
    EXPECT_NE(Id(sections, "SECTION0").GetText().find("2 формы"), std::string::npos);
    ClickId(sections, "SECTION1");
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_FORM_LIST);
    CWnd& list = *pMain->GetBodyWindow(8);
    EXPECT_EQ(Id(list, "section_title").GetText(), "Первичные документы");
    ClickId(list, "link_forms_home");
    ClickId(sections, "SECTION0");
    EXPECT_EQ(Id(list, "section_count").GetText(), "2 формы");
    ClickId(list, "FORM1");
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_FORM);
    CBlankInfoWin& form = pMain->GetBlankInfoWin();
    EXPECT_EQ(Id(form, "form_name").GetText(), "Декларация v1.2 / прибыль");
    EXPECT_EQ(Id(form, "link_section").GetText(), "Налоговая отчетность");
    EXPECT_EQ(Id(form, "form_date").GetText(), "2 октября 2024");

    // The file is in the library: opened at once, and saved into the forms
    // folder of the user's documents under the form's name made safe for a
    // file name; the folder opens from the note that says where it went.
    const std::string strFile = context.GetDocumentsFolder() + "blanks/files/profit.rtf";
    WriteFileText(strFile, "{\\rtf1 profit}");
    ClickId(form, "btn_download");
    EXPECT_EQ(context.m_opened.back(), dir.File("documents/Калимор - формы и бланки/profit.rtf"));
    ClickId(form, "btn_copy_desktop");
    const std::string strCopy =
        dir.File("documents/Калимор - формы и бланки/Декларация v1_2 _ прибыль.rtf");
    EXPECT_EQ(ReadFileText(strCopy), "{\\rtf1 profit}");
    EXPECT_NE(Id(form, "form_status").GetText().find(strCopy), std::string::npos);
    ClickId(form, "link_open_folder");
    EXPECT_EQ(context.m_opened.back(), dir.File("documents/Калимор - формы и бланки"));
    // Its instructions are on the web site.
    ClickId(form, "link_instruction");
    EXPECT_EQ(context.m_opened.back(), "https://www.nalog.example/profit");

    // Another form: its pages open in the image viewer.
    pMain->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForForm(
                            context.m_blanks.FindBlankByUploadURL("/blanks/files/6-ndfl.rtf"))),
                        true);
    const std::vector<CElement> pages = Id(form, "form_images").Select("img.form_page_image");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[1].GetAttribute("src"), "/content/Content/blanks/images/6-ndfl-2.png");
    EscapeNextDialog();
    Click(form, pages[1]);
    ClickId(form, "link_instruction");
    EXPECT_EQ(View().m_pSection->m_strName, "Ставки НДС")
        << "instructions in the library open as its section";
    pMain->OnBackButton();
    // The newest forms of the library's home open their page.
    pMain->OnBlanks();
    Click(news, Id(news, "FORM2"));
    EXPECT_EQ(View().m_pBlank, context.m_blanks.FindBlankByUploadURL("/blanks/files/invoice.rtf"));
}

TEST_F(CReferenceFixture, FormsLinksOfDocumentsOpenTheFormsLibraryWhenItHoldsTheForm)
{
    const std::string strFile = context.GetDocumentsFolder() + "blanks/files/profit.rtf";
    WriteFileText(strFile, "{\\rtf1 profit}");
    const CBlankInfo* pProfit = context.m_blanks.FindBlankByUploadURL("/blanks/files/profit.rtf");
    ASSERT_NE(pProfit, nullptr);
    // A download link: the form's view, and its file opened.
    pMain->OnDownloadBlank("/blanks/files/profit.rtf");
    ASSERT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_FORM);
    EXPECT_EQ(View().m_pBlank, pProfit);
    EXPECT_EQ(context.m_opened.back(), dir.File("documents/Калимор - формы и бланки/profit.rtf"));
    // A sample link that names the form: its view.
    pMain->OnHomeButton();
    pMain->OnViewFilledBlank("/blanks/files/profit.rtf");
    EXPECT_EQ(pMain->GetBodyKind(), CBookmark::VIEW_FORM);
    // A file the library has no form for opens (as a copy), with no view.
    const std::string strOther = context.GetDocumentsFolder() + "files/other.rtf";
    WriteFileText(strOther, "{\\rtf1 other}");
    const std::size_t nViews = pMain->GetMovementHistory().GetCount();
    pMain->OnDownloadBlank("/files/other.rtf");
    EXPECT_EQ(context.m_opened.back(), dir.File("documents/Калимор - формы и бланки/other.rtf"));
    EXPECT_EQ(pMain->GetMovementHistory().GetCount(), nViews);
}

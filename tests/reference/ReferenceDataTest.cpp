#include "BlankInfoData.h"
#include "NewInfoData.h"
#include "TaxCalendar.h"
#include "TestContent.h"
#include "WorkCalendar.h"

#include <gtest/gtest.h>

#include <set>

namespace
{
std::string Blank(const char* name, const char* date, const char* extra = "",
                  const char* approval = "<approval>Приказ ФНС</approval>")
{
    return std::string("<blank ") + date + " name=\"" + name + "\" upload_url=\"/up/" + name +
           ".xls\" instruction_url=\"/in/" + name + "\" site_url=\"/site/" + name + "\">" +
           approval + "<used>Везде</used>" + extra + "</blank>";
}
} // namespace

TEST(BlankInfoData, SectionsFormsNewestFirstAndLookups)
{
    CTempDir dir;
    WriteEncipheredFile(dir.File("blanks.dat"),
                        "<blanks><section name=\"Налоговые\" code=\"tax\">" +
                            Blank("old", "day=\"5\" month=\"3\" year=\"2010\"",
                                  "<image url=\"/i/1.png\"/><note/><image url=\"/i/2.png\"/>"
                                  "<image url=\"/i/3.png\"/>") +
                            Blank("new", "day=\"20\" month=\"2\" year=\"2011\"") +
                            "</section><section name=\"Кадровые\" code=\"hr\">" +
                            Blank("mid", "day=\"1\" month=\"1\" year=\"2011\"") +
                            "</section><section name=\"Пустой\" code=\"e\"/></blanks>");
    CBlankInfoData data;
    ASSERT_TRUE(data.LoadData(dir.File("blanks.dat")));
    ASSERT_EQ(data.GetSections().size(), 3u);
    EXPECT_EQ(data.GetSections()[0]->m_strCode, "tax");
    EXPECT_TRUE(data.GetSections()[2]->m_blanks.empty());
    const CBlankInfo& old = *data.GetSections()[0]->m_blanks[0];
    EXPECT_EQ(old.m_images, (std::vector<std::string>{"/i/1.png", "/i/2.png", "/i/3.png"}));
    EXPECT_EQ(old.m_strApproval, "Приказ ФНС");

    const auto& news = data.GetBlankNews();
    ASSERT_EQ(news.size(), 3u);
    EXPECT_EQ(news[0]->m_strName, "new");
    EXPECT_EQ(news[1]->m_strName, "mid");
    EXPECT_EQ(news[2]->m_strName, "old");
    EXPECT_EQ(data.GetBlankInfoMap().at("/site/mid")->m_strName, "mid");
    ASSERT_NE(data.FindBlankByUploadURL("/up/new.xls"), nullptr);
    EXPECT_EQ(data.FindBlankByUploadURL("/UP/new.xls"), nullptr) << "case matters";

    data.FreeData();
    EXPECT_TRUE(data.GetSections().empty());
    EXPECT_TRUE(data.GetBlankNews().empty());
}

TEST(BlankInfoData, AMissingPieceFailsTheWholeLoad)
{
    CTempDir dir;
    CLogCapture log;
    WriteEncipheredFile(dir.File("a.dat"),
                        "<b><section name=\"s\" code=\"c\">" +
                            Blank("x", "day=\"1\" month=\"1\" year=\"2020\"", "", "") +
                            "</section></b>");
    CBlankInfoData data;
    EXPECT_FALSE(data.LoadData(dir.File("a.dat"))) << "no approval";
    EXPECT_TRUE(log.Contains("Can't load news "));
    WriteEncipheredFile(dir.File("b.dat"), "<b><section name=\"s\" code=\"c\">" +
                                               Blank("x", "day=\"1\" month=\"1\"") +
                                               "</section></b>");
    EXPECT_FALSE(data.LoadData(dir.File("b.dat")));
    EXPECT_TRUE(log.Contains("CXMLUtils::GetDayInfo Can't get day info"));
    WriteEncipheredFile(dir.File("c.dat"), "<b><section name=\"s\"/></b>");
    EXPECT_FALSE(data.LoadData(dir.File("c.dat"))) << "no code";
}

TEST(TaxCalendar, DatesListsAndSkippedEntries)
{
    CTempDir dir;
    WriteEncipheredFile(
        dir.File("tax.dat"),
        "<payments>"
        "<tax day=\"28\" month=\"1\" year=\"2027\"><name>НДС</name><payer>Организации</payer>"
        "<budget>Федеральный</budget><payment_entry>1/3</payment_entry><group>Налоги</group>"
        "<name>НДС за IV квартал</name><extra>x</extra></tax>"
        "<report day=\"20\" month=\"1\" "
        "year=\"2027\"><reporter>Все</reporter><kind>Декларация</kind>"
        "<form>КНД</form><group>Отчёты</group></report>"
        "<report day=\"21\" month=\"1\"><reporter>без года</reporter></report>"
        "<tax day=\"28\" month=\"1\" year=\"2027\"><name>НДФЛ</name></tax>"
        "<holiday day=\"1\" month=\"1\" year=\"2027\"/>"
        "</payments>");
    CTaxCalendar calendar;
    ASSERT_TRUE(calendar.LoadData(dir.File("tax.dat")));
    const std::time_t tTaxDay = FromLocalDate({2027, 1, 28});
    const auto& taxes = calendar.GetTaxes(tTaxDay);
    ASSERT_EQ(taxes.size(), 2u);
    EXPECT_EQ(taxes[0].m_strName, "НДС за IV квартал") << "a later duplicate child wins";
    EXPECT_EQ(taxes[0].m_strPaymentEntry, "1/3");
    EXPECT_EQ(taxes[1].m_strName, "НДФЛ");
    EXPECT_TRUE(calendar.DoesDateHaveTax(tTaxDay));
    EXPECT_FALSE(calendar.DoesDateHaveReport(tTaxDay));
    EXPECT_EQ(calendar.GetReports(FromLocalDate({2027, 1, 20}))[0].m_strForm, "КНД");
    EXPECT_FALSE(calendar.DoesDateHaveTaxOrReport(FromLocalDate({2027, 1, 21})))
        << "an entry without a year is skipped";
    EXPECT_TRUE(calendar.GetTaxes(FromLocalDate({2027, 1, 1})).empty());
    EXPECT_EQ(calendar.GetReportDates().size(), 1u);

    CLogCapture log;
    WriteEncipheredFile(dir.File("bad.dat"),
                        "<calendar><tax day=\"1\" month=\"1\" year=\"2027\"/></calendar>");
    EXPECT_FALSE(calendar.LoadData(dir.File("bad.dat")));
    EXPECT_TRUE(log.Contains("Tax calendar invalid format"));
    EXPECT_TRUE(calendar.GetTaxDates().empty());
}

TEST(WorkCalendar, HolidaysShortDaysAndMovedWeekends)
{
    CTempDir dir;
    WriteEncipheredFile(dir.File("work.dat"),
                        "<work_calendar><year value=\"2027\">"
                        "<holiday day=\"1\" month=\"1\"/><holiday day=\"8\" month=\"3\"/>"
                        "<short day=\"5\" month=\"3\"/><workday day=\"6\" month=\"11\"/>"
                        "<holiday day=\"30\" month=\"2\"/></year></work_calendar>");
    CWorkCalendar calendar;
    ASSERT_TRUE(calendar.LoadData(dir.File("work.dat")));
    EXPECT_EQ(calendar.GetHolidays(), (std::set<CDate>{{2027, 1, 1}, {2027, 3, 8}}))
        << "30 February is skipped";
    EXPECT_TRUE(calendar.CoversYear(2027));
    EXPECT_FALSE(calendar.CoversYear(2028));
    EXPECT_FALSE(calendar.IsWorkingDay({2027, 1, 1}));
    EXPECT_FALSE(calendar.IsWorkingDay({2027, 3, 8}));
    EXPECT_TRUE(calendar.IsWorkingDay({2027, 3, 9}));
    EXPECT_FALSE(calendar.IsWorkingDay({2027, 3, 6})) << "a Saturday";
    EXPECT_TRUE(calendar.IsWorkingDay({2027, 11, 6})) << "a worked Saturday";
    EXPECT_TRUE(calendar.IsShortDay({2027, 3, 5}));
    EXPECT_FALSE(calendar.IsShortDay({2027, 3, 4}));
    EXPECT_FALSE(CWorkCalendar::IsValidDate({2027, 2, 29}));
    EXPECT_TRUE(CWorkCalendar::IsValidDate({2028, 2, 29}));
    EXPECT_FALSE(CWorkCalendar::IsValidDate({1899, 12, 31})) << "before the calendars' years";

    WriteEncipheredFile(dir.File("bad.dat"), "<work_calendar><year value=\"x\"/></work_calendar>");
    EXPECT_FALSE(calendar.LoadData(dir.File("bad.dat")));
    EXPECT_FALSE(calendar.CoversYear(2027)) << "a failed load leaves nothing behind";
}

TEST(NewInfoData, LinksAreNumberedAcrossItemsInFileOrder)
{
    CTempDir dir;
    WriteEncipheredFile(
        dir.File("news.dat"),
        "<news>"
        "<item day=\"1\" month=\"6\" year=\"2010\"><![CDATA[Срок <a href=\"x.html\">уплаты НДС</a> "
        "перенесён. <b>Важно</b>: <a href=\"y.html\">см.</a> <a href=\"z.html\">и</a>]]></item>"
        "<item day=\"2\" month=\"1\" year=\"2011\"><![CDATA[<p>Новая <a href=\"n.html\">форма</a> "
        "&lt;тег&gt;</p>]]></item>"
        "<item day=\"3\" month=\"1\" year=\"2011\"><![CDATA[Незакрытый <a href=\"q\">тег]]></item>"
        "</news>");
    CNewInfoData news;
    ASSERT_TRUE(news.LoadData(dir.File("news.dat")));
    const auto& items = news.GetItems();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->m_date, (CDate{2011, 1, 3})) << "newest first";
    EXPECT_EQ(items[0]->m_strBody, "Незакрытый <a href=\"q\">тег") << "kept as written";
    EXPECT_TRUE(items[0]->m_links.empty());
    EXPECT_EQ(
        items[2]->m_strBody,
        "Срок <a id=\"ID0\" class=\"link_in_news\">уплаты НДС</a> перенесён. Важно: "
        "<a id=\"ID1\" class=\"link_in_news\">см.</a> <a id=\"ID2\" class=\"link_in_news\">и</a>");
    EXPECT_EQ(items[2]->m_links, (std::vector<std::string>{"x.html", "y.html", "z.html"}));
    EXPECT_EQ(items[1]->m_nFirstLink, 3u) << "numbered in file order before sorting";
    EXPECT_EQ(items[1]->m_strBody,
              "Новая <a id=\"ID3\" class=\"link_in_news\">форма</a> &lt;тег&gt;")
        << "text stays text";
    ASSERT_NE(news.FindLink(3), nullptr);
    EXPECT_EQ(*news.FindLink(3), "n.html");
    EXPECT_EQ(*news.FindLink(0), "x.html");
    EXPECT_EQ(news.FindLink(4), nullptr);
}

TEST(NewInfoData, ALinkWithoutTargetKeepsTheBodyAsWritten)
{
    std::string body;
    std::vector<std::string> links;
    CLogCapture log;
    EXPECT_FALSE(CNewInfoData::ProcessHTML("a <a>b</a>", 0, body, links));
    EXPECT_TRUE(log.Contains("Can't get href value"));
    EXPECT_TRUE(body.empty());
    EXPECT_TRUE(links.empty());
}

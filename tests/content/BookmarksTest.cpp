#include "BlankInfoData.h"
#include "Bookmark.h"
#include "MovementHistory.h"
#include "TestContent.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
const char kCatalogue[] = R"(<encyclopedia>
  <section name="НДС" code="nds">
    <section name="Ставки" url="/nds/rates.html">
      <section name="Нулевая ставка" anchor="zero"/>
    </section>
    <section name="Вычеты" url="/nds/deduct.html"/>
  </section>
</encyclopedia>)";

const char kBlanks[] = R"(<blanks><section name="Налоговые" code="tax">
  <blank day="1" month="2" year="2026" name="Декларация" upload_url="/u/d.xls"
         instruction_url="/i/d" site_url="/forms/d.html"><approval>Приказ</approval><used>Везде</used></blank>
</section></blanks>)";

class BookmarksTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteEncipheredFile(m_dir.File("encyclopedia.dat"), kCatalogue);
        WriteEncipheredFile(m_dir.File("blanks.dat"), kBlanks);
        ASSERT_TRUE(m_encyclopedia.LoadData(m_dir.File("encyclopedia.dat"), m_dir.Path()));
        ASSERT_TRUE(m_blanks.LoadData(m_dir.File("blanks.dat")));
    }

    std::size_t CountDamagedCopies() const
    {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
            n += entry.path().filename().string().find("bookmarks.xml.damaged-") == 0;
        return n;
    }

    CTempDir m_dir;
    CEncyclopediaData m_encyclopedia;
    CBlankInfoData m_blanks;
};
} // namespace

TEST_F(BookmarksTest, SectionsWithAnchorsAndFormsRoundTrip)
{
    CBookmarkVector bookmarks;
    auto zero = std::make_unique<CBookmark>(
        CBookmark::ForSection(m_encyclopedia.FindSectionByURL("/nds/rates.html#zero")));
    zero->m_strAnnotation = "проверить \"экспорт\" & <льготы>";
    zero->m_bImportant = true;
    bookmarks.Add(std::move(zero));
    bookmarks.Add(std::make_unique<CBookmark>(
        CBookmark::ForSection(m_encyclopedia.FindSectionByURL("/nds/deduct.html"))));
    bookmarks.Add(
        std::make_unique<CBookmark>(CBookmark::ForForm(m_blanks.FindBlankByUploadURL("/u/d.xls"))));
    bookmarks.Add(std::make_unique<CBookmark>(CBookmark::VIEW_HISTORY));
    ASSERT_TRUE(bookmarks.SaveData(m_dir.File("bookmarks.xml")));
    const std::string xml = ReadFileText(m_dir.File("bookmarks.xml"));
    EXPECT_NE(xml.find("url=\"/nds/rates.html#zero\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("url=\"/forms/d.html\""), std::string::npos);

    CBookmarkVector loaded;
    ASSERT_TRUE(loaded.LoadData(m_dir.File("bookmarks.xml"), m_encyclopedia, &m_blanks));
    ASSERT_EQ(loaded.GetCount(), 3u) << "only sections and forms are saved";
    EXPECT_EQ(loaded.GetAt(0)->m_pSection->m_strName, "Нулевая ставка");
    EXPECT_EQ(loaded.GetAt(0)->m_strAnnotation, "проверить \"экспорт\" & <льготы>");
    EXPECT_TRUE(loaded.GetAt(0)->m_bImportant);
    EXPECT_FALSE(loaded.GetAt(1)->m_bImportant);
    EXPECT_EQ(loaded.GetAt(2)->m_pBlank->m_strName, "Декларация");
    EXPECT_TRUE(loaded.IsContainsCopy(
        CBookmark::ForSection(m_encyclopedia.FindSectionByURL("/nds/deduct.html"))));
    EXPECT_FALSE(loaded.IsContainsCopy(
        CBookmark::ForSection(m_encyclopedia.FindSectionByURL("/nds/rates.html"))));
    EXPECT_EQ(CountDamagedCopies(), 0u);
}

TEST_F(BookmarksTest, ADroppedPageIsLoggedKeptAsideAndGoneFromTheNextSave)
{
    const std::string xml =
        "<bookmarks>"
        "<bookmark type=\"1\" url=\"/nds/removed.html\" annotation=\"\" important=\"1\"/>"
        "<bookmark type=\"1\" url=\"/nds/deduct.html\" annotation=\"a\"/>"
        "<bookmark type=\"x\"/>"
        "<bookmark type=\"1\" url=\"/nds/rates.html\" annotation=\"b\" important=\"yes\"/>"
        "</bookmarks>";
    WriteFileText(m_dir.File("bookmarks.xml"), xml);
    CBookmarkVector bookmarks;
    CLogCapture log;
    ASSERT_TRUE(bookmarks.LoadData(m_dir.File("bookmarks.xml"), m_encyclopedia, &m_blanks));
    ASSERT_EQ(bookmarks.GetCount(), 2u);
    EXPECT_FALSE(bookmarks.GetAt(0)->m_bImportant) << "a missing mark is not important";
    EXPECT_FALSE(bookmarks.GetAt(1)->m_bImportant) << "not a number";
    EXPECT_TRUE(log.Contains("Can' load bookmark with url=/nds/removed.html"));
    EXPECT_TRUE(log.Contains("Can't load bookmark data"));
    EXPECT_EQ(CountDamagedCopies(), 1u);

    ASSERT_TRUE(bookmarks.SaveData(m_dir.File("bookmarks.xml")));
    EXPECT_EQ(ReadFileText(m_dir.File("bookmarks.xml")).find("removed"), std::string::npos);
}

TEST_F(BookmarksTest, ATruncatedFileKeepsItsWholeBookmarks)
{
    WriteFileText(m_dir.File("bookmarks.xml"),
                  "<bookmarks><bookmark type=\"1\" url=\"/nds/deduct.html\" annotation=\"a\"/>"
                  "<bookmark type=\"1\" url=\"/nds/rat");
    CBookmarkVector bookmarks;
    CLogCapture log;
    ASSERT_TRUE(bookmarks.LoadData(m_dir.File("bookmarks.xml"), m_encyclopedia, &m_blanks));
    EXPECT_EQ(bookmarks.GetCount(), 1u);
    EXPECT_EQ(CountDamagedCopies(), 1u);
    EXPECT_FALSE(bookmarks.LoadData(m_dir.File("none.xml"), m_encyclopedia, &m_blanks));
}

TEST_F(BookmarksTest, CopiesCompareTheViewNotTheNotes)
{
    CEncyclopediaSection* pRates = m_encyclopedia.FindSectionByURL("/nds/rates.html");
    CBookmark a = CBookmark::ForSection(pRates);
    CBookmark b = CBookmark::ForSection(pRates);
    b.m_strAnnotation = "other note";
    b.m_bImportant = true;
    EXPECT_TRUE(a.IsCopyOf(b));
    b.m_nParam2 = 1;
    EXPECT_FALSE(a.IsCopyOf(b));
    EXPECT_TRUE(CBookmark::ForTaxCalendar({2027, 1, 28})
                    .IsCopyOf(CBookmark::ForTaxCalendar({2027, 1, 28})));
    EXPECT_FALSE(CBookmark::ForTaxCalendar({2027, 1, 28})
                     .IsCopyOf(CBookmark::ForTaxCalendar({2027, 1, 29})));
    CBookmark search1 = CBookmark::ForSearchResults({{"nds", {pRates}}}, {"налог"});
    CBookmark search2 = CBookmark::ForSearchResults({{"nds", {pRates}}}, {"ставка"});
    EXPECT_TRUE(search1.IsCopyOf(search2)) << "highlight words are not part of the view";
    EXPECT_FALSE(search1.IsCopyOf(CBookmark::ForSearchResults({}, {})));

    CBookmark orphan = CBookmark::ForSection(nullptr);
    CLogCapture log;
    CBookmarkVector list;
    list.Add(std::make_unique<CBookmark>(orphan));
    EXPECT_FALSE(list.SaveData(m_dir.File("b.xml")));
    EXPECT_TRUE(log.Contains("Can't save bookmark on NULL section"));
}

TEST(MovementHistory, BackForwardAndTruncation)
{
    CMovementHistory history;
    int leaves = 0;
    history.SetLeaveViewHandler([&] { ++leaves; });
    EXPECT_FALSE(history.CanMoveBackward());
    EXPECT_FALSE(history.CanMoveForward());
    EXPECT_EQ(history.GetCurrent()->m_nType, CBookmark::VIEW_HOME);

    for (int kind :
         {CBookmark::VIEW_BOOKMARKS, CBookmark::VIEW_HISTORY, CBookmark::VIEW_SEARCH_REGISTRY})
    {
        auto view = std::make_unique<CBookmark>(kind);
        ASSERT_TRUE(history.MoveTo(view));
        EXPECT_EQ(view, nullptr) << "the history owns the view";
    }
    EXPECT_EQ(history.GetCount(), 4u);
    auto same = std::make_unique<CBookmark>(CBookmark::VIEW_SEARCH_REGISTRY);
    EXPECT_FALSE(history.MoveTo(same)) << "the current view again adds nothing";
    ASSERT_NE(same, nullptr) << "and the caller keeps it";
    EXPECT_EQ(history.GetCount(), 4u);

    history.MoveBackward();
    history.MoveBackward();
    EXPECT_EQ(history.GetCurrent()->m_nType, CBookmark::VIEW_BOOKMARKS);
    EXPECT_TRUE(history.CanMoveForward());
    auto fresh = std::make_unique<CBookmark>(CBookmark::VIEW_TAX_CALENDAR);
    ASSERT_TRUE(history.MoveTo(fresh));
    EXPECT_FALSE(history.CanMoveForward()) << "the forward views are gone";
    EXPECT_EQ(history.GetCount(), 3u);
    EXPECT_EQ(leaves, 6) << "three moves, two steps back and one more move";

    history.MoveForward(); // nothing ahead
    EXPECT_EQ(leaves, 6);
    history.Clear();
    EXPECT_EQ(history.GetCount(), 1u);
    EXPECT_FALSE(history.CanMoveBackward() || history.CanMoveForward());
    EXPECT_EQ(history.GetCurrent()->m_nType, CBookmark::VIEW_HOME);
}

// A day of reading makes thousands of views; Back reaches the last
// kMaxViews of them, and the history holds no more.
TEST(MovementHistory, KeepsTheLastViewsOnly)
{
    CMovementHistory history;
    const int kinds[] = {CBookmark::VIEW_BOOKMARKS, CBookmark::VIEW_HISTORY,
                         CBookmark::VIEW_SEARCH_REGISTRY};
    for (std::size_t i = 0; i < 3 * CMovementHistory::kMaxViews + 1; ++i)
    {
        auto view = std::make_unique<CBookmark>(kinds[i % 3]);
        ASSERT_TRUE(history.MoveTo(view));
        ASSERT_LE(history.GetCount(), CMovementHistory::kMaxViews);
    }
    EXPECT_EQ(history.GetCount(), CMovementHistory::kMaxViews);
    EXPECT_EQ(history.GetCurrent()->m_nType, kinds[(3 * CMovementHistory::kMaxViews) % 3]);
    std::size_t nSteps = 0;
    for (; history.CanMoveBackward(); ++nSteps)
        history.MoveBackward();
    EXPECT_EQ(nSteps, CMovementHistory::kMaxViews - 1);
    EXPECT_NE(history.GetCurrent()->m_nType, CBookmark::VIEW_HOME) << "the oldest views went first";
}

// Search views of a large library hold long lists: the history keeps the
// newest of them that fit in kMaxKeptSections, and the current one whatever
// its size.
TEST(MovementHistory, KeepsTheListsItHoldsBounded)
{
    constexpr std::size_t kQuarter = CMovementHistory::kMaxKeptSections / 4;
    CMovementHistory history;
    int nViews = 0;
    const auto search = [&](std::string strQuery, std::size_t nSections) {
        auto view = std::make_unique<CBookmark>(CBookmark::VIEW_SEARCH_RESULTS);
        view->m_strSearchString = std::move(strQuery);
        view->m_nViewNumber = ++nViews; // no copy of the last
        view->m_sectionsByCode["a"].resize(nSections / 2);
        view->m_sectionsByCode["b"].resize(nSections - nSections / 2);
        EXPECT_TRUE(history.MoveTo(view));
    };
    for (int i = 0; i < 6; ++i)
        search("запрос " + std::to_string(i), kQuarter + 1);
    EXPECT_EQ(history.GetCount(), 3u) << "four of them would pass the bound";
    history.MoveBackward();
    history.MoveBackward();
    EXPECT_EQ(history.GetCurrent()->m_strSearchString, "запрос 3");
    EXPECT_FALSE(history.CanMoveBackward());
    search("всё", CMovementHistory::kMaxKeptSections + 1);
    EXPECT_EQ(history.GetCount(), 1u);
    EXPECT_EQ(history.GetCurrent()->m_strSearchString, "всё");
}

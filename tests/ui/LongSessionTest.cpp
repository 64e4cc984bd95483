// A working day in the windows, without a browser: a long branch of the
// navigator read row after row, each click rebuilding the rows while the
// patches for the old ones are still pending, and the engine's own records
// staying as large as the page and not as long as the session.
#include "MainWindow.h"
#include "TestContent.h"
#include "TestSupport.h"
#include "UiTestContext.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace
{
constexpr int kLongBranchPages = 52; // and two rows more: the navigator shows 54

std::string PageName(int nPage)
{
    return "/nds/long/p" + std::to_string(nPage) + ".html";
}

// A topic with a short branch and a long one (every row a page), like the
// branches of a full library that the demo's small ones hide.
std::string LongBranchCatalogue()
{
    std::string xml = R"(<encyclopedia><section name="НДС" code="nds" url="/nds/index.html">
<section name="Общие положения"><section name="Ставки" url="/nds/rates.html"/></section>
<section name="Длинная ветка">)";
    for (int i = 0; i < kLongBranchPages; ++i)
        xml += "<section name=\"Страница " + std::to_string(i) + "\" url=\"" + PageName(i) +
               "\"><section name=\"Пункт\" anchor=\"a\"/></section>";
    return xml + "</section></section></encyclopedia>";
}

std::size_t CountNodes(const CDomNode& node)
{
    std::size_t nCount = 1;
    for (const auto& pChild : node.m_children)
        nCount += CountNodes(*pChild);
    return nCount;
}

struct CLongBranchFixture : CWindowsFixture
{
    CLongBranchFixture()
    {
        context.m_strContentFolder = dir.File("Content") + "/";
        const std::string strDocs = context.GetDocumentsFolder();
        std::filesystem::create_directories(strDocs + "nds/long");
        WriteEncipheredFile(dir.File("Content/encyclopedia.dat"), LongBranchCatalogue());
        for (const char* szPage : {"nds/index", "nds/rates"})
            WriteEncipheredFile(strDocs + szPage + ".dat",
                                "<html><body><h1>Раздел</h1></body></html>");
        for (int i = 0; i < kLongBranchPages; ++i)
            WriteEncipheredFile(strDocs + PageName(i).substr(1, PageName(i).size() - 6) + ".dat",
                                "<html><body><h1>Страница " + std::to_string(i) +
                                    "</h1></body></html>");
        EXPECT_TRUE(context.m_encyclopedia.LoadData(dir.File("Content/encyclopedia.dat"), strDocs));
        context.m_registry.SetContentVersion(2);
        main = std::make_unique<CMainWindow>(context, nullptr);
        EXPECT_TRUE(main->Create());
        manager.SetMainWindow(main.get());
        main->MoveWindow(0, 0, 1366, 768);
        // What the bridge would send: every flush is kept, as a browser would
        // apply it, so a patch that reads a freed row is read here too.
        manager.SetSink([this](const nlohmann::json& ops) { m_nPatchBytes += ops.dump().size(); });
    }

    CNavigatorWin& Navigator() { return main->GetEncyclopediaWin().GetNavigator(); }
    CKalimorHtmlView& View() { return main->GetEncyclopediaWin().GetBrowserContent().GetView(); }
    CElement Row(const std::string& strText)
    {
        for (const CElement& link : Navigator().GetRootElement().Select("a.section_link"))
            if (link.GetText() == strText)
                return link;
        return {};
    }

    CTempDir dir;
    std::unique_ptr<CMainWindow> main;
    std::size_t m_nPatchBytes = 0;
};
} // namespace

// Each click on a row rebuilds every row of the tree while the clicked row's
// own state change is still waiting to be sent; the rows' controls retired by
// the rebuild live until the click is over. Reading the branch over and over,
// in the three ways a reader clicks (the mouse without a hover report first,
// the mouse after one, the keyboard) with the browser's flush after each
// click and the loop run now and then, shows every page and never reads a
// row that is gone.
TEST_F(CLongBranchFixture, ReadingALongBranchRowAfterRowRebuildsTheNavigatorSafely)
{
    main->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(
                           context.m_encyclopedia.FindSectionByURL("/nds/index.html"))),
                       true);
    CHtmlDocument& doc = Doc(Navigator());
    Click(doc, Row("Длинная ветка").GetUid());
    manager.Flush();
    ASSERT_EQ(Navigator().GetRootElement().Select("a.section_link").size(),
              std::size_t(kLongBranchPages + 2))
        << "the long branch is open";

    enum EWay
    {
        MOUSE,
        HOVER_THEN_MOUSE,
        KEYBOARD,
    };
    struct CRound
    {
        EWay m_way;
        int m_nDrainEvery; // the loop runs after this many clicks
    };
    const CRound rounds[] = {
        {MOUSE, 1000}, {HOVER_THEN_MOUSE, 3}, {KEYBOARD, 2}, {HOVER_THEN_MOUSE, 1000}};
    std::size_t nUidsAfterFirstRound = 0;
    int nClicks = 0, nRound = 0;
    for (const CRound& round : rounds)
    {
        // Every fourth row, a different one each round: the sanitizer build
        // reads the branch well within the fixture's time limit.
        for (int i = nRound++ % 4; i < kLongBranchPages; i += 4)
        {
            const std::string strName = "Страница " + std::to_string(i);
            const unsigned nUid = Row(strName).GetUid();
            ASSERT_NE(nUid, 0u) << strName;
            switch (round.m_way)
            {
            case HOVER_THEN_MOUSE: doc.RaiseMouse(nUid, MOUSE_ENTER, 0, 1, 1); [[fallthrough]];
            case MOUSE: Click(doc, nUid); break;
            case KEYBOARD:
                doc.RaiseFocus(nUid);
                doc.RaiseKey(nUid, KEY_DOWN, VK_RETURN);
                break;
            }
            manager.Flush();
            if (++nClicks % round.m_nDrainEvery == 0)
                Drain();
            ASSERT_EQ(View().GetDocumentPath(), PageName(i))
                << "way " << round.m_way << ", click " << nClicks;
            ASSERT_EQ(Row(strName).GetAttribute("aria-current"), "page");
        }
        Drain();
        manager.Flush();
        if (!nUidsAfterFirstRound)
            nUidsAfterFirstRound = doc.GetUidCount();
    }
    EXPECT_GT(m_nPatchBytes, 0u);
    // The uids of rows rebuilt away are forgotten with them: the map holds the
    // page as it is now (and the few nodes a hover still holds), not every row
    // the session ever made.
    const std::size_t nNodes = CountNodes(*doc.GetRoot().GetNode());
    EXPECT_GE(doc.GetUidCount(), nNodes);
    EXPECT_LE(doc.GetUidCount(), nNodes + 32);
    EXPECT_LE(doc.GetUidCount(), nUidsAfterFirstRound + 32);
}

// What a window keeps about its page stays as large as the page however long
// it is rebuilt: the uid map (and the sizes and measures kept by uid) holds
// the nodes alive, and what a reloading page would replay (every patch since
// the last whole page, as the bridge keeps it) is bounded in count and bytes.
TEST(LongSession, AWindowRebuiltAllDayKeepsRecordsAsLargeAsItsPage)
{
    const std::string strBigRows = [] {
        std::string html;
        for (int i = 0; i < 60; ++i)
            html += "<tr><td class=\"level3\"><a class=\"section_link\" id=\"ID" +
                    std::to_string(i) + "\">" + std::string(120, 'x') + "</a></td></tr>";
        return html;
    }();
    struct CCase
    {
        const char* m_szName;
        std::function<void(CElement list, int nRound)> m_change;
    };
    const CCase cases[] = {
        {"rows rebuilt with SetHtml", [&](CElement list, int) { list.SetHtml(strBigRows); }},
        {"text replaced",
         [](CElement list, int nRound) { list.SetText("round " + std::to_string(nRound)); }},
        {"rows appended and removed",
         [](CElement list, int nRound) {
             CElement row = list.CreateElement("tr", "row " + std::to_string(nRound));
             list.Append(row);
             if (list.GetChildCount() > 20)
                 list.GetChild(0).Detach();
         }},
        {"an attribute changed",
         [](CElement list, int nRound) { list.SetAttribute("title", std::to_string(nRound)); }},
        {"rows measured then rebuilt",
         [&](CElement list, int) {
             list.SetHtml(strBigRows);
             list.SelectFirst("a").GetLocation();
         }},
    };
    for (const CCase& test : cases)
    {
        CHtmlDocument doc;
        ASSERT_TRUE(doc.LoadHtml("<html><body><table id=\"list\"></table></body></html>"));
        CElement list = doc.GetRoot().FindById("list");
        std::size_t nReplayOps = 0, nReplayBytes = 0, nMostOps = 0, nMostBytes = 0;
        for (int nRound = 0; nRound < 2000; ++nRound)
        {
            test.m_change(list, nRound);
            // The bridge keeps a window's patches since the last whole page.
            for (const auto& op : doc.TakeChanges("/ui/"))
            {
                if (op.at("op") == "doc")
                    nReplayOps = nReplayBytes = 0;
                ++nReplayOps;
                nReplayBytes += op.dump().size();
            }
            nMostOps = std::max(nMostOps, nReplayOps);
            nMostBytes = std::max(nMostBytes, nReplayBytes);
        }
        const std::size_t nNodes = CountNodes(*doc.GetRoot().GetNode());
        EXPECT_EQ(doc.GetUidCount(), nNodes) << test.m_szName;
        EXPECT_LE(nMostOps, 420u) << test.m_szName;
        EXPECT_LE(nMostBytes, 320u * 1024) << test.m_szName;
    }
}

#include "EncyclopediaData.h"
#include "FileUtils.h"
#include "MRUDocumentData.h"
#include "QuerySnippet.h"
#include "TestContent.h"
#include "XMLUtils.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(MRUDocuments, FirstEntryOfEveryNameInFileOrder)
{
    CTempDir dir;
    WriteEncipheredFile(
        dir.File("mru.dat"),
        "<mru><documents><doc name=\"НДС\" url=\"/nds/1.html\"/>"
        "<doc name=\"УСН\" url=\"/usn/1.html\"/><doc name=\"НДС\" url=\"/nds/2.html\"/>"
        "<doc url=\"/no-name.html\"/></documents></mru>");
    CMRUDocumentData data;
    CLogCapture log;
    ASSERT_TRUE(data.LoadData(dir.File("mru.dat")));
    ASSERT_EQ(data.GetDocuments().size(), 2u);
    EXPECT_EQ(data.GetDocuments()[0].m_strURL, "/nds/1.html");
    EXPECT_EQ(data.GetDocuments()[1].m_strName, "УСН");
    EXPECT_TRUE(log.Contains("CMRUDocumentData::LoadBlank can't get data "));
    EXPECT_EQ(CMRUDocumentData::FindByName("УСН", data.GetDocuments()), 1);
    EXPECT_EQ(CMRUDocumentData::FindByName("усн", data.GetDocuments()), -1);

    WriteEncipheredFile(dir.File("empty.dat"), "<mru><documents/></mru>");
    ASSERT_TRUE(data.LoadData(dir.File("empty.dat")));
    EXPECT_TRUE(data.GetDocuments().empty());
    EXPECT_FALSE(data.LoadData(dir.File("missing.dat")));
}

namespace
{
const char kCatalogue[] = R"(<encyclopedia>
  <!-- a comment is not a section -->
  <section name="НДС" id="1" code="nds">
    <section name="Ставки" url="/nds/rates.html">
      <section name="Нулевая ставка" anchor="zero"/>
      <section name="Льготы" anchor="benefits"><section name="Экспорт" anchor="export"/></section>
    </section>
    <section name="Группа"><section name="Вычеты" url="/nds/deduct.html"/></section>
    <section name="Повтор" url="/nds/dup.html"/>
  </section>
  <section name="УСН" code="usn">
    <section name="Объект" url="/usn/object.html"/>
    <section name="Повтор позже" url="/nds/dup.html"/>
    <section name="Папка" url="/dir.html"/>
  </section>
</encyclopedia>)";

class EncyclopediaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteEncipheredFile(m_dir.File("encyclopedia.dat"), kCatalogue);
        ASSERT_TRUE(m_data.LoadData(m_dir.File("encyclopedia.dat"), m_dir.File("Content/")));
    }
    CTempDir m_dir;
    CEncyclopediaData m_data;
};
} // namespace

// Sections without an address, an anchor or a code are the rule, not an
// error: a sound catalogue loads without a line in the error log.
TEST(Encyclopedia, ASoundCatalogueLoadsWithoutErrors)
{
    CTempDir dir;
    WriteEncipheredFile(dir.File("encyclopedia.dat"), kCatalogue);
    CEncyclopediaData data;
    CLogCapture log(3);
    ASSERT_TRUE(data.LoadData(dir.File("encyclopedia.dat"), dir.File("Content/")));
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(data.FindSectionByURL("/nds/rates.html#zero")->m_strCode, "");
}

TEST_F(EncyclopediaTest, AddressesFindTheirSections)
{
    const CEncyclopediaSection* pZero = m_data.FindSectionByURL("/nds/rates.html#zero");
    ASSERT_NE(pZero, nullptr);
    EXPECT_EQ(pZero->m_strName, "Нулевая ставка");
    EXPECT_EQ(m_data.FindSectionByURL("nds/rates.html?x=1#zero"), pZero);
    EXPECT_EQ(m_data.FindSectionByURL("  \\nds\\rates.html#zero "), pZero);
    EXPECT_EQ(m_data.FindSectionByURL("/nds/rates.html#export")->m_strName, "Экспорт")
        << "anchors are searched in the whole subtree";
    CLogCapture log;
    EXPECT_EQ(m_data.FindSectionByURL("/nds/rates.html#nowhere")->m_strName, "Ставки");
    EXPECT_TRUE(log.Contains("anchor=nowhere not found"));
    EXPECT_EQ(m_data.FindSectionByURL("/dir/")->m_strName, "Папка");
    EXPECT_EQ(m_data.FindSectionByURL("/nds/dup.html")->m_strName, "Повтор позже")
        << "the later section in depth-first order wins";
    EXPECT_EQ(m_data.FindSectionByURL("/missing.html"), nullptr);
    EXPECT_EQ(m_data.FindSectionByURL("#zero"), nullptr);
    EXPECT_EQ(m_data.FindSectionByURL("/NDS/rates.html"), nullptr) << "keys are case-sensitive";

    const auto sections =
        m_data.FindSectionsByURLs({"/usn/object.html", "/missing", "/nds/deduct.html"});
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0]->m_strName, "Вычеты");
    EXPECT_EQ(sections[1]->m_strName, "Объект");
}

// Search answers: the "content" prefix is dropped, addresses are read as
// FindSectionByURL reads them, and a page found through several words (so
// in several records) is listed once, where it ranks best.
TEST_F(EncyclopediaTest, SearchAnswersListEachSectionOnce)
{
    auto record = [](std::uint32_t nDoc, double dScore, const char* szPath) {
        SearchResult result;
        result.docNumber = nDoc;
        result.score = dScore;
        result.path = szPath;
        return result;
    };
    const SearchResultSet results{
        record(1, 0.9, "content/usn/object.html"), record(2, 0.8, "content/nds/deduct.html"),
        record(1, 0.5, "content/usn/object.html"), record(3, 0.4, "content\\nds\\rates.html#zero"),
        record(4, 0.3, "content/missing.html"),    record(2, 0.2, "content/nds/deduct.html")};
    const auto names = [this](const SearchResultSet& answer) {
        std::vector<std::string> found;
        for (const CEncyclopediaSection* pSection : m_data.FindSectionsBySearchResult(answer))
            found.push_back(pSection->m_strName);
        return found;
    };
    const std::vector<std::string> expected{"Объект", "Вычеты", "Нулевая ставка"};
    EXPECT_EQ(names(results), expected);
    EXPECT_EQ(names(results), expected) << "the same answer again, its numbers known";
    // A record without its path is not looked up by its number; a number far
    // past the library's is looked up by its address.
    EXPECT_EQ(names({record(1, 0.9, ""), record(4000000000u, 0.8, "content/usn/object.html")}),
              std::vector<std::string>{"Объект"});
    // The numbers belong to the index of the content loaded: another content,
    // another page under the same number.
    m_data.FreeData();
    ASSERT_TRUE(m_data.LoadData(m_dir.File("encyclopedia.dat"), m_dir.File("Content/")));
    EXPECT_EQ(names({record(1, 0.9, "content/nds/deduct.html")}),
              std::vector<std::string>{"Вычеты"});
}

TEST_F(EncyclopediaTest, TreeWalks)
{
    CEncyclopediaSection* pExport = m_data.FindSectionByURL("/nds/rates.html#export");
    ASSERT_NE(pExport, nullptr);
    EXPECT_EQ(CEncyclopediaData::GetSectionLevel(pExport), 4);
    EXPECT_EQ(CEncyclopediaData::GetParentByLevel(pExport, 0), m_data.GetRoot());
    EXPECT_EQ(CEncyclopediaData::GetParentByLevel(pExport, 1)->m_strCode, "nds");
    EXPECT_EQ(CEncyclopediaData::GetParentByLevel(pExport, 4), pExport);
    {
        CLogCapture log;
        EXPECT_EQ(CEncyclopediaData::GetParentByLevel(pExport, 5), nullptr);
        EXPECT_TRUE(log.Contains("There is no parent"));
    }
    EXPECT_EQ(CEncyclopediaData::GetParentSectionWithURL(pExport)->m_strURL, "/nds/rates.html");
    CEncyclopediaSection* pNds = m_data.GetFirstLevelSectionItem("nds");
    ASSERT_NE(pNds, nullptr);
    EXPECT_EQ(CEncyclopediaData::GetFirstLevelSectionItem(pExport), pNds);
    EXPECT_EQ(m_data.GetFirstLevelSectionItem("NDS"), nullptr);
    EXPECT_EQ(CEncyclopediaData::GetFirstRealChild(pNds)->m_strName, "Ставки");
    EXPECT_EQ(CEncyclopediaData::GetFirstRealChild(pNds->m_children[1].get())->m_strName, "Вычеты");

    const auto byCode =
        CEncyclopediaData::SortByCode({m_data.FindSectionByURL("/usn/object.html"), pExport,
                                       m_data.FindSectionByURL("/nds/deduct.html")});
    ASSERT_EQ(byCode.size(), 2u);
    EXPECT_EQ(byCode.at("nds").size(), 2u);
    EXPECT_EQ(byCode.at("nds")[0], pExport) << "input order inside a code";
}

// A catalogue that cannot be used fails the load whole and leaves the tree
// as it was: no half of it is added.
TEST(Encyclopedia, ABrokenCatalogueFailsTheLoadAndAddsNothing)
{
    CTempDir dir;
    CEncyclopediaData data;
    WriteEncipheredFile(dir.File("good.dat"), "<e><s name=\"a\" url=\"/a.html\"/></e>");
    ASSERT_TRUE(data.LoadData(dir.File("good.dat"), dir.Path()));
    struct CBroken
    {
        const char* m_szText;
        const char* m_szLogged; // the loader's own complaint, if any
    };
    for (const CBroken& broken :
         {CBroken{"<e><s name=\"b\"/><s url=\"/b.html\"/></e>",
                  "CEncyclopediaData::LoadSection can't get section name "},
          CBroken{"<e><s name=\"b\"><s name=\"c\"/></e>", "Can't load XML from file"},
          CBroken{"<e><s name=\"b\"/>text<s name=\"c\"/></e>", nullptr},
          CBroken{"", "Can't load encyclopedia contents"}})
    {
        WriteEncipheredFile(dir.File("e.dat"), broken.m_szText);
        CLogCapture log;
        EXPECT_FALSE(data.LoadData(dir.File("e.dat"), dir.Path())) << broken.m_szText;
        if (broken.m_szLogged)
        {
            EXPECT_TRUE(log.Contains(broken.m_szLogged)) << broken.m_szText;
        }
        EXPECT_TRUE(log.Contains("Can't load encyclopedia contents")) << broken.m_szText;
        ASSERT_EQ(data.GetRoot()->m_children.size(), 1u) << broken.m_szText;
        EXPECT_EQ(data.FindSectionByURL("/a.html")->m_strName, "a");
    }
    CLogCapture log;
    EXPECT_FALSE(data.LoadData(dir.File("none.dat"), dir.Path()));
    EXPECT_TRUE(log.Contains("Can't load encyclopedia contents"));
}

TEST_F(EncyclopediaTest, PageTextAndQuerySnippets)
{
    std::string page = "<html><body><h1>Ставки НДС</h1><p>";
    for (int i = 0; i < 40; ++i)
        page += "Вводный текст раздела. ";
    page += "Налоговая ставка 0% применяется при экспорте; ставки налога бывают разные. "
            "Подналоговый случай не считается.</p><p>Конец &lt;страницы&gt;.</p></body></html>";
    WriteEncipheredFile(m_dir.File("Content/nds/rates.dat"), page);
    const CEncyclopediaSection* pRates = m_data.FindSectionByURL("/nds/rates.html");

    const std::string text = m_data.GetContent(pRates);
    EXPECT_TRUE(text.starts_with(" Ставки НДС\r\nВводный текст"))
        << "[" << text.substr(0, 60) << "]";
    EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("Content/nds/rates.html")))
        << "no plain copy is left on disk";

    const std::string snippet =
        m_data.GetContent(pRates, {{"налоговая", "налога"}, {"ставка", "ставки"}});
    // The closest pair ("ставки налога", 7 apart) beats "Налоговая ставка" (10 apart);
    // the window opens 10 characters before it.
    EXPECT_TRUE(snippet.starts_with("...экспорте; <b>ставки</b> <b>налога</b> бывают")) << snippet;
    EXPECT_TRUE(snippet.ends_with("&lt;страницы&gt;...."));
    EXPECT_NE(snippet.find("Подналоговый"), std::string::npos) << "inside a longer word: not bold";
    EXPECT_EQ(m_data.GetContent(pRates, {{"налоговая", "налога"}, {"ставка", "ставки"}}), snippet);

    const std::string absent = m_data.GetContent(pRates, {{"акциз"}});
    EXPECT_TRUE(absent.starts_with(" Ставки НДС")) << "no occurrence: from the beginning";

    const std::string tail = BuildQuerySnippet(" начало <страницы> налог", {{"налог"}});
    EXPECT_EQ(tail, "...страницы&gt; <b>налог</b>...") << "page text never becomes markup";
    // "ё" and "е" are one letter: a form matches either spelling, and the
    // page keeps its own.
    EXPECT_EQ(BuildQuerySnippet("Отчёт и отчет, ЁЛКА", {{"отчет"}, {"ёлка"}}),
              "<b>Отчёт</b> и <b>отчет</b>, <b>ЁЛКА</b>...");

    CLogCapture log;
    EXPECT_EQ(m_data.GetContent(m_data.FindSectionByURL("/usn/object.html")), "");
    EXPECT_TRUE(log.Contains("CEncyclopediaData::GetContent Cannot decrypt file"));
}

// A day of searches asks for snippets of ever new queries: what is kept of
// them stays under its bound, and a snippet asked for again is the same.
TEST_F(EncyclopediaTest, SnippetsOfADayOfSearchesStayUnderTheirBound)
{
    WriteEncipheredFile(m_dir.File("Content/nds/rates.dat"),
                        "<html><body><p>" + std::string(2000, 'x') +
                            " ставка налога</p></body></html>");
    const CEncyclopediaSection* pRates = m_data.FindSectionByURL("/nds/rates.html");
    const std::string first = m_data.GetContent(pRates, {{"ставка"}});
    std::size_t nMost = 0;
    for (int i = 0; i < 5000; ++i)
    {
        m_data.GetContent(pRates, {{"ставка"}, {"слово" + std::to_string(i)}});
        nMost = std::max(nMost, m_data.GetSnippetCacheBytes());
    }
    EXPECT_GT(nMost, CEncyclopediaData::kSnippetCacheBytes / 2) << "the cache is used";
    EXPECT_LE(nMost, CEncyclopediaData::kSnippetCacheBytes);
    EXPECT_EQ(m_data.GetContent(pRates, {{"ставка"}}), first);
}

TEST(Encyclopedia, SampleAndDownloadLinksAreNumberedAndKept)
{
    CXmlDocPtr doc;
    ASSERT_TRUE(CXMLUtils::LoadHTMLDocumentContent(
        "<html><body><div class=\"sample\"><a href=\"s1.html\">Образец</a></div>"
        "<DIV class=\"download\"><A HREF=\"f1.xls\">Бланк</A></DIV>"
        "<div class=\"sample\"><p><a href=\"deep.html\">в абзаце</a></p></div>"
        "<div class=\"sample\"><a href=\"s2.html\">Второй</a><a href=\"s3.html\">Третий</a></div>"
        "<p><a href=\"plain.html\">обычная</a></p></body></html>",
        doc));
    std::map<std::string, std::string> samples, downloads;
    ASSERT_TRUE(CEncyclopediaData::ReplaceSpecialLinks(xmlDocGetRootElement(doc.get()), samples,
                                                       downloads));
    EXPECT_EQ(samples, (std::map<std::string, std::string>{{"about:SAMPLE_0", "s1.html"},
                                                           {"about:SAMPLE_1", "s2.html"},
                                                           {"about:SAMPLE_2", "s3.html"}}));
    EXPECT_EQ(downloads, (std::map<std::string, std::string>{{"about:DOWNLOAD_0", "f1.xls"}}));
    const std::string html = CXMLUtils::SaveXmlToString(doc.get());
    EXPECT_NE(html.find("href=\"about:SAMPLE_0\""), std::string::npos);
    EXPECT_NE(html.find("href=\"deep.html\""), std::string::npos)
        << "only links right inside the div";
    EXPECT_NE(html.find("href=\"plain.html\""), std::string::npos);
}

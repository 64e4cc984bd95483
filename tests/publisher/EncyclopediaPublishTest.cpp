#include "ContentPublisher.h"
#include "DocumentSearch.h"
#include "EncyclopediaData.h"
#include "FileUtils.h"
#include "TestContent.h"

#include <gtest/gtest.h>

namespace
{
CPublishOptions Options(const CTempDir& src)
{
    CPublishOptions options;
    options.m_strMorphologyFolder = WriteSmallMorphology(src);
    return options;
}

const char kPage[] =
    "<html><head><link rel=\"stylesheet\" href=\"../online/styles/style.css\"></head>"
    "<body><h1>Ставки НДС</h1><p id=\"zero\">Ставка 0% при экспорте.</p>"
    "<p><a href=\"deduct.html#cond\">Вычеты</a> <a href=\"http://nalog.example/\">ФНС</a>"
    " <img src=\"img/scheme.png\"></p></body></html>";

void WriteSource(const CTempDir& src)
{
    WriteFileText(
        src.File("encyclopedia.xml"),
        "<encyclopedia>\n<section name=\"НДС\" code=\"nds\">\n"
        "<section name=\"Ставки\" url=\"/nds/rates.html\">\n"
        "<section name=\"Нулевая\" anchor=\"zero\"/>\n</section>\n"
        "<section name=\"Вычеты\" url=\"/nds/deduct.html\"/>\n</section>\n</encyclopedia>");
    WriteFileText(src.File("pages/nds/rates.html"), kPage);
    WriteFileText(
        src.File("pages/nds/deduct.html"),
        "<html><body><h2 id=\"cond\">Условия</h2><a href=\"rates.html#zero\">0%</a></body></html>");
    WriteFileText(src.File("pages/nds/img/scheme.png"), "\x89PNG picture");
    WriteFileText(src.File("style.css"), "body { font-family: sans-serif; }");
}

bool HasLine(const std::vector<std::string>& lines, const std::string& text)
{
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}
} // namespace

TEST(EncyclopediaPublish, TheClientReadsTheTreeAndThePages)
{
    CTempDir src, profile;
    WriteSource(src);
    CContentPublisher publisher;
    CPublishReport report;
    ASSERT_TRUE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)))
        << (report.GetErrors().empty() ? "" : report.GetErrors().front());
    EXPECT_TRUE(report.GetWarnings().empty()) << report.GetWarnings().front();

    CEncyclopediaData encyclopedia;
    ASSERT_TRUE(encyclopedia.LoadData(profile.File("Content/encyclopedia.dat"),
                                      profile.File("Content/Content/")));
    const CEncyclopediaSection* pZero = encyclopedia.FindSectionByURL("/nds/rates.html#zero");
    ASSERT_NE(pZero, nullptr);
    EXPECT_EQ(pZero->m_strName, "Нулевая");
    EXPECT_EQ(encyclopedia.GetContent(encyclopedia.FindSectionByURL("/nds/rates.html")),
              " Ставки НДС\r\nСтавка 0% при экспорте.\r\nВычеты ФНС");
    EXPECT_EQ(ReadFileText(profile.File("Content/Content/nds/img/scheme.png")), "\x89PNG picture")
        << "other files are copied as they are";
    EXPECT_EQ(ReadFileText(profile.File("Content/Content/online/styles/style.css")),
              "body { font-family: sans-serif; }");
    EXPECT_NE(ReadFileText(profile.File("Content/Content/nds/rates.dat")), kPage) << "enciphered";

    // The pages are searchable: the index holds their words under base forms.
    CMorphoSearch morpho(profile.File("Content/morphology/"));
    CFullTextSearch2 index(profile.File("Content/fulltextsearch/"));
    ASSERT_TRUE(morpho.LoadData());
    ASSERT_TRUE(index.LoadData());
    SearchResultSet results;
    CHighlightWords highlight;
    CDocumentSearch(index, morpho).Search("Ставкой", results, highlight);
    const CSectionList found = encyclopedia.FindSectionsBySearchResult(results);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->m_strURL, "/nds/rates.html");
    EXPECT_EQ(results.begin()->path, "content/nds/rates.html");
    EXPECT_TRUE(highlight[0].contains("ставка"));
    results.clear();
    CDocumentSearch(index, morpho).Search("вычеты", results, highlight);
    EXPECT_EQ(encyclopedia.FindSectionsBySearchResult(results).size(), 1u)
        << "the link text on the rates page; the deductions page says \"Условия\"";

    results.clear();
    CDocumentSearch(index, morpho).Search("при экспорте", results, highlight);
    EXPECT_EQ(encyclopedia.FindSectionsBySearchResult(results).size(), 1u)
        << "the rates page's text is indexed in full";

    ASSERT_EQ(publisher.GetPages().size(), 2u);
    EXPECT_EQ(publisher.GetPages()[1].m_strURL, "/nds/rates.html");
}

TEST(EncyclopediaPublish, BrokenTreesAndPagesAreReported)
{
    CTempDir src, profile;
    WriteSource(src);
    WriteFileText(src.File("encyclopedia.xml"),
                  "<encyclopedia>\n<section name=\"НДС\" code=\"nds\">\n"
                  "<section name=\"Ставки\" url=\"/nds/rates.html\"><section name=\"x\" "
                  "anchor=\"nowhere\"/></section>\n"
                  "<section url=\"/nds/missing.html\"/>\n</section>\n"
                  "<section name=\"Снова\" code=\"nds\"/>\ntext\n</encyclopedia>");
    WriteFileText(src.File("pages/nds/orphan.html"), "<p><a href=\"../../../etc/passwd\">x</a>"
                                                     "<a href=\"gone.html\">y</a></p>");
    WriteFileText(src.File("pages/nds/latin1.html"), "<p>caf\xE9</p>");

    CContentPublisher publisher;
    CPublishReport report;
    EXPECT_FALSE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)));
    const std::string catalogue = src.File("encyclopedia.xml");
    const auto& errors = report.GetErrors();
    EXPECT_TRUE(HasLine(
        errors, catalogue + ":3: the page /nds/rates.html has no element with the id \"nowhere\""));
    EXPECT_TRUE(HasLine(errors, catalogue + ":4: a section needs a \"name\""));
    EXPECT_TRUE(HasLine(errors, catalogue + ":4: no page pages/nds/missing.html"));
    EXPECT_TRUE(HasLine(errors, catalogue + ":6: the code \"nds\" is used twice"));
    EXPECT_TRUE(HasLine(errors, "text between sections would stop the client's reader"));
    EXPECT_TRUE(HasLine(errors, src.File("pages/nds/latin1.html") + ": is not valid UTF-8"));
    const auto& warnings = report.GetWarnings();
    EXPECT_TRUE(HasLine(warnings, src.File("pages/nds/orphan.html") +
                                      ":1: the link \"../../../etc/passwd\" leads out"));
    EXPECT_TRUE(HasLine(warnings, "the link \"gone.html\" leads nowhere"));
    EXPECT_TRUE(
        HasLine(warnings, src.File("pages/nds/orphan.html") + ": the page is in no section"));
    EXPECT_FALSE(CFileUtils::DirectoryExists(profile.File("Content")));
}

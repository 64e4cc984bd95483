#include "BlankInfoData.h"
#include "ContentPublisher.h"
#include "MRUDocumentData.h"
#include "NewInfoData.h"
#include "TaxCalendar.h"
#include "TestContent.h"
#include "WorkCalendar.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
CPublishOptions Options(const CTempDir& src)
{
    CPublishOptions options;
    options.m_strMorphologyFolder = WriteSmallMorphology(src);
    return options;
}

void WriteValidSource(const CTempDir& src)
{
    WriteFileText(src.File("mru_documents.xml"),
                  "<mru><documents><doc name=\"НДС\" url=\"/nds/index.html\"/></documents></mru>");
    WriteFileText(
        src.File("blanks.xml"),
        "<blanks><section name=\"Налоговые\" code=\"tax\">\n"
        "<blank day=\"1\" month=\"2\" year=\"2026\" name=\"Декларация\" upload_url=\"/u\" "
        "instruction_url=\"/i\" site_url=\"/s\"><approval>Приказ</approval><used>Везде</used>"
        "<image url=\"/img/1.png\"/></blank>\n</section></blanks>");
    WriteFileText(
        src.File("tax_calendar.xml"),
        "<payments><tax day=\"28\" month=\"1\" year=\"2027\"><name>НДС</name></tax></payments>");
    WriteFileText(src.File("work_calendar.xml"), "<work_calendar><year value=\"2027\"><holiday "
                                                 "day=\"1\" month=\"1\"/></year></work_calendar>");
    WriteFileText(src.File("news.xml"),
                  "<news><item day=\"1\" month=\"12\" year=\"2026\"><![CDATA[См. <a "
                  "href=\"/nds/index.html\">НДС</a>]]></item></news>");
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
} // namespace

TEST(CataloguePublish, AValidSourceBecomesContentTheClientReads)
{
    CTempDir src, profile;
    WriteValidSource(src);
    CContentPublisher publisher;
    CPublishReport report;
    ASSERT_TRUE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)))
        << (report.GetErrors().empty() ? "" : report.GetErrors().front());
    EXPECT_TRUE(report.GetWarnings().empty());
    EXPECT_EQ(Entries(profile.Path()), (std::vector<std::string>{"Content"}))
        << "no staging folder is left";

    const std::string content = profile.File("Content/");
    CBlankInfoData blanks;
    ASSERT_TRUE(blanks.LoadData(content + "blanks.dat"));
    EXPECT_EQ(blanks.GetSections()[0]->m_blanks[0]->m_images.front(), "/img/1.png");
    CMRUDocumentData mru;
    ASSERT_TRUE(mru.LoadData(content + "mru_documents.dat"));
    EXPECT_EQ(mru.GetDocuments().size(), 1u);
    CTaxCalendar taxes;
    ASSERT_TRUE(taxes.LoadData(content + "tax_calendar.dat"));
    EXPECT_TRUE(taxes.DoesDateHaveTax(FromLocalDate({2027, 1, 28})));
    CWorkCalendar work;
    ASSERT_TRUE(work.LoadData(content + "work_calendar.dat"));
    EXPECT_FALSE(work.IsWorkingDay({2027, 1, 1}));
    CNewInfoData news;
    ASSERT_TRUE(news.LoadData(content + "news.dat"));
    EXPECT_EQ(news.GetItems()[0]->m_links.front(), "/nds/index.html");
    EXPECT_NE(std::find(report.GetNotes().begin(), report.GetNotes().end(),
                        "registry2.xml: not in the source, not published"),
              report.GetNotes().end());
}

TEST(CataloguePublish, ErrorsNameFileAndLineAndLeaveTheTargetAsItWas)
{
    CTempDir src, profile;
    WriteValidSource(src);
    WriteFileText(profile.File("Content/blanks.dat"), "the installed content");
    WriteFileText(
        src.File("blanks.xml"),
        "<blanks>\n<section name=\"s\" code=\"c\">\n"
        "<blank day=\"31\" month=\"2\" year=\"2026\" name=\"x\" upload_url=\"/u\" "
        "instruction_url=\"/i\" site_url=\"/s\">\n<used>u</used></blank>\n</section></blanks>");
    WriteFileText(src.File("registry2.xml"), "<search_registry>\n<section name=\"Н\">\n<word "
                                             "text=\"налог\"/>\n</section>\n</search_registry>");
    WriteFileText(src.File("search_synonyms.xml"), "<synonyms/>");
    WriteFileText(src.File("search_prompts2.xml"),
                  "<prompts>\n<prompt text=\"a\"><link site_url=\"/a\"/>\n</prompts>");
    WriteFileText(src.File("news.xml"),
                  "<news>\n<item day=\"1\" month=\"1\" year=\"2026\"><![CDATA[<a>без "
                  "ссылки</a>]]></item></news>");
    WriteFileText(src.File("tax_calendar.xml"), "<payments>\xFF</payments>");

    CContentPublisher publisher;
    CPublishReport report;
    EXPECT_FALSE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)));
    const auto& errors = report.GetErrors();
    auto has = [&](const std::string& text) {
        for (const auto& error : errors)
            if (error.find(text) != std::string::npos)
                return true;
        ADD_FAILURE() << "no error containing: " << text;
        return false;
    };
    has(src.File("blanks.xml") + ":3: <blank> has no real date: 31.2.2026");
    has(src.File("blanks.xml") + ":3: <blank> has no <approval> element");
    has(src.File("registry2.xml") + ":3: the phrase \"налог\" has no link");
    has(src.File("search_synonyms.xml") + ":1: the root element must be <search_synonyms>");
    has(src.File("search_prompts2.xml") + ":3:");
    has(src.File("news.xml") + ":2: the item's text must be well-formed markup");
    has(src.File("tax_calendar.xml") + ": is not valid UTF-8");
    EXPECT_EQ(ReadFileText(profile.File("Content/blanks.dat")), "the installed content");
    EXPECT_EQ(Entries(profile.Path()), (std::vector<std::string>{"Content"}));
}

TEST(CataloguePublish, RepublishingReplacesTheWholeContent)
{
    CTempDir src, profile;
    WriteValidSource(src);
    WriteFileText(profile.File("Content/stale.dat"), "from an earlier run");
    CContentPublisher publisher;
    CPublishReport report;
    ASSERT_TRUE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)));
    EXPECT_FALSE(std::filesystem::exists(profile.File("Content/stale.dat")));
    EXPECT_EQ(Entries(profile.Path()), (std::vector<std::string>{"Content"}));

    CPublishReport missing;
    EXPECT_FALSE(publisher.Publish(src.File("nowhere"), profile.Path(), missing, Options(src)));
    ASSERT_FALSE(missing.GetErrors().empty());
    EXPECT_NE(missing.GetErrors()[0].find("the source folder does not exist"), std::string::npos);
}

TEST(CataloguePublish, RegistryPhrasesInSectionsAndNestedSectionsAreNotWarnedAbout)
{
    CTempDir src, profile;
    WriteValidSource(src);
    WriteFileText(src.File("registry2.xml"),
                  "<search_registry>\n"
                  "<section name=\"Н\">\n"
                  "<word text=\"Налоги\"><link site_url=\"/n.html\"/></word>\n"
                  "<section name=\"Налоги организаций\">\n"
                  "<word text=\"Налог на прибыль\"><link site_url=\"/p.html\"/></word>\n"
                  "</section>\n"
                  "<note/>\n"
                  "</section>\n"
                  "<word text=\"вне раздела\"><link site_url=\"/x.html\"/></word>\n"
                  "</search_registry>");
    CContentPublisher publisher;
    CPublishReport report;
    ASSERT_TRUE(publisher.Publish(src.Path(), profile.Path(), report, Options(src)));
    EXPECT_EQ(
        report.GetWarnings(),
        (std::vector<std::string>{
            src.File("registry2.xml") + ":7: only <section> and <word> elements are read here",
            src.File("registry2.xml") + ":9: only <section> elements are read here"}));
}

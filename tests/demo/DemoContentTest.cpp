// The demo content as the test run publishes it (scripts/build-demo into
// KALIMOR_DEMO_BUILD): its packages, its determinism and what its search finds.
#include "ContentPublisher.h"
#include "DocumentSearch.h"
#include "EncyclopediaData.h"
#include "FolderInstall.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SynonymsSearch.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

namespace fs = std::filesystem;

namespace
{
const std::string kBuild = KALIMOR_DEMO_BUILD;

// Every file of a folder by relative path, with its bytes.
std::map<std::string, std::string> ReadTree(const std::string& strFolder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(strFolder))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), strFolder).generic_string()] =
                ReadFileText(entry.path().string());
    return files;
}

// The sections a query finds in the content of version 2, by url.
class DemoSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string strContent = kBuild + "/2/Content/";
        ASSERT_TRUE(m_morpho.LoadData());
        ASSERT_TRUE(m_index.LoadData());
        ASSERT_TRUE(
            m_encyclopedia.LoadData(strContent + "encyclopedia.dat", strContent + "Content/"));
    }

    std::vector<std::string> Urls(std::string_view query)
    {
        SearchResultSet results;
        CHighlightWords highlight;
        CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
        std::vector<std::string> urls;
        for (const CEncyclopediaSection* pSection :
             m_encyclopedia.FindSectionsBySearchResult(results))
            urls.push_back(pSection->m_strURL);
        return urls;
    }

    static bool Has(const std::vector<std::string>& urls, std::string_view url)
    {
        return std::find(urls.begin(), urls.end(), url) != urls.end();
    }

    CMorphoSearch m_morpho{kBuild + "/2/Content/morphology/"};
    CFullTextSearch2 m_index{kBuild + "/2/Content/fulltextsearch/"};
    CEncyclopediaData m_encyclopedia;
};
} // namespace

TEST(DemoContent, ThePackagesInstallTheContentTheyWereBuiltFrom)
{
    CTempDir home, profileRoot;
    CScopedEnv config("XDG_CONFIG_HOME", home.Path());
    CRegistryConfig settings;
    settings.LoadSettings();
    CProfileConfig profile;
    ASSERT_TRUE(profile.LoadSettings(profileRoot.Path()));
    ASSERT_TRUE(CFolderInstall::UpdateDataFrom(kBuild + "/packages", settings, profile));
    EXPECT_EQ(settings.GetContentVersion(), 2);

    const auto installed = ReadTree(profile.m_strContentDirPath);
    const auto expected = ReadTree(kBuild + "/2/Content");
    EXPECT_EQ(installed.size(), expected.size());
    for (const auto& [strPath, bytes] : expected)
    {
        const auto it = installed.find(strPath);
        ASSERT_NE(it, installed.end()) << strPath << " is missing";
        EXPECT_TRUE(it->second == bytes) << strPath << " differs";
    }
    EXPECT_FALSE(installed.contains("Content/about/release.dat")) << "removed by package 2";
    EXPECT_TRUE(installed.contains("Content/about/whats-new.dat")) << "added by package 2";
}

TEST(DemoContent, PublishingIsDeterministic)
{
    CTempDir profile;
    CContentPublisher publisher;
    CPublishReport report;
    CPublishOptions options;
    options.m_strMorphologyFolder = kBuild + "/1/Content/morphology";
    ASSERT_TRUE(publisher.Publish(KALIMOR_DEMO_SOURCE, profile.Path(), report, options));
    EXPECT_TRUE(report.GetWarnings().empty()) << report.GetWarnings().front();
    EXPECT_TRUE(ReadTree(profile.File("Content")) == ReadTree(kBuild + "/1/Content"))
        << "a second publication of the same source gives the same bytes";
}

TEST_F(DemoSearchTest, InflectedQueriesFindTheirSections)
{
    const auto deductions = Urls("налоговых вычетов");
    EXPECT_TRUE(Has(deductions, "/vfl/deductions.html"));
    EXPECT_TRUE(Has(deductions, "/nds/deduction.html"));
    EXPECT_TRUE(Has(Urls("Страховые взносы ИП"), "/siv/ip.html"));
    EXPECT_TRUE(Has(Urls("ставки ндс"), "/nds/rates.html"));
}

TEST_F(DemoSearchTest, AbbreviationsAndColloquialForms)
{
    const auto vat = Urls("ндс");
    ASSERT_FALSE(vat.empty());
    EXPECT_TRUE(Has(vat, "/nds/index.html"));
    const auto simplified = Urls("упрощенке");
    EXPECT_TRUE(Has(simplified, "/usn/index.html"));
    // No indexed word is "упрощ": the prefix fallback completes it.
    const auto prefix = Urls("упрощ");
    EXPECT_TRUE(Has(prefix, "/usn/index.html"));
    EXPECT_TRUE(Has(prefix, "/bo/simplified.html")) << "упрощенная бухгалтерская отчетность";
    EXPECT_TRUE(Urls("зз").empty()) << "two letters found nowhere: no fallback";
}

// "Ё" and "е" are one letter to the search. Every demo page writes "отчет"
// but one, which also writes "Утверждён авансовый отчёт".
TEST_F(DemoSearchTest, YoAndYeFindTheSameRecords)
{
    const auto records = [&](std::string_view query, CHighlightWords& highlight) {
        SearchResultSet results;
        CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
        std::vector<std::tuple<std::uint32_t, std::string, std::uint32_t, std::uint32_t, double,
                               std::uint32_t>>
            list;
        for (const SearchResult& r : results)
            list.emplace_back(r.docNumber, r.path.str(), r.firstPosition, r.lastPosition, r.score,
                              r.span);
        return list;
    };
    CHighlightWords yoHighlight, yeHighlight;
    const auto yo = records("авансовый отчёт", yoHighlight);
    const auto ye = records("авансовый отчет", yeHighlight);
    EXPECT_EQ(yo, ye);
    EXPECT_GE(yo.size(), 3u) << "not the documents of авансовый alone";
    EXPECT_TRUE(Has(Urls("авансовый отчёт"), "/pd/advance-report.html"));
    ASSERT_EQ(yoHighlight.size(), 2u);
    for (const char* szForm : {"отчёт", "отчет", "отчёта", "отчета"})
        EXPECT_TRUE(yoHighlight[1].contains(szForm)) << szForm;
    EXPECT_TRUE(yeHighlight[1].contains("отчет"));
    EXPECT_EQ(records("ёлка", yoHighlight), records("елка", yeHighlight));
    EXPECT_EQ(records("утверждён", yoHighlight), records("утвержден", yeHighlight));
    EXPECT_TRUE(Has(Urls("утвержден"), "/pd/advance-report.html")) << "the page writes утверждён";
    EXPECT_TRUE(m_index.GetStartWords("ё").empty()) << "the publisher indexes every word folded";
}

TEST(DemoContent, KalimorctlAnswersYoAndYeAlike)
{
    const std::string strProfile = kBuild + "/2";
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {KALIMORCTL_PATH, "--profile", strProfile});
        const auto result = RunProcess(args);
        EXPECT_EQ(result.m_nExitCode, 0) << result.m_strErr;
        return result.m_strOut;
    };
    const std::string yo = run({"search", "авансовый", "отчёт"});
    EXPECT_EQ(yo, run({"search", "авансовый", "отчет"}));
    EXPECT_NE(yo.find("content/pd/advance-report.html"), std::string::npos) << yo;
    EXPECT_EQ(run({"search", "ёлка"}), run({"search", "елка"}));
    const std::string prompts = run({"prompts", "отчёт"});
    EXPECT_EQ(prompts, run({"prompts", "отчет"}));
    EXPECT_NE(prompts.find("Авансовый отчет\n"), std::string::npos) << prompts;
    EXPECT_EQ(run({"prompts", "авансовый", "отчё"}), run({"prompts", "авансовый", "отче"}));
    // The snippet marks the words as the page spells them.
    const std::string sections = run({"sections", "утвержден", "авансовый", "отчет"});
    EXPECT_NE(sections.find("<b>Утверждён</b> <b>авансовый</b> <b>отчёт</b>"), std::string::npos)
        << sections;
    // The dictionary is answered as it is.
    const std::string morph = run({"morph", "ёлка"});
    EXPECT_NE(morph.find("base: ёлка"), std::string::npos) << morph;
}

TEST(DemoContent, KalimorctlReportsTheProfileAndItsSearches)
{
    const std::string strProfile = kBuild + "/2";
    auto result = RunProcess({KALIMORCTL_PATH, "--profile", strProfile, "info", "--json"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    for (const char* szCount : {"\"firstLevelSections\":13", "\"forms\":15", "\"pages\":114",
                                "\"dictionaryEntries\":146229", "\"indexDocuments\":114"})
        EXPECT_NE(result.m_strOut.find(szCount), std::string::npos)
            << szCount << " in " << result.m_strOut;

    result =
        RunProcess({KALIMORCTL_PATH, "--profile", strProfile, "search", "--json", "Ставки", "НДС"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    const std::string& json = result.m_strOut;
    EXPECT_TRUE(json.starts_with("{\"query\":\"Ставки НДС\",\"results\":[{\"docNumber\":")) << json;
    EXPECT_NE(json.find("\"path\":\"content/nds/rates.html\""), std::string::npos);
    // 17 significant digits: "0." and 17 digits, or more when the score is below 0.1.
    const auto nScore = json.find("\"score\":");
    ASSERT_NE(nScore, std::string::npos);
    const std::string strScore = json.substr(nScore + 8, json.find('}', nScore) - nScore - 8);
    EXPECT_GE(strScore.size(), 19u) << strScore;
    EXPECT_NE(json.find("\"highlight\":[[\"ставка\","), std::string::npos);

    result =
        RunProcess({KALIMORCTL_PATH, "--profile", strProfile, "sections", "--json", "упрощенке"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_NE(result.m_strOut.find("{\"code\":\"usn\",\"sections\":[{\"anchor\":"),
              std::string::npos)
        << result.m_strOut.substr(0, 300);
    EXPECT_NE(result.m_strOut.find("<b>упрощенке</b>"), std::string::npos)
        << "the snippet shows the word";
}

TEST(DemoContent, PromptsCompletePartlyTypedPhrases)
{
    const std::string strContent = kBuild + "/2/Content/";
    CMorphoSearch morpho(strContent + "morphology/");
    CSearchPrompt2Manager promptList;
    CSynonymsSearch synonyms;
    CSearchRegistry registry(&morpho, &promptList);
    ASSERT_TRUE(morpho.LoadData());
    ASSERT_TRUE(promptList.LoadData(strContent + "search_prompts2.dat"));
    ASSERT_TRUE(synonyms.LoadData(strContent + "search_synonyms.dat"));
    ASSERT_TRUE(registry.LoadData(strContent + "registry2.dat"));
    const auto prompts = [&](std::string_view text) {
        std::vector<std::string> list;
        GetSearchBoxPrompts(synonyms, registry, text, list);
        return list;
    };
    const auto has = [](const std::vector<std::string>& list, std::string_view text) {
        return std::find(list.begin(), list.end(), text) != list.end();
    };
    const auto deductions = prompts("налоговые выч");
    EXPECT_TRUE(has(deductions, "Налоговые вычеты по НДС"));
    EXPECT_TRUE(has(deductions, "Социальные налоговые вычеты")) << "any word order";
    EXPECT_TRUE(has(prompts("ставка ндс"), "Ставки НДС")) << "a form of each typed word";
    EXPECT_TRUE(has(prompts("упрощ"), "Упрощенная система налогообложения"));
    EXPECT_TRUE(has(prompts("ЕНП"), "Единый налоговый платеж"))
        << "through the abbreviation's synonym";
    const auto upper = prompts("НДС");
    for (const std::string& text : prompts("ндс"))
        EXPECT_TRUE(has(upper, text)) << "typed in capitals, still " << text;
    EXPECT_TRUE(prompts("zzz").empty());
}

TEST(DemoContent, TheClientsUpdatesModeInstallsThePackagesAndEnds)
{
    CTempDir home, profileRoot, runtime;
    CScopedEnv config("XDG_CONFIG_HOME", home.Path());
    CScopedEnv profilePath("KALIMOR_PROFILE", profileRoot.Path());
    CScopedEnv runtimePath("XDG_RUNTIME_DIR", runtime.Path());
    const auto result = RunProcess({KALIMOR_CLIENT_PATH, "/UPDATES", kBuild + "/packages"});
    EXPECT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(result.m_strOut, "") << "no window, no address";
    CRegistryConfig settings;
    settings.LoadSettings();
    EXPECT_EQ(settings.GetContentVersion(), 2);
    EXPECT_TRUE(ReadTree(profileRoot.File("Content")) == ReadTree(kBuild + "/2/Content"));
}

#include "MorphologyWriter.h"
#include "TestContent.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace
{
using Texts = std::vector<std::string>;

CProcessResult Ctl(std::vector<std::string> args)
{
    args.insert(args.begin(), KALIMORCTL_PATH);
    return RunProcess(args);
}

void WriteRegistry(const CTempDir& dir)
{
    WriteEncipheredFile(dir.File("Content/registry2.dat"), R"xml(<search_registry>
      <section name="Н">
        <word text="Налоговые вычеты по НДС"><link site_url="/nds/deduction.html"/></word>
        <word text="Налог на прибыль"><link site_url="/np/index.html"/><link/></word>
        <section name="Налоги"><word text="Налог вложенный"/></section>
      </section>
      <section name="С"><word text="Ставки налогов"><link site_url="/rates.html"/></word></section>
      <section name="Н"><word text="Начисления"/></section>
    </search_registry>)xml");
}

// A profile with every part the search box uses.
void MakeProfile(const CTempDir& dir)
{
    CMorphologyWriter morphology;
    morphology.AddParadigm({"налог", "налога", "налоги", "налогов"});
    ASSERT_TRUE(morphology.Save(dir.File("Content/morphology")));
    WriteRegistry(dir);
    WriteEncipheredFile(
        dir.File("Content/search_synonyms.dat"),
        R"(<search_synonyms><word text="прибыль"><synonym text="НАЛОГ"/></word></search_synonyms>)");
    WriteEncipheredFile(
        dir.File("Content/search_prompts2.dat"),
        R"(<prompts><prompt text="налог на прибыль"><link site_url="/np/p.html"/></prompt></prompts>)");
}
} // namespace

TEST(KalimorctlPrompts, ListsWhatTheSearchBoxWouldShow)
{
    CTempDir dir;
    MakeProfile(dir);
    // прибыль and its synonym НАЛОГ are looked up in turn; phrases holding
    // both come twice.
    auto result = Ctl({"--profile", dir.Path(), "prompts", "--json", "прибыль"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(
        result.m_strOut,
        R"({"text":"прибыль","prompts":["Налог на прибыль","Налоговые вычеты по НДС","Ставки налогов",)"
        R"("налог на прибыль","Налог на прибыль","налог на прибыль"]})"
        "\n");

    result = Ctl({"--profile", dir.Path(), "prompts", "налоги", "НДС"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(result.m_strOut, "") << "налоговые is no form of налоги";
    result = Ctl({"--profile", dir.Path(), "prompts", "налогов", "приб"});
    EXPECT_EQ(result.m_strOut, "Налог на прибыль\nналог на прибыль\n")
        << "the words are joined into one text";
    result = Ctl({"--profile", dir.Path(), "prompts", "--json", ""});
    EXPECT_EQ(nlohmann::json::parse(result.m_strOut),
              (nlohmann::json{{"text", ""}, {"prompts", Texts{}}}));
    EXPECT_EQ(Ctl({"--profile", dir.Path(), "prompts"}).m_nExitCode, 2);
}

TEST(KalimorctlPrompts, WorksWithWhatThereIsAndFailsWithNothing)
{
    CTempDir dir;
    WriteEncipheredFile(dir.File("Content/search_prompts2.dat"),
                        R"(<prompts><prompt text="Налог на прибыль"/></prompts>)");
    auto result = Ctl({"--profile", dir.Path(), "prompts", "налоги"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(result.m_strOut, "") << "without morphology a word matches only as written";
    result = Ctl({"--profile", dir.Path(), "prompts", "нал"});
    EXPECT_EQ(result.m_strOut, "Налог на прибыль\n");

    CTempDir empty;
    result = Ctl({"--profile", empty.Path(), "prompts", "нал"});
    EXPECT_EQ(result.m_nExitCode, 1);
    EXPECT_NE(result.m_strErr.find("Can't load search registry"), std::string::npos)
        << result.m_strErr;
    EXPECT_NE(result.m_strErr.find("Can't load search prompts"), std::string::npos)
        << result.m_strErr;
}

TEST(KalimorctlPrompts, RegistryByLetter)
{
    CTempDir dir;
    WriteRegistry(dir);
    auto result = Ctl({"--profile", dir.Path(), "registry", "--json", "Н"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    const auto json = nlohmann::json::parse(result.m_strOut);
    const nlohmann::json nested = {{"name", "Налоги"},
                                   {"phrases", {{{"text", "Налог вложенный"}, {"links", Texts{}}}}},
                                   {"subsections", nlohmann::json::array()}};
    const nlohmann::json expected = {
        {"letters",
         {{{"letter", "Н"},
           {"sections",
            {{{"name", "Н"},
              {"phrases",
               {{{"text", "Налог на прибыль"}, {"links", {"/np/index.html", ""}}},
                {{"text", "Налоговые вычеты по НДС"}, {"links", {"/nds/deduction.html"}}}}},
              {"subsections", {nested}}},
             {{"name", "Н"},
              {"phrases", {{{"text", "Начисления"}, {"links", Texts{}}}}},
              {"subsections", nlohmann::json::array()}}}}}}}};
    EXPECT_EQ(json, expected);

    result = Ctl({"--profile", dir.Path(), "registry"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(result.m_strOut, "Н\n"
                               "  [Н]\n"
                               "    Налог на прибыль -> /np/index.html, \n"
                               "    Налоговые вычеты по НДС -> /nds/deduction.html\n"
                               "    [Налоги]\n"
                               "      Налог вложенный\n"
                               "  [Н]\n"
                               "    Начисления\n"
                               "С\n"
                               "  [С]\n"
                               "    Ставки налогов -> /rates.html\n");
    result = Ctl({"--profile", dir.Path(), "registry", "--json", "н"});
    EXPECT_EQ(nlohmann::json::parse(result.m_strOut)["letters"][0]["sections"],
              nlohmann::json::array())
        << "letters are matched exactly";
    EXPECT_EQ(Ctl({"--profile", dir.Path(), "registry", "НС"}).m_nExitCode, 2);
    EXPECT_EQ(Ctl({"--profile", dir.Path(), "registry", "Н", "С"}).m_nExitCode, 2);

    CTempDir empty;
    result = Ctl({"--profile", empty.Path(), "registry"});
    EXPECT_EQ(result.m_nExitCode, 1);
    EXPECT_NE(result.m_strErr.find("Can't load search registry"), std::string::npos)
        << result.m_strErr;
}

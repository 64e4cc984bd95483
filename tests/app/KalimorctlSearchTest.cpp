#include "MorphologyWriter.h"
#include "PhraseIndexWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace
{
CProcessResult Ctl(std::vector<std::string> args)
{
    args.insert(args.begin(), KALIMORCTL_PATH);
    return RunProcess(args);
}

// A profile whose content holds a small dictionary and index.
void MakeProfile(const CTempDir& dir)
{
    CMorphologyWriter morphology;
    morphology.AddParadigm({"сталь", "стали"});
    morphology.AddParadigm({"стать", "стали", "стал"});
    morphology.AddAdditionalParadigm({"сталь", "стали"});
    ASSERT_TRUE(morphology.Save(dir.Path() + "/Content/morphology"));
    CPhraseIndexWriter index;
    index.AddDocumentWords("/a.htm", {"сталь", "стать", "ставка", "налог"});
    ASSERT_TRUE(index.Save(dir.Path() + "/Content/fulltextsearch"));
}
} // namespace

TEST(KalimorctlSearch, MorphListsBaseAndAllFormsInTheOrderFound)
{
    CTempDir dir;
    MakeProfile(dir);
    auto result = Ctl({"--profile", dir.Path(), "morph", "--json", "стали", "2010"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    const auto json = nlohmann::json::parse(result.m_strOut);
    const nlohmann::json expected = {
        {"words",
         {{{"word", "стали"},
           {"base",
            {"сталь", "сталь", "стать"}}, // the additional dictionary first, duplicates kept
           {"all", {"сталь", "стали", "сталь", "стали", "стать", "стали", "стал"}}},
          {{"word", "2010"},
           {"base", nlohmann::json::array()},
           {"all", nlohmann::json::array()}}}}};
    EXPECT_EQ(json, expected);

    result = Ctl({"--profile", dir.Path(), "morph", "стал"});
    ASSERT_EQ(result.m_nExitCode, 0);
    EXPECT_EQ(result.m_strOut, "стал\n  base: стать\n  all: стать стали стал\n");
    EXPECT_EQ(Ctl({"--profile", dir.Path(), "morph"}).m_nExitCode, 2);
}

TEST(KalimorctlSearch, WordsListsIndexedWordsWithThePrefix)
{
    CTempDir dir;
    MakeProfile(dir);
    auto result = Ctl({"--profile", dir.Path(), "words", "--json", "ста"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_EQ(nlohmann::json::parse(result.m_strOut),
              (nlohmann::json{{"prefix", "ста"}, {"words", {"ставка", "сталь", "стать"}}}));
    result = Ctl({"--profile", dir.Path(), "words", "нал"});
    EXPECT_EQ(result.m_strOut, "налог\n");
    EXPECT_EQ(Ctl({"--profile", dir.Path(), "words", "a", "b"}).m_nExitCode, 2);
}

TEST(KalimorctlSearch, MissingContentFailsWithTheReason)
{
    CTempDir dir;
    auto result = Ctl({"--profile", dir.Path(), "morph", "стали"});
    EXPECT_EQ(result.m_nExitCode, 1);
    EXPECT_NE(result.m_strErr.find("Can't open handles for"), std::string::npos) << result.m_strErr;
    result = Ctl({"--profile", dir.Path(), "words", "ста"});
    EXPECT_EQ(result.m_nExitCode, 1);
    result = Ctl({"build-morphology", dir.File("none"), dir.File("out")});
    EXPECT_EQ(result.m_nExitCode, 1);
}

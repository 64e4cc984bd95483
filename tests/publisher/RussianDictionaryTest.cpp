// Checks on the morphology dictionary built from hunspell-ru by the test
// run's fixture, and on the affix expansion against hunspell's own tools.
#include "HunspellDictionary.h"
#include "MorphoSearch.h"
#include "TestSupport.h"
#include "TextUtils.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <sstream>

namespace
{
bool Contains(const std::vector<std::string>& list, std::string_view item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::set<std::string> Lines(const std::string& text)
{
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.insert(line);
    return lines;
}
} // namespace

TEST(RussianDictionary, MorphFindsTheBaseFormsOfInflectedWords)
{
    const CProcessResult result =
        RunProcess({KALIMORCTL_PATH, "--profile", KALIMOR_RU_PROFILE, "morph", "--json", "налогами",
                    "стали", "ёлками", "tax", "2010", "ндс"});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    const auto json = nlohmann::json::parse(result.m_strOut);
    ASSERT_EQ(json["words"].size(), 6u);
    const auto base = [&](std::size_t i) {
        return json["words"][i]["base"].get<std::vector<std::string>>();
    };
    const auto all = [&](std::size_t i) {
        return json["words"][i]["all"].get<std::vector<std::string>>();
    };
    EXPECT_TRUE(Contains(base(0), "налог")) << json["words"][0];
    EXPECT_TRUE(Contains(all(0), "налогов"));
    EXPECT_TRUE(Contains(base(1), "сталь")) << json["words"][1];
    EXPECT_TRUE(Contains(base(1), "стать")) << json["words"][1];
    EXPECT_TRUE(Contains(base(2), "ёлка")) << json["words"][2];
    EXPECT_FALSE(Contains(base(2), "елка")) << "ё and е are different letters in different files";
    EXPECT_TRUE(base(3).empty());
    EXPECT_TRUE(base(4).empty());
    EXPECT_TRUE(all(4).empty());
    EXPECT_EQ(json["words"][5]["word"], "ндс");
}

TEST(RussianDictionary, EveryFormOfASampleLeadsBackToItsEntry)
{
    CHunspellDictionary dictionary;
    ASSERT_TRUE(dictionary.Load(KALIMOR_HUNSPELL_RU ".aff", KALIMOR_HUNSPELL_RU ".dic"));
    CMorphoSearch morpho(KALIMOR_RU_PROFILE "/Content/morphology");
    ASSERT_TRUE(morpho.LoadData());
    std::size_t nChecked = 0;
    for (std::size_t i = 0; i < dictionary.EntryCount(); i += 211)
    {
        const std::vector<std::string> forms = dictionary.ExpandEntry(i);
        const std::string base = CTextUtils::ToLower(forms[0]);
        for (const std::string& form : forms)
        {
            const std::string lower = CTextUtils::ToLower(form);
            ASSERT_TRUE(Contains(morpho.GetBaseForms(lower), base)) << lower << " -> " << base;
            ++nChecked;
        }
        ASSERT_TRUE(Contains(morpho.GetAllForms(base), CTextUtils::ToLower(forms.back()))) << base;
    }
    EXPECT_GT(nChecked, 5000u);
}

// Every form we make is a word hunspell accepts, and every form unmunch
// makes that hunspell accepts is one we make too (unmunch also makes a few
// that hunspell itself rejects, and misses many).
TEST(RussianDictionary, ExpansionAgreesWithHunspell)
{
    CTempDir dir;
    const std::string dic = ReadFileText(KALIMOR_HUNSPELL_RU ".dic");
    std::istringstream in(dic);
    std::string sample = "0\n";
    std::size_t nLine = 0;
    for (std::string line; std::getline(in, line); ++nLine)
        if (nLine > 0 && nLine % 97 == 0)
            sample += line + "\n";
    WriteFileText(dir.File("sample.dic"), sample);

    CHunspellDictionary dictionary;
    ASSERT_TRUE(dictionary.Load(KALIMOR_HUNSPELL_RU ".aff", dir.File("sample.dic")));
    ASSERT_GT(dictionary.EntryCount(), 1000u);
    std::set<std::string> ours;
    for (std::size_t i = 0; i < dictionary.EntryCount(); ++i)
        for (const std::string& form : dictionary.ExpandEntry(i))
            ours.insert(form);
    std::string oursText;
    for (const std::string& form : ours)
        oursText += form + "\n";
    WriteFileText(dir.File("ours.txt"), oursText);

    const CProcessResult unmunch =
        RunProcess({"/usr/bin/unmunch", dir.File("sample.dic"), KALIMOR_HUNSPELL_RU ".aff"});
    ASSERT_EQ(unmunch.m_nExitCode, 0) << unmunch.m_strErr;
    std::string missingText;
    for (const std::string& form : Lines(unmunch.m_strOut))
        if (!ours.contains(form))
            missingText += form + "\n";
    WriteFileText(dir.File("missing.txt"), missingText);

    const CProcessResult rejected =
        RunProcess({"/usr/bin/hunspell", "-d", KALIMOR_HUNSPELL_RU, "-l", dir.File("ours.txt")});
    ASSERT_EQ(rejected.m_nExitCode, 0) << rejected.m_strErr;
    EXPECT_EQ(rejected.m_strOut, "") << "forms hunspell does not accept";
    const CProcessResult accepted =
        RunProcess({"/usr/bin/hunspell", "-d", KALIMOR_HUNSPELL_RU, "-G", dir.File("missing.txt")});
    ASSERT_EQ(accepted.m_nExitCode, 0) << accepted.m_strErr;
    EXPECT_EQ(accepted.m_strOut, "") << "forms hunspell accepts that we do not make";
    EXPECT_GT(ours.size(), 10000u);
}

#include "HunspellDictionary.h"
#include "HunspellMorphology.h"
#include "MorphoSearch.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{
using Forms = std::vector<std::string>;

// Rules in the style of the Russian dictionary: conditions with classes,
// strip strings, a prefix with a cross product and one without.
constexpr std::string_view kAffixes = R"(SET UTF-8
TRY абв
# nouns
SFX N Y 5
SFX N   ь    и            ь
SFX N   ь    ями          [^жшщч]ь
SFX N   ь    ами          [жшщч]ь
SFX N   0    ов           [^цжьшщч]
SFX N   0    ами          [^ь]

SFX L Y 2
SFX L   ть   л            [аеиоуяы]ть
SFX L   ть   ли           ть

PFX P Y 1
PFX P   0    пере         .

PFX Q N 1
PFX Q   за   от           за

SFX F N 1
SFX F   ёлка 0            ёлка
)";

Forms Expand(std::string_view affixes, std::string_view words)
{
    CHunspellDictionary dictionary;
    EXPECT_TRUE(dictionary.ParseAffixes(affixes));
    EXPECT_TRUE(dictionary.ParseWords(words));
    Forms forms;
    for (std::size_t i = 0; i < dictionary.EntryCount(); ++i)
    {
        const Forms entry = dictionary.ExpandEntry(i);
        forms.insert(forms.end(), entry.begin(), entry.end());
        forms.push_back("|");
    }
    return forms;
}
} // namespace

TEST(HunspellDictionary, ConditionsStripsAndCrossProducts)
{
    EXPECT_EQ(Expand(kAffixes, "3\nсталь/N\nналог/N\nмышь/N\n"),
              (Forms{"сталь", "стали", "сталями", "|", "налог", "налогов", "налогами", "|", "мышь",
                     "мыши", "мышами", "|"}));
    // The prefix crosses with the suffixes of a class that allows it.
    EXPECT_EQ(Expand(kAffixes, "стать/LP\n"),
              (Forms{"стать", "стал", "стали", "перестать", "перестал", "перестали", "|"}));
    EXPECT_EQ(Expand(kAffixes, "писать/QL\nзаписать/QL\n"),
              (Forms{"писать", "писал", "писали", "|", "записать", "записал", "записали",
                     "отписать", "|"}));
    // The strip must leave something of the word unless FULLSTRIP says otherwise.
    EXPECT_EQ(Expand(kAffixes, "ёлка/F\nмёлка/F\n"), (Forms{"ёлка", "|", "мёлка", "м", "|"}));
    EXPECT_EQ(Expand(std::string(kAffixes) + "FULLSTRIP\n", "ёлка/F\n"), (Forms{"ёлка", "", "|"}));
    // Entries without flags, morphological fields, comments, blank lines.
    EXPECT_EQ(Expand(kAffixes, "2\nЧП\n\n# comment\nтоль/N st:толь\tpo:noun\n"),
              (Forms{"ЧП", "|", "толь", "толи", "толями", "|"}));
}

TEST(HunspellDictionary, FlagTypes)
{
    const std::string_view longFlags =
        "FLAG long\nSFX Aa Y 1\nSFX Aa 0 ы .\nSFX Bb Y 1\nSFX Bb 0 у .\n";
    EXPECT_EQ(Expand(longFlags, "стол/AaBb\n"), (Forms{"стол", "столы", "столу", "|"}));
    const std::string_view numFlags =
        "FLAG num\nSFX 101 Y 1\nSFX 101 0 ы .\nSFX 7 Y 1\nSFX 7 0 у .\n";
    EXPECT_EQ(Expand(numFlags, "стол/7,101\n"), (Forms{"стол", "столу", "столы", "|"}));
}

TEST(HunspellDictionary, MalformedAffixFilesAreRefused)
{
    CHunspellDictionary dictionary;
    EXPECT_FALSE(dictionary.ParseAffixes("SFX A Y 2\nSFX A 0 ы .\n")) << "ends inside a class";
    CHunspellDictionary other;
    EXPECT_FALSE(other.ParseAffixes("SFX A Y 1\nSFX B 0 ы .\n")) << "rule of another class";
    CHunspellDictionary unclosed;
    EXPECT_FALSE(unclosed.ParseAffixes("SFX A Y 1\nSFX A 0 ы [аб\n"));
    CHunspellDictionary header;
    EXPECT_FALSE(header.ParseAffixes("SFX A Y many\n"));
}

TEST(HunspellDictionary, OtherEncodingsAreConvertedAndTheBuildWritesEveryFile)
{
    CTempDir dir;
    // KOI8-R: "SET KOI8-R", the rule "SFX N 0 ы ." and the word "стол".
    WriteFileText(dir.File("ru.aff"), "SET KOI8-R\nSFX N Y 1\nSFX N 0 \xD9 .\n");
    WriteFileText(dir.File("ru.dic"), "1\n\xD3\xD4\xCF\xCC/N\n");
    CHunspellMorphologyReport report;
    ASSERT_TRUE(BuildMorphologyFromHunspell(dir.File("ru"), dir.File("morphology"), report));
    EXPECT_EQ(report.m_dictionary.m_nEntries, 1u);
    EXPECT_EQ(report.m_writer.m_nForms, 2u);
    CMorphoSearch morpho(dir.File("morphology"));
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_EQ(morpho.GetBaseForms("столы"), Forms{"стол"});

    WriteFileText(dir.File("bad.aff"), "SET NO-SUCH-CHARSET\n");
    WriteFileText(dir.File("bad.dic"), "0\n");
    EXPECT_FALSE(BuildMorphologyFromHunspell(dir.File("bad"), dir.File("out"), report));
    EXPECT_FALSE(BuildMorphologyFromHunspell(dir.File("missing"), dir.File("out"), report));
}

TEST(HunspellMorphology, EntriesWithTheSameBaseFormMakeOneParadigm)
{
    CHunspellDictionary dictionary;
    ASSERT_TRUE(dictionary.ParseAffixes(kAffixes));
    ASSERT_TRUE(dictionary.ParseWords("Орёл/N\nорёл/N\nстать/L\nстать/N\n"));
    CTempDir dir;
    CHunspellMorphologyReport report;
    ASSERT_TRUE(WriteHunspellMorphology(dictionary, dir.Path(), report));
    EXPECT_EQ(report.m_nParadigms, 2u);
    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_EQ(morpho.GetBaseForms("орёлов"), Forms{"орёл"});
    EXPECT_EQ(morpho.GetBaseForms("стали"), Forms{"стать"});
    EXPECT_EQ(morpho.GetAllForms("стал"), (Forms{"стать", "стал", "стали", "стати", "статями"}));
}

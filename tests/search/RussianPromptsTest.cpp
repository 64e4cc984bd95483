// Prompts over the morphology dictionary built from hunspell-ru: real
// inflection, and the indexed lookup against the plain scan on thousands of
// phrases of real words.
#include "PromptScanReference.h"
#include "RussianPhrases.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "TestContent.h"

#include <gtest/gtest.h>

#include <random>

namespace
{
using Texts = std::vector<std::string>;
const std::string kMorphologyFolder = KALIMOR_RU_PROFILE "/Content/morphology";
} // namespace

TEST(RussianPrompts, TypedWordsMatchEveryFormOfTheirWords)
{
    CTempDir dir;
    WriteEncipheredFile(dir.File("registry2.dat"), R"(<search_registry>
      <section name="Н"><word text="Налог на прибыль организаций"/><word text="Налоговые вычеты по НДС"/></section>
      <section name="С"><word text="Ставки налога на прибыль"/></section>
      <section name="У"><word text="Уплата налогов и взносов"/></section>
      <section name="В"><word text="Вычеты по налогу"/><word text="Взносы на травматизм"/></section>
    </search_registry>)");
    CMorphoSearch morpho(kMorphologyFolder);
    ASSERT_TRUE(morpho.LoadData());
    CSearchRegistry registry(&morpho);
    ASSERT_TRUE(registry.LoadData(dir.File("registry2.dat")));
    const auto prompts = [&](std::string_view text) {
        Texts result;
        registry.GetSearchPrompts(text, result);
        return result;
    };
    EXPECT_EQ(prompts("налог"),
              (Texts{"Вычеты по налогу", "Налог на прибыль организаций", "Налоговые вычеты по НДС",
                     "Ставки налога на прибыль", "Уплата налогов и взносов"}));
    EXPECT_EQ(prompts("налогами ставк"), (Texts{"Ставки налога на прибыль"}));
    EXPECT_EQ(prompts("ставкой налогу"), (Texts{"Ставки налога на прибыль"}))
        << "the last word by its forms: налогу is a form of налог, not a prefix of налога";
    EXPECT_EQ(prompts("вычетам нал"), (Texts{"Вычеты по налогу", "Налоговые вычеты по НДС"}));
    EXPECT_EQ(prompts("организация"), (Texts{"Налог на прибыль организаций"}));
    EXPECT_EQ(prompts("взнос"), (Texts{"Взносы на травматизм", "Уплата налогов и взносов"}));
    EXPECT_EQ(prompts("НДС"), (Texts{"Налоговые вычеты по НДС"}));
    EXPECT_TRUE(prompts("налоговым ставк").empty())
        << "налоговым is a form of налоговый, which no phrase with ставк holds";
}

TEST(RussianPrompts, IndexedLookupAgreesWithThePlainScan)
{
    CRussianPhrases phrases;
    ASSERT_TRUE(phrases.Make(KALIMOR_HUNSPELL_RU, 6000, 41, 11));
    CTempDir dir;
    ASSERT_TRUE(CRussianPhrases::WriteEnciphered(dir.File("registry2.dat"), phrases.RegistryXml()));
    ASSERT_TRUE(
        CRussianPhrases::WriteEnciphered(dir.File("search_prompts2.dat"), phrases.PromptsXml()));
    CMorphoSearch morpho(kMorphologyFolder);
    ASSERT_TRUE(morpho.LoadData());
    CSearchPrompt2Manager prompts;
    ASSERT_TRUE(prompts.LoadData(dir.File("search_prompts2.dat")));
    CSearchRegistry registry(&morpho, &prompts);
    ASSERT_TRUE(registry.LoadData(dir.File("registry2.dat")));
    CPromptScanReference reference(registry, &prompts, &morpho);

    // Texts as a user types them: a phrase cut anywhere, or words of several
    // phrases in another form, the last one cut short.
    std::vector<std::string> words;
    for (const std::string& text : phrases.m_registry)
        for (const std::string& word : SplitSearchString(CTextUtils::ToLower(text)))
            words.push_back(word);
    std::mt19937 random(5);
    const auto pick = [&](std::size_t nSize) {
        return std::uniform_int_distribution<std::size_t>(0, nSize - 1)(random);
    };
    std::size_t nNonEmpty = 0, nInflected = 0;
    for (int i = 0; i < 1500; ++i)
    {
        std::u32string text;
        if (i % 2 == 0)
            text = CTextUtils::ToUtf32(phrases.m_registry[pick(phrases.m_registry.size())]);
        else
            for (std::size_t n = 1 + pick(3); n > 0; --n)
            {
                const std::vector<std::string> forms =
                    morpho.GetAllForms(words[pick(words.size())]);
                text += CTextUtils::ToUtf32(forms.empty() ? words[pick(words.size())]
                                                          : forms[pick(forms.size())]) +
                        U" ";
                nInflected += !forms.empty();
            }
        const std::string typed = CTextUtils::FromUtf32(text.substr(0, 1 + pick(text.size())));
        Texts fast;
        registry.GetSearchPrompts(typed, fast);
        ASSERT_EQ(fast, reference.GetSearchPrompts(typed)) << typed;
        std::vector<std::string_view> views;
        registry.GetSearchPrompts(typed, views);
        ASSERT_EQ(Texts(views.begin(), views.end()), fast) << typed;
        nNonEmpty += !fast.empty();
    }
    EXPECT_GT(nNonEmpty, 750u);
    EXPECT_GT(nInflected, 500u);
}

#include "SearchRegistry.h"
#include "MorphologyWriter.h"
#include "PromptScanReference.h"
#include "SearchPrompt2Manager.h"
#include "SynonymsSearch.h"
#include "TestContent.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <thread>

namespace
{
using Texts = std::vector<std::string>;

const char kRegistry[] = R"xml(<search_registry>
  <section name="Н">
    <word text="Налоговые вычеты по НДС"><link site_url="/nds/deduction.html"/></word>
    <word text="Налоги и взносы"><link site_url="/vzn/a.html"/><ref site_url="/vzn/b.html"/><link/></word>
    <word text="Налог на прибыль"><link site_url="/np/first.html"/></word>
    <word text=""><link site_url="/empty.html"/></word>
    <word><link site_url="/none.html"/></word>
    <phrase text="Налог не word"/>
    <section name="Налоги (вложенный)">
      <word text="Налог вложенный"><link site_url="/nested.html"/></word>
      <section name="Глубже"><word text="Совсем глубоко"/></section>
    </section>
  </section>
  <section name="С">
    <word text="Ставки налогов"/>
    <word text="Ставка НДС 0%"/>
    <word text="Ставка налога на прибыль"/>
    <word text="Налог на прибыль"><link site_url="/np/second.html"/></word>
  </section>
  <section name=""><word text="Налог пустой секции"/></section>
  <section name="Н2"><word text="Начисление зарплаты"/></section>
  <section name="U"><word text="USN упрощённая система"/></section>
  <other name="Н"><word text="Налог чужого тега"/></other>
</search_registry>)xml";

const char kPrompts[] = R"(<prompts>
  <prompt text="ставка ндс 0%"><link site_url="/nds/rates.html#zero"/><note site_url="/no.html"/></prompt>
  <prompt text="Налог на прибыль"><link site_url="/np/prompt.html"/></prompt>
  <item text="налоговый агент"><link site_url="/agent.html"/><link site_url="/agent2.html"/></item>
</prompts>)";

// A registry, a prompt list, synonyms and a small morphology with the
// paradigms of налог, ставка and налоговый.
class SearchRegistryTest : public ::testing::Test
{
protected:
    // The dictionary is written once for the suite: writing its 35 files
    // takes longer than all the tests.
    static void SetUpTestSuite()
    {
        s_pMorphologyDir = new CTempDir;
        CMorphologyWriter writer;
        writer.AddParadigm({"налог", "налога", "налогу", "налогом", "налоге", "налоги", "налогов",
                            "налогам", "налогами", "налогах"});
        writer.AddParadigm(
            {"ставка", "ставки", "ставке", "ставку", "ставкой", "ставок", "ставкам", "ставками"});
        writer.AddParadigm({"налоговый", "налоговая", "налоговые", "налоговых"});
        // As hunspell-ru writes them: with "ё" only.
        writer.AddParadigm({"отчёт", "отчёта", "отчёту", "отчётом", "отчёте", "отчёты", "отчётов"});
        writer.AddParadigm({"ёлка", "ёлки", "ёлке", "ёлку", "ёлок"});
        ASSERT_TRUE(writer.Save(s_pMorphologyDir->Path()));
    }
    static void TearDownTestSuite()
    {
        delete s_pMorphologyDir;
        s_pMorphologyDir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_morpho.LoadData());
        WriteEncipheredFile(m_dir.File("registry2.dat"), kRegistry);
        WriteEncipheredFile(m_dir.File("search_prompts2.dat"), kPrompts);
        WriteEncipheredFile(
            m_dir.File("search_synonyms.dat"),
            R"(<search_synonyms><word text="НДС"><synonym text="налог на добавленную стоимость"/>
                               </word><word text="прибыль"><synonym text="налог"/></word></search_synonyms>)");
        ASSERT_TRUE(m_registry.LoadData(m_dir.File("registry2.dat")));
        ASSERT_TRUE(m_prompts.LoadData(m_dir.File("search_prompts2.dat")));
        ASSERT_TRUE(m_synonyms.LoadData(m_dir.File("search_synonyms.dat")));
    }

    Texts Prompts(std::string_view text)
    {
        Texts prompts;
        m_registry.GetSearchPrompts(text, prompts);
        return prompts;
    }

    static inline CTempDir* s_pMorphologyDir = nullptr;
    CTempDir m_dir;
    CMorphoSearch m_morpho{s_pMorphologyDir->Path()};
    CSearchPrompt2Manager m_prompts;
    CSynonymsSearch m_synonyms;
    CSearchRegistry m_registry{&m_morpho, &m_prompts};
};

Texts PhraseTexts(const std::vector<const RegistryPhrase*>& phrases)
{
    Texts texts;
    for (const RegistryPhrase* pPhrase : phrases)
        texts.push_back(pPhrase->text);
    return texts;
}
} // namespace

TEST_F(SearchRegistryTest, SectionsPhrasesAndLinksAsFiled)
{
    const auto& sections = m_registry.GetSections();
    ASSERT_EQ(sections.size(), 4u) << "the section without a name goes with everything in it";
    EXPECT_EQ(sections[0].name, "Н");
    EXPECT_EQ(sections[3].name, "U");
    EXPECT_EQ(PhraseTexts(m_registry.GetPhrases(sections[0])),
              (Texts{"Налог на прибыль", "Налоги и взносы", "Налоговые вычеты по НДС"}));
    const RegistryPhrase& taxes = sections[0].phrases[1];
    EXPECT_EQ(taxes.links, (Texts{"/vzn/a.html", "/vzn/b.html", ""})) << "any child is a link";
    EXPECT_EQ(taxes.words, (Texts{"налоги", "и", "взносы"}));
    EXPECT_EQ(sections[1].phrases[1].words, (Texts{"ставка", "ндс", "0"}));

    // Nesting is kept as filed.
    ASSERT_EQ(sections[0].subsections.size(), 1u);
    const RegistrySection& nested = sections[0].subsections[0];
    EXPECT_EQ(nested.name, "Налоги (вложенный)");
    ASSERT_EQ(nested.phrases.size(), 1u);
    EXPECT_EQ(nested.phrases[0].links, (Texts{"/nested.html"}));
    ASSERT_EQ(nested.subsections.size(), 1u);
    EXPECT_EQ(nested.subsections[0].phrases[0].text, "Совсем глубоко");
}

TEST_F(SearchRegistryTest, LettersFindTopLevelSectionsAndPhrasesOnly)
{
    ASSERT_NE(m_registry.GetFirstSection(U'Н'), nullptr);
    EXPECT_EQ(m_registry.GetFirstSection(U'Н')->name, "Н");
    EXPECT_EQ(m_registry.CountSectionsForLetter(U'Н'), 2u);
    EXPECT_EQ(m_registry.GetFirstSection(U'н'), nullptr) << "the letter's case counts";
    EXPECT_EQ(m_registry.CountSectionsForLetter(U'Г'), 0u)
        << "a nested section is not filed by letter";
    EXPECT_EQ(m_registry.GetFirstSection(U'Г'), nullptr);

    // Phrases by their own first letter, whatever section holds them.
    EXPECT_EQ(PhraseTexts(m_registry.GetPhrases(U'Н')),
              (Texts{"Налог на прибыль", "Налоги и взносы", "Налоговые вычеты по НДС",
                     "Налог на прибыль", "Начисление зарплаты"}));
    EXPECT_EQ(m_registry.GetPhrases(U'С').size(), 3u);
    EXPECT_TRUE(m_registry.GetPhrases(U'с').empty());
}

TEST_F(SearchRegistryTest, FindPhraseIgnoresCaseAndTakesTheFirst)
{
    const RegistryPhrase* pPhrase = m_registry.FindPhrase("НАЛОГ на ПРИБЫЛЬ");
    ASSERT_NE(pPhrase, nullptr);
    EXPECT_EQ(pPhrase->links, (Texts{"/np/first.html"}));
    EXPECT_NE(m_registry.FindPhrase("usn УПРОЩЁННАЯ СИСТЕМА"), nullptr);
    EXPECT_EQ(m_registry.FindPhrase("налог на прибыл"), nullptr);
    EXPECT_EQ(m_registry.FindPhrase("налог на прибыль "), nullptr);
    EXPECT_EQ(m_registry.FindPhrase("Налог вложенный"), nullptr);
    EXPECT_EQ(m_registry.FindPhrase("Налог пустой секции"), nullptr);
    // A prompt that is not a registry phrase is resolved by the prompt list,
    // by exactly its text.
    EXPECT_EQ(m_registry.FindPhrase("налоговый агент"), nullptr);
    ASSERT_NE(m_prompts.FindPrompt("налоговый агент"), nullptr);
    EXPECT_EQ(m_prompts.FindPrompt("налоговый агент")->links,
              (Texts{"/agent.html", "/agent2.html"}));
    EXPECT_EQ(m_prompts.FindPrompt("Налоговый агент"), nullptr);
}

TEST_F(SearchRegistryTest, ThePromptListTakesAnyTagsAndKeepsTheFirstOfAText)
{
    WriteEncipheredFile(m_dir.File("p.dat"), R"(<anything>
        <p text="Второй"><link site_url="/2.html"/></p>
        <p><link site_url="/no-text.html"/></p>
        <p text="Первый"><link/><link site_url="/1.html"/></p>
        <p text="Второй"><link site_url="/2-again.html"/></p>
        text between prompts
      </anything>)");
    CSearchPrompt2Manager prompts;
    CLogCapture log;
    ASSERT_TRUE(prompts.LoadData(m_dir.File("p.dat")));
    EXPECT_TRUE(log.Contains("CSearchPrompt2Manager filename: " + m_dir.File("p.dat")));
    const auto& map = prompts.GetPrompts();
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.begin()->first, "Второй");
    EXPECT_EQ(map.at("Второй").links, (Texts{"/2.html"}));
    EXPECT_EQ(map.at("Первый").links, (Texts{"/1.html"}));
    EXPECT_EQ(map.at("Первый").words, (Texts{"первый"}));
    std::size_t nComplaints = 0;
    for (const std::string& line : log.Lines())
        nComplaints +=
            line.find("CSearchPrompt2Manager::LoadSearchPrompt2 can't get node attribute") !=
            std::string::npos;
    EXPECT_EQ(nComplaints, 2u) << log.Text();

    EXPECT_FALSE(prompts.LoadData(m_dir.File("missing.dat")));
    EXPECT_TRUE(log.Contains("Can't load search prompts"));
    EXPECT_TRUE(prompts.GetPrompts().empty());
    WriteEncipheredFile(m_dir.File("cut.dat"), R"(<prompts><p text="Первый"/><p text="Вто)");
    EXPECT_FALSE(prompts.LoadData(m_dir.File("cut.dat")));
    EXPECT_TRUE(prompts.GetPrompts().empty()) << "a broken list adds none of its prompts";
}

TEST_F(SearchRegistryTest, LoadFailures)
{
    CLogCapture log;
    EXPECT_FALSE(m_registry.LoadData(m_dir.File("missing.dat")));
    EXPECT_TRUE(log.Contains("CSearchRegistry::LoadData filename: " + m_dir.File("missing.dat")));
    EXPECT_TRUE(log.Contains("Can't load search registry"));
    EXPECT_TRUE(m_registry.GetSections().empty());
    EXPECT_EQ(Prompts("ставка"), (Texts{"ставка ндс 0%"})) << "the prompt list still prompts";

    WriteEncipheredFile(m_dir.File("other.dat"),
                        R"(<registry><section name="А"><word text="А"/></section></registry>)");
    EXPECT_FALSE(m_registry.LoadData(m_dir.File("other.dat")));
    EXPECT_TRUE(log.Contains("Search registry invalid format"));

    // Nesting as deep as the parser admits loads; deeper is refused whole.
    std::string deep = "<search_registry>";
    for (int i = 0; i < 200; ++i)
        deep += "<section name=\"А\"><word text=\"А" + std::to_string(i) + "\"/>";
    for (int i = 0; i < 200; ++i)
        deep += "</section>";
    WriteEncipheredFile(m_dir.File("deep.dat"), deep + "</search_registry>");
    ASSERT_TRUE(m_registry.LoadData(m_dir.File("deep.dat")));
    const RegistrySection* pSection = &m_registry.GetSections()[0];
    for (int i = 1; i < 200; ++i)
        pSection = &pSection->subsections.at(0);
    EXPECT_EQ(pSection->phrases.at(0).text, "А199");

    std::string tooDeep = "<search_registry>";
    for (int i = 0; i < 100000; ++i)
        tooDeep += "<section name=\"А\">";
    for (int i = 0; i < 100000; ++i)
        tooDeep += "</section>";
    WriteEncipheredFile(m_dir.File("too-deep.dat"), tooDeep + "</search_registry>");
    EXPECT_FALSE(m_registry.LoadData(m_dir.File("too-deep.dat")));
    EXPECT_TRUE(m_registry.GetSections().empty());
}

TEST(SearchRegistryOrder, PhrasesAndPromptsSortInUtf16Order)
{
    CTempDir dir;
    // U+10428 (a letter) is written in UTF-16 with surrogates (D801 DC28), so
    // it sorts before U+E000..U+FFFF although its UTF-8 bytes are greater.
    const std::string deseret = "\xF0\x90\x90\xA8", privateUse = "\xEE\x80\x80";
    WriteEncipheredFile(
        dir.File("r.dat"),
        "<search_registry><section name=\"Б\"><word text=\"Ｂ\"/><word text=\"" + deseret +
            "\"/><word text=\"" + privateUse +
            "\"/><word text=\"б\"/><word text=\"a\"/>"
            "<word text=\"налог Ｂ\"/><word text=\"Б\"/><word text=\"Бa\"/><word text=\"B\"/>"
            "<word text=\"налог " +
            deseret + "\"/><word text=\"Б\"/></section></search_registry>");
    CSearchRegistry registry;
    ASSERT_TRUE(registry.LoadData(dir.File("r.dat")));
    EXPECT_EQ(PhraseTexts(registry.GetPhrases(registry.GetSections().at(0))),
              (Texts{"B", "a", "Б", "Б", "Бa", "б", "налог " + deseret, "налог Ｂ", deseret,
                     privateUse, "Ｂ"}));

    Texts prompts;
    registry.GetSearchPrompts("налог", prompts);
    EXPECT_EQ(prompts, (Texts{"налог " + deseret, "налог Ｂ"}));
    prompts.clear();
    registry.GetSearchPrompts(deseret, prompts);
    EXPECT_EQ(prompts, (Texts{"налог " + deseret, deseret}));
}

TEST(SearchRegistryOrder, Utf16LessAgreesWithUtf16CodeUnits)
{
    // Characters from every range whose order could differ between the
    // encodings: ASCII, Cyrillic, below and above the surrogates, beyond the BMP.
    const std::vector<char32_t> alphabet = {U'a',   U'z',   U'А',   U'я',    U'ё',    0xD7FF,
                                            0xE000, 0xFB01, 0xFFFD, 0x10000, 0x1F4B0, 0x10FFFF};
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(0, 4);
    const auto make = [&] {
        std::u32string text;
        for (std::size_t n = length(random); n > 0; --n)
            text += alphabet[pick(random)];
        return CTextUtils::FromUtf32(text);
    };
    std::size_t nDiffersFromBytes = 0;
    for (int i = 0; i < 20000; ++i)
    {
        const std::string a = make(), b = make();
        const bool bExpected = CTextUtils::ToUtf16(a) < CTextUtils::ToUtf16(b);
        ASSERT_EQ(Utf16Less()(a, b), bExpected) << a << " / " << b;
        nDiffersFromBytes += bExpected != (a < b);
    }
    EXPECT_GT(nDiffersFromBytes, 0u) << "the sample must hold pairs that byte order gets wrong";
}

TEST_F(SearchRegistryTest, PrefixOfTheLastWordPromptsEveryPhraseWithSuchAWord)
{
    const Texts expected{"Налог на прибыль",         "Налоги и взносы", "Налоговые вычеты по НДС",
                         "Ставка налога на прибыль", "Ставки налогов",  "налоговый агент"};
    EXPECT_EQ(Prompts("нал"), expected)
        << "registry phrases and prompts, each text once, in UTF-16 order";
    EXPECT_EQ(Prompts("  НАЛ!"), expected) << "typed text is lower-cased and split";
    EXPECT_EQ(Prompts("н"),
              (Texts{"Налог на прибыль", "Налоги и взносы", "Налоговые вычеты по НДС",
                     "Начисление зарплаты", "Ставка НДС 0%", "Ставка налога на прибыль",
                     "Ставки налогов", "налоговый агент", "ставка ндс 0%"}));
    EXPECT_EQ(Prompts("прибыль"), (Texts{"Налог на прибыль", "Ставка налога на прибыль"}))
        << "a text in two sections and in the prompt list is prompted once";
    EXPECT_TRUE(Prompts("вложенный").empty()) << "nested sections are not prompted";
    EXPECT_TRUE(Prompts("пустой").empty());
    EXPECT_TRUE(Prompts("чужого").empty());
    EXPECT_TRUE(Prompts("").empty());
    EXPECT_TRUE(Prompts(" ,.% ").empty());
}

TEST_F(SearchRegistryTest, EarlierWordsMatchInAnyOfTheirForms)
{
    EXPECT_EQ(Prompts("налог ставк"), (Texts{"Ставка налога на прибыль", "Ставки налогов"}));
    EXPECT_EQ(Prompts("налогами ставки"), (Texts{"Ставка налога на прибыль", "Ставки налогов"}))
        << "the last word matches by its forms as well as by prefix";
    EXPECT_EQ(Prompts("ставкой налогу"), (Texts{"Ставка налога на прибыль", "Ставки налогов"}));
    EXPECT_EQ(Prompts("налог на"), (Texts{"Налог на прибыль", "Налоги и взносы",
                                          "Ставка налога на прибыль", "Ставки налогов"}))
        << "one word of a phrase may answer two typed words: налоги is a form of налог and begins "
           "with на";
    EXPECT_TRUE(Prompts("нал ставк").empty()) << "only the last word completes";
    EXPECT_EQ(Prompts("НАЛОГОВЫЕ налог"), (Texts{"Налоговые вычеты по НДС", "налоговый агент"}));
    EXPECT_EQ(Prompts("ндс ставк"), (Texts{"Ставка НДС 0%", "ставка ндс 0%"}))
        << "ндс has no paradigm";
    EXPECT_EQ(Prompts("usn упр"), (Texts{"USN упрощённая система"}))
        << "a Latin word is matched as written";
    EXPECT_TRUE(Prompts("us упр").empty());
    EXPECT_EQ(Prompts("0"), (Texts{"Ставка НДС 0%", "ставка ндс 0%"}));
}

TEST_F(SearchRegistryTest, SetsOfTextsAndTheSearchBoxKeepDuplicates)
{
    Texts prompts;
    m_registry.GetSearchPrompts(Utf16StringSet{"прибыль", "налог"}, prompts);
    EXPECT_EQ(prompts, (Texts{"Налог на прибыль", "Налоги и взносы", "Налоговые вычеты по НДС",
                              "Ставка налога на прибыль", "Ставки налогов", "налоговый агент",
                              "Налог на прибыль", "Ставка налога на прибыль"}));

    // The box: the text's synonyms and the text itself, in UTF-16 order.
    prompts.clear();
    GetSearchBoxPrompts(m_synonyms, m_registry, "прибыль", prompts);
    EXPECT_EQ(prompts, (Texts{"Налог на прибыль", "Налоги и взносы", "Налоговые вычеты по НДС",
                              "Ставка налога на прибыль", "Ставки налогов", "налоговый агент",
                              "Налог на прибыль", "Ставка налога на прибыль"}));
    prompts.clear();
    GetSearchBoxPrompts(m_synonyms, m_registry, "ндс", prompts);
    EXPECT_EQ(prompts, (Texts{"Налоговые вычеты по НДС", "Ставка НДС 0%", "ставка ндс 0%"}))
        << "налог на добавленную стоимость prompts nothing here";
    prompts.clear();
    GetSearchBoxPrompts(m_synonyms, m_registry, "Прибыль", prompts);
    EXPECT_EQ(prompts.size(), 8u) << "a capital letter finds the synonyms of the lower-case word";
    prompts.clear();
    GetSearchBoxPrompts(m_synonyms, m_registry, "", prompts);
    EXPECT_TRUE(prompts.empty());

    // Views of the texts append the same, after what the list holds.
    std::vector<std::string_view> views{"раньше"};
    GetSearchBoxPrompts(m_synonyms, m_registry, "ндс", views);
    EXPECT_EQ(Texts(views.begin(), views.end()),
              (Texts{"раньше", "Налоговые вычеты по НДС", "Ставка НДС 0%", "ставка ндс 0%"}));
}

TEST_F(SearchRegistryTest, ThePromptMapIsBuiltOnDemandAndFreedWithTheRegistry)
{
    // Built from what is loaded when first needed: a prompt loaded later is
    // not seen until the registry is freed.
    Texts prompts;
    m_registry.GetSearchPrompts("", prompts);
    EXPECT_TRUE(prompts.empty());
    WriteEncipheredFile(m_dir.File("p.dat"), R"(<prompts><p text="Новая подсказка"/></prompts>)");
    ASSERT_TRUE(m_prompts.LoadData(m_dir.File("p.dat")));
    EXPECT_TRUE(Prompts("подск").empty());
    EXPECT_EQ(Prompts("ставка ндс"), (Texts{"Ставка НДС 0%", "ставка ндс 0%"}))
        << "the map keeps its own texts";

    ASSERT_TRUE(m_registry.LoadData(m_dir.File("registry2.dat")));
    EXPECT_EQ(Prompts("подск"), (Texts{"Новая подсказка"}));
    EXPECT_EQ(Prompts("ставка ндс"), (Texts{"Ставка НДС 0%"}));
    m_registry.FreeData();
    EXPECT_EQ(Prompts("подск"), (Texts{"Новая подсказка"}));
    EXPECT_TRUE(Prompts("ставка ндс").empty());
}

// The indexed lookup against the plain scan of every word, for every prefix
// of every phrase and prompt and for random mixes of their words.
TEST_F(SearchRegistryTest, AgreesWithThePlainScan)
{
    CPromptScanReference reference(m_registry, &m_prompts, &m_morpho);
    std::vector<std::string> texts = {"", "н", "на", "ставка нд", "0 ставка", "налогами и"};
    std::vector<std::string> words;
    const auto addPrefixes = [&](const std::string& text) {
        const std::u32string chars = CTextUtils::ToUtf32(text);
        for (std::size_t n = 1; n <= chars.size(); ++n)
            texts.push_back(CTextUtils::FromUtf32(chars.substr(0, n)));
        for (const std::string& word : SplitSearchString(CTextUtils::ToLower(text)))
            words.push_back(word);
    };
    for (const RegistrySection& section : m_registry.GetSections())
        for (const RegistryPhrase& phrase : section.phrases)
            addPrefixes(phrase.text);
    for (const auto& [text, phrase] : m_prompts.GetPrompts())
        addPrefixes(text);
    words.insert(words.end(), {"налогами", "ставкой", "налоговых", "x"});
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> pickWord(0, words.size() - 1), count(1, 3),
        cut(1, 6);
    for (int i = 0; i < 500; ++i)
    {
        std::string text;
        for (std::size_t n = count(random); n > 0; --n)
            text += words[pickWord(random)] + " ";
        const std::u32string chars = CTextUtils::ToUtf32(text);
        texts.push_back(CTextUtils::FromUtf32(
            chars.substr(0, chars.size() - std::min(chars.size(), cut(random)))));
    }
    std::size_t nNonEmpty = 0;
    for (const std::string& text : texts)
    {
        const Texts expected = reference.GetSearchPrompts(text);
        ASSERT_EQ(Prompts(text), expected) << text;
        std::vector<std::string_view> views;
        m_registry.GetSearchPrompts(text, views);
        ASSERT_EQ(Texts(views.begin(), views.end()), expected) << text;
        nNonEmpty += !expected.empty();
    }
    EXPECT_GT(nNonEmpty, texts.size() / 2);
}

// "Ё" and "е" are one letter to the prompts and to the phrase look-up; the
// texts shown keep their own spelling.
TEST_F(SearchRegistryTest, YoAndYeAreOneLetter)
{
    WriteEncipheredFile(m_dir.File("yo.dat"), R"(<search_registry>
      <section name="А"><word text="Авансовый отчёт"><link site_url="/a.html"/></word>
        <word text="Авансовый отчет по командировке"><link site_url="/b.html"/></word></section>
      <section name="Е"><word text="Елка новогодняя"/><word text="ЁЛКА в офисе"/></section>
      <section name="О"><word text="Отчетность по НДС"/><word text="Отчёты в СФР"/></section>
    </search_registry>)");
    WriteEncipheredFile(m_dir.File("yo-prompts.dat"),
                        R"(<prompts><p text="Сдать отчёт"/></prompts>)");
    CSearchPrompt2Manager prompts;
    ASSERT_TRUE(prompts.LoadData(m_dir.File("yo-prompts.dat")));
    CSearchRegistry registry(&m_morpho, &prompts);
    ASSERT_TRUE(registry.LoadData(m_dir.File("yo.dat")));
    const auto prompted = [&](std::string_view text) {
        Texts list;
        registry.GetSearchPrompts(text, list);
        return list;
    };
    const Texts report{"Авансовый отчет по командировке", "Авансовый отчёт", "Отчетность по НДС",
                       "Отчёты в СФР", "Сдать отчёт"};
    EXPECT_EQ(prompted("отчёт"), report) << "forms of отчёт, and words beginning with отчет";
    EXPECT_EQ(prompted("отчет"), report)
        << "the dictionary knows only отчёт: the phrases' words are folded";
    EXPECT_EQ(prompted("ОТЧЁТ"), report);
    EXPECT_EQ(prompted("отчё"), report) << "the prefix is compared folded";
    EXPECT_EQ(prompted("отче"), report);
    EXPECT_EQ(prompted("отчётов авансовый"),
              (Texts{"Авансовый отчет по командировке", "Авансовый отчёт"}));
    EXPECT_EQ(prompted("отчетов авансовый"), Texts{})
        << "отчетов is no form in the dictionary, and only the last word completes";
    EXPECT_EQ(prompted("авансовый отчё"),
              (Texts{"Авансовый отчет по командировке", "Авансовый отчёт"}));
    EXPECT_EQ(prompted("ёлк"), (Texts{"ЁЛКА в офисе", "Елка новогодняя"}));
    EXPECT_EQ(prompted("елк"), prompted("ёлк"));
    EXPECT_EQ(prompted("ёлки"), (Texts{"ЁЛКА в офисе", "Елка новогодняя"}))
        << "the forms of ёлка, folded";
    EXPECT_EQ(prompted("елки"), Texts{}) << "елки is no form in the dictionary";

    const RegistryPhrase* pPhrase = registry.FindPhrase("АВАНСОВЫЙ ОТЧЕТ");
    ASSERT_NE(pPhrase, nullptr);
    EXPECT_EQ(pPhrase->text, "Авансовый отчёт");
    EXPECT_EQ(pPhrase->links, (Texts{"/a.html"}));
    ASSERT_NE(registry.FindPhrase("авансовый отчёт по командировке"), nullptr);
    EXPECT_EQ(registry.FindPhrase("авансовый отчёт по командировке")->text,
              "Авансовый отчет по командировке");
    ASSERT_NE(registry.FindPhrase("елка В ОФИСЕ"), nullptr);
    EXPECT_EQ(registry.FindPhrase("авансовый отчёт по"), nullptr);
    EXPECT_EQ(registry.GetFirstSection(U'Ё'), nullptr) << "the letter bar is unchanged";
    EXPECT_EQ(registry.GetPhrases(U'Ё').size(), 1u)
        << "a phrase is filed under its own first letter";

    CPromptScanReference reference(registry, &prompts, &m_morpho);
    for (const std::string text : {"отчёт", "отчет", "отчё", "отче", "авансовый отчё",
                                   "отчётам сдать", "ёлка", "ЕЛКА", "ёлки офис", "о", "ё", "е"})
        EXPECT_EQ(prompted(text), reference.GetSearchPrompts(text)) << text;
}

// The map built on a worker prompts what the one built on first use does,
// whether the first lookup comes while it is being built or after.
TEST_F(SearchRegistryTest, AMapBuiltOnAWorkerPromptsTheSame)
{
    const Texts texts = {"нал", "налог ставк", "ндс", "usn упр", "0", "прибыль", "вложенный"};
    std::vector<Texts> expected;
    for (const std::string& text : texts)
        expected.push_back(Prompts(text));
    for (const bool bAfter : {false, true})
    {
        m_registry.StartBuildingSearchPromptMap();
        while (bAfter && !m_registry.IsSearchPromptMapReady())
            std::this_thread::yield();
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_EQ(Prompts(texts[i]), expected[i]) << texts[i] << (bAfter ? " after" : "");
        EXPECT_TRUE(m_registry.IsSearchPromptMapReady());
    }
}

// While the map is built on a worker, the registry's load and release wait
// for it and the prompt list may change under it: the build prompts the list
// it started with until the registry is loaded or freed again.
TEST(SearchRegistryWorker, LoadsAndReleasesDuringABuild)
{
    CTempDir dir;
    // Large enough that the build is still running when the test goes on.
    std::string large = "<search_registry><section name=\"Б\"><word text=\"Большой реестр\"/>";
    for (int i = 0; i < 20000; ++i)
        large += "<word text=\"Статья " + std::to_string(i) + " раздела\"/>";
    WriteEncipheredFile(dir.File("large.dat"), large + "</section></search_registry>");
    WriteEncipheredFile(dir.File("small.dat"), R"(<search_registry><section name="М">
        <word text="Малый реестр"/></section></search_registry>)");
    WriteEncipheredFile(dir.File("first.dat"), R"(<p><p text="Подсказка первая"/></p>)");
    WriteEncipheredFile(dir.File("second.dat"), R"(<p><p text="Подсказка вторая"/></p>)");

    using CAction = std::function<void(std::optional<CSearchRegistry>&, CSearchPrompt2Manager&)>;
    const struct
    {
        const char* szName;
        CAction during;
        Texts large, small, prompts; // what "большой", "малый" and "подсказка" prompt then
    } cases[] = {
        {"registry loaded",
         [&](auto& registry, auto&) { registry->LoadData(dir.File("small.dat")); },
         {},
         {"Малый реестр"},
         {"Подсказка первая"}},
        {"registry freed",
         [](auto& registry, auto&) { registry->FreeData(); },
         {},
         {},
         {"Подсказка первая"}},
        {"prompt list loaded",
         [&](auto&, auto& prompts) { prompts.LoadData(dir.File("second.dat")); },
         {"Большой реестр"},
         {},
         {"Подсказка первая"}},
        {"prompt list freed",
         [](auto&, auto& prompts) { prompts.FreeData(); },
         {"Большой реестр"},
         {},
         {"Подсказка первая"}},
        {"registry destroyed", [](auto& registry, auto&) { registry.reset(); }, {}, {}, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.szName);
        CSearchPrompt2Manager prompts;
        ASSERT_TRUE(prompts.LoadData(dir.File("first.dat")));
        std::optional<CSearchRegistry> registry(std::in_place, nullptr, &prompts);
        ASSERT_TRUE(registry->LoadData(dir.File("large.dat")));
        registry->StartBuildingSearchPromptMap();
        c.during(registry, prompts);
        if (!registry)
            continue;
        const auto prompted = [&](std::string_view text) {
            Texts list;
            registry->GetSearchPrompts(text, list);
            return list;
        };
        EXPECT_EQ(prompted("большой"), c.large);
        EXPECT_EQ(prompted("малый"), c.small);
        EXPECT_EQ(prompted("подсказка"), c.prompts);
    }
}

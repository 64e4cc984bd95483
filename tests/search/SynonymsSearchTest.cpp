#include "SynonymsSearch.h"
#include "TestContent.h"

#include <gtest/gtest.h>

namespace
{
using Texts = Utf16StringSet;

// Loads a synonyms file of the given body.
void Load(CSynonymsSearch& synonyms, const CTempDir& dir, const std::string& body)
{
    WriteEncipheredFile(dir.File("search_synonyms.dat"),
                        "<search_synonyms>" + body + "</search_synonyms>");
    ASSERT_TRUE(synonyms.LoadData(dir.File("search_synonyms.dat")));
}
} // namespace

TEST(SynonymsSearch, EveryMemberOfAGroupHasTheOthers)
{
    CTempDir dir;
    CSynonymsSearch synonyms;
    Load(synonyms, dir,
         R"(<word text="а"><synonym text="б"/><synonym text="в"/></word>
            <word text="в"><synonym text="г"/></word>
            <word text="д"><synonym text="е"/><synonym text="д"/></word>
            <word text="одинокое"/>)");
    EXPECT_EQ(synonyms.GetSynonyms("а"), (Texts{"б", "в"}));
    EXPECT_EQ(synonyms.GetSynonyms("б"), (Texts{"а", "в"}));
    // в is in two groups: its sets merge; г knows only its own group.
    EXPECT_EQ(synonyms.GetSynonyms("в"), (Texts{"а", "б", "г"}));
    EXPECT_EQ(synonyms.GetSynonyms("г"), (Texts{"в"}));
    // A member listed twice in its group is its own synonym.
    EXPECT_EQ(synonyms.GetSynonyms("д"), (Texts{"д", "е"}));
    EXPECT_EQ(synonyms.GetSynonyms("е"), (Texts{"д"}));
    EXPECT_TRUE(synonyms.GetSynonyms("одинокое").empty());
    EXPECT_TRUE(synonyms.GetSynonyms("ж").empty());
}

TEST(SynonymsSearch, HeadWordsAreLowerCasedSynonymsKeptAsWritten)
{
    CTempDir dir;
    CSynonymsSearch synonyms;
    Load(synonyms, dir,
         R"(<word text="НДС ,  Налог"><synonym text="Налог на добавленную   стоимость!"/></word>
            <word text="ЁЛКА"><synonym text="Ель"/></word>)");
    EXPECT_EQ(synonyms.GetSynonyms("ндс налог"), (Texts{"Налог на добавленную стоимость"}));
    EXPECT_EQ(synonyms.GetSynonyms(" ндс,,налог. "), (Texts{"Налог на добавленную стоимость"}))
        << "the looked-up text is normalised too";
    EXPECT_TRUE(synonyms.GetSynonyms("НДС налог").empty()) << "lookups do not lower-case";
    EXPECT_EQ(synonyms.GetSynonyms("Налог на добавленную стоимость"), (Texts{"ндс налог"}));
    EXPECT_TRUE(synonyms.GetSynonyms("налог на добавленную стоимость").empty())
        << "a synonym written with capitals is found only as written";
    EXPECT_EQ(synonyms.GetSynonyms("ёлка"), (Texts{"Ель"})) << "Ё folds to ё";
}

TEST(SynonymsSearch, HeadWordsAreFoundWhicheverWayYoIsSpelled)
{
    CTempDir dir;
    CSynonymsSearch synonyms;
    Load(synonyms, dir,
         R"(<word text="Отчёт"><synonym text="Отчётность"/></word>
            <word text="елка"><synonym text="Ель"/></word>
            <word text="Всё"><synonym text="всё"/></word>)");
    EXPECT_EQ(synonyms.GetSynonyms("отчёт"), (Texts{"Отчётность"}));
    EXPECT_EQ(synonyms.GetSynonyms("отчет"), (Texts{"Отчётность"}))
        << "the head word is compared folded";
    EXPECT_EQ(synonyms.GetSynonyms("ёлка"), (Texts{"Ель"}));
    EXPECT_EQ(synonyms.GetSynonyms("елка"), (Texts{"Ель"}));
    EXPECT_EQ(synonyms.GetSynonyms("Отчётность"), (Texts{"отчёт"}))
        << "shown as written, lower-cased";
    EXPECT_TRUE(synonyms.GetSynonyms("Отчетность").empty()) << "other members are found as written";
    EXPECT_TRUE(synonyms.GetSynonyms("ОТЧЁТ").empty()) << "lookups still do not lower-case";
    // The head and its synonym differ only in case; the synonym is found as
    // written, the head folded, and each lists the other.
    EXPECT_EQ(synonyms.GetSynonyms("все"), (Texts{"всё"}));
    EXPECT_EQ(synonyms.GetSynonyms("всё"), (Texts{"всё"}));
}

TEST(SynonymsSearch, SkipsWhatHasNoTextAndIgnoresOtherTags)
{
    CTempDir dir;
    CSynonymsSearch synonyms;
    Load(synonyms, dir,
         R"(<word text=""><synonym text="сирота"/><synonym text="x"/></word>
            <word><synonym text="без головы"/><synonym text="y"/></word>
            <other text="налог"><synonym text="сбор"/></other>
            <word text="налог"><synonym text=""/><synonym/><alias text="пошлина"/>
              <synonym text="сбор"/><synonym text=" %% "/><synonym text="взнос"/></word>)");
    EXPECT_EQ(synonyms.GetSynonyms("налог"), (Texts{"взнос", "сбор"}));
    EXPECT_EQ(synonyms.GetSynonyms("сбор"), (Texts{"взнос", "налог"}));
    EXPECT_TRUE(synonyms.GetSynonyms("сирота").empty());
    EXPECT_TRUE(synonyms.GetSynonyms("без головы").empty());
    EXPECT_TRUE(synonyms.GetSynonyms("пошлина").empty());
    // A member of punctuation only has no words: were it kept, an empty
    // search box would prompt the whole group.
    EXPECT_TRUE(synonyms.GetSynonyms("").empty());
    EXPECT_TRUE(synonyms.GetSynonyms("!").empty());
}

TEST(SynonymsSearch, LoadFailuresAndReloads)
{
    CTempDir dir;
    CSynonymsSearch synonyms;
    Load(synonyms, dir, R"(<word text="а"><synonym text="б"/></word>)");
    {
        CLogCapture log;
        EXPECT_FALSE(synonyms.LoadData(dir.File("missing.dat")));
        EXPECT_TRUE(log.Contains("CSearchRegistry::LoadData filename: " + dir.File("missing.dat")));
        EXPECT_TRUE(log.Contains("Can't load search synonyms"));
    }
    EXPECT_TRUE(synonyms.IsEmpty()) << "a failed load leaves nothing of the previous file";

    WriteEncipheredFile(dir.File("other.dat"),
                        R"(<synonyms><word text="а"><synonym text="б"/></word></synonyms>)");
    {
        CLogCapture log;
        EXPECT_FALSE(synonyms.LoadData(dir.File("other.dat")));
        EXPECT_TRUE(log.Contains("Search synonyms invalid format"));
    }
    // A plain (not enciphered) file is not a content file.
    WriteFileText(
        dir.File("plain.dat"),
        R"(<search_synonyms><word text="а"><synonym text="б"/></word></search_synonyms>)");
    EXPECT_FALSE(synonyms.LoadData(dir.File("plain.dat")));

    Load(synonyms, dir, R"(<word text="а"><synonym text="б"/></word>)");
    Load(synonyms, dir, R"(<word text="в"><synonym text="г"/></word>)");
    EXPECT_TRUE(synonyms.GetSynonyms("а").empty()) << "a reload replaces the groups";
    EXPECT_EQ(synonyms.GetSynonyms("в"), (Texts{"г"}));
    synonyms.FreeData();
    EXPECT_TRUE(synonyms.GetSynonyms("в").empty());
}

#include "DocumentSearch.h"
#include "MorphologyWriter.h"
#include "PhraseIndexWriter.h"
#include "SearchIndexBuilder.h"
#include "TestSupport.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <tuple>

namespace
{
struct CDoc
{
    const char* m_szPath;
    std::vector<std::string> m_words; // as indexed: base forms, or words the dictionary lacks
};

// A small content: a dictionary of a few paradigms and an index of documents.
class DocumentSearchTest : public ::testing::Test
{
protected:
    void WriteDictionary()
    {
        CMorphologyWriter morphology;
        morphology.AddParadigm({"налог", "налога", "налоги", "налогов", "налогами"});
        morphology.AddParadigm({"ставка", "ставки", "ставку", "ставкой"});
        morphology.AddParadigm({"сталь", "стали", "сталью"});
        morphology.AddParadigm({"стать", "стали", "стал", "стала"});
        morphology.AddParadigm({"прибыль", "прибыли"});
        // As hunspell-ru writes them: with "ё" only.
        morphology.AddParadigm({"отчёт", "отчёта", "отчёты", "отчётов"});
        morphology.AddParadigm({"ёлка", "ёлки", "ёлок"});
        morphology.AddParadigm({"авансовый", "авансового", "авансовые"});
        ASSERT_TRUE(morphology.Save(m_dir.File("morphology")));
    }

    void Build(const std::vector<CDoc>& documents, std::uint32_t nZeroCountDocument = 0)
    {
        WriteDictionary();
        CPhraseIndexWriter index;
        for (const CDoc& doc : documents)
        {
            const auto nCount = index.Documents() + 1 == nZeroCountDocument
                                    ? 0u
                                    : static_cast<std::uint32_t>(doc.m_words.size());
            const std::uint32_t nDoc = index.AddDocument(doc.m_szPath, nCount);
            for (std::size_t i = 0; i < doc.m_words.size(); ++i)
                index.AddWord(nDoc, doc.m_words[i], static_cast<std::uint32_t>(i));
        }
        ASSERT_TRUE(index.Save(m_dir.File("fulltext")));
        m_morpho.SetMorphologyFolder(m_dir.File("morphology"));
        m_index.SetIndexFolder(m_dir.File("fulltext"));
        ASSERT_TRUE(m_morpho.LoadData());
        ASSERT_TRUE(m_index.LoadData());
    }

    // Pages indexed by the publisher's builder: words under their base
    // forms, folded.
    void BuildPublished(const std::vector<std::pair<std::string, std::string>>& pages)
    {
        WriteDictionary();
        m_morpho.SetMorphologyFolder(m_dir.File("morphology"));
        ASSERT_TRUE(m_morpho.LoadData());
        CSearchIndexBuilder builder(m_morpho);
        for (const auto& [path, text] : pages)
            builder.AddPage(path, text);
        CPublishReport report;
        ASSERT_TRUE(builder.Save(m_dir.File("fulltext"), report));
        m_index.SetIndexFolder(m_dir.File("fulltext"));
        ASSERT_TRUE(m_index.LoadData());
    }

    std::vector<std::uint32_t> Find(std::string_view query)
    {
        SearchResultSet results;
        CDocumentSearch(m_index, m_morpho).FindDocuments(query, results);
        std::vector<std::uint32_t> numbers;
        for (const auto& result : results)
            numbers.push_back(result.docNumber);
        return numbers;
    }

    CTempDir m_dir;
    CMorphoSearch m_morpho;
    CFullTextSearch2 m_index;
};

const std::vector<CDoc> kDocs = {
    {"content/1.html", {"налог", "на", "прибыль", "ставка", "налог"}},        // span 3
    {"content/2.html", {"ставка", "x", "x", "x", "налог", "налог", "налог"}}, // span 4
    {"content/3.html", {"налог", "y"}},                                       // no ставка
    {"content/4.html", {"y", "ставка", "налог", "z"}},                        // span 1
    {"content/5.html", {"ставка", "w", "w", "налог"}},                        // span 3
    {"content/6.html", {"прибыль"}},
};
} // namespace

TEST_F(DocumentSearchTest, SpanFirstThenScoreThenDocumentNumber)
{
    Build(kDocs);
    SearchResultSet results;
    CDocumentSearch(m_index, m_morpho).FindDocuments("налоги ставки", results);
    ASSERT_EQ(results.size(), 4u) << "document 3 holds only one of the words";
    std::vector<SearchResult> ordered(results.begin(), results.end());
    EXPECT_EQ(ordered[0].docNumber, 4u);
    EXPECT_EQ(ordered[0].span, 1u);
    EXPECT_EQ(ordered[0].firstPosition, 1u);
    EXPECT_EQ(ordered[0].lastPosition, 2u);
    EXPECT_EQ(ordered[0].path, "content/4.html");
    // Documents 1 and 5 share span 3 and are ordered by score: налог is in 5
    // of 6 documents, ставка in 4 of 6, and document 1 has налог twice.
    EXPECT_EQ(ordered[1].docNumber, 1u);
    EXPECT_EQ(ordered[2].docNumber, 5u);
    EXPECT_EQ(ordered[3].docNumber, 2u);
    const double dTax = std::log(6.0 / 5.0), dRate = std::log(6.0 / 4.0);
    EXPECT_DOUBLE_EQ(ordered[1].score, dTax * (2.0 / (5 + 3)) + dRate * (1.0 / (5 + 3)));
    EXPECT_DOUBLE_EQ(ordered[2].score, dTax * (1.0 / (4 + 3)) + dRate * (1.0 / (4 + 3)));
    EXPECT_GT(ordered[1].score, ordered[2].score);
    EXPECT_EQ(ordered[1].firstPosition, 0u);
    EXPECT_EQ(ordered[1].lastPosition, 3u);
    EXPECT_EQ(ordered[0].score, 0.0 + dTax * (1.0 / (4 + 1)) + dRate * (1.0 / (4 + 1)))
        << "summed in word order, exactly";
}

TEST_F(DocumentSearchTest, OneWordOrdersByShareAndAWordInEveryDocumentWeighsNothing)
{
    Build({{"content/a.html", {"налог", "x", "x", "x"}},
           {"content/b.html", {"налог", "налог"}},
           {"content/c.html", {"налог", "прибыль", "x", "x"}}});
    SearchResultSet results;
    CDocumentSearch(m_index, m_morpho).FindDocuments("налогов", results);
    ASSERT_EQ(results.size(), 3u);
    for (const auto& result : results)
    {
        EXPECT_EQ(result.span, 0u);
        EXPECT_EQ(result.score, 0.0) << "idf of a word in every document is 0";
    }
    EXPECT_EQ(Find("налогов"), (std::vector<std::uint32_t>{1, 2, 3})) << "equal scores: by number";
    EXPECT_EQ(Find("прибыли"), (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(Find("налог неизвестное-слово прибыль"), (std::vector<std::uint32_t>{3}))
        << "a word found nowhere does not prevent results";
    EXPECT_TRUE(Find("").empty());
    EXPECT_TRUE(Find(" , ; !").empty());
    EXPECT_TRUE(Find("неизвестное").empty());
}

TEST_F(DocumentSearchTest, AmbiguousFormsSearchEveryBaseForm)
{
    Build({{"content/a.html", {"сталь", "x"}},
           {"content/b.html", {"стать"}},
           {"content/c.html", {"x"}}});
    EXPECT_EQ(Find("стали"), (std::vector<std::uint32_t>{2, 1})) << "b is shorter: a larger share";
}

TEST_F(DocumentSearchTest, HighlightSetsHoldEveryFormOfEveryBaseForm)
{
    Build(kDocs);
    const CHighlightWords highlight =
        CDocumentSearch(m_index, m_morpho).GetHightlightWords("стали ндс");
    ASSERT_EQ(highlight.size(), 2u);
    EXPECT_EQ(highlight[0],
              (std::set<std::string>{"стали", "сталь", "сталью", "стать", "стал", "стала"}));
    EXPECT_EQ(highlight[1], (std::set<std::string>{"ндс"})) << "a word without base forms alone";
    EXPECT_TRUE(CDocumentSearch(m_index, m_morpho).GetHightlightWords("...").empty());
}

TEST_F(DocumentSearchTest, PrefixFallbackForQueriesOfThreeCharactersOrMore)
{
    Build({{"content/a.html", {"ставка", "x"}},
           {"content/b.html", {"сталь"}},
           {"content/c.html", {"стартап", "налог"}},
           {"content/d.html", {"налог"}}});
    CDocumentSearch search(m_index, m_morpho);
    SearchResultSet results;
    CHighlightWords highlight;
    search.Search("СТА", results, highlight);
    std::set<std::uint32_t> found;
    for (const auto& result : results)
        found.insert(result.docNumber);
    EXPECT_EQ(found, (std::set<std::uint32_t>{1, 2, 3}))
        << "every completion, the word the dictionary lacks included";
    ASSERT_EQ(highlight.size(), 3u) << "one set per completion's base form";
    EXPECT_TRUE(highlight[0].contains("ставкой"));

    results.clear();
    search.Search("ст", results, highlight);
    EXPECT_TRUE(results.empty()) << "two characters: no fallback";
    ASSERT_EQ(highlight.size(), 1u);
    EXPECT_EQ(highlight[0], std::set<std::string>{"ст"});

    results.clear();
    search.Search("Налоги", results, highlight);
    EXPECT_EQ(results.size(), 2u) << "found directly, lower-cased";
    EXPECT_TRUE(highlight[0].contains("налогами"));
}

TEST_F(DocumentSearchTest, AZeroWordCountStopsTheSearch)
{
    Build(kDocs, 4);
    CLogCapture log(1);
    SearchResultSet results;
    CDocumentSearch(m_index, m_morpho).FindDocuments("налог ставка", results);
    EXPECT_TRUE(log.Contains("Can't calc tfidf"));
    ASSERT_EQ(results.size(), 2u) << "documents 1 and 2 were scored before document 4";
    for (const auto& result : results)
        EXPECT_EQ(result.path, "") << "paths are not filled";
}

TEST(SearchResultSet, KeepsTheOrderAndTheFirstOfEqualRecords)
{
    SearchResultSet results{
        {5, "e", 0, 0, 1.0, 2}, {3, "c", 0, 0, 2.0, 2}, {3, "c2", 0, 0, 2.0, 2}};
    EXPECT_EQ(results.size(), 2u) << "the third is equal to the second";
    EXPECT_TRUE(results.insert({9, "i", 0, 0, 0.5, 0}).second);
    const auto [it, bInserted] = results.insert({5, "other", 7, 7, 1.0, 2});
    EXPECT_FALSE(bInserted);
    EXPECT_EQ(it->path, "e");
    EXPECT_TRUE(results.insert({4, "d", 0, 0, 2.0, 2}).second)
        << "same span and score, another document";

    // A sorted batch: records interleave, an equal one leaves the old in place.
    results.InsertSorted({{1, "a", 0, 0, 9.0, 0},
                          {9, "new", 0, 0, 0.5, 0},
                          {2, "b", 0, 0, 3.0, 1},
                          {6, "f", 0, 0, 0.1, 7}});
    std::vector<std::pair<std::uint32_t, std::string>> order;
    for (const SearchResult& result : results)
        order.emplace_back(result.docNumber, result.path);
    EXPECT_EQ(order, (std::vector<std::pair<std::uint32_t, std::string>>{
                         {1, "a"}, {9, "i"}, {2, "b"}, {3, "c"}, {4, "d"}, {5, "e"}, {6, "f"}}));
    results.clear();
    EXPECT_TRUE(results.empty());
    results.InsertSorted({{2, "b", 0, 0, 3.0, 1}});
    EXPECT_EQ(results.begin()->path, "b");
}

TEST(SearchResultSet, PathsShortAndLongKeepTheirText)
{
    const std::string inlineMost(46, 'a');
    const std::string onHeap = "content/" + std::string(300, 'x') + ".html";
    CSearchResultPath path;
    EXPECT_TRUE(path.empty());
    for (const std::string& text :
         {std::string("content/nds/rates.html"), inlineMost, inlineMost + "b", onHeap,
          std::string("/ндс.htm"), std::string()})
    {
        path.assign(text);
        EXPECT_EQ(path, text);
        EXPECT_EQ(path.size(), text.size());
        const CSearchResultPath copy = path;
        EXPECT_EQ(copy.str(), text) << "copies keep the text wherever it is held";
        std::ostringstream out;
        out << copy;
        EXPECT_EQ(out.str(), text);
    }
    path = onHeap;
    path.assign("short");
    EXPECT_EQ(std::string_view(path), "short") << "a long text replaced by a short one";
    SearchResult result{7, "content/a.html", 0, 0, 0.0, 0};
    EXPECT_EQ(result.path, "content/a.html");
    EXPECT_FALSE(result.path == "content/a.htm");
}

namespace
{
using Record =
    std::tuple<std::uint32_t, std::string, std::uint32_t, std::uint32_t, double, std::uint32_t>;

std::vector<Record> Records(const SearchResultSet& results)
{
    std::vector<Record> records;
    for (const SearchResult& r : results)
        records.emplace_back(r.docNumber, r.path, r.firstPosition, r.lastPosition, r.score, r.span);
    return records;
}
} // namespace

// The search command as its steps read: FindDocuments into one set, and for
// a query of three characters or more that finds nothing, FindDocuments for
// every base form of every completion. Search must give exactly this.
class SearchPipelineTest : public DocumentSearchTest
{
protected:
    std::vector<Record> StepByStep(std::string_view query, CHighlightWords& highlight)
    {
        CDocumentSearch search(m_index, m_morpho);
        const std::string lowered = CTextUtils::ToLower(query);
        SearchResultSet results;
        search.FindDocuments(lowered, results);
        if (!results.empty() || CTextUtils::ToUtf16(lowered).size() < 3)
        {
            highlight = search.GetHightlightWords(lowered);
            return Records(results);
        }
        std::string joined;
        std::set<std::string> bases;
        for (const std::string& word : SplitSearchString(lowered))
        {
            // The completions of the word and of its fold, as one set.
            std::set<std::string> completions = m_index.GetStartWords(word);
            for (const std::string& completion : m_index.GetStartWords(FoldYo(word)))
                completions.insert(completion);
            for (const std::string& completion : completions)
            {
                std::vector<std::string> forms = m_morpho.GetBaseForms(completion);
                if (forms.empty())
                    forms.push_back(completion);
                for (const std::string& form : forms)
                {
                    bases.insert(form);
                    joined += form + " ";
                }
            }
        }
        for (const std::string& base : bases)
            search.FindDocuments(base, results);
        highlight = search.GetHightlightWords(joined);
        return Records(results);
    }

    void ExpectSameAsStepByStep(const std::vector<std::string>& queries)
    {
        for (const std::string& query : queries)
        {
            CHighlightWords expectedHighlight, highlight;
            const std::vector<Record> expected = StepByStep(query, expectedHighlight);
            SearchResultSet results;
            CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
            EXPECT_EQ(Records(results), expected) << query;
            EXPECT_EQ(highlight, expectedHighlight) << query;
        }
    }
};

TEST_F(SearchPipelineTest, SearchGivesWhatItsStepsGive)
{
    // сталь and стать share the form стали; the fallback for "ста" searches
    // ставка, сталь, стартап and стать one after the other, and document 4
    // holds both forms, so it comes back twice with different scores.
    Build({{"content/a.html", {"ставка", "x", "сталь"}},
           {"content/b.html", {"сталь", "стать", "налог"}},
           {"content/c.html", {"стартап", "налог", "ставка"}},
           {"content/d.html", {"стать", "сталь", "сталь", "прибыль"}},
           {"content/e.html", {"налог"}}});
    ExpectSameAsStepByStep(
        {"СТА", "Стали", "налоги ставки", "ст", "нал", "прибыль налог", "xyz", "", "ста нал"});
}

TEST_F(SearchPipelineTest, PathsAfterAZeroWordCountAreAsTheStepsLeaveThem)
{
    // Document 3 has no word count: the fallback's queries for сталь,
    // стартап and стать stop there, after сталь and стать have scored
    // document 2. For "ста" the last query (стая, not in the dictionary)
    // reads every path again; for "стат" the stopped query is the last one
    // and its record keeps no path.
    Build({{"content/a.html", {"ставка", "x"}},
           {"content/b.html", {"сталь", "стать"}},
           {"content/c.html", {"сталь", "стать", "стартап"}},
           {"content/d.html", {"ставка", "стать"}},
           {"content/e.html", {"стая"}}},
          3);
    ExpectSameAsStepByStep({"ста", "стат", "стали", "ставка", "стая"});
    CHighlightWords highlight;
    const auto withoutPath = [&](std::string_view query) {
        std::size_t nCount = 0;
        for (const Record& record : StepByStep(query, highlight))
            nCount += std::get<1>(record).empty();
        return nCount;
    };
    EXPECT_EQ(withoutPath("ста"), 0u);
    EXPECT_EQ(withoutPath("стат"), 1u);
}

TEST_F(SearchPipelineTest, LargeSetsComeInOrderWithEveryDocumentOnce)
{
    // Hundreds of documents per word, so that sets are sorted the way large
    // ones are; "всегда" and "всегдашний" are in every document (all their
    // scores are 0, and "всег" finds every document twice with equal keys).
    const std::vector<std::string> vocabulary = {"налог",   "ставка", "сталь", "стать",
                                                 "прибыль", "стая",   "x"};
    std::mt19937 random(11);
    std::vector<CDoc> docs;
    std::vector<std::string> paths;
    for (int nDoc = 0; nDoc < 700; ++nDoc)
        paths.push_back("content/d" + std::to_string(nDoc) + ".html");
    for (int nDoc = 0; nDoc < 700; ++nDoc)
    {
        CDoc& doc = docs.emplace_back(CDoc{paths[nDoc].c_str(), {"всегда", "всегдашний"}});
        const std::size_t nWords = 1 + random() % (nDoc % 7 == 0 ? 400 : 12);
        for (std::size_t i = 0; i < nWords; ++i)
            doc.m_words.push_back(vocabulary[random() % vocabulary.size()]);
    }
    Build(docs);
    const std::vector<std::string> queries = {"налог",         "стали",  "всегда",
                                              "налоги ставки", "ста",    "всегда прибыль",
                                              "стат",          "стая x", "всег"};
    ExpectSameAsStepByStep(queries);
    for (const std::string& query : queries)
    {
        SearchResultSet results;
        CHighlightWords highlight;
        CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
        EXPECT_GT(results.size(), 256u) << query;
        const SearchResult* pPrevious = nullptr;
        std::set<std::uint32_t> documents;
        for (const SearchResult& result : results)
        {
            if (pPrevious)
            {
                EXPECT_TRUE(SearchResultLess()(*pPrevious, result))
                    << query << ": " << result.docNumber;
            }
            pPrevious = &result;
            documents.insert(result.docNumber);
            EXPECT_EQ(result.path, paths[result.docNumber - 1]) << query;
        }
        if (query == "налог" || query == "всегда" || query == "всег")
        {
            EXPECT_EQ(documents.size(), results.size()) << query << ": each document once";
        }
    }
    SearchResultSet all;
    CDocumentSearch(m_index, m_morpho).FindDocuments("всегда", all);
    EXPECT_EQ(all.size(), 700u);
    EXPECT_EQ(all.begin()->docNumber, 1u) << "all scores 0: by document";
}

// "Ё" and "е" are one letter to the search. The dictionary knows отчёт and
// ёлка with "ё" only, as hunspell-ru does; the publisher indexes every word
// folded.
namespace
{
const std::vector<std::pair<std::string, std::string>> kYoPages = {
    {"content/1.html", "Авансовый отчёт сдан"},
    {"content/2.html", "авансовый отчет принят"},
    {"content/3.html", "Отчёт и отчет, а также ОТЧЁТА"}, // both spellings
    {"content/4.html", "ёлка"},
    {"content/5.html", "елка x"},
    {"content/6.html", "авансовый платёж"}, // a word the dictionary lacks
};
} // namespace

TEST_F(DocumentSearchTest, YoAndYeFindEachOtherInAFoldedIndex)
{
    BuildPublished(kYoPages);
    EXPECT_TRUE(m_index.GetStartWords("ё").empty()) << "no indexed word holds ё";
    EXPECT_EQ(m_index.GetStartWords("отч"), (std::set<std::string>{"отчет"}));

    EXPECT_EQ(Find("отчёт"), (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_EQ(Find("отчет"), (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_EQ(Find("отчётов"), (std::vector<std::uint32_t>{3, 1, 2})) << "a form: by its base form";
    EXPECT_EQ(Find("авансовый отчёт"), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(Find("авансовый отчет"), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(Find("ёлка"), (std::vector<std::uint32_t>{4, 5}));
    EXPECT_EQ(Find("елка"), (std::vector<std::uint32_t>{4, 5}));
    EXPECT_EQ(Find("ёлки"), (std::vector<std::uint32_t>{4, 5}));
    EXPECT_EQ(Find("платёж"), (std::vector<std::uint32_t>{6}));
    EXPECT_EQ(Find("платеж"), (std::vector<std::uint32_t>{6}));

    // The same records, scores included, whichever way the query is spelled;
    // page 3 writes the word three times in two spellings: one record, and
    // its occurrences count as one word's.
    SearchResultSet yo, ye;
    CDocumentSearch(m_index, m_morpho).FindDocuments("авансовый отчёт", yo);
    CDocumentSearch(m_index, m_morpho).FindDocuments("авансовый отчет", ye);
    EXPECT_EQ(Records(yo), Records(ye));
    yo.clear();
    CDocumentSearch(m_index, m_morpho).FindDocuments("отчёт", yo);
    ASSERT_EQ(yo.size(), 3u);
    const SearchResult& both = *yo.begin();
    EXPECT_EQ(both.docNumber, 3u);
    EXPECT_EQ(both.score, 0.0 + std::log(6.0 / 3.0) * (3.0 / (6 + 0)));
    EXPECT_EQ(both.firstPosition, 0u);
}

TEST_F(DocumentSearchTest, AnIndexThatKeepsYoStillAnswersAQueryTypedWithYo)
{
    // Written without folding, as another publisher would: base forms with
    // "ё", and words the dictionary lacks as the page spells them.
    Build({{"content/1.html", {"отчёт", "x"}},
           {"content/2.html", {"отчет"}},
           {"content/3.html", {"ёлка"}},
           {"content/4.html", {"елка"}},
           {"content/5.html", {"отчёт", "отчет", "y", "y"}}});
    EXPECT_EQ(Find("отчёт"), (std::vector<std::uint32_t>{2, 1, 5}));
    EXPECT_EQ(Find("отчётов"), (std::vector<std::uint32_t>{2, 1, 5}));
    EXPECT_EQ(Find("ёлки"), (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(Find("ёлка"), (std::vector<std::uint32_t>{3, 4}));
    EXPECT_EQ(Find("отчет"), (std::vector<std::uint32_t>{2, 5}))
        << "a word whose spellings and base forms hold no ё searches what it always did";

    SearchResultSet results;
    CDocumentSearch(m_index, m_morpho).FindDocuments("отчёт", results);
    ASSERT_EQ(results.size(), 3u) << "page 5 is one result";
    const SearchResult& last = *std::prev(results.end());
    EXPECT_EQ(last.docNumber, 5u);
    EXPECT_EQ(last.score, 0.0 + std::log(5.0 / 3.0) * (2.0 / (4 + 0)))
        << "two occurrences of one word";
}

TEST_F(DocumentSearchTest, HighlightSetsHoldBothSpellings)
{
    BuildPublished(kYoPages);
    CDocumentSearch search(m_index, m_morpho);
    const std::set<std::string> report{"отчёт", "отчёта", "отчёты", "отчётов",
                                       "отчет", "отчета", "отчеты", "отчетов"};
    EXPECT_EQ(search.GetHightlightWords("отчёт"), CHighlightWords{report});
    EXPECT_EQ(search.GetHightlightWords("отчётов"), CHighlightWords{report});
    EXPECT_EQ(
        search.GetHightlightWords("ёлки платёж"),
        (CHighlightWords{{"ёлка", "ёлки", "ёлок", "елка", "елки", "елок"}, {"платёж", "платеж"}}));
    EXPECT_EQ(search.GetHightlightWords("налог"),
              (CHighlightWords{{"налог", "налога", "налоги", "налогов", "налогами"}}))
        << "a word without ё as before";
    EXPECT_EQ(search.GetHightlightWords("отчет"), (CHighlightWords{{"отчет"}}))
        << "the dictionary has no отчет: the word alone";
}

TEST_F(DocumentSearchTest, TheFallbackCompletesYoAndYeAlike)
{
    BuildPublished(kYoPages);
    CDocumentSearch search(m_index, m_morpho);
    const auto run = [&](std::string_view query, CHighlightWords& highlight) {
        SearchResultSet results;
        search.Search(query, results, highlight);
        return Records(results);
    };
    CHighlightWords yoHighlight, yeHighlight;
    const auto yo = run("отчё", yoHighlight);
    const auto ye = run("отче", yeHighlight);
    ASSERT_EQ(yo.size(), 3u);
    EXPECT_EQ(yo, ye);
    EXPECT_EQ(yoHighlight, yeHighlight);
    EXPECT_EQ(run("ёлк", yoHighlight), run("елк", yeHighlight));
    EXPECT_EQ(run("ёлк", yoHighlight).size(), 2u);

    // An index that keeps ё: "отчё" completes both spellings. (The loaded
    // files are locked against the writers until they are freed.)
    m_index.FreeData();
    m_morpho.FreeData();
    Build(
        {{"content/1.html", {"отчёт"}}, {"content/2.html", {"отчет"}}, {"content/3.html", {"x"}}});
    CDocumentSearch other(m_index, m_morpho);
    SearchResultSet results;
    other.Search("отчё", results, yoHighlight);
    std::set<std::uint32_t> found;
    for (const SearchResult& result : results)
        found.insert(result.docNumber);
    EXPECT_EQ(found, (std::set<std::uint32_t>{1, 2}));
}

TEST_F(SearchPipelineTest, SearchGivesWhatItsStepsGiveForYo)
{
    Build({{"content/a.html", {"отчёт", "x", "ёлка"}},
           {"content/b.html", {"отчет", "авансовый", "налог"}},
           {"content/c.html", {"елка", "отчёт", "отчет"}},
           {"content/d.html", {"x"}}});
    ExpectSameAsStepByStep(
        {"отчё", "отче", "ОТЧЁТ", "отчет", "ёлки отчёт", "ёлк", "елк", "авансовый отчёт"});
}

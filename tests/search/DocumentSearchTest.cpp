#include "DocumentSearch.h"
#include "MorphologyWriter.h"
#include "PhraseIndexWriter.h"
#include "SearchIndexBuilder.h"
#include "SearchScanReference.h"
#include "TestSupport.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>

namespace
{
// The dictionary's paradigms, base form first. отчёт and ёлка are spelt with
// "ё" only, as hunspell-ru writes them; стали is a form of сталь and of стать.
const std::vector<std::vector<std::string>> kParadigms = {
    {"налог", "налога", "налоги", "налогов", "налогами"},
    {"ставка", "ставки", "ставку", "ставкой"},
    {"сталь", "стали", "сталью"},
    {"стать", "стали", "стал", "стала"},
    {"прибыль", "прибыли"},
    {"отчёт", "отчёта", "отчёты", "отчётов"},
    {"ёлка", "ёлки", "ёлок"},
    {"авансовый", "авансового", "авансовые"},
};

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
        for (const std::vector<std::string>& paradigm : kParadigms)
            morphology.AddParadigm(paradigm);
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
    // forms, folded. The document numbered nZeroCountDocument gets a word
    // count of 0 (the u16 after its path in the document list).
    void BuildPublished(const std::vector<std::pair<std::string, std::string>>& pages,
                        std::uint32_t nZeroCountDocument = 0,
                        const std::string& strFolder = "fulltext")
    {
        WriteDictionary();
        m_morpho.SetMorphologyFolder(m_dir.File("morphology"));
        ASSERT_TRUE(m_morpho.LoadData());
        CSearchIndexBuilder builder(m_morpho);
        for (const auto& [path, text] : pages)
            builder.AddPage(path, text);
        CPublishReport report;
        ASSERT_TRUE(builder.Save(m_dir.File(strFolder), report));
        if (nZeroCountDocument)
        {
            const std::string strNumbers = m_dir.File(strFolder) + "/phrase_numbers.dat";
            std::string bytes = ReadFileText(strNumbers);
            const std::size_t nWidth = static_cast<std::uint8_t>(bytes.at(16));
            const std::size_t nAt = 17 + (nZeroCountDocument - 1) * (nWidth + 2) + nWidth;
            bytes.at(nAt) = bytes.at(nAt + 1) = 0;
            WriteFileText(strNumbers, bytes);
        }
        m_index.SetIndexFolder(m_dir.File(strFolder));
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
// A query and the documents the search command shows for it, in order.
struct CRanked
{
    const char* m_szQuery;
    std::vector<std::uint32_t> m_documents;
};

// A query and the records it shows: document and path (empty when no search
// after the one that found it read the paths).
struct CRankedWithPaths
{
    const char* m_szQuery;
    std::vector<std::pair<std::uint32_t, std::string>> m_records;
};
} // namespace

class SearchCommandTest : public DocumentSearchTest
{
protected:
    SearchResultSet Search(std::string_view query, CHighlightWords& highlight)
    {
        SearchResultSet results;
        CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
        return results;
    }

    void ExpectRanked(const std::vector<CRanked>& table)
    {
        for (const CRanked& row : table)
        {
            CHighlightWords highlight;
            std::vector<std::uint32_t> documents;
            for (const SearchResult& result : Search(row.m_szQuery, highlight))
                documents.push_back(result.docNumber);
            EXPECT_EQ(documents, row.m_documents) << row.m_szQuery;
        }
    }

    void ExpectRankedWithPaths(const std::vector<CRankedWithPaths>& table)
    {
        for (const CRankedWithPaths& row : table)
        {
            CHighlightWords highlight;
            std::vector<std::pair<std::uint32_t, std::string>> records;
            for (const SearchResult& result : Search(row.m_szQuery, highlight))
                records.emplace_back(result.docNumber, result.path.str());
            EXPECT_EQ(records, row.m_records) << row.m_szQuery;
        }
    }
};

TEST_F(SearchCommandTest, FoundDocumentsAndCompletionsComeInRankOrder)
{
    // 5 documents. Of the completions of "ста": ставка is in 1 and 3, сталь
    // in 1, 2 and 4 (twice in 4), стартап in 3, стать in 2 and 4; налог is in
    // 2, 3 and 5; стали is a form of сталь and of стать.
    Build({{"content/a.html", {"ставка", "x", "сталь"}},
           {"content/b.html", {"сталь", "стать", "налог"}},
           {"content/c.html", {"стартап", "налог", "ставка"}},
           {"content/d.html", {"стать", "сталь", "сталь", "прибыль"}},
           {"content/e.html", {"налог"}}});
    ExpectRanked({
        // only 3 holds both words
        {"налоги ставки", {3}},
        // both base forms count: 3 of 4 words in 4, 2 of 3 in 2, 1 of 3 in 1
        {"Стали", {4, 2, 1}},
        // completed to налог: 1 of 1 word in 5, then 2 and 3 with 1 of 3 by number
        {"нал", {5, 2, 3}},
        // each completion alone, by score: стартап (in 1 document of 5) in 3;
        // ставка in 1 and 3 and стать in 2 score alike (1 of 3 words, in 2 of
        // 5 documents): by number; сталь in 4 (2 of 4 words, in 3 of 5) above
        // стать in 4 (1 of 4, in 2 of 5); сталь in 1 and 2 (1 of 3, in 3 of 5)
        {"СТА", {3, 1, 2, 3, 4, 4, 1, 2}},
        // as above with налог; налог in 2 scores as сталь in 2 did (1 of 3
        // words, in 3 of 5 documents): one record
        {"ста нал", {3, 5, 1, 2, 3, 4, 4, 1, 2, 3}},
        // no document holds both words: each completed alone; налог in 5
        // (1 of 1 word, in 3 of 5 documents) above прибыль in 4 (1 of 4, in 1
        // of 5) above налог in 2 and 3 (1 of 3)
        {"прибыль налог", {5, 4, 2, 3}},
        // a word found nowhere is left out
        {"налог неизвестное", {5, 2, 3}},
        // two letters are not completed; nothing begins with xyz
        {"ст", {}},
        {"xyz", {}},
        {"", {}},
    });

    CHighlightWords highlight;
    const SearchResultSet both = Search("ста нал", highlight);
    const SearchResult& last = *std::prev(both.end(), 2);
    EXPECT_EQ(last.docNumber, 2u);
    EXPECT_EQ(last.firstPosition, 2u) << "the record налог found first, not сталь's at 0";
    EXPECT_EQ(last.path, "content/b.html");
    // One set per completion's base form, the words' completions in turn.
    ASSERT_EQ(highlight.size(), 5u);
    EXPECT_TRUE(highlight[0].contains("ставкой"));
    EXPECT_EQ(highlight[1], (std::set<std::string>{"сталь", "стали", "сталью"}));
    EXPECT_EQ(highlight[2], std::set<std::string>{"стартап"}) << "a word the dictionary lacks";
    EXPECT_TRUE(highlight[3].contains("стала"));
    EXPECT_EQ(highlight[4],
              (std::set<std::string>{"налог", "налога", "налоги", "налогов", "налогами"}));
    Search("ст", highlight);
    EXPECT_EQ(highlight, CHighlightWords{{"ст"}});
}

TEST_F(SearchCommandTest, AZeroWordCountLeavesTheRecordsOfItsSearchWithoutPaths)
{
    // Document 3 has no word count: a search that reaches it as a found
    // document stops there, and the records it made keep no path until a
    // later search of the same command reads the paths of all.
    Build({{"content/a.html", {"ставка", "x"}},
           {"content/b.html", {"сталь", "стать"}},
           {"content/c.html", {"сталь", "стать", "стартап"}},
           {"content/d.html", {"ставка", "стать"}},
           {"content/e.html", {"стая"}}},
          3);
    ExpectRankedWithPaths({
        // completed to ставка (1 and 4), сталь (2, then stops at 3), стартап
        // (stops at once), стать (2, then stops), стая (5), which reads every
        // path. стая: 1 of 1 word; ставка in 1 and 4 and сталь in 2: 1 of 2,
        // in 2 of 5 documents; стать in 2: 1 of 2, in 3 of 5
        {"ста",
         {{5, "content/e.html"},
          {1, "content/a.html"},
          {2, "content/b.html"},
          {4, "content/d.html"},
          {2, "content/b.html"}}},
        // completed to стать alone: 2, then it stops
        {"стат", {{2, ""}}},
        // found directly: 2, then it stops
        {"стали", {{2, ""}}},
        {"ставка", {{1, "content/a.html"}, {4, "content/d.html"}}},
        // its only document stops it before anything is found, completed too
        {"стартап", {}},
    });
}

TEST_F(SearchCommandTest, AnIndexThatKeepsYoRanksBothSpellings)
{
    // отчёт is in 1 and 3 (and отчет in 2 and 3), ёлка in 1 and елка in 3.
    Build({{"content/a.html", {"отчёт", "x", "ёлка"}},
           {"content/b.html", {"отчет", "авансовый", "налог"}},
           {"content/c.html", {"елка", "отчёт", "отчет"}},
           {"content/d.html", {"x"}}});
    ExpectRanked({
        // both spellings, one word: 2 of 3 words in 3, then 1 and 2 by number
        {"ОТЧЁТ", {3, 1, 2}},
        // spelt with е and unknown to the dictionary: as written only
        {"отчет", {2, 3}},
        // both words 1 apart in 3, 2 apart in 1
        {"ёлки отчёт", {3, 1}},
        // completed to елка (in 1 of 4 documents) and ёлка (елка and ёлка, in
        // 2 of 4), all 1 of 3 words: елка in 3, then ёлка in 1 and 3
        {"ёлк", {3, 1, 3}},
        // completed to елка only
        {"елк", {3}},
        // completed to отчет (in 2 of 4 documents) and отчёт (both
        // spellings, in 3 of 4): отчет in 2 and 3, отчёт in 3 (2 of 3
        // words), then in 1 and 2
        {"отчё", {2, 3, 3, 1, 2}},
        {"отче", {2, 3}},
        {"авансовый отчёт", {2}},
    });
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
    EXPECT_EQ(ScanRecords(yo), ScanRecords(ye));
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
        return ScanRecords(results);
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

// The search against a plain scan of the pages' texts, over libraries made
// at random (fixed seeds).
namespace
{
// Words as pages and queries write them: forms of the paradigms, in both
// spellings of "ё" and with capitals, and words the dictionary lacks.
const std::vector<std::string> kWritten = {
    "налог",  "налога", "налоги",    "налогов",    "налогами",  "Налоги",  "НАЛОГ",  "ставка",
    "ставки", "ставку", "ставкой",   "Ставка",     "сталь",     "стали",   "сталью", "Стали",
    "стать",  "стал",   "стала",     "прибыль",    "прибыли",   "отчёт",   "отчёта", "отчёты",
    "отчет",  "отчета", "Отчёт",     "ОТЧЁТА",     "ёлка",      "ёлки",    "ёлок",   "елка",
    "елки",   "Ёлка",   "авансовый", "авансового", "авансовые", "стартап", "стая",   "платёж",
    "платеж", "ндс",    "НДС",       "2024",       "x",         "на",      "и",
};

std::vector<std::pair<std::string, std::string>> RandomPages(std::mt19937& random, int nPages,
                                                             std::string_view always = {})
{
    std::vector<std::pair<std::string, std::string>> pages;
    for (int nPage = 0; nPage < nPages; ++nPage)
    {
        std::string text(always);
        const std::size_t nWords = 1 + random() % (nPage % 7 == 0 ? 400 : 12);
        for (std::size_t i = 0; i < nWords; ++i)
        {
            if (!text.empty())
                text += random() % 4 ? " " : ", ";
            text += kWritten[random() % kWritten.size()];
        }
        pages.emplace_back("content/d" + std::to_string(nPage) + ".html", text);
    }
    return pages;
}

// One to three words, prefixes of words among them, or a word found nowhere.
std::string RandomQuery(std::mt19937& random)
{
    std::string query;
    for (std::size_t i = 0, nWords = 1 + random() % 3; i < nWords; ++i)
    {
        if (i)
            query += random() % 3 ? " " : ", ";
        const std::string& word = kWritten[random() % kWritten.size()];
        switch (random() % 4)
        {
        case 0:
        {
            const std::u32string letters = CTextUtils::ToUtf32(word);
            query += CTextUtils::FromUtf32(letters.substr(0, 1 + random() % 4));
            break;
        }
        case 1: query += random() % 4 ? word : "неизвестное"; break;
        default: query += word;
        }
    }
    return query;
}
} // namespace

class SearchScanTest : public DocumentSearchTest
{
protected:
    // Searches every query and compares records and highlight words with
    // the scan's; returns the search's records by query.
    std::map<std::string, SearchResultSet> ExpectAsScanned(const CSearchScanReference& reference,
                                                           const std::vector<std::string>& queries)
    {
        std::map<std::string, SearchResultSet> found;
        for (const std::string& query : queries)
        {
            CHighlightWords highlight, expectedHighlight;
            SearchResultSet& results = found[query];
            results.clear();
            CDocumentSearch(m_index, m_morpho).Search(query, results, highlight);
            EXPECT_EQ(ScanRecords(results), reference.Search(query, expectedHighlight)) << query;
            EXPECT_EQ(highlight, expectedHighlight) << query;
        }
        return found;
    }
};

TEST_F(SearchScanTest, SearchFindsWhatAScanOfThePagesFinds)
{
    // The third and fourth libraries have a document without a word count.
    const std::vector<std::pair<unsigned, std::uint32_t>> libraries = {
        {1, 0}, {2, 0}, {3, 7}, {4, 30}};
    for (const auto& [nSeed, nZeroCountDocument] : libraries)
    {
        SCOPED_TRACE("seed " + std::to_string(nSeed));
        std::mt19937 random(nSeed);
        const auto pages = RandomPages(random, 40);
        m_index.FreeData();
        m_morpho.FreeData();
        BuildPublished(pages, nZeroCountDocument, "fulltext" + std::to_string(nSeed));
        const CSearchScanReference reference(kParadigms, pages,
                                             nZeroCountDocument
                                                 ? std::set<std::uint32_t>{nZeroCountDocument}
                                                 : std::set<std::uint32_t>{});
        std::vector<std::string> queries;
        for (int i = 0; i < 300; ++i)
            queries.push_back(RandomQuery(random));
        ExpectAsScanned(reference, queries);
    }
}

TEST_F(SearchScanTest, LargeSetsComeAsScannedWithEveryDocumentOnce)
{
    // Hundreds of documents per word, so that sets are sorted the way large
    // ones are; "всегда" and "всегдашний" are in every document (all their
    // scores are 0, and "всег" finds every document twice with equal keys).
    std::mt19937 random(11);
    const auto pages = RandomPages(random, 700, "всегда всегдашний");
    BuildPublished(pages);
    const CSearchScanReference reference(kParadigms, pages);
    const auto found = ExpectAsScanned(reference, {"налог", "стали", "всегда", "налоги ставки",
                                                   "ста", "всегда прибыль", "стат", "стая x",
                                                   "всег", "отчёт", "ёлк", "ндс 2024"});
    for (const std::string query : {"налог", "стали", "всегда", "ста", "всег", "отчёт"})
        EXPECT_GT(found.at(query).size(), 256u) << query;
    for (const std::string query : {"налог", "всегда", "всег", "отчёт"})
    {
        std::set<std::uint32_t> documents;
        for (const SearchResult& result : found.at(query))
            documents.insert(result.docNumber);
        EXPECT_EQ(documents.size(), found.at(query).size()) << query << ": each document once";
        EXPECT_EQ(documents.size(), reference.PagesWith(query == "всег" ? "всегда" : query))
            << query;
    }
    EXPECT_EQ(found.at("всегда").size(), 700u);
    EXPECT_EQ(found.at("всегда").begin()->docNumber, 1u) << "all scores 0: by document";
}

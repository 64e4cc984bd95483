#include "FullTextSearch.h"
#include "DocumentSearch.h"
#include "FullTextSearch2.h"
#include "SearchFileBytes.h"

#include <gtest/gtest.h>

namespace
{
using Positions = std::vector<WordPosition>;
using Words = std::set<std::string>;

// Node of a phrase index: word, left flag, right offset, then per document
// (delta, position deltas).
CBytes& PhraseNode(CBytes& bytes, std::string_view word, bool bLeft, std::uint32_t nRight,
                   const std::vector<std::pair<unsigned, std::vector<unsigned>>>& documents)
{
    bytes.U8(static_cast<unsigned>(word.size())).U16(static_cast<unsigned>(documents.size()));
    bytes.U8(bLeft ? 1 : 0).U32(nRight).Text(word);
    for (const auto& document : documents)
        bytes.U16(static_cast<unsigned>(document.second.size()));
    for (const auto& [nDelta, positions] : documents)
    {
        bytes.U16(nDelta);
        for (const unsigned nPosition : positions)
            bytes.U16(nPosition);
    }
    return bytes;
}

// The letter н (1085): налог at the root, на to its left with наличные to
// the right of на, ндс to the right of the root.
std::string LetterTree()
{
    CBytes bytes;
    bytes.Text("KALIMOR_INDEX_2 ");
    PhraseNode(bytes, "\xED\xE0\xEB\xEE\xE3", true, 75, {{3, {4, 6}}, {2, {7}}}); // налог, 16..43
    PhraseNode(bytes, "\xED\xE0", false, 59, {{1, {0}}});                         // на, 43..59
    PhraseNode(bytes, "\xED\xE0\xEB\xE8\xF7\xED\xFB\xE5", false, 0, {}); // наличные, 59..75
    PhraseNode(bytes, "\xED\xE4\xF1", false, 0, {{5, {1, 1}}});          // ндс, 75..94
    EXPECT_EQ(bytes.Size(), 94u);
    return bytes.Data();
}

std::string NumbersFile(unsigned nWidth,
                        const std::vector<std::pair<std::string, unsigned>>& documents)
{
    CBytes bytes;
    bytes.Text("KALIMOR_FNAMES_2").U8(nWidth);
    for (const auto& [path, nCount] : documents)
    {
        bytes.Text(path).Zeros(nWidth - path.size()).U16(nCount);
    }
    return bytes.Data();
}

std::string DefaultNumbers()
{
    return NumbersFile(15, {{"ontent/a/b.htm", 100},
                            {"content/a/b.htm", 200},
                            {"/x.htm", 0},
                            {"", 4},
                            {"/\xED\xE4\xF1.htm", 50}});
}

// A folder with every phrase index file: the letter н and id 0 hand-laid,
// the others empty (their magic alone).
void WriteIndexFolder(const CTempDir& dir, const std::string& letterTree,
                      const std::string& numbers)
{
    for (const int nId : GetSearchIndexIds())
        WriteFileText(dir.File("phrase_index." + std::to_string(nId)), "KALIMOR_INDEX_2 ");
    WriteFileText(dir.File("phrase_index.1085"), letterTree);
    CBytes other;
    other.Text("KALIMOR_INDEX_2 ");
    PhraseNode(other, "2010", false, 0, {{2, {3}}});
    other.Save(dir.File("phrase_index.0"));
    WriteFileText(dir.File("phrase_numbers.dat"), numbers);
}

Positions Lookup(CFullTextSearch2& index, std::string_view word)
{
    Positions positions;
    index.GetWordPositions(word, positions);
    return positions;
}
} // namespace

TEST(FullTextSearch2, FindsThePositionsOfExactlyTheWord)
{
    CTempDir dir;
    WriteIndexFolder(dir, LetterTree(), DefaultNumbers());
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    CLogCapture log(1);
    EXPECT_EQ(Lookup(index, "налог"), (Positions{{3, 4}, {3, 10}, {5, 7}}));
    EXPECT_EQ(Lookup(index, "на"), (Positions{{1, 0}}));
    EXPECT_EQ(Lookup(index, "ндс"), (Positions{{5, 1}, {5, 2}}));
    EXPECT_EQ(Lookup(index, "2010"), (Positions{{2, 3}})); // digits live in the file of id 0
    EXPECT_EQ(Lookup(index, "наличные"), Positions{});     // in the tree with no documents
    for (const std::string_view absent : {"налоги", "н", "нб", "ня", "Налог", "налог на", "ставка"})
        EXPECT_EQ(Lookup(index, absent), Positions{}) << absent;
    EXPECT_EQ(log.Text(), "") << "a missing word is not an error";

    Positions positions{{9, 9}};
    index.GetWordPositions("на", positions);
    EXPECT_EQ(positions, (Positions{{9, 9}, {1, 0}})) << "positions are appended";
    EXPECT_EQ(Lookup(index, "₽"), Positions{});
    EXPECT_TRUE(log.Contains("Can't convert word to cp1251"));
}

TEST(FullTextSearch2, StartWordsFindEveryWordWithThePrefix)
{
    CTempDir dir;
    WriteIndexFolder(dir, LetterTree(), DefaultNumbers());
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    EXPECT_EQ(index.GetStartWords("н"), (Words{"на", "наличные", "налог", "ндс"}));
    EXPECT_EQ(index.GetStartWords("на"), (Words{"на", "наличные", "налог"}));
    EXPECT_EQ(index.GetStartWords("(нал)"), (Words{"наличные", "налог"}));
    EXPECT_EQ(index.GetStartWords("налог"), (Words{"налог"}));
    EXPECT_EQ(index.GetStartWords("налоги"), Words{});
    EXPECT_EQ(index.GetStartWords("налог на"), Words{});
    EXPECT_EQ(index.GetStartWords(""), Words{});
    EXPECT_EQ(index.GetStartWords("20"), (Words{"2010"}));
    EXPECT_EQ(index.GetStartWords("ж"), Words{});
}

TEST(FullTextSearch2, DocumentList)
{
    CTempDir dir;
    WriteIndexFolder(dir, LetterTree(), DefaultNumbers());
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    CLogCapture log(1);
    EXPECT_EQ(index.GetDocCount(), 5u);
    EXPECT_EQ(index.GetWordsCountInDoc(1), 100u);
    EXPECT_EQ(index.GetWordsCountInDoc(5), 50u);
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(index.GetWordsCountInDoc(3), 0u);
    EXPECT_TRUE(log.Contains("Can't read words count"));
    EXPECT_EQ(index.GetWordsCountInDoc(0), 0u) << "record 0 would read the header";
    EXPECT_EQ(index.GetWordsCountInDoc(6), 0u);
    EXPECT_EQ(index.GetWordsCountInDoc(0xFFFFFFFFu), 0u);

    SearchResultSet results;
    for (const std::uint32_t nDoc : {1u, 2u, 4u, 5u, 6u, 0u})
        results.insert({nDoc, "unchanged", 0, 0, 0.0, nDoc});
    index.FillDocumentPathByNumber(results);
    std::vector<std::string> paths;
    for (const SearchResult& result : results)
        paths.push_back(result.path);
    // Sorted by span (here the document number): 0, 1, 2, 4, 5, 6.
    EXPECT_EQ(paths, (std::vector<std::string>{"unchanged", "/a/b.htm", "content/a/b.htm", "",
                                               "/ндс.htm", "unchanged"}));
    EXPECT_TRUE(log.Contains("Can't read path"));

    // A longer list after a reload is counted again.
    index.FreeData();
    WriteFileText(
        dir.File("phrase_numbers.dat"),
        NumbersFile(2,
                    {{"/a", 1}, {"/b", 1}, {"/c", 1}, {"/d", 1}, {"/e", 1}, {"/f", 1}, {"/g", 1}}));
    ASSERT_TRUE(index.LoadData());
    EXPECT_EQ(index.GetDocCount(), 7u);
}

TEST(FullTextSearch2, ZeroPathWidthMeansNoDocuments)
{
    CTempDir dir;
    WriteIndexFolder(dir, LetterTree(), NumbersFile(0, {}) + "junk");
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    CLogCapture log(1);
    EXPECT_EQ(index.GetDocCount(), 0u);
    EXPECT_TRUE(log.Contains("Can't read path length"));
    SearchResultSet results{{1, "", 0, 0, 0.0, 0}};
    index.FillDocumentPathByNumber(results);
    EXPECT_EQ(results.begin()->path, "");
}

TEST(FullTextSearch2, LoadingNeedsEveryFileOfItsOwnType)
{
    CTempDir dir;
    WriteIndexFolder(dir, LetterTree(), DefaultNumbers());
    CFullTextSearch2 index(dir.Path());
    CLogCapture log(5);
    Positions positions;
    index.GetWordPositions("налог", positions);
    EXPECT_TRUE(log.Contains("Index id 1085 incorrect"));

    WriteFileText(dir.File("phrase_index.1090"), "KALIMOR_INDEX_1 ");
    EXPECT_FALSE(index.LoadData());
    EXPECT_TRUE(
        log.Contains("CFullTextSearch2::LoadIndex indexPath: " + dir.File("phrase_index.1090")));
    EXPECT_TRUE(log.Contains("Incorrect index file format (" + dir.File("phrase_index.1090") +
                             ". Closing"));
    EXPECT_FALSE(index.LoadIndex(1090));
    EXPECT_TRUE(index.LoadIndex(1085));
    EXPECT_FALSE(index.LoadIndex(1104));
    EXPECT_TRUE(log.Contains("Can't get path for index with id 1104"));
    EXPECT_EQ(Lookup(index, "налог").size(), 3u) << "what loaded before the failure still answers";

    std::remove(dir.File("phrase_index.1090").c_str());
    EXPECT_FALSE(index.LoadData());
    EXPECT_TRUE(log.Contains("Can't open handles for " + dir.File("phrase_index.1090")));
    EXPECT_FALSE(CFullTextSearch2().LoadNumbers());
    EXPECT_TRUE(log.Contains("Can't get path for phrase_numbers.dat"));
}

TEST(FullTextSearch2, DamagedTreesEndTheirBranchWithALogLine)
{
    CTempDir dir;
    struct CCase
    {
        const char* m_szName;
        std::string m_tree;
        const char* m_szLog;
    };
    std::vector<CCase> cases;
    {
        // The right child of the root is the root itself.
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ");
        PhraseNode(bytes, "\xED\xE0", false, 16, {{1, {0}}});
        cases.push_back({"cycle", bytes.Data(), "Index tree loops back to offset 16"});
    }
    {
        // A left child whose right offset leads back to the root.
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ");
        PhraseNode(bytes, "\xED\xE0", true, 0, {});
        PhraseNode(bytes, "\xED", false, 16, {});
        cases.push_back({"path cycle", bytes.Data(), "Index tree loops back to offset 16"});
    }
    {
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ").U8(2).U16(0xFFFF).U8(0).U32(0).Text("\xED\xE0");
        for (int i = 0; i < 8; ++i)
            bytes.U16(0xFFFF);
        cases.push_back(
            {"counts past the end", bytes.Data(), "Index node runs past the end of the file"});
    }
    {
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ").U8(0).U16(0).U8(0).U32(0);
        cases.push_back({"word length 0", bytes.Data(), "Invalid word length"});
    }
    {
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ").U8(200).U16(0).U8(0).U32(0).Text("\xED\xE0");
        cases.push_back({"word past the end", bytes.Data(), "Can't read word"});
    }
    {
        CBytes bytes;
        bytes.Text("KALIMOR_INDEX_2 ");
        PhraseNode(bytes, "\xED\xE0", true, 0xFFFFFFF0u, {});
        cases.push_back(
            {"offsets past the end", bytes.Data(), "Invalid offset or length. offset: 4294967280"});
    }
    for (const CCase& test : cases)
    {
        WriteIndexFolder(dir, test.m_tree, DefaultNumbers());
        CFullTextSearch2 index(dir.Path());
        ASSERT_TRUE(index.LoadData()) << test.m_szName;
        CLogCapture log(1);
        for (const std::string_view word : {"на", "н", "ня", "нааа"})
        {
            Positions positions;
            index.GetWordPositions(word, positions);
            EXPECT_LE(positions.size(), 1u) << test.m_szName;
            index.GetStartWords(word);
        }
        EXPECT_TRUE(log.Contains(test.m_szLog)) << test.m_szName << ": " << log.Text();
    }
}

TEST(FullTextSearch, FirstGenerationIsOpenedAndChecked)
{
    CTempDir dir;
    for (const int nId : GetSearchIndexIds())
        WriteFileText(dir.File("index." + std::to_string(nId)), "KALIMOR_INDEX_1 ");
    CFullTextSearch index(dir.Path() + "/");
    CLogCapture log(1);
    EXPECT_FALSE(index.LoadData());
    EXPECT_TRUE(log.Contains("Can't open handles for " + dir.File("numbers.dat")));
    WriteFileText(dir.File("numbers.dat"), "KALIMOR_FNAMES_2");
    EXPECT_FALSE(index.LoadData());
    EXPECT_TRUE(
        log.Contains("Incorrect index file format (" + dir.File("numbers.dat") + ". Closing"));
    WriteFileText(dir.File("numbers.dat"), "KALIMOR_FNAMES_1");
    EXPECT_TRUE(index.LoadData());
    EXPECT_TRUE(index.IsLoaded());
    index.FreeData();
    EXPECT_FALSE(index.IsLoaded());
}

TEST(SearchResults, OrderedBySpanThenScoreThenDocument)
{
    SearchResultSet results;
    results.insert({7, "", 0, 5, 0.5, 5});
    results.insert({3, "", 0, 0, 0.1, 0});
    results.insert({2, "", 0, 0, 0.9, 0});
    results.insert({1, "", 0, 0, 0.1, 0});
    results.insert({1, "other", 4, 4, 0.1, 0}); // equal on span, score and number: ignored
    std::vector<std::uint32_t> order;
    for (const SearchResult& result : results)
        order.push_back(result.docNumber);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{2, 1, 3, 7}));
    EXPECT_EQ(std::next(results.begin())->path, "");
}

TEST(FullTextSearch2, ADocumentTwiceInAWordsNodeIsWalkedAsTheWalkDefines)
{
    // A damaged node: налог names document 1 twice (a step of 0). The walk
    // meets document 1 with each of налог's entries in turn, so it is found
    // twice, with different first positions and spans.
    CBytes tree;
    tree.Text("KALIMOR_INDEX_2 ");
    PhraseNode(tree, "\xED\xE0\xEB\xEE\xE3", false, 49,
               {{1, {5}}, {0, {2, 1}}, {1, {0}}});                    // налог, 16..49
    PhraseNode(tree, "\xED\xE4\xF1", false, 0, {{1, {0}}, {1, {4}}}); // ндс
    CTempDir dir;
    WriteIndexFolder(dir, tree.Data(), NumbersFile(6, {{"/a.htm", 10}, {"/b.htm", 20}}));
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    CMorphoSearch morpho; // no dictionary: words are searched as written
    SearchResultSet results;
    CDocumentSearch(index, morpho).FindDocuments("налог ндс", results);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> found; // document, span
    for (const SearchResult& result : results)
        found.emplace_back(result.docNumber, result.span);
    EXPECT_EQ(found,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 2}, {2, 4}, {1, 5}}));
}

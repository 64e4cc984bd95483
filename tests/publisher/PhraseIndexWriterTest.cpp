#include "PhraseIndexWriter.h"
#include "FullTextSearch.h"
#include "FullTextSearch2.h"
#include "SearchUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace
{
using Positions = std::vector<WordPosition>;

unsigned U16At(const std::string& bytes, std::size_t nOffset)
{
    return (static_cast<unsigned char>(bytes[nOffset]) << 8) |
           static_cast<unsigned char>(bytes[nOffset + 1]);
}

std::uint32_t U32At(const std::string& bytes, std::size_t nOffset)
{
    return (U16At(bytes, nOffset) << 16) | U16At(bytes, nOffset + 2);
}

// Depth of the tree at nOffset and number of its nodes, read straight from
// the bytes of a phrase index.
std::pair<int, int> TreeShape(const std::string& bytes, std::size_t nOffset)
{
    const std::size_t nLength = static_cast<unsigned char>(bytes[nOffset]);
    const unsigned nDocs = U16At(bytes, nOffset + 1);
    const bool bLeft = bytes[nOffset + 3] != 0;
    const std::uint32_t nRight = U32At(bytes, nOffset + 4);
    const std::size_t nCounts = nOffset + 8 + nLength;
    std::size_t nPositions = 0;
    for (unsigned i = 0; i < nDocs; ++i)
        nPositions += U16At(bytes, nCounts + std::size_t{2} * i);
    std::pair<int, int> shape{1, 1};
    for (const auto& [bHas, nChild] :
         {std::pair{bLeft, nCounts + std::size_t{2} * (std::size_t{2} * nDocs + nPositions)},
          std::pair{nRight != 0, std::size_t{nRight}}})
    {
        if (!bHas)
            continue;
        const auto child = TreeShape(bytes, nChild);
        shape.first = std::max(shape.first, child.first + 1);
        shape.second += child.second;
    }
    return shape;
}
} // namespace

TEST(PhraseIndexWriter, RoundTripThroughTheReader)
{
    // Random documents over a small vocabulary, with the expected answers
    // kept beside them.
    const std::vector<std::string> vocabulary = {"налог",  "налоги", "на",   "ндс",  "ставка",
                                                 "срок",   "ёлка",   "2010", "vat",  "из-за",
                                                 "яблоко", "а",      "учёт", "учет", "уплата"};
    std::mt19937 random(7);
    CPhraseIndexWriter writer;
    std::map<std::string, Positions> expected;
    for (std::uint32_t nDoc = 1; nDoc <= 60; ++nDoc)
    {
        std::vector<std::string> words;
        const std::size_t nWords = random() % 300;
        for (std::size_t i = 0; i < nWords; ++i)
        {
            words.push_back(vocabulary[random() % vocabulary.size()]);
            expected[words.back()].push_back({nDoc, static_cast<std::uint32_t>(i)});
        }
        ASSERT_EQ(writer.AddDocumentWords("/doc" + std::to_string(nDoc) + ".htm", words), nDoc);
    }
    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    EXPECT_EQ(writer.Statistics().m_nDroppedOccurrences, 0u);

    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    CFullTextSearch generation1(dir.Path());
    EXPECT_TRUE(generation1.LoadData());
    for (const std::string& word : vocabulary)
    {
        Positions positions;
        index.GetWordPositions(word, positions);
        EXPECT_EQ(positions, expected[word]) << word;
    }
    EXPECT_EQ(index.GetStartWords("нал"), (std::set<std::string>{"налог", "налоги"}));
    EXPECT_EQ(index.GetStartWords("уч"), (std::set<std::string>{"учет", "учёт"}));
    EXPECT_EQ(index.GetStartWords("ёл"), (std::set<std::string>{"ёлка"}));
    EXPECT_EQ(index.GetStartWords("из"), (std::set<std::string>{"из-за"}));
    EXPECT_EQ(index.GetStartWords("v"), (std::set<std::string>{"vat"}));
    EXPECT_EQ(index.GetDocCount(), 60u);
    SearchResultSet results{{42, "", 0, 0, 0.0, 0}};
    index.FillDocumentPathByNumber(results);
    EXPECT_EQ(results.begin()->path, "/doc42.htm");
}

TEST(PhraseIndexWriter, WordHandlesAreFoundOnceAndAddedToLikeWords)
{
    CPhraseIndexWriter writer;
    const std::uint32_t nDoc = writer.AddDocument("/a.htm", 4);
    const std::uint32_t nTax = writer.GetWordHandle("Налог");
    EXPECT_EQ(writer.GetWordHandle("налог"), nTax) << "one word whatever its case";
    EXPECT_NE(writer.GetWordHandle("ставка"), nTax);
    EXPECT_EQ(writer.GetWordHandle("日本"), CPhraseIndexWriter::kNoWord);
    EXPECT_EQ(writer.GetWordHandle(std::string(256, 'a')), CPhraseIndexWriter::kNoWord);
    EXPECT_EQ(writer.GetWordHandle(""), CPhraseIndexWriter::kNoWord);
    EXPECT_TRUE(writer.AddOccurrence(nTax, nDoc, 3));
    EXPECT_TRUE(writer.AddWord(nDoc, "НАЛОГ", 1)) << "AddWord reaches the same word";
    EXPECT_FALSE(writer.AddOccurrence(CPhraseIndexWriter::kNoWord, nDoc, 0));
    EXPECT_FALSE(writer.AddOccurrence(nTax, nDoc + 1, 0)) << "no such document";
    EXPECT_FALSE(writer.AddWord(nDoc, "日本", 2));
    EXPECT_EQ(writer.Statistics().m_nRejectedWords, 3u);

    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    Positions positions;
    index.GetWordPositions("налог", positions);
    EXPECT_EQ(positions, (Positions{{1, 1}, {1, 3}})) << "sorted when written";
    EXPECT_EQ(index.GetStartWords("с"), std::set<std::string>{})
        << "a handle without occurrences writes no node";
    EXPECT_EQ(writer.Statistics().m_nWords, 1u);
    // The first generation holds its magic only: nothing reads more.
    EXPECT_EQ(ReadFileText(dir.File("index.1085")), "KALIMOR_INDEX_1 ");
    EXPECT_EQ(ReadFileText(dir.File("numbers.dat")), "KALIMOR_FNAMES_1");
    CFullTextSearch generation1(dir.Path());
    EXPECT_TRUE(generation1.LoadData());
}

TEST(PhraseIndexWriter, TreesAreBalanced)
{
    CPhraseIndexWriter writer;
    std::vector<std::string> words;
    for (int i = 0; i < 1000; ++i)
        words.push_back("н" + std::to_string(100000 + i * 7919 % 1000)); // unsorted order
    writer.AddDocumentWords("/a", words);
    const std::vector<std::uint8_t> file = writer.BuildPhraseIndex(1085);
    const std::string bytes(file.begin(), file.end());
    const auto [nDepth, nNodes] = TreeShape(bytes, 16);
    EXPECT_EQ(nNodes, 1000);
    EXPECT_EQ(nDepth, 10) << "1000 words fit in a tree of depth 10";
    EXPECT_EQ(writer.BuildPhraseIndex(1090).size(), 16u)
        << "a letter without words is its magic alone";
}

TEST(PhraseIndexWriter, DocumentListChoosesTheNarrowestPathWidth)
{
    CPhraseIndexWriter writer;
    writer.AddDocument("/a.htm", 10);
    writer.AddDocument("ontent/папка/документ.htm", 70000);
    writer.AddDocument("", 0);
    const std::vector<std::uint8_t> file = writer.BuildPhraseNumbers();
    const std::string bytes(file.begin(), file.end());
    ASSERT_GE(bytes.size(), 17u);
    EXPECT_EQ(bytes.substr(0, 16), "KALIMOR_FNAMES_2");
    const unsigned nWidth = static_cast<unsigned char>(bytes[16]);
    EXPECT_EQ(nWidth, 25u) << "the longest path in Windows-1251 bytes";
    EXPECT_EQ(bytes.size(), 17u + 3 * (nWidth + 2));
    EXPECT_EQ(U16At(bytes, 17 + nWidth), 10u);
    EXPECT_EQ(U16At(bytes, 17 + 2 * nWidth + 2), 0xFFFFu) << "a count beyond 16 bits is capped";

    CPhraseIndexWriter empty;
    const std::vector<std::uint8_t> emptyFile = empty.BuildPhraseNumbers();
    ASSERT_EQ(emptyFile.size(), 17u);
    EXPECT_EQ(emptyFile[16], 1) << "the width is at least one byte";

    CPhraseIndexWriter tooLong;
    tooLong.AddDocument(std::string(256, 'a'), 1);
    EXPECT_TRUE(tooLong.BuildPhraseNumbers().empty());
    CPhraseIndexWriter noCodePage;
    noCodePage.AddDocument("/цена₽.htm", 1);
    CTempDir dir;
    EXPECT_FALSE(noCodePage.Save(dir.Path()));
}

TEST(PhraseIndexWriter, WhatSixteenBitFieldsCannotHoldIsLeftOutAndCounted)
{
    CPhraseIndexWriter writer;
    const std::uint32_t nDoc = writer.AddDocument("/long.htm", 100000);
    EXPECT_TRUE(writer.AddWord(nDoc, "налог", 5));
    EXPECT_TRUE(writer.AddWord(nDoc, "НАЛОГ", 70000)) << "stored lower case";
    EXPECT_TRUE(writer.AddWord(nDoc, "налог", 65000));
    // A first position beyond 16 bits has no step that reaches it.
    EXPECT_TRUE(writer.AddWord(nDoc, "ндс", 70000));
    EXPECT_FALSE(writer.AddWord(nDoc, "", 1));
    EXPECT_FALSE(writer.AddWord(nDoc, "₽", 1));
    EXPECT_FALSE(writer.AddWord(nDoc, std::string(256, 'a'), 1));
    EXPECT_FALSE(writer.AddWord(2, "налог", 1)) << "no such document";
    EXPECT_EQ(writer.Statistics().m_nRejectedWords, 4u);
    // Documents more than 65535 apart are bridged by entries without positions.
    for (int i = 0; i < 140000; ++i)
        writer.AddDocument("/d", 1);
    EXPECT_TRUE(writer.AddWord(70001, "налог", 1));
    EXPECT_TRUE(writer.AddWord(140001, "налог", 3));

    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    EXPECT_EQ(writer.Statistics().m_nOccurrences, 5u);
    EXPECT_EQ(writer.Statistics().m_nDroppedOccurrences, 1u)
        << "ндс at 70000 as its first position";
    EXPECT_EQ(writer.Statistics().m_nBridgeEntries, 2u);
    ASSERT_EQ(writer.Statistics().m_cutDocuments.count(1), 1u);
    EXPECT_EQ(writer.Statistics().m_cutDocuments.at(1), std::vector<std::string>{"ндс"});
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    Positions positions;
    index.GetWordPositions("налог", positions);
    EXPECT_EQ(positions, (Positions{{1, 5}, {1, 65000}, {1, 70000}, {70001, 1}, {140001, 3}}))
        << "steps of 16 bits reach further";
    positions.clear();
    index.GetWordPositions("ндс", positions);
    EXPECT_EQ(positions, Positions{});
    EXPECT_EQ(index.GetStartWords("нд"), std::set<std::string>{"ндс"});
}

TEST(PhraseIndexWriter, AWordInMoreDocumentsThanANodeHoldsKeepsThoseItWeighsMostInAndIsReported)
{
    // "и" is in all 70 000 documents of three words: once in most, twice in
    // every other one of the last 10 000. The node keeps the 5 000 where it
    // weighs most and, of the rest, the earliest.
    CPhraseIndexWriter writer;
    for (int i = 0; i < 70000; ++i)
    {
        const std::uint32_t nDoc = writer.AddDocument("/d" + std::to_string(i), 3);
        writer.AddWord(nDoc, "и", 1);
        if (i >= 60000 && i % 2 == 0)
            writer.AddWord(nDoc, "и", 2);
        if (i % 1000 == 0)
            writer.AddWord(nDoc, "ндс", 0);
    }
    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    const auto& statistics = writer.Statistics();
    ASSERT_EQ(statistics.m_overfullWords.size(), 1u);
    EXPECT_EQ(statistics.m_overfullWords[0], (std::pair<std::string, std::uint32_t>{"и", 4465}));
    EXPECT_EQ(statistics.m_nDroppedOccurrences, 4465u);
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    std::vector<WordDocument> documents;
    index.GetWordDocuments("и", documents);
    ASSERT_EQ(documents.size(), 65535u);
    std::set<std::uint32_t> kept;
    std::size_t nTwice = 0;
    for (const WordDocument& document : documents)
    {
        kept.insert(document.docNumber);
        nTwice += document.count == 2;
    }
    EXPECT_EQ(nTwice, 5000u) << "every document where the word weighs most is kept";
    EXPECT_TRUE(kept.contains(69999)) << "the last document that holds it twice";
    EXPECT_TRUE(kept.contains(60000)) << "the last of the first 60 000";
    EXPECT_TRUE(kept.contains(61070)) << "the 535th light one after them";
    EXPECT_FALSE(kept.contains(61072)) << "the 536th";
    EXPECT_FALSE(kept.contains(70000));
    Positions positions;
    index.GetWordPositions("ндс", positions);
    EXPECT_EQ(positions.size(), 70u) << "a rare word keeps every document";
}

TEST(PhraseIndexWriter, TheDocumentsKeptMakeRoomForTheEntriesThatBridgeToThem)
{
    // 65 535 documents would fit, but the last one lies two bridges away:
    // it weighs most, so two of the light ones make room.
    CPhraseIndexWriter writer;
    for (std::uint32_t nDoc = 1; nDoc <= 200000; ++nDoc)
    {
        writer.AddDocument("/d" + std::to_string(nDoc), 4);
        if (nDoc < 65535)
            writer.AddWord(nDoc, "и", 0);
    }
    writer.AddWord(200000, "и", 0);
    writer.AddWord(200000, "и", 1);
    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    EXPECT_EQ(writer.Statistics().m_nBridgeEntries, 2u);
    ASSERT_EQ(writer.Statistics().m_overfullWords.size(), 1u);
    EXPECT_EQ(writer.Statistics().m_overfullWords[0].second, 2u);
    CFullTextSearch2 index(dir.Path());
    ASSERT_TRUE(index.LoadData());
    std::vector<WordDocument> documents;
    index.GetWordDocuments("и", documents);
    ASSERT_EQ(documents.size(), 65533u);
    EXPECT_EQ(documents[65531].docNumber, 65532u);
    EXPECT_EQ(documents.back(), (WordDocument{200000, 0, 2}));
}

TEST(PhraseIndexWriter, AFileLoadedByAReaderIsNotReplaced)
{
    CTempDir dir;
    CPhraseIndexWriter writer;
    writer.AddDocumentWords("/a", {"налог"});
    ASSERT_TRUE(writer.Save(dir.Path()));
    {
        CFullTextSearch2 index(dir.Path());
        ASSERT_TRUE(index.LoadData());
        EXPECT_FALSE(writer.Save(dir.Path()));
    }
    EXPECT_TRUE(writer.Save(dir.Path()));
}

#include "MorphoSearch.h"
#include "SearchFileBytes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
using Forms = std::vector<std::string>;
constexpr std::uint32_t kNodesStart = 16 + 4 * 8192;

std::string Cp1251(std::string_view word)
{
    std::string bytes;
    EXPECT_TRUE(CSearchUtils::TCharToWin1251(word, bytes)) << word;
    return bytes;
}

// A dictionary file: the magic, the bucket table, then nodes added in order.
class CDictBytes
{
public:
    explicit CDictBytes(int nType = 1)
    {
        m_bytes.Text(nType == 1 ? "KALIMOR_WORDS_1 " : "KALIMOR_WORDS_2 ")
            .Zeros(std::size_t{4} * 8192);
    }
    std::uint32_t Offset() const { return static_cast<std::uint32_t>(m_bytes.Size()); }
    void SetBucket(std::string_view key, std::uint32_t nOffset)
    {
        m_bytes.PatchU32(16 + 4 * CSearchUtils::GetHash(Cp1251(key)), nOffset);
    }
    // A stem-and-ending node; returns its offset.
    std::uint32_t StemNode(std::string_view key, const std::vector<std::string_view>& endings,
                           bool bLeft, std::uint32_t nRight)
    {
        std::string body;
        for (const std::string_view ending : endings)
        {
            const std::string bytes = Cp1251(ending);
            body += static_cast<char>(bytes.size());
            body += bytes;
        }
        return Node(Cp1251(key), endings.size(), bLeft, nRight, body);
    }
    // A whole-word node: entries of (bytes taken from the key, tail).
    std::uint32_t WordNode(std::string_view key,
                           const std::vector<std::pair<unsigned, std::string_view>>& entries,
                           bool bLeft, std::uint32_t nRight)
    {
        std::string body;
        for (const auto& [nPrefix, tail] : entries)
        {
            const std::string bytes = Cp1251(tail);
            body += static_cast<char>(bytes.size());
            body += static_cast<char>(nPrefix);
            body += bytes;
        }
        return Node(Cp1251(key), entries.size(), bLeft, nRight, body);
    }
    std::uint32_t Node(const std::string& key, std::size_t nEntries, bool bLeft,
                       std::uint32_t nRight, const std::string& body, int nSize = -1)
    {
        const std::uint32_t nOffset = Offset();
        m_bytes.U16(nSize >= 0 ? nSize : static_cast<unsigned>(9 + key.size() + body.size()));
        m_bytes.U8(static_cast<unsigned>(key.size())).Text(key).U8(static_cast<unsigned>(nEntries));
        m_bytes.U8(bLeft ? 1 : 0).U32(nRight).Text(body);
        return nOffset;
    }
    void PatchU32(std::uint32_t nOffset, std::uint32_t nValue)
    {
        m_bytes.PatchU32(nOffset, nValue);
    }
    void Save(const std::string& strPath) const { m_bytes.Save(strPath); }

private:
    CBytes m_bytes;
};

// Every dictionary file present and empty; tests overwrite the ones they need.
void WriteEmptyDictionaries(const CTempDir& dir)
{
    std::filesystem::create_directories(dir.File("add"));
    std::filesystem::create_directories(dir.File("common"));
    for (const int nIndex : CMorphoSearch::GetDictIndexes())
        CDictBytes().Save(dir.File(CMorphoSearch::GetDictFileName(nIndex)));
}

CDictBytes NalogDictionary()
{
    CDictBytes dict;
    dict.SetBucket("налог", dict.StemNode("налог", {"", "а", "и", "ов"}, false, 0));
    return dict;
}
} // namespace

TEST(MorphoSearch, StemAndEndingsGiveTheBaseFormAndAllForms)
{
    CTempDir dir;
    WriteEmptyDictionaries(dir);
    NalogDictionary().Save(dir.File("common/words.1085"));
    CDictBytes ya;
    ya.SetBucket("я", ya.StemNode("я", {""}, false, 0));
    ya.Save(dir.File("common/words.1103"));

    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    CLogCapture log(1);
    EXPECT_EQ(morpho.GetBaseForms("налоги"), Forms{"налог"});
    EXPECT_EQ(morpho.GetBaseForms("налог"), Forms{"налог"});
    EXPECT_EQ(morpho.GetAllForms("налоги"), (Forms{"налог", "налога", "налоги", "налогов"}));
    EXPECT_EQ(morpho.GetBaseForms("я"), Forms{"я"}) << "a one-letter word is its own single split";
    for (const std::string_view word :
         {"налогу", "нало", "налогии", "Налоги", "nalog", "2010", "", "ёлка"})
    {
        EXPECT_EQ(morpho.GetBaseForms(word), Forms{}) << word;
        EXPECT_EQ(morpho.GetAllForms(word), Forms{}) << word;
    }
    EXPECT_EQ(log.Text(), "");
    EXPECT_EQ(morpho.GetBaseForms("н₽"), Forms{});
    EXPECT_TRUE(log.Contains("Can't convert word to cp1251"));
}

TEST(MorphoSearch, EqualKeysAreSearchedInBothSubtrees)
{
    CTempDir dir;
    WriteEmptyDictionaries(dir);
    CDictBytes dict;
    // The root matches nothing of "стали"; both of its children do.
    const std::uint32_t nRoot = dict.StemNode("стал", {"ь", "ью"}, true, 0);
    dict.StemNode("стал", {"ый", "и"}, false, 0);
    dict.PatchU32(nRoot + 2 + 1 + 4 + 1 + 1, dict.StemNode("стал", {"ин", "и", "ина"}, false, 0));
    dict.SetBucket("стал", nRoot);
    dict.Save(dir.File("common/words.1089"));
    // The same paradigm again in the additional dictionary.
    CDictBytes additional;
    additional.SetBucket("стал", additional.StemNode("стал", {"ин", "и"}, false, 0));
    additional.Save(dir.File("add/words.additional"));

    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_EQ(morpho.GetBaseForms("стали"), (Forms{"сталин", "сталый", "сталин"}));
    EXPECT_EQ(morpho.GetAllForms("стали"),
              (Forms{"сталин", "стали", "сталый", "стали", "сталин", "стали", "сталина"}));
    EXPECT_EQ(morpho.GetBaseForms("сталью"), Forms{"сталь"});
    EXPECT_EQ(morpho.GetBaseForms("сталина"), Forms{"сталин"});
}

TEST(MorphoSearch, WholeWordDictionary)
{
    CTempDir dir;
    WriteEmptyDictionaries(dir);
    CDictBytes other(2);
    other.SetBucket("шёл", other.WordNode("шёл", {{0, "идти"}, {3, ""}}, false, 0));
    other.SetBucket("идти", other.WordNode("идти", {{4, ""}}, false, 0));
    // Entries that take part of the key: "налогами" stands for "налог" +
    // "ами", base form "налог".
    other.SetBucket("налогами", other.WordNode("налогами", {{5, ""}, {5, "ами"}}, false, 0));
    other.Save(dir.File("common/words.other"));
    NalogDictionary().Save(dir.File("common/words.1085"));

    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_EQ(morpho.GetBaseForms("шёл"), Forms{"идти"});
    EXPECT_EQ(morpho.GetBaseForms("идти"), Forms{"идти"});
    EXPECT_EQ(morpho.GetBaseForms("налогами"), Forms{"налог"});
    EXPECT_EQ(morpho.GetBaseForms("налоги"), Forms{"налог"})
        << "the letter file after the other one";
    EXPECT_EQ(morpho.GetAllForms("шёл"), Forms{}) << "whole-word nodes add no forms";
    EXPECT_EQ(morpho.GetBaseForms("шё"), Forms{}) << "whole words are keyed by the whole word";
}

TEST(MorphoSearch, EmptyBucketsAndLoading)
{
    CTempDir dir;
    WriteEmptyDictionaries(dir);
    CDictBytes dict = NalogDictionary();
    dict.SetBucket("нал", 0x80000000u);
    dict.SetBucket("на", 0xFFFFFFFFu);
    dict.Save(dir.File("common/words.1085"));
    CMorphoSearch morpho(dir.Path());
    CLogCapture log(5);
    EXPECT_EQ(morpho.GetBaseForms("налоги"), Forms{});
    EXPECT_TRUE(log.Contains("Dictionary index 0 incorrect"));
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_TRUE(
        log.Contains("CMorphoSearch::LoadDict dictPath: " + dir.Path() + "/add/words.additional"));
    EXPECT_EQ(morpho.GetBaseForms("налоги"), Forms{"налог"});
    EXPECT_EQ(morpho.GetBaseForms("нал"), Forms{});
    EXPECT_EQ(morpho.GetBaseForms("на"), Forms{});

    WriteFileText(dir.File("common/words.1105"), "KALIMOR_INDEX_2 ");
    EXPECT_FALSE(morpho.LoadData());
    EXPECT_TRUE(
        log.Contains("Incorrect dictionary format (" + dir.Path() + "/common/words.1105. Closing"));
    std::filesystem::remove(dir.File("common/words.1105"));
    EXPECT_FALSE(morpho.LoadDict(1105));
    EXPECT_TRUE(log.Contains("Can't open handles for " + dir.Path() + "/common/words.1105"));
    EXPECT_FALSE(morpho.LoadDict(2));
    EXPECT_TRUE(log.Contains("Can't get path for dictionary with index 2"));
}

TEST(MorphoSearch, DamagedNodesEndTheirBranchWithALogLine)
{
    struct CCase
    {
        const char* m_szName;
        CDictBytes m_dict;
        const char* m_szLog;
    };
    std::vector<CCase> cases;
    const std::string key = Cp1251("налог");
    const std::string endingI = std::string(1, '\1') + Cp1251("и");
    {
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 1, false, 0, endingI, 0));
        cases.push_back({"node size 0", dict, "Invalid tree offset"});
    }
    {
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 1, false, 0, endingI, 60000));
        cases.push_back({"node past the end", dict, "Can't read tree node. Dict index: 1085"});
    }
    {
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 1, false, 0, endingI, 5));
        cases.push_back({"node shorter than its key", dict, "Tree node is shorter than its key"});
    }
    {
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 9, false, 0, endingI));
        cases.push_back({"entries past the node", dict, "Tree node entries run past the node"});
    }
    {
        // The right child of the root is the root: a cycle through an equal key.
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 1, false, kNodesStart, endingI));
        cases.push_back({"cycle", dict, "Dictionary tree loops back to offset 32784"});
    }
    {
        // Forty nodes with equal keys, each pointing left and right at the
        // next one: every node would be reached by 2^n paths.
        CDictBytes dict;
        for (int i = 0; i < 40; ++i)
            dict.Node(key, 1, i < 39, i < 39 ? kNodesStart + (i + 1) * (9 + 5 + 2) : 0, endingI);
        dict.SetBucket("налог", kNodesStart);
        cases.push_back({"shared subtrees", dict, "Dictionary tree loops back"});
    }
    {
        CDictBytes dict;
        dict.SetBucket("налог", dict.Node(key, 1, true, 0xFFFFFFF0u, endingI));
        cases.push_back(
            {"children past the end", dict, "Invalid offset or length. offset: 4294967280"});
    }
    for (const CCase& test : cases)
    {
        CTempDir dir;
        WriteEmptyDictionaries(dir);
        test.m_dict.Save(dir.File("common/words.1085"));
        CMorphoSearch morpho(dir.Path());
        ASSERT_TRUE(morpho.LoadData()) << test.m_szName;
        CLogCapture log(1);
        const Forms forms = morpho.GetAllForms("налоги");
        EXPECT_LE(forms.size(), 40u) << test.m_szName;
        EXPECT_LE(morpho.GetBaseForms("налоги").size(), 40u) << test.m_szName;
        EXPECT_TRUE(log.Contains(test.m_szLog)) << test.m_szName << ": " << log.Text();
    }
}

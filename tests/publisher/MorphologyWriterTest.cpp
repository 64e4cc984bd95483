#include "MorphologyWriter.h"
#include "MorphoSearch.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{
using Forms = std::vector<std::string>;

std::string Cp1251(std::string_view word)
{
    std::string bytes;
    EXPECT_TRUE(CSearchUtils::TCharToWin1251(word, bytes)) << word;
    return bytes;
}

unsigned U16At(const std::vector<std::uint8_t>& bytes, std::size_t nOffset)
{
    return (bytes[nOffset] << 8) | bytes[nOffset + 1];
}
} // namespace

TEST(MorphologyWriter, RoundTripThroughTheReader)
{
    CMorphologyWriter writer;
    EXPECT_TRUE(writer.AddParadigm({"налог", "налога", "налоги", "налогов", "налогами", "налоги"}));
    EXPECT_TRUE(writer.AddParadigm({"сталь", "стали", "сталью"}));
    EXPECT_TRUE(writer.AddParadigm({"стать", "стал", "стала", "стали", "стану"}));
    EXPECT_TRUE(writer.AddParadigm({"Ёлка", "ёлки", "ёлками"})) << "lower-cased";
    EXPECT_TRUE(writer.AddParadigm({"я"}));
    // Forms with no common stem go to the whole-word dictionary.
    EXPECT_TRUE(writer.AddParadigm({"идти", "иду", "шёл", "шла"}));
    EXPECT_TRUE(writer.AddAdditionalParadigm({"ндс", "ндфл"}));
    EXPECT_FALSE(writer.AddParadigm({"vat", "налог"})) << "a base form no lookup can reach";
    EXPECT_FALSE(writer.AddParadigm({"₽"}));
    EXPECT_FALSE(writer.AddAdditionalParadigm({"абв", "где"})) << "the additional file keeps stems";
    EXPECT_TRUE(writer.AddParadigm({"счёт", "счета", "2-й", "счёт"}));
    const auto& statistics = writer.Statistics();
    EXPECT_EQ(statistics.m_nParadigms, 8u);
    EXPECT_EQ(statistics.m_nStemParadigms, 7u);
    EXPECT_EQ(statistics.m_nRejectedParadigms, 3u);
    EXPECT_EQ(statistics.m_nRejectedForms, 3u); // vat, ₽, 2-й

    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    EXPECT_EQ(morpho.GetBaseForms("налогами"), Forms{"налог"});
    EXPECT_EQ(morpho.GetAllForms("налоги"),
              (Forms{"налог", "налога", "налоги", "налогов", "налогами"}));
    EXPECT_EQ(morpho.GetBaseForms("стали"), (Forms{"сталь", "стать"})) << "longest stem first";
    EXPECT_EQ(morpho.GetBaseForms("ёлками"), Forms{"ёлка"});
    EXPECT_EQ(morpho.GetBaseForms("я"), Forms{"я"});
    EXPECT_EQ(morpho.GetBaseForms("шёл"), Forms{"идти"});
    EXPECT_EQ(morpho.GetBaseForms("иду"), Forms{"идти"});
    EXPECT_EQ(morpho.GetAllForms("шла"), Forms{});
    EXPECT_EQ(morpho.GetBaseForms("ндфл"), Forms{"ндс"});
    EXPECT_EQ(morpho.GetBaseForms("счета"), Forms{"счёт"});
    EXPECT_EQ(morpho.GetBaseForms("2-й"), Forms{});
    EXPECT_EQ(morpho.GetBaseForms("налогу"), Forms{});
}

TEST(MorphologyWriter, ParadigmsSharingAStemAreAllFound)
{
    CMorphologyWriter writer;
    // Same stem "стал" for three paradigms, with more nodes around them in
    // the same bucket so that equal keys spread over both subtrees.
    writer.AddParadigm({"сталь", "стали"});
    writer.AddParadigm({"сталин", "стали"});
    writer.AddParadigm({"сталь", "стали", "сталью"});
    CTempDir dir;
    ASSERT_TRUE(writer.Save(dir.Path()));
    CMorphoSearch morpho(dir.Path());
    ASSERT_TRUE(morpho.LoadData());
    Forms bases = morpho.GetBaseForms("стали");
    std::sort(bases.begin(), bases.end());
    EXPECT_EQ(bases, (Forms{"сталин", "сталь", "сталь"}));
}

TEST(MorphologyWriter, LargeParadigmsAreSplitIntoNodesLedByTheBaseForm)
{
    CMorphoFileWriter writer(MORPHO_LAYOUT_STEMS);
    std::vector<std::string> forms{Cp1251("слово")};
    for (int i = 0; i < 600; ++i)
        forms.push_back(Cp1251("слово") + std::to_string(i));
    ASSERT_TRUE(writer.AddParadigm(forms));
    EXPECT_EQ(writer.NodeCount(), 3u) << "255 entries a node, each led by the base ending";

    EXPECT_FALSE(writer.AddParadigm({Cp1251("идти"), Cp1251("шёл")})) << "no stem";
    EXPECT_FALSE(writer.AddParadigm({std::string(256, 'a')}));
    EXPECT_FALSE(writer.AddParadigm({}));

    const std::vector<std::uint8_t> bytes = writer.Build();
    ASSERT_GT(bytes.size(), 16u + 4 * 8192);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "KALIMOR_WORDS_1 ");
    const std::size_t nBucket = 16 + 4 * CSearchUtils::GetHash(Cp1251("слово"));
    const std::size_t nRoot = (U16At(bytes, nBucket) << 16) | U16At(bytes, nBucket + 2);
    EXPECT_EQ(nRoot, 16u + 4 * 8192) << "the only bucket's tree starts right after the table";
    const unsigned nSize = U16At(bytes, nRoot);
    EXPECT_LE(nSize, 0xFFFFu);
    EXPECT_EQ(bytes[nRoot + 2], 5) << "key length";
    EXPECT_EQ(bytes[nRoot + 8], 255) << "entries in the middle node";

    CMorphoFileWriter whole(MORPHO_LAYOUT_WHOLE_WORDS);
    EXPECT_TRUE(whole.AddParadigm({Cp1251("идти"), Cp1251("шёл")}));
    EXPECT_EQ(whole.NodeCount(), 2u);
    const std::vector<std::uint8_t> wholeBytes = whole.Build();
    EXPECT_EQ(std::string(wholeBytes.begin(), wholeBytes.begin() + 16), "KALIMOR_WORDS_2 ");
}

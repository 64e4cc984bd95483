#include "SearchUtils.h"
#include "SearchFileBytes.h"

#include <gtest/gtest.h>

#include "TextUtils.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{
MFilePtr LoadBytes(const CTempDir& dir, const std::string& bytes)
{
    const std::string strPath = dir.File("file.dat");
    WriteFileText(strPath, bytes);
    return CSearchUtils::MFileLoad(strPath);
}
} // namespace

TEST(SearchFile, EveryMagicSetsItsTypeAndOthersAreRefused)
{
    CTempDir dir;
    const std::pair<std::string_view, std::uint32_t> cases[] = {
        {"KALIMOR_WORDS_1 ", 1}, {"KALIMOR_WORDS_2 ", 2}, {"KALIMOR_INDEX_1 ", 3},
        {"KALIMOR_FNAMES_1", 4}, {"KALIMOR_INDEX_2 ", 5}, {"KALIMOR_FNAMES_2", 6},
    };
    for (const auto& [magic, nType] : cases)
    {
        MFilePtr pFile = LoadBytes(dir, std::string(magic) + "tail");
        ASSERT_TRUE(pFile) << magic;
        EXPECT_EQ(pFile->type, nType) << magic;
        EXPECT_EQ(CSearchUtils::MFileGetSize(pFile.get()), 20u);
        EXPECT_EQ(CSearchUtils::MFileClose(std::move(pFile)), nullptr);
    }

    CLogCapture log;
    // Fifteen letters of a magic followed by a zero instead of the blank.
    EXPECT_FALSE(LoadBytes(dir, std::string("KALIMOR_WORDS_1") + '\0' + "more"));
    EXPECT_TRUE(log.Contains(
        "Exception on CSearchUtils::MFileLoad. Text: Dictionary have incorrect format " +
        dir.File("file.dat") + ". Error: "));
    EXPECT_FALSE(LoadBytes(dir, "KALIMOR_WORDS_"));
    EXPECT_FALSE(LoadBytes(dir, ""));
    EXPECT_TRUE(log.Contains("Text: Can't memory map "));
    EXPECT_FALSE(CSearchUtils::MFileLoad(dir.File("missing.dat")));
    EXPECT_TRUE(log.Contains("Text: Can't load " + dir.File("missing.dat") + ". Error: 2"));
    EXPECT_FALSE(CSearchUtils::MFileCheckHeader(nullptr));
    EXPECT_TRUE(log.Contains("Incorrect parameter mfile"));
}

TEST(SearchFile, ReadsStayInsideTheFile)
{
    CTempDir dir;
    MFilePtr pFile = LoadBytes(dir, "KALIMOR_INDEX_2 ");
    ASSERT_TRUE(pFile);
    char buffer[32];
    CLogCapture log;
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 0, 16, buffer), 16u);
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 16, 0, buffer), 0u);
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 16, 1, buffer), 0u);
    EXPECT_TRUE(log.Contains("Invalid offset or length. offset: 16; length: 1"));
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 15, 2, buffer), 0u);
    // An offset and length whose 32-bit sum wraps round must not pass.
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 0xFFFFFFFFu, 2, buffer), 0u);
    EXPECT_EQ(CSearchUtils::MFileReadULong(pFile.get(), 0xFFFFFFFEu, 77), 77u);
    EXPECT_EQ(CSearchUtils::MFileRead(pFile.get(), 0, 1, nullptr), 0u);
    EXPECT_TRUE(log.Contains("Invalid parameter buffer"));
    EXPECT_EQ(CSearchUtils::MFileRead(nullptr, 0, 1, buffer), 0u);
    EXPECT_EQ(CSearchUtils::MFileReadUChar(nullptr, 0, 9), 9);
}

TEST(SearchFile, BigEndianReadersAndTheirFallbacks)
{
    CTempDir dir;
    MFilePtr pFile = LoadBytes(
        dir, CBytes().Text("KALIMOR_FNAMES_2").U8(1).U8(2).U8(0).U8(0).U8(1).U8(0).Data());
    ASSERT_TRUE(pFile);
    EXPECT_EQ(CSearchUtils::MFileReadUChar(pFile.get(), 16, 0), 1);
    EXPECT_EQ(CSearchUtils::MFileReadUShort(pFile.get(), 16, 0), 0x0102);
    EXPECT_EQ(CSearchUtils::MFileReadULong(pFile.get(), 18, 0), 256u);
    // A read that ends exactly at the end succeeds; one byte further fails.
    EXPECT_EQ(CSearchUtils::MFileReadUShort(pFile.get(), 20, 5), 0x0100);
    EXPECT_EQ(CSearchUtils::MFileReadUShort(pFile.get(), 21, 5), 5);
    EXPECT_EQ(CSearchUtils::MFileReadULong(pFile.get(), 19, 0xABCDu), 0xABCDu);
}

TEST(SearchFile, ALoadedFileKeepsOutAnExclusiveWriterAndAWriterKeepsOutTheLoad)
{
    CTempDir dir;
    const std::string strPath = dir.File("words");
    WriteFileText(strPath, "KALIMOR_WORDS_1 ");
    MFilePtr pFile = CSearchUtils::MFileLoad(strPath);
    ASSERT_TRUE(pFile);
    const int fd = ::open(strPath.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    pFile = CSearchUtils::MFileClose(std::move(pFile));
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CLogCapture log;
    EXPECT_FALSE(CSearchUtils::MFileLoad(strPath));
    EXPECT_TRUE(log.Contains("Text: Can't load " + strPath));
    ::close(fd);
    EXPECT_TRUE(CSearchUtils::MFileLoad(strPath));
}

TEST(SearchHash, ReferenceValues)
{
    EXPECT_EQ(CSearchUtils::GetHash(""), 4096);
    EXPECT_EQ(CSearchUtils::GetHash("a"), 589);
    EXPECT_EQ(CSearchUtils::GetHash("abc"), 7482);
    EXPECT_EQ(CSearchUtils::GetHash("abcd"), 5328);
    EXPECT_EQ(CSearchUtils::GetHash("abcde"), 7137);
    EXPECT_EQ(CSearchUtils::GetHash("\xE4\xEE\xEC"), 5975);         // "дом"
    EXPECT_EQ(CSearchUtils::GetHash("\xED\xE0\xEB\xEE\xE3"), 2055); // "налог"
    for (const std::string_view text : {"x", "\xFF\xFF\xFF", "abcdefghijklmnopqrstuvwxyz"})
    {
        const int nHash = CSearchUtils::GetHash(text, 12345);
        EXPECT_GE(nHash, 0);
        EXPECT_LT(nHash, 8192);
    }
    EXPECT_NE(CSearchUtils::GetHash("abc", 1), CSearchUtils::GetHash("abc", 0));
}

TEST(SearchWords, IndexIdIsTheLowerCaseCyrillicFirstLetter)
{
    EXPECT_EQ(CSearchUtils::GetIndexForWord("ёлка"), 1105);
    EXPECT_EQ(CSearchUtils::GetIndexForWord("Ёлка"), -1);
    EXPECT_EQ(CSearchUtils::GetIndexForWord("2010"), -1);
    EXPECT_EQ(CSearchUtils::GetIndexForWord("абзац"), 1072);
    EXPECT_EQ(CSearchUtils::GetIndexForWord("я"), 1103);
    EXPECT_EQ(CSearchUtils::GetIndexForWord("ѐ"), -1); // U+0450, beside the range
    EXPECT_EQ(CSearchUtils::GetIndexForWord("Налог"), -1);
    EXPECT_EQ(CSearchUtils::GetIndexForWord(""), -1);
    const std::vector<int> ids = GetSearchIndexIds();
    ASSERT_EQ(ids.size(), 34u);
    EXPECT_EQ(ids.front(), 0);
    EXPECT_EQ(ids[1], 1072);
    EXPECT_EQ(ids.back(), 1105);
}

TEST(SearchWords, Windows1251Conversion)
{
    std::string bytes;
    ASSERT_TRUE(CSearchUtils::TCharToWin1251("налог", bytes));
    EXPECT_EQ(bytes, "\xED\xE0\xEB\xEE\xE3");
    ASSERT_TRUE(CSearchUtils::TCharToWin1251("Ёё€№", bytes));
    EXPECT_EQ(bytes, "\xA8\xB8\x88\xB9");
    EXPECT_FALSE(
        CSearchUtils::TCharToWin1251("100₽", bytes)); // the rouble sign is not in the code page
    EXPECT_FALSE(CSearchUtils::TCharToWin1251("日本", bytes));
    EXPECT_FALSE(CSearchUtils::TCharToWin1251("\xFF\xFE", bytes)); // not UTF-8
    EXPECT_TRUE(CSearchUtils::TCharToWin1251("", bytes));
    EXPECT_EQ(bytes, "");

    EXPECT_EQ(CSearchUtils::Win1251ToTChar("\xED\xE0\xEB\xEE\xE3"), "налог");
    EXPECT_EQ(CSearchUtils::Win1251ToTChar(std::string_view("\xE4\xEE\xEC\0\xFF", 5)), "дом");
    EXPECT_EQ(CSearchUtils::Win1251ToTChar("ab\x98"), ""); // 0x98 is no character
    // Every other byte goes there and back.
    for (int c = 1; c < 256; ++c)
    {
        if (c == 0x98)
            continue;
        const std::string byte(1, static_cast<char>(c));
        const std::string text = CSearchUtils::Win1251ToTChar(byte);
        ASSERT_FALSE(text.empty()) << c;
        ASSERT_TRUE(CSearchUtils::TCharToWin1251(text, bytes)) << c;
        EXPECT_EQ(bytes, byte);
    }
}

namespace
{
// iconv as the reference: the converters must agree with it on everything.
bool ReferenceConvert(const char* szTo, const char* szFrom, std::string_view in, std::string& out)
{
    iconv_t cd = ::iconv_open(szTo, szFrom);
    out.assign(in.size() * 4 + 4, '\0');
    char* pIn = const_cast<char*>(in.data());
    std::size_t nInLeft = in.size();
    char* pOut = out.data();
    std::size_t nOutLeft = out.size();
    const bool bOk =
        ::iconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft) != static_cast<std::size_t>(-1) &&
        nInLeft == 0;
    ::iconv_close(cd);
    out.resize(out.size() - nOutLeft);
    return bOk;
}
} // namespace

TEST(SearchWords, Windows1251ConversionAgreesWithIconvEverywhere)
{
    // Every two-byte string of the code page, so each byte is seen in the
    // middle of a text as well as alone.
    for (int a = 1; a < 256; ++a)
    {
        for (int b = 1; b < 256; b += 7)
        {
            const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            std::string expected;
            if (!ReferenceConvert("UTF-8", "CP1251", bytes, expected))
                expected.clear();
            ASSERT_EQ(CSearchUtils::Win1251ToTChar(bytes), expected) << a << " " << b;
        }
    }
    // Every character up to U+FFFF (surrogates aside), alone and inside a word,
    // and malformed and overlong sequences.
    std::vector<std::string> texts = {"\xC0\xAF",         "\xC1\xBF",    "\xD0",
                                      "\xD0\x41",         "\x80",        "\xE0\x80\xAF",
                                      "\xF0\x90\x80\x80", "\xED\xA0\x80"};
    for (char32_t ch = 1; ch < 0x10000; ++ch)
    {
        if (ch >= 0xD800 && ch <= 0xDFFF)
            continue;
        std::string text;
        CTextUtils::AppendUtf8(text, ch);
        texts.push_back(text);
        if (ch % 97 == 0)
            texts.push_back("ж" + text + "a");
    }
    for (const std::string& text : texts)
    {
        std::string expected;
        const bool bExpected = ReferenceConvert("CP1251", "UTF-8", text, expected) &&
                               expected.size() == CTextUtils::ToUtf16(text).size();
        std::string bytes = "left over";
        ASSERT_EQ(CSearchUtils::TCharToWin1251(text, bytes), bExpected) << text;
        ASSERT_EQ(bytes, bExpected ? expected : std::string()) << text;
    }
}

TEST(SearchWords, AsciiPathsAreTheirOwnConversion)
{
    // Every length up to 40, a zero and a non-ASCII byte at every place
    // (before, at and after the zero), as document paths come zero-padded.
    std::size_t nAscii = 0;
    for (std::size_t nLength = 0; nLength <= 40; ++nLength)
        for (std::size_t nZero = 0; nZero <= nLength; ++nZero)
            for (std::size_t nHigh = 0; nHigh <= nLength; nHigh += 1 + nLength / 9)
            {
                std::string bytes(nLength, 'a');
                for (std::size_t i = 0; i < nLength; ++i)
                    bytes[i] = static_cast<char>('a' + i % 26);
                if (nZero < nLength)
                    bytes[nZero] = '\0';
                if (nHigh < nLength && nHigh != nZero)
                    bytes[nHigh] = '\xED';
                std::string_view text = "unchanged";
                const bool bAscii = CSearchUtils::Win1251IsAscii(bytes, text);
                const std::string converted = CSearchUtils::Win1251ToTChar(bytes);
                const bool bExpected = !(nHigh < nLength && nHigh < nZero);
                ASSERT_EQ(bAscii, bExpected) << nLength << " " << nZero << " " << nHigh;
                if (bAscii)
                {
                    ASSERT_EQ(text, converted) << nLength << " " << nZero << " " << nHigh;
                    ++nAscii;
                }
                std::string into = "old";
                CSearchUtils::Win1251ToTChar(bytes, into);
                ASSERT_EQ(into, converted);
            }
    EXPECT_GT(nAscii, 100u);
}

TEST(SearchWords, SplitAgreesCharacterByCharacterWithTheCharacterClasses)
{
    // The definition: a word is a run of letters, decimal digits and '-',
    // each character decoded on its own (a malformed byte separates).
    const auto reference = [](std::string_view text) {
        std::vector<std::string> words;
        std::string current;
        for (std::size_t nPos = 0; nPos < text.size();)
        {
            const std::size_t nStart = nPos;
            const char32_t ch = CTextUtils::DecodeNext(text, nPos);
            if (ch == U'-' || CTextUtils::IsLetter(ch) || CTextUtils::IsDigit(ch))
                current.append(text.substr(nStart, nPos - nStart));
            else if (!current.empty())
                words.push_back(std::exchange(current, {}));
        }
        if (!current.empty())
            words.push_back(current);
        return words;
    };
    std::string text;
    for (char32_t ch = 1; ch < 0x10000; ++ch)
    {
        if (ch >= 0xD800 && ch <= 0xDFFF)
            continue;
        CTextUtils::AppendUtf8(text, ch);
        CTextUtils::AppendUtf8(text, ch % 3 ? U'ж' : U' ');
        if (ch % 1000 == 0)
        {
            ASSERT_EQ(SplitSearchString(text), reference(text)) << static_cast<std::uint32_t>(ch);
            text.clear();
        }
    }
    for (const std::string_view odd : {"a\xC0\xAF"
                                       "b",
                                       "ж\xD0", "\xD0ж", "x\xE0\x80\xAFy", "\xF0\x9D\x90\x80z",
                                       "\xF0\x9F\x98\x80q", "\xED\xA0\x80w",
                                       "\xC2\xA0"
                                       "a-b\xC2",
                                       "\x80\x80"})
        EXPECT_EQ(SplitSearchString(odd), reference(odd)) << odd;
    std::vector<std::string_view> pieces{"kept"};
    SplitSearchWords("налог на прибыль", pieces);
    EXPECT_EQ(pieces, (std::vector<std::string_view>{"kept", "налог", "на", "прибыль"}))
        << "appended";
}

TEST(SearchWords, SplitAndJoin)
{
    using Words = std::vector<std::string>;
    EXPECT_EQ(SplitSearchString("НДС, 18% (ставка)"), (Words{"НДС", "18", "ставка"}));
    EXPECT_EQ(SplitSearchString("из-за  налога"), (Words{"из-за", "налога"}));
    EXPECT_EQ(SplitSearchString(" ,, , "), Words{});
    EXPECT_EQ(SplitSearchString(""), Words{});
    EXPECT_EQ(SplitSearchString("ёлка«Ёлка»tax_2010"), (Words{"ёлка", "Ёлка", "tax", "2010"}));
    EXPECT_EQ(SplitSearchString("--"), Words{"--"});
    EXPECT_EQ(JoinSearchWords(SplitSearchString("  НДС,\t18%  ")), "НДС 18");
    EXPECT_EQ(JoinSearchWords({}), "");
}

TEST(SearchFold, YoBecomesYeAndNothingElseChanges)
{
    EXPECT_EQ(FoldYo(std::string_view("ёлка Ёлка ЁЛКА")), "елка Елка ЕЛКА");
    EXPECT_EQ(FoldYo(std::string_view("отчёт, счёт и ещё")), "отчет, счет и еще");
    // й, е, Е, Latin, digits and other letters stay.
    const std::string other = "йЙеЕжЖъЬ yo 2010 ÿ Ё";
    EXPECT_EQ(FoldYo(std::string_view(other)), "йЙеЕжЖъЬ yo 2010 ÿ Е");
    EXPECT_EQ(FoldYo(std::string_view("")), "");
    EXPECT_TRUE(HasYo("ёж"));
    EXPECT_TRUE(HasYo("ЁЖ"));
    EXPECT_TRUE(HasYo("ещё"));
    EXPECT_FALSE(HasYo("еж"));
    EXPECT_FALSE(HasYo("йод"));
    EXPECT_FALSE(HasYo("\xD1"));
    EXPECT_FALSE(HasYo(""));
    std::string text = "ёж";
    EXPECT_TRUE(FoldYoInPlace(text));
    EXPECT_EQ(text, "еж");
    EXPECT_FALSE(FoldYoInPlace(text)) << "folding twice changes nothing";
    EXPECT_EQ(FoldYo(U'ё'), U'е');
    EXPECT_EQ(FoldYo(U'Ё'), U'Е');
    EXPECT_EQ(FoldYo(U'й'), U'й');
    // Every code point of the BMP outside Ё and ё is its own fold, and the
    // fold of a text is the fold of its letters.
    std::u32string all;
    for (char32_t ch = 1; ch < 0xD800; ++ch)
        all += ch;
    std::u32string expected = all;
    for (char32_t& ch : expected)
        ch = FoldYo(ch);
    EXPECT_EQ(CTextUtils::ToUtf32(FoldYo(std::string_view(CTextUtils::FromUtf32(all)))), expected);
}

#include "SearchUtils.h"

#include "Logger.h"
#include "TextUtils.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <exception>

namespace
{
constexpr std::uint32_t kInvalidSize = 0xFFFFFFFFu;

// A conversion descriptor of iconv, opened once per thread and direction:
// opening one costs more than converting a word. It keeps no state between
// conversions (each starts from the initial shift state).
class CIconv
{
public:
    CIconv(const char* szTo, const char* szFrom) : m_cd(::iconv_open(szTo, szFrom)) {}
    ~CIconv()
    {
        if (IsValid())
            ::iconv_close(m_cd);
    }
    CIconv(const CIconv&) = delete;
    CIconv& operator=(const CIconv&) = delete;

    bool IsValid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole input; false when any character cannot be converted.
    bool Convert(std::string_view in, std::string& out)
    {
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.assign(in.size() * 4 + 4, '\0');
        char* pIn = const_cast<char*>(in.data());
        std::size_t nInLeft = in.size();
        char* pOut = out.data();
        std::size_t nOutLeft = out.size();
        if (::iconv(m_cd, &pIn, &nInLeft, &pOut, &nOutLeft) == static_cast<std::size_t>(-1) ||
            nInLeft != 0)
            return false;
        out.resize(out.size() - nOutLeft);
        return true;
    }

private:
    iconv_t m_cd;
};

CIconv& ToWin1251()
{
    thread_local CIconv converter("CP1251", "UTF-8");
    return converter;
}

CIconv& FromWin1251()
{
    thread_local CIconv converter("UTF-8", "CP1251");
    return converter;
}

// Windows-1251 both ways by tables that are filled once from iconv itself, one
// character at a time, so that they agree with it exactly; what they do not
// cover (characters outside U+0000..U+07FF, malformed UTF-8, and characters
// the tables found no round trip for) is still converted by iconv.
class CWin1251Tables
{
public:
    static const CWin1251Tables& Get()
    {
        static const CWin1251Tables tables;
        return tables;
    }

    bool IsValid() const { return m_bValid; }
    bool IsAsciiSame() const { return m_bValid && m_bAsciiSame; }

    // The bytes up to the first zero. False when a byte has no character:
    // iconv refuses the whole text then.
    bool ToUtf8(std::string_view bytes, std::string& text) const
    {
        // Most paths are ASCII, which stays as it is.
        if (std::string_view ascii; m_bAsciiSame && CSearchUtils::Win1251IsAscii(bytes, ascii))
        {
            text.assign(ascii);
            return true;
        }
        if (const void* pZero = std::memchr(bytes.data(), 0, bytes.size()))
            bytes = bytes.substr(
                0, static_cast<std::size_t>(static_cast<const char*>(pZero) - bytes.data()));
        std::size_t nLength = 0;
        for (const char c : bytes)
        {
            const auto nByte = static_cast<unsigned char>(c);
            if (m_toUtf8[nByte].m_nLength == 0)
                return false;
            nLength += m_toUtf8[nByte].m_nLength;
        }
        text.resize(nLength);
        char* pOut = text.data();
        for (const char c : bytes)
        {
            const CUtf8& utf8 = m_toUtf8[static_cast<unsigned char>(c)];
            for (std::uint8_t i = 0; i < utf8.m_nLength; ++i)
                *pOut++ = utf8.m_bytes[i];
        }
        return true;
    }

    // False when the text holds anything the table does not cover.
    bool FromUtf8(std::string_view text, std::string& bytes) const
    {
        bytes.clear();
        bytes.reserve(text.size());
        for (std::size_t i = 0; i < text.size();)
        {
            const auto c0 = static_cast<unsigned char>(text[i]);
            std::uint32_t nCode = c0;
            if (c0 >= 0x80)
            {
                // Two-byte sequences only, and not overlong ones.
                if (c0 < 0xC2 || c0 > 0xDF || i + 1 >= text.size())
                    return false;
                const auto c1 = static_cast<unsigned char>(text[i + 1]);
                if ((c1 & 0xC0) != 0x80)
                    return false;
                nCode = ((c0 & 0x1Fu) << 6) | (c1 & 0x3Fu);
                ++i;
            }
            ++i;
            const std::int16_t nByte = m_fromUtf8[nCode];
            if (nByte < 0)
                return false;
            bytes += static_cast<char>(nByte);
        }
        return true;
    }

private:
    struct CUtf8
    {
        char m_bytes[4] = {};
        std::uint8_t m_nLength = 0;
    };

    CWin1251Tables();

    static constexpr std::size_t kTwoByteLimit = 0x800;
    std::array<CUtf8, 256> m_toUtf8{};
    std::array<std::int16_t, kTwoByteLimit> m_fromUtf8{};
    bool m_bAsciiSame = false; // bytes below 0x80 are their own UTF-8
    bool m_bValid = false;
};

std::size_t CountUtf16Units(std::string_view text)
{
    std::size_t nUnits = 0;
    for (std::size_t nPos = 0; nPos < text.size();)
        nUnits += CTextUtils::DecodeNext(text, nPos) >= 0x10000 ? 2 : 1;
    return nUnits;
}

CWin1251Tables::CWin1251Tables()
{
    m_fromUtf8.fill(-1);
    CIconv& toText = FromWin1251();
    CIconv& toBytes = ToWin1251();
    if (!toText.IsValid() || !toBytes.IsValid())
        return;
    std::string text, bytes;
    for (int nByte = 0; nByte < 256; ++nByte)
    {
        const char c = static_cast<char>(nByte);
        if (!toText.Convert(std::string_view(&c, 1), text) || text.empty() || text.size() > 3 ||
            CountUtf16Units(text) != 1)
            continue;
        CUtf8& utf8 = m_toUtf8[static_cast<std::size_t>(nByte)];
        std::copy(text.begin(), text.end(), utf8.m_bytes);
        utf8.m_nLength = static_cast<std::uint8_t>(text.size());
        std::size_t nPos = 0;
        const char32_t ch = CTextUtils::DecodeNext(text, nPos);
        // The way back is taken only where iconv itself goes back to this byte.
        if (ch < kTwoByteLimit && toBytes.Convert(text, bytes) && bytes.size() == 1 &&
            bytes[0] == c)
            m_fromUtf8[ch] = static_cast<std::int16_t>(nByte);
    }
    m_bAsciiSame = true;
    for (std::size_t nByte = 0; nByte < 0x80; ++nByte)
        m_bAsciiSame = m_bAsciiSame && m_toUtf8[nByte].m_nLength == 1 &&
                       static_cast<unsigned char>(m_toUtf8[nByte].m_bytes[0]) == nByte;
    m_bValid = true;
}
} // namespace

std::vector<int> GetSearchIndexIds()
{
    std::vector<int> ids{kIndexIdOther};
    for (int nId = kIndexIdFirst; nId <= kIndexIdLast; ++nId)
        ids.push_back(nId);
    ids.push_back(kIndexIdYo);
    return ids;
}

MFile::~MFile()
{
    if (view)
        ::munmap(const_cast<std::uint8_t*>(view), size);
    if (fileHandle >= 0)
        ::close(fileHandle); // also releases the flock
}

MFilePtr CSearchUtils::MFileLoad(const std::string& strPath)
{
    KTRACE("CSearchUtils::MFileLoad", strPath);
    auto pFile = std::make_unique<MFile>();
    const char* szError = nullptr;
    int nError = 0;
    const auto fail = [&](const char* szText) {
        nError = errno;
        szError = szText;
    };
    struct stat info
    {
    };
    pFile->fileHandle = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    // A shared lock: readers may share the file, a writer that wants it
    // exclusively is kept out while it is mapped.
    if (pFile->fileHandle < 0 || ::flock(pFile->fileHandle, LOCK_SH | LOCK_NB) != 0)
        fail("Can't load ");
    else if (::fstat(pFile->fileHandle, &info) != 0 || info.st_size < 0 ||
             static_cast<std::uint64_t>(info.st_size) >= kInvalidSize)
        fail("Can't get size of file ");
    else
    {
        pFile->size = static_cast<std::uint32_t>(info.st_size);
        void* pView = ::mmap(nullptr, pFile->size, PROT_READ, MAP_PRIVATE, pFile->fileHandle, 0);
        if (pView == MAP_FAILED)
            fail("Can't memory map ");
        else
        {
            pFile->view = static_cast<const std::uint8_t*>(pView);
            if (!MFileCheckHeader(pFile.get()))
                fail("Dictionary have incorrect format ");
        }
    }
    if (!szError)
        return pFile;
    if (!pFile->view)
        pFile->size = kInvalidSize;
    KLOG_ERR << "Exception on CSearchUtils::MFileLoad. Text: " << szError << strPath
             << ". Error: " << nError;
    return MFileClose(std::move(pFile));
}

MFilePtr CSearchUtils::MFileClose(MFilePtr pFile)
{
    pFile.reset();
    return nullptr;
}

std::uint32_t CSearchUtils::MFileGetSize(const MFile* pFile)
{
    return pFile ? pFile->size : kInvalidSize;
}

std::uint32_t CSearchUtils::MFileRead(const MFile* pFile, std::uint32_t nOffset,
                                      std::uint32_t nLength, void* pBuffer)
{
    if (!pFile)
    {
        KLOG_ERR << "Incorrect parameter mfile";
        return 0;
    }
    if (!pBuffer)
    {
        KLOG_ERR << "Invalid parameter buffer";
        return 0;
    }
    if (!pFile->view)
    {
        KLOG_ERR << "Invalid view of memory map";
        return 0;
    }
    // The sum is taken in 64 bits: a 32-bit sum could wrap round and let a
    // huge offset pass the check.
    if (static_cast<std::uint64_t>(nOffset) + nLength > pFile->size)
    {
        KLOG_ERR << "Invalid offset or length. "
                 << "offset: " << nOffset << "; length: " << nLength;
        return 0;
    }
    if (nLength > 0)
        std::memcpy(pBuffer, pFile->view + nOffset, nLength);
    return nLength;
}

std::uint8_t CSearchUtils::MFileReadUChar(const MFile* pFile, std::uint32_t nOffset,
                                          std::uint8_t nFallback)
{
    std::uint8_t value = 0;
    return MFileRead(pFile, nOffset, 1, &value) == 1 ? value : nFallback;
}

std::uint16_t CSearchUtils::MFileReadUShort(const MFile* pFile, std::uint32_t nOffset,
                                            std::uint16_t nFallback)
{
    std::uint8_t bytes[2];
    if (MFileRead(pFile, nOffset, 2, bytes) != 2)
        return nFallback;
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t CSearchUtils::MFileReadULong(const MFile* pFile, std::uint32_t nOffset,
                                           std::uint32_t nFallback)
{
    std::uint8_t bytes[4];
    if (MFileRead(pFile, nOffset, 4, bytes) != 4)
        return nFallback;
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

bool CSearchUtils::MFileCheckHeader(MFile* pFile)
{
    if (!pFile)
    {
        KLOG_ERR << "Incorrect parameter mfile";
        return false;
    }
    char header[kSearchMagicSize];
    if (MFileRead(pFile, 0, kSearchMagicSize, header) != kSearchMagicSize)
        return false;
    static constexpr std::pair<std::string_view, ESearchFileType> kMagics[] = {
        {kMagicWords1, SEARCH_FILE_WORDS_1},   {kMagicWords2, SEARCH_FILE_WORDS_2},
        {kMagicIndex1, SEARCH_FILE_INDEX_1},   {kMagicIndex2, SEARCH_FILE_INDEX_2},
        {kMagicFNames1, SEARCH_FILE_FNAMES_1}, {kMagicFNames2, SEARCH_FILE_FNAMES_2},
    };
    pFile->type = SEARCH_FILE_UNKNOWN;
    const std::string_view text(header, kSearchMagicSize);
    for (const auto& [magic, type] : kMagics)
    {
        if (text == magic)
        {
            pFile->type = type;
            break;
        }
    }
    return pFile->type != SEARCH_FILE_UNKNOWN;
}

int CSearchUtils::GetHash(std::string_view bytes, int nSeed)
{
    constexpr std::uint32_t m = 0x5BD1E995u;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto n = static_cast<std::uint32_t>(bytes.size());
    std::uint32_t h = static_cast<std::uint32_t>(nSeed) ^ n;
    std::uint32_t i = 0;
    for (; i + 4 <= n; i += 4)
    {
        std::uint32_t k = std::uint32_t{s[i]} | (std::uint32_t{s[i + 1]} << 8) |
                          (std::uint32_t{s[i + 2]} << 16) | (std::uint32_t{s[i + 3]} << 24);
        k *= m;
        k ^= k >> 24;
        k *= m;
        h *= m;
        h ^= k;
    }
    // The tail bytes are sign-extended and counted from the end of the string.
    const auto signExtended = [&](std::uint32_t nIndex) {
        return static_cast<std::uint32_t>(
            static_cast<std::int32_t>(static_cast<std::int8_t>(s[nIndex])));
    };
    switch (n % 4)
    {
    case 3: h ^= signExtended(n - 3) << 16; [[fallthrough]];
    case 2: h ^= signExtended(n - 2) << 8; [[fallthrough]];
    case 1:
        h ^= signExtended(n - 1);
        h *= m;
        break;
    default: break;
    }
    h ^= h >> 13;
    h *= m;
    h ^= h >> 15;
    return (static_cast<std::int32_t>(h) >> 19) + 4096;
}

int CSearchUtils::GetIndexForWord(std::string_view word)
{
    if (word.empty())
        return -1;
    std::size_t nPos = 0;
    const char32_t ch = CTextUtils::DecodeNext(word, nPos);
    if ((ch >= kIndexIdFirst && ch <= kIndexIdLast) || ch == kIndexIdYo)
        return static_cast<int>(ch);
    return -1;
}

bool CSearchUtils::TCharToWin1251(std::string_view word, std::string& bytes)
{
    bytes.clear();
    CIconv& converter = ToWin1251();
    if (!converter.IsValid())
    {
        KLOG_ERR << "Can't create locale object cp1251";
        return false;
    }
    const CWin1251Tables& tables = CWin1251Tables::Get();
    if (tables.IsValid() && tables.FromUtf8(word, bytes))
        return true;
    bytes.clear();
    try
    {
        std::string converted;
        if (!converter.Convert(word, converted) || converted.size() != CountUtf16Units(word))
            return false;
        bytes = std::move(converted);
        return true;
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Exception on CMorphoSearch::TCharToWin1251";
        return false;
    }
}

bool CSearchUtils::Win1251IsAscii(std::string_view bytes, std::string_view& text)
{
    if (!CWin1251Tables::Get().IsAsciiSame())
        return false;
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little)
    {
        // Eight bytes at a time: the lowest byte flagged by the zero test is
        // the first zero byte.
        for (; i + 8 <= bytes.size(); i += 8)
        {
            std::uint64_t nWord = 0;
            std::memcpy(&nWord, bytes.data() + i, 8);
            const std::uint64_t nZeros = (nWord - kOnes) & ~nWord & kHigh;
            if (nZeros != 0)
            {
                const int nZero = std::countr_zero(nZeros) / 8;
                const std::uint64_t nBefore =
                    nZero == 0 ? 0 : (~std::uint64_t{0} >> (64 - 8 * nZero));
                if (nWord & nBefore & kHigh)
                    return false;
                text = bytes.substr(0, i + static_cast<std::size_t>(nZero));
                return true;
            }
            if (nWord & kHigh)
                return false;
        }
    }
    for (; i < bytes.size() && bytes[i] != '\0'; ++i)
        if (static_cast<unsigned char>(bytes[i]) >= 0x80)
            return false;
    text = bytes.substr(0, i);
    return true;
}

void CSearchUtils::Win1251ToTChar(std::string_view bytes, std::string& text)
{
    // The tables are only valid when iconv is there.
    if (const CWin1251Tables& tables = CWin1251Tables::Get();
        tables.IsValid() && tables.ToUtf8(bytes, text))
        return;
    text = Win1251ToTChar(bytes);
}

std::string CSearchUtils::Win1251ToTChar(std::string_view bytes)
{
    if (const CWin1251Tables& tables = CWin1251Tables::Get(); tables.IsValid())
    {
        std::string text;
        if (tables.ToUtf8(bytes, text))
            return text;
    }
    bytes = bytes.substr(0, bytes.find('\0'));
    CIconv& converter = FromWin1251();
    if (!converter.IsValid())
    {
        KLOG_ERR << "Can't create locale object cp1251";
        return {};
    }
    try
    {
        std::string text;
        if (!converter.Convert(bytes, text) || CountUtf16Units(text) != bytes.size())
            return {};
        return text;
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Exception on CMorphoSearch::TCharToWin1251";
        return {};
    }
}

bool IsWordCharacter(char32_t ch)
{
    return ch == U'-' || CTextUtils::IsDigit(ch) || CTextUtils::IsLetter(ch);
}

void SplitSearchWords(std::string_view text, std::vector<std::string_view>& words)
{
    // Which characters of the Basic Multilingual Plane make words, asked of
    // ICU once for all of them.
    static const std::vector<bool> kWordCharacters = [] {
        std::vector<bool> table(0x10000);
        for (char32_t ch = 0; ch < 0x10000; ++ch)
            table[ch] = IsWordCharacter(ch);
        return table;
    }();
    bool bInWord = false;
    std::size_t nWordStart = 0;
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        const std::size_t nStart = nPos;
        const auto c0 = static_cast<unsigned char>(text[nPos]);
        char32_t ch = 0;
        // ASCII and two-byte sequences (Cyrillic among them) are decoded here,
        // exactly as DecodeNext would; anything else by DecodeNext.
        if (c0 < 0x80)
        {
            ch = c0;
            ++nPos;
        }
        else if (c0 >= 0xC2 && c0 <= 0xDF && nPos + 1 < text.size() &&
                 (static_cast<unsigned char>(text[nPos + 1]) & 0xC0) == 0x80)
        {
            ch = ((c0 & 0x1Fu) << 6) | (static_cast<unsigned char>(text[nPos + 1]) & 0x3Fu);
            nPos += 2;
        }
        else
            ch = CTextUtils::DecodeNext(text, nPos);
        const bool bWordCharacter = ch < 0x10000 ? kWordCharacters[ch] : IsWordCharacter(ch);
        if (bWordCharacter && !bInWord)
        {
            bInWord = true;
            nWordStart = nStart;
        }
        else if (!bWordCharacter && bInWord)
        {
            bInWord = false;
            words.push_back(text.substr(nWordStart, nStart - nWordStart));
        }
    }
    if (bInWord)
        words.push_back(text.substr(nWordStart));
}

std::vector<std::string> SplitSearchString(std::string_view text)
{
    std::vector<std::string_view> pieces;
    SplitSearchWords(text, pieces);
    return std::vector<std::string>(pieces.begin(), pieces.end());
}

std::string JoinSearchWords(const std::vector<std::string>& words)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
    {
        if (i > 0)
            text += ' ';
        text += words[i];
    }
    return text;
}

namespace
{
// "ё" U+0451 is D1 91 and "е" U+0435 is D0 B5; "Ё" U+0401 is D0 81 and "Е"
// U+0415 is D0 95. D0 and D1 only ever lead a sequence, so a pair found
// anywhere in the bytes is the letter.
constexpr unsigned char kLead0 = 0xD0, kLead1 = 0xD1;
constexpr unsigned char kSmallYo = 0x91, kCapitalYo = 0x81;

bool IsYoAt(std::string_view text, std::size_t i)
{
    const auto nLead = static_cast<unsigned char>(text[i]);
    const auto nNext = static_cast<unsigned char>(text[i + 1]);
    return (nLead == kLead1 && nNext == kSmallYo) || (nLead == kLead0 && nNext == kCapitalYo);
}
} // namespace

bool HasYo(std::string_view text)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (IsYoAt(text, i))
            return true;
    return false;
}

bool FoldYoInPlace(std::string& text)
{
    bool bChanged = false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
    {
        if (!IsYoAt(text, i))
            continue;
        // ё D1 91 -> е D0 B5; Ё D0 81 -> Е D0 95.
        const bool bSmall = static_cast<unsigned char>(text[i]) == kLead1;
        text[i] = static_cast<char>(kLead0);
        text[i + 1] = static_cast<char>(bSmall ? 0xB5 : 0x95);
        bChanged = true;
        ++i;
    }
    return bChanged;
}

std::string FoldYo(std::string_view text)
{
    std::string folded(text);
    FoldYoInPlace(folded);
    return folded;
}

#include "TextUtils.h"

#include <unicode/uchar.h>

namespace
{
constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}
} // namespace

char32_t CTextUtils::DecodeNext(std::string_view text, std::size_t& nPos)
{
    const auto c0 = static_cast<unsigned char>(text[nPos]);
    if (c0 < 0x80)
    {
        ++nPos;
        return c0;
    }
    std::size_t nLength = 0;
    char32_t ch = 0;
    char32_t chMin = 0;
    if ((c0 & 0xE0) == 0xC0)
    {
        nLength = 2;
        ch = c0 & 0x1F;
        chMin = 0x80;
    }
    else if ((c0 & 0xF0) == 0xE0)
    {
        nLength = 3;
        ch = c0 & 0x0F;
        chMin = 0x800;
    }
    else if ((c0 & 0xF8) == 0xF0)
    {
        nLength = 4;
        ch = c0 & 0x07;
        chMin = 0x10000;
    }
    else
    {
        ++nPos;
        return kReplacement;
    }
    if (nPos + nLength > text.size())
    {
        ++nPos;
        return kReplacement;
    }
    for (std::size_t i = 1; i < nLength; ++i)
    {
        const auto c = static_cast<unsigned char>(text[nPos + i]);
        if (!IsContinuation(c))
        {
            ++nPos;
            return kReplacement;
        }
        ch = (ch << 6) | (c & 0x3F);
    }
    if (ch < chMin || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
    {
        ++nPos;
        return kReplacement;
    }
    nPos += nLength;
    return ch;
}

void CTextUtils::AppendUtf8(std::string& out, char32_t ch)
{
    if (ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
        ch = kReplacement;
    if (ch < 0x80)
    {
        out += static_cast<char>(ch);
    }
    else if (ch < 0x800)
    {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
    else if (ch < 0x10000)
    {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

std::u32string CTextUtils::ToUtf32(std::string_view text)
{
    std::u32string result;
    result.reserve(text.size());
    for (std::size_t nPos = 0; nPos < text.size();)
        result += DecodeNext(text, nPos);
    return result;
}

std::string CTextUtils::FromUtf32(std::u32string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char32_t ch : text)
        AppendUtf8(result, ch);
    return result;
}

std::u16string CTextUtils::ToUtf16(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        char32_t ch = DecodeNext(text, nPos);
        if (ch >= 0x10000)
        {
            ch -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (ch >> 10));
            result += static_cast<char16_t>(0xDC00 + (ch & 0x3FF));
        }
        else
        {
            result += static_cast<char16_t>(ch);
        }
    }
    return result;
}

std::string CTextUtils::FromUtf16(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        char32_t ch = text[i];
        if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
        {
            ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(result, ch);
    }
    return result;
}

bool CTextUtils::IsValidUtf8(std::string_view text)
{
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        const std::size_t nStart = nPos;
        if (DecodeNext(text, nPos) == kReplacement && nPos - nStart != 3)
            return false;
    }
    return true;
}

char32_t CTextUtils::ToLower(char32_t ch)
{
    if (ch < 0x80)
        return (ch >= 'A' && ch <= 'Z') ? ch + 32 : ch;
    return static_cast<char32_t>(u_tolower(static_cast<UChar32>(ch)));
}

std::string CTextUtils::ToLower(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t nPos = 0; nPos < text.size();)
    {
        const auto c = static_cast<unsigned char>(text[nPos]);
        if (c < 0x80)
        {
            result += static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
            ++nPos;
            continue;
        }
        const std::size_t nStart = nPos;
        const char32_t ch = DecodeNext(text, nPos);
        if (ch == kReplacement && nPos - nStart != 3)
            result.append(text.substr(nStart, nPos - nStart)); // keep malformed bytes as they are
        else
            AppendUtf8(result, ToLower(ch));
    }
    return result;
}

bool CTextUtils::IsLetter(char32_t ch)
{
    return u_isalpha(static_cast<UChar32>(ch));
}

bool CTextUtils::IsDigit(char32_t ch)
{
    return u_isdigit(static_cast<UChar32>(ch));
}

bool CTextUtils::IsPunctuation(char32_t ch)
{
    if (ch < 0x80)
        return ch > 0x20 && ch < 0x7F &&
               !((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'));
    const auto mask = U_GET_GC_MASK(static_cast<UChar32>(ch));
    return (mask & (U_GC_P_MASK | U_GC_S_MASK)) != 0;
}

std::string CTextUtils::ToUpperAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return result;
}

bool CTextUtils::EqualsNoCaseAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        char ca = a[i], cb = b[i];
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<char>(ca + 32);
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<char>(cb + 32);
        if (ca != cb)
            return false;
    }
    return true;
}

bool CTextUtils::StartsWithNoCaseAscii(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

std::string_view CTextUtils::Trim(std::string_view text)
{
    const auto nFirst = text.find_first_not_of(" \t\r\n");
    if (nFirst == std::string_view::npos)
        return {};
    const auto nLast = text.find_last_not_of(" \t\r\n");
    return text.substr(nFirst, nLast - nFirst + 1);
}

std::string CTextUtils::CountOf(std::size_t nCount, std::string_view one, std::string_view few,
                                std::string_view many)
{
    const std::size_t n100 = nCount % 100, n10 = nCount % 10;
    const std::string_view word = (n100 >= 11 && n100 <= 14) ? many
                                  : n10 == 1                 ? one
                                  : (n10 >= 2 && n10 <= 4)   ? few
                                                             : many;
    return std::to_string(nCount) + " " + std::string(word);
}

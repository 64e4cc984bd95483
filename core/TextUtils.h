#pragma once

#include <string>
#include <string_view>

// Unicode helpers over UTF-8 text. Case folding and character classes follow
// Unicode (through ICU), never the process locale, so results are the same on
// every machine whatever locales it has installed.
class CTextUtils
{
public:
    // Decodes one code point at nPos and advances nPos; a malformed sequence
    // yields U+FFFD and advances by one byte.
    static char32_t DecodeNext(std::string_view text, std::size_t& nPos);
    static void AppendUtf8(std::string& out, char32_t ch);

    static std::u32string ToUtf32(std::string_view text);
    static std::string FromUtf32(std::u32string_view text);
    static std::u16string ToUtf16(std::string_view text);
    static std::string FromUtf16(std::u16string_view text);

    static bool IsValidUtf8(std::string_view text);

    static char32_t ToLower(char32_t ch);
    static std::string ToLower(std::string_view text);
    static bool IsLetter(char32_t ch);
    static bool IsDigit(char32_t ch);
    // ASCII punctuation as the C library classifies it (symbols included),
    // elsewhere Unicode punctuation and symbols.
    static bool IsPunctuation(char32_t ch);

    static std::string ToUpperAscii(std::string_view text);
    static bool EqualsNoCaseAscii(std::string_view a, std::string_view b);
    static bool StartsWithNoCaseAscii(std::string_view text, std::string_view prefix);
    static std::string_view Trim(std::string_view text);
    // A count with its Russian noun: "1 форма", "3 формы", "11 форм".
    static std::string CountOf(std::size_t nCount, std::string_view one, std::string_view few,
                               std::string_view many);
};

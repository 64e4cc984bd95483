#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

// Orders UTF-8 strings as their UTF-16 forms compare code unit by code unit,
// the order the registry's phrases and the prompts are listed in.
//
// For every character below U+E000 (ASCII and Cyrillic included) that is
// plain byte order. The two differ only where a character of U+E000..U+FFFF
// meets one above U+FFFF: UTF-16 writes the latter as surrogates
// (0xD800..0xDBFF), so it sorts first, while its UTF-8 lead byte (F0..F4) is
// greater than theirs (EE, EF). Swapping the byte values EE, EF with FE, FF
// (which never occur in UTF-8) before comparing gives UTF-16 order for valid
// text and still a strict total order on any bytes.
struct Utf16Less
{
    using is_transparent = void;

    static constexpr std::uint8_t Rank(char c)
    {
        const auto b = static_cast<std::uint8_t>(c);
        return (b & 0xEE) == 0xEE ? static_cast<std::uint8_t>(b ^ 0x10) : b;
    }

    bool operator()(std::string_view a, std::string_view b) const
    {
        const std::size_t nCommon = std::min(a.size(), b.size());
        const auto [itA, itB] =
            std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(nCommon), b.begin());
        if (itA == a.begin() + static_cast<std::ptrdiff_t>(nCommon))
            return a.size() < b.size();
        return Rank(*itA) < Rank(*itB);
    }
};

// A sorted set of unique texts in UTF-16 order.
using Utf16StringSet = std::set<std::string, Utf16Less>;

#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// MD5 and the Windows-1251 bytes it is computed over, so that digests equal
// those of a client on a Russian Windows.
class CDigest
{
public:
    static std::array<std::uint8_t, 16> MD5(std::span<const std::uint8_t> bytes);
    static std::array<std::uint8_t, 16> MD5(std::string_view bytes);
    // Two hex digits a byte, lower or upper case.
    static std::string ToHex(std::span<const std::uint8_t> bytes, bool bUpper = false);
    // UTF-8 text in Windows-1251; a character it lacks (or a malformed
    // sequence) becomes "?".
    static std::string ToCP1251(std::string_view utf8);
    // The reverse, for names written by a Windows publisher.
    static std::string FromCP1251(std::string_view bytes);

    // The password field of the update requests: the salt followed by the
    // lower-case hex MD5 of the Windows-1251 bytes of salt + password.
    static std::string MakeCredentialDigest(std::string_view salt, std::string_view password);
};

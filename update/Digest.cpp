#include "Digest.h"

#include "TextUtils.h"

#include <iconv.h>
#include <openssl/evp.h>

#include <memory>

namespace
{
struct CIconvCloser
{
    void operator()(void* p) const { iconv_close(static_cast<iconv_t>(p)); }
};
using CIconvPtr = std::unique_ptr<void, CIconvCloser>;

CIconvPtr OpenIconv(const char* szTo, const char* szFrom)
{
    iconv_t cd = iconv_open(szTo, szFrom);
    return CIconvPtr(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// Converts one character; false when the target lacks it.
bool ConvertOne(void* cd, std::string_view in, std::string& out)
{
    char* pIn = const_cast<char*>(in.data());
    std::size_t nIn = in.size();
    char buffer[16];
    char* pOut = buffer;
    std::size_t nOut = sizeof(buffer);
    iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    if (iconv(static_cast<iconv_t>(cd), &pIn, &nIn, &pOut, &nOut) == static_cast<std::size_t>(-1) ||
        nIn != 0)
        return false;
    out.append(buffer, static_cast<std::size_t>(pOut - buffer));
    return true;
}
} // namespace

std::array<std::uint8_t, 16> CDigest::MD5(std::span<const std::uint8_t> bytes)
{
    std::array<std::uint8_t, 16> digest{};
    unsigned nSize = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &nSize, EVP_md5(), nullptr);
    return digest;
}

std::array<std::uint8_t, 16> CDigest::MD5(std::string_view bytes)
{
    return MD5(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::string CDigest::ToHex(std::span<const std::uint8_t> bytes, bool bUpper)
{
    const char* szDigits = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string strHex;
    strHex.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes)
    {
        strHex += szDigits[b >> 4];
        strHex += szDigits[b & 0x0F];
    }
    return strHex;
}

std::string CDigest::ToCP1251(std::string_view utf8)
{
    const CIconvPtr cd = OpenIconv("CP1251", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t nPos = 0; nPos < utf8.size();)
    {
        const std::size_t nStart = nPos;
        const char32_t ch = CTextUtils::DecodeNext(utf8, nPos);
        if (ch < 0x80)
            out += static_cast<char>(ch);
        else if (!cd || !ConvertOne(cd.get(), utf8.substr(nStart, nPos - nStart), out))
            out += '?';
    }
    return out;
}

std::string CDigest::FromCP1251(std::string_view bytes)
{
    const CIconvPtr cd = OpenIconv("UTF-8", "CP1251");
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::size_t nPos = 0; nPos < bytes.size(); ++nPos)
    {
        const auto b = static_cast<unsigned char>(bytes[nPos]);
        if (b < 0x80)
            out += static_cast<char>(b);
        else if (!cd || !ConvertOne(cd.get(), bytes.substr(nPos, 1), out))
            out += '?'; // 0x98 has no character in Windows-1251
    }
    return out;
}

std::string CDigest::MakeCredentialDigest(std::string_view salt, std::string_view password)
{
    const std::string bytes = ToCP1251(std::string(salt) + std::string(password));
    return std::string(salt) + ToHex(MD5(bytes));
}

#include "UrlToPath.h"

#include "Logger.h"
#include "TextUtils.h"

#include <climits>

namespace
{
constexpr std::string_view kUnsafe = " \"<>#{}|\\^~[]`";
constexpr std::string_view kReserved = "$&+,./:;=?@-_!*()'";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The byte of "%XY" at nPos, or -1 when nPos does not start such an escape.
int EscapedByte(std::string_view text, std::size_t nPos)
{
    if (nPos + 2 >= text.size() || text[nPos] != '%')
        return -1;
    const int nHigh = HexValue(text[nPos + 1]);
    const int nLow = HexValue(text[nPos + 2]);
    return (nHigh < 0 || nLow < 0) ? -1 : nHigh * 16 + nLow;
}

// Full decoding of a file URL's path, as the system's own conversion does.
bool DecodeAllEscapes(std::string_view text, std::string& strOut)
{
    strOut.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const int nByte = EscapedByte(text, i);
        if (nByte < 0)
        {
            strOut += text[i];
            continue;
        }
        if (nByte == 0)
            return false;
        strOut += static_cast<char>(nByte);
        i += 2;
    }
    return true;
}
} // namespace

std::string PercentDecodeUrl(std::string_view url)
{
    std::string text(url);
    std::size_t nSearch = 0;
    for (;;)
    {
        const auto nPos = text.find('%', nSearch);
        if (nPos == std::string::npos)
            break;
        const int nByte = EscapedByte(text, nPos);
        if (nByte < 0)
        {
            nSearch = nPos + 1;
            continue;
        }
        const char c = static_cast<char>(nByte);
        if (nByte < 31 || nByte == 127 || kUnsafe.find(c) != std::string_view::npos ||
            kReserved.find(c) != std::string_view::npos)
        {
            text.replace(nPos, 3, 1, c);
            nSearch = nPos + 1;
            continue;
        }
        const int nSecond = EscapedByte(text, nPos + 3);
        // Only a well-formed two-byte UTF-8 pair is one character.
        if (nSecond >= 0 && nByte >= 0xC2 && nByte <= 0xDF && nSecond >= 0x80 && nSecond <= 0xBF)
        {
            std::string strChar;
            CTextUtils::AppendUtf8(strChar,
                                   static_cast<char32_t>(((nByte & 0x1F) << 6) | (nSecond & 0x3F)));
            text.replace(nPos, 6, strChar);
            nSearch = nPos + strChar.size();
            continue;
        }
        nSearch = nPos + 1;
    }
    return text;
}

bool IsFileUrl(std::string_view url)
{
    return CTextUtils::StartsWithNoCaseAscii(url, "file:");
}

bool UrlToPath(std::string_view url, std::string& strPath)
{
    const std::string strDecoded = PercentDecodeUrl(url);
    if (!IsFileUrl(strDecoded))
    {
        strPath = strDecoded;
        return true;
    }
    // file:///path, file://localhost/path or file:/path; a URL that names
    // another host has no local path.
    std::string_view rest = std::string_view(strDecoded).substr(5);
    if (rest.starts_with("//"))
    {
        rest.remove_prefix(2);
        if (CTextUtils::StartsWithNoCaseAscii(rest, "localhost/"))
            rest.remove_prefix(9);
    }
    std::string strLocal;
    if (!rest.starts_with('/') || !DecodeAllEscapes(rest, strLocal) ||
        strLocal.size() >= PATH_MAX || strLocal.find('\0') != std::string::npos)
    {
        KLOG_ERR << "UrlToPath PathCreateFromUrl failed";
        return false;
    }
    for (char& c : strLocal)
        if (c == '\\')
            c = '/';
    strPath = std::move(strLocal);
    return true;
}

std::string PercentEncodeUrl(std::string_view text, std::string_view keep)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text)
    {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            b == '-' || b == '_' || b == '.' || b == '~' || keep.find(c) != std::string_view::npos)
            out += c;
        else
        {
            out += '%';
            out += kDigits[b >> 4];
            out += kDigits[b & 0x0F];
        }
    }
    return out;
}

#include "LineProtocol.h"

#include "Logger.h"
#include "TextUtils.h"

#include <charconv>

void CLineProtocol::ParseText(std::span<const std::uint8_t> bytes, CAnswerLines& lines)
{
    if (bytes.size() > kMaxAnswerSize)
    {
        KLOG_ERR << "Buffer is too big";
        return;
    }
    std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (const auto nZero = raw.find('\0'); nZero != std::string_view::npos)
        raw = raw.substr(0, nZero);

    std::string text;
    text.reserve(raw.size());
    for (std::size_t nPos = 0; nPos < raw.size();)
    {
        const std::size_t nStart = nPos;
        const char32_t ch = CTextUtils::DecodeNext(raw, nPos);
        // A real U+FFFD takes three bytes; a one-byte step means invalid input.
        if (ch == U'\uFFFD' && nPos - nStart == 1)
            text += '?';
        else if (!(ch == U'\uFEFF' && nStart == 0))
            text.append(raw.substr(nStart, nPos - nStart));
    }
    if (text.empty())
        return;
    std::size_t nStart = 0;
    for (auto nFeed = text.find('\n'); nFeed != std::string::npos; nFeed = text.find('\n', nStart))
    {
        lines.push_back(text.substr(nStart, nFeed - nStart));
        nStart = nFeed + 1;
    }
    lines.push_back(text.substr(nStart));
}

bool CLineProtocol::CheckResult(const CAnswerLines& lines)
{
    if (lines.empty())
    {
        KLOG_ERR << "CHttpRequest::CheckResult: empty response";
        return false;
    }
    if (lines[0] == "OK")
    {
        if (lines.size() >= 2 && lines[1] == kVersion)
            return true;
        if (lines.size() >= 2)
            KLOG_ERR << "CHttpRequest::CheckResult: incorrect protocol version";
        else
            KLOG_ERR << "CHttpRequest::CheckResult: incorrect response format";
        return false;
    }
    if (lines[0] == "ERROR")
    {
        if (lines.size() == 4)
            KLOG_ERR << "CHttpRequest::CheckResult: error response, code: " << lines[2]
                     << " text: " << lines[3];
        else
            KLOG_ERR << "CHttpRequest::CheckResult: error response";
        return false;
    }
    KLOG_ERR << "CHttpRequest::CheckResult: incorrect response";
    return false;
}

bool CLineProtocol::ExtractError(const CAnswerLines& lines, int& nCode, std::string& strText)
{
    if (lines.size() != 4 || !CTextUtils::EqualsNoCaseAscii(lines[0], "ERROR"))
        return false;
    nCode = ToInt(lines[2]);
    strText = lines[3];
    return true;
}

std::vector<std::uint8_t> CLineProtocol::BuildBody(std::initializer_list<std::string_view> lines)
{
    std::string text(kVersion);
    for (const std::string_view line : lines)
    {
        text += '\n';
        text += line;
    }
    return {text.begin(), text.end()};
}

int CLineProtocol::ToInt(std::string_view text)
{
    std::size_t nPos = 0;
    while (nPos < text.size() && (text[nPos] == ' ' || text[nPos] == '\t'))
        ++nPos;
    int nValue = 0;
    const char* pBegin = text.data() + nPos;
    const auto [pEnd, error] = std::from_chars(pBegin, text.data() + text.size(), nValue);
    return error == std::errc() ? nValue : 0;
}

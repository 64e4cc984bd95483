#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using CAnswerLines = std::vector<std::string>;

// The service's line protocol. A request body is text lines joined by line
// feeds, the first being the protocol version "1"; an answer starts with "OK"
// or "ERROR" and the version line.
class CLineProtocol
{
public:
    static constexpr std::size_t kMaxAnswerSize = 1048576;
    static constexpr std::string_view kVersion = "1";

    // Decodes an answer (UTF-8 up to the first zero byte, a leading byte-order
    // mark dropped, each invalid byte as "?") and cuts it at every line feed;
    // the text after the last one is a line too, even when empty. Carriage
    // returns stay. An empty text gives no lines; a body over 1 MiB is refused.
    static void ParseText(std::span<const std::uint8_t> bytes, CAnswerLines& lines);
    // Whether an answer is "OK", "1", ...; every other answer is logged.
    static bool CheckResult(const CAnswerLines& lines);
    // From a 4-line answer whose first line is "ERROR" in any case: the code on
    // line 3 (0 when not numeric) and the text on line 4. False otherwise.
    static bool ExtractError(const CAnswerLines& lines, int& nCode, std::string& strText);
    // "1", then the lines, joined by line feeds, UTF-8 without a byte-order mark.
    static std::vector<std::uint8_t> BuildBody(std::initializer_list<std::string_view> lines);
    // A decimal number at the start of the text, as the service writes codes
    // and versions; 0 when there is none or it does not fit.
    static int ToInt(std::string_view text);
};

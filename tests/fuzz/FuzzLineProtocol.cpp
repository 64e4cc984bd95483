// Arbitrary answers through the line-protocol parser and checks: nothing
// crashes, and an accepted answer really starts with "OK" and "1".
#include "LineProtocol.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    CAnswerLines lines;
    CLineProtocol::ParseText(std::span(pData, nSize), lines);
    if (lines.size() > nSize + 1)
        std::abort();
    for (const auto& line : lines)
        if (line.find('\n') != std::string::npos)
            std::abort();
    if (CLineProtocol::CheckResult(lines) &&
        (lines.size() < 2 || lines[0] != "OK" || lines[1] != "1"))
        std::abort();
    int nCode = 0;
    std::string strText;
    if (CLineProtocol::ExtractError(lines, nCode, strText) && lines.size() != 4)
        std::abort();
    return 0;
}

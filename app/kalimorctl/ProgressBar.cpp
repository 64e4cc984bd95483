#include "ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
constexpr auto kRedrawPause = std::chrono::milliseconds(100);
constexpr double kRateAfterSeconds = 0.5; // earlier rates say little
constexpr int kMinBar = 10;
constexpr int kMaxBar = 30; // a bar that keeps its width as the rate appears

// A count, or bytes in KB, MB or GB with one decimal.
std::string Amount(std::uint64_t nValue, std::string_view unit)
{
    if (unit != "B")
        return std::to_string(nValue);
    const char* units[] = {"B", "KB", "MB", "GB"};
    double dValue = static_cast<double>(nValue);
    int nUnit = 0;
    while (dValue >= 1024 && nUnit < 3)
    {
        dValue /= 1024;
        ++nUnit;
    }
    char szText[32];
    std::snprintf(szText, sizeof(szText), nUnit == 0 ? "%.0f %s" : "%.1f %s", dValue, units[nUnit]);
    return szText;
}

// The width of UTF-8 text in characters (the stage may be Cyrillic).
int Columns(std::string_view text)
{
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

int TerminalWidth(int fd)
{
    winsize size{};
    return ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
} // namespace

CProgressBar::CProgressBar(int fd) : m_fd(fd)
{
    const char* szTerm = std::getenv("TERM");
    m_bTerminal = ::isatty(fd) == 1 && !(szTerm && std::strcmp(szTerm, "dumb") == 0);
}

CProgressBar::~CProgressBar()
{
    Finish();
}

ProgressFn CProgressBar::Function()
{
    if (!m_bTerminal)
        return {};
    return [this](const CProgress& progress) { Update(progress); };
}

std::string CProgressBar::Format(const CProgress& progress, double dSeconds, int nWidth)
{
    const std::string strUnit = progress.m_unit == "B" ? "" : " " + std::string(progress.m_unit);
    std::string counts = Amount(progress.m_nDone, progress.m_unit);
    if (progress.m_nTotal > 0)
        counts += "/" + Amount(progress.m_nTotal, progress.m_unit);
    counts += strUnit;
    if (dSeconds >= kRateAfterSeconds)
        counts +=
            "  " +
            Amount(static_cast<std::uint64_t>(static_cast<double>(progress.m_nDone) / dSeconds),
                   progress.m_unit) +
            (progress.m_unit == "B" ? "/s" : strUnit + "/s");

    std::string bar;
    if (progress.m_nTotal > 0)
    {
        const std::uint64_t nDone = std::min(progress.m_nDone, progress.m_nTotal);
        const int nPercent = static_cast<int>(100 * nDone / progress.m_nTotal);
        const int nCells =
            std::clamp(nWidth - Columns(progress.m_stage) - static_cast<int>(counts.size()) - 11,
                       kMinBar, kMaxBar);
        const int nFilled =
            static_cast<int>(static_cast<std::uint64_t>(nCells) * nDone / progress.m_nTotal);
        bar = " [" + std::string(std::size_t(nFilled), '#') +
              std::string(std::size_t(nCells - nFilled), '.') + "] " + std::to_string(nPercent) +
              "%";
    }
    std::string line = std::string(progress.m_stage) + bar + "  " + counts;
    // Too narrow a terminal: the line is cut rather than wrapped.
    while (Columns(line) > nWidth && !line.empty())
    {
        line.pop_back();
        while (!line.empty() && (line.back() & 0xC0) == 0x80)
            line.pop_back();
    }
    return line;
}

void CProgressBar::Update(const CProgress& progress)
{
    if (!m_bTerminal)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool bNewStage = progress.m_stage != m_strStage;
    if (bNewStage)
    {
        m_strStage = progress.m_stage;
        m_stageStart = now;
    }
    const bool bEnd = progress.m_nTotal > 0 && progress.m_nDone >= progress.m_nTotal;
    if (!bNewStage && !bEnd && now - m_lastDraw < kRedrawPause)
        return;
    m_lastDraw = now;
    const double dSeconds = std::chrono::duration<double>(now - m_stageStart).count();
    const std::string line = "\r\033[K" + Format(progress, dSeconds, TerminalWidth(m_fd) - 1);
    m_bDrawn = ::write(m_fd, line.data(), line.size()) >= 0;
}

void CProgressBar::Finish()
{
    if (!m_bDrawn)
        return;
    m_bDrawn = false;
    const std::string clear = "\r\033[K";
    if (::write(m_fd, clear.data(), clear.size()) < 0)
        return;
}

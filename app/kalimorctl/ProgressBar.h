#pragma once

#include "Progress.h"

#include <chrono>
#include <string>

// kalimorctl's progress bar for long commands, drawn on standard error only
// when that is a terminal (not a dumb one): one line redrawn at most ten
// times a second, with the stage, a bar when the total is known, the counts
// and the rate, and cleared when the work ends. Elsewhere it draws nothing, so
// scripts see the same output as without it.
class CProgressBar
{
public:
    explicit CProgressBar(int fd);
    ~CProgressBar();
    CProgressBar(const CProgressBar&) = delete;
    CProgressBar& operator=(const CProgressBar&) = delete;

    bool IsShown() const { return m_bTerminal; }
    // The function to hand to the work (nothing when not shown).
    ProgressFn Function();
    void Update(const CProgress& progress);
    // Clears the line.
    void Finish();

    // The line for a state of the work after that many seconds of its stage,
    // at most nWidth characters wide.
    static std::string Format(const CProgress& progress, double dSeconds, int nWidth);

private:
    int m_fd;
    bool m_bTerminal;
    bool m_bDrawn = false;
    std::string m_strStage;
    std::chrono::steady_clock::time_point m_stageStart;
    std::chrono::steady_clock::time_point m_lastDraw;
};

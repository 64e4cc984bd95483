#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

// How far a long piece of work has come: its stage, how much of the stage is
// done of how much (0: not known), counted in one unit ("files", "entries";
// "B" for bytes). Whoever shows it (kalimorctl's progress bar) hands a
// function to the work; without one nothing is reported.
struct CProgress
{
    std::string_view m_stage;
    std::string_view m_unit;
    std::uint64_t m_nDone = 0;
    std::uint64_t m_nTotal = 0;
};

using ProgressFn = std::function<void(const CProgress&)>;

#pragma once

#include "Progress.h"

#include <string>
#include <string_view>
#include <vector>

// What a publishing run found: errors (which stop it), warnings and notes,
// each naming the source file and, where there is one, the line.
class CPublishReport
{
public:
    void Error(std::string_view file, long nLine, std::string_view message);
    void Warning(std::string_view file, long nLine, std::string_view message);
    void Note(std::string_view message);

    bool HasErrors() const { return !m_errors.empty(); }
    const std::vector<std::string>& GetErrors() const { return m_errors; }
    const std::vector<std::string>& GetWarnings() const { return m_warnings; }
    const std::vector<std::string>& GetNotes() const { return m_notes; }

    // Where the run reports its progress (none by default).
    void SetProgress(ProgressFn progress) { m_progress = std::move(progress); }
    void Progress(std::string_view stage, std::string_view unit, std::uint64_t nDone,
                  std::uint64_t nTotal) const
    {
        if (m_progress)
            m_progress(CProgress{stage, unit, nDone, nTotal});
    }

private:
    ProgressFn m_progress;
    std::vector<std::string> m_errors;
    std::vector<std::string> m_warnings;
    std::vector<std::string> m_notes;
};

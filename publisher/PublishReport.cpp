#include "PublishReport.h"

namespace
{
std::string Place(std::string_view file, long nLine, std::string_view message)
{
    std::string text(file);
    if (nLine > 0)
        text += ":" + std::to_string(nLine);
    text += ": ";
    text += message;
    return text;
}
} // namespace

void CPublishReport::Error(std::string_view file, long nLine, std::string_view message)
{
    m_errors.push_back(Place(file, nLine, message));
}

void CPublishReport::Warning(std::string_view file, long nLine, std::string_view message)
{
    m_warnings.push_back(Place(file, nLine, message));
}

void CPublishReport::Note(std::string_view message)
{
    m_notes.emplace_back(message);
}

// Arbitrary pages through the document view's reading and cleaning: whatever
// a page holds, what goes to the browser has no script, no handler and no
// address that runs code, and the page's links resolve inside the content.
#include "DocumentPage.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
bool Contains(const std::string& text, const char* szPart)
{
    return text.find(szPart) != std::string::npos;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const std::string html(reinterpret_cast<const char*>(pData), nSize);
    CDocumentPage page;
    if (!page.LoadHtml(html, "/dir/page.html"))
        return 0;
    const std::string safe = page.GetSafeHtml();
    // Parsing what was written again finds nothing to remove: the writer
    // cannot be made to bring back what the cleaning took out.
    CDocumentPage again;
    if (again.LoadHtml(safe, "/dir/page.html") && again.GetSafeHtml().size() > safe.size() + 64)
        std::abort();
    if (Contains(safe, "<script") || Contains(safe, "<iframe") || Contains(safe, "<object") ||
        Contains(safe, "<embed") || Contains(safe, "<base"))
        std::abort();
    for (const CDocumentLink& link : page.GetLinks())
        if (link.m_strTarget.starts_with("/") && Contains(link.m_strTarget, "/../"))
            std::abort();
    page.GetText(200, true);
    return 0;
}

#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

class CClientContext;

// The forms library's home (view kind 7): its sections, each with how many
// forms it holds; the newest forms are shown under it by the news panel.
class CBlankSectionListWin : public CHTMLayoutWin
{
public:
    static constexpr const char* kSectionPrefix = "SECTION";

    CBlankSectionListWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(CBookmark& view);
    // The view of a section's form list.
    static CBookmark ForSection(std::size_t nIndex, const std::string& strName);

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    CClientContext& m_context;
    IViewHost* m_pHost;
    StringGenerator m_section;
};

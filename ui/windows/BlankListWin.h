#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

class CClientContext;
struct CBlankSection;

// The forms of one section of the forms library (view kind 8), in the
// catalogue's order, each with its date and who approved it.
class CBlankListWin : public CHTMLayoutWin
{
public:
    static constexpr const char* kFormPrefix = "FORM";

    CBlankListWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(CBookmark& view);
    const CBlankSection* GetSection() const { return m_pSection; }
    // The forms catalogue is about to be freed.
    void ForgetContent() { m_pSection = nullptr; }

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    CClientContext& m_context;
    IViewHost* m_pHost;
    const CBlankSection* m_pSection = nullptr;
    StringGenerator m_row;
};

#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"

// The heading of the news column on the home page, with the ways into the
// forms library and the tax calendar.
class CNewsHeaderWin : public CHTMLayoutWin
{
public:
    using CHTMLayoutWin::CHTMLayoutWin;
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    // Lines the heading up with the news under it.
    void SetInsets(int nLeft, int nRight);

    CHTMLayoutButtonCtrl m_blanks;
    CHTMLayoutButtonCtrl m_taxCalendar;
};

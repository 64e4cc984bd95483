#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"

#include <string>

// A window of the main window that shows its page and takes its view: the
// windows of the search, the forms library, the calendars and the news
// start from it.
class CBodyPageWin : public CHTMLayoutWin
{
public:
    explicit CBodyPageWin(std::string strPage, CAbstractHTMLayoutDataLoader* pLoader = nullptr)
        : CHTMLayoutWin(pLoader), m_strPage(std::move(strPage))
    {
    }
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    virtual void ShowBookmark(CBookmark& /*view*/) {}
    const std::string& GetPage() const { return m_strPage; }

private:
    std::string m_strPage;
};

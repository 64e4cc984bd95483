#pragma once

#include "HTMLayoutEventHandler.h"
#include "HTMLayoutNotifHandler.h"
#include "Wnd.h"

#include <string>

// A child window showing one HTML page. Derived windows name their page,
// create themselves, bind their controls to element ids and fill the page.
class CHTMLayoutWin : public CWnd, public CHTMLayoutNotifHandler, public CHTMLayoutEventHandler
{
public:
    explicit CHTMLayoutWin(CAbstractHTMLayoutDataLoader* pLoader = nullptr);
    ~CHTMLayoutWin() override;

    virtual bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId);
    virtual bool CreateEx(unsigned nExStyle, unsigned nStyle, const CRect& rect, CWnd* pParent,
                          int nId);
    // A hidden window above all others (a pop-up owned by pOwner), placed in
    // the main window's client area.
    bool CreatePopupWindow(const CRect& rect, CWnd* pOwner, int nId);
    bool LoadHtmlFromFile(const std::string& strPath);
    // The usual creation of a window: the window, its page, its root element;
    // each failure is logged.
    bool CreateWithPage(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId,
                        const std::string& strPage, CElement& root);
    CElement GetRootElement() const;
    // Moves the keyboard into the window's page as a view is shown there: to
    // its main heading, which a screen reader reads out as where the user
    // now is, or else to its first control. False when the page has neither.
    virtual bool FocusPage();
};

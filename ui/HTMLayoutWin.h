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
    virtual bool CreateEx(unsigned nExStyle, unsigned nStyle, const CRect& rect, CWnd* pParent, int nId);
    bool LoadHtmlFromFile(const std::string& strPath);
    CElement GetRootElement() const;
};

#pragma once

#include "HTMLayoutEventHandler.h"
#include "HTMLayoutNotifHandler.h"
#include "Wnd.h"

#include <functional>
#include <string>

enum EDialogResult : int
{
    IDOK = 1,
    IDCANCEL = 2,
};

// A dialog showing one HTML page, modal (DoModal runs a nested loop until
// EndDialog) or modeless (Create). Dialogs lie above the main window in the
// browser and are centred on it.
class CHTMLayoutDlg : public CWnd, public CHTMLayoutNotifHandler, public CHTMLayoutEventHandler
{
public:
    CHTMLayoutDlg(unsigned nTemplateId, std::string strPagePath, bool bResizeAndCenter,
                  CWnd* pParent, CAbstractHTMLayoutDataLoader* pLoader);
    ~CHTMLayoutDlg() override;

    int DoModal() { return DoModalEx(false, false); }
    // With bHideParent a parent dialog gives its place to this one and, with
    // bShowParentAfter, comes back when this one ends.
    int DoModalEx(bool bHideParent, bool bShowParentAfter);
    // A modeless dialog (the splash).
    bool Create();
    void EndDialog(int nResult);
    bool IsEnded() const { return m_bEnded; }

    void Show();
    void Hide();
    bool IsVisibleFlag() const { return m_bVisible; }
    bool ResizeAndCenterWindow();
    // The rectangle that holds the page's content; the window keeps its size.
    CRect ResizeWindow();
    bool CenterWindow();
    // The dialog's size when the page does not give one.
    void SetInitialSize(int nWidth, int nHeight) { m_initialSize = {0, 0, nWidth, nHeight}; }
    // A size given by the caller: the page's content does not change it.
    void SetFixedSize(int nWidth, int nHeight)
    {
        SetInitialSize(nWidth, nHeight);
        m_bResizeAndCenter = false;
    }
    CElement GetRootElement() const;
    CHTMLayoutDlg* GetParentDialog() const { return m_pParentDialog; }

protected:
    virtual int OnCreate();
    virtual bool OnInitDialog();
    bool LoadUI();
    // Lets the user drag the dialog by its "window_title" element.
    void EnableTitleDrag() { m_bTitleDrag = true; }
    void OnShowing(bool& bShow) override;
    // The keys of a form: Enter does its default action, Escape ends the
    // dialog with nCancelResult; any other key is not the dialog's.
    bool OnFormKey(unsigned nEvent, unsigned nKeyCode, const std::function<void()>& onEnter,
                   int nCancelResult);
    void OnContentSizeChanged() override;

    std::string m_strPagePath;

private:
    bool CreateDialogWindow();
    void UpdateDragHeight();

    unsigned m_nTemplateId;
    bool m_bResizeAndCenter;
    bool m_bHideParent = false;
    CHTMLayoutDlg* m_pParentDialog = nullptr;
    CWnd* m_pOwner = nullptr;
    bool m_bVisible = true;
    bool m_bEnded = false;
    int m_nResult = IDCANCEL;
    bool m_bTitleDrag = false;
    CRect m_initialSize{0, 0, 560, 320};
};

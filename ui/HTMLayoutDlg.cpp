#include "HTMLayoutDlg.h"

#include "FileUtils.h"
#include "HtmlDocument.h"
#include "Logger.h"
#include "WindowManager.h"

CHTMLayoutDlg::CHTMLayoutDlg(unsigned nTemplateId, std::string strPagePath, bool bResizeAndCenter,
                             CWnd* pParent, CAbstractHTMLayoutDataLoader* pLoader)
    : m_strPagePath(std::move(strPagePath)),
      m_nTemplateId(nTemplateId),
      m_bResizeAndCenter(bResizeAndCenter),
      m_pParentDialog(dynamic_cast<CHTMLayoutDlg*>(pParent)),
      m_pOwner(pParent)
{
    SetDataLoader(pLoader);
}

CHTMLayoutDlg::~CHTMLayoutDlg()
{
    DestroyWindow();
}

bool CHTMLayoutDlg::CreateDialogWindow()
{
    CWnd* pOwner = m_pOwner && m_pOwner->IsWindow() ? m_pOwner : nullptr;
    if (!CreateBase(WINDOW_DIALOG, GetWindowText(), m_initialSize, pOwner,
                    static_cast<int>(m_nTemplateId), false, true))
        return false;
    if (OnCreate() != 0)
    {
        DestroyWindow();
        return false;
    }
    if (!OnInitDialog())
    {
        DestroyWindow();
        return false;
    }
    if (m_bVisible)
        ShowWindow(SW_SHOW);
    return true;
}

int CHTMLayoutDlg::OnCreate()
{
    if (!AttachToWnd(this))
        return -1;
    GetHtmlDocument()->AttachWindowHandler(this);
    if (!LoadUI())
        return -1;
    if (m_bResizeAndCenter)
        ResizeAndCenterWindow();
    else
    {
        // The page fills a window whose size was given (its style sheet
        // tells the two cases apart by this attribute).
        CElement body = GetRootElement().SelectFirst("body");
        body.SetAttribute("window-size", "fixed");
        CenterWindow();
    }
    return 0;
}

bool CHTMLayoutDlg::LoadUI()
{
    CByteArray bytes;
    if (!CFileUtils::LoadBinFileOrResource(m_strPagePath, bytes) ||
        !GetHtmlDocument()->LoadHtml(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
    {
        KLOG_ERR << "CHTMLayoutDlg::LoadUI can't load " << m_strPagePath;
        return false;
    }
    if (m_bTitleDrag)
        UpdateDragHeight();
    return true;
}

bool CHTMLayoutDlg::OnInitDialog()
{
    if (m_pParentDialog && m_bHideParent)
        m_pParentDialog->Hide();
    if (!m_bVisible)
        ShowWindow(SW_HIDE);
    return true;
}

int CHTMLayoutDlg::DoModalEx(bool bHideParent, bool bShowParentAfter)
{
    KTRACE("CHTMLayoutDlg::DoModalEx");
    m_bHideParent = bHideParent;
    m_bEnded = false;
    m_nResult = IDCANCEL;
    CWindowManager* pManager = CWindowManager::Get();
    if (!pManager || !CreateDialogWindow())
        return -1;
    pManager->PushModal(this);
    pManager->GetLoop().RunUntil([this] { return m_bEnded || !IsWindow(); });
    pManager->PopModal(this);
    DestroyWindow();
    if (m_pParentDialog && bShowParentAfter)
        m_pParentDialog->Show();
    return m_nResult;
}

bool CHTMLayoutDlg::Create()
{
    return CreateDialogWindow();
}

void CHTMLayoutDlg::EndDialog(int nResult)
{
    m_nResult = nResult;
    m_bEnded = true;
    if (CWindowManager* pManager = CWindowManager::Get())
        pManager->GetLoop().PostTask([] {}); // wakes the modal loop to look at the flag
}

void CHTMLayoutDlg::Show()
{
    m_bVisible = true;
    if (IsWindow())
        ShowWindow(SW_SHOW);
}

void CHTMLayoutDlg::Hide()
{
    m_bVisible = false;
    if (IsWindow())
        ShowWindow(SW_HIDE);
}

void CHTMLayoutDlg::OnShowing(bool& bShow)
{
    if (!m_bVisible)
        bShow = false;
}

CElement CHTMLayoutDlg::GetRootElement() const
{
    return GetHtmlDocument() ? GetHtmlDocument()->GetRoot() : CElement();
}

bool CHTMLayoutDlg::ResizeAndCenterWindow()
{
    const CRect content = ResizeWindow();
    // The browser lays the page out: until it has reported the content's
    // size the dialog keeps the size it has.
    if (content.m_nWidth > 0 && content.m_nHeight > 0)
    {
        CRect rect = GetWindowRect();
        rect.m_nWidth = content.m_nWidth;
        rect.m_nHeight = content.m_nHeight;
        MoveWindow(rect);
    }
    return CenterWindow();
}

CRect CHTMLayoutDlg::ResizeWindow()
{
    return GetHtmlDocument() ? GetHtmlDocument()->GetContentSize() : CRect();
}

bool CHTMLayoutDlg::CenterWindow()
{
    CWindowManager* pManager = CWindowManager::Get();
    if (!pManager || !IsWindow())
    {
        KLOG_ERR << "CHTMLayoutDlg::CenterWindow  cannot set the window position.";
        return false;
    }
    CRect reference = pManager->GetDesktopRect();
    if (CWnd* pMain = pManager->GetMainWindow())
        reference = pMain->GetWindowRect();
    else
        KLOG_WARN << "CHTMLayoutDlg::CenterWindow cannot get main window instance.";
    const CRect client = GetClientRect();
    MoveWindow(reference.m_nLeft + (reference.m_nWidth - client.m_nWidth) / 2,
               reference.m_nTop + (reference.m_nHeight - client.m_nHeight) / 2, client.m_nWidth,
               client.m_nHeight);
    ShowWindow(SW_SHOW);
    return true;
}

void CHTMLayoutDlg::UpdateDragHeight()
{
    const CElement title = GetRootElement().FindById("window_title");
    if (title.IsValid())
        SetDragHeight(std::max(1, title.GetLocation().m_nHeight));
}

void CHTMLayoutDlg::OnContentSizeChanged()
{
    if (m_bTitleDrag)
        UpdateDragHeight();
    if (m_bResizeAndCenter)
        ResizeAndCenterWindow();
}

bool CHTMLayoutDlg::OnFormKey(unsigned nEvent, unsigned nKeyCode,
                              const std::function<void()>& onEnter, int nCancelResult)
{
    if (nEvent != KEY_DOWN)
        return false;
    if (nKeyCode == VK_RETURN)
        onEnter();
    else if (nKeyCode == VK_ESCAPE)
        EndDialog(nCancelResult);
    else
        return false;
    return true;
}

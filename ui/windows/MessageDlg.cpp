#include "MessageDlg.h"

#include "ClientContext.h"
#include "Logger.h"
#include "ShadowHost.h"
#include "StringTable.h"
#include "WindowManager.h"

namespace
{
constexpr const char* kFiller = "<td class=\"filler\" width=\"100%\"></td>";
constexpr const char* kGap = "<td class=\"gap\" style=\"width:30px\"></td>";
constexpr const char* kUpdate = "<td id=\"UPDATE\" button_type=\"update\" class=\"button\"></td>";
constexpr const char* kCancel = "<td id=\"CANCEL\" button_type=\"cancel\" class=\"button\"></td>";
constexpr const char* kClose = "<td id=\"CANCEL\" button_type=\"close\" class=\"button\"></td>";
constexpr const char* kVersion =
    "<td id=\"version_label\" class=\"version\" style=\"width:200px\"></td>";

IShadowHost* ShadowHost()
{
    CWindowManager* pManager = CWindowManager::Get();
    return pManager ? pManager->GetShadowHost() : nullptr;
}

std::string Run(const std::string& strText, unsigned nFlags, int nParam, int nWidth, int nHeight)
{
    IShadowHost* pHost = (nFlags & MSG_SHADOW) ? ShadowHost() : nullptr;
    // A message over another dialog finds the window dimmed already: the
    // scope leaves the shadow to the dialog that switched it on.
    CShadowScope shadow(pHost);
    CWindowManager* pManager = CWindowManager::Get();
    CMessageDlg dialog(strText, nFlags, nParam, pManager ? pManager->GetMainWindow() : nullptr);
    if (nWidth > 0)
        dialog.SetFixedSize(nWidth, nHeight);
    dialog.DoModal();
    // The shadow stays for a dialog that follows this one, and is not touched
    // when the main window was destroyed while the message showed.
    if ((nFlags & MSG_KEEP_SHADOW) || ShadowHost() != pHost)
        shadow.KeepShadow();
    return dialog.GetResult();
}
} // namespace

CMessageDlg::CMessageDlg(std::string strText, unsigned nFlags, int nParam, CWnd* pParent)
    : CHTMLayoutDlg(197, CClientContext::GetUiPath("ui/message_dlg.htm"), true, pParent,
                    CClientContext::GetUiLoader()),
      m_strText(std::move(strText)),
      m_nFlags(nFlags),
      m_nParam(nParam)
{
}

std::string CMessageDlg::BuildButtonRow(unsigned nFlags)
{
    std::string row;
    if (nFlags & MSG_UPDATE_CANCEL)
        row += std::string(kFiller) + kUpdate + kGap + kCancel + kFiller;
    if (nFlags & MSG_UPDATE_CLOSE)
        row += std::string(kFiller) + kUpdate + kGap + kClose + kFiller;
    if (nFlags & MSG_VERSION_CLOSE)
        row += std::string(kGap) + kVersion + kFiller + kClose + kGap;
    if (nFlags & MSG_UPDATE_ONLY)
        row += std::string(kFiller) + kUpdate + kFiller;
    return row.empty() ? row : "<table class=\"button_row\"><tr>" + row + "</tr></table>";
}

bool CMessageDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    CElement root = GetRootElement();
    if (!root.IsValid())
    {
        KLOG_ERR << "Can't get access to root element";
        return false;
    }
    CElement label = root.FindById("label");
    label.SetHtml(m_strText);
    // A text may name the client's version (the about text): it is filled in
    // here, so the number lives only in the build.
    if (CElement version = label.FindById("label_product_version"); version.IsValid())
        version.SetText(kClientVersion);
    if (!(m_nFlags & MSG_NO_IMAGE))
    {
        CElement image = root.FindById("image");
        if (!image.IsValid())
            KLOG_ERR << "Can't get access to image element";
        else
            image.SetAttribute("class", m_nParam == 1 ? "image_stop" : "image_warning");
    }
    if (m_nFlags & (MSG_UPDATE_CANCEL | MSG_UPDATE_CLOSE | MSG_VERSION_CLOSE | MSG_UPDATE_ONLY))
    {
        CElement buttons = root.FindById("buttons");
        if (!buttons.IsValid())
            KLOG_ERR << "Can't get access to buttons panel";
        else
            buttons.SetHtml(BuildButtonRow(m_nFlags));
    }
    if (m_nFlags & (MSG_VERSION | MSG_VERSION_CLOSE))
    {
        CElement version = root.FindById("version_label");
        if (!version.IsValid())
            KLOG_ERR << "Can't get access to version label";
        else
            version.SetText(kClientVersion);
    }
    // Each row has only some of the buttons; the others are simply absent.
    const std::pair<CHTMLayoutButtonCtrl*, const char*> kButtons[] = {
        {&m_ok, "OK"}, {&m_cancel, "CANCEL"}, {&m_update, "UPDATE"}, {&m_email, "EMAIL"}};
    for (const auto& button : kButtons)
        if (root.FindById(button.second).IsValid() && button.first->SetElement(root, button.second))
            button.first->m_sigClick.connect([this, szId = button.second] { Finish(szId); });
    return true;
}

void CMessageDlg::Finish(const char* szResult)
{
    m_strResult = szResult;
    KLOG_DEBUG << "CMessageDlg result " << m_strResult;
    EndDialog(IDOK);
}

bool CMessageDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent == KEY_DOWN && (nKeyCode == VK_ESCAPE || nKeyCode == VK_RETURN))
    {
        Finish("CANCEL");
        return true;
    }
    return false;
}

std::string ShowMessage(const std::string& strText, unsigned nFlags, int nParam)
{
    return Run(strText, nFlags, nParam, 0, 0);
}

std::string ShowMessage(unsigned nStringId, unsigned nFlags, int nParam)
{
    return Run(std::string(CStringTable::Get(nStringId)), nFlags, nParam, 0, 0);
}

std::string ShowMessageSized(const std::string& strText, unsigned nFlags, int nWidth, int nHeight)
{
    return Run(strText, nFlags, 0, nWidth, nHeight);
}

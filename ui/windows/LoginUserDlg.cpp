#include "LoginUserDlg.h"

#include "ClientContext.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "ProxySettingsDlg.h"
#include "StringTable.h"

namespace
{
constexpr unsigned kLoginDlgTemplate = 211;
} // namespace

CLoginUserDlg::CLoginUserDlg(CClientContext& context, std::string strReminderUrl, CWnd* pParent)
    : CHTMLayoutDlg(kLoginDlgTemplate, context.GetResourceConfig().GetLoginUserDlgPath(), true,
                    pParent, context.GetDataLoader()),
      m_context(context),
      m_config(context.GetRegistryConfig()),
      m_data(m_config),
      m_strReminderUrl(std::move(strReminderUrl))
{
    SetWindowText("Вход");
}

unsigned CLoginUserDlg::Check(std::string_view login, std::string_view password)
{
    if (!CLoginUserData::IsAcceptable(login))
        return IDS_LOGIN_INVALID;
    if (!CLoginUserData::IsAcceptable(password))
        return IDS_PASSWORD_INVALID;
    return 0;
}

bool CLoginUserDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    const CElement root = GetRootElement();
    if (!m_login.SetElement(root, "edit_user_login") ||
        !m_password.SetElement(root, "edit_user_password"))
    {
        KLOG_ERR << "CLoginUserDlg::OnInitDialog can't get the edits";
        return false;
    }
    if (!m_ok.SetElement(root, "btn_login") || !m_cancel.SetElement(root, "btn_cancel") ||
        !m_register.SetElement(root, "link_register") ||
        !m_restore.SetElement(root, "link_restore_password") ||
        !m_proxy.SetElement(root, "link_proxy"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    if (m_close.SetElement(root, "btn_title_close"))
        m_close.m_sigClick.connect([this] { EndDialog(LOGIN_CANCELLED); });
    EnableTitleDrag();
    m_data.LoadData();
    m_login.SetValue(m_data.GetLogin());
    m_password.SetValue(m_data.GetPassword());
    m_ok.m_sigClick.connect([this] { OnBtnLoginClick(); });
    m_cancel.m_sigClick.connect([this] { EndDialog(LOGIN_CANCELLED); });
    m_register.m_sigClick.connect([this] { EndDialog(LOGIN_REGISTER); });
    m_restore.m_sigClick.connect([this] { OnRestorePassword(); });
    m_proxy.m_sigClick.connect([this] { OnProxy(); });
    CElement((m_data.GetLogin().empty() ? m_login : m_password).GetElement()).SetState(STATE_FOCUS);
    return true;
}

void CLoginUserDlg::OnBtnLoginClick()
{
    const std::string strLogin = m_login.GetValue();
    const std::string strPassword = m_password.GetValue();
    if (const unsigned nRefusal = Check(strLogin, strPassword))
    {
        ShowMessage(nRefusal); // a plain message: dimmed window, no picture
        return;
    }
    m_data.SetLogin(strLogin);
    m_data.SetPassword(strPassword);
    m_data.SaveData();
    KLOG_NOTICE << "CLoginUserDlg: the account " << m_data.GetLogin() << " is saved";
    EndDialog(LOGIN_SAVED);
}

void CLoginUserDlg::OnRestorePassword()
{
    if (!m_context.OpenExternal(m_strReminderUrl))
        ShowMessage(IDS_HYPERLINK_ERROR, MSG_NO_IMAGE);
}

void CLoginUserDlg::OnProxy()
{
    CProxySettingsDlg proxy(m_config, this);
    proxy.DoModalEx(true, true);
}

bool CLoginUserDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    return OnFormKey(
        nEvent, nKeyCode, [this] { OnBtnLoginClick(); }, LOGIN_CANCELLED);
}

#include "RegistrationUserDlg.h"

#include "ClientContext.h"
#include "Logger.h"
#include "LoginUserData.h"
#include "MessageDlg.h"
#include "StringTable.h"
#include "TextUtils.h"

namespace
{
constexpr unsigned kRegistrationDlgTemplate = 212;

std::size_t Characters(std::string_view text)
{
    return CTextUtils::ToUtf32(text).size();
}
} // namespace

CRegistrationUserDlg::CRegistrationUserDlg(const CRegistrationData& record, CWnd* pParent)
    : CHTMLayoutDlg(kRegistrationDlgTemplate,
                    CClientContext::GetUiPath("ui/registration_user_dlg.htm"), true, pParent,
                    CClientContext::GetUiLoader()),
      m_record(record)
{
    SetWindowText("Регистрация");
}

unsigned CRegistrationUserDlg::Validate(const CFields& fields)
{
    const std::string_view login = CTextUtils::Trim(fields.m_strLogin);
    const std::string_view password = CTextUtils::Trim(fields.m_strPassword);
    if (Characters(login) < 3)
        return IDS_LOGIN_TOO_SHORT;
    if (Characters(password) < 6)
        return IDS_PASSWORD_TOO_SHORT;
    if (!CLoginUserData::IsAcceptable(login))
        return IDS_LOGIN_INVALID;
    if (!CLoginUserData::IsAcceptable(password))
        return IDS_PASSWORD_INVALID;
    for (const std::string* pField :
         {&fields.m_strName, &fields.m_strFamilyName, &fields.m_strEmail})
        if (CTextUtils::Trim(*pField).empty())
            return IDS_SIGN_UP_FIELDS_EMPTY;
    if (password != CTextUtils::Trim(fields.m_strConfirmation))
        return IDS_PASSWORD_MISMATCH;
    return 0;
}

bool CRegistrationUserDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    const CElement root = GetRootElement();
    const std::pair<CHTMLayoutEditCtrl*, const char*> kEdits[] = {
        {&m_name, "edit_name"},
        {&m_familyName, "edit_last_name"},
        {&m_email, "email"},
        {&m_login, "edit_logn"},
        {&m_password, "edit_password"},
        {&m_confirmation, "edit_confirm_password"}};
    for (const auto& [pEdit, szId] : kEdits)
        if (!pEdit->SetElement(root, szId))
            return false;
    if (!m_ok.SetElement(root, "btn_registration") || !m_cancel.SetElement(root, "btn_cancel"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    if (m_close.SetElement(root, "btn_title_close"))
        m_close.m_sigClick.connect([this] { EndDialog(SIGN_UP_CANCELLED); });
    EnableTitleDrag();
    m_name.SetValue(m_record.GetName());
    m_familyName.SetValue(m_record.GetFamilyName());
    m_email.SetValue(m_record.GetEmail());
    m_login.SetValue(m_record.GetLogin());
    m_password.SetValue(m_record.GetPassword());
    m_confirmation.SetValue(m_record.GetPassword());
    m_ok.m_sigClick.connect([this] { OnRegister(); });
    m_cancel.m_sigClick.connect([this] { EndDialog(SIGN_UP_CANCELLED); });
    CElement(m_name.GetElement()).SetState(STATE_FOCUS);
    return true;
}

void CRegistrationUserDlg::OnRegister()
{
    const CFields fields{m_name.GetValue(),  m_familyName.GetValue(), m_email.GetValue(),
                         m_login.GetValue(), m_password.GetValue(),   m_confirmation.GetValue()};
    if (const unsigned nRefusal = Validate(fields))
    {
        ShowMessage(nRefusal); // a plain message: dimmed window, no picture
        return;
    }
    m_record.SetName(fields.m_strName);
    m_record.SetFamilyName(fields.m_strFamilyName);
    m_record.SetEmail(fields.m_strEmail);
    m_record.SetLogin(fields.m_strLogin);
    m_record.SetPassword(fields.m_strPassword);
    EndDialog(SIGN_UP_CONFIRMED);
}

bool CRegistrationUserDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    return OnFormKey(
        nEvent, nKeyCode, [this] { OnRegister(); }, SIGN_UP_CANCELLED);
}

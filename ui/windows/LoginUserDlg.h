#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"
#include "LoginUserData.h"

#include <string>
#include <string_view>

class CClientContext;

// The sign-in dialog: the account's login and password. It never talks to
// the service; a wrong password is found by the update that follows.
class CLoginUserDlg : public CHTMLayoutDlg
{
public:
    enum EResult : int
    {
        LOGIN_SAVED = 0,
        LOGIN_CANCELLED = 1,
        LOGIN_REGISTER = 2, // the user wants an account first
    };

    // The account is kept in the context's settings.
    CLoginUserDlg(CClientContext& context, std::string strReminderUrl, CWnd* pParent);

    // The message that refuses a login and password (a string number), or 0.
    static unsigned Check(std::string_view login, std::string_view password);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void OnBtnLoginClick();
    void OnRestorePassword();
    void OnProxy();

    CClientContext& m_context;
    CRegistryConfig& m_config;
    CLoginUserData m_data;
    std::string m_strReminderUrl;
    CHTMLayoutEditCtrl m_login, m_password;
    CHTMLayoutButtonCtrl m_ok, m_cancel, m_register, m_restore, m_proxy, m_close;
};

#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"
#include "HttpReqRegisterUser.h"

#include <string>

// The sign-up form: name, family name, e-mail, login and the password twice.
// It fills the record the update dialog sends; the record's other fields stay
// as they were.
class CRegistrationUserDlg : public CHTMLayoutDlg
{
public:
    enum EResult : int
    {
        SIGN_UP_CONFIRMED = 0,
        SIGN_UP_CANCELLED = 1,
    };

    // What the form holds, as typed.
    struct CFields
    {
        std::string m_strName;
        std::string m_strFamilyName;
        std::string m_strEmail;
        std::string m_strLogin;
        std::string m_strPassword;
        std::string m_strConfirmation;
    };

    CRegistrationUserDlg(const CRegistrationData& record, CWnd* pParent);
    const CRegistrationData& GetRecord() const { return m_record; }

    // The message that refuses the form (a string number), or 0. The checks
    // run on the trimmed fields in a fixed order: lengths, then characters,
    // then empty fields, then the confirmation.
    static unsigned Validate(const CFields& fields);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void OnRegister();

    CRegistrationData m_record;
    CHTMLayoutEditCtrl m_name, m_familyName, m_email, m_login, m_password, m_confirmation;
    CHTMLayoutButtonCtrl m_ok, m_cancel, m_close;
};

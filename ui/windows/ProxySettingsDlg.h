#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"

#include <array>
#include <string>
#include <string_view>

class CRegistryConfig;

// How the client reaches the service: directly, through the system's proxy,
// or through a proxy given here with its account. Saved only by "OK".
class CProxySettingsDlg : public CHTMLayoutDlg
{
public:
    enum EResult : int
    {
        PROXY_SAVED = 1,
        PROXY_CANCELLED = 2,
    };

    CProxySettingsDlg(CRegistryConfig& config, CWnd* pParent);

    // The proxy type (1 direct, 2 system, 3 given) whose radio is on, 0 for none.
    int GetCheckedType() const;
    // The message that refuses the settings (a string number), or 0.
    static unsigned Check(int nType, std::string_view server, std::string_view port);
    // The leading decimal digits of a port field; 0 when there are none or
    // the number is no port.
    static int ParsePort(std::string_view text);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    void LoadData();
    void CheckRadio(int nType);
    void OnBtnOkClick();

    CRegistryConfig& m_config;
    std::array<CElement, 3> m_radios;
    CHTMLayoutEditCtrl m_server, m_port, m_login, m_password;
    CHTMLayoutButtonCtrl m_ok, m_cancel, m_close;
};

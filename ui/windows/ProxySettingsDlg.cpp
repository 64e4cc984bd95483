#include "ProxySettingsDlg.h"

#include "ClientContext.h"
#include "HttpSettings.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "RegistryConfig.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <algorithm>

namespace
{
constexpr unsigned kProxyDlgTemplate = 213;
constexpr std::array<const char*, 3> kRadioIds{"radio_direct", "radio_system", "radio_specify"};
constexpr int kLargestPort = 65535;
} // namespace

CProxySettingsDlg::CProxySettingsDlg(CRegistryConfig& config, CWnd* pParent)
    : CHTMLayoutDlg(kProxyDlgTemplate, CClientContext::GetUiPath("ui/proxy_settings_dlg.htm"), true,
                    pParent, CClientContext::GetUiLoader()),
      m_config(config)
{
    SetWindowText("Настройки соединения");
}

int CProxySettingsDlg::ParsePort(std::string_view text)
{
    long nPort = 0;
    for (const char c : text)
    {
        if (c < '0' || c > '9')
            break;
        nPort = nPort * 10 + (c - '0');
        if (nPort > kLargestPort)
            return 0;
    }
    return static_cast<int>(nPort);
}

unsigned CProxySettingsDlg::Check(int nType, std::string_view server, std::string_view port)
{
    if (nType != PROXY_NAMED)
        return 0;
    if (CTextUtils::Trim(server).empty())
        return IDS_PROXY_HOST_MISSING;
    if (ParsePort(port) == 0)
        return IDS_PROXY_PORT_MISSING;
    return 0;
}

bool CProxySettingsDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    const CElement root = GetRootElement();
    for (std::size_t i = 0; i < kRadioIds.size(); ++i)
        m_radios[i] = root.FindById(kRadioIds[i]);
    if (!m_server.SetElement(root, "edit_server") || !m_port.SetElement(root, "edit_port") ||
        !m_login.SetElement(root, "edit_user_login") ||
        !m_password.SetElement(root, "edit_user_password") || !m_ok.SetElement(root, "btn_ok") ||
        !m_cancel.SetElement(root, "btn_cancel") ||
        !std::all_of(m_radios.begin(), m_radios.end(),
                     [](const CElement& radio) { return radio.IsValid(); }))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    if (m_close.SetElement(root, "btn_title_close"))
        m_close.m_sigClick.connect([this] { EndDialog(PROXY_CANCELLED); });
    EnableTitleDrag();
    m_ok.m_sigClick.connect([this] { OnBtnOkClick(); });
    m_cancel.m_sigClick.connect([this] { EndDialog(PROXY_CANCELLED); });
    LoadData();
    return true;
}

void CProxySettingsDlg::LoadData()
{
    CheckRadio(m_config.m_nProxyType);
    m_server.SetValue(m_config.m_strProxyHost);
    m_port.SetValue(std::to_string(m_config.m_nProxyPort));
    m_login.SetValue(m_config.m_strProxyLogin);
    m_password.SetValue(m_config.m_strProxyPassword);
}

void CProxySettingsDlg::CheckRadio(int nType)
{
    for (std::size_t i = 0; i < m_radios.size(); ++i)
    {
        const bool bOn = static_cast<int>(i) + 1 == nType;
        m_radios[i].SetAttribute("on", bOn ? "1" : "0");
        m_radios[i].SetAttribute("aria-checked", bOn ? "true" : "false");
    }
}

int CProxySettingsDlg::GetCheckedType() const
{
    for (std::size_t i = 0; i < m_radios.size(); ++i)
        if (m_radios[i].GetAttribute("on") == "1")
            return static_cast<int>(i) + 1;
    return 0;
}

void CProxySettingsDlg::OnBtnOkClick()
{
    const int nType = GetCheckedType();
    const std::string strServer = m_server.GetValue();
    const std::string strPort = m_port.GetValue();
    if (const unsigned nRefusal = Check(nType, strServer, strPort))
    {
        ShowMessage(nRefusal); // a plain message: dimmed window, no picture
        return;
    }
    if (nType != 0)
        m_config.m_nProxyType = nType;
    m_config.m_strProxyHost = strServer;
    m_config.m_nProxyPort = ParsePort(strPort);
    m_config.m_strProxyLogin = m_login.GetValue();
    m_config.m_strProxyPassword = m_password.GetValue();
    m_config.SaveSettings();
    EndDialog(PROXY_SAVED);
}

bool CProxySettingsDlg::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId = CElement::FromNode(event.m_pTarget).GetAttribute("id");
    for (std::size_t i = 0; i < kRadioIds.size(); ++i)
        if (strId == kRadioIds[i])
        {
            CheckRadio(static_cast<int>(i) + 1);
            return true;
        }
    return false;
}

bool CProxySettingsDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    return OnFormKey(
        nEvent, nKeyCode, [this] { OnBtnOkClick(); }, PROXY_CANCELLED);
}

#pragma once

#include "HTMLayoutDlg.h"
#include "HttpRequest.h"
#include "UiDispatcher.h"
#include "UpdateFlow.h"

#include <memory>
#include <string>

class CClientContext;
class CMessageLoop;
class CProfileConfig;
class CRegistryConfig;

// What every update dialog works with, whatever its mode.
struct CUpdateSetup
{
    CRegistryConfig& m_config;
    const CProfileConfig& m_profile;
    // The login of the last successful sign-up in this run of the program.
    std::string& m_strRegisteredLogin;
    CRequestSettings m_settings;
};

// The update dialog: shows the states of the update flow (its text, its
// buttons, the progress bar) and hands the user's answers back to it. Escape
// and the close box cancel the state on screen; the flow decides the end code.
class CUpdateDlg : public CHTMLayoutDlg, public IUpdateView
{
public:
    CUpdateDlg(CClientContext& context, CUpdateSetup setup, int nMode, CWnd* pParent);
    ~CUpdateDlg() override;

    // Mode 2 or 3: the sign-up record to send.
    void SetRegistration(const CRegistrationData& registration);
    // Mode 6: the web address and the file to write.
    void SetDownload(std::string strUrl, std::string strLocalPath);
    // Mode 7: the newer client's package.
    void SetClientUrl(std::string strUrl);
    // The user quits while the update runs.
    void CancelFromTray();

    int GetMode() const { return m_flow.GetMode(); }
    int GetState() const { return m_flow.GetState(); }
    const CUpdateFlow& GetFlow() const { return m_flow; }

    // IUpdateView
    void ShowState(const CUpdateViewState& state) override;
    void ShowProgress(int nValue) override;
    std::string AskInstallerPath(const std::string& strDefaultName) override;
    bool OpenUrl(const std::string& strUrl) override;
    void ShowMessage(std::string_view text) override;
    void EndDialog(int nCode) override;

    // The bar for a value of 0-100: the page's progress table.
    static std::string BuildProgressHtml(int nValue);
    // The row of up to two buttons, "LEFT_BUTTON" and "RIGHT_BUTTON".
    static std::string BuildButtonsHtml(EUpdateButton left, EUpdateButton right);
    // The offer of a newer client, from its notice page (empty when missing).
    static std::string NewClientNoticeHtml();

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    // Worker threads reach the dialog through the UI thread's loop.
    class CLoopDispatcher : public IUiDispatcher
    {
    public:
        explicit CLoopDispatcher(CMessageLoop* pLoop) : m_pLoop(pLoop) {}
        bool Send(std::function<void()> fn) override;
        void Post(std::function<void()> fn) override;

    private:
        CMessageLoop* m_pLoop;
    };

    CClientContext& m_context;
    CLoopDispatcher m_dispatcher;
    // The flow is made with the dialog and started when the page is up; it
    // goes first when the dialog is destroyed.
    CUpdateFlow m_flow;
    int m_nProgress = -1;
};

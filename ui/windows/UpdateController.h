#pragma once

#include "HttpReqRegisterUser.h"
#include "UpdateApp.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

class CCheckClientThread;
class CClientContext;
class CShadowScope;
class IUpdateFrame;
class CUpdateDlg;

// The timers the controller runs on the main window.
enum EMainWindowTimer : unsigned
{
    TIMER_CLIENT_VERSION = 2,
    TIMER_CLIENT_OFFER = 3,
};

// The application's side of the update dialog: which dialog runs when and
// over what, where each end code leads (the sign-in form again, the sign-up
// form again, a reload of the content), the account dialogs around it, the
// offer of a newer client, and single files of the service's web site.
class CUpdateController : private IUpdateAppHost
{
public:
    static constexpr std::time_t kOfferPause = std::time_t{7} * 24 * 60 * 60;

    CUpdateController(CClientContext& context, IUpdateFrame& main);
    ~CUpdateController() override;
    CUpdateController(const CUpdateController&) = delete;
    CUpdateController& operator=(const CUpdateController&) = delete;

    // What the update does by itself from the window's start: the client's
    // version is asked for now and every three hours, a newer client is
    // offered (once a minute it is looked whether it may be), and a client
    // started into the tray has its content brought up to date once the
    // start is over.
    void Start();
    // A timer of the main window; false for one that is not the update's.
    bool OnTimer(unsigned nId);
    // The newer client's address as WM_NEW_CLIENT_URL brings it (lParam):
    // the controller takes the string it handed over.
    void TakeNewClientUrl(std::intptr_t lParam);
    const std::string& GetNewClientUrl() const { return m_strNewClientUrl; }

    // The update button: the update when an account is stored, the sign-in
    // dialog first when none is.
    void OnUpdateButton();
    // The settings button: the sign-in dialog, no update after it.
    void OnConfigButton();
    // The update, started from the tray menu (silent in tray mode) or from the
    // top panel's menu.
    void OnAppUpdate(bool bSilent);
    // The update the client runs by itself while it sits in the tray, when
    // the user asked for automatic updates.
    void OnScheduledUpdate();
    // The sign-in dialog, and the sign-up form when the user asks for it;
    // with bUpdateAfter an update follows a confirmed sign-in.
    void EnterConfigParams(bool bUpdateAfter);
    // The update, shown (mode 0) or silent in the tray (mode 1).
    void UpdateData(bool bSilent);
    // A file of the service's web site kept under the documents folder: the
    // local copy when there is one, otherwise downloaded through the update
    // dialog. Empty when it cannot be had.
    std::string DownloadContentFile(const std::string& strRelativePath);
    // Asks the service in the background whether a newer client exists; the
    // answer reaches the main window as WM_NEW_CLIENT_URL.
    void CheckClientVersion();
    // Offers the newer client when the rule allows it.
    void NotifyUserAboutClientUpdate(const std::string& strClientUrl, bool bForeground);
    static bool ShouldOfferClient(bool bUrlPending, bool bUpdateRunning, bool bForeground,
                                  bool bOfferedBefore, std::time_t tLastOffer, std::time_t tNow);

    bool IsRunning() const { return m_pDialog != nullptr; }
    // The user quits: a running update ends with code 6 (the client quits).
    void CancelFromTray();
    // The window came back from the tray: a silent update shows itself.
    void ShowDialog();
    // Where the last newer client's package was saved.
    const std::string& GetInstallerPath() const { return m_strInstallerPath; }

private:
    // IUpdateAppHost
    void QuitApplication() override;
    void RefreshMainWindow() override;
    void ReloadData() override;
    void SetWaitCursor(bool bWait) override;

    void UpdateOrSignIn();
    int RunDialog(int nMode, CRegistrationData& record,
                  const std::function<void(CUpdateDlg&)>& prepare = nullptr);
    // Runs the dialog until its end needs no more of the user: a refused
    // sign-in opens the sign-in dialog and runs again, a refused sign-up
    // shows the form again.
    int RunUntilSettled(int nMode, CRegistrationData record);
    int RunLoginDialog();
    // For the dialogs whose end goes nowhere else (a single file, the client
    // offer): a quit asked for while they showed.
    void QuitIfAsked(int nCode);
    bool RunSignUpForm(CRegistrationData& record);
    void Finish(int nCode, int nMode, int nPreviousVersion, const std::string& strError);

    CClientContext& m_context;
    IUpdateFrame& m_main;
    CUpdateDlg* m_pDialog = nullptr;
    CShadowScope* m_pShadow = nullptr; // the running dialog's, set with m_pDialog
    std::string m_strRegisteredLogin;
    std::string m_strInstallerPath;
    std::string m_strLastError;
    std::string m_strNewClientUrl;
    bool m_bOffered = false;
    std::time_t m_tLastOffer = 0;
    std::shared_ptr<CCheckClientThread> m_pWatcher;
};

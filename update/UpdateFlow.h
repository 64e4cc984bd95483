#pragma once

#include "HttpReqRegisterUser.h"
#include "HttpRequest.h"
#include "ServiceRequests.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class CHttpReqGetFile;
class CProfileConfig;
class CRegistryConfig;
class CUpdateProcess;
class IUiDispatcher;

// What the update dialog was opened for.
enum EUpdateMode : int
{
    UPDATE_MODE_USER = 0,           // the update button
    UPDATE_MODE_TRAY = 1,           // scheduled, hidden, ends by itself
    UPDATE_MODE_SIGN_UP = 2,        // only register
    UPDATE_MODE_SIGN_UP_UPDATE = 3, // register, then update
    UPDATE_MODE_DOWNLOAD_URL = 6,   // fetch one file of the web site
    UPDATE_MODE_CLIENT_OFFER = 7,   // offer a newer client
};

// The dialog's end codes.
enum EUpdateEnd : int
{
    UPDATE_END_DONE = 0,
    UPDATE_END_STOPPED = 1,
    UPDATE_END_ERROR_AFTER_INSTALL = 2,
    UPDATE_END_NOTHING_NEW = 3,
    UPDATE_END_CANCELLED = 4,
    UPDATE_END_ERROR = 5,
    UPDATE_END_TRAY_QUIT = 6,
    UPDATE_END_SIGN_UP_REFUSED = 7,
    UPDATE_END_SIGN_IN_REFUSED = 8,
    UPDATE_END_CLIENT_DOWNLOADED = 9,
};

enum class EUpdateButton
{
    None,
    Ok,
    Cancel,
    Yes,
    No,
};

// What the dialog shows in one state.
struct CUpdateViewState
{
    int m_nState = 0;
    std::optional<std::string> m_title; // unset: keep the page's title; empty: a blank
    std::string m_strAction;
    // A second paragraph under the action (where a downloaded client is).
    std::string m_strDetail;
    bool m_bError = false; // the action is an error label
    bool m_bPasswordLink = false;
    bool m_bProgress = false; // the bar is shown
    EUpdateButton m_left = EUpdateButton::None;
    EUpdateButton m_right = EUpdateButton::None;
};

// The update dialog as the flow sees it; every call comes on the UI thread.
class IUpdateView
{
public:
    virtual ~IUpdateView() = default;
    virtual void ShowState(const CUpdateViewState& state) = 0;
    // 0-100.
    virtual void ShowProgress(int nValue) = 0;
    // The save-file dialog for the newer client's package (asks before
    // overwriting); empty when the user cancelled it.
    virtual std::string AskInstallerPath(const std::string& strDefaultName) = 0;
    // Opens a web page or a folder with the desktop's handler; false when
    // that fails.
    virtual bool OpenUrl(const std::string& strUrl) = 0;
    virtual void ShowMessage(std::string_view text) = 0;
    // Ends the modal loop with the code.
    virtual void EndDialog(int nCode) = 0;
};

// What the flow works with. Everything here belongs to the UI thread.
struct CUpdateFlowContext
{
    IUiDispatcher& m_dispatcher;
    IUpdateView& m_view;
    CRegistryConfig& m_config;
    const CProfileConfig& m_profile;
    // The login of the last successful sign-up in this run of the program.
    std::string& m_strRegisteredLogin;
    // Where the service is and the pauses of the requests; the proxy is
    // taken from m_config whenever a request starts.
    CRequestSettings m_settings;
};

// The update dialog's state machine, without the dialog: it signs in, offers a
// newer client, fetches the package list, downloads and unpacks each package,
// stores each installed version, and serves the sign-up, single-file download
// and client-offer modes. Requests run on worker threads; their handlers take
// one process-wide lock, check that this flow is still the open one and hand
// the result to the UI thread synchronously, so every state change happens on
// the UI thread.
class CUpdateFlow
{
public:
    CUpdateFlow(CUpdateFlowContext context, int nMode);
    CUpdateFlow(CUpdateFlowContext context, int nMode, const CRegistrationData& registration);
    // Destroy it on the UI thread after EndDialog (or once the loop has
    // stopped): a handler may be waiting for the UI thread until then.
    ~CUpdateFlow();
    CUpdateFlow(const CUpdateFlow&) = delete;
    CUpdateFlow& operator=(const CUpdateFlow&) = delete;

    // Mode 6: the web address to fetch and the file to write.
    void SetDownload(std::string strUrl, std::string strLocalPath);
    // Mode 7: the installer of the newer client.
    void SetClientUrl(std::string strUrl);
    // Mode 3 with the record.
    void SetRegistrationMode(const CRegistrationData& registration);
    // The record of a sign-up, the mode kept.
    void SetRegistration(const CRegistrationData& registration) { m_registration = registration; }

    // The dialog has opened: loads the account and the content version,
    // becomes the open dialog and enters the mode's first state.
    void Start();
    // A click on "LEFT_BUTTON", "RIGHT_BUTTON" or "PASSWORD_LINK".
    void OnButton(std::string_view id);
    // Escape or the window's close.
    void OnCancel();
    // The user quits from the tray while the update runs.
    void CancelFromTray();
    // Stops every running request and ends the dialog. While a handler holds
    // the lock it tries again later through the loop instead of blocking.
    void EndDialog(int nCode);

    int GetMode() const { return m_nMode; }
    int GetState() const { return m_nState; }
    bool IsEnded() const { return m_bEnded; }
    const std::string& GetInstallerPath() const { return m_strInstallerPath; }
    // The text of the last failure (the service's, or the client's own).
    const std::string& GetErrorText() const { return m_strErrorText; }
    const CRegistrationData& GetRegistration() const { return m_registration; }

    // Whether an update dialog is open anywhere in the process.
    static bool IsAnyOpen();
    // The bar's value for a progress report of p percent in a state, with n
    // packages of which i are installed.
    static int ProgressValue(int nState, std::size_t nPackages, std::size_t nInstalled,
                             unsigned nPercent);

private:
    void EnterState(int nState);
    void Show(int nState, unsigned nTextId, EUpdateButton left,
              EUpdateButton right = EUpdateButton::None, bool bProgress = false);
    void ShowError(int nState, bool bLink = false);
    void ShowClientDownloaded(int nState);
    void FinishInTray(int nCode);
    int InstalledOr(int nAfter, int nBefore) const
    {
        return m_nPackageIndex > 0 ? nAfter : nBefore;
    }

    void StartSalt();
    void StartClientVersions();
    void StartUpdateList();
    void StartPackageDownload();
    void StartUnpack();
    void StartClientDownload();
    void StartUrlDownload();
    void StartRegister();

    void OnRequestError();
    void OnSaltSuccess();
    void OnClientVersionSuccess();
    void OnUpdateListReceived();
    void OnZipProcessSuccess();
    void OnRegisterSuccess();
    void OnProgress(unsigned nPercent);
    void OfferClient(bool bYes, int nNextState);

    // Handlers for a request started now: each takes the process-wide lock
    // and runs its part on the UI thread if the request is still current.
    CRequestHandlers MakeHandlers(std::function<void()> onSuccess, std::function<void()> onError,
                                  bool bProgress);
    static void RunCallback(CUpdateFlow* pFlow, std::uint64_t nSerial, std::uint64_t nRequest,
                            const std::function<void()>& fn);
    CRequestSettings GetSettings() const;
    std::string GetPasswordField() const;
    void KillAll();

    CUpdateFlowContext m_context;
    std::shared_ptr<CHttpReqSalt> m_pSalt;
    std::shared_ptr<CHttpReqClientVersions> m_pClientVersions;
    std::shared_ptr<CHttpReqFullUpdate> m_pUpdateList;
    std::shared_ptr<CHttpReqGetFile> m_pGetFile;
    std::shared_ptr<CUpdateProcess> m_pUnpack;
    std::shared_ptr<CHttpReqRegisterUser> m_pRegister;

    int m_nMode;
    CRegistrationData m_registration;
    std::string m_strLogin;
    std::string m_strPassword;
    std::string m_strSalt;
    std::string m_strErrorText;
    int m_nErrorCode = 0;
    std::string m_strInstallerPath;
    std::size_t m_nPackageIndex = 0;
    int m_nContentVersion = 0;
    CUpdateList m_updateList;
    std::string m_strNewClientVersion;
    std::string m_strNewClientUrl;
    std::string m_strDownloadUrl;
    std::string m_strDownloadPath;
    int m_nState = -1;
    bool m_bAccountTaken = false; // a request with the password has succeeded

    std::uint64_t m_nSerial;            // this flow among all flows of the process
    std::uint64_t m_nActiveRequest = 0; // the request whose answer is awaited
    bool m_bInCallback = false;
    bool m_bEnded = false;
    std::shared_ptr<bool> m_pAlive = std::make_shared<bool>(true);
};

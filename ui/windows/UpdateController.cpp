#include "UpdateController.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "Logger.h"
#include "LoginUserData.h"
#include "LoginUserDlg.h"
#include "MainWindowMessages.h"
#include "RegistrationUserDlg.h"
#include "ServiceRequests.h"
#include "ShadowHost.h"
#include "UpdateDlg.h"
#include "UpdateFrame.h"
#include "UrlToPath.h"
#include "WindowManager.h"

#include <algorithm>
#include <filesystem>

namespace
{
constexpr const char* kDownloadSuffix = ".download";

bool IsSignUpMode(int nMode)
{
    return nMode == UPDATE_MODE_SIGN_UP || nMode == UPDATE_MODE_SIGN_UP_UPDATE;
}

// The documents folder's file for a site address; empty when the address
// leads out of the folder.
std::string LocalFileFor(const std::string& strDocuments, const std::string& strRelative)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(strDocuments).lexically_normal();
    const fs::path file =
        fs::path(CFileUtils::GetContentFilePath(strRelative, strDocuments)).lexically_normal();
    const auto [itFolder, itFile] =
        std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
    const bool bInside = (itFolder == folder.end() || itFolder->empty()) && itFile != file.end() &&
                         !file.filename().empty();
    return bInside ? file.string() : std::string();
}
} // namespace

CUpdateController::CUpdateController(CClientContext& context, IUpdateFrame& main)
    : m_context(context),
      m_main(main)
{
}

CUpdateController::~CUpdateController()
{
    if (m_pWatcher)
        m_pWatcher->KillRequest();
}

void CUpdateController::Start()
{
    CWnd& frame = m_main.GetFrameWnd();
    frame.SetTimer(TIMER_CLIENT_VERSION, 10800000);
    frame.SetTimer(TIMER_CLIENT_OFFER, 60000);
    CheckClientVersion();
    // Started into the tray (with the desktop session): the content is
    // brought up to date once the start is over.
    if (m_context.IsTrayMode())
        frame.PostMessage(WM_SCHEDULED_UPDATE);
}

bool CUpdateController::OnTimer(unsigned nId)
{
    if (nId == TIMER_CLIENT_VERSION)
    {
        CheckClientVersion();
        OnScheduledUpdate();
        return true;
    }
    if (nId == TIMER_CLIENT_OFFER)
    {
        NotifyUserAboutClientUpdate(m_strNewClientUrl, m_main.IsForeground());
        return true;
    }
    return false;
}

void CUpdateController::TakeNewClientUrl(std::intptr_t lParam)
{
    std::unique_ptr<std::string> pUrl(reinterpret_cast<std::string*>(lParam));
    if (pUrl)
        m_strNewClientUrl = *pUrl;
}

void CUpdateController::OnUpdateButton()
{
    KLOG_NOTICE << "Pressed update button";
    UpdateOrSignIn();
}

void CUpdateController::OnConfigButton()
{
    KLOG_NOTICE << "Pressed config button";
    EnterConfigParams(false);
}

void CUpdateController::OnAppUpdate(bool bSilent)
{
    KLOG_NOTICE << "CMainWindow::OnAppUpdate" << (bSilent ? " silent" : "");
    if (bSilent)
        UpdateData(true);
    else
        UpdateOrSignIn();
}

void CUpdateController::OnScheduledUpdate()
{
    if (m_context.IsTrayMode() && m_context.GetRegistryConfig().m_bAutoUpdate)
        OnAppUpdate(true);
}

void CUpdateController::UpdateOrSignIn()
{
    if (!m_context.GetRegistryConfig().GetLogin().empty())
        UpdateData(false);
    else
        EnterConfigParams(true);
}

void CUpdateController::EnterConfigParams(bool bUpdateAfter)
{
    KTRACE("CMainWindow::EnterConfigParams");
    if (IsRunning())
        return;
    const int nLogin = RunLoginDialog();
    if (nLogin == CLoginUserDlg::LOGIN_SAVED && bUpdateAfter)
        UpdateData(false);
    else if (nLogin == CLoginUserDlg::LOGIN_REGISTER)
    {
        const int nPrevious = m_context.GetRegistryConfig().GetContentVersion();
        CRegistrationData record;
        if (!RunSignUpForm(record))
            return;
        const int nMode = bUpdateAfter ? UPDATE_MODE_SIGN_UP_UPDATE : UPDATE_MODE_SIGN_UP;
        Finish(RunUntilSettled(nMode, record), nMode, nPrevious, m_strLastError);
    }
}

void CUpdateController::UpdateData(bool bSilent)
{
    if (IsRunning())
        return;
    const int nMode = bSilent ? UPDATE_MODE_TRAY : UPDATE_MODE_USER;
    const int nPrevious = m_context.GetRegistryConfig().GetContentVersion();
    if (bSilent)
    {
        if (m_context.GetRegistryConfig().GetLogin().empty())
        {
            // Nobody can be asked for an account while the window is hidden.
            KLOG_NOTICE << "CKalimorClntApp::UpdateData no account for the update in the tray";
            return;
        }
        if (IUpdateNotifier* pNotifier = m_context.GetUpdateNotifier())
            pNotifier->ShowUpdateStarted();
    }
    Finish(RunUntilSettled(nMode, CRegistrationData()), nMode, nPrevious, m_strLastError);
}

int CUpdateController::RunDialog(int nMode, CRegistrationData& record,
                                 const std::function<void(CUpdateDlg&)>& prepare)
{
    const CProfileConfig* pProfile = m_context.GetProfile();
    if (!pProfile)
    {
        KLOG_ERR << "CKalimorClntApp::UpdateData there is no profile to update";
        return UPDATE_END_ERROR;
    }
    CRegistryConfig& config = m_context.GetRegistryConfig();
    CUpdateDlg dialog(
        m_context,
        CUpdateSetup{config, *pProfile, m_strRegisteredLogin, m_context.GetRequestSettings()},
        nMode, &m_main.GetFrameWnd());
    if (IsSignUpMode(nMode))
        dialog.SetRegistration(record);
    if (prepare)
        prepare(dialog);
    const bool bSilent = nMode == UPDATE_MODE_TRAY && m_context.IsTrayMode();
    if (bSilent)
        dialog.Hide();
    int nCode = UPDATE_END_ERROR;
    {
        // A silent update dims the window only when the user brings it into
        // view (ShowDialog).
        CShadowScope shadow(&m_main, !bSilent);
        m_pDialog = &dialog;
        m_pShadow = &shadow;
        nCode = dialog.DoModalEx(true, false);
        m_pDialog = nullptr;
        m_pShadow = nullptr;
    }
    if (nCode < 0)
        nCode = UPDATE_END_ERROR;
    m_strLastError = dialog.GetFlow().GetErrorText();
    if (IsSignUpMode(nMode))
    {
        record = dialog.GetFlow().GetRegistration();
        // The service has the account now, whatever came after: the client
        // keeps it.
        if (!record.GetLogin().empty() && record.GetLogin() == m_strRegisteredLogin)
        {
            CLoginUserData account(config);
            account.SetLogin(record.GetLogin());
            account.SetPassword(record.GetPassword());
            account.SaveData();
        }
    }
    if (nCode == UPDATE_END_CLIENT_DOWNLOADED)
        m_strInstallerPath = dialog.GetFlow().GetInstallerPath();
    return nCode;
}

int CUpdateController::RunUntilSettled(int nMode, CRegistrationData record)
{
    int nCode = RunDialog(nMode, record);
    for (;;)
    {
        if (nCode == UPDATE_END_SIGN_IN_REFUSED)
        {
            const int nLogin = RunLoginDialog();
            // A corrected account runs the same update again. A sign-up run
            // becomes a plain update: the account exists by now, and signing
            // up again would only be refused. (A run in the tray never asks
            // for an account: its refusal ends unseen.)
            if (nLogin == CLoginUserDlg::LOGIN_SAVED)
                nMode = IsSignUpMode(nMode) ? int(UPDATE_MODE_USER) : nMode;
            else if (nLogin == CLoginUserDlg::LOGIN_REGISTER &&
                     RunSignUpForm(record = CRegistrationData()))
                nMode = UPDATE_MODE_SIGN_UP_UPDATE;
            else
                return UPDATE_END_ERROR;
        }
        else if (nCode == UPDATE_END_SIGN_UP_REFUSED)
        {
            if (!RunSignUpForm(record))
                return UPDATE_END_ERROR;
        }
        else
            return nCode;
        nCode = RunDialog(nMode, record);
    }
}

int CUpdateController::RunLoginDialog()
{
    const CShadowScope shadow(&m_main);
    CLoginUserDlg dialog(m_context,
                         m_context.GetRequestSettings().m_service.m_strPasswordReminderUrl,
                         &m_main.GetFrameWnd());
    const int nResult = dialog.DoModal();
    return nResult < 0 ? int(CLoginUserDlg::LOGIN_CANCELLED) : nResult;
}

bool CUpdateController::RunSignUpForm(CRegistrationData& record)
{
    const CShadowScope shadow(&m_main);
    CRegistrationUserDlg dialog(record, &m_main.GetFrameWnd());
    if (dialog.DoModal() != CRegistrationUserDlg::SIGN_UP_CONFIRMED)
        return false;
    record = dialog.GetRecord();
    return true;
}

void CUpdateController::Finish(int nCode, int nMode, int nPreviousVersion,
                               const std::string& strError)
{
    KLOG_NOTICE << "CKalimorClntApp::UpdateData mode " << nMode << " ended with " << nCode;
    if (nMode == UPDATE_MODE_TRAY)
        if (IUpdateNotifier* pNotifier = m_context.GetUpdateNotifier())
        {
            if (nCode == UPDATE_END_DONE || nCode == UPDATE_END_NOTHING_NEW)
                pNotifier->ShowUpdateFinished(nCode == UPDATE_END_DONE);
            else if (nCode == UPDATE_END_ERROR || nCode == UPDATE_END_ERROR_AFTER_INSTALL)
                pNotifier->ShowUpdateFailed(strError);
        }
    // A newer client's package was saved and its folder opened; the user
    // installs it, the client goes on.
    if (nCode == UPDATE_END_CLIENT_DOWNLOADED)
        return;
    UpdateAppAfterUpdateData(nCode, nPreviousVersion, m_context.GetRegistryConfig(), *this);
}

std::string CUpdateController::DownloadContentFile(const std::string& strRelativePath)
{
    KTRACE("CMainWindow::DownloadContentFile", strRelativePath);
    std::string strRelative = strRelativePath;
    std::replace(strRelative.begin(), strRelative.end(), '\\', '/');
    std::string strLocal = LocalFileFor(m_context.GetDocumentsFolder(), strRelative);
    if (strLocal.empty())
    {
        KLOG_ERR << "CMainWindow::DownloadContentFile refuses " << strRelativePath;
        return {};
    }
    if (CFileUtils::FileExists(strLocal))
        return strLocal;
    if (IsRunning() || !CFileUtils::MakePathForFile(strLocal))
        return {};
    // Written beside its place and moved there only whole: a broken download
    // must never pass for the file the next time.
    const std::string strPart = strLocal + kDownloadSuffix;
    const std::string strUrl =
        m_context.GetRequestSettings().m_service.GetWebUrl(PercentEncodeUrl(strRelative, "/"));
    CRegistrationData none;
    const int nCode = RunDialog(UPDATE_MODE_DOWNLOAD_URL, none,
                                [&](CUpdateDlg& dialog) { dialog.SetDownload(strUrl, strPart); });
    if (nCode == UPDATE_END_DONE && CFileUtils::MoveFile(strPart, strLocal))
        return strLocal;
    if (CFileUtils::FileExists(strPart))
        CFileUtils::RemoveFile(strPart);
    QuitIfAsked(nCode);
    return {};
}

void CUpdateController::CheckClientVersion()
{
    KTRACE("CMainWindow::CheckClientVersion");
    CWindowManager* pManager = CWindowManager::Get();
    if (!pManager)
        return;
    if (m_pWatcher)
        m_pWatcher->KillRequest();
    CMessageLoop* pLoop = &pManager->GetLoop();
    const int nWindow = m_main.GetFrameWnd().GetSafeHwnd();
    // The watcher's thread hands the address to the UI thread; the window
    // takes it there, if it still exists.
    m_pWatcher = CCheckClientThread::Start(
        m_context.GetRequestSettings(), [pLoop, nWindow](std::string strUrl) {
            pLoop->PostTask([nWindow, strUrl = std::move(strUrl)] {
                CWindowManager* pUi = CWindowManager::Get();
                if (CWnd* pWnd = pUi ? pUi->FromHandle(nWindow) : nullptr)
                {
                    auto pUrl = std::make_unique<std::string>(strUrl);
                    pWnd->SendMessage(WM_NEW_CLIENT_URL, 0,
                                      reinterpret_cast<std::intptr_t>(pUrl.release()));
                }
            });
        });
}

bool CUpdateController::ShouldOfferClient(bool bUrlPending, bool bUpdateRunning, bool bForeground,
                                          bool bOfferedBefore, std::time_t tLastOffer,
                                          std::time_t tNow)
{
    if (!bUrlPending || bUpdateRunning || !bForeground)
        return false;
    // A clock set back does not silence the offer for as long as it was moved.
    return !bOfferedBefore || tNow < tLastOffer || tNow - tLastOffer >= kOfferPause;
}

void CUpdateController::NotifyUserAboutClientUpdate(const std::string& strClientUrl,
                                                    bool bForeground)
{
    const std::time_t tNow = m_context.Now();
    if (!ShouldOfferClient(!strClientUrl.empty(), IsRunning(), bForeground, m_bOffered,
                           m_tLastOffer, tNow))
        return;
    KTRACE("CMainWindow::NotifyUserAboutClientUpdate");
    m_bOffered = true;
    m_tLastOffer = tNow;
    CRegistrationData none;
    QuitIfAsked(RunDialog(UPDATE_MODE_CLIENT_OFFER, none,
                          [&](CUpdateDlg& dialog) { dialog.SetClientUrl(strClientUrl); }));
}

void CUpdateController::CancelFromTray()
{
    if (m_pDialog)
        m_pDialog->CancelFromTray();
}

void CUpdateController::ShowDialog()
{
    if (!m_pDialog)
        return;
    m_pShadow->Dim();
    m_pDialog->Show();
}

void CUpdateController::QuitIfAsked(int nCode)
{
    // "Выход" or the stop message ended the dialog: the client quits, whatever
    // the dialog was doing.
    if (nCode == UPDATE_END_TRAY_QUIT)
        QuitApplication();
}

void CUpdateController::QuitApplication()
{
    m_main.PostStop();
}

void CUpdateController::SetWaitCursor(bool bWait)
{
    m_main.SetWaitCursor(bWait);
}

void CUpdateController::RefreshMainWindow()
{
    m_main.OnUpdateStatus();
}

void CUpdateController::ReloadData()
{
    m_main.ReloadContent();
}

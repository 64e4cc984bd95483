#include "UpdateFlow.h"

#include "Digest.h"
#include "HttpReqGetFile.h"
#include "Logger.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "StringTable.h"
#include "UiDispatcher.h"
#include "UpdateProcess.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

namespace
{
// The process-wide lock of the update dialogs and the one that is open
// (by serial number: 0 when none is).
std::timed_mutex& FlowMutex()
{
    static std::timed_mutex mutex;
    return mutex;
}

std::uint64_t& CurrentFlow()
{
    static std::uint64_t nSerial = 0;
    return nSerial;
}

std::uint64_t NextSerial()
{
    static std::atomic<std::uint64_t> nNext{1};
    return nNext++;
}

std::string Text(unsigned nId)
{
    return std::string(CStringTable::Get(nId));
}

// A package version names the downloaded file, so it must be a plain number.
bool IsPackageVersion(std::string_view text)
{
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The service's codes for a login it does not know and a password it does
// not take.
bool IsAccountRefusal(int nCode)
{
    return nCode == 101 || nCode == 102;
}

std::string LastUrlSegment(std::string_view url)
{
    const auto nSlash = url.find_last_of("/\\");
    return std::string(nSlash == std::string_view::npos ? url : url.substr(nSlash + 1));
}
} // namespace

CUpdateFlow::CUpdateFlow(CUpdateFlowContext context, int nMode)
    : m_context(std::move(context)),
      m_nMode(nMode),
      m_nSerial(NextSerial())
{
}

CUpdateFlow::CUpdateFlow(CUpdateFlowContext context, int nMode,
                         const CRegistrationData& registration)
    : CUpdateFlow(std::move(context), nMode)
{
    m_registration = registration;
}

CUpdateFlow::~CUpdateFlow()
{
    // After EndDialog no handler can reach this flow any more; otherwise it
    // is withdrawn here as EndDialog would.
    if (m_bEnded)
        return;
    std::lock_guard lock(FlowMutex());
    if (CurrentFlow() == m_nSerial)
        CurrentFlow() = 0;
    KillAll();
}

void CUpdateFlow::SetDownload(std::string strUrl, std::string strLocalPath)
{
    m_strDownloadUrl = std::move(strUrl);
    m_strDownloadPath = std::move(strLocalPath);
}

void CUpdateFlow::SetClientUrl(std::string strUrl)
{
    m_strNewClientUrl = std::move(strUrl);
}

void CUpdateFlow::SetRegistrationMode(const CRegistrationData& registration)
{
    m_nMode = UPDATE_MODE_SIGN_UP_UPDATE;
    m_registration = registration;
}

bool CUpdateFlow::IsAnyOpen()
{
    std::lock_guard lock(FlowMutex());
    return CurrentFlow() != 0;
}

int CUpdateFlow::ProgressValue(int nState, std::size_t nPackages, std::size_t nInstalled,
                               unsigned nPercent)
{
    if (nState == 4 || nState == 21 || nState == 24 || nPackages == 0)
        return static_cast<int>(std::min(nPercent, 100U));
    if (nState == 8 && nPercent == 100 && nInstalled + 1 == nPackages)
        return 100;
    const std::size_t nShare = 100 / nPackages; // whole: three packages share 33 each
    const double dShare = static_cast<double>(nShare);
    double dValue = dShare * (nPercent / 100.0) * 0.5 + static_cast<double>(nInstalled) * dShare;
    if (nState == 8)
        dValue += dShare * 0.5;
    return std::clamp(static_cast<int>(dValue), 0, 100);
}

void CUpdateFlow::Start()
{
    KTRACE("CUpdateDlg::OnInitDialog");
    m_strLogin = m_context.m_config.GetLogin();
    m_strPassword = m_context.m_config.GetPassword();
    m_nContentVersion = m_context.m_config.GetContentVersion();
    {
        std::lock_guard lock(FlowMutex());
        CurrentFlow() = m_nSerial;
    }
    switch (m_nMode)
    {
    case UPDATE_MODE_SIGN_UP:
    case UPDATE_MODE_SIGN_UP_UPDATE: EnterState(13); break;
    case UPDATE_MODE_DOWNLOAD_URL: EnterState(21); break;
    case UPDATE_MODE_CLIENT_OFFER: EnterState(23); break;
    default: EnterState(0); break;
    }
}

void CUpdateFlow::Show(int nState, unsigned nTextId, EUpdateButton left, EUpdateButton right,
                       bool bProgress)
{
    CUpdateViewState view;
    view.m_nState = nState;
    view.m_strAction = Text(nTextId);
    view.m_left = left;
    view.m_right = right;
    view.m_bProgress = bProgress;
    if (nState == 13)
        view.m_title = Text(IDS_SIGN_UP_TITLE);
    else if (nState == 21 || nState == 23)
        view.m_title = std::string();
    m_context.m_view.ShowState(view);
}

void CUpdateFlow::ShowError(int nState, bool bLink)
{
    CUpdateViewState view;
    view.m_nState = nState;
    view.m_strAction = m_strErrorText;
    view.m_bError = true;
    view.m_bPasswordLink = bLink;
    view.m_left = EUpdateButton::Ok;
    if (m_nMode == UPDATE_MODE_DOWNLOAD_URL)
        view.m_title = std::string();
    m_context.m_view.ShowState(view);
}

void CUpdateFlow::ShowClientDownloaded(int nState)
{
    // A newer client comes as a package the user installs with the system's
    // own tools, never run from here: the dialog says where it is and opens
    // its folder.
    const auto nSlash = m_strInstallerPath.rfind('/');
    const std::string strFolder =
        nSlash == std::string::npos ? std::string(".") : m_strInstallerPath.substr(0, nSlash);
    CUpdateViewState view;
    view.m_nState = nState;
    view.m_strAction = Text(IDS_UPDATE_CLIENT_DOWNLOADED);
    std::string strDetail = Text(IDS_CLIENT_PACKAGE_SAVED);
    if (const auto nAt = strDetail.find("%s"); nAt != std::string::npos)
        strDetail.replace(nAt, 2, strFolder);
    view.m_strDetail = std::move(strDetail);
    view.m_left = EUpdateButton::Ok;
    if (nState == 25)
        view.m_title = std::string();
    m_context.m_view.ShowState(view);
    if (!m_context.m_view.OpenUrl(strFolder))
        KLOG_WARN << "CUpdateDlg: can't open the folder " << strFolder;
}

void CUpdateFlow::FinishInTray(int nCode)
{
    if (m_nMode == UPDATE_MODE_TRAY)
        EndDialog(nCode);
}

void CUpdateFlow::EnterState(int nState)
{
    KLOG_DEBUG << "CUpdateDlg: state " << nState;
    m_nState = nState;
    const auto ok = EUpdateButton::Ok;
    const auto cancel = EUpdateButton::Cancel;
    switch (nState)
    {
    case 0:
        Show(nState, IDS_UPDATE_PLEASE_WAIT, cancel);
        StartSalt();
        break;
    case 2:
        Show(nState, IDS_UPDATE_PLEASE_WAIT, cancel);
        StartClientVersions();
        break;
    case 3:
    case 23:
        Show(nState, IDS_UPDATE_NEW_CLIENT_OFFER, EUpdateButton::Yes, EUpdateButton::No);
        break;
    case 4:
    case 24:
        Show(nState, IDS_UPDATE_CLIENT_DOWNLOADING, cancel, EUpdateButton::None, true);
        OnProgress(0);
        StartClientDownload();
        break;
    case 5:
    case 25: ShowClientDownloaded(nState); break;
    case 6:
        Show(nState, IDS_UPDATE_PLEASE_WAIT, cancel);
        StartUpdateList();
        break;
    case 7:
        Show(nState, IDS_UPDATE_PLEASE_WAIT, cancel, EUpdateButton::None, true);
        OnProgress(0);
        StartPackageDownload();
        break;
    case 8:
        Show(nState, IDS_UPDATE_PLEASE_WAIT, cancel, EUpdateButton::None, true);
        OnProgress(0);
        StartUnpack();
        break;
    case 9:
        Show(nState, IDS_UPDATE_DONE, ok);
        FinishInTray(UPDATE_END_DONE);
        break;
    case 10:
    case 11:
    case 18:
    case 19:
    case 20:
        ShowError(nState, nState == 19);
        FinishInTray(InstalledOr(UPDATE_END_ERROR_AFTER_INSTALL, UPDATE_END_ERROR));
        break;
    case 12:
        Show(nState, IDS_UPDATE_UP_TO_DATE, ok);
        FinishInTray(UPDATE_END_NOTHING_NEW);
        break;
    case 13:
        Show(nState, IDS_SIGN_UP_SENDING, cancel);
        StartRegister();
        break;
    case 14: Show(nState, IDS_SIGN_UP_DONE, ok); break;
    case 21:
        Show(nState, IDS_DOWNLOAD_URL_LOADING, cancel, EUpdateButton::None, true);
        OnProgress(0);
        StartUrlDownload();
        break;
    case 22: Show(nState, IDS_DOWNLOAD_URL_DONE, ok); break;
    default: break;
    }
}

CRequestSettings CUpdateFlow::GetSettings() const
{
    CRequestSettings settings = m_context.m_settings;
    const CHttpSettings proxy = CHttpSettings::FromConfig(m_context.m_config);
    settings.m_http.m_nProxyType = proxy.m_nProxyType;
    settings.m_http.m_strProxyHost = proxy.m_strProxyHost;
    settings.m_http.m_nProxyPort = proxy.m_nProxyPort;
    settings.m_http.m_strProxyLogin = proxy.m_strProxyLogin;
    settings.m_http.m_strProxyPassword = proxy.m_strProxyPassword;
    return settings;
}

std::string CUpdateFlow::GetPasswordField() const
{
    return CDigest::MakeCredentialDigest(m_strSalt, m_strPassword);
}

void CUpdateFlow::RunCallback(CUpdateFlow* pFlow, std::uint64_t nSerial, std::uint64_t nRequest,
                              const std::function<void()>& fn)
{
    std::lock_guard lock(FlowMutex());
    // The flow is alive while it is the open one: its destructor and EndDialog
    // clear that under this lock, and the UI thread cannot reach either while
    // it runs this callback.
    if (CurrentFlow() != nSerial)
        return;
    pFlow->m_context.m_dispatcher.Send([pFlow, nRequest, &fn] {
        if (pFlow->m_nActiveRequest != nRequest || pFlow->m_bEnded)
            return;
        pFlow->m_bInCallback = true;
        fn();
        pFlow->m_bInCallback = false;
    });
}

CRequestHandlers CUpdateFlow::MakeHandlers(std::function<void()> onSuccess,
                                           std::function<void()> onError, bool bProgress)
{
    const std::uint64_t nRequest = ++m_nActiveRequest;
    const std::uint64_t nSerial = m_nSerial;
    CUpdateFlow* pFlow = this;
    CRequestHandlers handlers;
    handlers.m_success = [=, fn = std::move(onSuccess)] {
        RunCallback(pFlow, nSerial, nRequest, fn);
    };
    handlers.m_error = [=, fn = std::move(onError)] { RunCallback(pFlow, nSerial, nRequest, fn); };
    if (bProgress)
        handlers.m_progress = [=](unsigned nPercent) {
            RunCallback(pFlow, nSerial, nRequest,
                        [pFlow, nPercent] { pFlow->OnProgress(nPercent); });
        };
    return handlers;
}

void CUpdateFlow::StartSalt()
{
    const bool bRetry = m_nMode == UPDATE_MODE_SIGN_UP_UPDATE ||
                        (!m_strLogin.empty() && m_strLogin == m_context.m_strRegisteredLogin);
    m_pSalt = CHttpReqSalt::DoRequest(MakeHandlers(
                                          [this] {
                                              m_strSalt =
                                                  std::exchange(m_pSalt, nullptr)->GetSalt();
                                              OnSaltSuccess();
                                          },
                                          [this] {
                                              const auto pRequest = std::exchange(m_pSalt, nullptr);
                                              m_strErrorText = pRequest->GetErrorText();
                                              m_nErrorCode = pRequest->GetErrorCode();
                                              OnRequestError();
                                          },
                                          false),
                                      GetSettings(), m_strLogin, bRetry);
}

void CUpdateFlow::StartClientVersions()
{
    m_pClientVersions = CHttpReqClientVersions::DoRequest(
        MakeHandlers(
            [this] {
                const auto pRequest = std::exchange(m_pClientVersions, nullptr);
                m_strNewClientVersion = pRequest->GetVersion();
                m_strNewClientUrl = pRequest->GetUrl();
                OnClientVersionSuccess();
            },
            [this] {
                const auto pRequest = std::exchange(m_pClientVersions, nullptr);
                m_strErrorText = pRequest->GetErrorText();
                m_nErrorCode = pRequest->GetErrorCode();
                OnRequestError();
            },
            false),
        GetSettings(), m_strLogin, GetPasswordField());
}

void CUpdateFlow::StartUpdateList()
{
    auto handlers = MakeHandlers(
        [this] {
            std::exchange(m_pUpdateList, nullptr)->GetUpdateList(m_updateList);
            OnUpdateListReceived();
        },
        [this] {
            const auto pRequest = std::exchange(m_pUpdateList, nullptr);
            m_strErrorText = pRequest->GetErrorText();
            m_nErrorCode = pRequest->GetErrorCode();
            OnRequestError();
        },
        false);
    if (m_nContentVersion != 0)
        m_pUpdateList =
            CHttpReqUpdateContent::DoRequest(std::move(handlers), GetSettings(), m_strLogin,
                                             GetPasswordField(), std::to_string(m_nContentVersion));
    else
        m_pUpdateList = CHttpReqFullUpdate::DoRequest(std::move(handlers), GetSettings(),
                                                      m_strLogin, GetPasswordField());
}

void CUpdateFlow::StartPackageDownload()
{
    const auto& [strVersion, strUrl] = m_updateList[m_nPackageIndex];
    if (!IsPackageVersion(strVersion))
    {
        KLOG_ERR << "CUpdateDlg: the service named a package version that is not a number: "
                 << strVersion;
        m_strErrorText.clear();
        OnRequestError();
        return;
    }
    m_pGetFile = CHttpReqGetFile::DoRequest(
        MakeHandlers(
            [this] {
                m_pGetFile = nullptr;
                EnterState(8);
            },
            [this] {
                m_pGetFile = nullptr;
                m_strErrorText.clear();
                OnRequestError();
            },
            true),
        GetSettings(), strUrl, m_context.m_profile.m_strDownloadDirPath + strVersion + ".zip",
        false);
}

void CUpdateFlow::StartUnpack()
{
    CUnpackJob job;
    job.m_strZipPath =
        m_context.m_profile.m_strDownloadDirPath + m_updateList[m_nPackageIndex].first + ".zip";
    job.m_bIsLast = m_nPackageIndex + 1 == m_updateList.size();
    job.m_bDeleteAfter = true;
    job.m_lastPause = m_context.m_settings.m_finishPause;
    const CProfileConfig& profile = m_context.m_profile;
    m_pUnpack = CUpdateProcess::DoUpdate(
        MakeHandlers(
            [this] {
                m_pUnpack = nullptr;
                OnZipProcessSuccess();
            },
            [this] {
                // A full disk has a text of its own (with the size needed);
                // any other failure shows the connection text.
                m_strErrorText = std::exchange(m_pUnpack, nullptr)->GetErrorText();
                OnRequestError();
            },
            true),
        CUnpackTarget{profile.m_strContentDirPath, profile.m_strStyleSheetSourcePath,
                      profile.m_strStyleSheetPath},
        std::move(job));
}

void CUpdateFlow::StartClientDownload()
{
    m_pGetFile =
        CHttpReqGetFile::DoRequest(MakeHandlers(
                                       [this] {
                                           m_pGetFile = nullptr;
                                           EnterState(m_nState == 24 ? 25 : 5);
                                       },
                                       [this] {
                                           m_pGetFile = nullptr;
                                           m_strErrorText.clear();
                                           OnRequestError();
                                       },
                                       true),
                                   GetSettings(), m_strNewClientUrl, m_strInstallerPath, true);
}

void CUpdateFlow::StartUrlDownload()
{
    m_pGetFile =
        CHttpReqGetFile::DoRequest(MakeHandlers(
                                       [this] {
                                           m_pGetFile = nullptr;
                                           EndDialog(UPDATE_END_DONE);
                                       },
                                       [this] {
                                           m_pGetFile = nullptr;
                                           m_strErrorText = Text(IDS_DOWNLOAD_URL_ERROR);
                                           EnterState(10);
                                       },
                                       true),
                                   GetSettings(), m_strDownloadUrl, m_strDownloadPath, true);
}

void CUpdateFlow::StartRegister()
{
    m_pRegister = CHttpReqRegisterUser::DoRequest(MakeHandlers(
                                                      [this] {
                                                          m_pRegister = nullptr;
                                                          OnRegisterSuccess();
                                                      },
                                                      [this] {
                                                          const auto pRequest =
                                                              std::exchange(m_pRegister, nullptr);
                                                          m_strErrorText = pRequest->GetErrorText();
                                                          m_nErrorCode = pRequest->GetErrorCode();
                                                          OnRequestError();
                                                      },
                                                      false),
                                                  GetSettings(), m_registration);
}

void CUpdateFlow::OnRequestError()
{
    KTRACE("CUpdateDlg::OnRequestError");
    if (m_strErrorText.empty())
        m_strErrorText = Text(IDS_UPDATE_NO_CONNECTION);
    if (m_nState == 13)
    {
        switch (m_nErrorCode)
        {
        case 204: EnterState(18); return;
        case 208: EnterState(19); return;
        case 206: EnterState(20); return;
        default: EnterState(10); return;
        }
    }
    // A wrong password shows on the first request that carries it, not on
    // the salt: it is a refused sign-in too, and the account is asked for again.
    const bool bAccountRefused =
        (m_nState == 2 || m_nState == 6) && !m_bAccountTaken && IsAccountRefusal(m_nErrorCode);
    EnterState(m_nState == 0 || bAccountRefused ? 11 : 10);
}

void CUpdateFlow::OnSaltSuccess()
{
    EnterState(m_nMode == UPDATE_MODE_TRAY ? 6 : 2);
}

void CUpdateFlow::OnClientVersionSuccess()
{
    m_bAccountTaken = true;
    EnterState(m_strNewClientVersion != kClientVersion ? 3 : 6);
}

void CUpdateFlow::OnUpdateListReceived()
{
    m_bAccountTaken = true;
    EnterState(m_updateList.empty() ? 12 : 7);
}

void CUpdateFlow::OnZipProcessSuccess()
{
    KTRACE("CUpdateDlg::OnZipProcessSuccess");
    const bool bLast = m_nPackageIndex + 1 == m_updateList.size();
    m_nContentVersion = CLineProtocol::ToInt(m_updateList[m_nPackageIndex].first);
    m_context.m_config.SetContentVersion(m_nContentVersion);
    m_context.m_config.SetActualVersion(bLast);
    // Saved at once, and only now that the package's content was swapped in
    // whole: a crash before this line leaves the new content under the old
    // version, and the service then offers the same package again, which
    // installs over it without changing anything.
    m_context.m_config.SaveSettings();
    ++m_nPackageIndex;
    EnterState(m_nPackageIndex < m_updateList.size() ? 7 : 9);
}

void CUpdateFlow::OnRegisterSuccess()
{
    KTRACE("CUpdateDlg::OnRegisterSuccess");
    m_context.m_strRegisteredLogin = m_registration.GetLogin();
    if (m_nMode == UPDATE_MODE_SIGN_UP)
    {
        EnterState(14);
        return;
    }
    m_strLogin = m_registration.GetLogin();
    m_strPassword = m_registration.GetPassword();
    EnterState(0);
}

void CUpdateFlow::OnProgress(unsigned nPercent)
{
    m_context.m_view.ShowProgress(
        ProgressValue(m_nState, m_updateList.size(), m_nPackageIndex, nPercent));
}

void CUpdateFlow::OfferClient(bool bYes, int nNextState)
{
    if (bYes)
    {
        const std::string strPath =
            m_context.m_view.AskInstallerPath(LastUrlSegment(m_strNewClientUrl));
        if (!strPath.empty())
        {
            m_strInstallerPath = strPath;
            EnterState(nNextState);
            return;
        }
    }
    if (m_nState == 23)
        EndDialog(UPDATE_END_STOPPED);
    else
        EnterState(6);
}

void CUpdateFlow::OnButton(std::string_view id)
{
    if (m_bEnded)
        return;
    const bool bLeft = id == "LEFT_BUTTON";
    if (id == "PASSWORD_LINK")
    {
        if (m_nState == 19 &&
            !m_context.m_view.OpenUrl(m_context.m_settings.m_service.m_strPasswordReminderUrl))
            m_context.m_view.ShowMessage(CStringTable::Get(IDS_HYPERLINK_ERROR));
        return;
    }
    if (!bLeft && id != "RIGHT_BUTTON")
        return;
    switch (m_nState)
    {
    case 3: OfferClient(bLeft, 4); break;
    case 23: OfferClient(bLeft, 24); break;
    case 0:
    case 2:
    case 4:
    case 6:
    case 13:
    case 19:
    case 21:
    case 24: EndDialog(UPDATE_END_CANCELLED); break;
    case 7:
    case 8: EndDialog(InstalledOr(UPDATE_END_STOPPED, UPDATE_END_CANCELLED)); break;
    case 5:
    case 25: EndDialog(UPDATE_END_CLIENT_DOWNLOADED); break;
    case 9:
    case 22: EndDialog(UPDATE_END_DONE); break;
    case 10: EndDialog(InstalledOr(UPDATE_END_ERROR_AFTER_INSTALL, UPDATE_END_ERROR)); break;
    case 11: EndDialog(UPDATE_END_SIGN_IN_REFUSED); break;
    case 12:
    case 14: EndDialog(UPDATE_END_NOTHING_NEW); break;
    case 18:
    case 20: EndDialog(UPDATE_END_SIGN_UP_REFUSED); break;
    default: break;
    }
}

void CUpdateFlow::OnCancel()
{
    if (m_bEnded)
        return;
    switch (m_nState)
    {
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 18:
    case 19: EndDialog(InstalledOr(UPDATE_END_STOPPED, UPDATE_END_CANCELLED)); break;
    case 12: EndDialog(UPDATE_END_NOTHING_NEW); break;
    case 22: EndDialog(UPDATE_END_STOPPED); break;
    case 20: break;
    default: EndDialog(UPDATE_END_CANCELLED); break;
    }
}

void CUpdateFlow::CancelFromTray()
{
    EndDialog(UPDATE_END_TRAY_QUIT);
}

void CUpdateFlow::KillAll()
{
    if (m_pSalt)
        m_pSalt->KillRequest();
    if (m_pClientVersions)
        m_pClientVersions->KillRequest();
    if (m_pUpdateList)
        m_pUpdateList->KillRequest();
    if (m_pGetFile)
        m_pGetFile->KillRequest();
    if (m_pUnpack)
        m_pUnpack->KillProcess();
    if (m_pRegister)
        m_pRegister->KillRequest();
    m_pSalt = nullptr;
    m_pClientVersions = nullptr;
    m_pUpdateList = nullptr;
    m_pGetFile = nullptr;
    m_pUnpack = nullptr;
    m_pRegister = nullptr;
}

void CUpdateFlow::EndDialog(int nCode)
{
    if (m_bEnded)
        return;
    const auto retry = [this, nCode, pAlive = std::weak_ptr<bool>(m_pAlive)] {
        if (pAlive.lock())
            EndDialog(nCode);
    };
    // Inside a callback a worker holds the lock and waits for this thread.
    if (m_bInCallback)
    {
        m_context.m_dispatcher.Post(retry);
        return;
    }
    std::unique_lock lock(FlowMutex(), std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(1000)))
    {
        m_context.m_dispatcher.Post(retry);
        return;
    }
    KTRACE("CUpdateDlg::EndDialog");
    KillAll();
    ++m_nActiveRequest;
    if (CurrentFlow() == m_nSerial)
        CurrentFlow() = 0;
    m_bEnded = true;
    lock.unlock();
    m_context.m_view.EndDialog(nCode);
}

#include "UpdateDlg.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "HtmlDocument.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "MessageLoop.h"
#include "SaveFileDlg.h"
#include "WindowManager.h"

#include <algorithm>

namespace
{
constexpr unsigned kUpdateDlgTemplate = 209;

const char* ButtonType(EUpdateButton button)
{
    switch (button)
    {
    case EUpdateButton::Ok: return "ok";
    case EUpdateButton::Cancel: return "cancel";
    case EUpdateButton::Yes: return "yes";
    case EUpdateButton::No: return "no";
    default: return "";
    }
}

const char* ButtonName(EUpdateButton button)
{
    switch (button)
    {
    case EUpdateButton::Ok: return "OK";
    case EUpdateButton::Cancel: return "Отмена";
    case EUpdateButton::Yes: return "Да";
    case EUpdateButton::No: return "Нет";
    default: return "";
    }
}

std::string ButtonCell(const char* szId, EUpdateButton button)
{
    return std::string("<td id=\"") + szId + "\" class=\"button\" button_type=\"" +
           ButtonType(button) + "\" role=\"button\" aria-label=\"" + ButtonName(button) +
           "\"></td>";
}

CMessageLoop* UiLoop()
{
    CWindowManager* pManager = CWindowManager::Get();
    return pManager ? &pManager->GetLoop() : nullptr;
}

} // namespace

bool CUpdateDlg::CLoopDispatcher::Send(std::function<void()> fn)
{
    return m_pLoop && m_pLoop->SendTask(std::move(fn));
}

void CUpdateDlg::CLoopDispatcher::Post(std::function<void()> fn)
{
    if (m_pLoop)
        m_pLoop->PostTask(std::move(fn));
}

CUpdateDlg::CUpdateDlg(CClientContext& context, CUpdateSetup setup, int nMode, CWnd* pParent)
    : CHTMLayoutDlg(kUpdateDlgTemplate, context.GetResourceConfig().GetUpdateDlgPath(), true,
                    pParent, context.GetDataLoader()),
      m_context(context),
      m_dispatcher(UiLoop()),
      m_flow(CUpdateFlowContext{m_dispatcher, *this, setup.m_config, setup.m_profile,
                                setup.m_strRegisteredLogin, std::move(setup.m_settings)},
             nMode)
{
    SetWindowText("Обновление");
}

CUpdateDlg::~CUpdateDlg() = default;

void CUpdateDlg::SetRegistration(const CRegistrationData& registration)
{
    if (m_flow.GetMode() == UPDATE_MODE_SIGN_UP_UPDATE)
        m_flow.SetRegistrationMode(registration);
    else
        m_flow.SetRegistration(registration);
}

void CUpdateDlg::SetDownload(std::string strUrl, std::string strLocalPath)
{
    m_flow.SetDownload(std::move(strUrl), std::move(strLocalPath));
}

void CUpdateDlg::SetClientUrl(std::string strUrl)
{
    m_flow.SetClientUrl(std::move(strUrl));
}

void CUpdateDlg::CancelFromTray()
{
    m_flow.CancelFromTray();
}

std::string CUpdateDlg::BuildProgressHtml(int nValue)
{
    const int nShown = std::clamp(nValue, 0, 100);
    std::string html =
        "<table class=\"progress\"><tr><td class=\"progress_cap\"><img src=\"progress_left.png\" "
        "alt=\"\"></td><td class=\"progress_left\" style=\"width:" +
        std::to_string(nShown) + "%\"></td>";
    if (nShown < 100)
        html += "<td class=\"progress_cap\"><img src=\"progress_center.png\" alt=\"\"></td>";
    html += "<td class=\"progress_right\" style=\"width:" + std::to_string(100 - nShown) +
            "%\"></td><td class=\"progress_cap\"><img src=\"" +
            std::string(nShown == 100 ? "progress_right_green.png" : "progress_right.png") +
            "\" alt=\"\"></td></tr></table>";
    return html;
}

std::string CUpdateDlg::BuildButtonsHtml(EUpdateButton left, EUpdateButton right)
{
    std::string row;
    if (left != EUpdateButton::None)
        row += ButtonCell("LEFT_BUTTON", left);
    if (left != EUpdateButton::None && right != EUpdateButton::None)
        row += "<td class=\"gap\" style=\"width:30px\"></td>";
    if (right != EUpdateButton::None)
        row += ButtonCell("RIGHT_BUTTON", right);
    return "<table class=\"button_row\"><tr><td class=\"filler\"></td>" + row + "</tr></table>";
}

bool CUpdateDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    const CElement root = GetRootElement();
    for (const char* szId : {"title", "action", "PASSWORD_LINK", "progress_div", "bottom_buttons"})
        if (!root.FindById(szId).IsValid())
        {
            KLOG_ERR << "CUpdateDlg::OnInitDialog the page has no " << szId;
            return false;
        }
    EnableTitleDrag();
    m_flow.Start();
    return true;
}

std::string CUpdateDlg::NewClientNoticeHtml()
{
    // The offer's words and look are a page of the resources; without it the
    // flow's own text stands.
    std::string strPage;
    if (!CFileUtils::LoadTxtFileOrResource(CClientContext::GetUiPath("ui/messages/need_update.htm"),
                                           strPage))
        return {};
    CHtmlDocument page;
    if (!page.LoadHtml(strPage))
        return {};
    return page.GetRoot().FindById("notice").GetHtml();
}

void CUpdateDlg::ShowState(const CUpdateViewState& state)
{
    const CElement root = GetRootElement();
    if (state.m_title)
        root.FindById("title").SetText(state.m_title->empty() ? "\u00a0" : *state.m_title);
    CElement action = root.FindById("action");
    std::string strNotice;
    if (state.m_nState == 3 || state.m_nState == 23)
        strNotice = NewClientNoticeHtml();
    if (!strNotice.empty())
        action.SetHtml(strNotice);
    else if (state.m_bError)
        action.SetHtml("<span class=\"label\" error=\"1\">" +
                       CHtmlWriter::EscapeText(state.m_strAction) + "</span>");
    else
        action.SetText(state.m_strAction);
    CElement detail = root.FindById("detail");
    detail.SetText(state.m_strDetail);
    detail.SetVisible(!state.m_strDetail.empty());
    root.FindById("PASSWORD_LINK").SetVisible(state.m_bPasswordLink);
    CElement progress = root.FindById("progress_div");
    progress.SetVisible(state.m_bProgress);
    if (!state.m_bProgress)
        m_nProgress = -1;
    root.FindById("bottom_buttons").SetHtml(BuildButtonsHtml(state.m_left, state.m_right));
    // The keyboard starts on an answer, never on a cancel that an Enter
    // would press by mistake.
    if (state.m_left == EUpdateButton::Ok || state.m_left == EUpdateButton::Yes)
        root.FindById("LEFT_BUTTON").SetState(STATE_FOCUS);
}

void CUpdateDlg::ShowProgress(int nValue)
{
    const int nShown = std::clamp(nValue, 0, 100);
    if (nShown == m_nProgress)
        return;
    m_nProgress = nShown;
    CElement progress = GetRootElement().FindById("progress_div");
    progress.SetHtml(BuildProgressHtml(nShown));
    progress.SetAttribute("aria-valuenow", std::to_string(nShown));
}

std::string CUpdateDlg::AskInstallerPath(const std::string& strDefaultName)
{
    CSaveFileDlg dialog(CFileUtils::GetUserDownloadFolder(), strDefaultName, this);
    return dialog.DoModalEx(true, true) == IDOK ? dialog.GetPath() : std::string();
}

bool CUpdateDlg::OpenUrl(const std::string& strUrl)
{
    return m_context.OpenExternal(strUrl);
}

void CUpdateDlg::ShowMessage(std::string_view text)
{
    ::ShowMessage(std::string(text), MSG_NO_IMAGE);
}

void CUpdateDlg::EndDialog(int nCode)
{
    KLOG_NOTICE << "CUpdateDlg ended with " << nCode;
    CHTMLayoutDlg::EndDialog(nCode);
}

bool CUpdateDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent != KEY_DOWN)
        return false;
    if (nKeyCode == VK_ESCAPE)
    {
        m_flow.OnCancel();
        return true;
    }
    return false;
}

bool CUpdateDlg::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId = CElement::FromNode(event.m_pTarget).GetAttribute("id");
    if (strId == "btn_title_close")
        m_flow.OnCancel();
    else if (strId == "LEFT_BUTTON" || strId == "RIGHT_BUTTON" || strId == "PASSWORD_LINK")
        m_flow.OnButton(strId);
    else
        return false;
    return true;
}

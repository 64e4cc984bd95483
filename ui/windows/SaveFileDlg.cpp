#include "SaveFileDlg.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"

namespace
{
constexpr unsigned kSaveFileDlgTemplate = 210;

bool IsPlainName(const std::string& strName)
{
    return !strName.empty() && strName != "." && strName != ".." &&
           strName.find('/') == std::string::npos && strName.find('\0') == std::string::npos;
}
} // namespace

CSaveFileDlg::CSaveFileDlg(std::string strFolder, std::string strName, CWnd* pParent)
    : CHTMLayoutDlg(kSaveFileDlgTemplate, CClientContext::GetUiPath("ui/save_file_dlg.htm"), true,
                    pParent, CClientContext::GetUiLoader()),
      m_strFolder(std::move(strFolder)),
      m_strName(std::move(strName))
{
    SetWindowText("Сохранение файла");
}

bool CSaveFileDlg::OnInitDialog()
{
    if (!CHTMLayoutDlg::OnInitDialog())
        return false;
    const CElement root = GetRootElement();
    if (!m_folder.SetElement(root, "edit_folder") || !m_name.SetElement(root, "edit_file_name") ||
        !m_save.SetElement(root, "btn_save") || !m_cancel.SetElement(root, "btn_cancel"))
    {
        KLOG_ERR << "CSaveFileDlg::OnInitDialog can't initialize controls";
        return false;
    }
    if (m_close.SetElement(root, "btn_title_close"))
        m_close.m_sigClick.connect([this] { EndDialog(IDCANCEL); });
    EnableTitleDrag();
    m_folder.SetValue(m_strFolder);
    m_name.SetValue(m_strName);
    m_save.m_sigClick.connect([this] { OnSave(); });
    m_cancel.m_sigClick.connect([this] { EndDialog(IDCANCEL); });
    CElement(m_name.GetElement()).SetState(STATE_FOCUS);
    return true;
}

void CSaveFileDlg::Warn(unsigned nStringId)
{
    CElement warning = GetRootElement().FindById("save_warning");
    warning.SetText(CStringTable::Get(nStringId));
    warning.SetVisible(nStringId != 0);
}

void CSaveFileDlg::OnSave()
{
    const std::string strFolder(CTextUtils::Trim(m_folder.GetValue()));
    const std::string strName(CTextUtils::Trim(m_name.GetValue()));
    CElement(m_save.GetElement()).SetAttribute("button_type", "save");
    if (!IsPlainName(strName))
    {
        Warn(IDS_SAVE_FILE_NO_NAME);
        return;
    }
    if (strFolder.empty() || !CFileUtils::MakePath(strFolder))
    {
        Warn(IDS_SAVE_FILE_NO_FOLDER);
        return;
    }
    const std::string strPath = (strFolder.back() == '/' ? strFolder : strFolder + "/") + strName;
    if (CFileUtils::FileExists(strPath) && strPath != m_strWarnedPath)
    {
        m_strWarnedPath = strPath;
        Warn(IDS_SAVE_FILE_EXISTS);
        CElement(m_save.GetElement()).SetAttribute("button_type", "replace");
        return;
    }
    m_strPath = strPath;
    EndDialog(IDOK);
}

bool CSaveFileDlg::on_key(CElement, CElement, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    return OnFormKey(
        nEvent, nKeyCode, [this] { OnSave(); }, IDCANCEL);
}

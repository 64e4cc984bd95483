#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"

#include <string>

// Where to save a downloaded file: a folder (made when missing) and a name.
// A name that is already taken is kept only after the user confirms it: the
// first press warns and turns "Сохранить" into "Заменить".
class CSaveFileDlg : public CHTMLayoutDlg
{
public:
    CSaveFileDlg(std::string strFolder, std::string strName, CWnd* pParent);
    // The chosen file, once the dialog ended with IDOK.
    const std::string& GetPath() const { return m_strPath; }

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void OnSave();
    void Warn(unsigned nStringId);

    std::string m_strFolder;
    std::string m_strName;
    std::string m_strPath;
    // The taken name the user was warned about; a second press replaces it.
    std::string m_strWarnedPath;
    CHTMLayoutEditCtrl m_folder, m_name;
    CHTMLayoutButtonCtrl m_save, m_cancel, m_close;
};

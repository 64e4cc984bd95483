#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"
#include "ServiceConfig.h"

#include <string>

enum EMessageFlags : unsigned
{
    MSG_SHADOW = 1,
    MSG_NO_IMAGE = 2,
    MSG_UPDATE_CANCEL = 4,
    MSG_KEEP_SHADOW = 8,
    MSG_VERSION = 16,
    MSG_VERSION_CLOSE = 32,
    MSG_UPDATE_CLOSE = 64,
    MSG_UPDATE_ONLY = 256,
};

// The dialog every message to the user goes through. Its result is the id
// of the button pressed ("OK", "CANCEL", "UPDATE", "EMAIL"), "CANCEL" for
// Escape and Enter, and empty when the dialog could not be shown.
class CMessageDlg : public CHTMLayoutDlg
{
public:
    CMessageDlg(std::string strText, unsigned nFlags, int nParam, CWnd* pParent);
    const std::string& GetResult() const { return m_strResult; }
    // The row of buttons the flags ask for, as the page's cells.
    static std::string BuildButtonRow(unsigned nFlags);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void Finish(const char* szResult);

    std::string m_strText;
    std::string m_strResult;
    unsigned m_nFlags;
    int m_nParam;
    CHTMLayoutButtonCtrl m_ok, m_cancel, m_update, m_email;
};

// Shows a message modally (in the main window's shadow with flag 1) and
// returns the button pressed.
std::string ShowMessage(const std::string& strText, unsigned nFlags = MSG_SHADOW | MSG_NO_IMAGE,
                        int nParam = 0);
std::string ShowMessage(unsigned nStringId, unsigned nFlags = MSG_SHADOW | MSG_NO_IMAGE,
                        int nParam = 0);
// The same with a size of its own (the about page: 700 x 530).
std::string ShowMessageSized(const std::string& strText, unsigned nFlags, int nWidth, int nHeight);

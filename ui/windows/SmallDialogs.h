#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"

#include <string>

// The splash shown while the data loads; no logic of its own.
class CSplashDlg : public CHTMLayoutDlg
{
public:
    CSplashDlg();
};

// Product name, version and the service's web site.
class CAboutDlg : public CHTMLayoutDlg
{
public:
    explicit CAboutDlg(CWnd* pParent);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    CHTMLayoutButtonCtrl m_titleClose, m_ok, m_link;
};

// One picture of a document. Pictures larger than the main window get a page
// with scroll bars in the direction that needs them.
class CImageViewDlg : public CHTMLayoutDlg
{
public:
    CImageViewDlg(std::string strImagePath, CWnd* pParent);
    // The page for a picture of that size inside an area of that size: plain,
    // both scroll bars, vertical only or horizontal only; the dialog's size.
    static std::string ChoosePage(int nImageWidth, int nImageHeight, const CRect& area,
                                  CRect& dialog);
    // Width and height from a PNG, JPEG or GIF header; false for anything else.
    static bool ReadImageSize(const std::string& strPath, int& nWidth, int& nHeight);
    static bool ReadImageSize(std::span<const std::uint8_t> bytes, int& nWidth, int& nHeight);

protected:
    int OnCreate() override;
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool on_mouse(CElement he, CElement target, unsigned nEvent, int nX, int nY, unsigned nButtons,
                  unsigned nKeys) override;

private:
    void InitControls();
    void SetSizeByContent();

    std::string m_strImagePath;
    CRect m_dialogSize;
    CHTMLayoutButtonCtrl m_close;
};

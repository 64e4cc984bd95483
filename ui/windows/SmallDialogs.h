#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutDlg.h"

#include <string>

class CClientContext;
class CResourceConfig;

// The splash shown while the data loads; no logic of its own.
class CSplashDlg : public CHTMLayoutDlg
{
public:
    explicit CSplashDlg(CClientContext& context);
};

// Product name, version and the service's web site.
class CAboutDlg : public CHTMLayoutDlg
{
public:
    CAboutDlg(CClientContext& context, CWnd* pParent);

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    CClientContext& m_context;
    CHTMLayoutButtonCtrl m_titleClose, m_ok, m_link;
};

// One picture of a document. Pictures larger than the main window get a page
// with scroll bars in the direction that needs them.
class CImageViewDlg : public CHTMLayoutDlg
{
public:
    CImageViewDlg(CClientContext& context, std::string strImagePath, CWnd* pParent);
    // The page for a picture of that size inside an area of that size: plain,
    // both scroll bars, vertical only or horizontal only; the dialog's size.
    static std::string ChoosePage(const CResourceConfig& resources, int nImageWidth,
                                  int nImageHeight, const CRect& area, CRect& dialog);
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

    CClientContext& m_context;
    std::string m_strImagePath;
    CRect m_dialogSize;
    CHTMLayoutButtonCtrl m_close;
};

#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "ViewHost.h"

class CClientContext;
struct CBlankInfo;

// One form of the forms library (view kind 9): its name, date, approval and
// use, its page images (opened in the image viewer), its file to open or to
// put on the desktop, and its filling instructions.
class CBlankInfoWin : public CHTMLayoutWin
{
public:
    CBlankInfoWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(CBookmark& view);
    const CBlankInfo* GetBlank() const { return m_pBlank; }
    // The forms catalogue is about to be freed.
    void ForgetContent() { m_pBlank = nullptr; }

    // The form's file, opened with the desktop's handler.
    void OnDownload();
    // The form's file, saved under the form's name into the forms folder of
    // the user's documents; the user is told where, with a link to the folder.
    void OnCopyToDesktop();

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    std::string ImagesHtml() const;
    // The form's file on the disk, fetched first when it is not there.
    std::string FormFile() const;
    // The index of the form's section in the library, or -1.
    int FindSection(std::string& strName) const;

    CClientContext& m_context;
    IViewHost* m_pHost;
    const CBlankInfo* m_pBlank = nullptr;
    std::string m_strSavedFolder; // where the last form was saved
};

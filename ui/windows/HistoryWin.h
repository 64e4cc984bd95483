#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHistoryData.h"
#include "ViewHost.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CClientContext;

// The documents the user has read (view kind 4): newest first, grouped by
// day, a page of them at a time.
class CHistoryWin : public CHTMLayoutWin
{
public:
    CHistoryWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(const CBookmark& view);
    void UpdateList();
    void UpdatePages();
    void OnGoToItem(const std::string& strId);
    void OnPage(const std::string& strId);

    int GetCurrentPage() const { return m_nPage; }
    int GetPageCount() const;
    // (client height - 150) / 60, at least one.
    static int ItemsPerPage(int nClientHeight);
    // The rows of one page of the records (oldest first, as kept): date rows
    // and item rows from the template; ids maps each "ID%d" to its record.
    static std::string BuildRows(const std::vector<std::unique_ptr<CHistoryInfo>>& records,
                                 int nPage, int nPerPage, const StringGenerator& row,
                                 std::map<std::string, const CHistoryInfo*>& ids);

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    void OnSize(int nWidth, int nHeight) override;

private:
    const std::vector<std::unique_ptr<CHistoryInfo>>* Records() const;

    CClientContext& m_context;
    IViewHost* m_pHost;
    int m_nPage = 0;
    StringGenerator m_row;
    std::map<std::string, const CHistoryInfo*> m_ids;
    std::vector<std::unique_ptr<CHTMLayoutButtonCtrl>> m_links;
};

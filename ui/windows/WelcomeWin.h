#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "MRUDocumentData.h"

#include <boost/signals2/signal.hpp>

#include <array>
#include <memory>
#include <string>
#include <vector>

class CClientContext;

// One line of the recently used documents.
class CMRUListItemCtrl : public CHTMLayoutButtonCtrl
{
public:
    explicit CMRUListItemCtrl(std::size_t nIndex) : m_nIndex(nIndex) {}
    std::size_t GetIndex() const { return m_nIndex; }

private:
    std::size_t m_nIndex;
};

// The top of the home page: the tiles of the encyclopedia's main topics and
// the frequently used documents.
class CWelcomeWin : public CHTMLayoutWin
{
public:
    struct CTile
    {
        const char* m_szId;
        const char* m_szType; // the first-level section's code; none for the guide
    };
    static constexpr std::array<CTile, 13> kTiles{{{"btn_correspondence", "ks"},
                                                   {"btn_source_documents", "pd"},
                                                   {"btn_salary", "vfl"},
                                                   {"btn_usn", "usn"},
                                                   {"btn_taxes", "nuo"},
                                                   {"btn_reports", "bo"},
                                                   {"btn_tax_on_price", "nds"},
                                                   {"btn_checking", "kvpp"},
                                                   {"btn_tax_on_profit", "np"},
                                                   {"btn_currency", "vei"},
                                                   {"btn_employers", "siv"},
                                                   {"btn_pay_economy", "enn"},
                                                   {"btn_help", nullptr}}};
    // Lines of the list shown until the browser has measured them.
    static constexpr std::size_t kDefaultVisibleItems = 6;

    explicit CWelcomeWin(CClientContext& context);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void OnUpdateData();
    // Hides the lines that do not fit in the list's height.
    void HideInvisibleItems();
    // How many lines of nItemHeight fit in nListHeight (the default before
    // either is known); never fewer than one.
    static std::size_t CountVisibleItems(int nListHeight, int nItemHeight);

    boost::signals2::signal<void(const std::string&)> m_sigSelectSection;
    boost::signals2::signal<void()> m_sigHowToUse;
    boost::signals2::signal<void(const CMRUDocument&)> m_sigDocumentSelected;

protected:
    void OnSize(int nWidth, int nHeight) override;
    void OnContentSizeChanged() override;

private:
    CClientContext& m_context;
    std::array<CHTMLayoutButtonCtrl, kTiles.size()> m_tiles;
    CHTMLayoutCtrl m_list;
    std::vector<std::unique_ptr<CMRUListItemCtrl>> m_items;
    std::vector<CMRUDocument> m_documents;
};

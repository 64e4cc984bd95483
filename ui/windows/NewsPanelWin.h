#pragma once

#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

#include <boost/signals2/signal.hpp>

#include <string>
#include <vector>

class CClientContext;
struct CBlankInfo;
struct CNewInfo;

// The news under the home page, or the newest forms under the forms
// library's sections: a row of cards, newest first, of which the scroll bar
// above chooses the ones in view. A link in a news item opens what it points
// to; a form opens its page.
class CNewsPanelWin : public CHTMLayoutWin
{
public:
    static constexpr int kNewsCardWidth = 330;
    static constexpr int kFormCardWidth = 320;
    static constexpr int kCardGap = 20;

    CNewsPanelWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    // The feed of the home page, or the forms library's newest forms.
    void ShowNews();
    void ShowBlankNews();
    // Reads the shown list again (after the content was reloaded).
    void Reload();
    // Where the cards start and end, lined up with the scroll bar's track.
    void SetInsets(int nLeft, int nRight);
    // The cards from the scroll bar's position on.
    void SetScrollPosition(int nPosition, int nMaximum);

    bool IsShowingForms() const { return m_bForms; }
    std::size_t GetItemCount() const { return m_bForms ? m_blanks.size() : m_news.size(); }
    std::size_t GetVisibleCount() const;
    std::size_t GetFirstShown() const { return m_nFirst; }

    // Wheel steps over the cards (positive: towards older ones).
    boost::signals2::signal<void(int)> m_sigWheel;
    // The number of cards and how many are seen at once.
    boost::signals2::signal<void(std::size_t, std::size_t)> m_sigRange;

    bool HandleDomEvent(CDomEvent& event) override;

    // A news body keeps only its text and its numbered links.
    static std::string CleanNewsBody(const std::string& strBody);

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    void OnSize(int nWidth, int nHeight) override;

private:
    void Fill();
    void Render();
    std::string NewsCard(const CNewInfo& item) const;
    std::string FormCard(std::size_t nIndex) const;

    // The cards' markup, from the templates of the resources.
    StringGenerator m_newsCard;
    StringGenerator m_formCard;

    CClientContext& m_context;
    IViewHost* m_pHost;
    bool m_bForms = false;
    std::vector<const CNewInfo*> m_news;
    std::vector<const CBlankInfo*> m_blanks;
    std::size_t m_nFirst = 0;
    std::size_t m_nShownVisible = 0; // how many cards the strip was made for
    int m_nLeft = 0;
    int m_nRight = 0;
    int m_nPosition = 0;
    int m_nMaximum = 1000;
};

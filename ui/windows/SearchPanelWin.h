#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "SearchEditCtrl.h"

#include <boost/signals2/signal.hpp>

#include <string>
#include <vector>

class CClientContext;

// The panel under the top bar: the logo, the search box with its prompts and
// button, a sample query, and the way into the alphabetical index.
class CSearchPanelWin : public CHTMLayoutWin
{
public:
    explicit CSearchPanelWin(CClientContext& context);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void SetSearchText(const std::string& strText) { m_edit.SetValue(strText); }
    std::string GetSearchText() const { return m_edit.GetValue(); }
    void SetBottomLineVisible(bool bVisible);
    // The next sample query of the samples page.
    void UpdateSearchSample();
    const std::string& GetSample() const { return m_strSample; }
    void HidePrompts() { m_edit.HidePrompts("view change"); }
    void FocusSearchBox();
    // Read out by screen readers from the panel, which is always on screen
    // (the view that shows a result is built while hidden): each call is
    // read, the same text twice too.
    void AnnounceStatus(const std::string& strText);
    // After a content update: no prompt of the old library stays, and the
    // sample line moves on.
    void OnUpdateData();

    // A query to search (the button, Enter, a sample) and a prompt chosen.
    boost::signals2::signal<void(const std::string&)> m_sigSearch;
    boost::signals2::signal<void(const std::string&)> m_sigSearchPrompt;
    CHTMLayoutButtonCtrl m_logo;
    CHTMLayoutButtonCtrl m_registry;
    CSearchEditCtrl m_edit;

private:
    void LoadSamples();

    CHTMLayoutButtonCtrl m_searchButton;
    CHTMLayoutButtonCtrl m_sampleLink;
    std::vector<std::string> m_samples;
    std::size_t m_nNextSample = 0;
    std::string m_strSample;
};

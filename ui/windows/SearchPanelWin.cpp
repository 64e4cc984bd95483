#include "SearchPanelWin.h"

#include "ClientContext.h"
#include "FileUtils.h"
#include "HtmlDocument.h"
#include "Logger.h"

CSearchPanelWin::CSearchPanelWin(CClientContext& context)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_edit(context)
{
}

bool CSearchPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/search_panel.htm"), root))
        return false;
    if (!m_logo.SetElement(root, "btn_logo") || !m_edit.SetElement(root, "edit_search") ||
        !m_searchButton.SetElement(root, "btn_search") ||
        !m_sampleLink.SetElement(root, "link_sample") ||
        !m_registry.SetElement(root, "link_registry") || !root.FindById("label_sample").IsValid())
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    m_edit.SetOwnerWindow(this);
    m_edit.m_sigSearch.connect([this](const std::string& strText) { m_sigSearch(strText); });
    m_edit.m_sigPrompt.connect([this](const std::string& strText) { m_sigSearchPrompt(strText); });
    m_searchButton.m_sigClick.connect([this] {
        m_edit.HidePrompts("the search button");
        m_sigSearch(GetSearchText());
    });
    m_sampleLink.m_sigClick.connect([this] {
        SetSearchText(m_strSample);
        m_sigSearch(m_strSample);
    });
    LoadSamples();
    UpdateSearchSample();
    return true;
}

void CSearchPanelWin::LoadSamples()
{
    // The samples page lists queries that find something, one per element
    // of class "sample".
    std::string strPage;
    if (!CFileUtils::LoadTxtFileOrResource(
            CClientContext::GetUiPath("ui/messages/search_samples.htm"), strPage))
    {
        KLOG_ERR << "CSearchPanelWin can't load the search samples";
        return;
    }
    CHtmlDocument samples;
    if (!samples.LoadHtml(strPage))
        return;
    for (const CElement& sample : samples.GetRoot().Select(".sample"))
        if (const std::string strText = sample.GetText(); !strText.empty())
            m_samples.push_back(strText);
}

void CSearchPanelWin::UpdateSearchSample()
{
    if (m_samples.empty())
        return;
    m_strSample = m_samples[m_nNextSample++ % m_samples.size()];
    CElement link = m_sampleLink.GetElement();
    link.SetText(m_strSample);
}

void CSearchPanelWin::OnUpdateData()
{
    m_edit.DropPrompts();
    UpdateSearchSample();
}

void CSearchPanelWin::SetBottomLineVisible(bool bVisible)
{
    CElement line = GetRootElement().FindById("search_bottom_line");
    line.SetVisible(bVisible);
}

void CSearchPanelWin::FocusSearchBox()
{
    CElement box = m_edit.GetElement();
    box.SetState(0, STATE_FOCUS);
    box.SetState(STATE_FOCUS);
}

void CSearchPanelWin::AnnounceStatus(const std::string& strText)
{
    // A live region speaks on a change: the same text again gets a no-break
    // space, added or taken off, to be a change.
    CElement status = GetRootElement().FindById("search_status");
    const std::string strOld = status.GetText();
    std::string strNew = strText;
    if (strOld == strNew)
        strNew += "\u00a0";
    status.SetText(strNew);
}

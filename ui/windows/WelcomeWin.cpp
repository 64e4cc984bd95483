#include "WelcomeWin.h"

#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"

CWelcomeWin::CWelcomeWin(CClientContext& context)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context)
{
}

bool CWelcomeWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/welcome_win.htm"),
                        root))
        return false;
    for (std::size_t i = 0; i < kTiles.size(); ++i)
    {
        if (!m_tiles[i].SetElement(root, kTiles[i].m_szId))
        {
            KLOG_ERR << "Can't initialize buttons";
            return false;
        }
        if (const char* szType = kTiles[i].m_szType)
            m_tiles[i].m_sigClick.connect([this, szType] { m_sigSelectSection(szType); });
        else
            m_tiles[i].m_sigClick.connect([this] { m_sigHowToUse(); });
    }
    if (!m_list.SetElement(root, "mru_list", false))
        return false;
    m_list.GetElement().GetLocation(); // measured from now on
    return true;
}

void CWelcomeWin::OnUpdateData()
{
    m_documents.clear();
    if (const CMRUDocumentData* pDocuments = m_context.GetMRUDocuments())
        m_documents = pDocuments->GetDocuments();
    for (auto& pItem : m_items)
        pItem->Detach();
    m_items.clear();
    std::string html;
    for (std::size_t i = 0; i < m_documents.size(); ++i)
        html += "<div class=\"mru_entry\" role=\"listitem\"><div id=\"item" + std::to_string(i) +
                "\" class=\"mru_list_item\" role=\"link\">" +
                CHtmlWriter::EscapeText(m_documents[i].m_strName) + "</div></div>";
    if (m_documents.empty())
        html = "<div class=\"mru_empty\" role=\"listitem\">Список появится после установки "
               "контента.</div>";
    CElement list = m_list.GetElement();
    list.SetHtml(html);
    for (std::size_t i = 0; i < m_documents.size(); ++i)
    {
        auto pItem = std::make_unique<CMRUListItemCtrl>(i);
        if (!pItem->SetElement(list, "item" + std::to_string(i)))
            continue;
        pItem->m_sigClick.connect([this, i] {
            if (i < m_documents.size())
                m_sigDocumentSelected(m_documents[i]);
        });
        m_items.push_back(std::move(pItem));
    }
    if (!m_items.empty())
        m_items.front()->GetElement().GetLocation();
    HideInvisibleItems();
}

std::size_t CWelcomeWin::CountVisibleItems(int nListHeight, int nItemHeight)
{
    if (nListHeight <= 0 || nItemHeight <= 0)
        return kDefaultVisibleItems;
    return std::max<std::size_t>(1, static_cast<std::size_t>(nListHeight / nItemHeight));
}

void CWelcomeWin::HideInvisibleItems()
{
    if (m_items.empty())
        return;
    // The list's own height is the room it has; an item keeps its height
    // when hidden lines come back.
    const int nListHeight = m_list.GetElement().GetLocation().m_nHeight;
    const int nItemHeight = m_items.front()->GetElement().GetLocation().m_nHeight;
    const std::size_t nVisible = CountVisibleItems(nListHeight, nItemHeight);
    for (std::size_t i = 0; i < m_items.size(); ++i)
    {
        // The list's entry goes with its link: no empty entry is read out.
        CElement item = m_items[i]->GetElement();
        item.GetParent().SetVisible(i < nVisible);
    }
}

void CWelcomeWin::OnSize(int, int)
{
    HideInvisibleItems();
}

void CWelcomeWin::OnContentSizeChanged()
{
    HideInvisibleItems();
}

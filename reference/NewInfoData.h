#pragma once

#include "DateUtils.h"

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

// One item of the news feed. Its body is HTML in which every link has become
// an element with the id "ID<n>" and the class "link_in_news"; link n of the
// feed is m_links[n - m_nFirstLink] of the item whose range holds n.
struct CNewInfo
{
    CDate m_date;
    std::string m_strBody;
    unsigned m_nFirstLink = 0;
    std::vector<std::string> m_links;
};

// The news feed ("news.dat", enciphered XML), newest first.
class CNewInfoData
{
public:
    bool LoadData(const std::string& strPath);
    void FreeData();

    const std::vector<std::unique_ptr<CNewInfo>>& GetItems() const { return m_items; }
    // The target of link "ID<n>", or null.
    const std::string* FindLink(unsigned nLink) const;

    // Rewrites a body; returns false (and leaves the outputs empty) when the
    // text is not well-formed or a link has no "href".
    static bool ProcessHTML(const std::string& strText, unsigned nFirstLink, std::string& strBody,
                            std::vector<std::string>& links);

private:
    bool LoadNewInfoVec(const xmlNode* pRoot);
    bool LoadNewInfo(CNewInfo& item, const xmlNode* pNode, unsigned& nLinkCounter);

    std::vector<std::unique_ptr<CNewInfo>> m_items;
};

#include "ViewHistoryData.h"

#include "FileUtils.h"
#include "Logger.h"
#include "XMLUtils.h"

bool CViewHistoryData::LoadData(const std::string& strPath)
{
    KTRACE("CViewHistoryData::LoadData");
    m_strPath = strPath;
    KLOG_DEBUG << "CViewHistoryData::LoadData() filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    bool bDamaged = false;
    const bool bRead = CXMLUtils::LoadUserXmlDocument(strPath, doc, pRoot, bDamaged);
    if (bRead)
    {
        if (CXMLUtils::GetTagName(pRoot) != "history")
            bDamaged = true;
        for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
        {
            if (pNode->type != XML_ELEMENT_NODE)
                continue;
            auto info = std::make_unique<CHistoryInfo>();
            if (!LoadHistoryInfo(*info, pNode))
            {
                bDamaged = true;
                continue;
            }
            m_records.push_back(std::move(info));
        }
    }
    if (bDamaged || (!bRead && CFileUtils::FileExists(strPath)))
    {
        const std::string strCopy = CFileUtils::KeepCopyAside(strPath);
        KLOG_WARN << "CViewHistoryData::LoadData: " << strPath
                  << " could not be read whole; it is kept as " << strCopy;
    }
    return bRead;
}

bool CViewHistoryData::LoadHistoryInfo(CHistoryInfo& info, const xmlNode* pNode)
{
    if (!pNode)
    {
        KLOG_ERR << "CViewHistoryData::LoadHistoryInfo received null argument";
        return false;
    }
    int nDay = 0, nMonth = 0, nYear = 0;
    if (!CXMLUtils::GetAttributeString(pNode, "url", info.m_strURL) ||
        !CXMLUtils::GetAttributeString(pNode, "first-line", info.m_strFirstLine) ||
        !CXMLUtils::GetAttributeString(pNode, "second-line", info.m_strSecondLine) ||
        !CXMLUtils::GetDayInfo(pNode, nDay, nMonth, nYear) ||
        !CXMLUtils::GetTimeInfo(pNode, info.m_time.m_nHour, info.m_time.m_nMinute,
                                info.m_time.m_nSecond))
        return false;
    info.m_time.m_date = {static_cast<unsigned>(nYear), static_cast<unsigned>(nMonth),
                          static_cast<unsigned>(nDay)};
    return true;
}

bool CViewHistoryData::SaveData()
{
    KTRACE("CViewHistoryData::SaveData");
    KLOG_DEBUG << "CViewHistoryData::SaveData() filename: " << m_strPath;
    CXmlDocPtr doc;
    if (m_strPath.empty() || !CXMLUtils::CreateXmlDocument("history", doc))
        return false;
    xmlNode* pRoot = xmlDocGetRootElement(doc.get());
    for (const auto& info : m_records)
    {
        xmlNode* pNode =
            xmlNewChild(pRoot, nullptr, reinterpret_cast<const xmlChar*>("section"), nullptr);
        const CDate& date = info->m_time.m_date;
        if (!pNode || !CXMLUtils::SetAttributeString(pNode, "url", info->m_strURL) ||
            !CXMLUtils::SetAttributeString(pNode, "first-line", info->m_strFirstLine) ||
            !CXMLUtils::SetAttributeString(pNode, "second-line", info->m_strSecondLine) ||
            !CXMLUtils::SetDayInfo(pNode, static_cast<int>(date.m_nDay),
                                   static_cast<int>(date.m_nMonth),
                                   static_cast<int>(date.m_nYear)) ||
            !CXMLUtils::SetTimeInfo(pNode, info->m_time.m_nHour, info->m_time.m_nMinute,
                                    info->m_time.m_nSecond))
            return false;
    }
    return CXMLUtils::SaveXmlDocument(doc.get(), m_strPath);
}

void CViewHistoryData::FreeData()
{
    m_records.clear();
}

int CViewHistoryData::GetLastIndex(const std::string& strURL) const
{
    for (std::size_t i = m_records.size(); i-- > 0;)
        if (m_records[i]->m_strURL == strURL)
            return static_cast<int>(i);
    return -1;
}

void CViewHistoryData::AddSection(const std::string& strURL, const std::string& strFirstLine,
                                  const std::string& strSecondLine)
{
    AddSection(strURL, strFirstLine, strSecondLine, std::time(nullptr));
}

void CViewHistoryData::AddSection(const std::string& strURL, const std::string& strFirstLine,
                                  const std::string& strSecondLine, std::time_t tNow)
{
    KTRACE("CViewHistoryData::AddSection", strURL);
    const CLocalTime now = ToLocalTime(tNow);
    const int nLast = GetLastIndex(strURL);
    if (nLast >= 0 && m_records[static_cast<std::size_t>(nLast)]->m_time.m_date == now.m_date)
    {
        KLOG_NOTICE << "Section " << strURL << " was viewed today";
        return;
    }
    m_records.push_back(
        std::make_unique<CHistoryInfo>(CHistoryInfo{strURL, strFirstLine, strSecondLine, now}));
    if (m_records.size() > kMaxRecords)
        m_records.erase(m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(
                                                                   m_records.size() - kMaxRecords));
    if (!SaveData())
        KLOG_ERR << "Can't save history data";
}
